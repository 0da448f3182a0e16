/// @file blur_filter_test.cpp
/// @brief " Nimbra Motion Blur": configuration block, weight table, the sub-frame render on
///        pixels, the camera by name, abort, and the setup dialog model.
#include "renderer_fixture.h"

#include "renderer/blur_filter.h"
#include "renderer/blur_setup_dialog.h"
#include "renderer/blur_weights.h"
#include "renderer/shader_filter.h"
#include "host/camera.h"
#include "host/little_endian.h"

#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

namespace rendertest {
namespace {

constexpr int kWidth = 64;
constexpr int kHeight = 16;
constexpr char kCamera[] = "Camera";

/// A particle moving at `velocity` world units per tick from `start`.
class MovingParticles : public TestParticles {
public:
    MovingParticles(Point3 start, Point3 velocity) : start_(start), velocity_(velocity) {}
    void Update(TimeValue t, INode *node) override {
        Set({{start_ + velocity_ * static_cast<float>(t), 10}});
        TestParticles::Update(t, node);
    }

private:
    Point3 start_, velocity_;
};

/// Answers "abort" to every abort query, of either number, from the `abortAt`th on.
class AbortingWindow : public HostWindow {
public:
    explicit AbortingWindow(int abortAt) : abortAt_(abortAt) {}
    LRESULT WindowProc(UINT message, WPARAM, LPARAM lParam) override {
        if ((message == FLT_CHECKABORT || message == FLT_CHECKABORT2) && ++queries_ >= abortAt_)
            *reinterpret_cast<int *>(lParam) = 1;
        return 0;
    }

private:
    int abortAt_;
    int queries_ = 0;
};

class BlurTest : public RendererTest {
protected:
    /// A camera at the origin looking down −z that sees what TestFrame(kWidth, …) sees.
    INode *AddCamera(const char *name = kCamera) {
        auto *cam =
            static_cast<CameraObject *>(CreateInstance(CAMERA_CLASS_ID, FREE_CAMERA_CLASS_ID));
        cam->SetFOV(0, 2.0f * std::atan(0.5f * kWidth / 100.0f));
        INode *node = GetCOREInterface()->CreateObjectNode(cam);
        node->SetName(name);
        return node;
    }
    /// A helper drawing one particle that moves at `velocity` (pixels per tick at kDepth).
    TestHelper AddMovingParticle(Point3 start, Point3 velocity) {
        TestHelper h = AddHelper();
        auto *moving = new MovingParticles(start, velocity);
        EXPECT_TRUE(h.helper->AddParticleSystem(GetCOREInterface()->CreateObjectNode(moving)));
        return h;
    }
    static BOOL Blur(TestFrame &frame, float duration, int subFrames, int dither,
                     HWND window = nullptr) {
        NimbraBlurFilter f;
        f.cameraName = kCamera;
        f.duration = duration;
        f.subFrames = subFrames;
        f.dither = dither;
        f.SetSourceMap(frame.bitmap.get());
        return f.Render(window);
    }
    static std::vector<BMM_Color_64> Pixels(const TestFrame &frame) {
        return {frame->Pixels(), frame->Pixels() + kWidth * kHeight};
    }
    static long long RedSum(const TestFrame &frame) {
        long long sum = 0;
        for (const BMM_Color_64 &p : Pixels(frame)) sum += p.r;
        return sum;
    }
};

using BlurFilter = BlurTest;

// ---------------------------------------------------------------------------------------------
// Configuration

TEST_F(BlurFilter, ConfigurationRoundTripsAndUnusableBlocksAreRefused) {
    NimbraBlurFilter f;
    EXPECT_EQ(f.EvaluateConfigure(), 276u);
    f.cameraName = "Cam";
    f.duration = 2.0f;
    f.subFrames = 7;
    f.dither = 30;
    std::array<std::uint8_t, 276> block;
    block.fill(0xEE);
    ASSERT_TRUE(f.SaveConfigure(block.data()));
    EXPECT_EQ(GetLEInt(block.data()), 100);
    EXPECT_EQ(std::memcmp(block.data() + 4, "Cam\0\0", 5), 0);
    EXPECT_EQ(block[263], 0) << "the name's field is padded";
    EXPECT_EQ(GetLEFloat(block.data() + 264), 2.0f);
    EXPECT_EQ(GetLEInt(block.data() + 268), 7);
    EXPECT_EQ(GetLEInt(block.data() + 272), 30);

    NimbraBlurFilter loaded;
    ASSERT_TRUE(loaded.LoadConfigure(block.data()));
    EXPECT_EQ(loaded.cameraName, "Cam");
    EXPECT_EQ(loaded.subFrames, 7);

    const std::vector<std::function<void(std::uint8_t *)>> spoil = {
        [](std::uint8_t *b) { PutLEInt(b, 101); },
        [](std::uint8_t *b) { std::memset(b + 4, 'x', 260); },
        [](std::uint8_t *b) { PutLEFloat(b + 264, std::numeric_limits<float>::quiet_NaN()); },
        [](std::uint8_t *b) { PutLEInt(b + 268, 0); },
        [](std::uint8_t *b) { PutLEInt(b + 272, 101); },
    };
    for (std::size_t i = 0; i < spoil.size(); ++i) {
        SCOPED_TRACE(i);
        std::array<std::uint8_t, 276> bad = block;
        spoil[i](bad.data());
        NimbraBlurFilter kept;
        EXPECT_FALSE(kept.LoadConfigure(bad.data()));
        EXPECT_EQ(kept.cameraName, "");
        EXPECT_EQ(kept.duration, 0.5f);
        EXPECT_EQ(kept.subFrames, 2);
        EXPECT_EQ(kept.dither, 50);
    }
}

// ---------------------------------------------------------------------------------------------
// Weights

class BlurWeights : public ::testing::TestWithParam<int> {};

TEST_P(BlurWeights, EveryCellSumsToOneWithinTheDithersSpread) {
    const int n = GetParam();
    for (const int dither : {0, 100}) {
        SCOPED_TRACE(dither);
        const std::vector<float> w = MakeBlurWeights(n, dither, 320);
        ASSERT_EQ(w.size(), std::size_t(n) * kBlurTileCells);
        float smallest = 1.0f, largest = 0.0f;
        for (int cell = 0; cell < kBlurTileCells; ++cell) {
            float left = 1.0f;
            for (int i = 0; i < n; ++i) {
                const float weight = w[std::size_t(i) * kBlurTileCells + cell];
                const float share = left / float(n - i);  // of what the earlier ones left
                const float spread = dither == 0 ? 1e-6f : 0.5f * share + 1e-6f;
                EXPECT_NEAR(weight, share, spread) << "cell " << cell << " sub-frame " << i;
                smallest = std::min(smallest, weight);
                largest = std::max(largest, weight);
                left -= weight;
            }
            EXPECT_NEAR(left, 0.0f, 1e-6f) << "cell " << cell;
        }
        if (dither == 0) EXPECT_NEAR(smallest, 1.0f / float(n), 1e-6f);
        if (dither == 100) EXPECT_GT(largest - smallest, 0.5f / float(n)) << "not dithered";
    }
    // The weights depend on the frame's time alone, not on what was drawn before.
    const std::vector<float> first = MakeBlurWeights(n, 100, 320);
    MakeBlurWeights(n, 100, 160);
    EXPECT_EQ(MakeBlurWeights(n, 100, 320), first);
    EXPECT_NE(MakeBlurWeights(n, 100, 480), first);
}

INSTANTIATE_TEST_SUITE_P(SubFrames, BlurWeights, ::testing::Values(2, 3, 7));

// ---------------------------------------------------------------------------------------------
// The render

struct MovingCase {
    float duration;
    int subFrames;
    int positions;  ///< where the particle lands; 1 when the sub-frames collapse
};

class BlurMoving : public BlurTest, public ::testing::WithParamInterface<MovingCase> {};

TEST_P(BlurMoving, ParticleLandsAtEachSubFrameWithItsShare) {
    const MovingCase c = GetParam();
    AddCamera();
    constexpr float kSpeed = 0.25f;  // pixels per tick: 40 pixels a frame
    TestHelper h = AddMovingParticle(Point3(-24, 0, kDepth), Point3(kSpeed, 0, 0));
    TestFrame still(kWidth, kHeight);
    ASSERT_TRUE(RunFilter(still));
    RenderJournal().clear();
    TestFrame frame(kWidth, kHeight);

    ASSERT_TRUE(Blur(frame, c.duration, c.subFrames, 0));

    ASSERT_EQ(Calls(RenderCall::kBeginFrame, h.shape).size(), std::size_t(c.positions));
    const int share = int(std::lround(h.color->color.r / double(c.positions)));
    for (int i = 0; i < c.positions; ++i) {
        const float ticks = 160.0f * c.duration * float(i) / float(c.positions);
        const int x = kWidth / 2 - 24 + int(std::lround(kSpeed * ticks));
        EXPECT_NEAR(frame->Pixel(x, kHeight / 2).r, share, 1) << "sub-frame " << i;
        EXPECT_EQ(frame->Pixel(x + 3, kHeight / 2).r, 0) << "between the positions";
    }
    // Nothing else is drawn: the blurred particle carries as much red as a still one.
    EXPECT_NEAR(double(RedSum(frame)), double(RedSum(still)), 9.0 * c.positions);
}

INSTANTIATE_TEST_SUITE_P(Cases, BlurMoving,
                         ::testing::Values(MovingCase{1.0f, 2, 2}, MovingCase{1.0f, 4, 4},
                                           MovingCase{1.0f, 5, 5}, MovingCase{0.5f, 4, 4},
                                           MovingCase{0.01f, 4, 1}));

class BlurStill : public BlurTest, public ::testing::WithParamInterface<int> {};

TEST_P(BlurStill, StillParticleRendersAsThroughNimbraShader) {
    AddCamera();
    TestHelper h = AddHelper({{Point3(3, -2, kDepth), 10}, {Point3(-9, 1, -60), 10}});
    h.SetSize(4.0f);
    h.shape->coverRadius = 3;
    h.Set(NimbraHelper::kUpdateZBuffer, 1);
    h.Set(NimbraHelper::kMaterialId, 3);
    const BMM_Color_64 scene{9000, 20000, 31000, 65535};
    TestFrame shaded(kWidth, kHeight, scene), blurred(kWidth, kHeight, scene);
    for (TestFrame *f : {&shaded, &blurred}) {
        f->Depth(37, 9) = -10.0f;  // nearer scene geometry over part of a sprite
        f->Material(37, 9) = 5;
    }

    ASSERT_TRUE(RunFilter(shaded));
    ASSERT_TRUE(Blur(blurred, 1.0f, 3, GetParam()));

    EXPECT_EQ(Pixels(blurred), Pixels(shaded));
    for (int p = 0; p < kWidth * kHeight; ++p) {
        ASSERT_EQ(blurred->DepthChannel()[p], shaded->DepthChannel()[p]) << p;
        ASSERT_EQ(blurred->MaterialChannel()[p], shaded->MaterialChannel()[p]) << p;
    }
}

INSTANTIATE_TEST_SUITE_P(Dither, BlurStill, ::testing::Values(0, 50, 100));

class BlurAbort : public BlurTest, public ::testing::WithParamInterface<int> {};

TEST_P(BlurAbort, LeavesTheImageAsItWas) {
    AddCamera();
    AddMovingParticle(Point3(0, 0, kDepth), Point3(0.1f, 0, 0));
    TestFrame frame(kWidth, kHeight, {100, 200, 300, 400});
    frame.Depth(32, 8) = -500.0f;
    frame.Material(33, 8) = 7;
    TestFrame before(kWidth, kHeight, {100, 200, 300, 400});
    before.Depth(32, 8) = -500.0f;
    before.Material(33, 8) = 7;
    // Queries: before sub-frame 1, its particle, before sub-frame 2, its particle, after.
    AbortingWindow window(GetParam());

    EXPECT_TRUE(Blur(frame, 1.0f, 2, 50, &window));

    EXPECT_EQ(Pixels(frame), Pixels(before));
    for (int p = 0; p < kWidth * kHeight; ++p) {
        ASSERT_EQ(frame->DepthChannel()[p], before->DepthChannel()[p]) << p;
        ASSERT_EQ(frame->MaterialChannel()[p], before->MaterialChannel()[p]) << p;
    }
}

INSTANTIATE_TEST_SUITE_P(AtQuery, BlurAbort, ::testing::Values(1, 2, 4, 5));

TEST_F(BlurFilter, RenamedCameraFailsEveryRenderUntilChosenAgain) {
    INode *camera = AddCamera();
    TestFrame frame(kWidth, kHeight);
    NimbraBlurFilter f;
    f.SetSourceMap(frame.bitmap.get());
    f.cameraName = kCamera;
    ASSERT_TRUE(f.Render(nullptr));

    camera->SetName("Renamed");
    EXPECT_FALSE(f.Render(nullptr));
    EXPECT_FALSE(f.Render(nullptr));
    const auto messages = ui.MessagesTitled("Nimbra Shader (Blur)");
    ASSERT_EQ(messages.size(), 2u);
    for (const MessageRequest &m : messages) EXPECT_EQ(m.text, NimbraBlurFilter::kNoCameraText);

    BlurSetupDialog dialog(f);
    dialog.Open();
    ASSERT_EQ(dialog.Cameras(), std::vector<std::string>{"Renamed"});
    dialog.ChooseCamera(0);
    dialog.Ok();
    EXPECT_TRUE(f.Render(nullptr));
    EXPECT_EQ(ui.MessagesTitled("Nimbra Shader (Blur)").size(), 2u);
}

TEST_F(BlurFilter, MissingSourceImageIsReported) {
    AddCamera();
    NimbraBlurFilter f;
    f.cameraName = kCamera;
    EXPECT_FALSE(f.Render(nullptr));
    const auto messages = ui.MessagesTitled("Nimbra Shader (Blur)");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, NimbraBlurFilter::kNoSourceText);
}

// ---------------------------------------------------------------------------------------------
// Setup dialog

TEST_F(BlurFilter, DialogListsCamerasDepthFirstAndCancelRestoresTheBlock) {
    INode *a = AddCamera("A");
    INode *group = GetCOREInterface()->CreateObjectNode(nullptr);
    AddHelper();
    a->AttachChild(AddCamera("A child"), 0);
    group->AttachChild(AddCamera("Grouped"), 0);
    NimbraBlurFilter f;
    f.cameraName = "Grouped";
    f.subFrames = 1;

    BlurSetupDialog dialog(f);
    dialog.Open();
    EXPECT_EQ(dialog.Cameras(), (std::vector<std::string>{"A", "A child", "Grouped"}));
    EXPECT_EQ(dialog.SelectedCamera(), 2);
    EXPECT_EQ(dialog.CameraText(), "Grouped");
    EXPECT_EQ(dialog.SubFrames(), 2) << "the spinner's least";

    dialog.ChooseCamera(0);
    EXPECT_EQ(f.cameraName, "A") << "a chosen camera is stored at once";
    EXPECT_FALSE(dialog.PickCamera(group));
    dialog.SetDuration(1e6f);
    dialog.SetDither(-4);
    EXPECT_EQ(dialog.Cancel(), BlurSetupDialog::kResultCancel);
    EXPECT_EQ(f.cameraName, "Grouped");
    EXPECT_EQ(f.subFrames, 1);
    EXPECT_EQ(f.duration, 0.5f);
    EXPECT_EQ(f.dither, 50);

    f.cameraName.clear();
    dialog.Open();
    EXPECT_EQ(dialog.SelectedCamera(), 0);
    EXPECT_EQ(dialog.CameraText(), "Undefined");
    dialog.SetDuration(1e6f);
    dialog.SetSubFrames(5000);
    dialog.SetDither(-4);
    EXPECT_EQ(dialog.Ok(), BlurSetupDialog::kResultOk);
    EXPECT_EQ(f.duration, 9999.0f);
    EXPECT_EQ(f.subFrames, 999);
    EXPECT_EQ(f.dither, 0);
}

}  // namespace
}  // namespace rendertest
