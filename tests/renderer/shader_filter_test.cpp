/// @file shader_filter_test.cpp
/// @brief "Nimbra Shader": identity, configuration block, dialogs, the render with its fields,
///        buffer merge, abort and progress, and its place in the post-production queue.
#include "renderer_fixture.h"

#include "framework/nimbra_interface.h"
#include "renderer/render_engine.h"
#include "renderer/shader_filter.h"
#include "renderer/shader_setup_dialog.h"
#include "host/post_queue.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace rendertest {
namespace {

using ShaderFilter = RendererTest;
using ShaderRender = RendererTest;

std::array<std::uint8_t, 16> SavedBlock(NimbraShaderFilter &f) {
    std::array<std::uint8_t, 16> block{};
    EXPECT_TRUE(f.SaveConfigure(block.data()));
    return block;
}

TEST_F(ShaderFilter, IsTheModulesImageFilterClass) {
    ClassDesc *desc = ClassDirectory::Instance().Find(FLT_CLASS_ID, kNimbraShaderClassID);
    ASSERT_NE(desc, nullptr);
    EXPECT_EQ(desc, GetNimbraShaderDesc());
    EXPECT_STREQ(desc->ClassName(), "Nimbra Shader");
    EXPECT_STREQ(desc->Category(), "Image Filter");
    EXPECT_EQ(desc->IsPublic(), 1);

    std::unique_ptr<ImageFilter> f(static_cast<ImageFilter *>(desc->Create(FALSE)));
    ASSERT_NE(f, nullptr);
    EXPECT_STREQ(f->Description(), " Nimbra Shader");
    EXPECT_EQ(f->Version(), 100u);
    EXPECT_EQ(f->Capability(), 4u);
    EXPECT_EQ(f->EvaluateConfigure(), 16u);
    EXPECT_EQ(f->ChannelsRequired(), 3u);
    EXPECT_STRNE(f->AuthorName(), "");
}

TEST_F(ShaderFilter, ConfigurationIsSixteenLittleEndianBytes) {
    NimbraShaderFilter f;
    const std::array<std::uint8_t, 16> defaults = {100, 0, 0, 0,    0, 0, 0, 0,
                                                   0,   0, 0, 0x3F, 2, 0, 0, 0};
    EXPECT_EQ(SavedBlock(f), defaults);

    NimbraShaderFilter changed;
    changed.motionBlur = 1;
    changed.blurDuration = 2.0f;
    changed.blurSubdivisions = 0x0102;
    const std::array<std::uint8_t, 16> block = SavedBlock(changed);
    EXPECT_EQ(block, (std::array<std::uint8_t, 16>{100, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0x40, 2,
                                                   1, 0, 0}));
    NimbraShaderFilter loaded;
    std::array<std::uint8_t, 16> copy = block;
    ASSERT_TRUE(loaded.LoadConfigure(copy.data()));
    EXPECT_EQ(loaded.motionBlur, 1);
    EXPECT_EQ(loaded.blurDuration, 2.0f);
    EXPECT_EQ(loaded.blurSubdivisions, 0x0102);
    EXPECT_FALSE(loaded.SaveConfigure(nullptr));
}

TEST_F(ShaderFilter, RefusesABlockOfAnotherVersion) {
    NimbraShaderFilter f;
    std::array<std::uint8_t, 16> block = {101, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0x40, 9, 0, 0, 0};
    EXPECT_FALSE(f.LoadConfigure(block.data()));
    EXPECT_FALSE(f.LoadConfigure(nullptr));
    EXPECT_EQ(f.configVersion, 100);
    EXPECT_EQ(f.motionBlur, 0);
    EXPECT_EQ(f.blurDuration, 0.5f);
    EXPECT_EQ(f.blurSubdivisions, 2);
}

TEST_F(ShaderFilter, SecondConstructorRendersIntoItsImageWithoutBlur) {
    TestFrame frame(8, 8);
    NimbraShaderFilter f(frame.bitmap.get());
    EXPECT_EQ(f.SourceMap(), frame.bitmap.get());
    EXPECT_EQ(f.blurDuration, 0.0f);
    EXPECT_EQ(f.blurSubdivisions, 1);
    EXPECT_EQ(f.motionBlur, 0);
    EXPECT_EQ(f.configVersion, 100);
}

TEST_F(ShaderFilter, CancelRestoresEverySettingOkKeepsThem) {
    NimbraShaderFilter f;
    ShaderSetupDialog dialog(f);
    dialog.Open();
    EXPECT_FALSE(dialog.MotionBlurChecked());
    EXPECT_EQ(dialog.Duration(), 0.5f);
    EXPECT_EQ(dialog.Subdivisions(), 2);

    dialog.ClickMotionBlur(true);
    EXPECT_EQ(f.motionBlur, 1) << "the check box is stored at once";
    dialog.SetSpinners(3.0f, 7);
    EXPECT_EQ(f.blurDuration, 3.0f);
    EXPECT_EQ(f.blurSubdivisions, 7);
    EXPECT_EQ(dialog.Cancel(), ShaderSetupDialog::kResultCancel);
    EXPECT_EQ(f.motionBlur, 0);
    EXPECT_EQ(f.blurDuration, 0.5f);
    EXPECT_EQ(f.blurSubdivisions, 2);
    EXPECT_EQ(f.configVersion, 100);

    dialog.Open();
    dialog.ClickMotionBlur(true);
    dialog.SetSpinners(1.5f, 4);
    EXPECT_EQ(dialog.Ok(), ShaderSetupDialog::kResultOk);
    EXPECT_EQ(f.motionBlur, 1);
    EXPECT_EQ(f.blurDuration, 1.5f);
    EXPECT_EQ(f.blurSubdivisions, 4);
}

TEST_F(ShaderFilter, SpinnersKeepTheirRanges) {
    NimbraShaderFilter f;
    ShaderSetupDialog dialog(f);
    dialog.Open();
    dialog.SetSpinners(500.0f, 1);
    EXPECT_EQ(f.blurDuration, 100.0f);
    EXPECT_EQ(f.blurSubdivisions, 2);
    dialog.SetSpinners(0.0f, 5000);
    EXPECT_EQ(f.blurDuration, ShaderSetupDialog::kMinDuration);
    EXPECT_EQ(f.blurSubdivisions, 1000);
}

TEST_F(ShaderFilter, DialogsAnswerWithoutAWindow) {
    NimbraShaderFilter f;
    f.motionBlur = 1;
    EXPECT_TRUE(f.ShowControl(nullptr));
    EXPECT_EQ(f.motionBlur, 1);
    f.ShowAbout(nullptr);
    const auto about = ui.MessagesTitled("Nimbra Filter");
    ASSERT_EQ(about.size(), 1u);
    EXPECT_EQ(about[0].text, NimbraShaderFilter::AboutText());
}

TEST_F(ShaderRender, MissingSourceImageIsReportedAndTheImageStaysAsItWas) {
    AddHelper({{Point3(0, 0, kDepth), 10}});
    RecordingWindow window;

    NimbraShaderFilter noSource;
    EXPECT_FALSE(noSource.Render(&window));

    // A frame that no scene event rendered carries no render information.
    BitmapPtr frame(TheManager->Create(BitmapInfo(BMM_TRUE_64, MAP_HAS_ALPHA, 8, 8)));
    frame->Fill(1, 2, 3, 4);
    frame->CreateChannels(BMM_CHAN_ALL);
    NimbraShaderFilter f;
    f.SetSourceMap(frame.get());
    EXPECT_FALSE(f.Render(&window));

    const auto messages = ui.MessagesTitled("Nimbra Shader");
    ASSERT_EQ(messages.size(), 2u);
    for (const MessageRequest &m : messages) {
        EXPECT_EQ(m.text,
                  "Source image not found, make sure you have a scene input event before "
                  "Nimbra filter.");
        EXPECT_EQ(m.owner, &window);
    }
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(frame->Pixel(x, y), (BMM_Color_64{1, 2, 3, 4}));
    EXPECT_TRUE(RenderJournal().empty());
}

TEST_F(ShaderRender, FieldRenderedFrameIsDrawnInTwoPassesOnTheirOwnRows) {
    for (const BOOL oddFirst : {TRUE, FALSE}) {
        SCOPED_TRACE(oddFirst ? "odd field first" : "even field first");
        GetCOREInterface()->ResetScene();
        RenderJournal().clear();
        TestHelper h = AddHelper({{Point3(0, 0, kDepth), 10}});
        h.SetSize(3.5f);  // radius 5
        TestFrame frame(32, 24);
        RenderInfo &ri = frame.Info();
        ri.fieldRender = TRUE;
        ri.fieldOdd = oddFirst;
        ri.renderTime[0] = 160;
        ri.renderTime[1] = 240;
        // The even rows' camera sees the particle 6 pixels further right.
        ri.worldToCam[1] = TransMatrix(Point3(6, 0, 0));

        ASSERT_TRUE(RunFilter(frame));

        const auto begins = Calls(RenderCall::kBeginFrame, h.shape);
        ASSERT_EQ(begins.size(), 2u);
        EXPECT_EQ(begins[0].time, 160);
        EXPECT_EQ(begins[1].time, 240);
        EXPECT_EQ(Calls(RenderCall::kEndFrame, h.shape).size(), 2u);
        EXPECT_EQ(h.particles->updates, (std::vector<TimeValue>{160, 240}));

        // Pass one draws the first field's rows, pass two the other rows.
        const auto particles = Calls(RenderCall::kBeginParticle, h.shape);
        ASSERT_EQ(particles.size(), 2u);
        EXPECT_EQ(particles[0].info.screenX, oddFirst ? 16 : 22);
        EXPECT_EQ(particles[1].info.screenX, oddFirst ? 22 : 16);
        int odd = 0, even = 0;
        for (const PixelCall &p : h.composite->compositeCalls) {
            const bool oddRow = p.y % 2 != 0;
            EXPECT_LE(std::abs(p.x - (oddRow ? 16 : 22)), 5) << p.x << "," << p.y;
            (oddRow ? odd : even) += 1;
        }
        // Rows 7 to 17: six odd ones and five even ones, 11 pixels each.
        EXPECT_EQ(odd, 6 * 11);
        EXPECT_EQ(even, 5 * 11);
    }
}

TEST_F(ShaderRender, MergeTakesTheNearerDepthsOfTheInterfaceBuffers) {
    TestFrame frame(4, 3);
    NimbraInterface *iface = GetNimbraInterface();
    iface->CreateBuffers(0, 4, 3);
    // Pixel 1: the buffer is nearer; pixel 2: the frame is nearer; the rest: the buffer is
    // empty (its initial far depth).
    frame.Depth(1, 0) = -50.0f;
    frame.Material(1, 0) = 3;
    iface->GetZBuffer()[1] = -20.0f;
    iface->GetMtlBuffer()[1] = 9;
    frame.Depth(2, 0) = -5.0f;
    frame.Material(2, 0) = 4;
    iface->GetZBuffer()[2] = -20.0f;
    iface->GetMtlBuffer()[2] = 9;
    frame.Depth(3, 2) = -70.0f;
    frame.Material(3, 2) = 5;

    ASSERT_TRUE(RunFilter(frame));

    EXPECT_EQ(frame.Depth(1, 0), -20.0f);
    EXPECT_EQ(frame.Material(1, 0), 9);
    EXPECT_EQ(frame.Depth(2, 0), -5.0f);
    EXPECT_EQ(frame.Material(2, 0), 4);
    EXPECT_EQ(frame.Depth(3, 2), -70.0f);
    EXPECT_EQ(frame.Material(3, 2), 5);
    EXPECT_EQ(frame.Depth(0, 0), kFarDepth);
}

TEST_F(ShaderRender, MergeIsSkippedWhenTheBuffersDoNotFitTheFrame) {
    NimbraInterface *iface = GetNimbraInterface();
    for (const bool otherSize : {true, false}) {
        SCOPED_TRACE(otherSize ? "buffers of another size" : "no material channel");
        TestFrame frame(4, 3);
        iface->EraseBuffers(0);
        iface->CreateBuffers(0, otherSize ? 5 : 4, 3);
        for (int p = 0; p < iface->bufferWidth * iface->bufferHeight; ++p)
            iface->GetZBuffer()[p] = -1.0f;
        if (!otherSize) frame->DeleteChannels(BMM_CHAN_MTL_ID);

        ASSERT_TRUE(RunFilter(frame));

        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x) EXPECT_EQ(frame.Depth(x, y), kFarDepth);
    }
}

TEST_F(ShaderRender, AbortStillEndsEveryHelpersFrame) {
    TestHelper a = AddHelper({{Point3(0, 0, kDepth), 10}, {Point3(1, 0, kDepth), 10}});
    TestHelper b = AddHelper({{Point3(2, 0, kDepth), 10}, {Point3(3, 0, kDepth), 10}});
    TestFrame frame(16, 16);
    frame.Info().fieldRender = TRUE;
    frame.Info().renderTime[1] = 80;
    RecordingWindow window;
    window.abortAt = 2;

    ASSERT_TRUE(RunFilter(frame, &window));

    EXPECT_EQ(Calls(RenderCall::kBeginParticle).size(), 3u) << "one particle drawn";
    for (const TestHelper *h : {&a, &b})
        for (const RenderTestPlugIn *p : {h->shape, h->color, h->composite}) {
            const auto ends = Calls(RenderCall::kEndFrame, p);
            ASSERT_EQ(ends.size(), 1u) << "the second field is not drawn after an abort";
            EXPECT_EQ(ends[0].time, 0);
        }
    EXPECT_EQ(window.abortQueries, 2);
}

TEST_F(ShaderRender, ReportsProgressBeforeEachVisibleParticle) {
    AddHelper({{Point3(0, 0, -100), 10}, {Point3(0, 0, 10), 10}, {Point3(0, 0, -50), 10}});
    TestFrame frame(16, 16);
    RecordingWindow window;

    ASSERT_TRUE(RunFilter(frame, &window));

    // Sorted: −100, −50, then the invisible one behind the camera.
    EXPECT_EQ(window.progress, (std::vector<std::pair<long long, long long>>{{0, 3}, {1, 3}}));
    EXPECT_EQ(window.abortQueries, 2);
}

TEST_F(ShaderRender, ClearsTheShadowMapsReadyFlagOutsideShadowPasses) {
    TestFrame frame(4, 4);
    theShadowMapsReady = TRUE;
    theShadowPass = TRUE;
    ASSERT_TRUE(RunFilter(frame));
    EXPECT_TRUE(theShadowMapsReady);
    theShadowPass = FALSE;
    ASSERT_TRUE(RunFilter(frame));
    EXPECT_FALSE(theShadowMapsReady);
}

/// Keeps the frame it is run on, after "Nimbra Shader" drew into it.
class CaptureFilter : public ImageFilter {
public:
    explicit CaptureFilter(std::vector<BMM_Color_64> &centres) : centres_(centres) {}
    const TCHAR *Description() override { return "Capture"; }
    BOOL Render(HWND) override {
        centres_.push_back(srcmap->Pixel(srcmap->Width() / 2, srcmap->Height() / 2));
        return TRUE;
    }

private:
    std::vector<BMM_Color_64> &centres_;
};

TEST_F(ShaderRender, DrawsIntoTheSceneEventsFrameInTheQueue) {
    TestHelper h = AddHelper({{Point3(0, 0, kDepth), 10}});
    h.SetSize(2.0f);
    std::vector<BMM_Color_64> centres;
    PostQueue queue;
    queue.Params().width = 24;
    queue.Params().height = 16;
    queue.AddSceneEvent(SceneEventSettings{});  // looks down −z from the origin
    queue.AddFilterEvent(kNimbraShaderClassID);
    queue.AddFilterEvent(new CaptureFilter(centres));
    EXPECT_EQ(queue.ChannelsForFrames(), BMM_CHAN_Z | BMM_CHAN_MTL_ID);

    const auto results = queue.Run({0, 1}, nullptr);

    ASSERT_EQ(results.size(), 2u);
    for (const QueueFrameResult &r : results) EXPECT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(centres, (std::vector<BMM_Color_64>{h.color->color, h.color->color}));
    EXPECT_EQ(Calls(RenderCall::kBeginFrame, h.shape).size(), 2u);
}

TEST_F(ShaderRender, QueueWithoutASceneEventReportsEveryFrame) {
    AddHelper({{Point3(0, 0, kDepth), 10}});
    PostQueue queue;
    queue.Params().width = 8;
    queue.Params().height = 8;
    queue.AddFilterEvent(kNimbraShaderClassID);

    const auto results = queue.Run({0, 1, 2}, nullptr);

    ASSERT_EQ(results.size(), 3u);
    for (const QueueFrameResult &r : results) EXPECT_FALSE(r.ok());
    EXPECT_EQ(ui.MessagesTitled("Nimbra Shader").size(), 3u);
}

}  // namespace
}  // namespace rendertest
