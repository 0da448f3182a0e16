/// @file studio_scene_routes.cpp
/// @brief The studio's scene routes: the scene and its helpers, parameters, plug-in choice,
///        effect library files, the current frame, saving, and the system's messages.
#include "studio_context.h"

#include "preset_io.h"

#include "host/inode.h"
#include "host/interface.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace {

ojson Preset(INode *helper, const ojson &body, bool save) {
    IPresetFile *presets = GetPresetFile(helper->GetObjectRef());
    const std::string path = StringMember(body, "path");
    const PresetResult result =
        save ? SaveObjectPreset(*presets, path) : LoadObjectPreset(*presets, path);
    if (!result.Done()) throw RequestError{400, result.Summary()};
    return {{"path", PresetPath(*presets, path)}};
}

ojson Save(const SceneDescription &desc, const ojson &body) {
    const fs::path path = fs::absolute(StringMember(body, "path"));
    if (path.extension() != ".json")
        throw RequestError{400, "the scene file must end in .json"};
    try {
        WriteSceneJsonFile(desc, path);
    } catch (const SceneJsonError &e) {
        throw RequestError{400, e.what()};
    }
    return {{"path", path.string()}};
}

}  // namespace

void AddSceneRoutes(StudioContext &studio) {
    StudioContext *s = &studio;
    studio.Get("/api/scene", [s](const auto &) { return s->SceneJson(); });
    studio.Get("/api/messages", [s](const httplib::Request &req) {
        long since = 0;
        try {
            since = std::stol(req.get_param_value("since"));
        } catch (const std::exception &) {
        }
        return s->messages.Since(since);
    });
    studio.Get(R"(/api/helpers/([^/]+))", [s](const httplib::Request &req) {
        return s->HelperJson(s->Helper(req.matches[1]));
    });
    studio.Post(R"(/api/helpers/([^/]+)/param)", [s](const httplib::Request &req) {
        const ojson body = ParseBody(req);
        INode *helper = s->Helper(req.matches[1]);
        Animatable *target = s->Target(helper, body);
        const std::string name = StringMember(body, "name");
        if (!body.contains("value")) throw RequestError{400, "expected \"value\""};
        s->StopPreview();
        Configure(target, {{"params", {{name, body["value"]}}}});
        return s->HelperJson(helper);
    });
    studio.Post(R"(/api/helpers/([^/]+)/plugin)", [s](const httplib::Request &req) {
        const ojson body = ParseBody(req);
        INode *helper = s->Helper(req.matches[1]);
        const std::string slot = StringMember(body, "slot");
        const std::string cls = StringMember(body, "class");
        s->Target(helper, body);  // the slot must exist
        s->StopPreview();
        Configure(helper->GetObjectRef(), {{"subs", {{slot, {{"class", cls}}}}}});
        return s->HelperJson(helper);
    });
    studio.Post(R"(/api/helpers/([^/]+)/preset/(save|load))", [s](const httplib::Request &req) {
        const ojson body = ParseBody(req);
        INode *helper = s->Helper(req.matches[1]);
        s->StopPreview();
        return Preset(helper, body, req.matches[2] == "save");
    });
    studio.Post("/api/frame", [s](const httplib::Request &req) {
        const ojson body = ParseBody(req);
        const auto frame = body.find("frame");
        if (frame == body.end() || !frame->is_number_integer())
            throw RequestError{400, "expected \"frame\": a whole number"};
        const long long f = frame->get<long long>();
        if (f < -100000 || f > 100000)
            throw RequestError{400, "\"frame\" must lie within -100000 … 100000"};
        s->StopPreview();
        GetCOREInterface()->SetTime(static_cast<TimeValue>(f) * GetTicksPerFrame());
        return s->SceneJson();
    });
    studio.Post("/api/save", [s](const httplib::Request &req) {
        const ojson body = ParseBody(req);
        s->StopPreview();
        return Save(s->desc, body);
    });
}
