/// @file table_plugin.cpp
/// @brief References, queries, clone, controllers, library record and named settings of the
///        table-described standard plug-ins.
#include "framework/table_plugin.h"

#include "framework/library_block.h"
#include "framework/nimbra_interface.h"
#include "framework/age_quantity.h"
#include "framework/class_ids.h"
#include "host/interface.h"
#include "host/little_endian.h"

#include <cmath>

namespace {

const Color kWhite(1.0f, 1.0f, 1.0f);

/// Bytes one parameter takes in the library record.
std::size_t FieldSize(ParamType type) {
    return type == TYPE_RGBA || type == TYPE_POINT3 ? 12 : 4;
}

std::string Quoted(const std::string &s) {
    return "\"" + s + "\"";
}

std::string LabelList(const ChoiceSpec &choice) {
    std::string list;
    for (std::size_t i = 0; i < choice.labels.size(); ++i) {
        if (i) list += i + 1 == choice.labels.size() ? " or " : ", ";
        list += Quoted(choice.labels[i]);
    }
    return list;
}

}  // namespace

TablePlugIn::TablePlugIn(const PlugInLayout &layout, bool loading)
    : layout_(layout), controllers_(layout.params.empty() ? 0 : layout.controllers.size()) {
    if (loading || layout_.params.empty()) return;
    ReplaceReference(kRefParams,
                     MakeParamBlock(layout_.params.data(), int(layout_.params.size()),
                                    layout_.blockVersion));
    for (std::size_t i = 0; i < controllers_.size(); ++i) {
        auto *made = static_cast<Animatable *>(
            CreateInstance(REF_MAKER_CLASS_ID, kDefaultControllerClassID));
        auto *controller = dynamic_cast<NimbraController *>(made);
        if (!controller) {
            if (made) made->DeleteThis();
            continue;  // the slot stays empty; evaluation falls back to the birth values
        }
        ReplaceReference(kRefFirstController + int(i), controller);
        SetupController(int(i));
    }
}

TablePlugIn::~TablePlugIn() = default;

// ---------------------------------------------------------------------------------------------
// References and sub-animatables

int TablePlugIn::NumRefs() {
    return layout_.params.empty() ? 0 : 1 + int(controllers_.size());
}

ReferenceTarget *TablePlugIn::GetReference(int i) {
    if (i == kRefParams) return block_;
    const int c = i - kRefFirstController;
    return c >= 0 && c < int(controllers_.size()) ? controllers_[c] : nullptr;
}

void TablePlugIn::SetReference(int i, ReferenceTarget *target) {
    if (layout_.params.empty()) return;
    if (i == kRefParams) {
        auto *block = dynamic_cast<IParamBlock *>(target);
        const int count = int(layout_.params.size());
        block_ = BlockMatches(block, layout_.params.data(), count) ? block : nullptr;
        return;
    }
    const int c = i - kRefFirstController;
    if (c >= 0 && c < int(controllers_.size()))
        controllers_[c] = dynamic_cast<NimbraController *>(target);
}

TSTR TablePlugIn::SubAnimName(int i) {
    if (i == kRefParams) return layout_.params.empty() ? TSTR() : TSTR("Parameters");
    const int c = i - kRefFirstController;
    return c >= 0 && c < int(controllers_.size()) ? TSTR(layout_.controllers[c].name) : TSTR();
}

RefResult TablePlugIn::NotifyRefChanged(Interval, ReferenceTarget *, PartID &partID,
                                        RefMessage message) {
    return AnswerParamQuery(layout_.params.data(), int(layout_.params.size()), partID, message)
               ? REF_STOP
               : REF_SUCCEED;
}

ReferenceTarget *TablePlugIn::Clone(RemapDir &remap) {
    TablePlugIn *copy = MakeForLoading();
    for (int i = 0; i < NumRefs(); ++i)
        if (ReferenceTarget *target = GetReference(i))
            copy->ReplaceReference(i, remap.CloneRef(target));
    return copy;
}

void *TablePlugIn::GetInterface(ULONG id) {
    if (id == I_OBJECTPROPERTIES) return static_cast<IObjectProperties *>(this);
    return NimbraPlugIn::GetInterface(id);
}

// ---------------------------------------------------------------------------------------------
// Parameters

int TablePlugIn::IntParam(int i, TimeValue t) const {
    int v = static_cast<int>(layout_.params[i].defaultValue);
    if (block_) block_->GetValue(i, t, v);
    return v;
}

float TablePlugIn::FloatParam(int i, TimeValue t) const {
    float v = layout_.params[i].defaultValue;
    if (block_) block_->GetValue(i, t, v);
    return v;
}

Color TablePlugIn::ColorParam(int i, TimeValue t) const {
    Color v = layout_.params[i].defaultColor;
    if (block_) block_->GetValue(i, t, v);
    return v;
}

int TablePlugIn::ChoiceParam(int i, TimeValue t, int count) const {
    const int v = IntParam(i, t);
    return v >= 0 && v < count ? v : 0;
}

// ---------------------------------------------------------------------------------------------
// Controllers

int TablePlugIn::NumControllers() {
    return int(controllers_.size());
}

NimbraController *TablePlugIn::GetController(int i) {
    return i >= 0 && i < int(controllers_.size()) ? controllers_[i] : nullptr;
}

void TablePlugIn::SetupController(int i) {
    NimbraController *controller = GetController(i);
    if (!controller) return;
    const ControllerSpec &spec = layout_.controllers[i];
    if (spec.kind == ControllerSpec::kFloat)
        controller->__SetupFloat__(spec.minimum, spec.maximum, spec.step);
    else
        controller->__SetupColor__(kWhite, kWhite, 0);
}

void TablePlugIn::ResetControllers(TimeValue t, const ParticleInfo &p) {
    for (NimbraController *controller : controllers_)
        if (controller) controller->__Reset__(t, p.lifeStart, p.lifeEnd, p.particleIndex);
}

float TablePlugIn::EvalFloat(int i, int age, float birth, float death) {
    return AgeQuantity<float>{GetController(i), birth, death}.At(age);
}

int TablePlugIn::ControllerForButton(int buttonId) const {
    for (std::size_t i = 0; i < controllers_.size(); ++i)
        if (layout_.controllers[i].buttonId == buttonId) return int(i);
    return -1;
}

void TablePlugIn::ControllerButtonReleased(int i, bool checked, ICustButton *button) {
    NimbraController *controller = GetController(i);
    if (!controller) return;
    if (!checked) {
        controller->__EndEdit__(editIp_);
        return;
    }
    const ControllerSpec &spec = layout_.controllers[i];
    if (spec.kind == ControllerSpec::kColor && spec.birthColorParam >= 0 &&
        spec.deathColorParam >= 0)
        controller->__SetupColor__(ColorParam(spec.birthColorParam, 0),
                                   ColorParam(spec.deathColorParam, 0), 1);
    controller->__BeginEdit__(editIp_, spec.EditorName(), button);
}

void TablePlugIn::ControllerButtonRightClicked(int i) {
    if (!GetController(i)) return;  // nothing to replace (the prompt needs a controller)
    ReferenceTarget *before = GetController(i);
    NimbraInterface *iface = editInterface_ ? editInterface_ : GetNimbraInterface();
    iface->PromptForController(this, ControllerReference(i));
    // Setting up a controller the user kept would reset its variation settings to the
    // quantity's defaults: only a new one is set up.
    if (GetController(i) != before) SetupController(i);
}

void TablePlugIn::EndControllerEditors() {
    for (NimbraController *controller : controllers_)
        if (controller) controller->__EndEdit__(editIp_);
}

// ---------------------------------------------------------------------------------------------
// Editing

void TablePlugIn::__BeginEdit__(IObjParam *ip, NimbraInterface *iface) {
    editing_ = true;
    editIp_ = ip;
    editInterface_ = iface;
}

void TablePlugIn::__EndEdit__(IObjParam *ip, NimbraInterface *) {
    if (ip) editIp_ = ip;
    EndControllerEditors();
    editing_ = false;
    editIp_ = nullptr;
    editInterface_ = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Library files

std::size_t TablePlugIn::LibraryBodySize() const {
    std::size_t size = 0;
    for (int i = 0; i < layout_.LibraryParamCount(); ++i)
        size += FieldSize(layout_.params[i].type);
    return size;
}

int TablePlugIn::LibrarySave(NimbraInterface *io) {
    if (!io) return 0;
    std::vector<std::uint8_t> body(LibraryBodySize());
    std::uint8_t *at = body.data();
    for (int i = 0; i < layout_.LibraryParamCount(); ++i) {
        switch (layout_.params[i].type) {
            case TYPE_INT:
            case TYPE_BOOL:
                PutLEInt(at, IntParam(i, 0));
                break;
            case TYPE_FLOAT:
                PutLEFloat(at, FloatParam(i, 0));
                break;
            case TYPE_RGBA:
            case TYPE_POINT3: {
                const Color c = ColorParam(i, 0);
                PutLEFloat(at, c.r);
                PutLEFloat(at + 4, c.g);
                PutLEFloat(at + 8, c.b);
                break;
            }
        }
        at += FieldSize(layout_.params[i].type);
    }
    if (!WriteLibraryVersion(io)) return 0;
    if (!body.empty() && io->fwrite(body.data(), unsigned(body.size()), 1) != 1) return 0;
    return SaveAppendedRecord(io);
}

int TablePlugIn::LibraryLoad(NimbraInterface *io) {
    if (!io || !ReadLibraryVersion(io)) return 0;
    std::vector<std::uint8_t> body(LibraryBodySize());
    if (!body.empty() && io->fread(body.data(), unsigned(body.size()), 1) != 1) return 0;

    // Decode and check every field before anything changes.
    struct Value {
        int i = 0;
        float f = 0.0f;
        Color c;
    };
    const std::size_t fields = std::size_t(layout_.LibraryParamCount());
    std::vector<Value> values(fields);
    const std::uint8_t *at = body.data();
    for (std::size_t i = 0; i < fields; ++i) {
        const ParamType type = layout_.params[i].type;
        Value &v = values[i];
        switch (type) {
            case TYPE_INT:
            case TYPE_BOOL:
                v.i = GetLEInt(at);
                break;
            case TYPE_FLOAT:
                v.f = GetLEFloat(at);
                if (!std::isfinite(v.f)) return 0;
                break;
            case TYPE_RGBA:
            case TYPE_POINT3:
                v.c = Color(GetLEFloat(at), GetLEFloat(at + 4), GetLEFloat(at + 8));
                if (!std::isfinite(v.c.r) || !std::isfinite(v.c.g) || !std::isfinite(v.c.b))
                    return 0;
                break;
        }
        at += FieldSize(type);
    }
    for (const ChoiceSpec &choice : layout_.choices) {
        if (std::size_t(choice.param) >= fields) continue;
        const int v = values[choice.param].i;
        const int count = choice.labels.empty() ? 2 : int(choice.labels.size());
        if (v < 0 || v >= count) return 0;
    }

    if (!ReadAppendedRecord(io)) return 0;

    if (!block_ && !layout_.params.empty())
        ReplaceReference(kRefParams,
                         MakeParamBlock(layout_.params.data(), int(layout_.params.size()),
                                        layout_.blockVersion));
    SuspendAnimate();  // restored values are values, not keys made while animating
    for (std::size_t i = 0; block_ && i < fields; ++i) {
        const int index = int(i);
        switch (layout_.params[i].type) {
            case TYPE_INT:
            case TYPE_BOOL:
                block_->SetValue(index, 0, values[i].i);
                break;
            case TYPE_FLOAT:
                block_->SetValue(index, 0, values[i].f);
                break;
            case TYPE_RGBA:
            case TYPE_POINT3:
                block_->SetValue(index, 0, values[i].c);
                break;
        }
    }
    ApplyAppendedRecord();
    ResumeAnimate();
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Named settings

const ChoiceSpec *TablePlugIn::FindChoice(const std::string &name) const {
    for (const ChoiceSpec &choice : layout_.choices)
        if (name == choice.property) return &choice;
    return nullptr;
}

std::vector<PropertyInfo> TablePlugIn::ListProperties() {
    std::vector<PropertyInfo> list;
    for (const ChoiceSpec &choice : layout_.choices) {
        PropertyInfo info{choice.property,
                          choice.labels.empty() ? PropertyKind::Bool : PropertyKind::Choice,
                          {},
                          choice.help};
        for (const char *label : choice.labels) info.choices.push_back(label);
        list.push_back(std::move(info));
    }
    return list;
}

bool TablePlugIn::SetProperty(const std::string &name, const PropertyValue &value,
                              std::string &error) {
    const ChoiceSpec *choice = FindChoice(name);
    if (!choice) {
        TSTR className;
        GetClassName(className);
        error = className + " has no property " + Quoted(name);
        return false;
    }
    int index = -1;
    if (choice->labels.empty()) {
        if (const auto *on = std::get_if<bool>(&value)) index = *on ? 1 : 0;
        if (index < 0) error = Quoted(name) + " expects true or false";
    } else {
        if (const auto *label = std::get_if<std::string>(&value))
            for (std::size_t i = 0; i < choice->labels.size(); ++i)
                if (*label == choice->labels[i]) index = int(i);
        if (index < 0) error = Quoted(name) + " expects " + LabelList(*choice);
    }
    if (index < 0) return false;
    if (!block_) {
        error = "the plug-in has no parameter block to hold " + Quoted(name);
        return false;
    }
    SuspendAnimate();  // properties are not animated
    block_->SetValue(choice->param, 0, index);
    ResumeAnimate();
    return true;
}

std::optional<PropertyValue> TablePlugIn::GetProperty(const std::string &name) {
    const ChoiceSpec *choice = FindChoice(name);
    if (!choice) return std::nullopt;
    if (choice->labels.empty()) return IntParam(choice->param, 0) != 0;
    return std::string(
        choice->labels[ChoiceParam(choice->param, 0, int(choice->labels.size()))]);
}
