/// @file studio_controller_routes.cpp
/// @brief The studio's controller routes: the helper's "Particle Age" state, the Controllers
///        dialog, replacing a controller and the controller's editor (interpolation, values,
///        variation page, curve views and keys).
#include "studio_context.h"

#include "object_config.h"

#include "framework/class_ids.h"
#include "framework/nimbra_interface.h"
#include "framework/plugin_registry.h"
#include "framework/table_plugin.h"
#include "plugins/standard/controller_graph.h"
#include "plugins/standard/default_controller.h"
#include "setup/helper.h"
#include "setup/helper_properties.h"
#include "host/inode.h"
#include "host/interface.h"
#include "host/paramblock.h"

#include <cmath>
#include <optional>
#include <vector>

namespace {

/// The quantities of the helper's four age controllers, in controller order: the names their
/// editors are titled with.
constexpr const char *kHelperQuantities[NimbraHelper::kControllers] = {
    "Trans", "Size", "Shadow Trans", "Shadow Size"};

/// Client sizes the curve views may ask for, in pixels.
constexpr int kMinGraphSize = 4, kMaxGraphSize = 2048;

/// One age controller a roll-up has a button for: one of the helper's four, or one of a
/// plug-in's (`plugIn` set, `slot` naming the plug-in's place in the helper).
struct ControllerRef {
    NimbraHelper *helper;
    TablePlugIn *plugIn;
    std::string slot;
    int index;
    std::string quantity;

    NimbraController *Get() const {
        return plugIn ? plugIn->GetController(index) : helper->GetHelperController(index);
    }
};

NimbraHelper *NimbraHelperOf(StudioContext &s, const std::string &name) {
    auto *helper = dynamic_cast<NimbraHelper *>(s.Helper(name)->GetObjectRef());
    if (!helper) throw RequestError{404, "\"" + name + "\" is no Nimbra helper"};
    return helper;
}

/// The helper's controllers, then those of its plug-ins in slot order.
std::vector<ControllerRef> Controllers(NimbraHelper *helper) {
    std::vector<ControllerRef> list;
    for (int i = 0; i < NimbraHelper::kControllers; ++i)
        list.push_back({helper, nullptr, "", i, kHelperQuantities[i]});
    for (const auto &[slot, sub] : Slots(helper))
        if (auto *plugIn = dynamic_cast<TablePlugIn *>(sub))
            for (int i = 0; i < int(plugIn->Layout().controllers.size()); ++i)
                list.push_back(
                    {helper, plugIn, slot, i, plugIn->Layout().controllers[i].EditorName()});
    return list;
}

/// The controller that `body` names by "controller" (its quantity) and optional "slot" (the
/// plug-in that holds it; none for the helper's own). RequestError 404 when there is none.
ControllerRef FindController(NimbraHelper *helper, const ojson &body) {
    const std::string quantity = StringMember(body, "controller");
    std::string slot;
    if (const auto it = body.find("slot"); it != body.end() && !it->is_null()) {
        if (!it->is_string()) throw RequestError{400, "expected \"slot\": a string"};
        slot = it->get<std::string>();
    }
    for (const ControllerRef &c : Controllers(helper))
        if (c.slot == slot && c.quantity == quantity) return c;
    throw RequestError{404, "no controller \"" + quantity + "\"" +
                                (slot.empty() ? "" : " in \"" + slot + "\"")};
}

/// The controller as a default controller, whose editor the studio shows; RequestError 409
/// for another class (or none).
DefaultController *Editable(const ControllerRef &c) {
    auto *controller = dynamic_cast<DefaultController *>(c.Get());
    if (!controller)
        throw RequestError{409, "the controller \"" + c.quantity + "\" has no editor here"};
    return controller;
}

/// The Controllers dialog's classes: every registered controller class by name.
std::vector<std::string> ControllerClasses() {
    const PlugInRegistry &registry = ThePlugInRegistry();
    std::vector<std::string> names;
    for (int i = 0; i < registry.Count(); ++i)
        if (registry.Get(i)->categoryKey == kControllerKey)
            names.push_back(registry.Get(i)->className);
    return names;
}

/// The editor's state at t: the parameters and properties as the reader takes them, the
/// enabling, the variation page with the owner's set-up (range and spinner step), and the
/// keyed parameters.
ojson EditorJson(DefaultController *c, TimeValue t) {
    // The editor shows the blocks' values at the current time, as after a time change.
    c->__Reset__(t, 0, 1, 0);
    const ControllerState &state = c->State();
    const DefaultController::EditorEnabling on = c->EditorControlsEnabled();
    IObjectProperties *props = GetObjectProperties(c);
    ojson modes = ojson::array();
    for (const PropertyInfo &info : props->ListProperties())
        if (info.name == kInterpolationProperty) modes = info.choices;
    ojson page = nullptr;
    if (c->EditorVariationPage() == DefaultController::VariationPage::kColors) page = "colors";
    if (c->EditorVariationPage() == DefaultController::VariationPage::kNumbers) {
        const bool whole = state.kind == kKindInt;
        page = {{"kind", whole ? "int" : "float"},
                {"min", whole ? double(state.minInt) : FileNumber(state.minFloat)},
                {"max", whole ? double(state.maxInt) : FileNumber(state.maxFloat)},
                {"step", whole ? 1.0 : FileNumber(state.stepFloat)}};
    }
    ojson keys = ojson::object();
    const ojson settings = ObjectSettings(c);
    if (const auto params = settings.find("params"); params != settings.end())
        for (const auto &[name, value] : params->items())
            if (value.is_object()) keys[name] = value["keys"];
    return {{"open", c->IsEditing()},
            {"title", c->IsEditing() ? c->EditorTitle() : std::string()},
            {"modes", std::move(modes)},
            {"properties", PropertySettings(props)},
            {"params", ParamTable(c, t)},
            {"enabled",
             {{"value1", on.value1},
              {"value2", on.value2},
              {"perParticle", on.perParticle},
              {"byAge", on.byAge}}},
            {"variation", std::move(page)},
            {"keys", std::move(keys)}};
}

ojson ControllerJson(const ControllerRef &c, TimeValue t) {
    NimbraController *controller = c.Get();
    auto *editable = dynamic_cast<DefaultController *>(controller);
    return {{"slot", c.slot.empty() ? ojson() : ojson(c.slot)},
            {"controller", c.quantity},
            {"class", controller ? SceneClassName(controller) : std::string()},
            {"editor", editable ? EditorJson(editable, t) : ojson()}};
}

/// What the "Particle Age" roll-up needs besides the helper's parameters: its layout, the
/// switch that is only offered with emitter age, and every controller with its editor.
ojson AgeJson(NimbraHelper *helper) {
    const TimeValue t = GetCOREInterface()->GetTime();
    ojson controllers = ojson::array();
    for (const ControllerRef &c : Controllers(helper))
        controllers.push_back(ControllerJson(c, t));
    return {{"reduced", helper->IsVolumeSetup()},
            {"emitterAgeAvailable", helper->EmitterAgeAvailable()},
            {"controllers", std::move(controllers)}};
}

/// Answers the Controllers dialog with `choice` and forwards the messages to the page: the
/// studio's stand-in for the user at the dialog while `PromptForController` asks.
class ScriptedChoice : public UserInterfaceService {
public:
    ScriptedChoice(std::string choice, MessageLog &log)
        : choice_(std::move(choice)), log_(log) {
        previous_ = SetUserInterface(this);
    }
    ~ScriptedChoice() override { SetUserInterface(previous_); }

    int ShowMessage(const MessageRequest &request) override {
        return log_.ShowMessage(request);
    }
    std::optional<int> ChooseFromList(const ListChoiceRequest &request) override {
        for (std::size_t i = 0; i < request.items.size(); ++i)
            if (request.items[i] == choice_) return int(i);
        return std::nullopt;
    }

private:
    std::string choice_;
    MessageLog &log_;
    UserInterfaceService *previous_;
};

/// Right click on a controller button: the Controllers dialog answered with `className`, then
/// the owner's set-up of a new controller.
void ReplaceController(StudioContext &s, const ControllerRef &c, const std::string &className) {
    const std::vector<std::string> classes = ControllerClasses();
    if (std::find(classes.begin(), classes.end(), className) == classes.end())
        throw RequestError{400, "no controller class \"" + className + "\""};
    if (!c.Get()) throw RequestError{409, "there is no controller \"" + c.quantity + "\""};
    ScriptedChoice answer(className, s.messages);
    if (c.plugIn) {
        c.plugIn->ControllerButtonRightClicked(c.index);
        return;
    }
    const NimbraController *before = c.Get();
    GetNimbraInterface()->PromptForController(c.helper,
                                              NimbraHelper::kRefTransController + c.index);
    if (c.Get() != before) c.helper->SetupController(c.index);
}

/// Opens or closes the controller's editor, as checking or unchecking its button does.
void Edit(const ControllerRef &c, bool open) {
    Interface *ip = GetCOREInterface();
    NimbraController *controller = Editable(c);
    if (c.plugIn)
        c.plugIn->ControllerButtonReleased(c.index, open, nullptr);
    else if (open)
        controller->__BeginEdit__(ip, c.quantity.c_str(), nullptr);
    else
        controller->__EndEdit__(ip);
}

/// The parameter block of `c` that holds the parameter `name`, with its index.
std::pair<IParamBlock *, int> FindParam(DefaultController *c, const std::string &name) {
    for (int r = 0; r < c->NumRefs(); ++r)
        if (auto *block = dynamic_cast<IParamBlock *>(c->GetReference(r)))
            if (const int i = block->FindParamByName(name.c_str()); i >= 0) return {block, i};
    throw RequestError{400, "the controller has no parameter \"" + name + "\""};
}

template <typename T>
void CopyParam(IParamBlock &from, IParamBlock &to, int i, int skippedKey) {
    T v{};
    const int keys = from.IsParamAnimatable(i) ? from.NumKeys(i) : 0;
    if (keys == 0 || (keys == 1 && skippedKey == 0)) {
        from.GetValue(i, 0, v);
        to.SetValue(i, 0, v);
        return;
    }
    for (int k = 0; k < keys; ++k) {
        if (k == skippedKey) continue;
        const TimeValue t = from.GetKeyTime(i, k);
        from.GetValue(i, t, v);
        to.SetKey(i, t, v);
    }
}

/// A copy of `block` without key `key` of parameter `param` (blocks cannot drop a key, so
/// the block is replaced). A parameter whose last key goes keeps that key's value.
IParamBlock *WithoutKey(IParamBlock &block, int param, int key) {
    std::vector<ParamBlockDescID> layout;
    for (int i = 0; i < block.NumParams(); ++i)
        layout.push_back({block.GetParameterType(i), nullptr, block.IsParamAnimatable(i),
                          block.GetParamID(i)});
    IParamBlock *copy =
        CreateParameterBlock(layout.data(), int(layout.size()), block.GetVersion());
    for (int i = 0; i < block.NumParams(); ++i) {
        const int skipped = i == param ? key : -1;
        switch (block.GetParameterType(i)) {
            case TYPE_FLOAT:
                CopyParam<float>(block, *copy, i, skipped);
                break;
            case TYPE_INT:
            case TYPE_BOOL:
                CopyParam<int>(block, *copy, i, skipped);
                break;
            case TYPE_RGBA:
            case TYPE_POINT3:
                CopyParam<Point3>(block, *copy, i, skipped);
                break;
        }
    }
    return copy;
}

void DeleteKey(DefaultController *c, const ojson &body) {
    const auto [block, param] = FindParam(c, StringMember(body, "param"));
    const auto frame = body.find("frame");
    if (frame == body.end() || !frame->is_number())
        throw RequestError{400, "expected \"frame\": a number"};
    const double ticks = frame->get<double>() * GetTicksPerFrame();
    const int keys = block->IsParamAnimatable(param) ? block->NumKeys(param) : 0;
    for (int k = 0; k < keys; ++k) {
        if (std::abs(block->GetKeyTime(param, k) - ticks) > 0.5) continue;
        for (int r = 0; r < c->NumRefs(); ++r)
            if (c->GetReference(r) == block)
                c->ReplaceReference(r, WithoutKey(*block, param, k));
        return;
    }
    throw RequestError{400, "no key at frame " + frame->dump()};
}

/// Runs `change` on the controller that the body names with the preview stopped, and answers
/// the new state of every controller.
using Change = std::function<void(const ControllerRef &, const ojson &)>;
void PostChange(StudioContext &studio, const std::string &pattern, Change change) {
    StudioContext *s = &studio;
    studio.Post(R"(/api/helpers/([^/]+)/controller/)" + pattern,
                [s, change](const httplib::Request &req) {
                    const ojson body = ParseBody(req);
                    NimbraHelper *helper = NimbraHelperOf(*s, req.matches[1]);
                    const ControllerRef c = FindController(helper, body);
                    s->StopPreview();
                    change(c, body);
                    return AgeJson(helper);
                });
}

/// Waits for a running preview: the renderer evaluates the controllers that the editor
/// resets and evaluates.
void WaitForPreview(StudioContext &s) {
    s.window->Manager().Wait();
    s.TickPreview();
}

int GraphSize(const httplib::Request &req, const char *key) {
    int size = 0;
    try {
        size = std::stoi(req.get_param_value(key));
    } catch (const std::exception &) {
        size = 0;
    }
    if (size < kMinGraphSize || size > kMaxGraphSize)
        throw RequestError{400, std::string("\"") + key + "\" must be a whole number from " +
                                    std::to_string(kMinGraphSize) + " to " +
                                    std::to_string(kMaxGraphSize)};
    return size;
}

ojson GraphJson(DefaultController *c, int width, int height) {
    const ControllerGraph graph =
        ComputeControllerGraph(*c, GetCOREInterface()->GetTime(), width, height);
    ojson strip = ojson::array(), curve = ojson::array();
    for (const GraphColor &g : graph.strip) strip.push_back({g.r, g.g, g.b});
    for (const GraphPoint &p : graph.curve) curve.push_back({p.x, p.y});
    return {{"width", width},
            {"height", height},
            {"strip", std::move(strip)},
            {"curve", std::move(curve)}};
}

}  // namespace

void AddControllerRoutes(StudioContext &studio) {
    StudioContext *s = &studio;
    studio.Get("/api/controller-classes", [](const auto &) {
        return ojson{{"classes", ControllerClasses()}};
    });
    studio.Get(R"(/api/helpers/([^/]+)/controllers)", [s](const httplib::Request &req) {
        NimbraHelper *helper = NimbraHelperOf(*s, req.matches[1]);
        WaitForPreview(*s);
        return AgeJson(helper);
    });
    studio.Get(R"(/api/helpers/([^/]+)/controller/graph)", [s](const httplib::Request &req) {
        NimbraHelper *helper = NimbraHelperOf(*s, req.matches[1]);
        ojson named = {{"controller", req.get_param_value("controller")}};
        if (req.has_param("slot")) named["slot"] = req.get_param_value("slot");
        DefaultController *c = Editable(FindController(helper, named));
        const int width = GraphSize(req, "width"), height = GraphSize(req, "height");
        WaitForPreview(*s);
        return GraphJson(c, width, height);
    });
    // The age block's labelled switches and numbers ("Use Emitter Age", "Use Brush Settings"…).
    studio.Post(R"(/api/helpers/([^/]+)/age/property)", [s](const httplib::Request &req) {
        const ojson body = ParseBody(req);
        NimbraHelper *helper = NimbraHelperOf(*s, req.matches[1]);
        const std::string name = StringMember(body, "name");
        if (!body.contains("value")) throw RequestError{400, "expected \"value\""};
        s->StopPreview();
        Configure(helper, {{"properties", {{name, body["value"]}}}});
        // Brush settings replace the shadow's own sizes and transparencies: their editors end.
        if (name == kUseBrushSettingsProperty && body["value"] == true)
            for (int i :
                 {NimbraHelper::kShadowTransController, NimbraHelper::kShadowSizeController})
                if (NimbraController *c = helper->GetHelperController(i))
                    c->__EndEdit__(GetCOREInterface());
        return AgeJson(helper);
    });
    PostChange(studio, "replace", [s](const ControllerRef &c, const ojson &body) {
        ReplaceController(*s, c, StringMember(body, "class"));
    });
    PostChange(studio, "edit", [](const ControllerRef &c, const ojson &body) {
        const auto open = body.find("open");
        if (open == body.end() || !open->is_boolean())
            throw RequestError{400, "expected \"open\": true or false"};
        Edit(c, open->get<bool>());
    });
    PostChange(studio, "set", [](const ControllerRef &c, const ojson &body) {
        ojson settings = ojson::object();
        for (const char *key : {"params", "properties"})
            if (body.contains(key)) settings[key] = body[key];
        if (settings.empty()) throw RequestError{400, "expected \"params\" or \"properties\""};
        Configure(Editable(c), settings);
    });
    PostChange(studio, "key", [](const ControllerRef &c, const ojson &body) {
        DefaultController *controller = Editable(c);
        const std::string param = StringMember(body, "param");
        const TimeValue t = GetCOREInterface()->GetTime();
        ojson value = body.contains("value") ? body["value"] : ojson();
        if (value.is_null()) {
            FindParam(controller, param);  // a parameter of its own, not a property
            for (const ojson &row : ParamTable(controller, t))
                if (row["name"] == param) value = row["value"];
        }
        Configure(controller, {{"params", {{param, {{"keys", {{FramesJson(t), value}}}}}}}});
    });
    PostChange(studio, "key/delete",
               [](const ControllerRef &c, const ojson &body) { DeleteKey(Editable(c), body); });
}
