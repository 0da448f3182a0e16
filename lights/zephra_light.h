/// @file zephra_light.h
/// @brief ZephraLight: a target spot light that lights the scene like the general light and,
///        in addition, dims its light behind particles with a particle shadow map that
///        "Nimbra Shadow" renders from the light's view before the scene.
#pragma once

#include "framework/nimbra_api.h"
#include "host/class_desc.h"
#include "host/light.h"

#include <memory>

class Bitmap;

/// Class of ZephraLight (super class LIGHT_CLASS_ID).
constexpr Class_ID kZephraLightClassID(0x1E61457C, 0x74164937);

/// The descriptor of ZephraLight (category "Nimbra Lights").
NIMBRA_API ClassDesc *GetZephraLightDesc();

/// The particles as one light sees them: a square map whose alpha is the particles' coverage
/// and whose depth channel holds the nearest particle's light-space z per texel (kEmptyDepth
/// where no particle lies). Owns its bitmap.
struct NIMBRA_API ParticleShadowMap {
    ParticleShadowMap(Bitmap *bitmap, int width, int height);
    ~ParticleShadowMap();
    ParticleShadowMap(const ParticleShadowMap &) = delete;
    ParticleShadowMap &operator=(const ParticleShadowMap &) = delete;

    /// Fraction of the light that reaches a point at light-space depth z whose map position
    /// is (u, v), in texels: 1 − coverage where a particle lies between it and the light,
    /// 1 elsewhere and outside the map.
    float Factor(float u, float v, float z) const;

    Bitmap *bitmap = nullptr;
    float *depth = nullptr;  ///< the bitmap's depth channel; null until the map is drawn
    unsigned short width = 0;
    unsigned short height = 0;
};

/// The light. Parameters, switches, scene-file data and illumination are the general light's
/// as a target spot; the particle shadow map is never saved.
class NIMBRA_API ZephraLight : public GenLight {
public:
    explicit ZephraLight(bool loading = false);
    ~ZephraLight() override;

    Class_ID ClassID() override { return kZephraLightClassID; }
    void GetClassName(TSTR &s) override;
    const TCHAR *GetObjectName() override;
    ObjLightDesc *CreateLightDesc(INode *n, BOOL forceShadowBuf = FALSE) override;
    ReferenceTarget *Clone(RemapDir &remap) override;

    /// Set by the shadow filter for each frame it renders; null without one. Shared with the
    /// render-time descriptions that took it, so replacing it never leaves them dangling.
    std::shared_ptr<ParticleShadowMap> particleShadow;
};

/// ZephraLight at render time: the general light's illumination, scaled by the particle
/// shadow map it took in `Update` while the module says the maps are ready.
class NIMBRA_API ZephraLightDesc : public GenLightDesc {
public:
    ZephraLightDesc(INode *n, ZephraLight *light);

    int Update(TimeValue t, RenderGlobalContext *rgc = nullptr, BOOL shadows = TRUE,
               BOOL shadowGeomChanged = TRUE) override;
    BOOL Illuminate(ShadeContext &sc, Point3 &normal, Color &color, Point3 &dir, float &dot_nl,
                    float &diffuseCoef) override;

    /// Fraction of the light that reaches the camera-space point p past the particles.
    float ParticleShadowFactor(const Point3 &p) const;

private:
    ZephraLight *zephra_;
    std::shared_ptr<const ParticleShadowMap> particleShadow_;
};
