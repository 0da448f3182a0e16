/// @file studio_server_test.cpp
/// @brief The studio's API over real HTTP on the loopback address, on the demo scene: the
///        token, bad requests that change nothing, body limits, preview, Stop and saving.
#include "studio_fixture.h"

#include <algorithm>
#include <tuple>

namespace {

using namespace studiotest;

TEST_F(StudioTest, RequestsWithoutTheTokenAreRefused) {
    for (const std::string &given : {std::string(), std::string("wrong")}) {
        httplib::Client client("127.0.0.1", server->Port());
        if (!given.empty()) client.set_default_headers({{"X-Nimbra-Token", given}});
        for (const char *path : {"/", "/api/scene", "/api/preview.png"}) {
            auto res = client.Get(path);
            ASSERT_TRUE(res);
            EXPECT_EQ(res->status, 403) << path;
            EXPECT_NE(res->body.find("token"), std::string::npos) << res->body;
        }
        auto res = client.Post("/api/frame", R"({"frame": 3})", "application/json");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 403);
    }
    // The printed address carries the token; the page's own files then come with its cookie,
    // which a cookie of another port does not replace.
    httplib::Client client("127.0.0.1", server->Port());
    auto page = client.Get(("/?token=" + server->Token()).c_str());
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    const std::string cookie = page->get_header_value("Set-Cookie");
    const std::string pair = cookie.substr(0, cookie.find(';'));
    for (const auto &[sent, status] : {std::pair{pair, 200},
                                       {"x" + pair, 403},
                                       {"nimbra_token_1=" + server->Token(), 403}}) {
        auto script = client.Get("/studio.js", {{"Cookie", sent}});
        ASSERT_TRUE(script);
        EXPECT_EQ(script->status, status) << sent;
    }
}

struct BadRequest {
    const char *label;
    std::string path;
    std::string body;
    int status;
    const char *says;  ///< a word the message must contain
};

class StudioBadRequest : public StudioTest, public ::testing::WithParamInterface<BadRequest> {};

TEST_P(StudioBadRequest, AnswersWithAMessageAndChangesNothing) {
    const BadRequest &r = GetParam();
    const json before = Helper(), sceneBefore = Get("/api/scene");
    const json answer = Call(r.path, r.body, r.status);
    ASSERT_TRUE(answer.contains("error")) << answer;
    EXPECT_NE(answer["error"].get<std::string>().find(r.says), std::string::npos) << answer;
    EXPECT_EQ(Helper(), before);
    EXPECT_EQ(Get("/api/scene"), sceneBefore);
}

const std::string kParam = std::string("/api/helpers/") + kHelper + "/param";
const std::string kPlugin = std::string("/api/helpers/") + kHelper + "/plugin";

INSTANTIATE_TEST_SUITE_P(
    Studio, StudioBadRequest,
    ::testing::Values(
        BadRequest{"UnknownHelper", "/api/helpers/Nobody/param",
                   R"({"name": "Birth Size", "value": 3})", 404, "Nobody"},
        BadRequest{"NodeThatIsNoHelper", "/api/helpers/Crate", "", 404, "Crate"},
        BadRequest{"UnknownParameter", kParam, R"({"name": "Bogus", "value": 1})", 400,
                   "Bogus"},
        BadRequest{"UnknownSlot", kParam, R"({"slot": "Nope", "name": "X", "value": 1})", 404,
                   "Nope"},
        BadRequest{"WrongType", kParam, R"({"name": "Birth Size", "value": "big"})", 400,
                   "number"},
        BadRequest{"OutOfRange", kParam, R"({"name": "Birth Trans.", "value": 5})", 400,
                   "from 0 to 1"},
        BadRequest{"ColourOutOfRange", kParam,
                   R"({"slot": "Color Shader", "name": "Birth Color 1", "value": [2, 0, 0]})",
                   400, "Birth Color 1"},
        BadRequest{"UnknownPlugIn", kPlugin, R"({"slot": "Particle Shape", "class": "Teapot"})",
                   400, "Teapot"},
        BadRequest{"NotJson", kParam, "{name:", 400, "JSON"},
        BadRequest{"FrameNotWhole", "/api/frame", R"({"frame": 2.5})", 400, "whole"},
        BadRequest{"UnknownAddress", "/api/nothing", "", 404, "no such"},
        BadRequest{"UnknownPreviewControl", "/api/preview/press", R"({"control": "Teapot"})",
                   404, "Teapot"},
        BadRequest{"FlyOffOfAPushButton", "/api/preview/flyoff",
                   R"({"control": "Update", "entry": 1})", 400, "fly-off"},
        BadRequest{"FlyOffEntryOutOfRange", "/api/preview/flyoff",
                   R"({"control": "Step Size", "entry": 5})", 400, "from 0 to 4"},
        BadRequest{"UnknownMouseMessage", "/api/preview/mouse",
                   R"({"mouse": "wheel", "x": 1, "y": 1})", 400, "mouse"}),
    [](const auto &info) { return info.param.label; });

TEST_F(StudioTest, OversizedBodyIsRefusedAndTheServerGoesOn) {
    const json before = Helper();
    const std::string huge =
        R"({"name": "Birth Size", "value": 3, "pad": ")" + std::string(1 << 20, 'x') + "\"}";
    Call(kParam, huge, 413);
    EXPECT_EQ(Helper(), before);
}

TEST_F(StudioTest, ParametersAndPlugInsChangeThroughTheirTables) {
    // A plug-in parameter, read back from the generated table.
    const json set =
        Post(kParam, {{"slot", kShapeSlot}, {"name", "Birth Noise Size"}, {"value", 3.25}});
    EXPECT_EQ(Param(set, kShapeSlot, "Birth Noise Size")["value"], 3.25);
    EXPECT_EQ(Param(Helper(), kShapeSlot, "Birth Noise Size")["value"], 3.25);

    // Another shape by class name brings its own table; choosing FireBall again restores it.
    json chosen = Post(kPlugin, {{"slot", kShapeSlot}, {"class", "Circle"}});
    json shape;
    for (const json &s : chosen["slots"])
        if (s["name"] == kShapeSlot) shape = s;
    EXPECT_EQ(shape["class"], "Circle");
    EXPECT_TRUE(Param(chosen, kShapeSlot, "Birth Noise Size").is_null());
    // The chooser lists shapes only.
    std::vector<std::string> choices;
    for (const json &c : shape["choices"]) choices.push_back(c["class"]);
    EXPECT_NE(std::find(choices.begin(), choices.end(), "FireBall"), choices.end());
    EXPECT_EQ(std::find(choices.begin(), choices.end(), "Default Color"), choices.end());
    chosen = Post(kPlugin, {{"slot", kShapeSlot}, {"class", "FireBall"}});
    EXPECT_FALSE(Param(chosen, kShapeSlot, "Birth Noise Size").is_null());
}

TEST_F(StudioTest, PreviewIsThePreviewWindowsSizeAndChangesWithAParameter) {
    const testfiles::TempFolder folder;
    RenderPreview(folder.Path("a.png"));
    const BitmapPtr a = ReadImageFile(folder.Path("a.png"));
    EXPECT_EQ(a->Width(), 314);
    EXPECT_EQ(a->Height(), 199);

    const json helper = Helper();
    const double size = Param(helper, "", "Birth Size")["value"];
    Post(kParam, {{"name", "Birth Size"}, {"value", size * 2}});
    RenderPreview(folder.Path("b.png"));
    EXPECT_FALSE(SameFrames(folder.Path("a.png"), folder.Path("b.png")));
    Post(kParam, {{"name", "Birth Size"}, {"value", size}});
}

TEST_F(StudioTest, RegionIsDrawnInWindowCoordinatesAndOrdered) {
    const json status = Post("/api/preview/press", {{"control", "Region"}});
    const int ox = status["imageOrigin"][0], oy = status["imageOrigin"][1];
    // Dragged up and to the left, from image pixel (200, 120) to (100, 60).
    for (const auto &[mouse, x, y] :
         {std::tuple{"down", 200, 120}, {"move", 150, 90}, {"up", 100, 60}})
        Post("/api/preview/mouse", {{"mouse", mouse}, {"x", ox + x}, {"y", oy + y}});
    // The window's drag area starts 2 pixels left of and 3 above the image.
    EXPECT_EQ(Get("/api/preview")["region"], json({102, 63, 202, 123}));
    Post("/api/preview/press", {{"control", "Region"}});
    // Without Region, the mouse draws nothing.
    Post("/api/preview/mouse", {{"mouse", "down"}, {"x", ox + 10}, {"y", oy + 10}});
    EXPECT_EQ(Get("/api/preview")["region"], json({102, 63, 202, 123}));
}

TEST_F(StudioTest, StopEndsARenderAndAnotherStarts) {
    Post("/api/preview/start", json::object());
    Post("/api/preview/stop", json::object());
    WaitIdle();
    const testfiles::TempFolder folder;
    RenderPreview(folder.Path("after.png"));
    EXPECT_EQ(ReadImageFile(folder.Path("after.png"))->Width(), 314);
}

TEST_F(StudioTest, SavedSceneRendersAsThePreview) {
    const testfiles::TempFolder folder;
    Post("/api/frame", {{"frame", 12}});
    RenderPreview(folder.Path("preview.png"));
    Post("/api/save", {{"path", folder.Path("saved.json")}});
    const apptest::ProgramRun run = apptest::RunProgram(
        testpaths::NimbraProgram(),
        {"render", folder.Path("saved.json"), "--size", "314x199", "--frames", "12", "-o",
         folder.Path("render.##.png"), "--progress", "plain"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(SameFrames(folder.Path("preview.png"), folder.Path("render.12.png")));
}

}  // namespace
