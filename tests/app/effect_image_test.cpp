/// @file effect_image_test.cpp
/// @brief Image regression: `nimbra render` draws a scene through the scene event and
///        "Nimbra Shader", and the frame must match the checked-in reference image.
///
/// - tests/data/fire-scene.json: a plane, a box, a spray emitter; flames of FireBall with four
///   colours and Glow, smoke of Circle with Alpha, partly behind the box.
/// - examples/gallery.json at a small size: every sprite shape side by side over a lit set.
/// - examples/smoke-shadows.json at a small size: a smoke column's particle shadow, cast by a
///   ZephraLight through "Nimbra Shadow", on the ground and a wall.
/// - the volume examples at 128 x 72: explosion.json (GhostBeam: Combustion lit by a spot with
///   shadows in the volume), toon-smoke.json (InkToon), campfire-volume.json (the Combustion
///   march with Gradient Color), clouds.json (PuffyClouds and FractalClouds under a sun).
///
/// The references are the program's own renders, looked at and found right when they were
/// made. After an intended change of the picture, make them again with
///   ./build/nimbra render tests/data/fire-scene.json -o tests/data/fire-scene.png
///   ./build/nimbra render examples/gallery.json --frames 40 --size 240x90
///       -o tests/data/gallery.####.png   (one line; then rename it tests/data/gallery.png)
///   ./build/nimbra render examples/smoke-shadows.json --frames 45 --size 240x135
///       -o tests/data/smoke-shadows.####.png   (one line; then rename it
///       tests/data/smoke-shadows.png)
///   ./build/nimbra render examples/NAME.json --frames F --size 128x72
///       -o tests/data/NAME.####.png   (for each volume example, F as in the cases below)
/// and look at them before committing them.
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
#include <vector>

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

std::string ExampleFile(const char *name) {
    return (fs::path(testpaths::SourceDir()) / "examples" / name).string();
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

/// A scene rendered to one frame and the reference it must match.
struct ImageCase {
    const char *name;                ///< the reference's and the failure images' stem
    std::string scene;               ///< the scene file
    std::vector<std::string> extra;  ///< frame and size options
    std::string frame;               ///< the rendered frame's number as the pattern writes it
};

class EffectImage : public ::testing::TestWithParam<ImageCase> {};

TEST_P(EffectImage, MatchesItsReference) {
    const ImageCase &test = GetParam();
    testfiles::TempFolder folder;
    std::vector<std::string> args = {"--config-dir", folder.Path(""), "render", test.scene,
                                     "-o", folder.Path("frame.####.png"), "--progress", "plain"};
    args.insert(args.end(), test.extra.begin(), test.extra.end());
    const ProgramRun run = RunNimbra(args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");

    const std::string rendered = folder.Path("frame." + test.frame + ".png");
    const std::string referenceFile = DataFile((std::string(test.name) + ".png").c_str());
    const BitmapPtr image = ReadImageFile(rendered);
    const BitmapPtr reference = ReadImageFile(referenceFile);
    ASSERT_EQ(image->Width(), reference->Width());
    ASSERT_EQ(image->Height(), reference->Height());
    const ImageComparison c = Compare(*image, *reference);
    if (c.differentPixels <= kMaxDifferentPixels) return;

    fs::create_directories(FailureFolder());
    const std::string stem = (FailureFolder() / test.name).string();
    const std::string keptImage = stem + ".rendered.png", diffImage = stem + ".diff.png";
    fs::copy_file(rendered, keptImage, fs::copy_options::overwrite_existing);
    WriteImageFile(diffImage, *c.diff);
    ADD_FAILURE() << c.differentPixels << " pixels differ from the reference by more than "
                  << kChannelTolerance << " in a channel (at most " << kMaxDifferentPixels
                  << " may), the first at (" << c.firstX << ", " << c.firstY
                  << "); largest difference " << c.largest << ".\n  rendered:   " << keptImage
                  << "\n  difference: " << diffImage << " (" << kDiffGain << "x)"
                  << "\n  reference:  " << referenceFile;
}

INSTANTIATE_TEST_SUITE_P(
    Scenes, EffectImage,
    ::testing::Values(ImageCase{"fire-scene", DataFile("fire-scene.json"), {}, "0020"},
                      ImageCase{"gallery",
                                ExampleFile("gallery.json"),
                                {"--frames", "40", "--size", "240x90"},
                                "0040"},
                      ImageCase{"smoke-shadows",
                                ExampleFile("smoke-shadows.json"),
                                {"--frames", "45", "--size", "240x135"},
                                "0045"},
                      // The ray-marched volumes, one scene per march.
                      ImageCase{"explosion",
                                ExampleFile("explosion.json"),
                                {"--frames", "30", "--size", "128x72"},
                                "0030"},
                      ImageCase{"toon-smoke",
                                ExampleFile("toon-smoke.json"),
                                {"--frames", "40", "--size", "128x72"},
                                "0040"},
                      ImageCase{"campfire-volume",
                                ExampleFile("campfire-volume.json"),
                                {"--frames", "40", "--size", "128x72"},
                                "0040"},
                      ImageCase{"clouds",
                                ExampleFile("clouds.json"),
                                {"--frames", "40", "--size", "128x72"},
                                "0040"}),
    [](const auto &info) {
        std::string name = info.param.name;
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });
