/// @file studio_server.cpp
/// @brief The studio's routes: token check, the page, the scene API and the preview.
#include "studio_server.h"

#include "object_config.h"
#include "preset_io.h"

#include "framework/plugin_dialog.h"
#include "setup/preview_window.h"
#include "host/class_desc.h"
#include "host/image_file.h"
#include "host/inode.h"
#include "host/interface.h"
#include "host/messages.h"
#include "host/paramblock.h"
#include "host/properties.h"
#include "host/viewport.h"

#include <httplib.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>

extern const char kStudioPageHtml[];
extern const std::size_t kStudioPageHtml_size;
extern const char kStudioPageJs[];
extern const std::size_t kStudioPageJs_size;
extern const char kStudioPageCss[];
extern const std::size_t kStudioPageCss_size;

namespace fs = std::filesystem;
using ojson = nlohmann::ordered_json;

namespace {

constexpr char kTokenHeader[] = "X-Nimbra-Token";
/// Messages kept for the page; older ones are dropped.
constexpr std::size_t kMaxMessages = 200;

std::string RandomToken() {
    std::random_device device;
    std::ostringstream out;
    for (int i = 0; i < 4; ++i) out << std::hex << device();
    return out.str();
}

/// A failed request: HTTP status and the message the page shows.
struct RequestError {
    int status;
    std::string message;
};

/// Records every message box for the page and answers its default button, as batch mode
/// does: nobody is there to click while a request waits.
class MessageLog : public UserInterfaceService {
public:
    int ShowMessage(const MessageRequest &request) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (messages_.size() == kMaxMessages) messages_.erase(messages_.begin());
        messages_.push_back({++count_, request.title, request.text});
        return DefaultAnswer(request.flags);
    }
    /// Messages numbered above `since`.
    ojson Since(long since) const {
        std::lock_guard<std::mutex> lock(mutex_);
        ojson list = ojson::array();
        for (const Entry &e : messages_)
            if (e.id > since)
                list.push_back({{"id", e.id}, {"title", e.title}, {"text", e.text}});
        return list;
    }

private:
    struct Entry {
        long id;
        std::string title, text;
    };
    mutable std::mutex mutex_;
    std::vector<Entry> messages_;
    long count_ = 0;
};

void CollectNodes(INode *node, std::vector<INode *> &out) {
    for (int i = 0; i < node->NumberOfChildren(); ++i) {
        out.push_back(node->GetChildNode(i));
        CollectNodes(node->GetChildNode(i), out);
    }
}

std::vector<INode *> SceneNodes() {
    std::vector<INode *> nodes;
    CollectNodes(GetCOREInterface()->GetRootNode(), nodes);
    return nodes;
}

/// Helpers are the objects that keep effect presets.
bool IsHelper(INode *node) {
    return node && node->GetObjectRef() && GetPresetFile(node->GetObjectRef());
}

/// The sub-objects a roll-up is generated for: plug-ins and controllers, not blocks or nodes.
std::vector<std::pair<std::string, Animatable *>> Slots(Animatable *obj) {
    std::vector<std::pair<std::string, Animatable *>> slots;
    for (int i = 0; i < obj->NumSubs(); ++i) {
        Animatable *sub = obj->SubAnim(i);
        const std::string name = obj->SubAnimName(i);
        if (sub && !name.empty() && !dynamic_cast<IParamBlock *>(sub) &&
            !dynamic_cast<INode *>(sub))
            slots.push_back({name, sub});
    }
    return slots;
}

/// The plug-in slots of a helper and the category the plug-in dialog shows for each.
constexpr std::pair<const char *, int> kPlugInSlots[] = {
    {"Particle Shape", PlugInDialog::kShowParticleShape},
    {"Color Shader", PlugInDialog::kShowColorShader},
    {"Composite", PlugInDialog::kShowComposite}};

/// What could take `sub`'s place in `slot`, as {"class", "description"}: for a plug-in slot
/// the plug-in dialog's list of its category; otherwise (controllers) the public classes of
/// the same super class and category.
ojson Choices(const std::string &slot, Animatable *sub) {
    ojson choices = ojson::array();
    for (const auto &[name, show] : kPlugInSlots) {
        if (slot != name) continue;
        PlugInDialog dialog(ThePlugInRegistry(), show);
        dialog.SetShow(show);
        for (const PlugInDialog::Item &item : dialog.Items())
            choices.push_back({{"class", item.type}, {"description", item.description}});
        return choices;
    }
    const SClass_ID super = sub->SuperClassID();
    ClassDesc *own = ClassDirectory::Instance().Find(super, sub->ClassID());
    const std::string category = own && own->Category() ? own->Category() : "";
    for (const ClassEntry &e : ClassDirectory::Instance().Entries())
        if (e.desc->SuperClassID() == super && e.desc->IsPublic() &&
            category == (e.desc->Category() ? e.desc->Category() : ""))
            choices.push_back({{"class", e.desc->ClassName()}, {"description", category}});
    return choices;
}

/// Applies `settings` (as a scene file gives an object's settings) to `obj`. Throws
/// RequestError 400 with the reader's message.
void Configure(Animatable *obj, const ojson &settings) {
    try {
        JsonDocument doc(settings.dump(), "request");
        const JsonValue root = doc.Root();
        JsonObject members(root, "settings");
        NodeLinks links;
        ConfigureObject(obj, members, links);
        links.ApplyDeferred();
    } catch (const SceneJsonError &e) {
        // "request: params["X"]: expected …" reads better without the document's name.
        std::string message = e.what();
        if (message.rfind("request: ", 0) == 0) message.erase(0, 9);
        throw RequestError{400, message};
    }
}

ojson ParseBody(const httplib::Request &req) {
    ojson body = ojson::parse(req.body, nullptr, false);
    if (body.is_discarded() || !body.is_object())
        throw RequestError{400, "the request body must be a JSON object"};
    return body;
}

std::string StringMember(const ojson &body, const char *key) {
    const auto it = body.find(key);
    if (it == body.end() || !it->is_string() || it->get<std::string>().empty())
        throw RequestError{400, std::string("expected \"") + key + "\": a non-empty string"};
    return it->get<std::string>();
}

}  // namespace

struct StudioServer::Impl {
    SceneDescription desc;
    StudioOptions options;
    std::string token = RandomToken();
    httplib::Server server;
    int port = 0;
    MessageLog messages;
    UserInterfaceService *previousInterface = nullptr;
    ViewExp view;
    std::unique_ptr<PreviewWindow> window;
    std::mutex sceneMutex;  // scene edits and the preview window

    Impl(SceneDescription d, StudioOptions o) : desc(std::move(d)), options(std::move(o)) {
        previousInterface = SetUserInterface(&messages);
        view.SetViewCamera(PreviewCamera());
        window = std::make_unique<PreviewWindow>();
        window->Open(&view);
        window->Press(PreviewWindow::kScene);  // the scene under the effects
        window->Press(PreviewWindow::kCurrentView);
        Routes();
    }
    ~Impl() {
        window.reset();  // stops and waits for a running render
        SetUserInterface(previousInterface);
    }

    INode *PreviewCamera() const {
        Interface *ip = GetCOREInterface();
        for (const std::string &name : {options.camera, desc.render.camera})
            if (!name.empty())
                if (INode *node = ip->GetINodeByName(name.c_str())) return node;
        for (INode *node : SceneNodes())
            if (node->GetObjectRef() && node->GetObjectRef()->SuperClassID() == CAMERA_CLASS_ID)
                return node;
        return nullptr;
    }

    // Scene access (sceneMutex held)

    /// Stops a running preview and waits for its end, so that the scene can change.
    void StopPreview() {
        if (window->Manager().Busy()) window->Press(PreviewWindow::kStop);
        window->Manager().Wait();
        window->Tick();
    }

    INode *Helper(const std::string &name) {
        INode *node = GetCOREInterface()->GetINodeByName(name.c_str());
        if (!IsHelper(node)) throw RequestError{404, "no helper named \"" + name + "\""};
        return node;
    }

    Animatable *Target(INode *helper, const ojson &body) {
        Animatable *obj = helper->GetObjectRef();
        const auto slot = body.find("slot");
        if (slot == body.end() || slot->is_null()) return obj;
        if (!slot->is_string()) throw RequestError{400, "expected \"slot\": a string"};
        for (const auto &[name, sub] : Slots(obj))
            if (name == slot->get<std::string>()) return sub;
        throw RequestError{404, "helper \"" + std::string(helper->GetName()) +
                                    "\" has no slot \"" + slot->get<std::string>() + "\""};
    }

    ojson HelperJson(INode *helper) {
        Animatable *obj = helper->GetObjectRef();
        const TimeValue t = GetCOREInterface()->GetTime();
        ojson slots = ojson::array();
        for (const auto &[name, sub] : Slots(obj))
            slots.push_back({{"name", name},
                             {"class", SceneClassName(sub)},
                             {"choices", Choices(name, sub)},
                             {"params", ParamTable(sub, t)}});
        return {{"name", helper->GetName()},
                {"class", SceneClassName(obj)},
                {"params", ParamTable(obj, t)},
                {"properties", PropertySettings(GetObjectProperties(obj))},
                {"slots", std::move(slots)}};
    }

    ojson SceneJson() {
        Interface *ip = GetCOREInterface();
        ojson nodes = ojson::array(), helpers = ojson::array();
        for (INode *node : SceneNodes()) {
            Object *obj = node->GetObjectRef();
            nodes.push_back({{"name", node->GetName()},
                             {"class", obj ? SceneClassName(obj) : std::string()}});
            if (IsHelper(node)) helpers.push_back(node->GetName());
        }
        const Interval range = ip->GetAnimRange();
        return {
            {"scene", options.sceneName},
            {"frame", ip->GetTime() / GetTicksPerFrame()},
            {"range", {range.Start() / GetTicksPerFrame(), range.End() / GetTicksPerFrame()}},
            {"nodes", std::move(nodes)},
            {"helpers", std::move(helpers)}};
    }

    ojson PreviewStatus() {
        window->Tick();
        const PreviewManager &m = window->Manager();
        return {{"busy", m.Busy()},
                {"done", window->ProgressPosition()},
                {"total", window->ProgressRange()},
                {"caption", window->Caption()},
                {"version", window->ImageVersion()},
                {"halfSize", window->GetControl(PreviewWindow::kHalfSize).checked}};
    }

    void StartPreview(const ojson &body) {
        StopPreview();
        if (const auto half = body.find("halfSize"); half != body.end()) {
            if (!half->is_boolean())
                throw RequestError{400, "expected \"halfSize\": true or false"};
            if (window->GetControl(PreviewWindow::kHalfSize).checked != half->get<bool>())
                window->Press(PreviewWindow::kHalfSize);
        }
        window->Press(window->PreviewSwitch() ? PreviewWindow::kUpdate
                                              : PreviewWindow::kPreview);
    }

    std::string PreviewPng() {
        window->Tick();
        Bitmap *image = window->Image();
        if (!image) throw RequestError{409, "no preview yet (or one is rendering)"};
        const fs::path file = fs::temp_directory_path() / ("nimbra-studio-" + token + ".png");
        WriteImageFile(file.string(), *image);
        std::ifstream in(file, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)),
                          std::istreambuf_iterator<char>());
        fs::remove(file);
        return bytes;
    }

    ojson Preset(INode *helper, const ojson &body, bool save) {
        IPresetFile *presets = GetPresetFile(helper->GetObjectRef());
        const std::string path = StringMember(body, "path");
        const PresetResult result =
            save ? SaveObjectPreset(*presets, path) : LoadObjectPreset(*presets, path);
        if (!result.Done()) throw RequestError{400, result.Summary()};
        return {{"path", PresetPath(*presets, path)}};
    }

    ojson Save(const ojson &body) {
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

    // Routes

    /// Runs `fill` (which sets the response's content) under the scene lock; an error
    /// becomes the response instead.
    template <typename F>
    void Answer(httplib::Response &res, F &&fill) {
        try {
            std::lock_guard<std::mutex> lock(sceneMutex);
            fill();
        } catch (const RequestError &e) {
            res.status = e.status;
            res.set_content(ojson{{"error", e.message}}.dump(), "application/json");
        } catch (const std::exception &e) {
            res.status = 500;
            res.set_content(ojson{{"error", e.what()}}.dump(), "application/json");
        }
    }

    void Get(const std::string &pattern, std::function<ojson(const httplib::Request &)> f) {
        server.Get(pattern, [this, f](const httplib::Request &req, httplib::Response &res) {
            Answer(res, [&] { res.set_content(f(req).dump(), "application/json"); });
        });
    }
    void Post(const std::string &pattern, std::function<ojson(const httplib::Request &)> f) {
        server.Post(pattern, [this, f](const httplib::Request &req, httplib::Response &res) {
            Answer(res, [&] { res.set_content(f(req).dump(), "application/json"); });
        });
    }

    void Static(const std::string &path, const char *data, std::size_t size, const char *type) {
        server.Get(path, [data, size, type](const httplib::Request &, httplib::Response &res) {
            res.set_content(data, size, type);
        });
    }

    /// The page's own files load without the query: opening the page with the token sets it
    /// as a cookie of this port, which the browser then sends along.
    std::string CookieName() const { return "nimbra_token_" + std::to_string(port); }

    std::string GivenToken(const httplib::Request &req) const {
        if (req.has_header(kTokenHeader)) return req.get_header_value(kTokenHeader);
        if (req.has_param("token")) return req.get_param_value("token");
        const std::string cookies = req.get_header_value("Cookie");
        const std::string key = CookieName() + "=";
        for (std::size_t at = cookies.find(key); at != std::string::npos;
             at = cookies.find(key, at + 1)) {
            if (at > 0 && cookies[at - 1] != ' ' && cookies[at - 1] != ';') continue;
            const std::size_t begin = at + key.size(), end = cookies.find(';', begin);
            return cookies.substr(begin, end == std::string::npos ? end : end - begin);
        }
        return {};
    }

    void Routes() {
        server.set_payload_max_length(options.maxBodyBytes);
        server.set_pre_routing_handler(
            [this](const httplib::Request &req, httplib::Response &res) {
                if (GivenToken(req) == token)
                    return httplib::Server::HandlerResponse::Unhandled;
                res.status = 403;
                res.set_content(ojson{{"error",
                                       "missing or wrong token: open the address that "
                                       "'nimbra studio' printed"}}
                                    .dump(),
                                "application/json");
                return httplib::Server::HandlerResponse::Handled;
            });
        server.set_error_handler([](const httplib::Request &, httplib::Response &res) {
            if (!res.body.empty()) return;
            const std::string text = res.status == 413   ? "the request body is too large"
                                     : res.status == 404 ? "no such address"
                                                         : "the request was refused";
            res.set_content(ojson{{"error", text}}.dump(), "application/json");
        });

        server.Get("/", [this](const httplib::Request &, httplib::Response &res) {
            res.set_header("Set-Cookie",
                           CookieName() + "=" + token + "; Path=/; HttpOnly; SameSite=Strict");
            res.set_content(kStudioPageHtml, kStudioPageHtml_size, "text/html; charset=utf-8");
        });
        Static("/studio.js", kStudioPageJs, kStudioPageJs_size, "text/javascript");
        Static("/studio.css", kStudioPageCss, kStudioPageCss_size, "text/css");

        Get("/api/scene", [this](const auto &) { return SceneJson(); });
        Get("/api/messages", [this](const httplib::Request &req) {
            long since = 0;
            try {
                since = std::stol(req.get_param_value("since"));
            } catch (const std::exception &) {
            }
            return messages.Since(since);
        });
        Get(R"(/api/helpers/([^/]+))",
            [this](const httplib::Request &req) { return HelperJson(Helper(req.matches[1])); });
        Post(R"(/api/helpers/([^/]+)/param)", [this](const httplib::Request &req) {
            const ojson body = ParseBody(req);
            INode *helper = Helper(req.matches[1]);
            Animatable *target = Target(helper, body);
            const std::string name = StringMember(body, "name");
            if (!body.contains("value")) throw RequestError{400, "expected \"value\""};
            StopPreview();
            Configure(target, {{"params", {{name, body["value"]}}}});
            return HelperJson(helper);
        });
        Post(R"(/api/helpers/([^/]+)/plugin)", [this](const httplib::Request &req) {
            const ojson body = ParseBody(req);
            INode *helper = Helper(req.matches[1]);
            const std::string slot = StringMember(body, "slot");
            const std::string cls = StringMember(body, "class");
            Target(helper, body);  // the slot must exist
            StopPreview();
            Configure(helper->GetObjectRef(), {{"subs", {{slot, {{"class", cls}}}}}});
            return HelperJson(helper);
        });
        Post(R"(/api/helpers/([^/]+)/preset/(save|load))", [this](const httplib::Request &req) {
            const ojson body = ParseBody(req);
            INode *helper = Helper(req.matches[1]);
            StopPreview();
            return Preset(helper, body, req.matches[2] == "save");
        });
        Post("/api/frame", [this](const httplib::Request &req) {
            const ojson body = ParseBody(req);
            const auto frame = body.find("frame");
            if (frame == body.end() || !frame->is_number_integer())
                throw RequestError{400, "expected \"frame\": a whole number"};
            const long long f = frame->get<long long>();
            if (f < -100000 || f > 100000)
                throw RequestError{400, "\"frame\" must lie within -100000 … 100000"};
            StopPreview();
            GetCOREInterface()->SetTime(static_cast<TimeValue>(f) * GetTicksPerFrame());
            return SceneJson();
        });
        Get("/api/preview", [this](const auto &) { return PreviewStatus(); });
        Post("/api/preview/start", [this](const httplib::Request &req) {
            StartPreview(ParseBody(req));
            return PreviewStatus();
        });
        Post("/api/preview/stop", [this](const auto &) {
            if (window->Manager().Busy()) window->Press(PreviewWindow::kStop);
            return PreviewStatus();
        });
        server.Get("/api/preview.png",
                   [this](const httplib::Request &, httplib::Response &res) {
                       Answer(res, [&] { res.set_content(PreviewPng(), "image/png"); });
                   });
        Post("/api/save", [this](const httplib::Request &req) {
            const ojson body = ParseBody(req);
            StopPreview();
            return Save(body);
        });
    }
};

StudioServer::StudioServer(SceneDescription desc, StudioOptions options)
    : impl_(std::make_unique<Impl>(std::move(desc), std::move(options))) {}

StudioServer::~StudioServer() = default;

bool StudioServer::Bind() {
    if (impl_->options.port == 0)
        impl_->port = impl_->server.bind_to_any_port(impl_->options.host);
    else if (impl_->server.bind_to_port(impl_->options.host, impl_->options.port))
        impl_->port = impl_->options.port;
    else
        impl_->port = -1;
    return impl_->port > 0;
}

void StudioServer::Run() {
    impl_->server.listen_after_bind();
}

void StudioServer::Stop() {
    impl_->server.stop();
}

int StudioServer::Port() const {
    return impl_->port;
}

const std::string &StudioServer::Token() const {
    return impl_->token;
}

std::string StudioServer::Url() const {
    return "http://" + impl_->options.host + ":" + std::to_string(impl_->port) +
           "/?token=" + impl_->token;
}
