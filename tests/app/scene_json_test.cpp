/// @file scene_json_test.cpp
/// @brief Reading JSON scene files into the host's scene: node trees and transforms, keyed
///        values, conversion by dimension, properties and sub-objects by name, render
///        settings and the queue, and errors that name the file, the JSON path and what was
///        expected.
#include "app_test_classes.h"
#include "scene_json.h"

#include "host/camera.h"
#include "host/interface.h"
#include "host/material.h"
#include "host/paramblock.h"
#include "host/particles.h"
#include "common/temp_folder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <numbers>

namespace fs = std::filesystem;
using apptest::TestPlug;
using apptest::TestWidget;

namespace {

constexpr float kPi = std::numbers::pi_v<float>;

class SceneJsonTest : public ::testing::Test {
protected:
    void SetUp() override {
        apptest::RegisterTestClasses();
        GetCOREInterface()->ResetScene();
    }
    void TearDown() override { GetCOREInterface()->ResetScene(); }

    /// Reads `body` (the members after "version": 1) as the file "test.json".
    SceneDescription Read(const std::string &body) {
        return ReadSceneJson("{\"version\": 1" + (body.empty() ? "" : ", " + body) + "}",
                             "test.json", folder.Path(""));
    }
    /// The message of reading `text` as it is, or "" when it reads.
    std::string ErrorOfText(const std::string &text) {
        try {
            ReadSceneJson(text, "test.json", folder.Path(""));
        } catch (const SceneJsonError &e) {
            return e.what();
        }
        return "";
    }
    std::string ErrorOf(const std::string &body) {
        return ErrorOfText("{\"version\": 1, " + body + "}");
    }

    static INode *Node(const char *name) { return GetCOREInterface()->GetINodeByName(name); }
    template <typename T>
    static T *ObjectOf(const char *name) {
        INode *node = Node(name);
        return node ? dynamic_cast<T *>(node->GetObjectRef()) : nullptr;
    }
    static float FloatParam(IParamBlock *block, const char *name, TimeValue t = 0) {
        float v = 0;
        block->GetValue(block->FindParamByName(name), t, v);
        return v;
    }
    static int IntParam(IParamBlock *block, const char *name, TimeValue t = 0) {
        int v = 0;
        block->GetValue(block->FindParamByName(name), t, v);
        return v;
    }

    testfiles::TempFolder folder;
};

::testing::AssertionResult Contains(const std::string &text, const std::string &part) {
    if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "'" << part << "' not in:\n" << text;
}

::testing::AssertionResult Near(const Point3 &a, const Point3 &b, float tol = 1e-4f) {
    if ((a - b).Length() <= tol) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << a.x << ", " << a.y << ", " << a.z << ") vs ("
                                         << b.x << ", " << b.y << ", " << b.z << ")";
}

}  // namespace

// Nodes and transforms
// ---------------------------------------------------------------------------------------------

TEST_F(SceneJsonTest, BuildsTheNodeTreeWithTransforms) {
    Read(R"("nodes": [
        {"name": "Base", "transform": {"position": [10, 0, 0], "rotation": [0, 0, 90],
                                       "scale": 2},
         "children": [
            {"name": "Arm", "object": {"class": "Spray"},
             "transform": {"position": [1, 0, 0], "scale": [1, 1, 3]}}]},
        {"name": "Eye", "object": {"class": "Free Camera"}, "target": "Arm",
         "transform": {"position": [0, 0, 50]}}])");
    INode *base = Node("Base"), *arm = Node("Arm"), *eye = Node("Eye");
    ASSERT_TRUE(base && arm && eye);
    EXPECT_EQ(base->GetParentNode(), GetCOREInterface()->GetRootNode());
    EXPECT_EQ(arm->GetParentNode(), base);
    EXPECT_EQ(base->GetObjectRef(), nullptr);
    EXPECT_NE(GetParticleInterface(arm->GetObjectRef()), nullptr);
    // The arm's local (1, 0, 0) is scaled by 2 and turned 90° about z by its parent: (0, 2, 0)
    // from the parent's (10, 0, 0).
    const Matrix3 armTM = arm->GetNodeTM(0);
    EXPECT_TRUE(Near(armTM.GetTrans(), Point3(10, 2, 0)));
    // Its own z scale of 3 on top of the parent's 2.
    EXPECT_NEAR(armTM.GetRow(2).Length(), 6.0f, 1e-4f);
    // The camera aims at the arm: its −z axis points there.
    const Matrix3 eyeTM = eye->GetNodeTM(0);
    const Point3 toArm = Normalize(armTM.GetTrans() - eyeTM.GetTrans());
    EXPECT_TRUE(Near(-Normalize(eyeTM.GetRow(2)), toArm));
    EXPECT_EQ(eye->GetTarget(), arm);
}

TEST_F(SceneJsonTest, KeyedTransformsInterpolateBetweenFrames) {
    Read(R"("nodes": [{"name": "Mover", "transform": {
        "position": {"keys": [[0, [0, 0, 0]], [10, [100, 0, 0]]]},
        "rotation": {"keys": [[0, [0, 0, 0]], [10, [0, 0, 90]]]},
        "scale": {"keys": [[0, 1], [10, 3]]}}}])");
    INode *mover = Node("Mover");
    ASSERT_NE(mover, nullptr);
    const int tpf = GetTicksPerFrame();
    const Matrix3 mid = mover->GetNodeTM(5 * tpf);
    EXPECT_TRUE(Near(mid.GetTrans(), Point3(50, 0, 0)));
    EXPECT_NEAR(mid.GetRow(0).Length(), 2.0f, 1e-4f);
    // Halfway through a 90° turn about z: x axis at 45°.
    const Point3 x = Normalize(mid.GetRow(0));
    EXPECT_NEAR(x.x, std::cos(kPi / 4), 1e-4f);
    EXPECT_NEAR(x.y, std::sin(kPi / 4), 1e-4f);
    EXPECT_TRUE(Near(mover->GetNodeTM(20 * tpf).GetTrans(), Point3(100, 0, 0)));
}

// Parameters
// ---------------------------------------------------------------------------------------------

TEST_F(SceneJsonTest, ConvertsValuesByTheParametersDimension) {
    Read(R"("scene": {"frameRate": 25},
        "nodes": [{"name": "Spray", "object": {"class": "Spray", "params": {
            "Life": 30, "Life Variation": 2.5, "Spread": 45, "Birth Rate": 4, "Seed": 7}}},
          {"name": "W", "object": {"class": "Test Widget", "params": {
            "Size": 2.5, "Delay": 10, "Angle": 180, "Tint": [1, 0.5, 0], "Enabled": true,
            "Offset": [1, 2, 3], "Duration": 1.5}}}])");
    ASSERT_EQ(GetTicksPerFrame(), 192);  // 4800 / 25
    auto *spray = ObjectOf<ParticleObject>("Spray");
    ASSERT_NE(spray, nullptr);
    IParamBlock *pb = spray->GetParamBlock();
    EXPECT_EQ(IntParam(pb, "Life"), 30 * 192);              // frames → ticks
    EXPECT_EQ(IntParam(pb, "Life Variation"), 480);         // 2.5 frames
    EXPECT_NEAR(FloatParam(pb, "Spread"), kPi / 4, 1e-6f);  // degrees → radians
    EXPECT_FLOAT_EQ(FloatParam(pb, "Birth Rate"), 4.0f);
    EXPECT_EQ(IntParam(pb, "Seed"), 7);

    auto *w = ObjectOf<TestWidget>("W");
    ASSERT_NE(w, nullptr);
    EXPECT_FLOAT_EQ(FloatParam(w->block, "Size"), 2.5f);
    EXPECT_EQ(IntParam(w->block, "Delay"), 10 * 192);
    EXPECT_NEAR(FloatParam(w->block, "Angle"), kPi, 1e-6f);
    Color tint;
    w->block->GetValue(TestWidget::kTint, 0, tint);
    EXPECT_EQ(tint, Color(1.0f, 0.5f, 0.0f));
    EXPECT_EQ(IntParam(w->block, "Enabled"), 1);
    Point3 offset;
    w->block->GetValue(TestWidget::kOffset, 0, offset);
    EXPECT_EQ(offset, Point3(1, 2, 3));
    // A float parameter of time takes ticks too.
    EXPECT_FLOAT_EQ(FloatParam(w->block, "Duration"), 1.5f * 192);
}

TEST_F(SceneJsonTest, KeyedParametersTakeFramesAndInterpolate) {
    Read(R"("nodes": [{"name": "S", "object": {"class": "Spray", "params": {
        "Speed": {"keys": [[10, 2], [0, 1]]},
        "Spread": {"keys": [[0, 0], [20, 90]]}}}}])");
    IParamBlock *pb = ObjectOf<ParticleObject>("S")->GetParamBlock();
    const int tpf = GetTicksPerFrame();
    const int speed = pb->FindParamByName("Speed");
    EXPECT_EQ(pb->NumKeys(speed), 2);
    EXPECT_EQ(pb->GetKeyTime(speed, 1), 10 * tpf);  // keys sorted by time whatever the order
    EXPECT_FLOAT_EQ(FloatParam(pb, "Speed", 5 * tpf), 1.5f);
    EXPECT_NEAR(FloatParam(pb, "Spread", 10 * tpf), kPi / 4, 1e-5f);
}

TEST_F(SceneJsonTest, RefusesKeysOnParametersThatCannotBeAnimated) {
    const std::string error = ErrorOf(R"("nodes": [{"name": "S", "object": {"class": "Spray",
        "params": {"Birth Rate": {"keys": [[0, 1], [10, 5]]}}}}])");
    EXPECT_TRUE(Contains(error, "test.json: nodes[0].object.params[\"Birth Rate\"]: "));
    EXPECT_TRUE(Contains(error, "cannot be animated"));
    EXPECT_TRUE(Contains(ErrorOf(R"("nodes": [{"name": "S", "object": {"class": "Spray",
        "params": {"Speed": {"keys": [[1, 1], [1, 2]]}}}}])"),
                         "params.Speed.keys[1][0]: two keys at the same frame"));
}

TEST_F(SceneJsonTest, ValuesOutsideTheParametersRangeAreRefusedInTheFilesUnits) {
    const auto widget = [](const std::string &params) {
        return R"("nodes": [{"name": "W", "object": {"class": "Test Widget", "params": )" +
               params + "}}]";
    };
    EXPECT_TRUE(Contains(ErrorOf(widget(R"({"Angle": 400})")),
                         "test.json: nodes[0].object.params.Angle: expected a number from "
                         "-360 to 360, got the number 400"));
    EXPECT_TRUE(Contains(ErrorOf(widget(R"({"Delay": {"keys": [[0, 1], [5, -0.5]]}})")),
                         "params.Delay.keys[1][1]: expected a number of at least 0, got the "
                         "number -0.5"));
    EXPECT_EQ(ErrorOf(widget(R"({"Size": 0, "Delay": 0, "Angle": -300})")), "");
}

// Properties and sub-objects
// ---------------------------------------------------------------------------------------------

TEST_F(SceneJsonTest, SetsPropertiesIncludingNodesNamedLaterInTheFile) {
    Read(R"("nodes": [
        {"name": "W", "object": {"class": "Test Widget", "properties": {
            "Mode": "Smooth", "Label": "hello", "Count": 3, "Gain": 0.25, "Flag": true,
            "Shade": [0, 1, 0], "Spot": [4, 5, 6], "Targets": ["B", "A"]}}},
        {"name": "A"}, {"name": "B"}])");
    auto *w = ObjectOf<TestWidget>("W");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(std::get<std::string>(*w->GetProperty("Mode")), "Smooth");
    EXPECT_EQ(std::get<std::string>(*w->GetProperty("Label")), "hello");
    EXPECT_EQ(std::get<int>(*w->GetProperty("Count")), 3);
    EXPECT_FLOAT_EQ(std::get<float>(*w->GetProperty("Gain")), 0.25f);
    EXPECT_TRUE(std::get<bool>(*w->GetProperty("Flag")));
    EXPECT_EQ(std::get<Color>(*w->GetProperty("Shade")), Color(0, 1, 0));
    EXPECT_EQ(std::get<Point3>(*w->GetProperty("Spot")), Point3(4, 5, 6));
    const auto targets = std::get<std::vector<INode *>>(*w->GetProperty("Targets"));
    EXPECT_EQ(targets, (std::vector<INode *>{Node("B"), Node("A")}));
}

TEST_F(SceneJsonTest, PropertyErrorsSayWhatWasExpected) {
    const auto widget = [](const std::string &properties) {
        return R"("nodes": [{"name": "W", "object": {"class": "Test Widget", "properties": )" +
               properties + "}}]";
    };
    std::string error = ErrorOf(widget(R"({"Mode": "Jumpy"})"));
    EXPECT_TRUE(Contains(error,
                         "nodes[0].object.properties.Mode: expected one of \"Linear\", "
                         "\"Smooth\", got a string"));
    error = ErrorOf(widget(R"({"Count": -2})"));
    EXPECT_TRUE(Contains(error,
                         "properties.Count: property \"Count\" refused the value: "
                         "expected a count of 0 or more"));
    error = ErrorOf(widget(R"({"Targets": ["Nobody"]})"));
    EXPECT_TRUE(
        Contains(error, "properties.Targets[0]: no node named \"Nobody\" (nodes: \"W\")"));
    // A parameter set as a property is pointed at the right place.
    error = ErrorOf(widget(R"({"Size": 2})"));
    EXPECT_TRUE(Contains(error, "it is a parameter, set it under \"params\""));
}

TEST_F(SceneJsonTest, ReplacesAndConfiguresSubObjectsByName) {
    Read(R"("nodes": [
        {"name": "Keep", "object": {"class": "Test Widget",
            "subs": {"Plug-in": {"params": {"Strength": 0.5}}}}},
        {"name": "Swap", "object": {"class": "Test Widget",
            "subs": {"Plug-in": {"class": "Test Plug B", "params": {"Strength": 2}}}}}])");
    auto *keep = ObjectOf<TestWidget>("Keep");
    auto *swap = ObjectOf<TestWidget>("Swap");
    ASSERT_TRUE(keep && swap);
    EXPECT_EQ(keep->plug->ClassID(), apptest::TestPlugA::kClassID);
    EXPECT_FLOAT_EQ(keep->plug->Strength(), 0.5f);
    EXPECT_EQ(swap->plug->ClassID(), apptest::TestPlugB::kClassID);
    EXPECT_FLOAT_EQ(swap->plug->Strength(), 2.0f);

    // An object without a way to replace a sub-object says so; unknown names are listed.
    EXPECT_TRUE(Contains(ErrorOf(R"("nodes": [{"name": "S", "object": {"class": "Spray",
        "subs": {"Parameters": {"class": "Test Plug B"}}}}])"),
                         "Spray cannot replace its sub-object \"Parameters\""));
    EXPECT_TRUE(Contains(ErrorOf(R"("nodes": [{"name": "W", "object": {"class": "Test Widget",
        "subs": {"Plugin": {}}}}])"),
                         "unknown sub-object \"Plugin\" of Test Widget (sub-objects: "
                         "Parameters, Plug-in)"));
    EXPECT_TRUE(Contains(ErrorOf(R"("nodes": [{"name": "W", "object": {"class": "Test Widget",
        "subs": {"Plug-in": {"class": "Test Plug C"}}}}])"),
                         "subs[\"Plug-in\"].class: property \"Plug-in\" refused the value: "
                         "no plug-in class of that name"));
}

// Materials and atmospherics
// ---------------------------------------------------------------------------------------------

TEST_F(SceneJsonTest, GivesNodesTheirMaterials) {
    Read(R"("nodes": [{"name": "Ball", "object": {"class": "Sphere", "params": {"Radius": 4}},
        "material": {"class": "Standard", "params": {"Diffuse": [0.8, 0.2, 0.1],
                                                     "Material ID": 7}}}])");
    INode *ball = Node("Ball");
    ASSERT_NE(ball, nullptr);
    auto *mtl = dynamic_cast<StdMat *>(ball->GetMtl());
    ASSERT_NE(mtl, nullptr);
    Interval valid = FOREVER;
    mtl->Update(0, valid);
    EXPECT_EQ(mtl->GetDiffuse(), Color(0.8f, 0.2f, 0.1f));
    EXPECT_EQ(IntParam(mtl->GetParamBlock(), "Material ID"), 7);
    EXPECT_TRUE(Contains(ErrorOf(R"("nodes": [{"name": "A", "material": {"class": "Spray"}}])"),
                         "nodes[0].material.class: unknown material class \"Spray\" (material "
                         "classes installed: "));
}

TEST_F(SceneJsonTest, AddsAtmosphericsWithTheirGizmos) {
    const std::string scene = R"("nodes": [{"name": "Box"}, {"name": "Other"}],
        "atmospherics": [
            {"class": "Test Fog", "params": {"Density": 0.25}, "gizmos": ["Other", "Box"]},
            {"class": "Test Fog", "active": false}])";
    Read(scene);
    Interface *ip = GetCOREInterface();
    ASSERT_EQ(ip->NumAtmospheric(), 2);
    auto *fog = dynamic_cast<apptest::TestFog *>(ip->GetAtmospheric(0));
    ASSERT_NE(fog, nullptr);
    EXPECT_FLOAT_EQ(FloatParam(fog->block, "Density"), 0.25f);
    EXPECT_EQ(fog->gizmos, (std::vector<INode *>{Node("Other"), Node("Box")}));
    EXPECT_TRUE(fog->Active());
    EXPECT_FALSE(ip->GetAtmospheric(1)->Active());

    EXPECT_TRUE(Contains(ErrorOf(R"("nodes": [{"name": "S", "object": {"class": "Spray"}}],
        "atmospherics": [{"class": "Test Fog", "gizmos": ["S"]}])"),
                         "atmospherics[0].gizmos[0]: the atmospheric does not take node \"S\" "
                         "as a gizmo"));
    EXPECT_TRUE(Contains(ErrorOf(R"("atmospherics": [{"class": "Fog"}])"),
                         "atmospherics[0].class: unknown atmospheric class \"Fog\" "
                         "(atmospheric classes installed: \"Test Fog\")"));
    // A failed read takes the effects away with the scene.
    EXPECT_EQ(ip->NumAtmospheric(), 0);
}

// Errors
// ---------------------------------------------------------------------------------------------

TEST_F(SceneJsonTest, SyntaxErrorsGiveLineAndColumn) {
    const std::string error = ErrorOfText("{\n  \"version\": 1,\n  \"nodes\": [,]\n}");
    EXPECT_TRUE(Contains(error, "test.json:3:13: JSON syntax error: ")) << error;
    EXPECT_TRUE(Contains(ErrorOfText(""), "test.json:1:1: JSON syntax error"));
}

TEST_F(SceneJsonTest, KeysWrittenTwiceAreAnError) {
    EXPECT_TRUE(Contains(ErrorOf(R"("nodes": [{"name": "A"}, {"name": "B", "name": "C"}])"),
                         "test.json: nodes[1].name: key written twice in one object"));
}

TEST_F(SceneJsonTest, NumbersBeyondADoubleNameTheirPath) {
    EXPECT_TRUE(Contains(ErrorOf(R"("nodes": [{"name": "S", "object": {"class": "Spray",
        "params": {"Speed": 1e400}}}])"),
                         "test.json: nodes[0].object.params.Speed: the number 1e400 is beyond "
                         "what a double holds"));
    EXPECT_TRUE(Contains(ErrorOf(R"("scene": {"animationRange": [0, -2e308]})"),
                         "test.json: scene.animationRange[1]: the number -2e308 is beyond"));
    EXPECT_TRUE(Contains(ErrorOfText("1e999"), "test.json: the number 1e999 is beyond"));
}

TEST_F(SceneJsonTest, TheVersionIsRequiredAndChecked) {
    EXPECT_TRUE(Contains(ErrorOfText(R"({"nodes": []})"), "test.json: missing \"version\""));
    EXPECT_TRUE(Contains(ErrorOfText(R"({"version": 2})"),
                         "test.json: version: unsupported scene format version 2 (this "
                         "program reads version 1)"));
    EXPECT_TRUE(Contains(ErrorOfText(R"({"version": "1"})"), "version: expected the scene"));
    EXPECT_TRUE(Contains(ErrorOfText("[1]"), "test.json: expected a scene (a JSON object)"));
}

TEST_F(SceneJsonTest, UnknownClassesListWhatIsInstalled) {
    const std::string error =
        ErrorOf(R"("nodes": [{"name": "A"}, {"name": "B", "object": {"class": "Sprai"}}])");
    EXPECT_TRUE(Contains(error,
                         "test.json: nodes[1].object.class: unknown object class "
                         "\"Sprai\" (object classes installed: "));
    EXPECT_TRUE(Contains(error, "\"Spray\""));
    EXPECT_TRUE(Contains(error, "\"Free Camera\""));
    EXPECT_TRUE(Contains(error, "\"Test Widget\""));
}

TEST_F(SceneJsonTest, UnknownParametersListTheParametersAndProperties) {
    std::string error = ErrorOf(
        R"("nodes": [{"name": "S", "object": {"class": "Spray", "params": {"Birth Rat": 1}}}])");
    EXPECT_TRUE(Contains(error,
                         "test.json: nodes[0].object.params[\"Birth Rat\"]: unknown "
                         "parameter \"Birth Rat\" of Spray (parameters: Birth Rate, "
                         "Speed, "));
    error = ErrorOf(R"("nodes": [{"name": "W", "object": {"class": "Test Widget",
        "params": {"Label": "x"}}}])");
    EXPECT_TRUE(Contains(error, "it is a property, set it under \"properties\""));
    error = ErrorOf(R"("nodes": [{"name": "W", "object": {"class": "Test Widget",
        "params": {"Colour": [1, 1, 1]}}}])");
    EXPECT_TRUE(Contains(error,
                         "(parameters: Size, Delay, Angle, Tint, Enabled, Offset, "
                         "Duration; properties: Mode, Label, "));
}

TEST_F(SceneJsonTest, WrongTypesSayWhatWasExpected) {
    const auto spray = [](const std::string &params) {
        return R"("nodes": [{"name": "S", "object": {"class": "Spray", "params": )" + params +
               "}}]";
    };
    EXPECT_TRUE(Contains(ErrorOf(spray(R"({"Speed": "fast"})")),
                         "params.Speed: expected a number, got a string"));
    EXPECT_TRUE(
        Contains(ErrorOf(spray(R"({"Seed": 1.5})")), "params.Seed: expected a whole number"));
    EXPECT_TRUE(Contains(ErrorOf(R"("nodes": [{"name": "W", "object": {"class": "Test Widget",
        "params": {"Tint": [1, 2, 0]}}}])"),
                         "params.Tint: expected a colour [r, g, b] with each component from 0 "
                         "to 1, got an array"));
    EXPECT_TRUE(Contains(ErrorOf(R"("nodes": [{"name": "W", "object": {"class": "Test Widget",
        "params": {"Enabled": 1}}}])"),
                         "params.Enabled: expected true or false, got the number 1"));
    EXPECT_TRUE(
        Contains(ErrorOf(R"("nodes": [{"name": "A", "transform": {"position": [1, 2]}}])"),
                 "nodes[0].transform.position: expected [x, y, z] (three numbers)"));
    EXPECT_TRUE(Contains(
        ErrorOf(R"("nodes": [{"name": "A", "transform": {"rotation": [0, 0, 0, 2]}}])"),
        "nodes[0].transform.rotation: expected Euler angles [x, y, z] or a unit quaternion"));
    EXPECT_TRUE(Contains(ErrorOf(R"("nodes": {"name": "A"})"),
                         "test.json: nodes: expected an array, got an object"));
}

TEST_F(SceneJsonTest, NodeNamesMustBeUniqueAndTargetsMustExist) {
    EXPECT_TRUE(Contains(ErrorOf(R"("nodes": [{"name": "A"}, {"name": "A"}])"),
                         "nodes[1].name: a node named \"A\" exists already"));
    EXPECT_TRUE(Contains(ErrorOf(R"("nodes": [{"name": "A", "target": "B"}])"),
                         "nodes[0].target: no node named \"B\" (nodes: \"A\")"));
    EXPECT_TRUE(Contains(ErrorOf(R"("nodes": [{"name": "A", "target": "A"}])"),
                         "nodes[0].target: a node cannot aim at itself"));
}

TEST_F(SceneJsonTest, AFailedReadLeavesAnEmptyScene) {
    EXPECT_FALSE(ErrorOf(R"("nodes": [{"name": "A"}, {"name": "B", "object": {"class": "X"}}])")
                     .empty());
    EXPECT_EQ(GetCOREInterface()->GetRootNode()->NumberOfChildren(), 0);
}

TEST_F(SceneJsonTest, MissingFilesAreNamed) {
    try {
        ReadSceneJsonFile(folder.Path("absent.json"));
        FAIL() << "no error";
    } catch (const SceneJsonError &e) {
        EXPECT_EQ(std::string(e.what()), folder.Path("absent.json") + ": no such file");
    }
    // A missing background image is named with its JSON place.
    EXPECT_TRUE(Contains(ErrorOf(R"("scene": {"backgroundImage": "nothing.png"})"),
                         "test.json: scene.backgroundImage: "));
}

TEST_F(SceneJsonTest, KeysNobodyReadAreWarnings) {
    const SceneDescription desc = Read(R"("scnee": {}, "nodes": [{"name": "A", "colour": 1,
        "transform": {"positon": [0, 0, 0]}}])");
    ASSERT_EQ(desc.warnings.size(), 3u);
    EXPECT_TRUE(Contains(desc.warnings[0],
                         "test.json: nodes[0].transform.positon: unknown key, "
                         "not read (expected here: position, rotation, "
                         "scale)"));
    EXPECT_TRUE(Contains(desc.warnings[1], "test.json: nodes[0].colour: unknown key"));
    EXPECT_TRUE(Contains(desc.warnings[2], "test.json: scnee: unknown key"));
}

// Settings and queue
// ---------------------------------------------------------------------------------------------

TEST_F(SceneJsonTest, ReadsSceneAndRenderSettings) {
    const SceneDescription desc = Read(R"(
        "scene": {"frameRate": 24, "animationRange": [-5, 48], "ambient": [0.1, 0.2, 0.3],
                  "background": [0, 0, 1]},
        "nodes": [{"name": "Cam", "object": {"class": "Target Camera"}}],
        "render": {"width": 320, "height": 200, "pixelAspect": 1.5, "camera": "Cam",
                   "frames": "1-5x2, 10", "output": "out/f.####.exr", "fieldRender": true,
                   "fieldOrder": "odd", "threads": -1})");
    EXPECT_EQ(GetFrameRate(), 24);
    EXPECT_EQ(GetCOREInterface()->GetAnimRange(), Interval(-5 * 200, 48 * 200));
    EXPECT_EQ(desc.ambient, Color(0.1f, 0.2f, 0.3f));
    EXPECT_EQ(desc.background, Color(0, 0, 1));
    EXPECT_EQ(GetCOREInterface()->GetAmbient(0), desc.ambient);
    EXPECT_EQ(GetCOREInterface()->GetBackGround(0), desc.background);
    const RenderSettings &r = desc.render;
    EXPECT_EQ(r.width, 320);
    EXPECT_EQ(r.height, 200);
    EXPECT_EQ(r.pixelAspect, 1.5f);
    EXPECT_EQ(r.camera, "Cam");
    EXPECT_EQ(r.frames, (std::vector<int>{1, 3, 5, 10}));
    // Paths in the file are relative to its folder.
    EXPECT_EQ(r.output,
              (fs::path(folder.Path("")) / "out/f.####.exr").lexically_normal().string());
    EXPECT_EQ(r.fieldRender, true);
    EXPECT_EQ(r.fieldOrder, 1);
    EXPECT_EQ(r.threads, -1);
    EXPECT_FALSE(desc.hasQueue);

    EXPECT_TRUE(Contains(ErrorOf(R"("render": {"frames": "1-"})"),
                         "test.json: render.frames: bad frame range \"1-\""));
    EXPECT_TRUE(Contains(ErrorOf(R"("render": {"camera": "Nobody"})"),
                         "render.camera: no node named \"Nobody\""));
    EXPECT_TRUE(Contains(ErrorOf(R"("scene": {"frameRate": 7})"),
                         "scene.frameRate: a frame rate must divide 4800"));
}

TEST_F(SceneJsonTest, ReadsTheQueueWithConfiguredFilters) {
    const SceneDescription desc = Read(R"(
        "nodes": [{"name": "Cam", "object": {"class": "Free Camera"}}, {"name": "Spot"}],
        "queue": [
            {"event": "plate", "image": "plates/p.####.exr", "depth": "/abs/z.####.exr",
             "camera": "Cam"},
            {"event": "filter", "class": "Test Scale", "properties": {"Amount": 0.5}},
            {"event": "filter", "class": "Test Plain"},
            {"event": "scene", "camera": "Spot"},
            {"event": "output"},
            {"event": "output", "file": "b.png"}])");
    ASSERT_TRUE(desc.hasQueue);
    ASSERT_EQ(desc.queue.size(), 6u);
    using Kind = QueueEventSpec::Kind;
    EXPECT_EQ(desc.queue[0].kind, Kind::Plate);
    EXPECT_EQ(desc.queue[0].image, folder.Path("plates/p.####.exr"));
    EXPECT_EQ(desc.queue[0].depth, "/abs/z.####.exr");
    EXPECT_EQ(desc.queue[0].camera, "Cam");
    ASSERT_EQ(desc.queue[1].kind, Kind::Filter);
    EXPECT_FLOAT_EQ(dynamic_cast<apptest::TestScaleFilter &>(*desc.queue[1].filter).amount,
                    0.5f);
    EXPECT_EQ(desc.queue[3].kind, Kind::Scene);
    EXPECT_EQ(desc.queue[3].camera, "Spot");
    EXPECT_EQ(desc.queue[4].file, "");
    EXPECT_EQ(desc.queue[5].file, folder.Path("b.png"));

    EXPECT_TRUE(Contains(ErrorOf(R"("queue": [{"event": "filter", "class": "Test Plain",
        "properties": {"Amount": 1}}])"),
                         "queue[0].properties: image filter \"Test Plain\" takes no settings "
                         "by name"));
    EXPECT_TRUE(Contains(ErrorOf(R"("queue": [{"event": "filter", "class": "Test Scale",
        "properties": {"Amount": 2}}])"),
                         "queue[0].properties.Amount: property \"Amount\" refused the value: "
                         "expected 0 to 1"));
    EXPECT_TRUE(Contains(ErrorOf(R"("queue": [{"event": "filter", "class": "Blurr"}])"),
                         "queue[0].class: unknown image filter class \"Blurr\" (image filter "
                         "classes installed: "));
    EXPECT_TRUE(Contains(ErrorOf(R"("queue": [{"event": "render"}])"),
                         "queue[0].event: expected \"scene\", \"plate\", \"filter\" or "
                         "\"output\", got a string"));
    EXPECT_TRUE(Contains(ErrorOf(R"("nodes": [{"name": "Spot"}],
        "queue": [{"event": "plate", "image": "p.exr", "camera": "Spot"}])"),
                         "queue[0].camera: node \"Spot\" is not a camera"));
}

// Writing back
// ---------------------------------------------------------------------------------------------

namespace {

/// The local rotations of node `name` at its keys, or at 0 without keys.
std::vector<Quat> Rotations(const char *name) {
    const PRSTransform &prs = GetCOREInterface()->GetINodeByName(name)->GetLocalTransform();
    std::vector<Quat> q;
    Interval valid;
    for (int k = 0; k < std::max(1, prs.NumKeys(TRACK_ROTATION)); ++k)
        q.push_back(prs.GetRotation(
            prs.NumKeys(TRACK_ROTATION) ? prs.GetKeyTime(TRACK_ROTATION, k) : 0, valid));
    return q;
}

TEST_F(SceneJsonTest, WrittenSceneReadsBackIntoTheSameScene) {
    const SceneDescription desc = Read(R"(
        "nodes": [{"name": "A", "transform": {"rotation": {"keys": [[0, [10, 20, 30]],
                                                                      [5, [0, 90, 20]]]}},
                   "children": [{"name": "C", "transform": {"scale": [1, 2, 3]}}]},
                  {"name": "B", "object": {"class": "Target Camera"}}],
        "render": {"frames": "100-98, 3, 7, 10-12", "output": "out/f.####.exr"})");
    // A rotation that no short Euler angles give, as a tool sets it.
    Node("B")->SetNodeTM(0, RotateXMatrix(0.3f) * RotateZMatrix(1.1f) * RotateYMatrix(-0.7f));
    const std::vector<Quat> a = Rotations("A"), b = Rotations("B");
    Interval valid;
    const Point3 scale = Node("C")->GetLocalTransform().GetScale(0, valid);

    const nlohmann::ordered_json written = SceneToJson(desc, folder.Path(""));
    EXPECT_EQ(written["nodes"][0]["transform"]["rotation"]["keys"][1][1],
              nlohmann::ordered_json({0, 90, 20}));
    EXPECT_EQ(written["nodes"][1]["transform"]["rotation"].size(), 4u);
    EXPECT_EQ(written["render"]["output"], "out/f.####.exr");

    const SceneDescription again = ReadSceneJson(written.dump(), "again.json", folder.Path(""));
    EXPECT_EQ(Rotations("A"), a);
    EXPECT_EQ(Rotations("B"), b);
    EXPECT_EQ(Node("C")->GetParentNode(), Node("A"));
    EXPECT_EQ(Node("C")->GetLocalTransform().GetScale(0, valid), scale);
    EXPECT_EQ(again.render.frames, desc.render.frames);
    EXPECT_EQ(again.render.output, desc.render.output);
}

}  // namespace
