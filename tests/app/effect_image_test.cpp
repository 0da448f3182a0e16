/// @file effect_image_test.cpp
/// @brief Image regression: `nimbra render` draws a small fire scene (a plane, a box, a spray
///        emitter; flames of FireBall with four colours and Glow, smoke of Circle with Alpha,
///        partly behind the box) through the scene event and "Nimbra Shader", and the frame
///        must match the checked-in reference image.
///
/// The reference is the program's own render of tests/data/fire-scene.json, looked at and
/// found right when it was made. After an intended change of the picture, make it again with
///   ./build/nimbra render tests/data/fire-scene.json -o tests/data/fire-scene.png
/// and look at it before committing it.
#include "common/test_paths.h"
#include "program_run.h"

#include "host/bitmap.h"
#include "host/image_file.h"
#include "common/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using apptest::ProgramRun;
using apptest::RunNimbra;

namespace {

/// A channel may differ from the reference by this much (of 65535: two steps of an 8-bit
/// display) without the pixel counting as different. Both images are the same program's
/// output, so this only absorbs rounding that a compiler's choices may move.
constexpr int kChannelTolerance = 2 * 257;
/// Pixels allowed beyond the channel tolerance: a sprite's ragged edge may flip a pixel or
/// two when the noise's last bit moves, but a wrong colour, composite, depth test or shape
/// changes hundreds.
constexpr int kMaxDifferentPixels = 12;
/// The difference image shows |rendered − reference| this many times brighter.
constexpr int kDiffGain = 8;

std::string DataFile(const char *name) {
    return (fs::path(testpaths::TestDataDir()) / name).string();
}

/// Where failed comparisons leave their images: beside the build's test logs.
fs::path FailureFolder() {
    return fs::path(testpaths::BinaryDir()) / "Testing" / "image-diffs";
}

/// How two images of the same size differ.
struct ImageComparison {
    int differentPixels = 0;  ///< pixels with a channel beyond kChannelTolerance
    int largest = 0;          ///< largest channel difference anywhere
    int firstX = -1, firstY = -1;
    BitmapPtr diff;  ///< |a − b| × kDiffGain per channel, opaque
};

ImageComparison Compare(const Bitmap &a, const Bitmap &b) {
    ImageComparison c;
    c.diff.reset(
        TheManager->Create(BitmapInfo(BMM_TRUE_64, MAP_HAS_ALPHA, a.Width(), a.Height())));
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x) {
            const BMM_Color_64 p = a.Pixel(x, y), q = b.Pixel(x, y);
            const int dr = std::abs(p.r - q.r), dg = std::abs(p.g - q.g),
                      db = std::abs(p.b - q.b), da = std::abs(p.a - q.a);
            const int worst = std::max({dr, dg, db, da});
            c.largest = std::max(c.largest, worst);
            if (worst > kChannelTolerance && c.differentPixels++ == 0) {
                c.firstX = x;
                c.firstY = y;
            }
            // Alpha differences show in all three channels of the difference image.
            const auto shown = [](int d) { return UWORD(std::min(d * kDiffGain, 65535)); };
            c.diff->PutPixel(x, y,
                             BMM_Color_64{shown(std::max(dr, da)), shown(std::max(dg, da)),
                                          shown(std::max(db, da)), 65535});
        }
    return c;
}

}  // namespace

TEST(EffectImage, FireSceneMatchesItsReference) {
    testfiles::TempFolder folder;
    const std::string rendered = folder.Path("fire-scene.png");
    const ProgramRun run =
        RunNimbra({"--config-dir", folder.Path(""), "render", DataFile("fire-scene.json"), "-o",
                   rendered, "--progress", "plain"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");

    const BitmapPtr image = ReadImageFile(rendered);
    const BitmapPtr reference = ReadImageFile(DataFile("fire-scene.png"));
    ASSERT_EQ(image->Width(), reference->Width());
    ASSERT_EQ(image->Height(), reference->Height());
    const ImageComparison c = Compare(*image, *reference);
    if (c.differentPixels <= kMaxDifferentPixels) return;

    fs::create_directories(FailureFolder());
    const std::string keptImage = (FailureFolder() / "fire-scene.rendered.png").string();
    const std::string diffImage = (FailureFolder() / "fire-scene.diff.png").string();
    fs::copy_file(rendered, keptImage, fs::copy_options::overwrite_existing);
    WriteImageFile(diffImage, *c.diff);
    ADD_FAILURE() << c.differentPixels << " pixels differ from the reference by more than "
                  << kChannelTolerance << " in a channel (at most " << kMaxDifferentPixels
                  << " may), the first at (" << c.firstX << ", " << c.firstY
                  << "); largest difference " << c.largest << ".\n  rendered:   " << keptImage
                  << "\n  difference: " << diffImage << " (" << kDiffGain << "x)"
                  << "\n  reference:  " << DataFile("fire-scene.png");
}
