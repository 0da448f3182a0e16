/// @file preview_test.cpp
/// @brief The preview window and its manager: what the worker renders for each switch, the
///        render region at half size, the atmospheric-only preview, Stop and Update during a
///        render, the region drag and the settings the switches write.
#include "setup_fixture.h"

#include "framework/nimbra_interface.h"
#include "setup/preview_window.h"
#include "host/atmospheric.h"
#include "host/bitmap.h"
#include "host/camera.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

using namespace setuptest;
using PW = PreviewWindow;

constexpr Color kBackground(1.0f, 0.0f, 0.0f);

/// Holds the worker in the caption of `gate` until `Open` is called, and counts the
/// particle filter's progress reports.
class GatedWindow : public PreviewWindow {
public:
    std::string gate;
    int filterReports = 0;

    void SetCaption(const std::string &caption) override {
        PreviewWindow::SetCaption(caption);
        if (caption != gate) return;
        std::unique_lock<std::mutex> lock(mutex_);
        reached_ = true;
        changed_.notify_all();
        changed_.wait(lock, [&] { return opened_; });
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == FLT_PROGRESS) ++filterReports;
        return PreviewWindow::WindowProc(message, wParam, lParam);
    }
    void WaitAtGate() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return reached_; });
    }
    void OpenGate() {
        std::lock_guard<std::mutex> lock(mutex_);
        opened_ = true;
        changed_.notify_all();
    }
    /// Ticks until the render has been taken in.
    void FinishRender() {
        while (TimerRunning()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            Tick();
        }
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool reached_ = false, opened_ = false;
};

/// A ray-marching atmospheric as the preview recognises it (by class), shading nothing.
class RaymarchStandIn : public Atmospheric {
public:
    Class_ID ClassID() override { return Class_ID(0x149B34E6, 0x19F23C31); }
    void Shade(ShadeContext &, const Point3 &, const Point3 &, Color &, Color &,
               BOOL) override {}
};

class PreviewTest : public HelperTest {
protected:
    void SetUp() override {
        HelperTest::SetUp();
        Interface *ip = GetCOREInterface();
        ip->SetBackGround(0, kBackground);
        ip->SetTime(20 * GetTicksPerFrame());
        // A user view 300 units up the emitter's axis, looking back at it.
        Matrix3 tm;
        tm.SetTrans(Point3(0.0f, 0.0f, -300.0f));
        GetActiveViewport()->SetViewCamera(nullptr);
        GetActiveViewport()->SetAffineTM(tm);
        NewHelperNode()->AddParticleSystem(NewEmitterNode());
    }

    static bool Painted(const Bitmap *image, int x, int y) { return image->Pixel(x, y).r > 0; }

    GatedWindow window;
};

TEST_F(PreviewTest, SceneSwitchDecidesWhetherTheSceneRendersButParticlesAlwaysDo) {
    for (bool scene : {false, true}) {
        SCOPED_TRACE(scene ? "Scene on" : "Scene off");
        if (window.GetControl(PW::kScene).checked != scene) window.Press(PW::kScene);
        window.filterReports = 0;
        window.Press(PW::kUpdate);  // Preview is off: nothing renders
        EXPECT_FALSE(window.TimerRunning());
        window.Press(PW::kPreview);
        window.FinishRender();
        window.Press(PW::kPreview);  // off again for the next round

        Bitmap *image = window.Image();
        ASSERT_NE(image, nullptr);
        EXPECT_NE(image->Storage()->GetRenderInfo(), nullptr);
        // Without the scene the renderer stops once prepared, before it paints anything.
        EXPECT_EQ(Painted(image, 10, 10), scene);
        EXPECT_GT(window.filterReports, 0) << "the particle filter did not run";
        EXPECT_TRUE(window.GetControl(PW::kMaxDensity).enabled);
        EXPECT_FALSE(window.GetControl(PW::kStop).enabled);
        EXPECT_EQ(GetNimbraInterface()->GetPreviewRendering(), 0);
    }
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(PreviewTest, RegionAtHalfSizeRendersHalvedRowsIntoAFullSizeImage) {
    for (PW::Control c : {PW::kScene, PW::kRegion, PW::kHalfSize}) window.Press(c);
    window.gate = PreviewManager::kFilterCaption;  // before the filter reports progress
    window.Press(PW::kPreview);
    window.WaitAtGate();
    // The default region's rows 5 … 194, halved: 2 … 97.
    EXPECT_EQ(window.Manager().ProgressTotal(), 97 - 2 + 1);
    window.OpenGate();
    window.FinishRender();

    const Bitmap *image = window.Image();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->Width(), PreviewManager::kWidth);
    EXPECT_EQ(image->Height(), PreviewManager::kHeight);
    // Columns 2 … 154 of the half image, scaled up by two.
    EXPECT_FALSE(Painted(image, 1, 100));
    EXPECT_TRUE(Painted(image, 12, 100));
    EXPECT_FALSE(Painted(image, 312, 100));
}

TEST_F(PreviewTest, AtmosphericOnlyPreviewRendersTheSelectionAndRemovesItsNode) {
    Interface *ip = GetCOREInterface();
    ip->AddAtmosphere(new RaymarchStandIn);
    window.gate = PreviewManager::kFilterCaption;
    window.Press(PW::kPreview);
    window.WaitAtGate();
    INode *node = ip->GetINodeByName(PreviewManager::kPreviewNodeName);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(ip->GetSelNodeCount(), 1);
    EXPECT_TRUE(node->Selected());
    // The ray-march case lets the scene renderer run to the end.
    EXPECT_EQ(window.Manager().ProgressDone(), PreviewManager::kHeight);
    window.OpenGate();
    window.FinishRender();
    EXPECT_EQ(ip->GetINodeByName(PreviewManager::kPreviewNodeName), nullptr);
    EXPECT_FALSE(window.Manager().RaymarchPresent());
}

/// Update (a restart) and Stop both end a running render at its next progress report.
class PreviewInterruptTest : public PreviewTest,
                             public ::testing::WithParamInterface<PW::Control> {};

TEST_P(PreviewInterruptTest, EndsTheRunningRenderWithoutStartingAnother) {
    window.Press(PW::kScene);
    window.gate = "Preparing Materials";
    window.Press(PW::kPreview);
    window.WaitAtGate();
    EXPECT_TRUE(window.GetControl(PW::kStop).enabled);
    window.Press(GetParam());
    window.OpenGate();
    window.FinishRender();
    EXPECT_FALSE(window.Manager().Busy());
    EXPECT_FALSE(Painted(window.Image(), 10, 10)) << "the scene render was not aborted";
    EXPECT_TRUE(ui.Messages().empty());
}

INSTANTIATE_TEST_SUITE_P(Requests, PreviewInterruptTest,
                         ::testing::Values(PW::kUpdate, PW::kStop));

TEST_F(PreviewTest, RegionDraggedBackwardsIsOrderedAndClamped) {
    window.Press(PW::kRegion);
    // Image point (200, 150) to (20, 10); the image starts at window point (6, 29) for drags.
    window.MouseDown(206, 179);
    window.MouseMove(100, 100);
    window.MouseUp(26, 39);
    EXPECT_FALSE(window.MouseCaptured());
    EXPECT_EQ(window.RegionFrame(), (RECT{20, 10, 200, 150}));
    window.Press(PW::kPreview);
    EXPECT_EQ(GetNimbraInterface()->GetRegion(), (RECT{20, 10, 200, 150}));
    window.FinishRender();

    window.MouseDown(206, 179);
    window.MouseMove(400, 100);  // beyond the move limit: ignored
    EXPECT_EQ(window.RegionCorners().right, 200);
    window.MouseUp(330, 250);  // clamped to the image
    EXPECT_EQ(window.RegionFrame(), (RECT{200, 150, 314, 199}));
}

TEST_F(PreviewTest, TitleNamesTheViewsCameraUnlessTheViewportIsLocked) {
    INode *camera = GetCOREInterface()->CreateObjectNode(
        static_cast<Object *>(CreateInstance(CAMERA_CLASS_ID, FREE_CAMERA_CLASS_ID)));
    camera->SetName("Cam");
    ViewExp cameraView;
    cameraView.SetViewCamera(camera);
    window.Open(&cameraView);
    EXPECT_EQ(window.Title(), "Nimbra - Cam");
    for (bool locked : {true, false}) {
        if (window.GetControl(PW::kCurrentView).checked != locked)
            window.Press(PW::kCurrentView);
        window.Press(PW::kPreview);  // renders the active viewport, a user view, unless locked
        window.FinishRender();
        window.Press(PW::kPreview);
        EXPECT_EQ(window.Title(), locked ? "Nimbra - Cam" : "Nimbra - User Defined View");
        EXPECT_EQ(window.Caption(), window.Title());
    }
}

TEST_F(PreviewTest, FlyOffEntriesSetTheFactorAndTheCheckTheSwitch) {
    NimbraInterface *iface = GetNimbraInterface();
    window.Press(PW::kStepSize);
    window.SelectFlyOff(PW::kStepSize, 3);
    EXPECT_EQ(iface->GetMultipleStepSize(), 1);
    EXPECT_EQ(iface->GetStepSizeAmount(), 5.0f);
    window.SelectFlyOff(PW::kShadowDetail, 0);
    window.Press(PW::kShadowDetail);
    window.Press(PW::kShadowDetail);
    EXPECT_EQ(iface->GetMultipleShadowDetail(), 0);
    EXPECT_EQ(iface->GetShadowDetail(), 2.0f);
}

TEST_F(PreviewTest, CreatingTheWindowClearsThePreviewSettings) {
    NimbraInterface *iface = GetNimbraInterface();
    window.Press(PW::kHalfSize);
    window.Press(PW::kMaxRegularity);
    iface->SetRegionRender(1);
    PreviewWindow another;
    EXPECT_EQ(iface->GetHalfSizeMode(), 0);
    EXPECT_EQ(iface->GetDisableRegularity(), 0);
    EXPECT_EQ(iface->GetRegionRender(), 0);
}

}  // namespace
