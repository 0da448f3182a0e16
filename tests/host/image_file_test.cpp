/// @file image_file_test.cpp
/// @brief Image files: round trips through PNG, TIFF, JPEG and EXR (with depth and material
///        channels, checked with OpenImageIO itself), plates from other tools, failed writes
///        that leave nothing behind, and frame-numbered file names.
#include "host/image_file.h"

#include "common/temp_folder.h"

#include <OpenImageIO/imageio.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

BMM_Color_64 Colour(int r, int g, int b, int a) {
    return BMM_Color_64{UWORD(r), UWORD(g), UWORD(b), UWORD(a)};
}

/// A 7 × 5 frame with distinct opaque colours, one half-transparent premultiplied pixel and
/// one fully transparent pixel.
BitmapPtr TestFrame() {
    BitmapInfo bi(BMM_TRUE_64, MAP_HAS_ALPHA, 7, 5);
    BitmapPtr bm(TheManager->Create(bi));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            bm->PutPixel(x, y,
                         Colour(x * 9000 + 17, y * 13000 + 5, (x * y * 2311) % 65536, 65535));
    bm->PutPixel(1, 1, Colour(20000, 10000, 5000, 32768));
    bm->PutPixel(2, 1, Colour(0, 0, 0, 0));
    return bm;
}

class ImageFileTest : public ::testing::Test {
protected:
    std::string Path(const std::string &name) const { return folder_.Path(name); }
    std::vector<std::string> Entries() const { return folder_.Entries(); }
    testfiles::TempFolder folder_;
};

/// Largest difference of any channel between the two bitmaps' pixels (alpha > 0 only when
/// `skipTransparent`).
int MaxDifference(const Bitmap &a, const Bitmap &b, bool skipTransparent = false) {
    int worst = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x) {
            const BMM_Color_64 p = a.Pixel(x, y), q = b.Pixel(x, y);
            if (skipTransparent && p.a == 0) continue;
            worst = std::max({worst, std::abs(p.r - q.r), std::abs(p.g - q.g),
                              std::abs(p.b - q.b), std::abs(p.a - q.a)});
        }
    return worst;
}

TEST_F(ImageFileTest, SixteenBitPngAndTiffRoundTrip) {
    BitmapPtr frame = TestFrame();
    for (const char *name : {"frame.png", "frame.tif"}) {
        WriteImageFile(Path(name), *frame);
        ImageFileContents found;
        BitmapPtr back = ReadImageFile(Path(name), &found);
        ASSERT_EQ(back->Width(), 7);
        ASSERT_EQ(back->Height(), 5);
        EXPECT_TRUE(found.alpha) << name;
        EXPECT_FALSE(found.linear) << name;
        EXPECT_TRUE(found.depthName.empty());
        EXPECT_EQ(back->ChannelsPresent(), BMM_CHAN_NONE);
        // Opaque pixels come back exactly: the files hold 16 bits per channel.
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x) {
                if (frame->Pixel(x, y).a != 65535) continue;
                EXPECT_EQ(back->Pixel(x, y), frame->Pixel(x, y))
                    << name << " " << x << "," << y;
            }
        // The half-transparent pixel survives PNG's division by alpha up to rounding.
        EXPECT_LE(MaxDifference(*frame, *back), 2) << name;

        auto in = OIIO::ImageInput::open(Path(name));
        ASSERT_TRUE(in);
        EXPECT_EQ(in->spec().nchannels, 4);
        EXPECT_EQ(in->spec().format, OIIO::TypeDesc::UINT16) << name;
    }
}

TEST_F(ImageFileTest, JpegIsEightBitColourWithoutAlpha) {
    BitmapPtr frame = TestFrame();
    frame->Fill(40000, 20000, 10000, 65535);
    WriteImageFile(Path("frame.jpg"), *frame);
    auto in = OIIO::ImageInput::open(Path("frame.jpg"));
    ASSERT_TRUE(in);
    EXPECT_EQ(in->spec().nchannels, 3);
    EXPECT_EQ(in->spec().format, OIIO::TypeDesc::UINT8);
    in.reset();

    ImageFileContents found;
    BitmapPtr back = ReadImageFile(Path("frame.jpg"), &found);
    EXPECT_FALSE(found.alpha);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) {
            const BMM_Color_64 p = back->Pixel(x, y);
            EXPECT_EQ(p.a, 65535) << "alpha 1 when absent";
            // A flat colour survives 8 bits and compression within a few levels of 257.
            EXPECT_NEAR(p.r, 40000, 3 * 257);
            EXPECT_NEAR(p.g, 20000, 3 * 257);
            EXPECT_NEAR(p.b, 10000, 3 * 257);
        }
}

TEST_F(ImageFileTest, OtherFormatsGetWhatTheyCanHold) {
    BitmapPtr frame = TestFrame();
    for (const char *name : {"frame.tga", "frame.bmp"}) {
        WriteImageFile(Path(name), *frame);
        BitmapPtr back = ReadImageFile(Path(name));
        EXPECT_LE(MaxDifference(*frame, *back, true), 2 * 257) << name << ": 8 bits";
    }
}

TEST_F(ImageFileTest, ExrCarriesLinearHalfColourDepthAndMaterial) {
    BitmapPtr frame = TestFrame();
    frame->PutPixel(0, 0, Colour(65535, 32768, 0, 65535));
    frame->CreateChannels(BMM_CHAN_ALL);
    float *z = frame->DepthChannel();
    BYTE *m = frame->MaterialChannel();
    for (int i = 0; i < 35; ++i) {
        z[i] = i % 4 == 0 ? kFarDepth : -0.25f * float(i + 1);
        m[i] = BYTE(i * 7);
    }
    WriteImageFile(Path("beauty.exr"), *frame);

    // What another tool sees.
    auto in = OIIO::ImageInput::open(Path("beauty.exr"));
    ASSERT_TRUE(in) << OIIO::geterror();
    const OIIO::ImageSpec &spec = in->spec();
    ASSERT_EQ(spec.nchannels, 6);
    const std::vector<std::string> names = {"R", "G", "B", "A", "Z", "materialId"};
    for (int c = 0; c < 6; ++c) EXPECT_EQ(spec.channelnames[c], names[c]);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(spec.channelformat(c), OIIO::TypeDesc::HALF);
    EXPECT_EQ(spec.channelformat(4), OIIO::TypeDesc::FLOAT);
    EXPECT_EQ(spec.channelformat(5), OIIO::TypeDesc::UINT32);

    std::vector<float> rgba(35 * 4), depth(35);
    std::vector<std::uint32_t> ids(35);
    ASSERT_TRUE(in->read_image(0, 0, 0, 4, OIIO::TypeDesc::FLOAT, rgba.data()));
    ASSERT_TRUE(in->read_image(0, 0, 4, 5, OIIO::TypeDesc::FLOAT, depth.data()));
    ASSERT_TRUE(in->read_image(0, 0, 5, 6, OIIO::TypeDesc::UINT32, ids.data()));
    for (int i = 0; i < 35; ++i) {
        EXPECT_EQ(depth[i], z[i]) << "depth is written exactly as stored, " << i;
        EXPECT_EQ(ids[i], m[i]) << i;
    }
    // Display white stays 1; display mid grey is about 0.214 in linear light.
    EXPECT_FLOAT_EQ(rgba[0], 1.0f);
    EXPECT_NEAR(rgba[1], 0.2140f, 0.001f);
    EXPECT_FLOAT_EQ(rgba[3], 1.0f);
    in.reset();

    // And back: colour within half precision, channels exact.
    ImageFileContents found;
    BitmapPtr back = ReadImageFile(Path("beauty.exr"), &found);
    EXPECT_TRUE(found.linear);
    EXPECT_EQ(found.depthName, "Z");
    EXPECT_FALSE(found.depthIsDistance);
    EXPECT_EQ(found.materialName, "materialId");
    EXPECT_LE(MaxDifference(*frame, *back), 40);  // half: 11 significant bits
    ASSERT_EQ(back->ChannelsPresent(), BMM_CHAN_ALL);
    for (int i = 0; i < 35; ++i) {
        EXPECT_EQ(back->DepthChannel()[i], z[i]);
        EXPECT_EQ(back->MaterialChannel()[i], m[i]);
    }
}

TEST_F(ImageFileTest, ExrWithoutChannelsHoldsColourOnly) {
    BitmapPtr frame = TestFrame();
    WriteImageFile(Path("plain.exr"), *frame);
    auto in = OIIO::ImageInput::open(Path("plain.exr"));
    ASSERT_TRUE(in);
    EXPECT_EQ(in->spec().nchannels, 4);
}

/// Writes a float EXR the way other renderers do: R G B and depth.Z as positive distances,
/// with infinity where nothing was hit.
void WriteForeignPlate(const std::string &path) {
    OIIO::ImageSpec spec(3, 2, 4, OIIO::TypeDesc::FLOAT);
    spec.channelnames = {"R", "G", "B", "depth.Z"};
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> px = {0.5f, 0.5f, 0.5f, 2.0f, 1.0f, 0.0f, 0.0f, 10.0f,
                                   0.0f, 0.0f, 0.0f, inf,  0.2f, 0.2f, 0.2f, 0.0f,
                                   2.0f, 2.0f, 2.0f, 3.5f, 0.0f, 1.0f, 0.0f, 1e30f};
    auto out = OIIO::ImageOutput::create(path);
    ASSERT_TRUE(out);
    ASSERT_TRUE(out->open(path, spec));
    ASSERT_TRUE(out->write_image(OIIO::TypeDesc::FLOAT, px.data()));
    ASSERT_TRUE(out->close());
}

TEST_F(ImageFileTest, ForeignPlateDepthBecomesCameraSpaceZ) {
    WriteForeignPlate(Path("plate.exr"));
    ImageFileContents found;
    BitmapPtr plate = ReadImageFile(Path("plate.exr"), &found);
    EXPECT_EQ(found.depthName, "depth.Z");
    EXPECT_TRUE(found.depthIsDistance);
    EXPECT_FALSE(found.alpha);
    ASSERT_NE(plate->DepthChannel(), nullptr);
    EXPECT_EQ(plate->MaterialChannel(), nullptr);
    const float *z = plate->DepthChannel();
    const std::vector<float> expected = {-2.0f, -10.0f, kFarDepth, kFarDepth, -3.5f, kFarDepth};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(z[i], expected[i]) << i;
    // Linear 0.5 is display 0.735; values above 1 clip; alpha is 1 without an alpha channel.
    EXPECT_NEAR(plate->Pixel(0, 0).r / 65535.0, 0.7354, 0.001);
    EXPECT_EQ(plate->Pixel(1, 1), Colour(65535, 65535, 65535, 65535));
}

TEST_F(ImageFileTest, GreyImagesGiveGreyColour) {
    OIIO::ImageSpec spec(2, 1, 1, OIIO::TypeDesc::UINT16);
    const std::vector<std::uint16_t> px = {1000, 60000};
    auto out = OIIO::ImageOutput::create(Path("grey.png"));
    ASSERT_TRUE(out->open(Path("grey.png"), spec));
    ASSERT_TRUE(out->write_image(OIIO::TypeDesc::UINT16, px.data()));
    ASSERT_TRUE(out->close());
    BitmapPtr bm = ReadImageFile(Path("grey.png"));
    EXPECT_EQ(bm->Pixel(0, 0), Colour(1000, 1000, 1000, 65535));
    EXPECT_EQ(bm->Pixel(1, 0), Colour(60000, 60000, 60000, 65535));
}

TEST_F(ImageFileTest, FailedWritesNameThePathAndLeaveNothingBehind) {
    BitmapPtr frame = TestFrame();
    const std::string missingDir = Path("no-such-folder/frame.png");
    try {
        WriteImageFile(missingDir, *frame);
        FAIL() << "writing into a missing folder succeeded";
    } catch (const ImageFileError &e) {
        EXPECT_EQ(e.path(), missingDir);
        EXPECT_NE(std::string(e.what()).find(missingDir), std::string::npos) << e.what();
    }

    // The target is a folder: the image is complete but cannot replace it.
    fs::create_directory(Path("taken.exr"));
    EXPECT_THROW(WriteImageFile(Path("taken.exr"), *frame), ImageFileError);
    EXPECT_TRUE(fs::is_directory(Path("taken.exr")));

    try {
        WriteImageFile(Path("frame.nosuchformat"), *frame);
        FAIL() << "an unknown extension was written";
    } catch (const ImageFileError &e) {
        EXPECT_NE(std::string(e.what()).find("frame.nosuchformat"), std::string::npos);
    }
    EXPECT_EQ(Entries(), std::vector<std::string>{"taken.exr"}) << "no temporary file is left";

    // A good write replaces an older file completely and leaves no temporary either.
    WriteImageFile(Path("frame.png"), *frame);
    frame->Fill(1, 2, 3, 65535);
    WriteImageFile(Path("frame.png"), *frame);
    EXPECT_EQ(ReadImageFile(Path("frame.png"))->Pixel(4, 4), Colour(1, 2, 3, 65535));
    EXPECT_EQ(Entries().size(), 2u);
}

TEST_F(ImageFileTest, UnreadableFilesGiveClearErrors) {
    try {
        ReadImageFile(Path("missing.exr"));
        FAIL() << "a missing file was read";
    } catch (const ImageFileError &e) {
        EXPECT_NE(std::string(e.what()).find("missing.exr"), std::string::npos) << e.what();
    }
    std::ofstream(Path("broken.png"), std::ios::binary) << "\x89PNG\r\n\x1a\n not really";
    EXPECT_THROW(ReadImageFile(Path("broken.png")), ImageFileError);
}

TEST(FramePattern, HashesAndPrintfFieldsBecomeTheFrameNumber) {
    EXPECT_EQ(ExpandFramePattern("beauty.####.exr", 12), "beauty.0012.exr");
    EXPECT_EQ(ExpandFramePattern("b.#.png", 123), "b.123.png") << "digits beyond the run stay";
    EXPECT_EQ(ExpandFramePattern("b.####.png", -5), "b.-005.png");
    EXPECT_EQ(ExpandFramePattern("b.%04d.png", 7), "b.0007.png");
    EXPECT_EQ(ExpandFramePattern("b.%d.png", 7), "b.7.png");
    EXPECT_EQ(ExpandFramePattern("b.%3d.png", 7), "b.  7.png");
    EXPECT_EQ(ExpandFramePattern("100%%_%02d.png", 3), "100%_03.png");
    EXPECT_EQ(ExpandFramePattern("50%.png", 3), "50%.png") << "a lone % stays";
    EXPECT_EQ(ExpandFramePattern("still.png", 3), "still.png");
}

}  // namespace
