/// @file ghostbeam_march.h
/// @brief The lit volume march: steps through the particle volumes a ray crosses, takes
///        density and colour from each volume's helper plug-ins, lights the samples with
///        shadows traced through the volumes, and composites front to back. The cartoon
///        variant turns the accumulated light into two highlight bands instead.
#pragma once

#include "plugins/raymarch/volume_bvh.h"

#include "framework/density_run.h"
#include "framework/plugin_interface.h"
#include "host/shade_context.h"

#include <vector>

/// The plug-ins of one helper, indexed by a volume's `pluginSet`.
struct PlugInSet {
    NimbraPlugIn *shape = nullptr;      ///< density
    NimbraPlugIn *color = nullptr;      ///< colour, lighting response, material
    NimbraPlugIn *transform = nullptr;  ///< volume shape and placement
    /// The density plug-in's run call, or null: its densities are then asked for one by one.
    IDensityRun *runs = nullptr;
};

/// Most samples of one volume whose densities a march asks for in one run: a march that stops
/// early has evaluated at most this many samples it does not use.
constexpr int kDensityRun = 32;

enum Lighting { kNoShadows = 0, kShadows = 1, kDirectLighting = 2 };

/// The cartoon highlights: the accumulated light intensity x gives C1 × w1 above the low
/// threshold and C2 × w2 above the high one, each weight ramping up over `falloff`.
struct InkBands {
    bool enabled = false;
    bool useLow = true;
    float low = 0.55f, high = 0.3f, falloff = 0.1f;
    Color lowColor{1, 1, 1}, highColor{1, 1, 1};
};

/// What one frame's marches read; built at the frame's update, read-only while shading.
struct MarchFrame {
    std::vector<MarchVolume> volumes;
    VolumeBvh bvh;
    std::vector<PlugInSet> plugIns;
    float step = 2.5f;  ///< world units between samples
    int lighting = kNoShadows;
    float shadowDetail = 5.0f;  ///< shadow steps are `step` × this
    bool progressive = false;   ///< refine the step at the first dense sample
    int refinements = 4;
    bool sunbeams = false;      ///< mark samples by their depth below the lit surface
    float depthLimit = 100.0f;  ///< depth at which the sunbeam value reaches 0
    InkBands ink;
};

/// One thread's buffers: nothing is allocated per ray once they have grown.
struct MarchScratch {
    /// The lights of the segment being shaded (camera space), set by the caller.
    std::vector<LightDesc *> lights;
    std::vector<VolumeHit> hits;
    std::vector<VolumeHit> shadowHits;
    /// The samples of one density run.
    SampleInfo run[kDensityRun];
};

/// What a march gathered along one ray segment.
struct MarchResult {
    Color color;  ///< already weighted by the samples' contributions
    float opacity = 0.0f;
    bool anySample = false;
    Point3 nearest;  ///< nearest contributing sample, camera space
    int materialId = 0;
};

/// Opacity of a sample of density d: 1 − (1 − d)^2000, d taken within 0 … 1.
float SampleOpacity(float density);

/// How near the lit surface of its own volume `sample` lies, seen along the unit world
/// direction `toLight`: 1 − t / depth limit, t the distance from the first dense point met
/// coming from the light (stepping by the march's step); 0 beyond the limit or when the chord
/// holds no dense point.
float SunbeamValue(const MarchFrame &frame, const MarchVolume &v, const SampleInfo &sample,
                   const Point3 &toLight, MarchScratch &scratch);

/// Marches the world-space segment `origin + t·dir` (unit `dir`), 0 ≤ t ≤ `length`, of the
/// ray of `sc`. `scratch.hits` must hold the volumes the segment crosses, nearest entry first.
MarchResult MarchGhostBeam(const MarchFrame &frame, ShadeContext &sc, const Point3 &origin,
                           const Point3 &dir, MarchScratch &scratch);

/// Puts the march over what the segment arrived with: colour × (1 − opacity) + march colour,
/// transparency × (1 − opacity).
void ComposeOver(const MarchResult &march, Color &color, Color &trans);

/// The unit direction of the world-space segment and, in `scratch.hits`, the volumes it
/// crosses, nearest entry first; false when it crosses none or has no length.
bool FindSegmentVolumes(const MarchFrame &frame, const Point3 &p0World, const Point3 &p1World,
                        Point3 &dir, MarchScratch &scratch);

/// Finds the volumes the segment crosses and, when there are any, marches and composes it;
/// a segment that crosses none is left as it is. Answers what the march gathered (nothing
/// when it did not march).
MarchResult ShadeSegment(const MarchFrame &frame, ShadeContext &sc, const Point3 &p0World,
                         const Point3 &p1World, Color &color, Color &trans,
                         MarchScratch &scratch);
