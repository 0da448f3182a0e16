/// @file material.h
/// @brief Materials: the `Mtl` base that the scene renderer shades with, and the standard
///        material (ambient, diffuse and specular colours, glossiness, specular level,
///        self-illumination, material ID).
#pragma once

#include "host/animatable.h"
#include "host/geom.h"
#include "host/param_object.h"

class ShadeContext;

/// Class identifier of the standard material (super class MATERIAL_CLASS_ID).
constexpr Class_ID DMTL_CLASS_ID(2, 0);

/// A material. `Update` prepares it for a frame; `Shade` then shades points from several
/// render threads at once without changing the material.
class Mtl : public ReferenceTarget {
public:
    SClass_ID SuperClassID() override { return MATERIAL_CLASS_ID; }

    // Colours and values at the time of the last `Update` (the defaults before any).
    virtual Color GetAmbient(int mtlNum = 0, BOOL backFace = FALSE) = 0;
    virtual Color GetDiffuse(int mtlNum = 0, BOOL backFace = FALSE) = 0;
    virtual Color GetSpecular(int mtlNum = 0, BOOL backFace = FALSE) = 0;
    /// Glossiness, 0 … 1.
    virtual float GetShininess(int mtlNum = 0, BOOL backFace = FALSE) = 0;
    /// Specular level (strength of the highlight), 0 … 1 and above.
    virtual float GetShinStr(int mtlNum = 0, BOOL backFace = FALSE) = 0;
    /// Self-illumination, 0 … 1.
    virtual float GetSelfIllum(int mtlNum = 0, BOOL backFace = FALSE) = 0;

    virtual void SetAmbient(Color c, TimeValue t) = 0;
    virtual void SetDiffuse(Color c, TimeValue t) = 0;
    virtual void SetSpecular(Color c, TimeValue t) = 0;
    virtual void SetShininess(float v, TimeValue t) = 0;

    /// Material ID written to the material channel of rendered images (0 … 255).
    virtual ULONG GetGBufID() = 0;
    virtual void SetGBufID(ULONG id) = 0;

    /// Takes the values at t for the following shading; narrows `valid` to the times they hold.
    virtual void Update(TimeValue t, Interval &valid) = 0;
    /// Shades the point of `sc` lit by its lights: writes `sc.out`.
    virtual void Shade(ShadeContext &sc) = 0;
};

/// The values of a standard material at one time.
struct StdMatValues {
    Color ambient{0.6f, 0.6f, 0.6f};
    Color diffuse{0.6f, 0.6f, 0.6f};
    Color specular{0.9f, 0.9f, 0.9f};
    float glossiness = 0.1f;
    float specularLevel = 0.0f;
    float selfIllum = 0.0f;
};

/// Blinn shading of the point of `sc` with `v`, lit by the lights of `sc` and its ambient
/// light: ambient × ambient light + diffuse × Σ light × diffuse weight + specular × Σ light ×
/// level × (N·H)^e with e = 2^(1 + 10 × glossiness), then blended towards the diffuse colour by
/// the self-illumination. Writes `sc.out` (opaque).
void ShadeStandard(ShadeContext &sc, const StdMatValues &v);

/// The standard material, created as (MATERIAL_CLASS_ID, DMTL_CLASS_ID), class name
/// "Standard".
class StdMat : public ParamObject<Mtl> {
public:
    // Parameter indices ("Ambient", "Diffuse", "Specular", "Glossiness", "Specular Level",
    // "Self-Illumination", "Material ID").
    enum { kAmbient, kDiffuse, kSpecular, kGlossiness, kSpecularLevel, kSelfIllum, kMtlID };

    explicit StdMat(bool loading = false);

    Class_ID ClassID() override { return DMTL_CLASS_ID; }
    void GetClassName(TSTR &s) override { s = "Standard"; }

    Color GetAmbient(int = 0, BOOL = FALSE) override { return cache_.ambient; }
    Color GetDiffuse(int = 0, BOOL = FALSE) override { return cache_.diffuse; }
    Color GetSpecular(int = 0, BOOL = FALSE) override { return cache_.specular; }
    float GetShininess(int = 0, BOOL = FALSE) override { return cache_.glossiness; }
    float GetShinStr(int = 0, BOOL = FALSE) override { return cache_.specularLevel; }
    float GetSelfIllum(int = 0, BOOL = FALSE) override { return cache_.selfIllum; }

    void SetAmbient(Color c, TimeValue t) override;
    void SetDiffuse(Color c, TimeValue t) override;
    void SetSpecular(Color c, TimeValue t) override;
    void SetShininess(float v, TimeValue t) override;
    void SetShinStr(float v, TimeValue t);
    void SetSelfIllum(float v, TimeValue t);

    ULONG GetGBufID() override { return gbufID_; }
    void SetGBufID(ULONG id) override;

    void Update(TimeValue t, Interval &valid) override;
    void Shade(ShadeContext &sc) override;

    void SetReference(int i, ReferenceTarget *rtarg) override;
    /// Besides the parameter queries: a change of the block refreshes the values.
    RefResult NotifyRefChanged(Interval changeInt, ReferenceTarget *hTarget, PartID &partID,
                               RefMessage message) override;
    ReferenceTarget *Clone(RemapDir &remap) override;

private:
    /// Re-reads the block at the last update time.
    void Refresh();

    StdMatValues cache_;
    ULONG gbufID_ = 0;
    TimeValue cacheTime_ = 0;
};
