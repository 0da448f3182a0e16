/// @file renderer_fixture.h
/// @brief What the renderer tests share: the modules of the test folder "renderer" loaded once
///        per program, a fixture with an empty scene and captured messages, particle systems
///        with particles placed by the test, and frames with a simple camera.
///
/// The camera of `TestFrame` looks down −z from the world origin with a scale of 100 pixels
/// per unit at depth −1, so a particle at depth −100 (kDepth) lands on pixel
/// (centre x + X, centre y − Y) and a particle of size s gets the sprite radius s + 1.5.
#pragma once

#include "common/module_environment.h"
#include "common/scripted_user_interface.h"
#include "render_plugins_api.h"
#include "renderer/render_engine.h"
#include "setup/helper.h"
#include "host/bitmap.h"
#include "host/inode.h"
#include "host/interface.h"
#include "host/particles.h"
#include "host/window.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace rendertest {

/// Depth of the particles of most tests: one world unit is one pixel there.
constexpr float kDepth = -100.0f;

/// The modules of the test folder "renderer" (nimbra, render_plugins), loaded for the whole
/// test program.
class RendererModules : public ModuleFolderEnvironment {
public:
    RendererModules() : ModuleFolderEnvironment("renderer", 2) {}
};

/// One particle as a test places it.
struct TestParticle {
    Point3 position;
    TimeValue age = 0;  ///< negative: dead
};

/// A particle system whose particles the test sets; `Update` keeps them as they are.
class TestParticles : public ParticleObject {
public:
    Class_ID ClassID() override { return Class_ID(0x54505254, 0x4E4D4252); }
    void Update(TimeValue t, INode *node) override { updates.push_back(t); }
    void Set(const std::vector<TestParticle> &particles);
    std::vector<TimeValue> updates;
};

/// A helper of the test plug-ins on a node of its own, drawing one particle system.
struct TestHelper {
    NimbraHelper *helper = nullptr;
    INode *node = nullptr;
    TestParticles *particles = nullptr;
    RenderTestPlugIn *shape = nullptr;
    RenderTestPlugIn *color = nullptr;
    RenderTestPlugIn *composite = nullptr;

    /// Sets age parameter `i` (a `NimbraHelper::AgeParam`) at time 0.
    void Set(int i, float v) const;
    void Set(int i, int v) const;
    /// Birth and death size (and shadow size) to the same value: every particle gets it.
    void SetSize(float size) const;
    LinearController *Controller(NimbraHelper::Controller c) const;
};

/// A frame of `width` × `height` with depth and material channels and render information
/// (camera at the origin looking down −z, not field-rendered, time 0). Pixels start
/// `background`, depths kFarDepth, materials 0.
struct TestFrame {
    TestFrame(int width, int height, BMM_Color_64 background = {});
    Bitmap &operator*() const { return *bitmap; }
    Bitmap *operator->() const { return bitmap.get(); }
    RenderInfo &Info() const { return *bitmap->Storage()->GetRenderInfo(); }
    float &Depth(int x, int y) const;
    BYTE &Material(int x, int y) const;
    BitmapPtr bitmap;
};

/// A progress window that records the progress it is told and can ask to abort.
class RecordingWindow : public HostWindow {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    std::vector<std::pair<long long, long long>> progress;  ///< (done, total)
    int abortQueries = 0;
    /// Answers "abort" from this abort query on (counting from 1); 0 never.
    int abortAt = 0;
};

/// Starts and ends each test with an empty scene, no interface buffers, an empty journal and
/// no shadow pass; captures the messages; checks that no test plug-in outlives the test.
class RendererTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    /// A new helper node with a particle system of `particles`; size 0 (radius 1) unless
    /// changed.
    TestHelper AddHelper(const std::vector<TestParticle> &particles = {});
    /// Runs "Nimbra Shader" on `frame` with `window` as its progress window.
    BOOL RunFilter(TestFrame &frame, HWND window = nullptr);
    /// Runs the engine's steps on `frame` as the filter does for its first pass.
    void RunEngine(ParticleRenderer &engine, TestFrame &frame);

    /// Calls of one kind in the journal, optionally of one plug-in.
    static std::vector<RenderCall> Calls(RenderCall::Op op, const NimbraPlugIn *who = nullptr);

    ScriptedUserInterface ui;

private:
    int pluginsBefore_ = 0;
    int controllersBefore_ = 0;
};

}  // namespace rendertest
