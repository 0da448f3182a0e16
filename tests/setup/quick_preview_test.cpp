/// @file quick_preview_test.cpp
/// @brief The helper's one-particle preview: radius and transparency from the controllers
///        over the scaled sizes, the calls on shape and colour shader, and the pixels.
#include "setup_fixture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace setuptest;

/// The radius the preview should draw with: the sizes scaled so that the larger is 54
/// pixels, blended linearly over the life 0 … 100 (the default controller's curve), truncated.
int ExpectedRadius(float birth, float death, int age) {
    const float scale = 54.0f / std::max(birth, death);
    const float b = birth * scale, d = death * scale;
    const float s = static_cast<float>(age) / 100.0f;
    return static_cast<int>(b + s * (d - b));
}

/// The test circle's coverage at offset (dx, dy) for radius r, or -1 where it declines.
long Coverage(int r, int dx, int dy) {
    const long r2 = long(r) * r, d2 = long(dx) * dx + long(dy) * dy;
    return r <= 0 || d2 > r2 ? -1 : 65535 * (r2 - d2) / r2;
}

class QuickPreviewTest : public HelperTest {
protected:
    void SetUp() override {
        HelperTest::SetUp();
        helper = NewHelperNode();
        shape = PlugInOf(helper, NimbraHelper::kShapeRole);
        color = PlugInOf(helper, NimbraHelper::kColorRole);
        ASSERT_NE(shape, nullptr);
        ASSERT_NE(color, nullptr);
    }

    /// Checks every pixel against the circle of radius r in `tint` (full scale: white).
    void ExpectCircle(const Bitmap &bm, int r, const BMM_Color_64 &tint) {
        int mismatches = 0;
        for (int y = 0; y < bm.Height(); ++y) {
            for (int x = 0; x < bm.Width(); ++x) {
                const long c = Coverage(r, x - 59, y - 54);
                BMM_Color_64 want{};
                if (c >= 0) {
                    const auto d = static_cast<std::uint32_t>(c);
                    want = {UWORD(tint.r * d / 65536), UWORD(tint.g * d / 65536),
                            UWORD(tint.b * d / 65536), UWORD(d * 65535 / 65536)};
                }
                if (!(bm.Pixel(x, y) == want) && ++mismatches <= 3) {
                    ADD_FAILURE()
                        << "pixel (" << x << ", " << y << "): " << bm.Pixel(x, y).r << " "
                        << bm.Pixel(x, y).a << ", expected " << want.r << " " << want.a;
                }
            }
        }
        EXPECT_EQ(mismatches, 0);
    }

    NimbraHelper *helper = nullptr;
    TestPlugIn *shape = nullptr;
    TestPlugIn *color = nullptr;
};

TEST_F(QuickPreviewTest, DrawsTheShapeInTheColorShadersColor) {
    BitmapPtr bm = RenderQuickPreview(*helper, 0, 50, true);
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(bm->Width(), 118);
    EXPECT_EQ(bm->Height(), 108);

    const int r = ExpectedRadius(5.0f, 25.0f, 50);
    EXPECT_EQ(shape->previewRadius, r);
    EXPECT_EQ(color->previewRadius, r);
    EXPECT_EQ(shape->previewInfo.screenX, 59);
    EXPECT_EQ(shape->previewInfo.screenY, 54);
    EXPECT_EQ(shape->previewInfo.lifeStart, 0);
    EXPECT_EQ(shape->previewInfo.lifeEnd, 100);
    EXPECT_EQ(shape->previewInfo.age, 50);
    EXPECT_FLOAT_EQ(shape->previewTransparency, 0.3f);
    EXPECT_EQ(shape->previewBegins, 1);
    EXPECT_EQ(shape->previewEnds, 1);
    EXPECT_EQ(color->previewBegins, 1);
    EXPECT_EQ(color->previewEnds, 1);
    EXPECT_EQ(shape->shapeCalls, (2 * r + 1) * (2 * r + 1));

    int covered = 0;
    for (int dy = -r; dy <= r; ++dy)
        for (int dx = -r; dx <= r; ++dx) covered += Coverage(r, dx, dy) >= 0;
    EXPECT_EQ(color->colorCalls, covered);
    ExpectCircle(*bm, r, kTestPreviewColor);
}

TEST_F(QuickPreviewTest, TransparencyFollowsItsControllerOrIsOne) {
    helper->AgeBlock()->SetValue(NimbraHelper::kBirthTrans, 0, 0.2f);
    helper->AgeBlock()->SetValue(NimbraHelper::kDeathTrans, 0, 0.6f);
    RenderQuickPreview(*helper, 0, 25, true);
    EXPECT_NEAR(shape->previewTransparency, 0.3f, 1e-6f);
    EXPECT_NEAR(color->previewTransparency, 0.3f, 1e-6f);
    RenderQuickPreview(*helper, 0, 25, false);
    EXPECT_EQ(shape->previewTransparency, 1.0f);
}

TEST_F(QuickPreviewTest, QuantityWithoutControllerIsItsBirthValueAsInARender) {
    helper->AgeBlock()->SetValue(NimbraHelper::kBirthTrans, 0, 0.2f);
    helper->AgeBlock()->SetValue(NimbraHelper::kDeathTrans, 0, 0.6f);
    helper->DeleteReference(NimbraHelper::kRefSizeController);
    helper->DeleteReference(NimbraHelper::kRefTransController);
    RenderQuickPreview(*helper, 0, 50, true);
    EXPECT_EQ(shape->previewRadius, ExpectedRadius(5.0f, 25.0f, 0));
    EXPECT_FLOAT_EQ(shape->previewTransparency, 0.2f);
}

TEST_F(QuickPreviewTest, LargerSizeIsTheFullRadiusWhicheverItIs) {
    helper->AgeBlock()->SetValue(NimbraHelper::kBirthSize, 0, 50.0f);
    helper->AgeBlock()->SetValue(NimbraHelper::kDeathSize, 0, 10.0f);
    RenderQuickPreview(*helper, 0, 0, true);
    EXPECT_EQ(shape->previewRadius, ExpectedRadius(50.0f, 10.0f, 0));
    EXPECT_GE(shape->previewRadius, 53);
    RenderQuickPreview(*helper, 0, 100, true);
    EXPECT_EQ(shape->previewRadius, ExpectedRadius(50.0f, 10.0f, 100));
    // Sizes read at the time asked for.
    helper->AgeBlock()->SetKey(NimbraHelper::kDeathSize, 1600, 100.0f);
    RenderQuickPreview(*helper, 1600, 0, true);
    EXPECT_EQ(shape->previewRadius, ExpectedRadius(50.0f, 100.0f, 0));
}

TEST_F(QuickPreviewTest, PixelsOutsideTheBitmapAreSkipped) {
    // A particle of 54 pixels reaches one row past the bottom.
    helper->AgeBlock()->SetValue(NimbraHelper::kBirthSize, 0, 54.0f);
    helper->AgeBlock()->SetValue(NimbraHelper::kDeathSize, 0, 54.0f);
    BitmapPtr bm = RenderQuickPreview(*helper, 0, 100, true);
    ASSERT_NE(bm, nullptr);
    const int r = 54;
    EXPECT_EQ(shape->previewRadius, r);
    int inside = 0;
    for (int dy = -r; dy <= r; ++dy) {
        for (int dx = -r; dx <= r; ++dx) {
            const int x = 59 + dx, y = 54 + dy;
            inside += Coverage(r, dx, dy) >= 0 && x >= 0 && x < 118 && y >= 0 && y < 108;
        }
    }
    EXPECT_EQ(shape->shapeCalls, (2 * r + 1) * (2 * r + 1));
    EXPECT_EQ(color->colorCalls, inside);
    ExpectCircle(*bm, r, kTestPreviewColor);
}

TEST_F(QuickPreviewTest, ColorShaderWithoutPreviewGivesWhite) {
    helper->SelectPlugIn(kTestFlatColorClassID.PartB(), 1);
    auto *flat = PlugInOf(helper, NimbraHelper::kColorRole);
    BitmapPtr bm = RenderQuickPreview(*helper, 0, 30, true);
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(flat->colorCalls, 0);
    EXPECT_EQ(flat->previewBegins, 1);
    ExpectCircle(*bm, ExpectedRadius(5.0f, 25.0f, 30), BMM_Color_64{65535, 65535, 65535, 0});
}

TEST_F(QuickPreviewTest, ShapeWithoutPreviewDrawsNothing) {
    helper->SelectPlugIn(kTestSpriteShapeClassID.PartB(), 1);
    auto *sprite = PlugInOf(helper, NimbraHelper::kShapeRole);
    EXPECT_EQ(RenderQuickPreview(*helper, 0, 50, true), nullptr);
    EXPECT_EQ(sprite->previewBegins, 0);
    EXPECT_EQ(sprite->shapeCalls, 0);
    EXPECT_EQ(color->previewBegins, 0);
}

TEST_F(QuickPreviewTest, ZeroSizesGiveAnEmptyPreview) {
    helper->AgeBlock()->SetValue(NimbraHelper::kBirthSize, 0, 0.0f);
    helper->AgeBlock()->SetValue(NimbraHelper::kDeathSize, 0, 0.0f);
    BitmapPtr bm = RenderQuickPreview(*helper, 0, 50, true);
    ASSERT_NE(bm, nullptr);
    EXPECT_EQ(shape->previewRadius, 0);
    EXPECT_EQ(shape->shapeCalls, 1);
    ExpectCircle(*bm, 0, kTestPreviewColor);
}

TEST_F(QuickPreviewTest, StateAsksForRedraws) {
    QuickPreview &preview = helper->Preview();
    EXPECT_TRUE(preview.ShowTransparent());
    preview.SetAge(140);
    EXPECT_EQ(preview.Age(), 100);
    preview.SetAge(-3);
    EXPECT_EQ(preview.Age(), 0);
    preview.SetAge(40);
    EXPECT_TRUE(preview.NeedsRedraw());
    BitmapPtr bm = preview.Render(*helper, 0);
    ASSERT_NE(bm, nullptr);
    EXPECT_FALSE(preview.NeedsRedraw());
    EXPECT_EQ(shape->previewInfo.age, 40);
    preview.SetShowTransparent(false);
    EXPECT_TRUE(preview.NeedsRedraw());
    preview.Render(*helper, 0);
    EXPECT_EQ(shape->previewTransparency, 1.0f);
    // Choosing another plug-in asks for one too.
    helper->SelectPlugIn(kTestFlatColorClassID.PartB(), 1);
    EXPECT_TRUE(preview.NeedsRedraw());
}

}  // namespace
