/// @file info_command_test.cpp
/// @brief Runs the `nimbra` program: `info` on the test modules, exit codes, help, version.
#include "common/test_paths.h"
#include "program_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using apptest::Contains;
using apptest::ProgramRun;
using apptest::RunNimbra;

namespace {

std::string Folder(const char *name) {
    return (fs::path(testpaths::TestModuleDir()) / name).string();
}

}  // namespace

TEST(InfoCommand, ListsModulesWithTheirClasses) {
    const ProgramRun run = RunNimbra({"--plugins", Folder("good"), "info"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Contains(run.out, Folder("good"))) << run.out;
    EXPECT_TRUE(Contains(run.out, "test_good: Good test module")) << run.out;
    EXPECT_TRUE(Contains(run.out, Folder("good") + "/test_good.so")) << run.out;
    // Class name, super class, class ID in hex and category on one line.
    EXPECT_TRUE(
        Contains(run.out, "Good Alpha  0x0100 reference target  0x7E570001, 0x00000001  Test"))
        << run.out;
    EXPECT_TRUE(Contains(run.out, "Good Beta   0x0050 helper")) << run.out;
    EXPECT_TRUE(run.err.empty()) << run.err;
}

TEST(InfoCommand, ListsFailuresAndExitsWithOne) {
    // Global options may come after the command too.
    const ProgramRun run =
        RunNimbra({"--plugins", Folder("wrong_version"), "info", "--plugins", Folder("good")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Contains(run.out, "test_good: Good test module")) << run.out;
    const std::string reason = "wrong interface version 0x07D00400 (expected 0x07D00500)";
    EXPECT_TRUE(Contains(
        run.out, "Failed:\n  " + Folder("wrong_version") + "/test_wrong_version.so: " + reason))
        << run.out;
    // The refusal also went through the message service, which batch mode prints to stderr.
    EXPECT_TRUE(Contains(run.err, "Module not loaded: ")) << run.err;
    EXPECT_TRUE(Contains(run.err, reason)) << run.err;
}

TEST(InfoCommand, SearchesThePluginPathWhenNoDirectoryIsGiven) {
    const ProgramRun run =
        RunNimbra({"info"}, {"NIMBRA_PLUGIN_PATH=" + Folder("linked") + "::" + Folder("good")});
    EXPECT_EQ(run.exitCode, 1);  // test_conduit is no module
    const auto base = run.out.find("test_base:");
    const auto addon = run.out.find("test_addon:");
    const auto good = run.out.find("test_good:");
    ASSERT_NE(base, std::string::npos) << run.out;
    ASSERT_NE(good, std::string::npos) << run.out;
    EXPECT_LT(base, addon);
    EXPECT_LT(addon, good);
}

TEST(InfoCommand, ExportsTheConfigurationDirectoryToTheModules) {
    const testfiles::TempFolder config;
    const std::string expected = fs::absolute(config.Root()).lexically_normal().string();
    const ProgramRun given = RunNimbra(
        {"--config-dir", config.Root().string(), "--plugins", Folder("config_probe"), "info"},
        {"NIMBRA_CONFIG_DIR=/inherited"});
    EXPECT_EQ(given.exitCode, 0) << given.err;
    EXPECT_TRUE(Contains(given.out, "Configuration directory: " + expected)) << given.out;
    EXPECT_TRUE(Contains(given.out, "configuration directory at attach: " + expected))
        << given.out;

    // Without the option, an inherited variable is left as it is.
    const ProgramRun inherited = RunNimbra({"--plugins", Folder("config_probe"), "info"},
                                           {"NIMBRA_CONFIG_DIR=/inherited"});
    EXPECT_TRUE(Contains(inherited.out, "configuration directory at attach: /inherited"))
        << inherited.out;
}

TEST(CommandLine, UsageErrorsExitWithTwo) {
    const std::vector<std::vector<std::string>> wrongLines = {
        {},                                     // no command
        {"--bogus", "info"},                    // unknown option
        {"info", "extra"},                      // unexpected argument
        {"--plugins", "/no/such/dir", "info"},  // missing directory
        {"--config-dir", "/no/such/dir", "info"},
    };
    for (const auto &line : wrongLines) {
        const ProgramRun run = RunNimbra(line);
        EXPECT_EQ(run.exitCode, 2) << testing::PrintToString(line) << "\n" << run.err;
        EXPECT_FALSE(run.err.empty()) << testing::PrintToString(line);
    }
}

TEST(CommandLine, HelpDescribesTheCommandsWithExamples) {
    const ProgramRun help = RunNimbra({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char *part : {"info", "--plugins", "--config-dir", "--version",
                             "NIMBRA_PLUGIN_PATH", "Examples:", "Exit codes"})
        EXPECT_TRUE(Contains(help.out, part)) << part << "\n" << help.out;
    const ProgramRun infoHelp = RunNimbra({"info", "--help"});
    EXPECT_EQ(infoHelp.exitCode, 0);
    EXPECT_TRUE(Contains(infoHelp.out, "Examples:")) << infoHelp.out;
}

TEST(CommandLine, VersionPrintsTheVersion) {
    const ProgramRun run = RunNimbra({"--version"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(Contains(run.out, std::string("nimbra ") + NIMBRA_VERSION)) << run.out;
}

TEST(InfoCommand, ListsTheMainModuleAndTheRegistryByCategory) {
    const testfiles::TempFolder folder;
    const fs::path &config = folder.Root();
    const ProgramRun run =
        RunNimbra({"--config-dir", config.string(), "--plugins", Folder("framework"), "info"});

    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(Contains(run.out, "  nimbra: Nimbra\n")) << run.out;
    EXPECT_TRUE(Contains(run.out, "  test_effect: Test effect module\n")) << run.out;
    // The effect module registered its classes; the main module lists them by category.
    const auto registry = run.out.find("\nPlug-in registry:\n");
    ASSERT_NE(registry, std::string::npos) << run.out;
    const auto at = [&](const std::string &part) {
        const auto pos = run.out.find(part, registry);
        EXPECT_NE(pos, std::string::npos) << part << " missing from\n" << run.out;
        return pos;
    };
    EXPECT_LT(at("  " + (config / "nimbra.reg").string() + ": 4 records\n"),
              at("Particle shapes (0x364A42DD):\n"));
    EXPECT_LT(at("Particle shapes (0x364A42DD):\n"), at("Bare Shape "));
    EXPECT_LT(at("Bare Shape "), at("Color shaders (0x41035834):\n"));
    EXPECT_LT(at("Color shaders (0x41035834):\n"), at("Bare Color "));
    EXPECT_LT(at("Bare Color "), at("Composites (0x7BD26B7E):\n"));
    EXPECT_LT(at("Composites (0x7BD26B7E):\n"), at("Bare Composite "));
    EXPECT_LT(at("Bare Composite "), at("Controllers (0x3D6F512D):\n"));
    EXPECT_LT(at("Controllers (0x3D6F512D):\n"), at("Bare Controller "));
    EXPECT_TRUE(Contains(run.out, "0x7E5700B0  Test Shapes")) << run.out;
    EXPECT_TRUE(run.err.empty()) << run.err;
}

TEST(InfoCommand, ListsTheStandardPlugInsWithTheHostAndInTheRegistry) {
    const testfiles::TempFolder config;
    // The program's own modules, from the plug-in folder beside it.
    const ProgramRun run = RunNimbra({"--config-dir", config.Root().string(), "info"});
    const bool registered = fs::exists(config.Root() / "nimbra.reg");

    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(registered);
    EXPECT_TRUE(Contains(run.out, "  zephranoise: Nimbra Noise PlugIn\n")) << run.out;
    EXPECT_TRUE(Contains(run.out, "  zephravolume: Nimbra Volume FX Plug-Ins\n")) << run.out;
    const auto registry = run.out.find("\nPlug-in registry:\n");
    ASSERT_NE(registry, std::string::npos) << run.out;
    const std::string classes = run.out.substr(0, registry);
    const std::string records = run.out.substr(registry);
    // The line naming `name` in `text`, from the name to the end of the line.
    const auto lineOf = [](const std::string &text, const std::string &name) {
        const auto at = text.find("  " + name + "  ");
        return at == std::string::npos ? std::string()
                                       : text.substr(at, text.find('\n', at) - at);
    };
    struct Expected {
        const char *name, *id, *category, *section;
    };
    for (const Expected &e :
         {Expected{"FireBall", "0x5DB61872", "FireBall Shader", "Particle shapes"},
          Expected{"Circle", "0x282C0A37", "Simple Smoke", "Particle shapes"},
          Expected{"Default Color", "0x74874163", "Color Gradient", "Color shaders"},
          Expected{"Default Composite", "0x49120A27", "Nimbra Plugins", "Composites"},
          Expected{"Flame 2D", "0x364403B7", "Flame 2D Shader", "Particle shapes"},
          Expected{"Smoke", "0x2E9C15D4", "Smoke Shader", "Particle shapes"},
          Expected{"Plasma", "0x0DB440DE", "Plasma Shader", "Particle shapes"},
          Expected{"Spark", "0x30C02456", "Spark Shader", "Particle shapes"},
          Expected{"Noise", "0x2CC66AC1", "Noise Shader", "Particle shapes"},
          Expected{"Combustion", "0x0EEA6E22", "VolumeFX", "Particle shapes"},
          Expected{"Volume Color", "0x7B0A6290", "VolumeFX", "Color shaders"},
          Expected{"InterRotation", "0x54C33997", "VolumeFX", "Composites"},
          Expected{"PuffyClouds", "0x67C85E06", "VolumeFX", "Particle shapes"},
          Expected{"FractalClouds", "0x39C71483", "VolumeFX", "Particle shapes"},
          Expected{"Gradient Color", "0x49B723EB", "VolumeFX / Image Filter",
                   "Color shaders"}}) {
        SCOPED_TRACE(e.name);
        const std::string cls = lineOf(classes, e.name);
        EXPECT_TRUE(Contains(cls, "0x0100 reference target")) << run.out;
        EXPECT_TRUE(Contains(cls, std::string(", ") + e.id + "  " + e.category)) << run.out;
        const std::string record = lineOf(records, e.name);
        EXPECT_TRUE(Contains(record, std::string(e.id) + "  " + e.category)) << run.out;
        // Under its category's heading, before the next one.
        const auto section = records.find(std::string(e.section) + " (0x");
        const auto at = records.find("  " + std::string(e.name) + "  ");
        ASSERT_NE(section, std::string::npos) << run.out;
        EXPECT_LT(section, at);
        const auto nextSection = records.find(" (0x", records.find('\n', section));
        EXPECT_TRUE(nextSection == std::string::npos || at < nextSection) << run.out;
    }
    // The ray-march atmospheric, one class per mode.
    EXPECT_TRUE(Contains(run.out, "  zephraray: Nimbra RayTracing PlugIns\n")) << run.out;
    for (const char *mode : {"GhostBeam", "Combustion", "InkToon"}) {
        const std::string name = std::string("Nimbra - ") + mode;
        EXPECT_TRUE(Contains(lineOf(classes, name), "0x1010 atmospheric")) << run.out;
        EXPECT_TRUE(Contains(lineOf(records, name), "ZephraRayTracer")) << run.out;
    }
}

TEST(InfoCommand, NamesTheNoiseInstructionSetTheEnvironmentForces) {
    const testfiles::TempFolder config;
    const ProgramRun best = RunNimbra({"--config-dir", config.Root().string(), "info"});
    const ProgramRun forced = RunNimbra({"--config-dir", config.Root().string(), "info"},
                                        {"NIMBRA_NOISE_TARGET=SCALAR"});
    EXPECT_TRUE(Contains(forced.out, "Noise instruction set: SCALAR (this CPU: "))
        << forced.out;
    // Without the variable the widest set this CPU has is chosen: the first of its list.
    const auto listed = best.out.find("(this CPU: ");
    ASSERT_NE(listed, std::string::npos) << best.out;
    const std::string widest =
        best.out.substr(listed + 11, best.out.find_first_of(" )", listed + 11) - listed - 11);
    EXPECT_TRUE(Contains(best.out, "Noise instruction set: " + widest + " (")) << best.out;
}
