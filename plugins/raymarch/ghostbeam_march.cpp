/// @file ghostbeam_march.cpp
/// @brief The lit volume march, its shadow rays and the cartoon bands.
#include "plugins/raymarch/ghostbeam_march.h"

#include "plugins/raymarch/march_sample.h"

#include <algorithm>
#include <cmath>

namespace {

/// Most shadow steps through one volume: bounds the work of a very fine shadow detail.
constexpr int kMaxShadowSteps = 9999;
/// Shortest shadow ray: a light sitting in a volume still has that volume in front of it.
constexpr float kMinShadowReach = 1e-3f;

/// The fraction of light that reaches `world` along the unit direction `dir` through the lit
/// volumes within `distance`.
float Transmittance(const MarchFrame &frame, SampleInfo sample, const Point3 &world,
                    const Point3 &dir, float distance, MarchScratch &scratch) {
    if (!frame.bvh.Query(world, dir, distance, -1, scratch.shadowHits)) return 1.0f;

    const float step = frame.step * frame.shadowDetail;
    float occlusion = 0.0f;
    for (const VolumeHit &hit : scratch.shadowHits) {
        const MarchVolume &v = frame.volumes[hit.volume];
        if (!v.record.lit) continue;
        const PlugInSet &set = frame.plugIns[v.record.pluginSet];
        const int steps = static_cast<int>(
            std::min((hit.exit - hit.entry) / step, static_cast<float>(kMaxShadowSteps)));
        Point3 p = world + dir * hit.entry;
        float strengths[kDensityRun];
        const auto fill = [&](int, SampleInfo &s, int slot) {
            p += dir * step;
            s = sample;
            FillSample(s, v, p, NormalisedDistance(v, p));
            if (s.radius >= 1.0f) return false;
            strengths[slot] = set.color->__GetShadowStrength__(&s);
            return strengths[slot] > 0.0f;
        };
        const auto occlude = [&](SampleInfo &s, int slot) {
            s.noise *= strengths[slot];
            if (frame.shadowDetail > 1.0f) s.density *= frame.shadowDetail;
            if (s.noise > 0.0f) occlusion += (1.0f - occlusion) * SampleOpacity(s.density);
            return occlusion < 1.0f;
        };
        MarchDensities(set, scratch.run, steps, fill, occlude);
        if (occlusion >= 1.0f) return 0.0f;
    }
    return 1.0f - occlusion;
}

/// Lights a sample: its colour, and in `intensity` the summed shadowed light for the bands.
Color LightSample(const MarchFrame &frame, const MarchVolume &v, SampleInfo &sample,
                  SampleContext &ctx, const Point3 &stepDirCam, MarchScratch &scratch,
                  float &intensity) {
    NimbraPlugIn *cs = frame.plugIns[sample.volume->pluginSet].color;
    const float shininess = cs->__GetShininess__(&sample);
    const float selfIllum = cs->__GetSelfIllumination__(&sample) * 0.01f;
    const float shadowStrength = cs->__GetShadowStrength__(&sample);
    const Color specular = cs->__GetColorSpecular__(&sample);
    Color lightSum, specularSum;
    intensity = 0.0f;

    const Point3 world = sample.worldPoint;
    const Point3 cam = ctx.WorldToCam(world);
    ctx.MoveTo(cam);
    sample.sunbeam = 0.0f;
    if (shadowStrength > 0.0f && selfIllum < 1.0f) {
        for (LightDesc *light : scratch.lights) {
            const Point3 lightPos = light->LightPosition();
            // A volume sample has no surface: it faces the light, or with direct lighting
            // the direction the light lies in as seen from the camera.
            Point3 normal =
                frame.lighting == kShadows ? Normalize(lightPos - cam) : Normalize(lightPos);
            Color lightColor;
            Point3 dir;
            float d = 0.0f, diffuseCoef = 0.0f;
            if (!light->Illuminate(ctx, normal, lightColor, dir, d, diffuseCoef)) continue;
            if (!(d > 0.0f)) continue;
            const Point3 toLight = Normalize(ctx.VectorTo(dir, REF_WORLD));
            const float reach = std::max(Length(lightPos - cam), kMinShadowReach);
            if (frame.sunbeams)
                sample.sunbeam = std::min(
                    1.0f, sample.sunbeam + SunbeamValue(frame, v, sample, toLight, scratch));
            d *= Transmittance(frame, sample, world, toLight, reach, scratch);
            if (!(d > 0.0f)) continue;
            intensity += d;
            lightSum += lightColor * d;
            if (shininess > 0.0f) {
                const float e = Length(stepDirCam + Normalize(dir));
                specularSum += lightColor * (std::pow(d, e) * 0.01f * shininess);
            }
        }
    }
    const Color ambient = cs->__GetColorAmbient__(&sample);
    const Color diffuse = cs->__GetColorDiffuse__(&sample);
    const Color lit = frame.ink.enabled ? Color() : diffuse * lightSum;
    Color color = selfIllum <= 0.0f
                      ? lit + ambient
                      : lit + (diffuse - lit) * selfIllum + ambient * (1.0f - selfIllum);
    if (shininess > 0.0f && !frame.ink.enabled) color += specular * specularSum;
    return color;
}

/// Ramp weight of x above a threshold: full `weight` from threshold + falloff on.
float Band(float x, float threshold, float falloff, float weight) {
    if (x >= threshold + falloff || !(falloff > 0.0f)) return weight;
    return weight * (x - threshold) / falloff;
}

void AddInkBands(const InkBands &ink, float x, Color &color) {
    if (!(x > 0.0f)) return;
    if (ink.useLow) {
        if (x < ink.low) return;
        color += ink.lowColor * Band(x, ink.low, ink.falloff, 0.3f);
    }
    if (x > ink.high) color += ink.highColor * Band(x, ink.high, ink.falloff, 0.6f);
}

}  // namespace

float SampleOpacity(float density) {
    const float d = std::clamp(density, 0.0f, 1.0f);
    return 1.0f - std::pow(1.0f - d, 2000.0f);
}

float SunbeamValue(const MarchFrame &frame, const MarchVolume &v, const SampleInfo &sample,
                   const Point3 &toLight, MarchScratch &scratch) {
    if (!(frame.depthLimit > 0.0f) || !(frame.step > 0.0f)) return 0.0f;
    // The chord of the sample's own volume along the light direction, entered from the
    // light's side: `lit` is how far towards the light the surface lies, `far` how far away
    // from it the chord leaves the volume.
    float entry = 0.0f, lit = 0.0f, far = 0.0f;
    const Point3 origin = sample.worldPoint;
    if (!IntersectVolume(v, origin, toLight, 1e30f, entry, lit)) return 0.0f;
    if (!IntersectVolume(v, origin, -toLight, 1e30f, entry, far)) return 0.0f;
    const int steps = static_cast<int>(
        std::min((lit + far) / frame.step, static_cast<float>(kMaxShadowSteps)));
    float alongs[kDensityRun];
    const auto fill = [&](int i, SampleInfo &probe, int slot) {
        // Towards the light from the far side's first step on.
        alongs[slot] = lit - frame.step * static_cast<float>(i + 1);
        const Point3 p = origin + toLight * alongs[slot];
        probe = sample;
        FillSample(probe, v, p, NormalisedDistance(v, p));
        return probe.radius < 1.0f;
    };
    float value = 0.0f;
    const auto firstDense = [&](const SampleInfo &probe, int slot) {
        if (!(probe.noise > 0.0f)) return true;
        const float t = std::fabs(alongs[slot]);
        value = t > frame.depthLimit ? 0.0f : 1.0f - t / frame.depthLimit;
        return false;
    };
    MarchDensities(frame.plugIns[v.record.pluginSet], scratch.run, steps, fill, firstDense);
    return value;
}

MarchResult MarchGhostBeam(const MarchFrame &frame, ShadeContext &sc, const Point3 &origin,
                           const Point3 &dir, MarchScratch &scratch) {
    MarchResult r;
    const std::vector<VolumeHit> &hits = scratch.hits;
    if (hits.empty() || !(frame.step > 0.0f)) return r;
    float end = hits.front().exit;
    for (const VolumeHit &h : hits) end = std::max(end, h.exit);
    const float start = hits.front().entry;

    SampleContext ctx(sc);
    const Point3 stepDirCam = Normalize(sc.VectorFrom(dir, REF_WORLD));
    const bool lit = !scratch.lights.empty() && frame.lighting != kNoShadows;
    float step = frame.step;
    int refinementsLeft = frame.progressive ? std::max(frame.refinements, 0) : 0;
    bool refined = !frame.progressive;
    long long steps = static_cast<long long>((end - start) / step);
    Point3 p = origin + dir * start;
    float intensity = 0.0f, sampleIntensity = 0.0f;
    float nearestZ = -1e30f;
    SampleInfo sample;
    sample.shadeContext = &sc;

    for (long long i = 0; i < steps; ++i) {
        p += dir * step;
        // Only the volumes whose chord holds the point can contain it; the hits are sorted by
        // entry, so the first one entered beyond the point ends the search.
        const float along = DotProd(p - origin, dir);
        for (const VolumeHit &hit : hits) {
            if (hit.entry > along) break;
            if (hit.exit < along) continue;
            const MarchVolume &v = frame.volumes[hit.volume];
            const float distance = NormalisedDistance(v, p);
            if (!(distance < 1.0f)) continue;
            const PlugInSet &set = frame.plugIns[v.record.pluginSet];
            FillSample(sample, v, p, distance);
            set.shape->__Density_Function__(&sample);
            if (!(sample.noise > 0.0f)) continue;
            sample.noise = std::min(sample.noise, 1.0f);

            if (!refined) {
                if (refinementsLeft > 0) {
                    // Approach the first dense sample with ever finer steps.
                    p -= dir * step;
                    step *= 0.5f;
                    steps = static_cast<long long>((end - start) / step);
                    --refinementsLeft;
                    goto next_step;
                }
                // Back to the full step, over what is left of the segment.
                step = frame.step;
                refined = true;
                steps = i + 1 + static_cast<long long>((end - DotProd(p - origin, dir)) / step);
            }

            Color color;
            if (lit && v.record.lit) {
                color =
                    LightSample(frame, v, sample, ctx, stepDirCam, scratch, sampleIntensity);
            } else {
                color = set.color->__GetColorDiffuse__(&sample);
            }

            const float o = SampleOpacity(sample.density);
            if (!(o > 0.0f)) continue;
            KeepNearest(set.color, sample, sc.WorldToCam(p), nearestZ, r);
            const float c = (1.0f - r.opacity) * o;
            r.color += color * c;
            r.opacity += c;
            intensity += sampleIntensity * c;
            r.anySample = true;
            if (r.opacity >= 1.0f) {
                r.opacity = 1.0f;
                goto done;
            }
        }
    next_step:;
    }
done:
    if (frame.ink.enabled) AddInkBands(frame.ink, intensity, r.color);
    return r;
}

void ComposeOver(const MarchResult &march, Color &color, Color &trans) {
    const float keep = 1.0f - march.opacity;
    color = color * keep + march.color;
    trans = trans * keep;
}

bool FindSegmentVolumes(const MarchFrame &frame, const Point3 &p0World, const Point3 &p1World,
                        Point3 &dir, MarchScratch &scratch) {
    const Point3 segment = p1World - p0World;
    const float length = Length(segment);
    if (!(length > 0.0f) || !std::isfinite(length)) return false;
    dir = segment / length;
    return frame.bvh.Query(p0World, dir, length, -1, scratch.hits);
}

MarchResult ShadeSegment(const MarchFrame &frame, ShadeContext &sc, const Point3 &p0World,
                         const Point3 &p1World, Color &color, Color &trans,
                         MarchScratch &scratch) {
    Point3 dir;
    if (!FindSegmentVolumes(frame, p0World, p1World, dir, scratch)) return {};
    const MarchResult march = MarchGhostBeam(frame, sc, p0World, dir, scratch);
    ComposeOver(march, color, trans);
    return march;
}
