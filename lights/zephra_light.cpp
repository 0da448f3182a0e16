/// @file zephra_light.cpp
/// @brief ZephraLight: class descriptor, the light, its particle shadow map and its render-time
///        description.
#include "lights/zephra_light.h"

#include "renderer/render_engine.h"
#include "host/bitmap.h"

#include <cmath>

namespace {

constexpr char kClassName[] = "ZephraLight";
constexpr char kCategory[] = "Nimbra Lights";

class ZephraLightClassDesc : public ClassDesc {
public:
    int IsPublic() override { return TRUE; }
    void *Create(BOOL loading) override {
        return static_cast<Animatable *>(new ZephraLight(loading != FALSE));
    }
    const TCHAR *ClassName() override { return kClassName; }
    SClass_ID SuperClassID() override { return LIGHT_CLASS_ID; }
    Class_ID ClassID() override { return kZephraLightClassID; }
    const TCHAR *Category() override { return kCategory; }
};

}  // namespace

ClassDesc *GetZephraLightDesc() {
    static ZephraLightClassDesc desc;
    return &desc;
}

// ---------------------------------------------------------------------------------------------
// Particle shadow map

ParticleShadowMap::ParticleShadowMap(Bitmap *b, int w, int h)
    : bitmap(b),
      width(static_cast<unsigned short>(w)),
      height(static_cast<unsigned short>(h)) {}

ParticleShadowMap::~ParticleShadowMap() {
    if (bitmap) bitmap->DeleteThis();
}

float ParticleShadowMap::Factor(float u, float v, float z) const {
    if (!bitmap || !depth) return 1.0f;
    // Nearest texel, rounding half up; compared as floats so that positions far off the
    // map (or not numbers at all) never reach an integer conversion.
    const float tu = std::trunc(u + 0.5f), tv = std::trunc(v + 0.5f);
    if (!(tu >= 0.0f && tu < width && tv >= 0.0f && tv < height)) return 1.0f;
    const int x = static_cast<int>(tu), y = static_cast<int>(tv);
    const int coverage = bitmap->Pixel(x, y).a;
    const float d = depth[static_cast<std::size_t>(y) * width + x];
    // Depths grow towards the light: a particle nearer than the point shades it.
    if (coverage == 0 || !(d > z)) return 1.0f;
    return 1.0f - static_cast<float>(coverage) / static_cast<float>(kFullScale);
}

// ---------------------------------------------------------------------------------------------
// The light

ZephraLight::ZephraLight(bool loading) : GenLight(TSPOT_LIGHT, loading) {}

ZephraLight::~ZephraLight() = default;

void ZephraLight::GetClassName(TSTR &s) {
    s = kClassName;
}

const TCHAR *ZephraLight::GetObjectName() {
    return kClassName;
}

ObjLightDesc *ZephraLight::CreateLightDesc(INode *n, BOOL) {
    return new ZephraLightDesc(n, this);
}

ReferenceTarget *ZephraLight::Clone(RemapDir &remap) {
    auto *copy = new ZephraLight(true);
    CloneBlockInto(*copy, remap);
    CopyLightData(*copy);
    return copy;
}

// ---------------------------------------------------------------------------------------------
// Render-time description

ZephraLightDesc::ZephraLightDesc(INode *n, ZephraLight *light)
    : GenLightDesc(n, light), zephra_(light) {}

int ZephraLightDesc::Update(TimeValue t, RenderGlobalContext *rgc, BOOL shadows,
                            BOOL shadowGeomChanged) {
    particleShadow_ = zephra_ ? zephra_->particleShadow : nullptr;
    return GenLightDesc::Update(t, rgc, shadows, shadowGeomChanged);
}

float ZephraLightDesc::ParticleShadowFactor(const Point3 &p) const {
    if (!theShadowMapsReady || !particleShadow_ || !hasProjection) return 1.0f;
    const Point3 pl = CamToLight(p);
    const Point2 uv = MapToLightView(pl);
    return particleShadow_->Factor(uv.x, uv.y, pl.z);
}

BOOL ZephraLightDesc::Illuminate(ShadeContext &sc, Point3 &normal, Color &color, Point3 &dir,
                                 float &dot_nl, float &diffuseCoef) {
    if (!GenLightDesc::Illuminate(sc, normal, color, dir, dot_nl, diffuseCoef)) return FALSE;
    const float factor = ParticleShadowFactor(sc.P());
    if (factor >= 1.0f) return TRUE;
    color = color * factor;
    return factor > 0.0f ? TRUE : FALSE;
}
