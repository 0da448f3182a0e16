/// @file farm_slurm_test.cpp
/// @brief `nimbra farm slurm` against a real Slurm cluster of one node on this machine
///        (scripts/local-slurm.sh starts munged, slurmctld and slurmd for the suite and stops
///        them after): a shot split into chunks equals a local render frame for frame, and a
///        failed task is reported with its index and exit code and completes when retried.
#include "common/temp_folder.h"
#include "common/test_paths.h"
#include "program_run.h"
#include "same_frames.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using apptest::Contains;
using apptest::ProgramRun;
using apptest::RunNimbra;
using apptest::RunProgram;

namespace {

const std::string kLocalSlurm = std::string(testpaths::SourceDir()) + "/scripts/local-slurm.sh";

class FarmSlurm : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (geteuid() != 0) return;  // each test skips
        cluster_ = new testfiles::TempFolder("slurm");
        const ProgramRun start =
            RunProgram("/bin/bash", {kLocalSlurm, "start", cluster_->Path("")});
        started_ = start.exitCode == 0;
        startError_ = start.err;
    }
    static void TearDownTestSuite() {
        if (!cluster_) return;
        RunProgram("/bin/bash", {kLocalSlurm, "stop", cluster_->Path("")});
        delete cluster_;
        cluster_ = nullptr;
    }
    void SetUp() override {
        if (geteuid() != 0)
            GTEST_SKIP()
                << "the Slurm daemons of the farm tests need root; run the tests as root "
                   "(as CI does) to include them";
        ASSERT_TRUE(started_) << "the local Slurm cluster did not start: " << startError_;
    }

    static std::string SlurmConf() { return "SLURM_CONF=" + cluster_->Path("slurm.conf"); }

    /// `nimbra` with the cluster's configuration and this test's module registry.
    ProgramRun Nimbra(std::vector<std::string> args) {
        fs::create_directories(folder.Path("config"));
        args.insert(args.begin(), {"--config-dir", folder.Path("config")});
        return RunNimbra(args, {SlurmConf()});
    }

    /// Waits until the job that `submitted` names has left the queue.
    void WaitForJob(const ProgramRun &submitted) {
        const std::string marker = "Submitted Slurm job ";
        const std::size_t at = submitted.out.find(marker);
        ASSERT_NE(at, std::string::npos) << submitted.out << submitted.err;
        const std::string id = submitted.out.substr(
            at + marker.size(),
            submitted.out.find_first_not_of("0123456789", at + marker.size()) - at -
                marker.size());
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
        while (std::chrono::steady_clock::now() < deadline) {
            const ProgramRun queue =
                RunProgram("/usr/bin/squeue", {"-h", "-j", id}, {SlurmConf()});
            if (queue.exitCode == 0 && queue.out.empty()) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        FAIL() << "job " << id << " did not finish within 5 minutes";
    }

    testfiles::TempFolder folder;
    static inline testfiles::TempFolder *cluster_ = nullptr;
    static inline bool started_ = false;
    static inline std::string startError_;
};

std::string FrameFile(const std::string &stem, int frame) {
    char name[16];
    std::snprintf(name, sizeof name, ".%04d.exr", frame);
    return stem + name;
}

/// The line of `farm status` output about task `index`.
std::string TaskLine(const std::string &status, int index) {
    const std::size_t at = status.find("  task " + std::to_string(index) + "  ");
    return at == std::string::npos ? std::string()
                                   : status.substr(at, status.find('\n', at) - at);
}

TEST_F(FarmSlurm, ShotInChunksEqualsALocalRenderFrameForFrame) {
    const std::string scene =
        std::string(testpaths::SourceDir()) + "/examples/spark-fountain.json";
    const ProgramRun submitted = Nimbra(
        {"farm", "slurm", scene, "-o", folder.Path("farm/spark.####.exr"), "--frames", "1-12",
         "--chunk", "5", "--size", "64x36", "--job-dir", folder.Path("job"), "--submit"});
    ASSERT_EQ(submitted.exitCode, 0) << submitted.err;
    EXPECT_TRUE(Contains(submitted.out, "(3 tasks)")) << submitted.out;
    WaitForJob(submitted);
    const ProgramRun status = Nimbra({"farm", "status", folder.Path("job")});
    EXPECT_EQ(status.exitCode, 0) << status.out;

    const ProgramRun local =
        Nimbra({"render", scene, "-o", folder.Path("local/spark.####.exr"), "--frames", "1-12",
                "--size", "64x36", "--progress", "plain"});
    ASSERT_EQ(local.exitCode, 0) << local.err;
    for (int f = 1; f <= 12; ++f)
        EXPECT_TRUE(SameFrames(folder.Path(FrameFile("farm/spark", f)),
                               folder.Path(FrameFile("local/spark", f))));
}

TEST_F(FarmSlurm, FailedTaskIsReportedAndRetryingItCompletesTheShot) {
    // The plate scene reads a background plate per frame; the plate of frame 30 is missing.
    const fs::path examples = fs::path(testpaths::SourceDir()) / "examples";
    fs::copy_file(examples / "plate-scene.json", folder.Path("plate-scene.json"));
    fs::create_directories(folder.Path("plates"));
    for (const char *plate : {"lit.0000.exr", "lit.0060.exr"})
        fs::copy_file(examples / "plates" / plate, folder.Root() / "plates" / plate);
    const std::string job = folder.Path("job");

    const ProgramRun submitted =
        Nimbra({"farm", "slurm", folder.Path("plate-scene.json"), "-o",
                folder.Path("out/plate.####.exr"), "--frames", "0-60x30", "--chunk", "1",
                "--job-dir", job, "--submit"});
    ASSERT_EQ(submitted.exitCode, 0) << submitted.err;
    WaitForJob(submitted);
    const ProgramRun failed = Nimbra({"farm", "status", job});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_TRUE(Contains(TaskLine(failed.out, 1), "frames 30 ")) << failed.out;
    EXPECT_TRUE(Contains(TaskLine(failed.out, 1), "FAILED (exit code 1;")) << failed.out;
    EXPECT_TRUE(Contains(TaskLine(failed.out, 0), " done")) << failed.out;

    fs::copy_file(examples / "plates" / "lit.0030.exr",
                  folder.Root() / "plates" / "lit.0030.exr");
    const ProgramRun retried = Nimbra({"farm", "retry", job, "--submit"});
    ASSERT_EQ(retried.exitCode, 0) << retried.err;
    EXPECT_TRUE(Contains(retried.out, "tasks 1 again")) << retried.out;
    WaitForJob(retried);
    const ProgramRun done = Nimbra({"farm", "status", job});
    EXPECT_EQ(done.exitCode, 0) << done.out;
    for (int f : {0, 30, 60})
        EXPECT_TRUE(fs::exists(folder.Path(FrameFile("out/plate", f)))) << f;
}

}  // namespace
