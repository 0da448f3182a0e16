/// @file helper_json_test.cpp
/// @brief A helper described in a JSON scene file, saved to the binary scene file and loaded
///        back: the same particle systems, plug-ins, parameters, keys and controller settings.
///        Scene files keep the age values within the ranges that effect library files load.
#include "scene_json.h"
#include "setup_fixture.h"

#include "setup/library_dlg.h"
#include "host/properties.h"
#include "host/scene_file.h"
#include "common/temp_folder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace setuptest;

constexpr const char *kScene = R"({"version": 1, "nodes": [
  {"name": "Left", "object": {"class": "Spray", "params": {"Birth Rate": 12}}},
  {"name": "Right", "object": {"class": "Super Spray"}},
  {"name": "Fire", "object": {"class": "Nimbra",
    "params": {"Birth Size": 4, "Death Size": {"keys": [[0, 20], [50, 40]]},
               "Life Ends At": 45, "Every Nth": 3},
    "properties": {"Particle Systems": ["Right", "Left"], "Shading Order": 5,
                   "Material ID": 9, "Update Z-Buffer": true, "Icon Width": 30},
    "subs": {"Particle Shape": {"class": "Test Sprite Shape",
                                "params": {"Death Value": {"keys": [[10, 3], [20, 6]]}}},
             "Color Shader": {"class": "Test Flat Color", "params": {"Birth Value": 0.25}},
             "Size. Controller": {"properties": {"Interpolation": "Smooth Step"}}}}}
]})";

NimbraHelper *HelperNamed(const char *name) {
    INode *node = GetCOREInterface()->GetINodeByName(name);
    return node ? dynamic_cast<NimbraHelper *>(node->GetObjectRef()) : nullptr;
}

float PlugInValue(NimbraHelper *helper, NimbraHelper::Role role, int param, TimeValue t) {
    float v = 0.0f;
    PlugInOf(helper, role)->block->GetValue(param, t, v);
    return v;
}

/// Everything the scene file set, checked on the helper named "Fire".
void ExpectTheFileSettings(const char *when) {
    SCOPED_TRACE(when);
    NimbraHelper *h = HelperNamed("Fire");
    ASSERT_NE(h, nullptr);
    const TimeValue frame = GetTicksPerFrame();

    ASSERT_EQ(h->NumListedSystems(), 2);
    EXPECT_STREQ(h->ParticleSystems()[0]->GetName(), "Right");
    EXPECT_STREQ(h->ParticleSystems()[1]->GetName(), "Left");

    EXPECT_FLOAT_EQ(h->AgeFloat(NimbraHelper::kBirthSize, 0), 4.0f);
    EXPECT_EQ(h->AgeBlock()->NumKeys(NimbraHelper::kDeathSize), 2);
    EXPECT_FLOAT_EQ(h->AgeFloat(NimbraHelper::kDeathSize, 25 * frame), 30.0f);
    EXPECT_EQ(h->AgeInt(NimbraHelper::kLifeEnds, 0), 45 * frame);
    EXPECT_EQ(h->AgeInt(NimbraHelper::kShadingOrder, 0), 5);
    EXPECT_EQ(h->AgeInt(NimbraHelper::kMaterialId, 0), 9);

    EXPECT_EQ(h->Shape()->ClassID(), kTestSpriteShapeClassID);
    EXPECT_EQ(h->ColorShader()->ClassID(), kTestFlatColorClassID);
    EXPECT_EQ(h->Composite()->ClassID(), kDefaultCompositeClassID);
    EXPECT_FLOAT_EQ(
        PlugInValue(h, NimbraHelper::kShapeRole, TestPlugIn::kDeathValue, 15 * frame), 4.5f);
    EXPECT_FLOAT_EQ(PlugInValue(h, NimbraHelper::kColorRole, TestPlugIn::kBirthValue, 0),
                    0.25f);

    IObjectProperties *props = GetObjectProperties(h);
    ASSERT_NE(props, nullptr);
    EXPECT_EQ(props->GetProperty("Update Z-Buffer"), PropertyValue(true));
    EXPECT_EQ(props->GetProperty("Icon Width"), PropertyValue(30.0f));
    EXPECT_EQ(h->AgeInt(NimbraHelper::kEveryNth, 0), 3);

    // The size controller (sub-object) kept its interpolation; the others their default.
    IObjectProperties *size = GetObjectProperties(h->GetHelperController(1));
    IObjectProperties *trans = GetObjectProperties(h->GetHelperController(0));
    ASSERT_NE(size, nullptr);
    ASSERT_NE(trans, nullptr);
    EXPECT_EQ(size->GetProperty("Interpolation"), PropertyValue(std::string("Smooth Step")));
    EXPECT_EQ(trans->GetProperty("Interpolation"), PropertyValue(std::string("Interpolate")));
}

TEST_F(HelperTest, AHelperFromASceneFileSurvivesTheBinarySceneFile) {
    ReadSceneJson(kScene, "helper.json", std::filesystem::temp_directory_path());
    ExpectTheFileSettings("read from JSON");

    const std::vector<std::uint8_t> bytes = SaveSceneToMemory();
    GetCOREInterface()->ResetScene();
    ASSERT_EQ(HelperNamed("Fire"), nullptr);
    LoadSceneFromMemory(bytes, "helper scene");
    ExpectTheFileSettings("loaded from the binary scene");
}

TEST_F(HelperTest, SceneFileErrorsNameTheHelpersUnknownClassOrParameter) {
    auto errorOf = [](const std::string &text) -> std::string {
        try {
            ReadSceneJson(text, "bad.json", std::filesystem::temp_directory_path());
        } catch (const SceneJsonError &e) {
            return e.what();
        }
        return "";
    };
    const std::string badShape = errorOf(R"({"version": 1, "nodes": [{"name": "Fire",
        "object": {"class": "Nimbra", "subs": {"Particle Shape": {"class": "Fire Ball"}}}}]})");
    EXPECT_NE(badShape.find("bad.json"), std::string::npos) << badShape;
    EXPECT_NE(badShape.find("Fire Ball"), std::string::npos) << badShape;
    EXPECT_NE(badShape.find("Particle Shape"), std::string::npos) << badShape;

    const std::string badParam = errorOf(R"({"version": 1, "nodes": [{"name": "Fire",
        "object": {"class": "Nimbra", "params": {"Birth Sise": 3}}}]})");
    EXPECT_NE(badParam.find("Birth Sise"), std::string::npos) << badParam;
    EXPECT_NE(badParam.find("nodes[0]"), std::string::npos) << badParam;
}

/// The message of reading `text` as "bad.json", or "" when it reads.
std::string SceneErrorOf(const std::string &text) {
    try {
        ReadSceneJson(text, "bad.json", std::filesystem::temp_directory_path());
    } catch (const SceneJsonError &e) {
        return e.what();
    }
    return "";
}

/// A scene of one helper named "Fire" with `params` (a JSON object).
std::string HelperScene(const std::string &params) {
    return R"({"version": 1, "nodes": [{"name": "Fire", "object": {"class": "Nimbra",
        "params": )" +
           params + "}}]}";
}

/// The age parameters that scene files set by name (switches take true or false) and whose
/// range has an end.
std::vector<const ParamSpec *> BoundedNamedAgeParams() {
    std::vector<const ParamSpec *> params;
    for (int i = 0; i < NimbraHelper::kAgeParams; ++i) {
        const ParamSpec &s = NimbraHelper::AgeParamSpecs()[i];
        if (*s.name && s.type != TYPE_BOOL &&
            (std::isfinite(s.range.low) || std::isfinite(s.range.high)))
            params.push_back(&s);
    }
    return params;
}

std::string Number(double v) {
    return nlohmann::json(v).dump();
}

TEST_F(HelperTest, SceneFilesRefuseAgeValuesOutsideTheirRangesAtTheirPath) {
    const std::vector<const ParamSpec *> bounded = BoundedNamedAgeParams();
    ASSERT_FALSE(bounded.empty());
    for (const ParamSpec *s : bounded) {
        const std::string name = s->name;
        const double inside = std::isfinite(s->range.low) ? s->range.low : s->range.high;
        for (const double outside : {s->range.low - 1.0, s->range.high + 0.5}) {
            if (!std::isfinite(outside)) continue;
            SCOPED_TRACE(name + " " + Number(outside));
            const std::string at = "bad.json: nodes[0].object.params[\"" + name + "\"]";
            const std::string constant =
                SceneErrorOf(HelperScene("{\"" + name + "\": " + Number(outside) + "}"));
            EXPECT_NE(constant.find(at + ": expected a "), std::string::npos) << constant;
            const std::string keyed = SceneErrorOf(
                HelperScene("{\"" + name + "\": {\"keys\": [[0, " + Number(inside) +
                            "], [10, " + Number(outside) + "]]}}"));
            EXPECT_NE(keyed.find(at + ".keys[1][1]: expected a "), std::string::npos) << keyed;
        }
    }
}

TEST_F(HelperTest, AHelperAtTheEndsOfItsRangesSavesAPresetThatLoads) {
    testfiles::TempFolder folder;
    for (const bool high : {false, true}) {
        SCOPED_TRACE(high ? "upper ends" : "lower ends");
        GetCOREInterface()->ResetScene();
        std::string params;
        for (const ParamSpec *s : BoundedNamedAgeParams()) {
            const float end = high && std::isfinite(s->range.high) ? s->range.high
                              : std::isfinite(s->range.low)        ? s->range.low
                                                                   : s->range.high;
            params +=
                (params.empty() ? "\"" : ", \"") + std::string(s->name) + "\": " + Number(end);
        }
        ReadSceneJson(HelperScene("{" + params + "}"), "ends.json", folder.Path(""));
        NimbraHelper *saved = HelperNamed("Fire");
        ASSERT_NE(saved, nullptr);
        const std::string path = folder.Path("ends.nbr");
        ASSERT_EQ(WriteLibraryFile(*saved, path), PresetOutcome::Done);
        NimbraHelper *loaded = NewHelperNode();
        ASSERT_EQ(ReadLibraryFile(*loaded, path), PresetOutcome::Done);
        for (const ParamSpec *s : BoundedNamedAgeParams()) {
            const int i = static_cast<int>(s - NimbraHelper::AgeParamSpecs());
            EXPECT_EQ(loaded->AgeFloat(i, 0), saved->AgeFloat(i, 0)) << s->name;
        }
    }
}

}  // namespace
