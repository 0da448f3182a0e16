/// @file raymarch_atmospheric.cpp
/// @brief The ray-march atmospheric: settings, picked nodes, per-frame preparation, shading.
#include "plugins/raymarch/raymarch_atmospheric.h"

#include "framework/class_ids.h"
#include "framework/helper_record.h"
#include "framework/nimbra_interface.h"
#include "host/inode.h"
#include "host/light.h"
#include "host/interface.h"
#include "host/messages.h"
#include "host/param_object.h"

#include <algorithm>
#include <cmath>

namespace {

const ParamSpec kParamSpecs[RayMarchAtmospheric::kParams] = {
    {"Step Size", TYPE_FLOAT, FALSE, 2.5f, defaultDim, {}, kParamIDIsIndex, {0.01f, 1e10f}},
    {"Lighting", TYPE_INT, FALSE, 0.0f, defaultDim, {}, kParamIDIsIndex, {0.0f, 2.0f}},
    {"Shadow Detail", TYPE_INT, FALSE, 2.0f, defaultDim, {}, kParamIDIsIndex, {0.0f, 4.0f}},
    {"User Shadow Detail",
     TYPE_FLOAT,
     FALSE,
     15.0f,
     defaultDim,
     {},
     kParamIDIsIndex,
     {0.1f, 50.0f}},
    {"Simulate Backlighting",
     TYPE_INT,
     FALSE,
     0.0f,
     defaultDim,
     {},
     kParamIDIsIndex,
     {0.0f, 1.0f}},
    {"Glow Radius",
     TYPE_FLOAT,
     FALSE,
     100.0f,
     defaultDim,
     {},
     kParamIDIsIndex,
     {0.0f, 100000.0f}},
    {"Low Threshold", TYPE_FLOAT, FALSE, 0.55f, defaultDim, {}, kParamIDIsIndex, {0.0f, 1.0f}},
    {"High Threshold", TYPE_FLOAT, FALSE, 0.3f, defaultDim, {}, kParamIDIsIndex, {0.0f, 1.0f}},
    {"Falloff", TYPE_FLOAT, FALSE, 0.1f, defaultDim, {}, kParamIDIsIndex, {0.0f, 1.0f}},
    {"Light Color", TYPE_RGBA, FALSE, 0.0f, defaultDim, Color(1, 1, 1)},
    {"Second Light Color", TYPE_RGBA, FALSE, 0.0f, defaultDim, Color(1, 1, 1)},
    {"Use Low Threshold", TYPE_INT, FALSE, 1.0f, defaultDim, {}, kParamIDIsIndex, {0.0f, 1.0f}},
    {"Raytrace Sunbeams", TYPE_BOOL, FALSE, 0.0f, defaultDim},
    {"Depth Limit", TYPE_FLOAT, FALSE, 100.0f, defaultDim, {}, kParamIDIsIndex, {0.0f, 1e8f}},
    {"Combustion Style", TYPE_BOOL, FALSE, 1.0f, defaultDim},
    {"Assume Solid Color", TYPE_BOOL, FALSE, 0.0f, defaultDim},
    {"Progressive Stepping", TYPE_BOOL, FALSE, 0.0f, defaultDim},
    {"Refinements", TYPE_INT, FALSE, 4.0f, defaultDim, {}, kParamIDIsIndex, {2.0f, 20.0f}},
};

/// Shadow step multipliers of "Perfect", "High", "Medium" and "Low".
constexpr float kShadowDetails[] = {1.0f, 2.0f, 5.0f, 10.0f};

constexpr Class_ID kModeClassIDs[] = {Class_ID(0x76B87BB4, 0x32FDA15B),
                                      Class_ID(0x149B34E6, 0x19F23C31),
                                      Class_ID(0x5FBD3638, 0x21746867)};
constexpr const TCHAR *kModeNames[] = {"Nimbra - GhostBeam", "Nimbra - Combustion",
                                       "Nimbra - InkToon"};

/// The helper interface of a Nimbra helper on `node`, or null.
IHelperRecord *HelperOf(INode *node, TimeValue t) {
    Object *obj = node ? node->EvalWorldState(t).obj : nullptr;
    if (!obj || obj->SuperClassID() != HELPER_CLASS_ID ||
        obj->ClassID() != kNimbraHelperClassID)
        return nullptr;
    return GetHelperRecordInterface(obj);
}

bool IsLight(INode *node, TimeValue t) {
    Object *obj = node ? node->EvalWorldState(t).obj : nullptr;
    return obj && obj->SuperClassID() == LIGHT_CLASS_ID;
}

/// Whether all three plug-ins answer the volume query.
bool ServesVolumes(const HelperRecord &record) {
    if (!record.Complete()) return false;
    for (NimbraPlugIn *p : record.plugIns) {
        // The query passes an int where a particle record goes; the plug-in writes 1 into it.
        int answer = 0;
        p->__EnumParticle__(reinterpret_cast<ParticleInfo *>(&answer), nullptr,
                            kVolumeQueryIndex);
        if (answer != 1) return false;
    }
    return true;
}

/// Each render thread's march buffers.
thread_local MarchScratch scratch;

}  // namespace

RayMarchAtmospheric::RayMarchAtmospheric(int mode, bool loading)
    : mode_(mode >= kGhostBeam && mode <= kInkToon ? mode : kGhostBeam) {
    if (mode_ != mode)
        modeProblem_ = "mode " + std::to_string(mode) +
                       " is not one of 1 GhostBeam, 2 Combustion, 3 InkToon; GhostBeam is used";
    problem_ = modeProblem_;
    if (loading) return;
    ReplaceReference(0, MakeParamBlock(kParamSpecs, kParams, kBlockVersion));
    if (mode_ == kCombustion) pblock_->SetValue(kStep, 0, 15.0f);
}

RayMarchAtmospheric::~RayMarchAtmospheric() {
    ReleaseCaches(cacheTime_);
}

const TCHAR *RayMarchAtmospheric::ModeName(int mode) {
    return kModeNames[std::clamp(mode, 1, 3) - 1];
}

Class_ID RayMarchAtmospheric::ModeClassID(int mode) {
    return kModeClassIDs[std::clamp(mode, 1, 3) - 1];
}

TSTR RayMarchAtmospheric::GetName() {
    return ModeName(mode_);
}

Class_ID RayMarchAtmospheric::ClassID() {
    return ModeClassID(mode_);
}

ReferenceTarget *RayMarchAtmospheric::GetReference(int i) {
    if (i == 0) return pblock_;
    return i > 0 && i <= NumGizmos() ? nodes_[i - 1] : nullptr;
}

void RayMarchAtmospheric::SetReference(int i, ReferenceTarget *target) {
    if (i == 0) {
        auto *block = dynamic_cast<IParamBlock *>(target);
        pblock_ = BlockMatches(block, kParamSpecs, kParams) ? block : nullptr;
    } else if (i > 0 && i <= NumGizmos()) {
        nodes_[i - 1] = dynamic_cast<INode *>(target);
    }
}

RefResult RayMarchAtmospheric::NotifyRefChanged(Interval, ReferenceTarget *target,
                                                PartID &partID, RefMessage message) {
    // The block asks its owner for its parameters' names, dimensions and ranges.
    if (AnswerParamQuery(kParamSpecs, kParams, partID, message)) return REF_STOP;
    if (message == REFMSG_TARGET_DELETED) {
        if (target == pblock_) pblock_ = nullptr;
        if (std::erase(nodes_, target) > 0) {
            // The node's plug-ins may go with it: hand their caches back while they exist.
            ReleaseCaches(cacheTime_);
            marchable_ = false;
        }
    }
    return REF_SUCCEED;
}

INode *RayMarchAtmospheric::GetGizmo(int i) {
    return i >= 0 && i < NumGizmos() ? nodes_[i] : nullptr;
}

void RayMarchAtmospheric::DeleteGizmo(int i) {
    if (i < 0 || i >= NumGizmos()) return;
    DeleteReference(i + 1);
    nodes_.erase(nodes_.begin() + i);
}

void RayMarchAtmospheric::InsertGizmo(int i, INode *node) {
    if (!node || std::find(nodes_.begin(), nodes_.end(), node) != nodes_.end()) return;
    i = std::clamp(i, 0, NumGizmos());
    nodes_.insert(nodes_.begin() + i, nullptr);
    MakeRefByID(FOREVER, i + 1, node);
}

BOOL RayMarchAtmospheric::OKGizmo(INode *node) {
    if (IsLight(node, 0)) return TRUE;
    IHelperRecord *helper = HelperOf(node, 0);
    return helper && ServesVolumes(helper->RecordAt(0, false));
}

void RayMarchAtmospheric::ReleaseCaches(TimeValue t) {
    for (MarchVolume &v : frame_.volumes) {
        const PlugInSet &set = frame_.plugIns[v.record.pluginSet];
        for (NimbraPlugIn *p : {set.shape, set.color, set.transform})
            p->__DestroyCache__(t, &v.record);
    }
    frame_.volumes.clear();
}

void RayMarchAtmospheric::Update(TimeValue t, Interval &valid) {
    ReleaseCaches(cacheTime_);
    frame_.plugIns.clear();
    lightNodes_.clear();
    marchable_ = false;
    problem_ = modeProblem_;
    if (pblock_) NarrowToBlockValidity(pblock_, t, valid);

    auto get = [&](int i, auto fallback) {
        decltype(fallback) v = fallback;
        if (pblock_) pblock_->GetValue(i, t, v);
        return v;
    };
    frame_.step = std::max(get(kStep, 2.5f), 0.01f);
    if (mode_ == kCombustion) {
        // The step setting is the sample count per volume; previews may ask for fewer.
        const NimbraInterface *ni = GetNimbraInterface();
        const bool fewer = ni && ni->GetPreviewRendering() && ni->GetMultipleStepSize();
        combustion_.summed = get(kCombustionStyle, 1) != 0;
        combustion_.assumeSolid = get(kAssumeSolidColor, 0) != 0;
        combustion_.samples = CombustionSamples(get(kStep, 15.0f), combustion_.summed,
                                                fewer ? ni->GetStepSizeAmount() : 0.0f);
    } else if (const NimbraInterface *ni = GetNimbraInterface();
               ni->GetPreviewRendering() && ni->GetMultipleStepSize()) {
        // A preview may march with a longer step: the whole multiple of the asked amount.
        const float amount = std::trunc(ni->GetStepSizeAmount());
        if (amount >= 1.0f && amount <= 1e6f) frame_.step *= amount;
    }
    frame_.lighting = std::clamp(get(kLighting, 0), 0, 2);
    // A preview may ask for coarser shadows, or none: then the samples are lit unshadowed
    // and no light is used.
    const NimbraInterface *iface = GetNimbraInterface();
    const bool preview = iface->GetPreviewRendering() != 0;
    const bool shadowsOff = preview && iface->GetDisableShadows() != 0;
    if (shadowsOff) frame_.lighting = kDirectLighting;
    const int detail = get(kShadowDetail, 2);
    frame_.shadowDetail = detail >= 0 && detail < 4
                              ? kShadowDetails[detail]
                              : std::max(get(kUserShadowDetail, 15.0f), 0.1f);
    if (preview && iface->GetMultipleShadowDetail() && iface->GetShadowDetail() > 0.0f)
        frame_.shadowDetail *= iface->GetShadowDetail();
    // A preview of a region shades only the region's pixels (edges included), given in the
    // preview's own pixels when it renders at half size.
    regionRender_ = preview && iface->GetRegionRender() != 0;
    region_ = iface->GetRegion();
    if (iface->GetHalfSizeMode())
        region_ = {region_.left / 2, region_.top / 2, region_.right / 2, region_.bottom / 2};
    frame_.progressive = get(kProgressive, 0) != 0;
    frame_.refinements = std::clamp(get(kRefinements, 4), 0, 20);
    frame_.ink.enabled = mode_ == kInkToon;
    frame_.ink.low = get(kLowThreshold, 0.55f);
    frame_.ink.high = get(kHighThreshold, 0.3f);
    frame_.ink.falloff = get(kFalloff, 0.1f);
    frame_.ink.lowColor = get(kLowColor, Color(1, 1, 1));
    frame_.ink.highColor = get(kHighColor, Color(1, 1, 1));
    frame_.ink.useLow = get(kUseLowThreshold, 1) != 0;
    frame_.sunbeams = get(kSunbeams, 0) != 0;
    frame_.depthLimit = get(kDepthLimit, 100.0f);

    std::vector<VolumeHelper> helpers;
    for (INode *node : nodes_) {
        if (!node) continue;
        if (IsLight(node, t)) {
            if (!shadowsOff) lightNodes_.push_back(node);
            continue;
        }
        IHelperRecord *source = HelperOf(node, t);
        const HelperRecord record = source ? source->RecordAt(t, false) : HelperRecord{};
        if (!source || !ServesVolumes(record)) {
            problem_ = std::string("\"") + node->GetName() +
                       "\" is not a Nimbra helper with volume plug-ins; it is skipped";
            continue;
        }
        const int index = static_cast<int>(helpers.size());
        helpers.push_back({record, source});
        frame_.plugIns.push_back({record.plugIns[HelperRecord::kShape],
                                  record.plugIns[HelperRecord::kColor],
                                  record.plugIns[HelperRecord::kComposite],
                                  GetDensityRun(record.plugIns[HelperRecord::kShape])});
        CollectVolumes(t, helpers.back(), index, frame_.volumes);
    }
    frame_.bvh.Build(frame_.volumes);

    for (const PlugInSet &set : frame_.plugIns)
        for (NimbraPlugIn *p : {set.shape, set.color, set.transform}) p->__UpdateAtmos_(t);
    for (MarchVolume &v : frame_.volumes) {
        const PlugInSet &set = frame_.plugIns[v.record.pluginSet];
        for (NimbraPlugIn *p : {set.shape, set.color, set.transform})
            p->__CreateCache__(t, &v.record);
    }
    cacheTime_ = t;
    // This frame's volume depths start from empty buffers.
    GetNimbraInterface()->EraseBuffers(0);
    marchable_ = !frame_.volumes.empty();
    ReportProblem();
}

void RayMarchAtmospheric::ReportProblem() {
    // Once per distinct problem: the same one every frame of a sequence is said once.
    if (problem_.empty() || problem_ == reported_) return;
    reported_ = problem_;
    MessageBox(GetCOREInterface()->GetMainHWnd(), problem_.c_str(), "Nimbra", MB_OK);
}

void RayMarchAtmospheric::Shade(ShadeContext &sc, const Point3 &p0, const Point3 &p1,
                                Color &color, Color &trans, BOOL) {
    if (!marchable_ || sc.ProjType() == PROJ_PARALLEL) return;
    if (regionRender_) {
        const IPoint2 pixel = sc.ScreenCoord();
        if (pixel.x < region_.left || pixel.x > region_.right || pixel.y < region_.top ||
            pixel.y > region_.bottom)
            return;
    }
    // The picked lights, as the renderer prepared them for this view.
    scratch.lights.clear();
    for (int i = 0; i < sc.nLights; ++i) {
        auto *light = dynamic_cast<ObjLightDesc *>(sc.Light(i));
        if (light && std::find(lightNodes_.begin(), lightNodes_.end(), light->inode) !=
                         lightNodes_.end())
            scratch.lights.push_back(light);
    }
    const Point3 w0 = sc.CamToWorld(p0), w1 = sc.CamToWorld(p1);
    const MarchResult march =
        mode_ == kCombustion
            ? ShadeCombustionSegment(frame_, combustion_, sc, w0, w1, color, trans, scratch)
            : ShadeSegment(frame_, sc, w0, w1, color, trans, scratch);
    if (march.anySample && sc.rayLevel == 0 && sc.globContext) WriteDepth(sc, march);
}

void RayMarchAtmospheric::WriteDepth(ShadeContext &sc, const MarchResult &march) {
    // The nearest sample's depth and material go where the sprite filter merges them into the
    // frame, so sprites drawn later are hidden behind the volumes.
    const int width = sc.globContext->devWidth, height = sc.globContext->devHeight;
    const IPoint2 pixel = sc.ScreenCoord();
    if (pixel.x < 0 || pixel.y < 0 || pixel.x >= width || pixel.y >= height) return;
    std::lock_guard<std::mutex> lock(buffersMutex_);
    NimbraInterface *iface = GetNimbraInterface();
    iface->CreateBuffers(0, width, height);
    float *depth = iface->GetZBuffer();
    unsigned char *material = iface->GetMtlBuffer();
    if (!depth || !material) return;
    const std::size_t at = std::size_t(pixel.y) * std::size_t(width) + std::size_t(pixel.x);
    if (march.nearest.z > depth[at]) {
        depth[at] = march.nearest.z;
        material[at] = static_cast<unsigned char>(march.materialId);
    }
}
