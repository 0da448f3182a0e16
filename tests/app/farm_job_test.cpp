/// @file farm_job_test.cpp
/// @brief Splitting a shot: chunks written as range lists that read back as the same frames,
///        and the command lines `nimbra farm` refuses before anything reaches a farm.
#include "common/temp_folder.h"
#include "farm_job.h"
#include "frame_range.h"
#include "program_run.h"

#include <gtest/gtest.h>

using apptest::Contains;
using apptest::ProgramRun;
using apptest::RunNimbra;

namespace {

struct CompactCase {
    std::vector<int> frames;
    std::string text;
};

class CompactFrames : public ::testing::TestWithParam<CompactCase> {};

TEST_P(CompactFrames, ReadBackAsTheSameFramesInTheSameOrder) {
    const CompactCase &c = GetParam();
    EXPECT_EQ(CompactFrameList(c.frames), c.text);
    EXPECT_EQ(ParseFrameRange(CompactFrameList(c.frames)), c.frames);
}

INSTANTIATE_TEST_SUITE_P(Lists, CompactFrames,
                         ::testing::Values(CompactCase{{1, 2, 3, 4, 5}, "1-5"},
                                           CompactCase{{1, 11, 21, 31}, "1-31:10"},
                                           CompactCase{{5, 4, 3}, "5-3"},
                                           CompactCase{{10, 6, 2}, "10-2:4"},
                                           CompactCase{{3, 7, 10, 11, 12}, "3,7,10-12"},
                                           CompactCase{{-3, -2, -1, 0}, "-3-0"},
                                           CompactCase{{4, 5}, "4-5"},
                                           CompactCase{{1, 3}, "1,3"}, CompactCase{{7}, "7"},
                                           CompactCase{{1, 2, 4, 8, 16}, "1-2,4,8,16"}));

TEST(FarmCommand, RefusesShotsThatCannotRender) {
    testfiles::TempFolder folder;
    const std::string scene =
        std::string(testpaths::SourceDir()) + "/examples/spark-fountain.json";
    const std::string out = folder.Path("out.####.exr");
    const struct {
        std::vector<std::string> args;
        const char *message;
    } cases[] = {
        {{"farm", "slurm", folder.Path("missing.json"), "-o", out}, "no such scene file"},
        {{"farm", "slurm", scene, "-o", out, "--chunk", "0"}, "at least one frame"},
        {{"farm", "openjd", scene, "-o", folder.Path("out.exr"), "--frames", "1-3"},
         "frame number"},
        {{"farm", "slurm", scene, "-o", out, "--frames", "1-x"}, "1-x"},
    };
    for (const auto &c : cases) {
        const ProgramRun run = RunNimbra(c.args);
        EXPECT_EQ(run.exitCode, 2) << c.message;
        EXPECT_TRUE(Contains(run.err, c.message)) << run.err;
        EXPECT_FALSE(std::filesystem::exists(folder.Path("farm"))) << c.message;
    }
}

}  // namespace
