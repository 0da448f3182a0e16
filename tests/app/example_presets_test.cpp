/// @file example_presets_test.cpp
/// @brief Every helper of every example scene, saved as a preset and applied in a copy of the
///        scene that keeps only the helper's particle systems, renders the same frame.
#include "common/temp_folder.h"
#include "example_scenes.h"
#include "program_run.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>

namespace fs = std::filesystem;
using apptest::ProgramRun;
using apptest::RunNimbra;
using testfiles::ReadBytes;

namespace {

const fs::path kExamples = ExamplesFolder();

/// The scene's helper objects (the nodes' objects of class "Nimbra"), with their node names.
void FindHelpers(nlohmann::json &nodes,
                 std::vector<std::pair<std::string, nlohmann::json *>> &out) {
    for (nlohmann::json &node : nodes) {
        const auto object = node.find("object");
        if (object != node.end() && object->is_object() &&
            object->value("class", "") == "Nimbra")
            out.emplace_back(node.value("name", ""), &*object);
        if (const auto children = node.find("children"); children != node.end())
            FindHelpers(*children, out);
    }
}

class ExamplePresets : public ::testing::TestWithParam<std::string> {
protected:
    /// The examples mirrored into the test's folder, so that a scene written there resolves
    /// its relative paths.
    void SetUp() override { MirrorExamples(folder.Root()); }

    ProgramRun Run(const std::vector<std::string> &args) {
        return RunNimbra(args, {"NIMBRA_CONFIG_DIR=" + folder.Path("config")}, folder.Path(""));
    }

    /// Frame 10 of `scene` at a small size, as written to a PNG.
    std::vector<std::uint8_t> Render(const std::string &scene, const std::string &image) {
        const ProgramRun run = Run({"render", scene, "-o", image + ".####.png", "--frames",
                                    "10", "--size", "96x54", "--progress", "plain"});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return ReadBytes(folder.Path(image + ".0010.png"));
    }

    testfiles::TempFolder folder;
};

TEST_P(ExamplePresets, RenderTheSameThroughTheirPresets) {
    const std::string name = GetParam();
    nlohmann::json scene = nlohmann::json::parse(std::ifstream(kExamples / name));
    std::vector<std::pair<std::string, nlohmann::json *>> helpers;
    FindHelpers(scene["nodes"], helpers);
    if (helpers.empty()) GTEST_SKIP() << name << " has no helper";

    const std::vector<std::uint8_t> original = Render(name, "original");
    ASSERT_FALSE(original.empty());
    for (std::size_t i = 0; i < helpers.size(); ++i) {
        auto &[helperName, object] = helpers[i];
        const std::string preset = "helper" + std::to_string(i) + ".nbr";
        const ProgramRun save =
            Run({"preset", "save", name, "--helper", helperName, "-o", preset});
        ASSERT_EQ(save.exitCode, 0) << helperName << ": " << save.err;
        // Only what a preset does not hold stays: the particle systems the helper draws, the
        // scene-bound switches a preset leaves out, and a volume shape's density falloff.
        nlohmann::json kept = nlohmann::json::object();
        for (const char *name : {"Particle Systems", "Shading Order", "Use Emitter Age"})
            if (object->contains("properties") && (*object)["properties"].contains(name))
                kept[name] = (*object)["properties"][name];
        nlohmann::json params = nlohmann::json::object();
        if (object->contains("params") && (*object)["params"].contains("This Shader Active"))
            params["This Shader Active"] = (*object)["params"]["This Shader Active"];
        // A volume shape's library record leaves out its density falloff.
        nlohmann::json shapeKept = nlohmann::json::object();
        if (object->contains("subs") && (*object)["subs"].contains("Particle Shape")) {
            const nlohmann::json &shape = (*object)["subs"]["Particle Shape"];
            if (shape.contains("properties") && shape["properties"].contains("Density Falloff"))
                shapeKept["Density Falloff"] = shape["properties"]["Density Falloff"];
        }
        *object = {{"class", "Nimbra"}, {"preset", preset}, {"properties", kept}};
        if (!params.empty()) (*object)["params"] = params;
        if (!shapeKept.empty())
            (*object)["subs"] = {{"Particle Shape", {{"properties", shapeKept}}}};
    }
    std::ofstream(folder.Path("through-presets.json")) << scene.dump(2);
    EXPECT_TRUE(Render("through-presets.json", "through-presets") == original)
        << name << " renders otherwise when its helpers come from their presets (compare "
        << folder.Path("original.0010.png") << " and through-presets.0010.png)";
}

INSTANTIATE_TEST_SUITE_P(EveryExample, ExamplePresets, ::testing::ValuesIn(ExampleScenes()),
                         ExampleTestName);

}  // namespace
