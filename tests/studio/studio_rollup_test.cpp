/// @file studio_rollup_test.cpp
/// @brief The helper's roll-ups, the plug-in dialog, named properties and the filters' setup
///        dialogs over real HTTP on the demo scene (helpers "Flames" and "Smoke").
#include "studio_fixture.h"

#include "framework/plugin_dialog.h"
#include "setup/helper_panels.h"
#include "setup/quick_preview.h"

#include <algorithm>

namespace {

using namespace studiotest;

/// A suite of its own, so it starts from the demo as the file gives it.
class StudioRollups : public StudioTest {
protected:
    static std::string Path(const std::string &helper, const std::string &rest = "") {
        return "/api/helpers/" + helper + rest;
    }
    json HelperNamed(const std::string &name) { return Get(Path(name)); }
    /// What an effect preset carries: the age parameters and each slot's class, parameters
    /// and properties.
    static json SetUp(const json &helper) {
        json slots = json::array();
        for (const json &s : helper["slots"])
            slots.push_back({s["name"], s["class"], s["params"], s["propertyTable"]});
        return {helper["params"], slots};
    }
    static json Slot(const json &helper, const std::string &name) {
        for (const json &s : helper.value("slots", json::array()))
            if (s["name"] == name) return s;
        return nullptr;
    }
    /// The row `name` of a property table.
    static json Property(const json &slot, const std::string &name) {
        for (const json &row : slot.value("propertyTable", json::array()))
            if (row["name"] == name) return row;
        return nullptr;
    }
};

TEST_F(StudioRollups, PresetSavedOnOneHelperLoadsIntoTheOther) {
    const testfiles::TempFolder folder;
    const std::string file = folder.Path("flames.nbr");
    Post(Path("Flames", "/preset/save"), {{"path", file}});
    const json flames = HelperNamed("Flames");
    ASSERT_NE(SetUp(HelperNamed("Smoke")), SetUp(flames));
    Post(Path("Smoke", "/preset/load"), {{"path", file}});
    EXPECT_EQ(SetUp(HelperNamed("Smoke")), SetUp(flames));
}

TEST_F(StudioRollups, MissingOrDamagedPresetIsRefusedAndChangesNothing) {
    const testfiles::TempFolder folder;
    Post(Path("Flames", "/preset/save"), {{"path", folder.Path("good.nbr")}});
    const std::vector<std::uint8_t> good = testfiles::ReadBytes(folder.Path("good.nbr"));
    ASSERT_GT(good.size(), 600u);
    std::vector<std::uint8_t> otherVersion = good, badSignature = good;
    otherVersion[257] = 0x01;  // 0x0130 after 0x0120
    otherVersion[256] = 0x30;
    badSignature[3] ^= 0x20;
    const std::pair<const char *, std::vector<std::uint8_t>> damaged[] = {
        {"in-header.nbr", {good.begin(), good.begin() + 100}},
        {"in-record.nbr", {good.begin(), good.begin() + 300}},
        {"in-helper-block.nbr", {good.begin(), good.begin() + 460}},
        {"version.nbr", otherVersion},
        {"signature.nbr", badSignature},
        {"garbage.nbr", std::vector<std::uint8_t>(good.size(), 0x5A)}};
    for (const auto &[name, bytes] : damaged) testfiles::WriteBytes(folder.Path(name), bytes);

    const json before = HelperNamed("Smoke");
    for (const auto &[name, bytes] : damaged) {
        const json answer =
            Call(Path("Smoke", "/preset/load"), json{{"path", folder.Path(name)}}.dump(), 400);
        EXPECT_TRUE(answer.contains("error")) << name;
        EXPECT_EQ(HelperNamed("Smoke"), before) << name;
    }
    Call(Path("Smoke", "/preset/load"), json{{"path", folder.Path("none.nbr")}}.dump(), 400);
    Call(Path("Smoke", "/preset/save"), json{{"path", folder.Path("no/such/dir.nbr")}}.dump(),
         400);
    EXPECT_EQ(HelperNamed("Smoke"), before);
}

TEST_F(StudioRollups, PanelsOpenSizeTheHelperAndShowAboutOnce) {
    // Placed by the scene file without a size, the helper's buttons stay disabled until its
    // panels open.
    const json closed = Get(Path("Flames", "/panels"));
    EXPECT_FALSE(closed["selection"]["selectParticleSystem"]);
    EXPECT_FALSE(closed["selection"]["plugIns"][0]["chooseEnabled"]);
    Call(Path("Flames", "/plugin-dialog"), R"({"slot": "Particle Shape"})", 409);

    const json first = Post(Path("Flames", "/panels/open"), json::object());
    EXPECT_TRUE(first["about"]["open"]);
    EXPECT_TRUE(first["selection"]["plugIns"][0]["chooseEnabled"]);
    EXPECT_EQ(first["selection"]["plugIns"][0]["caption"], "FireBall");
    EXPECT_FALSE(Post(Path("Flames", "/panels/open"), json::object())["about"]["open"]);

    // "Edit Current" keeps its check state on the helper.
    const json checked =
        Post(Path("Flames", "/edit-current"), {{"slot", "Color Shader"}, {"checked", true}});
    EXPECT_EQ(checked["selection"]["plugIns"][1]["checked"], true);
    EXPECT_EQ(Get(Path("Flames", "/panels"))["selection"]["plugIns"][1]["checked"], true);
}

TEST_F(StudioRollups, PlugInDialogChoiceReplacesThePlugIn) {
    Post(Path("Smoke", "/panels/open"), json::object());
    json d = Post(Path("Smoke", "/plugin-dialog"), {{"slot", kShapeSlot}});
    const auto types = [](const json &dialog) {
        std::vector<std::string> names;
        for (const json &item : dialog["items"]) names.push_back(item["type"]);
        return names;
    };
    std::vector<std::string> listed = types(d);
    EXPECT_NE(std::find(listed.begin(), listed.end(), "Spark"), listed.end());
    EXPECT_EQ(std::find(listed.begin(), listed.end(), "Default Color"), listed.end());
    Call("/api/plugin-dialog/ok", "{}", 409);  // nothing chosen

    d = Post("/api/plugin-dialog", {{"show", PlugInDialog::kShowAll}});
    listed = types(d);
    EXPECT_NE(std::find(listed.begin(), listed.end(), "Default Color"), listed.end());
    const auto spark = std::find(listed.begin(), listed.end(), "Spark") - listed.begin();
    d = Post("/api/plugin-dialog", {{"select", {spark}}});
    EXPECT_EQ(d["currentSelection"], "Spark");
    EXPECT_EQ(Get("/api/plugin-dialog/about")["title"], "About - Spark");
    const json chosen = Post("/api/plugin-dialog/ok", json::object());
    EXPECT_EQ(Slot(chosen, kShapeSlot)["class"], "Spark");
    Call("/api/plugin-dialog", R"({"show": 0})", 409);  // closed

    // Cancel keeps the plug-in.
    d = Post(Path("Smoke", "/plugin-dialog"), {{"slot", kShapeSlot}});
    listed = types(d);
    const auto fireBall = std::find(listed.begin(), listed.end(), "FireBall") - listed.begin();
    Post("/api/plugin-dialog", {{"select", {fireBall}}});
    Call("/api/plugin-dialog", R"({"select": [999]})", 400);
    Post("/api/plugin-dialog/cancel", json::object());
    EXPECT_EQ(Slot(HelperNamed("Smoke"), kShapeSlot)["class"], "Spark");
}

TEST_F(StudioRollups, SelectedSystemsStepDeleteAndPick) {
    const std::string systems = Path("Flames", "/systems");
    const auto act = [&](const json &body) { return Post(systems, body)["systems"]; };
    json s = act({{"action", "startPick"}});
    EXPECT_EQ(s["pickable"], json::array({"Smoke Emitter"}));
    for (const char *refused : {"Crate", "Fire Emitter"})
        Call(systems, json{{"action", "pick"}, {"node", refused}}.dump(), 400);
    Call(systems, R"({"action": "pick", "node": "Nobody"})", 404);
    s = act({{"action", "pick"}, {"node", "Smoke Emitter"}});
    EXPECT_EQ(s["num"], "2");
    EXPECT_EQ(s["particle"], "Smoke Emitter");
    Call(systems, R"({"action": "previous"})", 409);  // stepping waits for the pick's end

    act({{"action", "endPick"}});
    s = act({{"action", "previous"}});
    EXPECT_EQ(s["particle"], "Fire Emitter");
    EXPECT_FALSE(s["previous"]);
    Call(systems, R"({"action": "previous"})", 409);
    EXPECT_EQ(act({{"action", "next"}})["num"], "2");
    s = act({{"action", "delete"}});
    EXPECT_EQ(s["num"], "1");
    EXPECT_EQ(s["particle"], "Fire Emitter");
    const json last = Post(systems, {{"action", "delete"}});
    EXPECT_EQ(last["systems"]["num"], "0");
    EXPECT_EQ(last["systems"]["particle"], kNoSystemText);
    EXPECT_FALSE(last["systems"]["delete"]);
    EXPECT_FALSE(last["selection"]["particleAge"]);  // nothing left to set up

    act({{"action", "startPick"}});
    act({{"action", "pick"}, {"node", "Fire Emitter"}});
    EXPECT_EQ(act({{"action", "endPick"}})["particle"], "Fire Emitter");
}

TEST_F(StudioRollups, QuickPreviewIsItsSizeAndFollowsTheAge) {
    const testfiles::TempFolder folder;
    const auto png = [&](int age) {
        Post(Path("Flames", "/quick-preview"), {{"age", age}});
        auto res = Client().Get(Path("Flames", "/quick-preview.png").c_str());
        EXPECT_TRUE(res && res->status == 200);
        const std::string file = folder.Path("age" + std::to_string(age) + ".png");
        std::ofstream(file, std::ios::binary) << (res ? res->body : "");
        return file;
    };
    const std::string young = png(0), old = png(100);
    const BitmapPtr image = ReadImageFile(young);
    EXPECT_EQ(image->Width(), kQuickPreviewWidth);
    EXPECT_EQ(image->Height(), kQuickPreviewHeight);
    EXPECT_FALSE(SameFrames(young, old));
    Call(Path("Flames", "/quick-preview"), R"({"age": 101})", 400);
    Call(Path("Flames", "/quick-preview"), R"({"showTransparent": 1})", 400);
}

TEST_F(StudioRollups, PropertyEditsAreCheckedByTheSceneReader) {
    const std::string property = Path("Flames", "/property");
    const json set =
        Post(property, {{"slot", kShapeSlot}, {"name", "Noise Type"}, {"value", "Regular"}});
    const json row = Property(Slot(set, kShapeSlot), "Noise Type");
    EXPECT_EQ(row["value"], "Regular");
    EXPECT_EQ(row["kind"], "choice");

    const json before = Helper();
    for (const json &bad :
         {json{{"slot", kShapeSlot}, {"name", "Noise Type"}, {"value", "Wavy"}},
          json{{"slot", kShapeSlot}, {"name", "Noise Type"}, {"value", 1}},
          json{{"slot", kShapeSlot}, {"name", "Bogus"}, {"value", "Regular"}},
          json{{"slot", kShapeSlot}, {"name", "Noise Type"}}}) {
        const json answer = Call(property, bad.dump(), 400);
        EXPECT_TRUE(answer.contains("error")) << bad;
    }
    Call(property, R"({"slot": "Nope", "name": "Noise Type", "value": "Regular"})", 404);
    EXPECT_EQ(Helper(), before);
}

TEST_F(StudioRollups, FilterSetupCancelRestoresAndOkKeeps) {
    const json filters = Get("/api/filters");
    ASSERT_EQ(filters.size(), 1u);
    ASSERT_EQ(filters[0]["kind"], "shader");
    const std::string setup =
        "/api/filters/" + std::to_string(filters[0]["index"].get<int>()) + "/setup";
    const json original = filters[0]["settings"];
    Call(setup + "/change", R"({"motionBlur": true})", 409);  // not open

    for (const bool ok : {false, true}) {
        EXPECT_EQ(Post(setup, json::object())["dialog"]["motionBlur"], false);
        Post(setup + "/change", {{"motionBlur", true}});
        const json changed = Post(setup + "/change", {{"duration", 3.0}, {"subdivisions", 7}});
        // The dialog stores each change at once.
        const json expected = {{"motionBlur", true}, {"duration", 3.0}, {"subdivisions", 7}};
        EXPECT_EQ(changed["settings"], expected);
        Call(setup + "/change", R"({"subdivisions": 7})", 400);  // the pair goes together
        const json closed = Post(setup + (ok ? "/ok" : "/cancel"), json::object());
        EXPECT_FALSE(closed["open"]);
        EXPECT_EQ(closed["settings"], ok ? expected : original) << (ok ? "OK" : "Cancel");
    }
    Call("/api/filters/0/setup", "{}", 404);  // the scene event has no dialog

    // What OK kept is saved with the scene.
    const testfiles::TempFolder folder;
    Post("/api/save", {{"path", folder.Path("saved.json")}});
    const json saved = json::parse(std::ifstream(folder.Path("saved.json")));
    const json &filter = saved["queue"][filters[0]["index"].get<int>()];
    EXPECT_EQ(filter["properties"],
              json({{"Motion Blur", true}, {"Duration", 3.0}, {"Duration Subdivisions", 7}}));
}

}  // namespace

/// The sparks example, whose queue motion-blurs the particles.
class StudioBlurScene : public StudioTest {
protected:
    static void SetUpTestSuite() { StartStudio("sparks-blur.json"); }
};

TEST_F(StudioBlurScene, BlurSetupStoresSpinnersOnOkAndCancelRestores) {
    const json filters = Get("/api/filters");
    const auto blur = std::find_if(filters.begin(), filters.end(),
                                   [](const json &f) { return f["kind"] == "blur"; });
    ASSERT_NE(blur, filters.end()) << filters;
    const std::string setup =
        "/api/filters/" + std::to_string((*blur)["index"].get<int>()) + "/setup";
    const json original = (*blur)["settings"];
    const json opened = Post(setup, json::object())["dialog"];
    EXPECT_EQ(opened["cameras"], json::array({"Camera"}));
    EXPECT_EQ(opened["cameraText"], original["camera"]);
    EXPECT_EQ(opened["subFrames"], original["subFrames"]);

    for (const bool ok : {false, true}) {
        Post(setup, json::object());
        const json changed =
            Post(setup + "/change", {{"duration", 4.0}, {"subFrames", 20}, {"dither", 70}});
        EXPECT_EQ(changed["dialog"]["subFrames"], 20);
        EXPECT_EQ(changed["settings"], original);  // spinners are stored on OK
        Call(setup + "/change", R"({"camera": 1})", 400);
        const json expected = {{"camera", original["camera"]},
                               {"duration", 4.0},
                               {"subFrames", 20},
                               {"dither", 70}};
        EXPECT_EQ(Post(setup + (ok ? "/ok" : "/cancel"), json::object())["settings"],
                  ok ? expected : original)
            << (ok ? "OK" : "Cancel");
    }
}
