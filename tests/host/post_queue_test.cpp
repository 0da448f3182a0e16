/// @file post_queue_test.cpp
/// @brief The post-production queue: event order, channels and configuration blocks handed to
///        filters, failures, plates, progress reports and aborts by Ctrl-C.
#include "host/post_queue.h"

#include "host/image_file.h"
#include "host/interface.h"
#include "host/little_endian.h"

#include "common/temp_folder.h"
#include "test_objects.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

namespace {

using Status = QueueFrameResult::Status;

/// What the fakes did, in order.
std::vector<std::string> journal;

BMM_Color_64 Colour(int r, int g, int b, int a) {
    return BMM_Color_64{UWORD(r), UWORD(g), UWORD(b), UWORD(a)};
}

/// A renderer that paints the frame grey, writes depth −5 and material 3 (creating the
/// channels like the scene renderer), leaves a render information with a recognisable centre,
/// reports "Preparing Materials" and a few progress steps, and may abort.
class FakeRenderer : public Renderer {
public:
    static constexpr Class_ID kClassID{0x7E570010, 1};
    Class_ID ClassID() override { return kClassID; }

    int Open(INode *scene, INode *vnode, ViewParams *viewPar, RendParams &rp, HWND, void *,
             int) override {
        journal.push_back("open " + std::string(vnode ? vnode->GetName() : "view") + " " +
                          std::to_string(rp.width) + "x" + std::to_string(rp.height));
        return scene != nullptr;
    }
    int Render(TimeValue t, Bitmap *bm, FrameRendParams &, HWND, RendProgressCallback *prog,
               ViewParams *) override {
        journal.push_back("render " + std::to_string(t));
        prog->SetTitle("Preparing Materials");
        if (onTitle) onTitle();
        bm->Storage()->AllocRenderInfo()->xc = 123.0f;
        bm->Storage()->GetRenderInfo()->renderTime[0] = t;
        for (int i = 0; i < 4; ++i)
            if (prog->Progress(i, 4) == RENDPROG_ABORT) return 0;
        bm->Fill(20000, 20000, 20000, 65535);
        bm->CreateChannels(BMM_CHAN_ALL);
        std::fill(bm->DepthChannel(), bm->DepthChannel() + bm->Width() * bm->Height(), -5.0f);
        std::fill(bm->MaterialChannel(), bm->MaterialChannel() + bm->Width() * bm->Height(), 3);
        return 1;
    }
    void Close(HWND) override { journal.push_back("close"); }

    /// Called after the title was reported (a test's way of pressing Ctrl-C then).
    static inline std::function<void()> onTitle;
};

/// A filter with an 8-byte configuration block (version 100, then a value), which records what
/// it was given and paints pixel (0, 0) with its value.
class FakeFilter : public ImageFilter {
public:
    static constexpr Class_ID kClassID{0x7E570011, 1};
    static constexpr std::int32_t kVersion = 100;

    explicit FakeFilter(std::string name = "Fake", DWORD channels = BMM_CHAN_NONE)
        : name_(std::move(name)), channels_(channels) {}

    const TCHAR *Description() override { return name_.c_str(); }
    DWORD ChannelsRequired() override { return channels_; }
    DWORD EvaluateConfigure() override { return 8; }
    BOOL LoadConfigure(void *ptr) override {
        const auto *block = static_cast<const std::uint8_t *>(ptr);
        if (GetLEInt(block) != kVersion) return FALSE;
        value = GetLEInt(block + 4);
        return TRUE;
    }
    BOOL SaveConfigure(void *ptr) override {
        auto *block = static_cast<std::uint8_t *>(ptr);
        PutLEInt(block, kVersion);
        PutLEInt(block + 4, value);
        return TRUE;
    }

    BOOL Render(HWND hWnd) override {
        std::string line = "filter " + name_ + " value=" + std::to_string(value);
        if (srcmap) {
            line += " channels=" + std::to_string(srcmap->ChannelsPresent());
            line += " info=" + std::string(srcmap->Storage()->GetRenderInfo() ? "yes" : "no");
            line += " frame=" + std::to_string(ifi->QueueRange.Current());
        }
        journal.push_back(line);
        if (onRender) onRender(hWnd);
        if (srcmap) srcmap->PutPixel(0, 0, Colour(value, value, value, 65535));
        value += 1000;  // the queue hands the stored block again next frame
        return result;
    }

    std::int32_t value = 0;
    BOOL result = TRUE;
    std::function<void(HWND)> onRender;

private:
    std::string name_;
    DWORD channels_;
};

std::vector<std::uint8_t> Block(std::int32_t version, std::int32_t value) {
    std::vector<std::uint8_t> b(8);
    PutLEInt(b.data(), version);
    PutLEInt(b.data() + 4, value);
    return b;
}

hosttest::TestClassDesc<FakeRenderer, RENDERER_CLASS_ID> rendererDesc("Fake Renderer");

class FakeFilterDesc : public ClassDesc {
public:
    int IsPublic() override { return 1; }
    void *Create(BOOL) override { return static_cast<ImageFilter *>(new FakeFilter("Made")); }
    const TCHAR *ClassName() override { return "Fake Filter"; }
    SClass_ID SuperClassID() override { return FLT_CLASS_ID; }
    Class_ID ClassID() override { return FakeFilter::kClassID; }
    const TCHAR *Category() override { return "Tests"; }
} filterDesc;

/// Records everything a sink is told.
class RecordingSink : public ProgressSink {
public:
    void Progress(const ProgressState &s) override { percents.push_back(s.Percent()); }
    void Status(const ProgressState &s) override { statuses.push_back(s.Status()); }
    void FrameDone(const ProgressState &s, const std::string &error) override {
        frames.push_back(std::to_string(s.frame) + (error.empty() ? " ok" : " failed"));
    }
    void RunDone(const ProgressState &s, int failed, bool aborted) override {
        runs.push_back(std::to_string(s.framesDone) + "/" + std::to_string(s.frameCount) +
                       " failed=" + std::to_string(failed) + (aborted ? " aborted" : ""));
    }
    std::vector<double> percents;
    std::vector<std::string> statuses, frames, runs;
};

class PostQueueTest : public hosttest::SceneTest {
protected:
    void SetUp() override {
        SceneTest::SetUp();
        ClassDirectory::Instance().Add(&rendererDesc, "queue-tests");
        ClassDirectory::Instance().Add(&filterDesc, "queue-tests");
        journal.clear();
        ClearInterrupt();
        queue.Params().width = 8;
        queue.Params().height = 6;
    }
    void TearDown() override {
        ClearInterrupt();
        ClassDirectory::Instance().RemoveModule("queue-tests");
        SceneTest::TearDown();
    }
    SceneEventSettings Scene() const {
        SceneEventSettings s;
        s.renderer = FakeRenderer::kClassID;
        return s;
    }
    /// Adds a fake filter and returns it (the queue owns it).
    FakeFilter *AddFilter(const std::string &name, DWORD channels, std::int32_t value) {
        auto *f = new FakeFilter(name, channels);
        queue.AddFilterEvent(f, Block(FakeFilter::kVersion, value));
        return f;
    }

    PostQueue queue;
    testfiles::TempFolder folder;
};

TEST_F(PostQueueTest, RunsSceneFiltersAndOutputsInOrder) {
    queue.AddSceneEvent(Scene());
    AddFilter("A", BMM_CHAN_Z, 11);
    AddFilter("B", BMM_CHAN_MTL_ID, 22);
    queue.AddOutputEvent(folder.Path("beauty.####.exr"));
    EXPECT_EQ(queue.ChannelsForFrames(), BMM_CHAN_ALL);

    const std::vector<QueueFrameResult> results = queue.Run({4}, nullptr);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_TRUE(results[0].ok()) << results[0].error;

    // Both filters see both channels (each asked for one), the render information the scene
    // left, the current frame and their own configuration values.
    const std::vector<std::string> expected = {"open view 8x6", "render 640", "close",
                                               "filter A value=11 channels=3 info=yes frame=4",
                                               "filter B value=22 channels=3 info=yes frame=4"};
    EXPECT_EQ(journal, expected);

    // The file holds the frame after the last filter, with the scene's channels.
    ImageFileContents found;
    BitmapPtr written = ReadImageFile(folder.Path("beauty.0004.exr"), &found);
    EXPECT_EQ(written->Width(), 8);
    EXPECT_EQ(written->Pixel(0, 0).r, 22);
    EXPECT_EQ(found.depthName, "Z");
    EXPECT_EQ(written->DepthChannel()[5], -5.0f);
    EXPECT_EQ(written->MaterialChannel()[5], 3);
}

TEST_F(PostQueueTest, FiltersBeforeTheSceneSeeAFrameWithoutRenderInformation) {
    AddFilter("Early", BMM_CHAN_Z, 1);
    queue.AddSceneEvent(Scene());
    ASSERT_TRUE(queue.Run({0}, nullptr)[0].ok());
    EXPECT_EQ(journal.front(), "filter Early value=1 channels=1 info=no frame=0");
}

TEST_F(PostQueueTest, ConfigurationBlocksAreCheckedStoredAndHandedEveryFrame) {
    // Wrong size or version: refused with the filter's name, and the filter is not leaked.
    try {
        queue.AddFilterEvent(new FakeFilter("Short"), std::vector<std::uint8_t>(4));
        FAIL() << "a 4-byte block was taken for an 8-byte configuration";
    } catch (const PostQueueError &e) {
        EXPECT_NE(std::string(e.what()).find("'Short'"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("expected 8"), std::string::npos) << e.what();
    }
    EXPECT_THROW(queue.AddFilterEvent(new FakeFilter("Old"), Block(99, 5)), PostQueueError);
    EXPECT_THROW(queue.AddFilterEvent(nullptr), PostQueueError);
    EXPECT_THROW(queue.AddFilterEvent(Class_ID(0x7E57FFFF, 9)), PostQueueError);
    EXPECT_EQ(queue.EventCount(), 0);

    // Without a block the filter's own settings are kept as its block.
    auto *own = new FakeFilter("Own");
    own->value = 77;
    queue.AddFilterEvent(own);
    EXPECT_EQ(queue.Configuration(0), Block(100, 77));
    // By class: the class directory makes the filter.
    queue.AddFilterEvent(FakeFilter::kClassID, Block(100, 5));
    ASSERT_NE(queue.Filter(1), nullptr);
    EXPECT_STREQ(queue.Filter(1)->Description(), "Made");

    // Each frame gets the stored block again, whatever the filter did to its settings.
    const auto results = queue.Run({1, 2}, nullptr);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_TRUE(results[1].ok());
    EXPECT_EQ(journal[2], "filter Own value=77 channels=0 info=no frame=2");
    EXPECT_EQ(journal[3], "filter Made value=5 channels=0 info=no frame=2");

    // After the user changed a filter's settings the queue can take them as its block.
    static_cast<FakeFilter *>(queue.Filter(0))->value = 12;
    queue.SaveConfiguration(0);
    EXPECT_EQ(queue.Configuration(0), Block(100, 12));
    EXPECT_TRUE(queue.Configuration(5).empty());
}

TEST_F(PostQueueTest, AFilterAnsweringZeroFailsTheFrameAndNothingIsWritten) {
    queue.AddSceneEvent(Scene());
    FakeFilter *bad = AddFilter("Bad", BMM_CHAN_NONE, 1);
    bad->result = FALSE;
    AddFilter("After", BMM_CHAN_NONE, 2);
    queue.AddOutputEvent(folder.Path("f.#.png"));

    RecordingSink sink;
    const auto results = queue.Run({1, 2}, &sink);
    ASSERT_EQ(results.size(), 2u) << "a failed frame does not stop the run";
    for (const QueueFrameResult &r : results) {
        EXPECT_EQ(r.status, Status::Failed);
        EXPECT_NE(r.error.find("Bad: failed on frame " + std::to_string(r.frame)),
                  std::string::npos)
            << r.error;
    }
    EXPECT_TRUE(folder.Entries().empty()) << "no output of a failed frame";
    for (const std::string &line : journal)
        EXPECT_EQ(line.find("filter After"), std::string::npos);
    EXPECT_EQ(sink.frames, (std::vector<std::string>{"1 failed", "2 failed"}));
    EXPECT_EQ(sink.runs, std::vector<std::string>{"2/2 failed=2"});
}

TEST_F(PostQueueTest, FailedOutputsAreAllReportedAndFailTheFrame) {
    queue.AddSceneEvent(Scene());
    queue.AddOutputEvent(folder.Path("missing-folder/a.#.png"));
    queue.AddOutputEvent(folder.Path("b.#.png"));
    const QueueFrameResult r = queue.Run({3}, nullptr)[0];
    EXPECT_EQ(r.status, Status::Failed);
    EXPECT_NE(r.error.find("missing-folder/a.3.png"), std::string::npos) << r.error;
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"b.3.png"})
        << "the other output is still written";
}

TEST_F(PostQueueTest, SceneEventProblemsFailTheFrameWithAReason) {
    SceneEventSettings missing = Scene();
    missing.renderer = Class_ID(0x7E57FFFF, 1);
    queue.AddSceneEvent(missing);
    QueueFrameResult r = queue.Run({0}, nullptr)[0];
    EXPECT_EQ(r.status, Status::Failed);
    EXPECT_NE(r.error.find("no scene renderer"), std::string::npos) << r.error;

    PostQueue byName;
    byName.Params().width = 4;
    byName.Params().height = 4;
    SceneEventSettings camera = Scene();
    camera.viewNode = "Camera01";
    byName.AddSceneEvent(camera);
    r = byName.Run({0}, nullptr)[0];
    EXPECT_EQ(r.status, Status::Failed);
    EXPECT_NE(r.error.find("no node named 'Camera01'"), std::string::npos) << r.error;

    PostQueue tooBig;
    tooBig.Params().width = 0;
    tooBig.AddSceneEvent(Scene());
    r = tooBig.Run({0}, nullptr)[0];
    EXPECT_EQ(r.status, Status::Failed);
    EXPECT_NE(r.error.find("cannot create a frame"), std::string::npos) << r.error;
}

TEST_F(PostQueueTest, AnAssertionInAFilterFailsOnlyTheFrame) {
    hosttest::QuietUI quiet;
    FakeFilter *f = AddFilter("Asserting", BMM_CHAN_NONE, 0);
    f->onRender = [](HWND) { DbgAssert(1 + 1 == 3); };
    const QueueFrameResult r = queue.Run({0}, nullptr)[0];
    EXPECT_EQ(r.status, Status::Failed);
    EXPECT_NE(r.error.find("assertion failed"), std::string::npos) << r.error;
    EXPECT_EQ(f->SourceMap(), nullptr) << "the filter does not keep the deleted frame";
}

TEST_F(PostQueueTest, PlatesFillTheFrameWithColourDepthAndTheirCamera) {
    // A plate with depth, as this program writes one.
    {
        BitmapInfo bi(BMM_TRUE_64, MAP_HAS_ALPHA, 8, 6);
        BitmapPtr plate(TheManager->Create(bi));
        plate->Fill(30000, 10000, 5000, 65535);
        plate->CreateChannels(BMM_CHAN_Z);
        std::fill(plate->DepthChannel(), plate->DepthChannel() + 48, -9.0f);
        WriteImageFile(folder.Path("plate.0007.exr"), *plate);
    }
    std::vector<TimeValue> asked;
    queue.AddPlateEvent(folder.Path("plate.####.exr"),
                        [&](TimeValue t, int w, int h, RenderInfo &ri) {
                            asked.push_back(t);
                            EXPECT_EQ(ri.renderTime[0], t);
                            ri.xc = w / 2.0f;
                            ri.yc = h / 2.0f;
                            return true;
                        });
    AddFilter("Over plate", BMM_CHAN_ALL, 40000);
    queue.AddOutputEvent(folder.Path("comp.####.png"));

    const QueueFrameResult r = queue.Run({7}, nullptr)[0];
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(asked, std::vector<TimeValue>{7 * 160});
    EXPECT_EQ(journal.back(), "filter Over plate value=40000 channels=3 info=yes frame=7");
    BitmapPtr comp = ReadImageFile(folder.Path("comp.0007.png"));
    EXPECT_EQ(comp->Pixel(0, 0).r, 40000) << "the filter drew over the plate";
    EXPECT_NEAR(comp->Pixel(3, 3).r, 30000, 40) << "plate colour (through EXR half)";

    // The filter saw the plate's depth and a cleared material channel.
    FakeFilter *probe = AddFilter("Probe", BMM_CHAN_NONE, 0);
    float depth = 0.0f;
    int material = -1;
    float centre = 0.0f;
    probe->onRender = [&](HWND) {
        Bitmap *bm = probe->SourceMap();
        depth = bm->DepthChannel()[10];
        material = bm->MaterialChannel()[10];
        centre = bm->Storage()->GetRenderInfo()->xc;
    };
    ASSERT_TRUE(queue.Run({7}, nullptr)[0].ok());
    EXPECT_EQ(depth, -9.0f);
    EXPECT_EQ(material, 0);
    EXPECT_EQ(centre, 4.0f);
}

TEST_F(PostQueueTest, PlateProblemsFailTheFrame) {
    EXPECT_THROW(queue.AddPlateEvent("p.####.exr", PlateCamera()), PostQueueError);

    BitmapInfo bi(BMM_TRUE_64, MAP_HAS_ALPHA, 5, 5);
    BitmapPtr small(TheManager->Create(bi));
    WriteImageFile(folder.Path("small.0001.png"), *small);
    PostQueue sized;
    sized.Params().width = 8;
    sized.Params().height = 6;
    sized.AddPlateEvent(folder.Path("small.####.png"),
                        [](TimeValue, int, int, RenderInfo &) { return true; });
    QueueFrameResult r = sized.Run({1}, nullptr)[0];
    EXPECT_EQ(r.status, Status::Failed);
    EXPECT_NE(r.error.find("plate of 5 x 5 pixels, the queue renders 8 x 6"), std::string::npos)
        << r.error;
    r = sized.Run({2}, nullptr)[0];
    EXPECT_EQ(r.status, Status::Failed);
    EXPECT_NE(r.error.find("small.0002.png"), std::string::npos)
        << "missing plate: " << r.error;

    WriteImageFile(folder.Path("right.0001.png"), *small);
    PostQueue noCamera;
    noCamera.Params().width = 5;
    noCamera.Params().height = 5;
    noCamera.AddPlateEvent(folder.Path("right.####.png"),
                           [](TimeValue, int, int, RenderInfo &) { return false; });
    r = noCamera.Run({1}, nullptr)[0];
    EXPECT_EQ(r.status, Status::Failed);
    EXPECT_NE(r.error.find("no camera for frame 1"), std::string::npos) << r.error;
}

TEST_F(PostQueueTest, FilterAndRendererProgressReachesTheSink) {
    queue.AddSceneEvent(Scene());
    FakeFilter *f = AddFilter(" Nimbra Shader", BMM_CHAN_NONE, 0);
    f->onRender = [](HWND hWnd) {
        const char caption[] = "Nimbra Shader (1 of 2)";
        SendMessage(hWnd, FLT_TEXTMSG, 0, reinterpret_cast<LPARAM>(caption));
        for (int i = 0; i <= 4; ++i) SendMessage(hWnd, FLT_PROGRESS, i, 4);
        SendMessage(hWnd, FLT_PROGRESS, 1, 0);  // unknown total: ignored
        const char second[] = "Computing Motion Blur...";
        SendMessage(hWnd, FLT_TEXTMSG2, 0, reinterpret_cast<LPARAM>(second));
    };
    RecordingSink sink;
    ASSERT_TRUE(queue.Run({12, 13}, &sink)[1].ok());

    // Step names, the renderer's title and the filter's captions, per frame.
    const std::vector<std::string> perFrame = {
        "Scene", "Scene: Preparing Materials", "Nimbra Shader",
        "Nimbra Shader: Nimbra Shader (1 of 2)", "Nimbra Shader: Computing Motion Blur..."};
    ASSERT_EQ(sink.statuses.size(), 2 * perFrame.size());
    for (std::size_t i = 0; i < perFrame.size(); ++i) {
        EXPECT_EQ(sink.statuses[i], perFrame[i]);
        EXPECT_EQ(sink.statuses[i + perFrame.size()], perFrame[i]);
    }
    // Two frames of two steps: the filter half way through frame 12 is 37.5 %.
    EXPECT_NE(std::find(sink.percents.begin(), sink.percents.end(), 37.5), sink.percents.end());
    EXPECT_TRUE(std::is_sorted(sink.percents.begin(), sink.percents.end()));
    EXPECT_EQ(sink.percents.back(), 100.0);
    EXPECT_EQ(sink.frames, (std::vector<std::string>{"12 ok", "13 ok"}));
    EXPECT_EQ(sink.runs, std::vector<std::string>{"2/2 failed=0"});
}

TEST_F(PostQueueTest, CtrlCAnswersAbortQueriesAndStopsTheRun) {
    InstallInterruptHandler();
    queue.AddSceneEvent(Scene());
    FakeFilter *f = AddFilter("Long", BMM_CHAN_NONE, 0);
    int answers[2] = {-1, -1};
    f->onRender = [&](HWND hWnd) {
        int stop = 0;
        SendMessage(hWnd, FLT_CHECKABORT, 0, reinterpret_cast<LPARAM>(&stop));
        answers[0] = stop;
        std::raise(SIGINT);  // the user presses Ctrl-C while the filter works
        stop = 0;
        SendMessage(hWnd, FLT_CHECKABORT2, 0, reinterpret_cast<LPARAM>(&stop));
        answers[1] = stop;
    };
    AddFilter("Never", BMM_CHAN_NONE, 0);
    queue.AddOutputEvent(folder.Path("x.#.png"));

    RecordingSink sink;
    const auto results = queue.Run({1, 2, 3}, &sink);
    RemoveInterruptHandler();

    EXPECT_EQ(answers[0], 0) << "no abort before Ctrl-C";
    EXPECT_NE(answers[1], 0) << "the abort query is answered by the Ctrl-C flag";
    EXPECT_TRUE(InterruptRequested());
    ASSERT_EQ(results.size(), 1u) << "frames after the abort are not started";
    EXPECT_EQ(results[0].status, Status::Aborted);
    EXPECT_EQ(results[0].error, "interrupted");
    for (const std::string &line : journal) EXPECT_EQ(line.find("Never"), std::string::npos);
    EXPECT_TRUE(folder.Entries().empty()) << "an aborted frame is not written";
    EXPECT_EQ(sink.runs, std::vector<std::string>{"1/3 failed=0 aborted"});
}

TEST_F(PostQueueTest, AbortsBeforeOrDuringTheSceneRenderStopTheFrame) {
    queue.AddSceneEvent(Scene());
    AddFilter("After", BMM_CHAN_NONE, 0);
    RequestInterrupt();
    EXPECT_EQ(queue.Run({1}, nullptr)[0].status, Status::Aborted);
    EXPECT_TRUE(journal.empty()) << "with the flag set before the run nothing starts";

    ClearInterrupt();
    ProgressWindow window;
    FakeRenderer::onTitle = [&] { window.RequestAbort(); };
    const QueueFrameResult r = queue.RunFrame(5, window, FrameRange(5, 5, 5));
    FakeRenderer::onTitle = nullptr;
    EXPECT_EQ(r.status, Status::Aborted) << "an aborted render is not a failed one";
    EXPECT_EQ(journal, (std::vector<std::string>{"open view 8x6", "render 800", "close"}));
    EXPECT_FALSE(InterruptRequested()) << "a window's own abort is not a Ctrl-C";
}

}  // namespace
