/// @file combustion_march.h
/// @brief The self-luminous volume march: a fixed number of samples through every volume a
///        ray crosses, either composited front to back (lit, with shadows through the
///        volumes) or summed as optical depth and turned into colour and opacity by
///        1 − e^(−x) once the ray is done.
#pragma once

#include "plugins/raymarch/ghostbeam_march.h"

/// How the self-luminous march samples and accumulates; set once per frame.
struct CombustionStyle {
    float samples = 15.0f;     ///< per crossed volume, as `CombustionSamples` gives it
    bool summed = true;        ///< optical depth summed over the ray, converted at its end
    bool assumeSolid = false;  ///< the march ends once the summed depth is opaque
};

/// Intervals each crossed volume is cut into: 3 below 5 samples, else samples − 1. The march
/// asks for density at the points between them, never on the volume's surface.
int CombustionIntervals(float samples);

/// The sample count a frame marches with: `setting` kept within 1 … 500; in a preview that
/// asks for fewer samples, divided by `previewAmount` truncated (0, or anything below 1, for
/// none) but at least 3; the composited style (`summed` off) then takes a fifth of it, at
/// least 1.
float CombustionSamples(float setting, bool summed, float previewAmount);

/// Marches the world-space segment `origin + t·dir` (unit `dir`) of the ray of `sc` through
/// the volumes in `scratch.hits` (nearest entry first). In the summed style the result's
/// colour and opacity are optical depths until `ConvertOpticalDepth`.
///
/// The lights in `scratch.lights` light a sample by their colour and by a contribution: the
/// light's dot product with the direction towards it times the brightest channel of the
/// colour that arrives, each within 0 … 1, times the transmittance through the volumes
/// towards the light when shadows apply (composited style without Assume Solid Color). A
/// volume's light amount is the sum of the contributions, capped at 1; in the composited style
/// it blends each sample from the ambient to the diffuse colour.
MarchResult MarchCombustion(const MarchFrame &frame, const CombustionStyle &style,
                            ShadeContext &sc, const Point3 &origin, const Point3 &dir,
                            MarchScratch &scratch);

/// Turns summed optical depth x into colour and opacity: 1 − e^(−x) for each colour channel
/// and for the opacity.
void ConvertOpticalDepth(MarchResult &march);

/// Finds the volumes the segment crosses and, when there are any, marches them, converts
/// summed optical depth and composes the result over `color` and `trans`; a segment that
/// crosses none is left as it is.
MarchResult ShadeCombustionSegment(const MarchFrame &frame, const CombustionStyle &style,
                                   ShadeContext &sc, const Point3 &p0World,
                                   const Point3 &p1World, Color &color, Color &trans,
                                   MarchScratch &scratch);
