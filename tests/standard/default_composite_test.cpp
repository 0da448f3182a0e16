/// @file default_composite_test.cpp
/// @brief The default composite: alpha blend, glow, darken and blur into the frame, and the
///        frame's alpha.
#include "plugins/standard/default_composite.h"
#include "host/bitmap.h"
#include "host/image_filter.h"
#include "standard_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

using namespace standardtest;

namespace {

/// The alpha of full coverage: (65535 × 65535) >> 16.
constexpr int kFullAlpha = 65534;

class DefaultCompositeTest : public ::testing::Test {
protected:
    void SetUp() override {
        composite = NewPlugIn<DefaultComposite>(DefaultComposite::kClassID);
        ASSERT_NE(composite, nullptr);
        frame.reset(TheManager->Create(BitmapInfo(BMM_TRUE_64, MAP_HAS_ALPHA, 5, 4)));
        ASSERT_NE(frame, nullptr);
        FillFrame();
    }

    /// A different colour in every pixel.
    void FillFrame() {
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 5; ++x)
                frame->PutPixel(x, y,
                                {std::uint16_t(1000 + 3000 * x + 700 * y),
                                 std::uint16_t(60000 - 5000 * x - 2000 * y),
                                 std::uint16_t(20000 + 97 * x * y), std::uint16_t(8000 * y)});
    }

    void Use(int type, int blurType = DefaultComposite::kStrengthViaAlpha) {
        composite->ParamBlock()->SetValue(DefaultComposite::kCompositeType, 0, type);
        composite->ParamBlock()->SetValue(DefaultComposite::kBlurType, 0, blurType);
        composite->__BeginFrame__(0, frame.get(), nullptr, nullptr);
    }

    /// Composites `color` with coverage `density` into (x, y) and answers what was written.
    BMM_Color_64 Composite(int x, int y, BMM_Color_64 color, unsigned short density) {
        composite->__ImageComposite__(x, y, &color, density);
        const BMM_Color_64 written = frame->Pixel(x, y);
        EXPECT_EQ(written, color) << "the colour argument carries what was written";
        return written;
    }

    Owned<DefaultComposite> composite;
    BitmapPtr frame;
};

/// The blur result for a pixel whose frame colour is `bg` and neighbours `n`, strength s.
std::uint32_t Average(std::uint32_t bg, std::initializer_list<std::uint32_t> n) {
    std::uint32_t sum = bg;
    for (std::uint32_t v : n) sum += v;
    return sum / 5;
}

}  // namespace

TEST_F(DefaultCompositeTest, DefaultsBlendByAlpha) {
    composite->__BeginFrame__(0, frame.get(), nullptr, nullptr);
    EXPECT_EQ(composite->CompositeTypeInUse(), DefaultComposite::kAlpha);
    EXPECT_EQ(composite->BlurTypeInUse(), DefaultComposite::kStrengthViaAlpha);
    const BMM_Color_64 bg = frame->Pixel(2, 1);
    const BMM_Color_64 out = Composite(2, 1, {65535, 0, 30000, 0}, 32768);
    EXPECT_EQ(out.r, ImageFilter::Lerp(bg.r, 65535, 32767));
    EXPECT_EQ(out.g, ImageFilter::Lerp(bg.g, 0, 32767));
    EXPECT_EQ(out.b, ImageFilter::Lerp(bg.b, 30000, 32767));
    EXPECT_EQ(out.a, ImageFilter::Lerp(bg.a, 65535, 32767));
}

TEST_F(DefaultCompositeTest, AlphaWithoutCoverageKeepsTheFrameColour) {
    Use(DefaultComposite::kAlpha);
    for (int y = 0; y < 4; ++y) {
        const BMM_Color_64 bg = frame->Pixel(1, y);
        const BMM_Color_64 out = Composite(1, y, {65535, 65535, 65535, 65535}, 0);
        EXPECT_EQ(out, bg) << "colour and alpha stay: max(alpha, Lerp(alpha, 65535, 0))";
    }
    // Full coverage: the particle's colour, opaque, within the weight's last step (full
    // coverage is an alpha of 65534).
    const BMM_Color_64 bg = frame->Pixel(3, 3);
    const BMM_Color_64 out = Composite(3, 3, {100, 200, 300, 0}, 65535);
    EXPECT_NEAR(out.r, 100, 1);
    EXPECT_NEAR(out.g, 200, 1);
    EXPECT_NEAR(out.b, 300, 1);
    EXPECT_EQ(out.a, ImageFilter::Lerp(bg.a, 65535, kFullAlpha));
}

TEST_F(DefaultCompositeTest, GlowAddsAndSaturates) {
    Use(DefaultComposite::kGlow);
    const BMM_Color_64 bg = frame->Pixel(0, 0);
    BMM_Color_64 out = Composite(0, 0, {4000, 0, 65535, 0}, 32768);
    EXPECT_EQ(out.r, bg.r + ((4000u * 32767u) >> 16));
    EXPECT_EQ(out.g, bg.g);
    EXPECT_EQ(out.b, std::min(65535u, bg.b + ((65535u * 32767u) >> 16)));

    frame->Fill(65535, 65535, 65535, 65535);
    out = Composite(4, 3, {65535, 65535, 65535, 0}, 65535);
    EXPECT_EQ(out, (BMM_Color_64{65535, 65535, 65535, 65535})) << "white stays white";
}

TEST_F(DefaultCompositeTest, DarkenSubtractsAndStopsAtZero) {
    Use(DefaultComposite::kDarken);
    const BMM_Color_64 bg = frame->Pixel(1, 2);
    BMM_Color_64 out = Composite(1, 2, {1000, 0, 0, 0}, 65535);
    EXPECT_EQ(out.r, bg.r - ((1000u * 65535u) >> 16));
    EXPECT_EQ(out.g, bg.g);
    out = Composite(1, 2, {65535, 65535, 65535, 0}, 65535);
    EXPECT_EQ(out.r, 0);
    EXPECT_EQ(out.g, 0);
    EXPECT_EQ(out.b, 0);
    EXPECT_EQ(out.a, 65535) << "alpha still grows";
}

TEST_F(DefaultCompositeTest, BlurWithoutStrengthWritesTheFrameColour) {
    for (int blurType : {0, 1}) {
        Use(DefaultComposite::kBlur, blurType);
        const BMM_Color_64 bg = frame->Pixel(2, 2);
        // Via Color: the coverage is the strength; via Alpha: the brightest channel.
        const BMM_Color_64 out = blurType == DefaultComposite::kStrengthViaColor
                                     ? Composite(2, 2, {65535, 65535, 65535, 0}, 0)
                                     : Composite(2, 2, {0, 0, 0, 0}, 65535);
        EXPECT_EQ(out.r, bg.r);
        EXPECT_EQ(out.g, bg.g);
        EXPECT_EQ(out.b, bg.b);
    }
}

TEST_F(DefaultCompositeTest, FullBlurAveragesThePixelAndItsFourNeighbours) {
    for (int blurType : {0, 1}) {
        FillFrame();
        Use(DefaultComposite::kBlur, blurType);
        const BMM_Color_64 bg = frame->Pixel(2, 1), l = frame->Pixel(1, 1),
                           r = frame->Pixel(3, 1), d = frame->Pixel(2, 2),
                           u = frame->Pixel(2, 0);
        const BMM_Color_64 out = blurType == DefaultComposite::kStrengthViaColor
                                     ? Composite(2, 1, {0, 0, 0, 0}, 65535)
                                     : Composite(2, 1, {0, 65535, 0, 0}, 0);
        EXPECT_NEAR(out.r, Average(bg.r, {l.r, r.r, d.r, u.r}), 2);
        EXPECT_NEAR(out.g, Average(bg.g, {l.g, r.g, d.g, u.g}), 2);
        EXPECT_NEAR(out.b, Average(bg.b, {l.b, r.b, d.b, u.b}), 2);
        EXPECT_EQ(out.a, blurType == DefaultComposite::kStrengthViaColor
                             ? ImageFilter::Lerp(bg.a, 65535, kFullAlpha)
                             : bg.a);
    }
}

TEST_F(DefaultCompositeTest, BlurOnTheBorderUsesThePixelItselfForMissingNeighbours) {
    Use(DefaultComposite::kBlur, DefaultComposite::kStrengthViaColor);
    const BMM_Color_64 bg = frame->Pixel(0, 0), r = frame->Pixel(1, 0), d = frame->Pixel(0, 1);
    const BMM_Color_64 out = Composite(0, 0, {0, 0, 0, 0}, 65535);
    EXPECT_NEAR(out.r, Average(bg.r, {bg.r, r.r, d.r, bg.r}), 2);
    EXPECT_NEAR(out.g, Average(bg.g, {bg.g, r.g, d.g, bg.g}), 2);
    EXPECT_NEAR(out.b, Average(bg.b, {bg.b, r.b, d.b, bg.b}), 2);
}

TEST_F(DefaultCompositeTest, AlphaOnlyGrows) {
    Use(DefaultComposite::kGlow);
    frame->PutPixel(0, 3, {0, 0, 0, 50000});
    EXPECT_EQ(Composite(0, 3, {0, 0, 0, 0}, 0).a, 50000);
    EXPECT_EQ(Composite(0, 3, {0, 0, 0, 0}, 65535).a, 65535);
    frame->PutPixel(1, 3, {0, 0, 0, 0});
    EXPECT_EQ(Composite(1, 3, {0, 0, 0, 0}, 32768).a, ImageFilter::Lerp(0, 65535, 32767));
}

TEST_F(DefaultCompositeTest, CompositeTypeOutsideTheChoicesBlendsByAlpha) {
    Use(9, 5);
    EXPECT_EQ(composite->CompositeTypeInUse(), DefaultComposite::kAlpha);
    EXPECT_EQ(composite->BlurTypeInUse(), DefaultComposite::kStrengthViaColor);
    const BMM_Color_64 bg = frame->Pixel(2, 2);
    const BMM_Color_64 out = Composite(2, 2, {7, 8, 9, 0}, 65535);
    EXPECT_EQ(out.r, ImageFilter::Lerp(bg.r, 7, kFullAlpha));
    EXPECT_EQ(out.g, ImageFilter::Lerp(bg.g, 8, kFullAlpha));
    EXPECT_EQ(out.b, ImageFilter::Lerp(bg.b, 9, kFullAlpha));
}

TEST_F(DefaultCompositeTest, WritesOutsideTheFrameAreDropped) {
    const std::vector<BMM_Color_64> before(frame->Pixels(), frame->Pixels() + 20);
    Use(DefaultComposite::kBlur);
    BMM_Color_64 c{65535, 65535, 65535, 0};
    composite->__ImageComposite__(-1, 2, &c, 65535);
    composite->__ImageComposite__(5, 4, &c, 65535);
    // Without a frame nothing is written either.
    composite->__BeginFrame__(0, nullptr, nullptr, nullptr);
    composite->__ImageComposite__(1, 1, &c, 65535);
    EXPECT_EQ(std::vector<BMM_Color_64>(frame->Pixels(), frame->Pixels() + 20), before);
}
