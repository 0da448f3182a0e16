/// @file bitmap_test.cpp
/// @brief Bitmaps: creation limits, safe pixel and row access, channels, copies and fills.
#include "host/bitmap.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

BitmapPtr MakeBitmap(int w, int h) {
    BitmapInfo bi(BMM_TRUE_64, MAP_HAS_ALPHA, w, h);
    return BitmapPtr(TheManager->Create(&bi));
}

BMM_Color_64 Colour(int r, int g, int b, int a) {
    return BMM_Color_64{UWORD(r), UWORD(g), UWORD(b), UWORD(a)};
}

/// A bitmap whose pixel (x, y) encodes its position, so copies can be checked pixel by pixel.
BitmapPtr Gradient(int w, int h) {
    BitmapPtr bm = MakeBitmap(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) bm->PutPixel(x, y, Colour(x * 100, y * 100, x + y, 65535));
    return bm;
}

TEST(Bitmap, CreateRefusesZeroNegativeAndAbsurdSizes) {
    EXPECT_EQ(TheManager->Create(nullptr), nullptr);
    for (auto [w, h] : {std::pair{0, 10},
                        {10, 0},
                        {-5, 10},
                        {10, -1},
                        {kMaxBitmapSide + 1, 1},
                        {40000, 40000}})
        EXPECT_EQ(MakeBitmap(w, h), nullptr) << w << " x " << h;

    BitmapInfo bi(BMM_TRUE_64, MAP_HAS_ALPHA, 3, 2);
    bi.SetFilterType(BMM_FILTER_PYRAMID);
    BitmapPtr bm(TheManager->Create(bi));
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(bm->Width(), 3);
    EXPECT_EQ(bm->Height(), 2);
    EXPECT_EQ(bm->Info().FilterType(), BMM_FILTER_PYRAMID);
    EXPECT_EQ(bm->Pixel(2, 1), BMM_Color_64{}) << "a new bitmap is transparent black";
    EXPECT_EQ(bm->ChannelsPresent(), BMM_CHAN_NONE);
    EXPECT_EQ(bm->Storage()->GetRenderInfo(), nullptr);
}

TEST(Bitmap, PixelAccessOutsideTheImageIsSafe) {
    BitmapPtr bm = MakeBitmap(4, 3);
    const BMM_Color_64 c = Colour(1, 2, 3, 4);
    EXPECT_EQ(bm->PutPixel(3, 2, c), 1);
    BMM_Color_64 got;
    EXPECT_EQ(bm->GetPixel(3, 2, got), 1);
    EXPECT_EQ(got, c);

    for (auto [x, y] : {std::pair{-1, 0},
                        {4, 0},
                        {0, -1},
                        {0, 3},
                        {-2147483647 - 1, 0},
                        {2147483647, 2147483647}}) {
        got = c;
        EXPECT_EQ(bm->GetPixel(x, y, got), 0) << x << "," << y;
        EXPECT_EQ(got, BMM_Color_64{}) << "a read outside answers a zero pixel";
        EXPECT_EQ(bm->Pixel(x, y), BMM_Color_64{});
        EXPECT_EQ(bm->PutPixel(x, y, c), 0);
    }
    // Nothing inside changed through the refused writes.
    int changed = 0;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) changed += !(bm->Pixel(x, y) == BMM_Color_64{});
    EXPECT_EQ(changed, 1);
}

TEST(Bitmap, RowAccessClipsToTheImageAndReportsPartialSpans) {
    BitmapPtr bm = Gradient(5, 2);
    std::vector<BMM_Color_64> row(7, Colour(9, 9, 9, 9));
    EXPECT_EQ(bm->GetPixels(0, 1, 5, row.data()), 1);
    for (int x = 0; x < 5; ++x) EXPECT_EQ(row[x], bm->Pixel(x, 1));

    // A span from x = -1 over seven pixels: one before the row, one after; both read as zero.
    EXPECT_EQ(bm->GetPixels(-1, 0, 7, row.data()), 0);
    EXPECT_EQ(row[0], BMM_Color_64{});
    for (int x = 0; x < 5; ++x) EXPECT_EQ(row[x + 1], bm->Pixel(x, 0));
    EXPECT_EQ(row[6], BMM_Color_64{});
    EXPECT_EQ(bm->GetPixels(0, 2, 3, row.data()), 0) << "row below the image";
    EXPECT_EQ(row[0], BMM_Color_64{});
    EXPECT_EQ(bm->GetPixels(0, 0, -1, row.data()), 0);
    EXPECT_EQ(bm->GetPixels(0, 0, 1, nullptr), 0);
    EXPECT_EQ(bm->GetLinearPixels(1, 0, 2, row.data()), 1);
    EXPECT_EQ(row[0], bm->Pixel(1, 0));

    // Writing a span that sticks out on both sides writes its inside part only.
    std::vector<BMM_Color_64> paint(7);
    for (int i = 0; i < 7; ++i) paint[i] = Colour(i, i, i, 65535);
    EXPECT_EQ(bm->PutPixels(-1, 1, 7, paint.data()), 0);
    for (int x = 0; x < 5; ++x) EXPECT_EQ(bm->Pixel(x, 1), paint[x + 1]);
    EXPECT_EQ(bm->Pixel(0, 0), Colour(0, 0, 0, 65535)) << "row 0 untouched";
    EXPECT_EQ(bm->PutPixels(3, 1, 2147483647, paint.data()), 0)
        << "a huge count neither wraps nor reads past the caller's data";
    EXPECT_EQ(bm->PutPixels(0, -1, 2, paint.data()), 0);
    EXPECT_EQ(bm->PutPixels(2, 0, 2, paint.data()), 1);
    EXPECT_EQ(bm->Pixel(3, 0), paint[1]);
}

TEST(Bitmap, ChannelsAreAbsentUntilCreatedAndStartEmpty) {
    BitmapPtr bm = MakeBitmap(3, 2);
    ULONG type = 123;
    EXPECT_EQ(bm->GetChannel(BMM_CHAN_Z, type), nullptr);
    EXPECT_EQ(type, BMM_CHAN_TYPE_UNKNOWN);
    EXPECT_EQ(bm->GetChannel(BMM_CHAN_MTL_ID, type), nullptr);

    EXPECT_EQ(bm->CreateChannels(BMM_CHAN_Z), BMM_CHAN_Z);
    auto *z = static_cast<float *>(bm->GetChannel(BMM_CHAN_Z, type));
    ASSERT_NE(z, nullptr);
    EXPECT_EQ(type, BMM_CHAN_TYPE_32);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(z[i], kFarDepth);
    EXPECT_EQ(bm->GetChannel(BMM_CHAN_MTL_ID, type), nullptr) << "only the asked channel";

    z[4] = -7.5f;
    EXPECT_EQ(bm->CreateChannels(BMM_CHAN_ALL), BMM_CHAN_ALL);
    EXPECT_EQ(bm->GetChannel(BMM_CHAN_Z, type), z) << "an existing channel is kept";
    EXPECT_EQ(z[4], -7.5f);
    auto *m = static_cast<BYTE *>(bm->GetChannel(BMM_CHAN_MTL_ID, type));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(type, BMM_CHAN_TYPE_8);
    EXPECT_EQ(m, bm->MaterialChannel());
    for (int i = 0; i < 6; ++i) EXPECT_EQ(m[i], 0);
    EXPECT_EQ(bm->GetChannel(BMM_CHAN_ALL, type), nullptr) << "a set is not one channel";

    bm->DeleteChannels(BMM_CHAN_Z);
    EXPECT_EQ(bm->ChannelsPresent(), BMM_CHAN_MTL_ID);
    EXPECT_EQ(bm->DepthChannel(), nullptr);
}

TEST(Bitmap, FillSetsColourAndLeavesChannels) {
    BitmapPtr bm = MakeBitmap(2, 2);
    bm->CreateChannels(BMM_CHAN_Z);
    bm->DepthChannel()[3] = -2.0f;
    bm->Fill(1, 2, 3, 4);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) EXPECT_EQ(bm->Pixel(x, y), Colour(1, 2, 3, 4));
    EXPECT_EQ(bm->DepthChannel()[3], -2.0f);
}

TEST(BitmapCopy, SameSizeCopyIsExactAndKeepsTheTargetsChannelsAndRenderInfo) {
    BitmapPtr src = Gradient(6, 4);
    src->CreateChannels(BMM_CHAN_Z);
    src->DepthChannel()[0] = -3.0f;
    src->Storage()->AllocRenderInfo()->xc = 42.0f;

    BitmapPtr dst = MakeBitmap(6, 4);
    dst->Storage()->AllocRenderInfo()->xc = 7.0f;
    ASSERT_EQ(dst->CopyImage(src.get(), COPY_IMAGE_CROP, BMM_Color_64{}), 1);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) EXPECT_EQ(dst->Pixel(x, y), src->Pixel(x, y));
    EXPECT_EQ(dst->ChannelsPresent(), BMM_CHAN_NONE) << "colour only";
    EXPECT_EQ(dst->Storage()->GetRenderInfo()->xc, 7.0f) << "render info is not copied";

    // Changing the source afterwards does not reach the copy.
    src->PutPixel(0, 0, Colour(5, 5, 5, 5));
    EXPECT_EQ(dst->Pixel(0, 0), Colour(0, 0, 0, 65535));

    EXPECT_EQ(dst->CopyImage(nullptr, COPY_IMAGE_CROP, BMM_Color_64{}), 0);
    EXPECT_EQ(dst->CopyImage(src.get(), 99, BMM_Color_64{}), 0);
    EXPECT_EQ(dst->CopyImage(dst.get(), COPY_IMAGE_CROP, BMM_Color_64{}), 1);
    EXPECT_EQ(dst->Pixel(5, 3), src->Pixel(5, 3)) << "copying onto itself changes nothing";
}

TEST(BitmapCopy, CropOfAnotherSizeFillsWhatTheSourceDoesNotCover) {
    BitmapPtr src = Gradient(3, 2);
    BitmapPtr dst = MakeBitmap(5, 4);
    const BMM_Color_64 fill = Colour(11, 22, 33, 44);
    ASSERT_EQ(dst->CopyImage(src.get(), COPY_IMAGE_CROP, fill), 1);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(dst->Pixel(x, y), x < 3 && y < 2 ? src->Pixel(x, y) : fill)
                << x << "," << y;

    BitmapPtr small = MakeBitmap(2, 1);
    ASSERT_EQ(small->CopyImage(src.get(), COPY_IMAGE_CROP, fill), 1);
    EXPECT_EQ(small->Pixel(1, 0), src->Pixel(1, 0));
}

TEST(BitmapCopy, ResizedCopiesScaleTheSource) {
    // A 2 × 2 checker of two greys, doubled and halved.
    BitmapPtr src = MakeBitmap(2, 2);
    const BMM_Color_64 dark = Colour(1000, 1000, 1000, 65535);
    const BMM_Color_64 light = Colour(9000, 9000, 9000, 65535);
    src->PutPixel(0, 0, dark);
    src->PutPixel(1, 1, dark);
    src->PutPixel(1, 0, light);
    src->PutPixel(0, 1, light);

    BitmapPtr big = MakeBitmap(4, 4);
    ASSERT_EQ(big->CopyImage(src.get(), COPY_IMAGE_RESIZE_LO, BMM_Color_64{}), 1);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(big->Pixel(x, y), src->Pixel(x / 2, y / 2));

    ASSERT_EQ(big->CopyImage(src.get(), COPY_IMAGE_RESIZE_HI, BMM_Color_64{}), 1);
    // Corners keep their source value (edges clamp); values in between lie between the two.
    EXPECT_EQ(big->Pixel(0, 0), dark);
    EXPECT_EQ(big->Pixel(3, 0), light);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            EXPECT_GE(big->Pixel(x, y).r, 1000);
            EXPECT_LE(big->Pixel(x, y).r, 9000);
            EXPECT_EQ(big->Pixel(x, y).a, 65535) << "full alpha stays full";
        }
    EXPECT_GT(big->Pixel(1, 0).r, dark.r) << "enlarging blends neighbours";

    BitmapPtr one = MakeBitmap(1, 1);
    ASSERT_EQ(one->CopyImage(src.get(), COPY_IMAGE_RESIZE_HI, BMM_Color_64{}), 1);
    EXPECT_EQ(one->Pixel(0, 0), Colour(5000, 5000, 5000, 65535)) << "reducing averages";
}

TEST(BitmapStorage, RenderInfoIsAllocatedOnceAndKept) {
    BitmapPtr bm = MakeBitmap(2, 2);
    RenderInfo *ri = bm->Storage()->AllocRenderInfo();
    ASSERT_NE(ri, nullptr);
    ri->renderTime[0] = 320;
    EXPECT_EQ(bm->Storage()->AllocRenderInfo(), ri);
    EXPECT_EQ(bm->Storage()->GetRenderInfo()->renderTime[0], 320);
}

}  // namespace
