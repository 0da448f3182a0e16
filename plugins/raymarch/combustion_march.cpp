/// @file combustion_march.cpp
/// @brief The self-luminous volume march, its light gathering and the optical-depth
///        conversion.
#include "plugins/raymarch/combustion_march.h"

#include "plugins/raymarch/march_sample.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kMaxSamples = 500.0f;
/// Shortest shadow ray: a light sitting in a volume still has that volume in front of it.
constexpr float kMinShadowReach = 1e-3f;
/// Occlusion a crossed volume adds per unit of shadow strength, at its centre.
constexpr float kChordOcclusion = 0.1f;
/// Largest optical depth one sample adds: far beyond opaque, yet an infinite density never
/// turns a colour channel of 0 into NaN.
constexpr float kMaxSampleDepth = 1e30f;

/// Fraction of light reaching `world` along unit `dir` within `distance`: every lit volume the
/// shadow ray crosses takes away, in one go, its shadow strength × 0.1 × how near the middle
/// of the chord runs to the volume's centre.
float ChordTransmittance(const MarchFrame &frame, SampleInfo sample, const Point3 &world,
                         const Point3 &dir, float distance, MarchScratch &scratch) {
    if (!frame.bvh.Query(world, dir, distance, -1, scratch.shadowHits)) return 1.0f;
    float occlusion = 0.0f;
    for (const VolumeHit &hit : scratch.shadowHits) {
        const MarchVolume &v = frame.volumes[hit.volume];
        if (!v.record.lit) continue;
        const Point3 middle = world + dir * (0.5f * (hit.entry + hit.exit));
        const float centred = 1.0f - NormalisedDistance(v, middle);
        if (!(centred > 0.0f)) continue;
        FillSample(sample, v, middle, 1.0f - centred);
        const float strength =
            frame.plugIns[v.record.pluginSet].color->__GetShadowStrength__(&sample);
        if (!(strength > 0.0f)) continue;
        occlusion += kChordOcclusion * strength * centred;
        if (occlusion >= 1.0f) return 0.0f;
    }
    return 1.0f - occlusion;
}

/// What the lights bring to one volume: the sum of their colours and the light amount.
struct VolumeLight {
    Color colorSum;
    float amount = 0.0f;  ///< 0 … 1
};

/// Adds the lights that reach the sample at `world` (camera space `cam`) to `gathered`.
void GatherLights(const MarchFrame &frame, const SampleInfo &sample, const Point3 &world,
                  const Point3 &cam, bool shadows, SampleContext &ctx, MarchScratch &scratch,
                  VolumeLight &gathered) {
    ctx.MoveTo(cam);
    for (LightDesc *light : scratch.lights) {
        const Point3 lightPos = light->LightPosition();
        // A volume sample has no surface: it faces the light.
        Point3 normal = Normalize(lightPos - cam);
        Color lightColor;
        Point3 dir;
        float dot = 0.0f, diffuseCoef = 0.0f;
        if (!light->Illuminate(ctx, normal, lightColor, dir, dot, diffuseCoef)) continue;
        const float brightest = std::max({lightColor.r, lightColor.g, lightColor.b});
        float contribution = std::clamp(dot, 0.0f, 1.0f) * std::clamp(brightest, 0.0f, 1.0f);
        if (shadows && contribution > 0.0f) {
            const Point3 toLight = Normalize(ctx.VectorTo(dir, REF_WORLD));
            const float reach = std::max(Length(lightPos - cam), kMinShadowReach);
            contribution *= ChordTransmittance(frame, sample, world, toLight, reach, scratch);
        }
        gathered.colorSum += lightColor;
        gathered.amount = std::min(1.0f, gathered.amount + contribution);
    }
}

}  // namespace

int CombustionIntervals(float samples) {
    const int n = static_cast<int>(std::clamp(samples, 0.0f, kMaxSamples));
    return n < 5 ? 3 : n - 1;
}

float CombustionSamples(float setting, bool summed, float previewAmount) {
    float samples = setting >= 1.0f ? std::min(setting, kMaxSamples) : 1.0f;
    // Truncated, and past the largest sample count no divisor changes the outcome.
    const int previewDivisor =
        previewAmount >= 1.0f ? static_cast<int>(std::min(previewAmount, kMaxSamples)) : 0;
    if (previewDivisor >= 1)
        samples = std::max(samples / static_cast<float>(previewDivisor), 3.0f);
    if (!summed) samples = std::max(samples / 5.0f, 1.0f);
    return samples;
}

MarchResult MarchCombustion(const MarchFrame &frame, const CombustionStyle &style,
                            ShadeContext &sc, const Point3 &origin, const Point3 &dir,
                            MarchScratch &scratch) {
    MarchResult r;
    const int k = CombustionIntervals(style.samples);
    const bool shadows = !style.summed && !style.assumeSolid;
    SampleContext ctx(sc);
    SampleInfo sample;
    sample.shadeContext = &sc;
    float nearestZ = -1e30f;

    for (const VolumeHit &hit : scratch.hits) {
        const MarchVolume &v = frame.volumes[hit.volume];
        const PlugInSet &set = frame.plugIns[v.record.pluginSet];
        const bool lit = !scratch.lights.empty() && v.record.lit;
        const float dt = (hit.exit - hit.entry) / static_cast<float>(k);
        const Point3 step = dir * dt;
        const Point3 entry = origin + dir * hit.entry;
        Color colorSum;
        float depthSum = 0.0f;
        VolumeLight light;

        const auto fill = [&](int i, SampleInfo &s, int) {
            // From the entry each time: no drift over hundreds of samples.
            const Point3 p = entry + step * static_cast<float>(i + 1);
            s = sample;
            FillSample(s, v, p, NormalisedDistance(v, p));
            return true;
        };
        const auto shade = [&](SampleInfo &s, int) {
            // Negative or undefined densities add nothing.
            const float d = s.density > 0.0f ? s.density : 0.0f;
            if (d > 0.0f) {
                const Point3 cam = sc.WorldToCam(s.worldPoint);
                if (lit)
                    GatherLights(frame, s, s.worldPoint, cam, shadows, ctx, scratch, light);
                KeepNearest(set.color, s, cam, nearestZ, r);
                r.anySample = true;
            }
            Color color = set.color->__GetColorDiffuse__(&s);
            if (style.summed) {
                const float o = std::min(d * dt * 1000.0f, kMaxSampleDepth);
                colorSum += color * o;
                depthSum += o;
                return true;
            }
            if (lit) {
                const Color ambient = set.color->__GetColorAmbient__(&s);
                color = ambient + (color - ambient) * light.amount;
                light.amount = 0.0f;
            }
            const float o = std::min(d * dt * 10.0f, 1.0f);
            if (!(o > 0.0f)) return true;
            const float c = (1.0f - r.opacity) * o;
            r.color += color * c;
            r.opacity += c;
            if (r.opacity < 1.0f) return true;
            r.opacity = 1.0f;
            return false;
        };
        if (!MarchDensities(set, scratch.run, k - 1, fill, shade)) return r;

        if (style.summed) {
            r.color += colorSum;
            if (lit) r.color += light.colorSum / static_cast<float>(k) * colorSum;
            r.opacity += depthSum;
            if (style.assumeSolid && std::exp(-r.opacity) == 0.0f) break;
        }
    }
    return r;
}

void ConvertOpticalDepth(MarchResult &march) {
    auto convert = [](float x) { return 1.0f - std::exp(-x); };
    march.color = Color(convert(march.color.r), convert(march.color.g), convert(march.color.b));
    march.opacity = convert(march.opacity);
}

MarchResult ShadeCombustionSegment(const MarchFrame &frame, const CombustionStyle &style,
                                   ShadeContext &sc, const Point3 &p0World,
                                   const Point3 &p1World, Color &color, Color &trans,
                                   MarchScratch &scratch) {
    Point3 dir;
    if (!FindSegmentVolumes(frame, p0World, p1World, dir, scratch)) return {};
    MarchResult march = MarchCombustion(frame, style, sc, p0World, dir, scratch);
    if (style.summed) ConvertOpticalDepth(march);
    ComposeOver(march, color, trans);
    return march;
}
