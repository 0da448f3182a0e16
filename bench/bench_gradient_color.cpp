/// @file bench_gradient_color.cpp
/// @brief Gradient Color's cost per volume sample: the colour queries the lit volume march
///        makes for every sample (shininess, self-illumination, shadow strength, specular,
///        ambient, diffuse, material identifiers), with the default slots and with all ten
///        slots in use, beside Volume Color's cost for the same queries; and the per-frame
///        rebuild of its gradient tables.
#include "plugins/volume/gradient_color.h"
#include "sprite_shape_bench.h"

#include "framework/plugin_records.h"
#include "host/class_desc.h"
#include "host/shade_context.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

using GC = GradientColor;

class Ray final : public ShadeContext {
public:
    IPoint2 ScreenCoord() override { return {320, 240}; }
    Point3 P() override { return {}; }
    Point3 Normal() override { return {0, 0, 1}; }
    Point3 V() override { return {0, 0, -1}; }
};

/// A shader whose slots all read a source when `allSlots` (each a different one), else the
/// defaults (four slots by particle age, one by particle size).
GradientColor *MakeShader(bool allSlots) {
    auto *shader = new GradientColor;
    constexpr int kSources[GC::kSlots] = {
        GC::kParticleAge,  GC::kTurbulence, GC::kParticleSize, GC::kParticleSizeTrackView,
        GC::kGalaxyMed,    GC::kPlasmaLow,  GC::kSunbeams,     GC::kScreenX,
        GC::kParticleSize, GC::kParticleAge};
    for (int g = 0; allSlots && g < GC::kSlots; ++g) {
        shader->ParamBlock()->SetValue(GC::SourceParam(g), 0, kSources[g]);
        shader->ParamBlock()->SetValue(GC::CycleParam(g), 0, 10.0f * float(g));
    }
    return shader;
}

/// The colour queries of `shader` over 1024 samples of one particle.
void RunSamples(benchmark::State &state, NimbraPlugIn *shader) {
    RenderGlobalContext frame;
    frame.devWidth = 640;
    frame.devHeight = 480;
    Ray ray;
    ray.globContext = &frame;
    ParticleVolume volume;
    volume.age = 1600;
    volume.lifeEnd = 4800;
    shader->__UpdateAtmos_(0);
    shader->__CreateCache__(0, &volume);

    std::mt19937 random(7);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::vector<SampleInfo> samples(1024);
    for (SampleInfo &s : samples) {
        s.volume = &volume;
        s.shadeContext = &ray;
        s.radius = unit(random);
        s.noise = unit(random);
        s.sunbeam = unit(random);
    }
    for (auto _ : state) {
        for (SampleInfo &s : samples) {
            float sum = shader->__GetShininess__(&s) + shader->__GetSelfIllumination__(&s) +
                        shader->__GetShadowStrength__(&s);
            sum += shader->__GetColorSpecular__(&s).r + shader->__GetColorAmbient__(&s).g +
                   shader->__GetColorDiffuse__(&s).b;
            shader->__GetMaterialID__(&s);
            benchmark::DoNotOptimize(sum);
        }
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(samples.size()));
    shader->__DestroyCache__(0, &volume);
    shader->DeleteThis();
}

void BM_GradientColorSample(benchmark::State &state) {
    RunSamples(state, MakeShader(state.range(0) != 0));
}
BENCHMARK(BM_GradientColorSample)->ArgName("all_slots")->Arg(0)->Arg(1);

/// Volume Color makes its colour controllers through the host, so it comes from the module.
void BM_VolumeColorSample(benchmark::State &state) {
    shapebench::LoadModules("bench_gradient_color");
    RunSamples(state, static_cast<NimbraPlugIn *>(CreateInstance(
                          REF_MAKER_CLASS_ID, Class_ID(0x41035834, 0x7B0A6290))));
}
BENCHMARK(BM_VolumeColorSample);

/// The tables rebuilt once per frame.
void BM_GradientColorUpdate(benchmark::State &state) {
    GradientColor *shader = MakeShader(state.range(0) != 0);
    for (auto _ : state) shader->__UpdateAtmos_(0);
    shader->DeleteThis();
}
BENCHMARK(BM_GradientColorUpdate)->ArgName("all_slots")->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
