/// @file progress_test.cpp
/// @brief The progress window's messages, the four progress modes' output, the Ctrl-C flag,
///        and the filter base's 16-bit blend.
#include "host/image_filter.h"
#include "host/progress.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

/// Drives a window through a run of 8 frames of 2 steps: frames 10 … 12 done, frame 13's
/// second step half way (so 3.75 frames of 8 are done: 46.9 %), then frame 13 fails.
void DriveRun(ProgressWindow &w) {
    w.BeginRun(8, 2);
    for (int frame = 10; frame < 13; ++frame) {
        w.BeginFrame(frame);
        w.BeginStep(0, "Scene");
        w.BeginStep(1, "Nimbra Shader");
        w.EndFrame("");
    }
    w.BeginFrame(13);
    w.BeginStep(0, "Scene");
    w.SetCaption("Preparing Materials");
    w.BeginStep(1, "Nimbra Shader");
    w.SetProgress(1, 2);
    w.EndFrame("out of ink");
    w.EndRun(1, true);
}

std::string OutputOf(const std::string &mode) {
    std::ostringstream out;
    auto sink = MakeProgressSink(mode, out, std::chrono::milliseconds(0));
    ProgressWindow w(sink.get());
    DriveRun(w);
    return out.str();
}

TEST(ProgressModes, PlainPrintsProgressLines) {
    const std::vector<std::string> lines = Lines(OutputOf("plain"));
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "PROGRESS 46.9% frame=13 done=3/8"),
              lines.end());
    EXPECT_EQ(lines.back(), "PROGRESS 50.0% frame=13 done=4/8");
    for (const std::string &l : lines) EXPECT_EQ(l.rfind("PROGRESS ", 0), 0u) << l;
}

TEST(ProgressModes, OpenJDPrintsProgressAndStatusLines) {
    const std::vector<std::string> lines = Lines(OutputOf("openjd"));
    auto has = [&](const std::string &l) {
        return std::find(lines.begin(), lines.end(), l) != lines.end();
    };
    EXPECT_TRUE(has("openjd_progress: 46.9"));
    EXPECT_TRUE(has("openjd_status: Frame 13: Scene: Preparing Materials"));
    EXPECT_TRUE(has("openjd_status: Frame 13 failed: out of ink"));
    EXPECT_EQ(lines.back(), "openjd_status: Interrupted, 4 of 8 frames, 1 failed");
    for (const std::string &l : lines)
        EXPECT_TRUE(l.rfind("openjd_progress: ", 0) == 0 || l.rfind("openjd_status: ", 0) == 0)
            << l;
}

TEST(ProgressModes, JsonPrintsOneObjectPerLine) {
    std::vector<nlohmann::json> events;
    for (const std::string &l : Lines(OutputOf("json")))
        events.push_back(nlohmann::json::parse(l));
    ASSERT_FALSE(events.empty());
    bool sawHalfWay = false, sawFailure = false;
    for (const auto &e : events) {
        if (e["event"] == "progress" && e["percent"] == 46.9) {
            sawHalfWay = true;
            EXPECT_EQ(e["frame"], 13);
            EXPECT_EQ(e["done"], 3);
            EXPECT_EQ(e["total"], 8);
        }
        if (e["event"] == "frame" && e["ok"] == false) {
            sawFailure = true;
            EXPECT_EQ(e["error"], "out of ink");
        }
    }
    EXPECT_TRUE(sawHalfWay);
    EXPECT_TRUE(sawFailure);
    EXPECT_EQ(
        events.back(),
        (nlohmann::json{
            {"event", "done"}, {"frames", 4}, {"total", 8}, {"failed", 1}, {"aborted", true}}));
}

TEST(ProgressModes, BarRedrawsOneLineAndEndsIt) {
    const std::string text = OutputOf("bar");
    EXPECT_NE(text.find("\r[###############---------------] 50.0%  frame 13 (4/8)"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("46.9%  frame 13 (3/8)  Nimbra Shader"), std::string::npos);
    EXPECT_EQ(text.back(), '\n') << "the run ends the line";
    EXPECT_THROW(MakeProgressSink("fancy", std::cout), std::invalid_argument);
}

TEST(ProgressModes, UpdatesAreThrottledToTheSinksInterval) {
    std::ostringstream out;
    auto sink = MakeProgressSink("plain", out, std::chrono::hours(1));
    ProgressWindow w(sink.get());
    w.BeginRun(1, 1);
    w.BeginFrame(1);
    w.BeginStep(0, "Shader");  // step starts are always shown
    for (int i = 0; i <= 1000; ++i) w.SetProgress(i, 1000);
    w.EndFrame("");
    EXPECT_EQ(Lines(out.str()), (std::vector<std::string>{"PROGRESS 0.0% frame=1 done=0/1",
                                                          "PROGRESS 100.0% frame=1 done=1/1"}));
}

TEST(ProgressWindowMessages, AbortQueriesWriteOnlyWhenAborting) {
    ClearInterrupt();
    ProgressWindow w;
    HWND hWnd = &w;
    for (UINT query : {FLT_CHECKABORT, FLT_CHECKABORT2}) {
        int flag = 0;
        SendMessage(hWnd, query, 0, reinterpret_cast<LPARAM>(&flag));
        EXPECT_EQ(flag, 0);
    }
    EXPECT_EQ(SendMessage(hWnd, FLT_CHECKABORT, 0, 0), 0) << "a null flag pointer is safe";

    RequestInterrupt();
    for (UINT query : {FLT_CHECKABORT, FLT_CHECKABORT2}) {
        int flag = 0;
        SendMessage(hWnd, query, 0, reinterpret_cast<LPARAM>(&flag));
        EXPECT_NE(flag, 0);
    }
    ClearInterrupt();

    w.RequestAbort();
    int flag = 0;
    SendMessage(hWnd, FLT_CHECKABORT2, 0, reinterpret_cast<LPARAM>(&flag));
    EXPECT_NE(flag, 0);
    EXPECT_FALSE(InterruptRequested());
}

TEST(ProgressWindowMessages, CaptionsAndProgressUpdateTheState) {
    ProgressWindow w;
    w.BeginRun(2, 4);
    w.BeginFrame(7);
    w.BeginStep(2, "Shader");
    const char caption[] = "Nimbra Shader (1 of 2)";
    SendMessage(&w, FLT_TEXTMSG2, 0, reinterpret_cast<LPARAM>(caption));
    SendMessage(&w, FLT_PROGRESS, 3, 4);
    ProgressState s = w.State();
    EXPECT_EQ(s.Status(), "Shader: Nimbra Shader (1 of 2)");
    EXPECT_DOUBLE_EQ(s.stepFraction, 0.75);
    EXPECT_DOUBLE_EQ(s.Percent(), 100.0 * (2.75 / 4.0) / 2.0);
    SendMessage(&w, FLT_PROGRESS, 9, 4);  // more done than in all: full
    EXPECT_DOUBLE_EQ(w.State().stepFraction, 1.0);
    SendMessage(&w, FLT_TEXTMSG, 0, 0);
    EXPECT_EQ(w.State().Status(), "Shader");
    EXPECT_EQ(SendMessage(&w, WM_USER + 0x7777, 1, 2), 0);
    EXPECT_EQ(SendMessage(nullptr, FLT_PROGRESS, 1, 2), 0) << "a null window answers 0";

    WindowRendProgress rp(w);
    rp.SetTitle("Preparing Materials");
    EXPECT_EQ(w.State().caption, "Preparing Materials");
    EXPECT_EQ(rp.Progress(1, 2), RENDPROG_CONTINUE);
    w.RequestAbort();
    EXPECT_EQ(rp.Progress(2, 2), RENDPROG_ABORT);
}

TEST(InterruptHandler, FirstCtrlCSetsTheFlagSecondEndsTheProcess) {
    ClearInterrupt();
    InstallInterruptHandler();
    std::raise(SIGINT);
    EXPECT_TRUE(InterruptRequested());
    RemoveInterruptHandler();
    ClearInterrupt();

    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            InstallInterruptHandler();
            std::raise(SIGINT);
            std::raise(SIGINT);
        },
        ::testing::KilledBySignal(SIGINT), "Ctrl-C again");
}

TEST(ImageFilterLerp, EndsMidpointAndLimits) {
    EXPECT_EQ(ImageFilter::Lerp(1000, 50000, 0), 1000);
    EXPECT_EQ(ImageFilter::Lerp(1000, 50000, 65535), 50000);
    EXPECT_EQ(ImageFilter::Lerp(50000, 1000, 65535), 1000);
    EXPECT_EQ(ImageFilter::Lerp(0, 65535, 32768), 32768);
    EXPECT_EQ(ImageFilter::Lerp(0, 65534, 32768), 32767) << "midpoint, rounded";
    EXPECT_EQ(ImageFilter::Lerp(65534, 0, 32768), 32767) << "the same both ways";
    EXPECT_EQ(ImageFilter::Lerp(7, 7, 12345), 7);
    EXPECT_EQ(ImageFilter::Lerp(0, 65535, -5), 0) << "weights below 0 count as 0";
    EXPECT_EQ(ImageFilter::Lerp(0, 65535, 70000), 65535) << "weights above 65535 as 65535";
    // Every weight gives a value between the ends, never decreasing with w.
    int previous = 0;
    for (int w = 0; w <= 65535; w += 97) {
        const int v = ImageFilter::Lerp(0, 40000, w);
        EXPECT_GE(v, previous);
        EXPECT_LE(v, 40000);
        previous = v;
    }
}

}  // namespace
