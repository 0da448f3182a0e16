/// @file material.cpp
/// @brief Blinn shading and the standard material.
#include "host/material.h"

#include "host/shade_context.h"

#include "built_in_class.h"

#include <algorithm>
#include <cmath>

namespace {

const ParamSpec kStdMatSpecs[] = {
    {"Ambient", TYPE_RGBA, TRUE, 0.0f, stdColorDim, Color(0.6f, 0.6f, 0.6f)},
    {"Diffuse", TYPE_RGBA, TRUE, 0.0f, stdColorDim, Color(0.6f, 0.6f, 0.6f)},
    {"Specular", TYPE_RGBA, TRUE, 0.0f, stdColorDim, Color(0.9f, 0.9f, 0.9f)},
    {"Glossiness", TYPE_FLOAT, TRUE, 0.1f, defaultDim},
    {"Specular Level", TYPE_FLOAT, TRUE, 0.0f, defaultDim},
    {"Self-Illumination", TYPE_FLOAT, TRUE, 0.0f, defaultDim},
    {"Material ID", TYPE_INT, FALSE, 0.0f, defaultDim},
};

/// Largest material ID: the material channel holds one byte per pixel.
constexpr int kMaxMtlID = 255;

}  // namespace

void ShadeStandard(ShadeContext &sc, const StdMatValues &v) {
    const Point3 n = sc.Normal();
    const Point3 view = sc.V();
    const float exponent = std::exp2(1.0f + 10.0f * std::clamp(v.glossiness, 0.0f, 1.0f));
    Color ambient = sc.ambientLight;
    Color diffuse, specular;
    for (int i = 0; i < sc.nLights; ++i) {
        LightDesc *light = sc.Light(i);
        if (!light) continue;
        Color lc;
        Point3 dir;
        float dot_nl = 0.0f, diffCoef = 0.0f;
        Point3 normal = n;
        if (!light->Illuminate(sc, normal, lc, dir, dot_nl, diffCoef)) continue;
        if (light->ambientOnly) {
            ambient += lc;
            continue;
        }
        if (dot_nl <= 0.0f && diffCoef <= 0.0f) continue;
        if (light->affectDiffuse) diffuse += lc * diffCoef;
        if (light->affectSpecular && v.specularLevel > 0.0f && dot_nl > 0.0f) {
            const Point3 h = Normalize(dir - view);
            const float nh = DotProd(n, h);
            if (nh > 0.0f) specular += lc * (v.specularLevel * std::pow(nh, exponent));
        }
    }
    Color c = v.ambient * ambient + v.diffuse * diffuse;
    const float si = std::clamp(v.selfIllum, 0.0f, 1.0f);
    if (si > 0.0f) c = c * (1.0f - si) + v.diffuse * si;
    sc.out.c = c + v.specular * specular;
    sc.out.t = Color(0.0f, 0.0f, 0.0f);
}

StdMat::StdMat(bool loading)
    : ParamObject<Mtl>(kStdMatSpecs, static_cast<int>(std::size(kStdMatSpecs)), loading) {
    Refresh();
}

void StdMat::SetAmbient(Color c, TimeValue t) {
    SetParam(kAmbient, t, c);
}
void StdMat::SetDiffuse(Color c, TimeValue t) {
    SetParam(kDiffuse, t, c);
}
void StdMat::SetSpecular(Color c, TimeValue t) {
    SetParam(kSpecular, t, c);
}
void StdMat::SetShininess(float v, TimeValue t) {
    SetParam(kGlossiness, t, v);
}
void StdMat::SetShinStr(float v, TimeValue t) {
    SetParam(kSpecularLevel, t, v);
}
void StdMat::SetSelfIllum(float v, TimeValue t) {
    SetParam(kSelfIllum, t, v);
}
void StdMat::SetGBufID(ULONG id) {
    SetParam(kMtlID, 0, static_cast<int>(std::min<ULONG>(id, kMaxMtlID)));
}

void StdMat::Update(TimeValue t, Interval &valid) {
    cacheTime_ = t;
    Refresh();
    NarrowToBlockValidity(GetParamBlock(), t, valid);
}

void StdMat::Refresh() {
    const TimeValue t = cacheTime_;
    cache_.ambient = GetColor(kAmbient, t);
    cache_.diffuse = GetColor(kDiffuse, t);
    cache_.specular = GetColor(kSpecular, t);
    cache_.glossiness = GetFloat(kGlossiness, t);
    cache_.specularLevel = GetFloat(kSpecularLevel, t);
    cache_.selfIllum = GetFloat(kSelfIllum, t);
    gbufID_ = static_cast<ULONG>(std::clamp(GetInt(kMtlID, t), 0, kMaxMtlID));
}

void StdMat::Shade(ShadeContext &sc) {
    ShadeStandard(sc, cache_);
}

void StdMat::SetReference(int i, ReferenceTarget *rtarg) {
    ParamObject<Mtl>::SetReference(i, rtarg);
    Refresh();  // a block installed by a scene load
}

RefResult StdMat::NotifyRefChanged(Interval changeInt, ReferenceTarget *hTarget, PartID &partID,
                                   RefMessage message) {
    if (message == REFMSG_CHANGE && hTarget == GetParamBlock()) Refresh();
    return ParamObject<Mtl>::NotifyRefChanged(changeInt, hTarget, partID, message);
}

ReferenceTarget *StdMat::Clone(RemapDir &remap) {
    auto *copy = new StdMat(true);
    CloneBlockInto(*copy, remap);
    copy->cacheTime_ = cacheTime_;
    copy->Refresh();
    return copy;
}

namespace {

BuiltInClassDesc<StdMat> stdMatDesc("Standard", MATERIAL_CLASS_ID, DMTL_CLASS_ID, "Materials");

}  // namespace
