/// @file bench_spark.cpp
/// @brief The Spark shape's two costs: reading its painted buffer per pixel, and painting the
///        buffer once per particle, set against the pixels the painting covers.
///
/// `BM_SparkParticle/r/samples/width`: particles of radius r streaking in every direction
/// across a frame (the test camera: one world unit is one pixel at the particles' depth, so
/// the longest strokes are 100 pixels and leave the sprite), each painted with
/// `__BeginParticle__` and then read pixel by pixel as the engine does, through the row call
/// (`rows`) or the per-pixel contract call (`pixels`). Both are timed separately in this
/// thread's CPU time. Counters:
///  - `read_px_per_s`: pixels of the square read per second;
///  - `paint_us`: microseconds to paint one particle;
///  - `covered_pct`: share of the square the painting covers;
///  - `paint_per_covered`: the painting's cost per covered pixel, in reads of one pixel (how
///    many pixel reads one covered pixel's painting costs).
#include "plugins/standard/spark_shape.h"
#include "framework/shape_rows.h"
#include "host/bitmap.h"
#include "host/class_desc.h"
#include "host/interface.h"
#include "host/module_loader.h"
#include "host/particles.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

/// CPU time of this thread in seconds (the machine may be shared).
double ThreadSeconds() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

/// The modules, loaded once into a configuration folder of their own: the shape makes its
/// controllers through the host.
bool LoadModules() {
    static const bool loaded = [] {
        const std::filesystem::path config = std::filesystem::temp_directory_path() /
                                             ("nimbra_bench_spark_" + std::to_string(getpid()));
        std::filesystem::create_directories(config);
        GetCOREInterface()->SetDir(APP_PLUGCFG_DIR, config.c_str());
        static ModuleLoader loader;
        loader.LoadAll({NIMBRA_PLUGIN_DIR});
        return ClassDirectory::Instance().Find(REF_MAKER_CLASS_ID, SparkShape::kClassID) !=
               nullptr;
    }();
    return loaded;
}

constexpr int kParticles = 256;
constexpr float kDepth = -100.0f;

/// `kParticles` particles at the frame's centre, moving in directions spread over the circle
/// and somewhat towards or away from the camera.
class Sparks : public ParticleObject {
public:
    Sparks() {
        Resize(kParticles);
        for (int i = 0; i < kParticles; ++i) {
            const float angle = 2.39996f * i;  // the golden angle
            SetParticle(i, Point3(0.0f, 0.0f, kDepth),
                        Point3(std::cos(angle), std::sin(angle), 0.5f * std::sin(3.0f * angle)),
                        100);
        }
    }
    Class_ID ClassID() override { return Class_ID(0x53504B42, 0x454E4348); }
    void Update(TimeValue, INode *) override {}
};

void BM_SparkParticle(benchmark::State &state, bool rows) {
    if (!LoadModules()) {
        state.SkipWithError("the module standard did not load");
        return;
    }
    auto *shape = static_cast<SparkShape *>(
        static_cast<Animatable *>(CreateInstance(REF_MAKER_CLASS_ID, SparkShape::kClassID)));
    const int r = static_cast<int>(state.range(0));
    for (int i : {SparkShape::kBirthSample, SparkShape::kDeathSample})
        shape->ParamBlock()->SetValue(i, 0, static_cast<float>(state.range(1)));
    for (int i : {SparkShape::kBirthWidth, SparkShape::kDeathWidth})
        shape->ParamBlock()->SetValue(i, 0, static_cast<float>(state.range(2)));
    BitmapPtr frame(TheManager->Create(BitmapInfo(BMM_TRUE_64, MAP_HAS_ALPHA, 640, 640)));
    RenderInfo *ri = frame->Storage()->AllocRenderInfo();
    ri->kx = -100.0f;
    ri->ky = 100.0f;
    ri->xc = ri->yc = 320.0f;
    shape->__BeginFrame__(0, frame.get(), nullptr, nullptr);
    auto *sparks = new Sparks;
    const IShapeRows *rowCall = GetShapeRows(shape);
    std::vector<unsigned short> density(2 * r + 1);
    std::vector<unsigned char> covered(2 * r + 1);

    double paintSeconds = 0.0, readSeconds = 0.0;
    std::int64_t painted = 0, read = 0, coveredPixels = 0;
    std::uint32_t sum = 0;
    int index = 0;
    for (auto _ : state) {
        ParticleInfo p;
        p.screenX = p.screenY = 320;
        p.position = Point3(0.0f, 0.0f, kDepth);
        p.lifeEnd = 4800;
        p.age = (index * 613) % 4800;
        p.particles = sparks;
        p.particleIndex = index++ % kParticles;
        double start = ThreadSeconds();
        shape->__BeginParticle__(1.0f, r, &p);
        paintSeconds += ThreadSeconds() - start;
        ++painted;

        start = ThreadSeconds();
        for (int dy = -r; dy <= r; ++dy) {
            if (rows) {
                rowCall->ParticleShapeRow(density.data(), covered.data(), r, -r, dy, 320 - r,
                                          320 + dy, 2 * r + 1);
                for (int i = 0; i <= 2 * r; ++i)
                    if (covered[i]) {
                        sum += density[i];
                        ++coveredPixels;
                    }
                continue;
            }
            for (int dx = -r; dx <= r; ++dx) {
                unsigned short d;
                if (shape->__ParticleShape__(&d, r, dx, dy, 320 + dx, 320 + dy)) {
                    sum += d;
                    ++coveredPixels;
                }
            }
        }
        readSeconds += ThreadSeconds() - start;
        read += std::int64_t(2 * r + 1) * (2 * r + 1);
        shape->__EndParticle__();
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(painted);
    if (coveredPixels == 0 || read == 0) {
        state.SkipWithError("no pixel was covered");
    } else {
        const double perRead = readSeconds / double(read);
        state.counters["read_px_per_s"] = 1.0 / perRead;
        state.counters["paint_us"] = 1e6 * paintSeconds / double(painted);
        state.counters["covered_pct"] = 100.0 * double(coveredPixels) / double(read);
        state.counters["paint_per_covered"] = paintSeconds / double(coveredPixels) / perRead;
    }
    shape->__EndFrame__(0);
    shape->DeleteThis();
    sparks->DeleteThis();
}

/// Radius, samples, width: the defaults (20 samples, width 40) at a small and a large radius,
/// the most samples, and the widest strokes.
void Cases(benchmark::internal::Benchmark *b) {
    b->Args({8, 20, 40})->Args({40, 20, 40})->Args({40, 100, 40})->Args({40, 20, 50});
}

}  // namespace

BENCHMARK_CAPTURE(BM_SparkParticle, rows, true)->Apply(Cases);
BENCHMARK_CAPTURE(BM_SparkParticle, pixels, false)->Apply(Cases);

BENCHMARK_MAIN();
