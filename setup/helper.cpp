/// @file helper.cpp
/// @brief The Nimbra helper object: construction, references, plug-in selection, the life
///        window, the particle-system list, cloning and scene-file chunks.
#include "setup/helper.h"

#include "framework/library_block.h"
#include "framework/nimbra_interface.h"
#include "framework/plugin_interface.h"
#include "framework/plugin_registry.h"
#include "host/interface.h"
#include "host/little_endian.h"
#include "host/messages.h"
#include "host/particles.h"

#include <algorithm>
#include <optional>
#include <span>
#include <vector>

namespace {

/// Icon block layout (version 0): only the last two parameters are used.
const ParamBlockDesc kIconLayout[NimbraHelper::kIconParams] = {
    {TYPE_BOOL, nullptr, FALSE},  {TYPE_FLOAT, nullptr, TRUE},  {TYPE_INT, nullptr, TRUE},
    {TYPE_FLOAT, nullptr, TRUE},  {TYPE_FLOAT, nullptr, TRUE},  {TYPE_RGBA, nullptr, TRUE},
    {TYPE_INT, nullptr, TRUE},    {TYPE_FLOAT, nullptr, TRUE},  {TYPE_FLOAT, nullptr, TRUE},
    {TYPE_RGBA, nullptr, TRUE},   {TYPE_FLOAT, nullptr, FALSE},  // icon width
    {TYPE_FLOAT, nullptr, FALSE},                                // icon length
};

bool IconBlockMatches(IParamBlock *block) {
    if (!block || block->NumParams() != NimbraHelper::kIconParams) return false;
    for (int i = 0; i < NimbraHelper::kIconParams; ++i) {
        if (block->GetParameterType(i) != kIconLayout[i].type) return false;
    }
    return true;
}

constexpr const char *kSubAnimNames[NimbraHelper::kSubAnimsWithPlugIns] = {
    "Nimbra",
    "Trans. Controller",
    "Size. Controller",
    "Shadow Trans. Controller",
    "Shadow Size. Controller",
    "Particle Shape",
    "Color Shader",
    "Composite",
};

/// The role of category key `key`, or -1 for a category the helper holds no plug-in of.
int RoleOf(ULONG key) {
    for (int role = 0; role < NimbraHelper::kRoles; ++role) {
        if (NimbraHelper::CategoryKey(static_cast<NimbraHelper::Role>(role)) == key)
            return role;
    }
    return -1;
}

/// Host particle systems whose life the helper can take as its own ("Use Emitter Age"), with
/// the index of the life in their parameter blocks.
struct EmitterLife {
    Class_ID id;
    int lifeParam;
};
constexpr EmitterLife kEmitterLives[] = {
    {Class_ID(0x9BD61AA0, 0), 7},           {Class_ID(0x9BD61AA1, 0), 7},
    {Class_ID(0x74F811E3, 0x21FB7B57), 12}, {Class_ID(0x5835054D, 0x564B40ED), 12},
    {Class_ID(0x0E3C25B5, 0x109D1659), 11}, {Class_ID(0x1C0F3D2F, 0x30310AF9), 14},
};

bool ServesVolumes(NimbraPlugIn *plugIn) {
    if (!plugIn) return false;
    const int support = plugIn->__SupportProcessing__();
    return support == kVolumeRendererSupport || support == kBothRenderersSupport;
}

/// Calls `f` on every node below `node` (depth first), `node` included.
template <typename F>
void ForEachNode(INode *node, F &&f) {
    if (!node) return;
    f(node);
    for (int i = 0; i < node->NumberOfChildren(); ++i) ForEachNode(node->GetChildNode(i), f);
}

/// Writes one chunk of little-endian 32-bit words.
IOResult WriteWords(ISave *isave, USHORT id, std::span<const std::uint32_t> words) {
    std::vector<std::uint8_t> bytes(4 * words.size());
    for (std::size_t i = 0; i < words.size(); ++i) PutLE32(bytes.data() + 4 * i, words[i]);
    const ULONG size = static_cast<ULONG>(bytes.size());
    ULONG written = 0;
    isave->BeginChunk(id);
    const IOResult result = isave->Write(bytes.data(), size, &written);
    isave->EndChunk();
    return result == IO_OK && written == size ? IO_OK : IO_ERROR;
}

/// Reads `N` 32-bit words from the open chunk; IO_ERROR when it holds fewer.
template <std::size_t N>
IOResult ReadWords(ILoad *iload, std::array<std::uint32_t, N> &words) {
    std::uint8_t bytes[4 * N];
    ULONG got = 0;
    const IOResult result = iload->Read(bytes, sizeof bytes, &got);
    if (result != IO_OK) return result;
    if (got != sizeof bytes) return IO_ERROR;
    for (std::size_t i = 0; i < N; ++i) words[i] = GetLE32(bytes + 4 * i);
    return IO_OK;
}

class NimbraHelperDesc : public ClassDesc {
public:
    int IsPublic() override { return TRUE; }
    void *Create(BOOL loading) override {
        return static_cast<Animatable *>(new NimbraHelper(loading != FALSE));
    }
    const TCHAR *ClassName() override { return "Nimbra"; }
    SClass_ID SuperClassID() override { return HELPER_CLASS_ID; }
    Class_ID ClassID() override { return kNimbraHelperClassID; }
    const TCHAR *Category() override { return "Nimbra Helpers"; }
};

}  // namespace

ClassDesc *GetNimbraHelperDesc() {
    static NimbraHelperDesc desc;
    return &desc;
}

int CountHelpersInScene() {
    int count = 0;
    ForEachNode(GetCOREInterface()->GetRootNode(), [&](INode *node) {
        Object *obj = node->GetObjectRef();
        if (obj && obj->ClassID() == kNimbraHelperClassID) ++count;
    });
    return count;
}

ULONG NimbraHelper::CategoryKey(Role role) {
    constexpr ULONG keys[kRoles] = {kParticleShapeKey, kColorShaderKey, kCompositeKey};
    return keys[role];
}

Class_ID NimbraHelper::DefaultClass(Role role) {
    constexpr Class_ID defaults[kRoles] = {kCircleShapeClassID, kDefaultColorClassID,
                                           kDefaultCompositeClassID};
    return defaults[role];
}

const ParamSpec *NimbraHelper::AgeParamSpecs() {
    // The ranges are the values the helper renders with; scene files and library files are
    // checked against them.
    constexpr ParamRange kNotNegative{0.0f};
    constexpr ParamRange kFraction{0.0f, 1.0f};
    constexpr ParamRange kSwitch{0.0f, 1.0f};
    constexpr ParamRange kMaterialIds{0.0f, 255.0f};
    constexpr ParamRange kOrders{1.0f, kMaxShadingOrder};
    constexpr DWORD kIndex = kParamIDIsIndex;
    // "Life Ends At" and "Shading Order:" get their real defaults when a helper is built.
    static const ParamSpec specs[kAgeParams] = {
        {"Life Begins At", TYPE_INT, TRUE, 0.0f, stdTimeDim},
        {"Birth Size", TYPE_FLOAT, TRUE, 5.0f, stdWorldDim, {}, kIndex, kNotNegative},
        {"Birth Trans.", TYPE_FLOAT, TRUE, 0.3f, stdWorldDim, {}, kIndex, kFraction},
        {"Life Ends At", TYPE_INT, TRUE, 4800.0f, stdTimeDim},
        {"Death Size", TYPE_FLOAT, TRUE, 25.0f, stdWorldDim, {}, kIndex, kNotNegative},
        {"Death Trans.", TYPE_FLOAT, TRUE, 0.3f, stdWorldDim, {}, kIndex, kFraction},
        {"Every Nth", TYPE_INT, TRUE, 1.0f, stdWorldDim, {}, kIndex, {1.0f}},
        {"Nth Offset", TYPE_INT, TRUE, 0.0f, stdWorldDim, {}, kIndex, kNotNegative},
        {"", TYPE_INT, FALSE, 0.0f, defaultDim, {}, kIndex, kMaterialIds},  // "Material ID:"
        {"", TYPE_BOOL, FALSE, 0.0f, defaultDim, {}, kIndex, kSwitch},      // "Update Z-Buffer"
        {"This Shader Active", TYPE_BOOL, TRUE, 1.0f, defaultDim, {}, kIndex, kSwitch},
        {"", TYPE_BOOL, FALSE, 1.0f, defaultDim, {}, kIndex, kSwitch},  // "Cast Shadows"
        {"", TYPE_BOOL, FALSE, 0.0f, defaultDim, {}, kIndex, kSwitch},  // "Volume Fog"
        {"", TYPE_BOOL, FALSE, 0.0f, defaultDim, {}, kIndex, kSwitch},  // "Use Emitter Age"
        {"", TYPE_BOOL, FALSE, 1.0f, defaultDim, {}, kIndex, kSwitch},  // "Use Brush Settings"
        {"Birth Shadow Size", TYPE_FLOAT, TRUE, 5.0f, stdWorldDim, {}, kIndex, kNotNegative},
        {"Birth Shadow Trans.", TYPE_FLOAT, TRUE, 0.3f, stdWorldDim, {}, kIndex, kFraction},
        {"Death Shadow Size", TYPE_FLOAT, TRUE, 25.0f, stdWorldDim, {}, kIndex, kNotNegative},
        {"Death Shadow Trans.", TYPE_FLOAT, TRUE, 0.3f, stdWorldDim, {}, kIndex, kFraction},
        {"", TYPE_INT, FALSE, 1.0f, defaultDim, {}, kIndex, kOrders},  // "Shading Order:"
    };
    return specs;
}

// ---------------------------------------------------------------------------------------------
// Construction

NimbraHelper::NimbraHelper(bool loading) : interface_(GetNimbraInterface()) {
    for (int role = 0; role < kRoles; ++role)
        plugInIds_[role] = DefaultClass(static_cast<Role>(role)).PartB();
    if (loading) return;
    if (!BindDefaults()) {
        MessageBox(GetCOREInterface()->GetMainHWnd(), kFailedToBindText, kHelperTitle,
                   MB_OK | MB_ICONEXCLAMATION);
    }
    ReplaceReference(kRefIconBlock, CreateParameterBlock(kIconLayout, kIconParams));
    ReplaceReference(kRefAgeBlock, MakeParamBlock(AgeParamSpecs(), kAgeParams));
    WriteDefaults();
}

NimbraHelper::~NimbraHelper() = default;

namespace {

/// A new instance of class `id` (super class REF_MAKER_CLASS_ID) when it is a `T`, else null.
template <typename T>
T *NewInstance(Class_ID id) {
    auto *object = static_cast<Animatable *>(CreateInstance(REF_MAKER_CLASS_ID, id));
    auto *instance = dynamic_cast<T *>(object);
    if (object && !instance) object->DeleteThis();
    return instance;
}

}  // namespace

NimbraPlugIn *NimbraHelper::NewPlugIn(Class_ID id) {
    return NewInstance<NimbraPlugIn>(id);
}

NimbraController *NimbraHelper::NewController(Class_ID id) {
    return NewInstance<NimbraController>(id);
}

bool NimbraHelper::BindDefaults() {
    // All or nothing: a helper with some of its plug-ins would render half an effect.
    std::array<NimbraPlugIn *, kRoles> plugIns{};
    std::array<NimbraController *, kControllers> controllers{};
    bool complete = true;
    for (int role = 0; role < kRoles && complete; ++role) {
        plugIns[role] = NewPlugIn(DefaultClass(static_cast<Role>(role)));
        complete = plugIns[role] != nullptr;
    }
    for (int i = 0; i < kControllers && complete; ++i) {
        controllers[i] = NewController(kHelperControllerClassID);
        complete = controllers[i] != nullptr;
    }
    if (!complete) {
        for (NimbraPlugIn *p : plugIns)
            if (p) p->DeleteThis();
        for (NimbraController *c : controllers)
            if (c) c->DeleteThis();
        return false;
    }
    for (int role = 0; role < kRoles; ++role) ReplaceReference(kRefShape + role, plugIns[role]);
    for (int i = 0; i < kControllers; ++i) {
        ReplaceReference(kRefTransController + i, controllers[i]);
        SetupController(i);
    }
    return true;
}

void NimbraHelper::WriteDefaults() {
    // Defaults are constants, even for a helper made while animating.
    SuspendAnimate();
    ageBlock_->SetValue(kLifeEnds, 0, GetTicksPerFrame() * GetFrameRate());
    ageBlock_->SetValue(kShadingOrder, 0,
                        std::min(CountHelpersInScene() + 1, kMaxShadingOrder));
    ResumeAnimate();
    SetIconSize(kCreationIconSize, kCreationIconSize);
}

void *NimbraHelper::GetInterface(ULONG id) {
    if (id == I_OBJECTPROPERTIES) return static_cast<IObjectProperties *>(&properties_);
    if (id == I_PRESETFILE) return static_cast<IPresetFile *>(&presetFile_);
    if (id == I_HELPERRECORD) return static_cast<IHelperRecord *>(this);
    return HelperObject::GetInterface(id);
}

HelperRecord NimbraHelper::RecordAt(TimeValue t, bool shadowPass) {
    HelperRecord r;
    r.owner = this;
    r.plugIns = {Shape(), ColorShader(), Composite()};
    const bool shadowSet = shadowPass && !AgeInt(kUseBrushSettings, t);
    r.size = shadowSet ? AgeQuantity<float>{controllers_[kShadowSizeController],
                                            AgeFloat(kBirthShadowSize, t),
                                            AgeFloat(kDeathShadowSize, t)}
                       : AgeQuantity<float>{controllers_[kSizeController],
                                            AgeFloat(kBirthSize, t), AgeFloat(kDeathSize, t)};
    r.transparency =
        shadowSet
            ? AgeQuantity<float>{controllers_[kShadowTransController],
                                 AgeFloat(kBirthShadowTrans, t), AgeFloat(kDeathShadowTrans, t)}
            : AgeQuantity<float>{controllers_[kTransController], AgeFloat(kBirthTrans, t),
                                 AgeFloat(kDeathTrans, t)};
    r.active = AgeInt(kShaderActive, t) != 0;
    r.castShadows = AgeInt(kCastShadows, t) != 0;
    r.volumeSetup = IsVolumeSetup();
    r.writeZ = AgeInt(kUpdateZBuffer, t) != 0;
    r.materialId = std::clamp(AgeInt(kMaterialId, t), 0, 255);
    r.shadingOrder = AgeInt(kShadingOrder, t);
    r.lifeStart = LifeBegins(t);
    r.lifeEnd = LifeEnds(t);
    // A step below 1 would never advance and a negative offset would read before the first
    // particle: both are taken as the nearest sensible value.
    r.everyNth = std::max(1, AgeInt(kEveryNth, t));
    r.nthOffset = std::max(0, AgeInt(kNthOffset, t));
    return r;
}

// ---------------------------------------------------------------------------------------------
// Sub-animatables and references

int NimbraHelper::NumSubs() {
    const bool all = Shape() && ColorShader() && Composite();
    return all ? kSubAnimsWithPlugIns : kSubAnimsWithoutPlugIns;
}

Animatable *NimbraHelper::SubAnim(int i) {
    if (i == kSubAgeBlock) return ageBlock_;
    if (i >= kSubTransController && i <= kSubShadowSizeController)
        return controllers_[i - kSubTransController];
    if (i >= kSubShape && i <= kSubComposite) return plugIns_[i - kSubShape];
    return nullptr;
}

TSTR NimbraHelper::SubAnimName(int i) {
    return i >= 0 && i < kSubAnimsWithPlugIns ? kSubAnimNames[i] : "";
}

ReferenceTarget *NimbraHelper::GetReference(int i) {
    switch (i) {
        case kRefIconBlock:
            return iconBlock_;
        case kRefAgeBlock:
            return ageBlock_;
        case kRefShape:
        case kRefColor:
        case kRefComposite:
            return plugIns_[i - kRefShape];
        case kRefTransController:
        case kRefSizeController:
        case kRefShadowTransController:
        case kRefShadowSizeController:
            return controllers_[i - kRefTransController];
        default:
            if (i >= kRefFirstSystem && i - kRefFirstSystem < NumListedSystems())
                return particleSystems_[i - kRefFirstSystem];
            return nullptr;
    }
}

void NimbraHelper::SetReference(int i, ReferenceTarget *target) {
    // A target of the wrong kind (only a damaged scene file can bring one) is not taken: the
    // slot stays empty and the scene loader refuses the file.
    switch (i) {
        case kRefIconBlock: {
            auto *block = dynamic_cast<IParamBlock *>(target);
            iconBlock_ = IconBlockMatches(block) ? block : nullptr;
            break;
        }
        case kRefAgeBlock: {
            auto *block = dynamic_cast<IParamBlock *>(target);
            ageBlock_ = BlockMatches(block, AgeParamSpecs(), kAgeParams) ? block : nullptr;
            break;
        }
        case kRefShape:
        case kRefColor:
        case kRefComposite:
            plugIns_[i - kRefShape] = dynamic_cast<NimbraPlugIn *>(target);
            break;
        case kRefTransController:
        case kRefSizeController:
        case kRefShadowTransController:
        case kRefShadowSizeController:
            controllers_[i - kRefTransController] = dynamic_cast<NimbraController *>(target);
            break;
        default:
            if (i >= kRefFirstSystem && i - kRefFirstSystem < NumListedSystems())
                particleSystems_[i - kRefFirstSystem] = dynamic_cast<INode *>(target);
            break;
    }
}

RefResult NimbraHelper::NotifyRefChanged(Interval, ReferenceTarget *hTarget, PartID &partID,
                                         RefMessage message) {
    switch (message) {
        case REFMSG_TARGET_DELETED: {
            // The host clears any further slot that still holds the node afterwards.
            auto it = std::find(particleSystems_.begin(), particleSystems_.end(), hTarget);
            if (it != particleSystems_.end()) {
                particleSystems_.erase(it);
                currentSystem_ = std::min(currentSystem_, NumListedSystems());
            }
            return REF_SUCCEED;
        }
        case REFMSG_CHANGE:
            quickPreview_.Invalidate();
            return REF_SUCCEED;
        case REFMSG_GET_PARAM_NAME:
        case REFMSG_GET_PARAM_DIM:
        case REFMSG_GET_PARAM_RANGE:
            if (hTarget == ageBlock_) {
                AnswerParamQuery(AgeParamSpecs(), kAgeParams, partID, message);
                return REF_STOP;
            }
            if (hTarget == iconBlock_ && message != REFMSG_GET_PARAM_RANGE) {
                // The icon block's parameters have no names; its size is in world units.
                if (message == REFMSG_GET_PARAM_NAME) {
                    reinterpret_cast<GetParamName *>(partID)->name.clear();
                } else {
                    auto *query = reinterpret_cast<GetParamDim *>(partID);
                    query->dim = query->index == kIconWidth || query->index == kIconLength
                                     ? stdWorldDim
                                     : defaultDim;
                }
                return REF_STOP;
            }
            return REF_SUCCEED;
        default:
            return REF_SUCCEED;
    }
}

void NimbraHelper::NotifyStructureChanged() {
    quickPreview_.Invalidate();
    NotifyDependents(FOREVER, PART_ALL, REFMSG_SUBANIM_STRUCTURE_CHANGED);
}

ReferenceTarget *NimbraHelper::Clone(RemapDir &remap) {
    auto *copy = new NimbraHelper(true);
    for (int i = kRefIconBlock; i < kRefFirstSystem; ++i)
        copy->ReplaceReference(i, remap.CloneRef(GetReference(i)));
    for (INode *node : particleSystems_) {
        if (!node) continue;
        copy->particleSystems_.push_back(nullptr);
        copy->ReplaceReference(kRefFirstSystem + copy->NumListedSystems() - 1, node);
    }
    copy->plugInIds_ = plugInIds_;
    copy->spareId_ = spareId_;
    copy->panelState_ = panelState_;
    copy->reservedA_ = reservedA_;
    copy->reservedB_ = reservedB_;
    copy->reservedC_ = reservedC_;
    return copy;
}

// ---------------------------------------------------------------------------------------------
// Scene files

IOResult NimbraHelper::Save(ISave *isave) {
    const auto u = [](std::int32_t v) { return static_cast<std::uint32_t>(v); };
    const std::uint32_t count[] = {static_cast<std::uint32_t>(NumListedSystems())};
    const std::uint32_t ids[] = {plugInIds_[kShapeRole], plugInIds_[kColorRole],
                                 plugInIds_[kCompositeRole], spareId_};
    std::array<std::uint32_t, kPanelStateWords> panel;
    std::transform(panelState_.begin(), panelState_.end(), panel.begin(), u);
    const std::uint32_t reservedC[] = {u(reservedC_)};
    const std::uint32_t reservedAB[] = {u(reservedA_), u(reservedB_)};
    for (IOResult r :
         {WriteWords(isave, kSystemCountChunk, count), WriteWords(isave, kPlugInIdsChunk, ids),
          WriteWords(isave, kPanelStateChunk, panel),
          WriteWords(isave, kReservedCChunk, reservedC),
          WriteWords(isave, kReservedABChunk, reservedAB)}) {
        if (r != IO_OK) return r;
    }
    return IO_OK;
}

IOResult NimbraHelper::Load(ILoad *iload) {
    const auto s = [](std::uint32_t v) { return static_cast<std::int32_t>(v); };
    IOResult result;
    while ((result = iload->OpenChunk()) == IO_OK) {
        IOResult read = IO_OK;
        switch (iload->CurChunkID()) {
            case kSystemCountChunk: {
                std::array<std::uint32_t, 1> count;
                read = ReadWords(iload, count);
                if (read == IO_OK && count[0] > kMaxListedSystems) read = IO_ERROR;
                if (read == IO_OK) {
                    ClearParticleSystems();
                    particleSystems_.assign(count[0], nullptr);
                }
                break;
            }
            case kPlugInIdsChunk: {
                std::array<std::uint32_t, 4> ids;
                read = ReadWords(iload, ids);
                if (read == IO_OK) {
                    std::copy_n(ids.begin(), kRoles, plugInIds_.begin());
                    spareId_ = ids[3];
                }
                break;
            }
            case kPanelStateChunk: {
                std::array<std::uint32_t, kPanelStateWords> words;
                read = ReadWords(iload, words);
                if (read == IO_OK)
                    std::transform(words.begin(), words.end(), panelState_.begin(), s);
                break;
            }
            case kReservedCChunk: {
                std::array<std::uint32_t, 1> words;
                read = ReadWords(iload, words);
                if (read == IO_OK) reservedC_ = s(words[0]);
                break;
            }
            case kReservedABChunk: {
                std::array<std::uint32_t, 2> words;
                read = ReadWords(iload, words);
                if (read == IO_OK) {
                    reservedA_ = s(words[0]);
                    reservedB_ = s(words[1]);
                }
                break;
            }
            default:
                break;
        }
        if (read != IO_OK) return read;
        const IOResult closed = iload->CloseChunk();
        if (closed != IO_OK) return closed;
    }
    return result == IO_END ? IO_OK : result;
}

// ---------------------------------------------------------------------------------------------
// Life window

int NimbraHelper::AgeInt(int i, TimeValue t) const {
    int v = 0;
    if (ageBlock_) ageBlock_->GetValue(i, t, v);
    return v;
}

float NimbraHelper::AgeFloat(int i, TimeValue t) const {
    float v = 0.0f;
    if (ageBlock_) ageBlock_->GetValue(i, t, v);
    return v;
}

namespace {

/// The parameter block and life index of the first listed system when its class is one whose
/// life the helper knows; nothing otherwise.
std::optional<std::pair<IParamBlock *, int>> EmitterLifeParam(
    const std::vector<INode *> &list) {
    if (list.empty() || !list.front()) return std::nullopt;
    Object *obj = list.front()->GetObjectRef();
    ParticleObject *particles = GetParticleInterface(obj);
    if (!particles) return std::nullopt;
    const Class_ID id = obj->ClassID();
    for (const EmitterLife &e : kEmitterLives) {
        if (e.id != id) continue;
        IParamBlock *block = particles->GetParamBlock();
        if (!block || e.lifeParam >= block->NumParams()) return std::nullopt;
        return std::pair{block, e.lifeParam};
    }
    return std::nullopt;
}

}  // namespace

bool NimbraHelper::EmitterAgeAvailable() {
    return EmitterLifeParam(particleSystems_).has_value();
}

int NimbraHelper::LifeBegins(TimeValue t) {
    if (AgeInt(kUseEmitterAge, t) && EmitterAgeAvailable()) return 0;
    return AgeInt(kLifeBegins, t);
}

int NimbraHelper::LifeEnds(TimeValue t) {
    if (AgeInt(kUseEmitterAge, t)) {
        if (const auto life = EmitterLifeParam(particleSystems_)) {
            int ticks = 0;
            life->first->GetValue(life->second, t, ticks);
            return ticks;
        }
    }
    return AgeInt(kLifeEnds, t);
}

// ---------------------------------------------------------------------------------------------
// Particle systems

namespace {

bool IsParticleSystem(INode *node) {
    return node && GetParticleInterface(node->GetObjectRef()) != nullptr;
}

}  // namespace

int NimbraHelper::ParticleSystemCount() {
    return static_cast<int>(
        std::count_if(particleSystems_.begin(), particleSystems_.end(), IsParticleSystem));
}

ParticleObject *NimbraHelper::ParticleSystemState(int n, TimeValue t) {
    if (n < 1) return nullptr;
    for (INode *node : particleSystems_) {
        if (!IsParticleSystem(node) || --n > 0) continue;
        ParticleObject *particles = GetParticleInterface(node->EvalWorldState(t).obj);
        if (particles) particles->Update(t, node);
        return particles;
    }
    return nullptr;
}

bool NimbraHelper::AcceptsParticleSystem(INode *node) {
    return IsParticleSystem(node) && std::find(particleSystems_.begin(), particleSystems_.end(),
                                               node) == particleSystems_.end();
}

bool NimbraHelper::AddParticleSystem(INode *node) {
    if (!AcceptsParticleSystem(node)) return false;
    particleSystems_.push_back(nullptr);
    if (ReplaceReference(kRefFirstSystem + NumListedSystems() - 1, node) != REF_SUCCEED) {
        particleSystems_.pop_back();
        return false;
    }
    ++currentSystem_;
    NotifyStructureChanged();
    return true;
}

bool NimbraHelper::RemoveParticleSystem(int index) {
    if (index < 0 || index >= NumListedSystems()) return false;
    DeleteReference(kRefFirstSystem + index);
    particleSystems_.erase(particleSystems_.begin() + index);
    currentSystem_ = NumListedSystems();
    NotifyStructureChanged();
    return true;
}

void NimbraHelper::ClearParticleSystems() {
    for (int i = NumListedSystems() - 1; i >= 0; --i) DeleteReference(kRefFirstSystem + i);
    particleSystems_.clear();
    currentSystem_ = 0;
}

// ---------------------------------------------------------------------------------------------
// Plug-ins

int NimbraHelper::SelectPlugIn(ULONG id, int replace, ULONG categoryKey) {
    // `replace` does not matter here: the old plug-in is always released, so none is leaked.
    const PlugInRecord *record = ThePlugInRegistry().FindById(id);
    if (record && RoleOf(record->categoryKey) < 0) return 0;  // no category of the helper's
    if (record && SelectPlugInClass(record->ClassID())) return 1;
    MessageBox(GetCOREInterface()->GetMainHWnd(), kPlugInNotLocatedText, kPlugInErrorTitle,
               MB_OK);
    const int role = RoleOf(record ? record->categoryKey : categoryKey);
    // When the default is missing too, the helper keeps what it has.
    if (role >= 0) SelectPlugInClass(DefaultClass(static_cast<Role>(role)));
    return 0;
}

bool NimbraHelper::SelectPlugInClass(Class_ID id) {
    const int role = RoleOf(id.PartA());
    if (role < 0) return false;
    NimbraPlugIn *plugIn = NewPlugIn(id);
    if (!plugIn || !InstallPlugIn(static_cast<Role>(role), plugIn)) return false;
    if (role == kShapeRole && ServesVolumes(plugIn)) ApplyVolumeShapeRule();
    NotifyStructureChanged();
    return true;
}

bool NimbraHelper::InstallPlugIn(Role role, NimbraPlugIn *plugIn) {
    if (ReplaceReference(kRefShape + static_cast<int>(role), plugIn) != REF_SUCCEED) {
        plugIn->DeleteThis();  // it would close a cycle: never referenced, still ours
        return false;
    }
    // The ID of what is installed, so that the IDs always describe the plug-ins held.
    plugInIds_[role] = plugIn->ClassID().PartB();
    return true;
}

void NimbraHelper::ApplyVolumeShapeRule() {
    NimbraPlugIn *composite = Composite();
    if (composite && composite->ClassID() == kInterRotationClassID) return;
    NimbraPlugIn *rotation = NewPlugIn(kInterRotationClassID);
    if (!rotation) {
        MessageBox(GetCOREInterface()->GetMainHWnd(), kPlugInNotLocatedText, kPlugInErrorTitle,
                   MB_OK);
        return;
    }
    InstallPlugIn(kCompositeRole, rotation);
    NimbraPlugIn *color = ColorShader();
    if (!color || color->ClassID() != kDefaultColorClassID) return;
    NimbraPlugIn *volumeColor = NewPlugIn(kAtmosphereColorClassID);
    if (!volumeColor) {
        MessageBox(GetCOREInterface()->GetMainHWnd(), kPlugInNotLocatedText, kPlugInErrorTitle,
                   MB_OK);
        return;
    }
    InstallPlugIn(kColorRole, volumeColor);
}

int NimbraHelper::VolumePlugInCount() const {
    return static_cast<int>(std::count_if(plugIns_.begin(), plugIns_.end(), ServesVolumes));
}

// ---------------------------------------------------------------------------------------------
// Controllers, icon, node

NimbraController *NimbraHelper::GetHelperController(int i) const {
    return i >= 0 && i < kControllers ? controllers_[i] : nullptr;
}

bool NimbraHelper::ReplaceController(int i, Class_ID id) {
    if (i < 0 || i >= kControllers) return false;
    NimbraController *controller = NewController(id);
    if (!controller) return false;
    if (ReplaceReference(kRefTransController + i, controller) != REF_SUCCEED) {
        controller->DeleteThis();
        return false;
    }
    SetupController(i);
    NotifyStructureChanged();
    return true;
}

void NimbraHelper::SetupController(int i) {
    NimbraController *c = GetHelperController(i);
    if (!c) return;
    if (i == kTransController || i == kShadowTransController)
        c->__SetupFloat__(0.0f, 1.0f, 0.05f);
    else
        c->__SetupFloat__(0.0f, 9999.0f, 0.5f);
}

float NimbraHelper::IconSize(TimeValue t) const {
    if (!iconBlock_) return 0.0f;
    float width = 0.0f, length = 0.0f;
    iconBlock_->GetValue(kIconWidth, t, width);
    iconBlock_->GetValue(kIconLength, t, length);
    return std::max(width, length);
}

void NimbraHelper::SetIconSize(float width, float length) {
    if (!iconBlock_) return;
    iconBlock_->SetValue(kIconWidth, 0, width);
    iconBlock_->SetValue(kIconLength, 0, length);
}

INode *NimbraHelper::FindNode() {
    node_ = nullptr;
    ForEachNode(GetCOREInterface()->GetRootNode(), [&](INode *node) {
        if (!node_ && node->GetObjectRef() == this) node_ = node;
    });
    return node_;
}
