/// @file studio_controller_test.cpp
/// @brief The studio's controller API over HTTP on the demo scene: replacing a controller
///        through the Controllers dialog, the editor's checks, the curve views and keys.
#include "studio_fixture.h"

#include <algorithm>
#include <set>

namespace {

using namespace studiotest;

constexpr int kGraphWidth = 103;  // 100 columns of life: columns 1 … 101

class StudioControllerTest : public StudioTest {
protected:
    static std::string Route(const std::string &helper, const std::string &rest) {
        return "/api/helpers/" + helper + rest;
    }
    /// The controller `name` (in `slot`, "" for the helper's own) of a controller answer.
    static json Find(const json &age, const std::string &slot, const std::string &name) {
        for (const json &c : age["controllers"])
            if (c["controller"] == name &&
                (slot.empty() ? c["slot"].is_null() : c["slot"] == slot))
                return c;
        ADD_FAILURE() << "no controller " << slot << "/" << name;
        return json::object();
    }
    static json Value(const json &controller, const std::string &param) {
        for (const json &row : controller["editor"]["params"])
            if (row["name"] == param) return row["value"];
        return nullptr;
    }
    json Change(const std::string &helper, const std::string &op, json body) {
        return Post(Route(helper, "/controller/" + op), body);
    }
    /// The curve view's polyline of the helper's controller `name` at the current frame.
    json Curve(const std::string &name) {
        std::string query = name;
        for (std::size_t at; (at = query.find(' ')) != std::string::npos;)
            query.replace(at, 1, "%20");
        return Get(Route(kHelper, "/controller/graph?controller=" + query + "&width=" +
                                      std::to_string(kGraphWidth) + "&height=40"))["curve"];
    }
    /// The first column at which `curve` leaves its first level.
    static int StepColumn(const json &curve) {
        for (std::size_t i = 2; i < curve.size(); ++i)
            if (curve[i][1] != curve[1][1]) return curve[i][0];
        return -1;
    }
    static std::size_t Levels(const json &curve) {
        std::set<int> levels;
        for (std::size_t i = 1; i < curve.size(); ++i) levels.insert(curve[i][1].get<int>());
        return levels.size();
    }
};

struct Replacement {
    const char *helper, *slot, *controller;
    double min, max, step;  ///< the owner's set-up of the quantity
    friend void PrintTo(const Replacement &r, std::ostream *out) {
        *out << r.helper << "/" << r.slot << "/" << r.controller;
    }
};

class StudioControllerReplace : public StudioControllerTest,
                                public ::testing::WithParamInterface<Replacement> {};

TEST_P(StudioControllerReplace, NewControllerGetsTheOwnersSetUp) {
    const Replacement &r = GetParam();
    json named = {{"controller", r.controller}};
    if (*r.slot) named["slot"] = r.slot;
    // Settings that a new controller does not have.
    json set = named;
    set["properties"] = {{"Use Variation", true}, {"Interpolation", "Clamp"}};
    set["params"] = {{"Birth Variation", r.max / 2}};
    Change(r.helper, "set", set);

    json replace = named;
    replace["class"] = "Default";
    const json c = Find(Change(r.helper, "replace", replace), r.slot, r.controller);
    EXPECT_EQ(c["class"], "Default");
    const json &editor = c["editor"];
    EXPECT_EQ(editor["properties"]["Use Variation"], false);
    EXPECT_EQ(editor["properties"]["Interpolation"], "Interpolate");
    EXPECT_EQ(Value(c, "Birth Variation"), 0.0);
    ASSERT_TRUE(editor["variation"].is_object()) << editor;
    EXPECT_DOUBLE_EQ(editor["variation"]["min"].get<double>(), r.min);
    EXPECT_DOUBLE_EQ(editor["variation"]["max"].get<double>(), r.max);
    EXPECT_NEAR(editor["variation"]["step"].get<double>(), r.step, 1e-6);
    // The editor's checks follow the set-up; no variation is always allowed.
    json tooLarge = named;
    tooLarge["params"] = {{"Birth Variation", r.max * 2}};
    Call(Route(r.helper, "/controller/set"), tooLarge.dump(), 400);
    json none = named;
    none["params"] = {{"Death Variation", 0}};
    Change(r.helper, "set", none);
}

INSTANTIATE_TEST_SUITE_P(Studio, StudioControllerReplace,
                         ::testing::Values(Replacement{"Smoke", "", "Size", 0, 9999, 0.5},
                                           Replacement{"Smoke", "", "Trans", 0, 1, 0.05},
                                           Replacement{kHelper, kShapeSlot, "Noise Size", 0.001,
                                                       100, 0.1}),
                         [](const auto &info) {
                             std::string name = info.param.controller;
                             name.erase(std::remove(name.begin(), name.end(), ' '), name.end());
                             return name;
                         });

struct BadControllerRequest {
    const char *label;
    std::string route;  ///< after /api/helpers/<helper>
    std::string body;   ///< empty: a GET
    int status;
    const char *says;
};

class StudioControllerBadRequest : public StudioControllerTest,
                                   public ::testing::WithParamInterface<BadControllerRequest> {
};

TEST_P(StudioControllerBadRequest, AnswersWithAMessageAndChangesNothing) {
    const BadControllerRequest &r = GetParam();
    const json before = Get(Route(kHelper, "/controllers"));
    const json answer = Call(Route(kHelper, r.route), r.body, r.status);
    ASSERT_TRUE(answer.contains("error")) << answer;
    EXPECT_NE(answer["error"].get<std::string>().find(r.says), std::string::npos) << answer;
    EXPECT_EQ(Get(Route(kHelper, "/controllers")), before);
}

INSTANTIATE_TEST_SUITE_P(
    Studio, StudioControllerBadRequest,
    ::testing::Values(
        BadControllerRequest{"UnknownController", "/controller/edit",
                             R"({"controller": "Colour", "open": true})", 404, "Colour"},
        BadControllerRequest{"UnknownSlot", "/controller/edit",
                             R"({"slot": "Nope", "controller": "Size", "open": true})", 404,
                             "Nope"},
        BadControllerRequest{"UnknownClass", "/controller/replace",
                             R"({"controller": "Size", "class": "Bezier"})", 400, "Bezier"},
        BadControllerRequest{
            "ModeWithoutValue", "/controller/set",
            R"({"controller": "Size", "properties": {"Interpolation": "Pulse"}})", 400,
            "Clamp"},
        BadControllerRequest{"ValueOutOfRange", "/controller/set",
                             R"({"controller": "Size", "params": {"IPC Value 1": 1.5}})", 400,
                             "from 0 to 1"},
        BadControllerRequest{"ValueOfWrongType", "/controller/set",
                             R"({"controller": "Size", "params": {"IPC Value 2": "half"}})",
                             400, "number"},
        BadControllerRequest{"NothingToSet", "/controller/set", R"({"controller": "Size"})",
                             400, "params"},
        BadControllerRequest{"KeyOnUnknownParameter", "/controller/key",
                             R"({"controller": "Size", "param": "Speed"})", 400, "Speed"},
        BadControllerRequest{"DeleteMissingKey", "/controller/key/delete",
                             R"({"controller": "Size", "param": "IPC Value 1", "frame": 7})",
                             400, "frame 7"},
        BadControllerRequest{"GraphTooSmall",
                             "/controller/graph?controller=Size&width=2&height=40", "", 400,
                             "width"}),
    [](const auto &info) { return info.param.label; });

TEST_F(StudioControllerTest, CurveFollowsTheInterpolation) {
    const char *c = "Shadow Trans";
    Change(kHelper, "set",
           {{"controller", c},
            {"properties", {{"Interpolation", "Step"}}},
            {"params", {{"IPC Value 1", 0.25}}}});
    const json step = Curve(c);
    ASSERT_EQ(step.size(), std::size_t(kGraphWidth));
    EXPECT_EQ(Levels(step), 2u) << step;
    EXPECT_NEAR(StepColumn(step), 26, 1);

    // A straight line from birth to death passes through every level between them.
    Change(kHelper, "set",
           {{"controller", c}, {"properties", {{"Interpolation", "Interpolate"}}}});
    EXPECT_GT(Levels(Curve(c)), 30u);
}

TEST_F(StudioControllerTest, KeysChangeTheValueAtTheirFrame) {
    const char *c = "Shadow Size";
    Change(kHelper, "set", {{"controller", c}, {"properties", {{"Interpolation", "Step"}}}});
    Post("/api/frame", {{"frame", 0}});
    Change(kHelper, "key", {{"controller", c}, {"param", "IPC Value 1"}, {"value", 0.2}});
    Post("/api/frame", {{"frame", 20}});
    const json age =
        Change(kHelper, "key", {{"controller", c}, {"param", "IPC Value 1"}, {"value", 0.8}});
    EXPECT_EQ(Find(age, "", c)["editor"]["keys"]["IPC Value 1"], json({{0, 0.2}, {20, 0.8}}));
    EXPECT_NEAR(StepColumn(Curve(c)), 81, 1);
    Post("/api/frame", {{"frame", 10}});
    EXPECT_NEAR(StepColumn(Curve(c)), 51, 1);

    // A key at the current frame without a value keeps the value there.
    Change(kHelper, "key", {{"controller", c}, {"param", "IPC Value 1"}});
    EXPECT_NEAR(StepColumn(Curve(c)), 51, 1);

    Change(kHelper, "key/delete", {{"controller", c}, {"param", "IPC Value 1"}, {"frame", 20}});
    Post("/api/frame", {{"frame", 20}});
    EXPECT_NEAR(StepColumn(Curve(c)), 51, 1);  // the key at frame 10 holds from there on
    Post("/api/frame", {{"frame", 0}});
}

TEST_F(StudioControllerTest, EditorOpensWithTheQuantitysTitleAndBrushSettingsCloseShadowOnes) {
    for (const char *c : {"Size", "Shadow Size"}) {
        const json age = Change(kHelper, "edit", {{"controller", c}, {"open", true}});
        EXPECT_EQ(Find(age, "", c)["editor"]["title"], std::string("IPC - ") + c);
    }
    Post(Route(kHelper, "/age/property"), {{"name", "Use Brush Settings"}, {"value", false}});
    const json age = Post(Route(kHelper, "/age/property"),
                          {{"name", "Use Brush Settings"}, {"value", true}});
    EXPECT_EQ(Find(age, "", "Size")["editor"]["open"], true);
    EXPECT_EQ(Find(age, "", "Shadow Size")["editor"]["open"], false);
    Change(kHelper, "edit", {{"controller", "Size"}, {"open", false}});
}

}  // namespace
