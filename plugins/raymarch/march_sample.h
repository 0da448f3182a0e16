/// @file march_sample.h
/// @brief What every volume march does with one sample point: fill the sample record for a
///        volume, move the ray's shade context to the point so that lights can tell how they
///        reach it, and keep the nearest contributing sample with its material.
#pragma once

#include "plugins/raymarch/ghostbeam_march.h"
#include "plugins/raymarch/march_volumes.h"

#include "host/shade_context.h"

/// The ray's shade context moved to one sample point, which lights illuminate.
class SampleContext final : public ShadeContext {
public:
    explicit SampleContext(ShadeContext &ray) : ShadeContext(ray), ray_(ray) {}
    void MoveTo(const Point3 &camPoint) { p_ = camPoint; }

    IPoint2 ScreenCoord() override { return ray_.ScreenCoord(); }
    Point3 P() override { return p_; }
    Point3 Normal() override { return -ray_.V(); }
    Point3 V() override { return ray_.V(); }
    Point3 CamPos() override { return ray_.CamPos(); }
    Point3 PointTo(const Point3 &p, RefFrame ito) override { return ray_.PointTo(p, ito); }
    Point3 PointFrom(const Point3 &p, RefFrame ifrom) override {
        return ray_.PointFrom(p, ifrom);
    }
    Point3 VectorTo(const Point3 &v, RefFrame ito) override { return ray_.VectorTo(v, ito); }
    Point3 VectorFrom(const Point3 &v, RefFrame ifrom) override {
        return ray_.VectorFrom(v, ifrom);
    }

private:
    ShadeContext &ray_;
    Point3 p_;
};

/// Points `s` at world point `world` of volume `v`, `distance` being its normalised distance,
/// and clears the plug-ins' answers.
inline void FillSample(SampleInfo &s, const MarchVolume &v, const Point3 &world,
                       float distance) {
    s.volume = const_cast<ParticleVolume *>(&v.record);
    s.worldPoint = world;
    s.point = world - v.record.center;
    s.radius = distance;
    s.noise = 0.0f;
    s.density = 0.0f;
    s.sunbeam = 0.0f;
}

/// Makes `cam` (camera space, larger z nearer) the march's nearest point when it is nearer
/// than `nearestZ`, with the material of colour shader `color` there (its second identifier
/// when that is above 0).
inline void KeepNearest(NimbraPlugIn *color, SampleInfo &sample, const Point3 &cam,
                        float &nearestZ, MarchResult &r) {
    if (!(cam.z > nearestZ)) return;
    nearestZ = cam.z;
    r.nearest = cam;
    color->__GetMaterialID__(&sample);
    r.materialId = sample.materialId[1] > 0 ? sample.materialId[1] : sample.materialId[0];
}

/// Fewest samples of one volume for which a march asks for runs: a batch of fewer costs about
/// as much as the samples one by one.
constexpr int kMinDensityRun = 12;
/// The first run through a volume: shorter than later ones, as a march often stops at the
/// first dense samples it meets.
constexpr int kFirstDensityRun = 16;

/// Asks volume plug-ins `set` for the densities of candidate samples 0 … count − 1 of one
/// volume, in order, and hands them to `use` in that order. `fill (i, sample, slot)` prepares
/// candidate i in `sample` and answers whether it needs a density; `use (sample, slot)` takes
/// an evaluated one and answers false to stop. With a run call and enough candidates, runs of
/// up to kDensityRun samples are prepared and evaluated ahead in `run` (kDensityRun long), and
/// `slot` tells which one a call is about; otherwise each one is evaluated as it comes, in
/// slot 0. Answers false when `use` stopped the march.
template <class Fill, class Use>
bool MarchDensities(const PlugInSet &set, SampleInfo *run, int count, Fill &&fill, Use &&use) {
    const bool runs = set.runs && count >= kMinDensityRun;
    for (int i = 0, piece = runs ? kFirstDensityRun : 1; i < count;) {
        int n = 0;
        for (; i < count && n < piece; ++i)
            if (fill(i, run[n], n)) ++n;
        if (n == 0) continue;
        if (runs)
            set.runs->DensityRun(run, n);
        else
            set.shape->__Density_Function__(run);
        for (int slot = 0; slot < n; ++slot)
            if (!use(run[slot], slot)) return false;
        if (runs) piece = kDensityRun;
    }
    return true;
}
