/// @file bench_bitmap.cpp
/// @brief Bitmap pixel access the way the sprite engine uses it (single-pixel reads, blends
///        and writes over a 1280 × 720 frame), and writing frames as EXR and PNG.
#include "host/bitmap.h"
#include "host/image_file.h"
#include "host/image_filter.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include <unistd.h>

namespace {

constexpr int kWidth = 1280, kHeight = 720;

BitmapPtr Frame(bool channels) {
    BitmapInfo bi(BMM_TRUE_64, MAP_HAS_ALPHA, kWidth, kHeight);
    BitmapPtr bm(TheManager->Create(bi));
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            bm->PutPixel(x, y, BMM_Color_64{UWORD(x * 51), UWORD(y * 91), UWORD(x ^ y), 65535});
    if (channels) {
        bm->CreateChannels(BMM_CHAN_ALL);
        for (int i = 0; i < kWidth * kHeight; ++i) {
            bm->DepthChannel()[i] = -1.0f - float(i % 977);
            bm->MaterialChannel()[i] = BYTE(i % 7);
        }
    }
    return bm;
}

/// Reads the source pixel, blends it with a colour and writes it back, for every pixel of a
/// square sprite that sticks out of the frame on two sides (so the bounds checks refuse some).
void BM_SpritePixels(benchmark::State &state) {
    BitmapPtr bm = Frame(false);
    const int r = 200;
    const int cx = kWidth - 100, cy = 150;
    for (auto _ : state) {
        for (int dy = -r; dy <= r; ++dy)
            for (int dx = -r; dx <= r; ++dx) {
                const int x = cx + dx, y = cy + dy;
                BMM_Color_64 src;
                bm->GetPixel(x, y, src);
                const int w = (dx * dx + dy * dy) & 0xFFFF;
                const BMM_Color_64 out{UWORD(ImageFilter::Lerp(src.r, 60000, w)),
                                       UWORD(ImageFilter::Lerp(src.g, 30000, w)),
                                       UWORD(ImageFilter::Lerp(src.b, 1000, w)), 65535};
                bm->PutPixel(x, y, out);
            }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * (2 * r + 1) * (2 * r + 1));
}
BENCHMARK(BM_SpritePixels);

void BM_WriteFrame(benchmark::State &state, const char *extension, bool channels) {
    BitmapPtr bm = Frame(channels);
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("nimbra-bench-" + std::to_string(::getpid()) + extension))
                                 .string();
    for (auto _ : state) WriteImageFile(path, *bm);
    std::filesystem::remove(path);
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}
BENCHMARK_CAPTURE(BM_WriteFrame, exr_rgba_z_material, ".exr", true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WriteFrame, png16, ".png", false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WriteFrame, tiff16, ".tif", false)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
