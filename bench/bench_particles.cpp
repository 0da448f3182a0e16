/// @file bench_particles.cpp
/// @brief Cost of bringing particle systems to a time: a spray with a still and with a keyed
///        (moving) emitter, and the particle file player between two frames.
#include "host/inode.h"
#include "host/interface.h"
#include "host/paramblock.h"
#include "host/particles.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

namespace {

constexpr int kTPF = 160;

/// A spray with about `alive` particles alive at frame 60 (30-frame lives).
ParticleObject *MakeSpray(int alive, INode **node) {
    GetCOREInterface()->ResetScene();
    auto *obj = static_cast<Object *>(CreateInstance(GEOMOBJECT_CLASS_ID, SPRAY_CLASS_ID));
    *node = GetCOREInterface()->CreateObjectNode(obj);
    auto *pb = static_cast<IParamBlock *>(obj->GetReference(0));
    pb->SetValue(SPRAY_BIRTH_RATE, 0, alive / 30.0f);
    pb->SetValue(SPRAY_EMIT_STOP, 0, 100 * kTPF);
    pb->SetValue(SPRAY_LIFE, 0, 30 * kTPF);
    pb->SetValue(SPRAY_SPREAD, 0, 0.5f);
    pb->SetValue(SPRAY_GRAVITY, 0, 0.1f);
    pb->SetValue(SPRAY_DRAG, 0, 0.02f);
    return GetParticleInterface(obj);
}

void BM_SprayUpdate(benchmark::State &state) {
    INode *node = nullptr;
    ParticleObject *p = MakeSpray(static_cast<int>(state.range(0)), &node);
    for (auto _ : state) {
        p->Update(60 * kTPF, node);
        benchmark::DoNotOptimize(p->GetParticlePosition(0));
    }
    state.SetItemsProcessed(state.iterations() * p->NumParticles());
    GetCOREInterface()->ResetScene();
}
BENCHMARK(BM_SprayUpdate)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

void BM_SprayUpdateMovingEmitter(benchmark::State &state) {
    INode *node = nullptr;
    ParticleObject *p = MakeSpray(static_cast<int>(state.range(0)), &node);
    node->SetPositionKey(0, Point3(0, 0, 0));
    node->SetPositionKey(100 * kTPF, Point3(500, 0, 0));
    node->SetRotationKeyEuler(100 * kTPF, Point3(0, 90, 0));
    for (auto _ : state) {
        p->Update(60 * kTPF, node);
        benchmark::DoNotOptimize(p->GetParticlePosition(0));
    }
    state.SetItemsProcessed(state.iterations() * p->NumParticles());
    GetCOREInterface()->ResetScene();
}
BENCHMARK(BM_SprayUpdateMovingEmitter)->Arg(10000)->Unit(benchmark::kMicrosecond);

void BM_ParticleFileUpdate(benchmark::State &state) {
    const int count = static_cast<int>(state.range(0));
    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       ("nimbra-bench-" + std::to_string(::getpid()) + ".csv");
    {
        std::ofstream out(path);
        out << "frame,id,x,y,z\n";
        for (int f = 0; f < 4; ++f) {
            for (int i = 0; i < count; ++i)
                out << f << ',' << i << ',' << i << ",0," << f << '\n';
        }
    }
    GetCOREInterface()->ResetScene();
    auto *obj =
        static_cast<Object *>(CreateInstance(GEOMOBJECT_CLASS_ID, PARTICLE_FILE_CLASS_ID));
    INode *node = GetCOREInterface()->CreateObjectNode(obj);
    auto *p = dynamic_cast<ParticleFileObject *>(obj);
    if (!p->SetFileName(path.string())) state.SkipWithError(p->GetLoadError().c_str());
    for (auto _ : state) {
        p->Update(kTPF + kTPF / 2, node);
        benchmark::DoNotOptimize(p->GetParticlePosition(0));
    }
    state.SetItemsProcessed(state.iterations() * count);
    GetCOREInterface()->ResetScene();
    std::filesystem::remove(path);
}
BENCHMARK(BM_ParticleFileUpdate)->Arg(100000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
