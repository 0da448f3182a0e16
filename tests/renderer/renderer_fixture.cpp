/// @file renderer_fixture.cpp
/// @brief The module environment, the renderer fixture, test particles and frames.
#include "renderer_fixture.h"

#include "framework/nimbra_interface.h"
#include "renderer/shader_filter.h"
#include "host/paramblock.h"

namespace rendertest {

namespace {

RendererModules *const environment =
    static_cast<RendererModules *>(::testing::AddGlobalTestEnvironment(new RendererModules));

constexpr float kPixelsPerUnit = 100.0f;  // at depth −1

}  // namespace

// TestParticles -------------------------------------------------------------------------------

void TestParticles::Set(const std::vector<TestParticle> &particles) {
    Resize(static_cast<int>(particles.size()));
    for (int i = 0; i < static_cast<int>(particles.size()); ++i)
        SetParticle(i, particles[i].position, Point3(), particles[i].age);
}

// TestHelper ----------------------------------------------------------------------------------

void TestHelper::Set(int i, float v) const {
    helper->AgeBlock()->SetValue(i, 0, v);
}

void TestHelper::Set(int i, int v) const {
    helper->AgeBlock()->SetValue(i, 0, v);
}

void TestHelper::SetSize(float size) const {
    for (int i : {NimbraHelper::kBirthSize, NimbraHelper::kDeathSize,
                  NimbraHelper::kBirthShadowSize, NimbraHelper::kDeathShadowSize})
        Set(i, size);
}

LinearController *TestHelper::Controller(NimbraHelper::Controller c) const {
    return dynamic_cast<LinearController *>(helper->GetHelperController(c));
}

// TestFrame -----------------------------------------------------------------------------------

TestFrame::TestFrame(int width, int height, BMM_Color_64 background)
    : bitmap(TheManager->Create(BitmapInfo(BMM_TRUE_64, MAP_HAS_ALPHA, width, height))) {
    bitmap->Fill(background);
    bitmap->CreateChannels(BMM_CHAN_Z | BMM_CHAN_MTL_ID);
    RenderInfo *ri = bitmap->Storage()->AllocRenderInfo();
    ri->projType = PROJ_PERSPECTIVE;
    ri->kx = -kPixelsPerUnit;
    ri->ky = kPixelsPerUnit;
    ri->xc = static_cast<float>(width / 2);
    ri->yc = static_cast<float>(height / 2);
}

float &TestFrame::Depth(int x, int y) const {
    return bitmap->DepthChannel()[y * bitmap->Width() + x];
}

BYTE &TestFrame::Material(int x, int y) const {
    return bitmap->MaterialChannel()[y * bitmap->Width() + x];
}

// RecordingWindow -----------------------------------------------------------------------------

LRESULT RecordingWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == FLT_PROGRESS) {
        progress.emplace_back(static_cast<long long>(wParam), static_cast<long long>(lParam));
    } else if (message == FLT_CHECKABORT) {
        ++abortQueries;
        if (abortAt > 0 && abortQueries >= abortAt) *reinterpret_cast<int *>(lParam) = 1;
    }
    return 0;
}

// RendererTest --------------------------------------------------------------------------------

void RendererTest::SetUp() {
    GetCOREInterface()->ResetScene();
    RenderJournal().clear();
    RecordPixels(true);
    pluginsBefore_ = RenderTestPlugIn::live;
    controllersBefore_ = LinearController::live;
}

void RendererTest::TearDown() {
    GetCOREInterface()->ResetScene();
    RenderJournal().clear();
    theShadowPass = FALSE;
    GetNimbraInterface()->EraseBuffers(0);
    GetNimbraInterface()->SetPreviewRendering(FALSE);
    GetNimbraInterface()->SetSelHelperOnly(FALSE);
    GetNimbraInterface()->SetRegionRender(FALSE);
    GetNimbraInterface()->SetHalfSizeMode(FALSE);
    EXPECT_EQ(theEngine, nullptr) << "an engine outlived its render";
    EXPECT_EQ(RenderTestPlugIn::live, pluginsBefore_) << "test plug-ins outlived the scene";
    EXPECT_EQ(LinearController::live, controllersBefore_) << "controllers outlived the scene";
}

TestHelper RendererTest::AddHelper(const std::vector<TestParticle> &particles) {
    TestHelper h;
    auto *object =
        static_cast<Animatable *>(CreateInstance(HELPER_CLASS_ID, kNimbraHelperClassID));
    h.helper = dynamic_cast<NimbraHelper *>(object);
    EXPECT_NE(h.helper, nullptr);
    h.node = GetCOREInterface()->CreateObjectNode(h.helper);
    h.particles = new TestParticles;
    h.particles->Set(particles);
    INode *system = GetCOREInterface()->CreateObjectNode(h.particles);
    EXPECT_TRUE(h.helper->AddParticleSystem(system));
    h.shape = dynamic_cast<RenderTestPlugIn *>(h.helper->Shape());
    h.color = dynamic_cast<RenderTestPlugIn *>(h.helper->ColorShader());
    h.composite = dynamic_cast<RenderTestPlugIn *>(h.helper->Composite());
    EXPECT_TRUE(h.shape && h.color && h.composite) << "the helper lacks the test plug-ins";
    h.SetSize(0.0f);
    return h;
}

BOOL RendererTest::RunFilter(TestFrame &frame, HWND window) {
    NimbraShaderFilter filter;
    filter.SetSourceMap(frame.bitmap.get());
    return filter.Render(window);
}

void RendererTest::RunEngine(ParticleRenderer &engine, TestFrame &frame) {
    engine.output = frame.bitmap.get();
    engine.renderInfo = &frame.Info();
    engine.zChannel = frame->DepthChannel();
    engine.mtlChannel = frame->MaterialChannel();
    engine.time = frame.Info().renderTime[0];
    engine.Prepare();
    engine.Project();
    engine.RenderFrame();
}

std::vector<RenderCall> RendererTest::Calls(RenderCall::Op op, const NimbraPlugIn *who) {
    std::vector<RenderCall> found;
    for (const RenderCall &c : RenderJournal())
        if (c.op == op && (!who || c.plugIn == who)) found.push_back(c);
    return found;
}

}  // namespace rendertest
