/// @file frame_range_test.cpp
/// @brief The frame-range grammar, thread counts, output patterns and frame sizes of
///        `nimbra render`.
#include "frame_range.h"
#include "render_job.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Frames = std::vector<int>;

/// The message of parsing `text`, or "" when it parses.
std::string ErrorOf(const std::string &text) {
    try {
        ParseFrameRange(text);
    } catch (const FrameRangeError &e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST(FrameRange, SingleFramesAndRangesInBothDirections) {
    EXPECT_EQ(ParseFrameRange("12"), Frames{12});
    EXPECT_EQ(ParseFrameRange("1-5"), (Frames{1, 2, 3, 4, 5}));
    EXPECT_EQ(ParseFrameRange("5-1"), (Frames{5, 4, 3, 2, 1}));
    EXPECT_EQ(ParseFrameRange("7-7"), Frames{7});
    EXPECT_EQ(ParseFrameRange("+3"), Frames{3});
    EXPECT_EQ(ParseFrameRange("  4  "), Frames{4});
}

TEST(FrameRange, StepsWalkFromTheFirstFrameTowardsTheLast) {
    EXPECT_EQ(ParseFrameRange("1-10x4"), (Frames{1, 5, 9}));
    EXPECT_EQ(ParseFrameRange("1-10:4"), (Frames{1, 5, 9}));
    EXPECT_EQ(ParseFrameRange("10-1:4"), (Frames{10, 6, 2}));
    EXPECT_EQ(ParseFrameRange("1-3x10"), Frames{1});
    EXPECT_EQ(ParseFrameRange("0-100x50"), (Frames{0, 50, 100}));
}

TEST(FrameRange, NegativeFrames) {
    EXPECT_EQ(ParseFrameRange("-3"), Frames{-3});
    EXPECT_EQ(ParseFrameRange("-2-2"), (Frames{-2, -1, 0, 1, 2}));
    EXPECT_EQ(ParseFrameRange("-5--3"), (Frames{-5, -4, -3}));
    EXPECT_EQ(ParseFrameRange("1--1"), (Frames{1, 0, -1}));
    EXPECT_EQ(ParseFrameRange("-10--1x3"), (Frames{-10, -7, -4, -1}));
}

TEST(FrameRange, ListsByCommasOrSpacesWithoutDuplicates) {
    EXPECT_EQ(ParseFrameRange("3,7,10-12"), (Frames{3, 7, 10, 11, 12}));
    EXPECT_EQ(ParseFrameRange("3 7  10-12"), (Frames{3, 7, 10, 11, 12}));
    EXPECT_EQ(ParseFrameRange("3, 7 ,\t10-12"), (Frames{3, 7, 10, 11, 12}));
    // Each frame once, where it first appears.
    EXPECT_EQ(ParseFrameRange("5,1-6,3"), (Frames{5, 1, 2, 3, 4, 6}));
    EXPECT_EQ(ParseFrameRanges({"1-3", "2-5", "9"}), (Frames{1, 2, 3, 4, 5, 9}));
}

TEST(FrameRange, ErrorsQuoteTheTextAndSayWhereAndWhat) {
    EXPECT_EQ(ErrorOf("1-"), "bad frame range \"1-\" at character 3: expected a frame number");
    EXPECT_EQ(ErrorOf("a"), "bad frame range \"a\" at character 1: expected a frame number");
    EXPECT_EQ(ErrorOf("1,,2"),
              "bad frame range \"1,,2\" at character 3: expected a frame after ','");
    EXPECT_EQ(ErrorOf("1,2,"),
              "bad frame range \"1,2,\" at character 5: expected a frame after ','");
    EXPECT_EQ(ErrorOf(",1"),
              "bad frame range \",1\" at character 1: expected a frame before ','");
    EXPECT_EQ(ErrorOf(""), "bad frame range \"\" at character 1: expected at least one frame");
    EXPECT_EQ(ErrorOf("  "),
              "bad frame range \"  \" at character 3: expected at least one frame");
    EXPECT_EQ(ErrorOf("1-10x0"),
              "bad frame range \"1-10x0\" at character 6: the step must be at "
              "least 1");
    EXPECT_EQ(ErrorOf("1-10x"), "bad frame range \"1-10x\" at character 6: expected a step");
    EXPECT_EQ(ErrorOf("5x2"),
              "bad frame range \"5x2\" at character 2: a step needs a range "
              "(\"1-100x5\")");
    EXPECT_EQ(ErrorOf("1-5y"),
              "bad frame range \"1-5y\" at character 4: expected ',', a space or "
              "the end");
    EXPECT_EQ(ErrorOf("1.5"),
              "bad frame range \"1.5\" at character 2: expected ',', a space or "
              "the end");
    EXPECT_EQ(ErrorOf("--1"),
              "bad frame range \"--1\" at character 2: expected a frame number");
}

TEST(FrameRange, RefusesFramesAndCountsBeyondTheLimits) {
    EXPECT_NE(ErrorOf("99999999999999999999").find("a frame number beyond 1000000"),
              std::string::npos);
    EXPECT_EQ(ParseFrameRange("-1000000"), Frames{-1000000});
    EXPECT_NE(ErrorOf("-1000000-1000000").find("more than 1000000 frames"), std::string::npos);
    EXPECT_NE(ErrorOf("-600000-0 1-600000").find("more than 1000000 frames"),
              std::string::npos);
    EXPECT_EQ(ParseFrameRange("1-1000000x1000").size(), 1000u);
}

TEST(RenderOptions, ThreadCounts) {
    EXPECT_EQ(ResolveThreads(3, 8), 3);
    EXPECT_EQ(ResolveThreads(16, 8), 16);  // more than the cores: as asked
    EXPECT_EQ(ResolveThreads(0, 8), 8);
    EXPECT_EQ(ResolveThreads(-1, 8), 7);
    EXPECT_EQ(ResolveThreads(-7, 8), 1);
    EXPECT_EQ(ResolveThreads(-8, 8), 1);  // always at least one
    EXPECT_EQ(ResolveThreads(-100, 8), 1);
    EXPECT_EQ(ResolveThreads(0, 0), 1);  // core count unknown
}

TEST(RenderOptions, OutputPatterns) {
    EXPECT_EQ(OutputPatternProblem("out/beauty.####.exr", 10), "");
    EXPECT_EQ(OutputPatternProblem("out/beauty.%04d.png", 10), "");
    EXPECT_EQ(OutputPatternProblem("still.tif", 1), "");
    EXPECT_EQ(OutputPatternProblem("f.####.jpg", 2), "");
    EXPECT_NE(OutputPatternProblem("still.tif", 2).find("no frame number in the file name"),
              std::string::npos);
    EXPECT_NE(OutputPatternProblem("beauty.####", 2).find("no extension"), std::string::npos);
    EXPECT_EQ(OutputPatternProblem("beauty.####.xyz", 2),
              "no image format writes '.xyz' files");
    EXPECT_EQ(OutputPatternProblem("", 1), "empty file name");
}

TEST(RenderOptions, ImageSizes) {
    EXPECT_EQ(ParseImageSize("1280x720"), std::make_pair(1280, 720));
    EXPECT_EQ(ParseImageSize("4X3"), std::make_pair(4, 3));
    for (const char *bad :
         {"1280", "1280x", "x720", "0x10", "10x-1", "1280x720x3", "100000x1", "65535x65535"})
        EXPECT_THROW(ParseImageSize(bad), UsageError) << bad;
}
