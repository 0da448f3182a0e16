/// @file light.cpp
/// @brief The general light, its scene-file data and class descriptors, and the light
///        descriptions: transforms, projection, cone, attenuation, diffuse shaping, shadows.
#include "host/light.h"

#include "host/inode.h"

#include "binary_io.h"
#include "built_in_class.h"
#include "shadow_map.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

const ParamSpec kLightSpecs[] = {
    {"Color", TYPE_RGBA, TRUE, 0.0f, stdColorDim, Color(1.0f, 1.0f, 1.0f), 10},
    {"Multiplier", TYPE_FLOAT, TRUE, 1.0f, defaultDim, {}, 4},
    {"Contrast", TYPE_FLOAT, TRUE, 0.0f, defaultDim, {}, 19},
    {"Diffuse Soften", TYPE_FLOAT, TRUE, 0.0f, defaultDim, {}, 20},
    {"Hotspot", TYPE_FLOAT, TRUE, 43.0f, defaultDim, {}, 7},
    {"Falloff", TYPE_FLOAT, TRUE, 45.0f, defaultDim, {}, 8},
    {"Aspect Ratio", TYPE_FLOAT, TRUE, 1.0f, defaultDim, {}, 11},
    {"Map Size", TYPE_INT, TRUE, 512.0f, defaultDim, {}, 13},
    {"Map Bias", TYPE_FLOAT, TRUE, 1.0f, defaultDim, {}, 14},
    {"Map Range", TYPE_FLOAT, TRUE, 4.0f, defaultDim, {}, 15},
    {"Ray Bias", TYPE_FLOAT, TRUE, 0.2f, stdWorldDim, {}, 16},
    {"Attenuation Near Start", TYPE_FLOAT, TRUE, 0.0f, stdWorldDim, {}, 17},
    {"Attenuation Near End", TYPE_FLOAT, TRUE, 40.0f, stdWorldDim, {}, 18},
    {"Attenuation Start", TYPE_FLOAT, TRUE, 80.0f, stdWorldDim, {}, 5},
    {"Attenuation End", TYPE_FLOAT, TRUE, 200.0f, stdWorldDim, {}, 6},
};
static_assert(std::size(kLightSpecs) == GenLight::PB_COUNT);

struct TypeInfo {
    Class_ID id;
    const char *className;
    const char *objectName;
};
constexpr TypeInfo kTypes[] = {
    {OMNI_LIGHT_CLASS_ID, "Omni", "Omni"},
    {SPOT_LIGHT_CLASS_ID, "Target Spot", "Spot"},
    {DIR_LIGHT_CLASS_ID, "Directional", "Direct"},
    {FSPOT_LIGHT_CLASS_ID, "Free Spot", "FSpot"},
    {TDIR_LIGHT_CLASS_ID, "Target Direct", "TDirect"},
};

// Scene-file chunks of a general light.
constexpr USHORT kChunkType = 0x0100;
constexpr USHORT kChunkFlags = 0x0110;
constexpr std::uint32_t kFlagOn = 1u << 0;
constexpr std::uint32_t kFlagShadow = 1u << 1;
constexpr std::uint32_t kFlagAtten = 1u << 2;
constexpr std::uint32_t kFlagNearAtten = 1u << 3;
constexpr std::uint32_t kFlagOvershoot = 1u << 4;
constexpr std::uint32_t kFlagRect = 1u << 5;

/// Narrowest and widest spot cone, degrees.
constexpr float kMinCone = 0.5f, kMaxCone = 179.0f;

float Radians(float degrees) {
    return degrees * std::numbers::pi_v<float> / 180.0f;
}

float SmoothStep(float x) {
    x = std::clamp(x, 0.0f, 1.0f);
    return x * x * (3.0f - 2.0f * x);
}

/// 1 up to `hot`, 0 from 1 on, a smooth ramp between; `t` and `hot` are fractions of the
/// falloff size.
float Ramp(float t, float hot) {
    if (t >= 1.0f) return 0.0f;
    if (t <= hot || hot >= 1.0f) return 1.0f;
    return SmoothStep((1.0f - t) / (1.0f - hot));
}

/// Schlick's gain: identity at g = 0.5, an S curve steepening towards g = 1.
float Gain(float x, float g) {
    auto bias = [](float t, float b) { return t / ((1.0f / b - 2.0f) * (1.0f - t) + 1.0f); };
    return x < 0.5f ? bias(2.0f * x, 1.0f - g) * 0.5f
                    : 1.0f - bias(2.0f - 2.0f * x, 1.0f - g) * 0.5f;
}

/// A rigid frame from a node transform: rows normalised and made orthogonal (z kept).
Matrix3 RigidFrame(const Matrix3 &tm, BOOL &uniformScale) {
    const float sx = tm.GetRow(0).Length(), sy = tm.GetRow(1).Length(),
                sz = tm.GetRow(2).Length();
    uniformScale = std::fabs(sx - sy) <= 1e-4f * sx && std::fabs(sx - sz) <= 1e-4f * sx;
    Point3 z = Normalize(tm.GetRow(2));
    if (z == Point3()) z = Point3(0.0f, 0.0f, 1.0f);
    Point3 x = tm.GetRow(0) - z * DotProd(tm.GetRow(0), z);
    x = Normalize(x);
    if (x == Point3()) x = Normalize(CrossProd(Point3(0.0f, 1.0f, 0.0f), z));
    if (x == Point3()) x = Point3(1.0f, 0.0f, 0.0f);
    return Matrix3(x, CrossProd(z, x), z, tm.GetTrans());
}

}  // namespace

// LightObject and GenLight ------------------------------------------------------------------

LightObject::~LightObject() = default;

GenLight::GenLight(int type, bool loading)
    : ParamObject<LightObject>(kLightSpecs, PB_COUNT, loading, kBlockVersion),
      type_(std::clamp(type, OMNI_LIGHT, TDIR_LIGHT)) {}

GenLight::~GenLight() = default;

Class_ID GenLight::ClassID() {
    return kTypes[type_].id;
}

void GenLight::GetClassName(TSTR &s) {
    s = kTypes[type_].className;
}

const TCHAR *GenLight::GetObjectName() {
    return kTypes[type_].objectName;
}

void GenLight::SetType(int type) {
    type_ = std::clamp(type, OMNI_LIGHT, TDIR_LIGHT);
}

RefResult GenLight::EvalLightState(TimeValue t, Interval &valid, LightState *ls) {
    if (!ls) return REF_FAIL;
    NarrowToBlockValidity(GetParamBlock(), t, valid);
    ls->type = type_;
    ls->on = on_;
    ls->color = GetColor(PB_COLOR, t);
    ls->intens = GetFloat(PB_INTENSITY, t);
    ls->contrast = std::clamp(GetFloat(PB_CONTRAST, t), 0.0f, 1.0f);
    ls->diffSoft = std::clamp(GetFloat(PB_DIFFSOFT, t), 0.0f, 1.0f);
    ls->hotsize = GetFloat(PB_HOTSIZE, t);
    ls->fallsize = GetFloat(PB_FALLSIZE, t);
    ls->aspect = GetFloat(PB_ASPECT, t);
    ls->shape = shape_;
    ls->overshoot = overshoot_;
    ls->useNearAtten = useNearAtten_;
    ls->nearAttenStart = GetFloat(PB_NEAR_ATTEN_START, t);
    ls->nearAttenEnd = GetFloat(PB_NEAR_ATTEN_END, t);
    ls->useAtten = useAtten_;
    ls->attenStart = GetFloat(PB_ATTEN_START, t);
    ls->attenEnd = GetFloat(PB_ATTEN_END, t);
    ls->shadow = shadow_;
    ls->mapSize = std::clamp(GetInt(PB_MAPSIZE, t), kMinShadowMapSize, kMaxShadowMapSize);
    ls->mapBias = GetFloat(PB_MAPBIAS, t);
    ls->mapRange = GetFloat(PB_MAPRANGE, t);
    ls->rayBias = GetFloat(PB_RAYBIAS, t);
    return REF_SUCCEED;
}

ObjLightDesc *GenLight::CreateLightDesc(INode *n, BOOL) {
    return new GenLightDesc(n, this);
}

void GenLight::CopyLightData(GenLight &copy) const {
    copy.type_ = type_;
    copy.on_ = on_;
    copy.shadow_ = shadow_;
    copy.useAtten_ = useAtten_;
    copy.useNearAtten_ = useNearAtten_;
    copy.overshoot_ = overshoot_;
    copy.shape_ = shape_;
}

ReferenceTarget *GenLight::Clone(RemapDir &remap) {
    auto *copy = new GenLight(type_, true);
    CloneBlockInto(*copy, remap);
    CopyLightData(*copy);
    return copy;
}

IOResult GenLight::Save(ISave *isave) {
    ISave &s = *isave;
    const std::uint32_t flags =
        (on_ ? kFlagOn : 0) | (shadow_ ? kFlagShadow : 0) | (useAtten_ ? kFlagAtten : 0) |
        (useNearAtten_ ? kFlagNearAtten : 0) | (overshoot_ ? kFlagOvershoot : 0) |
        (shape_ == RECT_LIGHT ? kFlagRect : 0);
    bool ok = true;
    s.BeginChunk(kChunkType);
    ok = ok && hostio::WriteI32(s, type_);
    s.EndChunk();
    s.BeginChunk(kChunkFlags);
    ok = ok && hostio::WriteU32(s, flags);
    s.EndChunk();
    return ok ? IO_OK : IO_ERROR;
}

IOResult GenLight::Load(ILoad *iload) {
    ILoad &l = *iload;
    IOResult res;
    while ((res = l.OpenChunk()) == IO_OK) {
        bool ok = true;
        switch (l.CurChunkID()) {
            case kChunkType: {
                std::int32_t type = 0;
                ok = hostio::ReadI32(l, type) && type >= OMNI_LIGHT && type <= TDIR_LIGHT;
                if (ok) type_ = type;
                break;
            }
            case kChunkFlags: {
                std::uint32_t flags = 0;
                ok = hostio::ReadU32(l, flags);
                on_ = (flags & kFlagOn) != 0;
                shadow_ = (flags & kFlagShadow) != 0;
                useAtten_ = (flags & kFlagAtten) != 0;
                useNearAtten_ = (flags & kFlagNearAtten) != 0;
                overshoot_ = (flags & kFlagOvershoot) != 0;
                shape_ = (flags & kFlagRect) != 0 ? RECT_LIGHT : CIRCLE_LIGHT;
                break;
            }
            default:
                break;
        }
        if (!ok) return IO_ERROR;
        if (l.CloseChunk() != IO_OK) return IO_ERROR;
    }
    return res == IO_END ? IO_OK : IO_ERROR;
}

void *GenLight::GetInterface(ULONG id) {
    if (id == I_OBJECTPROPERTIES) return static_cast<IObjectProperties *>(this);
    return ParamObject<LightObject>::GetInterface(id);
}

namespace {

constexpr const char *kShapeNames[] = {"Circle", "Rectangle"};

}  // namespace

bool *GenLight::Flag(const std::string &name) {
    if (name == "On") return &on_;
    if (name == "Cast Shadows") return &shadow_;
    if (name == "Use Attenuation") return &useAtten_;
    if (name == "Use Near Attenuation") return &useNearAtten_;
    if (name == "Overshoot") return &overshoot_;
    return nullptr;
}

std::vector<PropertyInfo> GenLight::ListProperties() {
    return {
        {"On", PropertyKind::Bool, {}, "the light lights the scene"},
        {"Cast Shadows", PropertyKind::Bool, {}, "shadow-mapped shadows"},
        {"Use Attenuation", PropertyKind::Bool, {}, "fade out from Attenuation Start to End"},
        {"Use Near Attenuation", PropertyKind::Bool, {}, "fade in from Near Start to Near End"},
        {"Overshoot", PropertyKind::Bool, {}, "light beyond the cone (shadows stay inside)"},
        {"Cone Shape", PropertyKind::Choice, {kShapeNames[0], kShapeNames[1]}, "beam section"},
    };
}

bool GenLight::SetProperty(const std::string &name, const PropertyValue &value,
                           std::string &error) {
    if (name == "Cone Shape") {
        const auto *choice = std::get_if<std::string>(&value);
        if (!choice || (*choice != kShapeNames[0] && *choice != kShapeNames[1])) {
            error = "expected \"Circle\" or \"Rectangle\"";
            return false;
        }
        shape_ = *choice == kShapeNames[1] ? RECT_LIGHT : CIRCLE_LIGHT;
        return true;
    }
    bool *flag = Flag(name);
    if (!flag) {
        error = "unknown property '" + name + "' of a light";
        return false;
    }
    const auto *on = std::get_if<bool>(&value);
    if (!on) {
        error = "expected true or false";
        return false;
    }
    *flag = *on;
    return true;
}

std::optional<PropertyValue> GenLight::GetProperty(const std::string &name) {
    // Built in place: copying a variant into the optional trips a false g++ 12 warning.
    std::optional<PropertyValue> value;
    if (name == "Cone Shape")
        value.emplace(std::in_place_type<std::string>, kShapeNames[shape_]);
    else if (const bool *flag = Flag(name))
        value.emplace(std::in_place_type<bool>, *flag);
    return value;
}

// ObjLightDesc ------------------------------------------------------------------------------

ObjLightDesc::ObjLightDesc(INode *n) : inode(n) {}

ObjLightDesc::~ObjLightDesc() = default;

int ObjLightDesc::Update(TimeValue t, RenderGlobalContext *rgc, BOOL, BOOL) {
    if (!inode) return 0;
    auto *light = dynamic_cast<LightObject *>(inode->EvalWorldState(t).obj);
    if (!light) return 0;
    Interval valid = FOREVER;
    light->EvalLightState(t, valid, &ls);
    lightToWorld = RigidFrame(inode->GetObjectTM(t), uniformScale);
    worldToLight = Inverse(lightToWorld);

    const bool spot = ls.type == TSPOT_LIGHT || ls.type == FSPOT_LIGHT;
    const bool dir = ls.type == DIR_LIGHT || ls.type == TDIR_LIGHT;
    hasProjection = spot || dir;
    if (hasProjection) {
        mapSize = std::clamp(ls.mapSize, kMinShadowMapSize, kMaxShadowMapSize);
        const float half = 0.5f * static_cast<float>(mapSize);
        const float aspect = ls.shape == RECT_LIGHT && ls.aspect > 0.0f ? ls.aspect : 1.0f;
        // The falloff cone's half angle (spots) or the beam radius (directional lights)
        // reaches the map's edge.
        const float reach =
            spot ? std::tan(Radians(std::clamp(ls.fallsize, kMinCone, kMaxCone)) * 0.5f)
                 : std::max(std::fabs(ls.fallsize) * 0.5f, 1e-6f);
        projType = spot ? PROJ_PERSPECTIVE : PROJ_PARALLEL;
        xscale = -half / reach;
        yscale = half * aspect / reach;
        centerOffset = half;
    }
    UpdateViewDepParams(rgc ? rgc->worldToCam : Matrix3());
    return 1;
}

int ObjLightDesc::UpdateViewDepParams(const Matrix3 &worldToCam) {
    lightToCam = lightToWorld * worldToCam;
    camToLight = Inverse(lightToCam);
    lightPos = lightToCam.GetTrans();
    return 1;
}

Point2 ObjLightDesc::MapToLightView(const Point3 &p) const {
    if (projType == PROJ_PARALLEL)
        return Point2(centerOffset - xscale * p.x, centerOffset - yscale * p.y);
    if (p.z == 0.0f) return Point2(centerOffset, centerOffset);
    return Point2(xscale * p.x / p.z + centerOffset, yscale * p.y / p.z + centerOffset);
}

// GenLightDesc ------------------------------------------------------------------------------

GenLightDesc::GenLightDesc(INode *n, GenLight *l) : ObjLightDesc(n), light(l) {}

GenLightDesc::~GenLightDesc() = default;

int GenLightDesc::Update(TimeValue t, RenderGlobalContext *rgc, BOOL shadows,
                         BOOL shadowGeomChanged) {
    shadowMap_.reset();
    if (!ObjLightDesc::Update(t, rgc, shadows, shadowGeomChanged)) return 0;
    // The cone's size: tangent of the half angles (spots) or radii (directional lights).
    if (ls.type == TSPOT_LIGHT || ls.type == FSPOT_LIGHT) {
        coneReach_ = std::tan(Radians(std::clamp(ls.fallsize, kMinCone, kMaxCone)) * 0.5f);
        hotFraction_ =
            std::tan(Radians(std::clamp(ls.hotsize, 0.0f, kMaxCone)) * 0.5f) / coneReach_;
    } else {
        coneReach_ = std::max(std::fabs(ls.fallsize) * 0.5f, 1e-6f);
        hotFraction_ = std::fabs(ls.hotsize) * 0.5f / coneReach_;
    }
    aspect_ = ls.shape == RECT_LIGHT && ls.aspect > 0.0f ? ls.aspect : 1.0f;
    if (shadows && ls.shadow && ls.on && rgc) shadowMap_ = ShadowMap::Build(*this, *rgc);
    return 1;
}

int GenLightDesc::UpdateViewDepParams(const Matrix3 &worldToCam) {
    ObjLightDesc::UpdateViewDepParams(worldToCam);
    directionToLight_ = Normalize(lightToCam.VectorTransform(Point3(0.0f, 0.0f, 1.0f)));
    return 1;
}

float GenLightDesc::ShadowFactor(const Point3 &pLight) const {
    return shadowMap_ ? shadowMap_->Factor(pLight) : 1.0f;
}

BOOL GenLightDesc::Illuminate(ShadeContext &sc, Point3 &normal, Color &color, Point3 &dir,
                              float &dot_nl, float &diffuseCoef) {
    if (!ls.on) return FALSE;
    const Point3 p = sc.P();
    const Point3 pl = CamToLight(p);
    const bool spot = ls.type == TSPOT_LIGHT || ls.type == FSPOT_LIGHT;
    const bool directional = ls.type == DIR_LIGHT || ls.type == TDIR_LIGHT;

    float distance;
    if (directional) {
        dir = directionToLight_;
        distance = -pl.z;
    } else {
        const Point3 toLight = lightPos - p;
        distance = toLight.Length();
        if (distance <= 0.0f) return FALSE;
        dir = toLight / distance;
    }

    // Cone or beam.
    float factor = 1.0f;
    if ((spot || directional) && !ls.overshoot) {
        if (spot && pl.z >= 0.0f) return FALSE;  // behind the spot
        // Offsets from the axis as fractions of the falloff size.
        const float x = spot ? pl.x / -pl.z / coneReach_ : pl.x / coneReach_;
        const float y = spot ? pl.y / -pl.z / coneReach_ : pl.y / coneReach_;
        if (ls.shape == RECT_LIGHT)
            factor =
                Ramp(std::fabs(x), hotFraction_) * Ramp(std::fabs(y) * aspect_, hotFraction_);
        else
            factor = Ramp(std::sqrt(x * x + y * y), hotFraction_);
        if (factor <= 0.0f) return FALSE;
    }

    // Attenuation: fading in over the near range, out over the far range.
    if (ls.useNearAtten) {
        if (distance <= ls.nearAttenStart) return FALSE;
        if (distance < ls.nearAttenEnd)
            factor *= SmoothStep((distance - ls.nearAttenStart) /
                                 (ls.nearAttenEnd - ls.nearAttenStart));
    }
    if (ls.useAtten) {
        if (distance >= ls.attenEnd) return FALSE;
        if (distance > ls.attenStart)
            factor *= SmoothStep((ls.attenEnd - distance) / (ls.attenEnd - ls.attenStart));
    }

    if (sc.shadow) factor *= ShadowFactor(pl);
    if (factor <= 0.0f) return FALSE;
    color = ls.color * (ls.intens * factor);
    if (color.r == 0.0f && color.g == 0.0f && color.b == 0.0f) return FALSE;

    dot_nl = DotProd(normal, dir);
    // Softening wraps the light around the terminator; contrast sharpens it.
    float coef = std::max(0.0f, (dot_nl + ls.diffSoft) / (1.0f + ls.diffSoft));
    if (ls.contrast > 0.0f) coef = Gain(std::min(coef, 1.0f), 0.5f + 0.49f * ls.contrast);
    diffuseCoef = coef;
    return TRUE;
}

// Class descriptors -------------------------------------------------------------------------

namespace {

template <int kType>
Animatable *MakeLight() {
    return new GenLight(kType);
}

constexpr const char *kCategory = "Standard Lights";

BuiltInClassDesc<GenLight> omniDesc("Omni", LIGHT_CLASS_ID, OMNI_LIGHT_CLASS_ID, kCategory,
                                    MakeLight<OMNI_LIGHT>);
BuiltInClassDesc<GenLight> spotDesc("Target Spot", LIGHT_CLASS_ID, SPOT_LIGHT_CLASS_ID,
                                    kCategory, MakeLight<TSPOT_LIGHT>);
BuiltInClassDesc<GenLight> dirDesc("Directional", LIGHT_CLASS_ID, DIR_LIGHT_CLASS_ID, kCategory,
                                   MakeLight<DIR_LIGHT>);
BuiltInClassDesc<GenLight> fspotDesc("Free Spot", LIGHT_CLASS_ID, FSPOT_LIGHT_CLASS_ID,
                                     kCategory, MakeLight<FSPOT_LIGHT>);
BuiltInClassDesc<GenLight> tdirDesc("Target Direct", LIGHT_CLASS_ID, TDIR_LIGHT_CLASS_ID,
                                    kCategory, MakeLight<TDIR_LIGHT>);

}  // namespace
