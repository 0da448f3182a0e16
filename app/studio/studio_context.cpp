/// @file studio_context.cpp
/// @brief The studio's shared state and request helpers.
#include "studio_context.h"

#include "object_config.h"
#include "preset_io.h"

#include "framework/plugin_dialog.h"
#include "host/class_desc.h"
#include "host/image_file.h"
#include "host/inode.h"
#include "host/interface.h"
#include "host/paramblock.h"
#include "host/properties.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <utility>
#include <sstream>

namespace fs = std::filesystem;

namespace {

/// 128 random bits in hexadecimal.
std::string RandomToken() {
    std::random_device device;
    std::ostringstream out;
    for (int i = 0; i < 4; ++i) out << std::hex << device();
    return out.str();
}

/// Messages kept for the page; older ones are dropped.
constexpr std::size_t kMaxMessages = 200;

void CollectNodes(INode *node, std::vector<INode *> &out) {
    for (int i = 0; i < node->NumberOfChildren(); ++i) {
        out.push_back(node->GetChildNode(i));
        CollectNodes(node->GetChildNode(i), out);
    }
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

const char *PropertyKindName(PropertyKind kind) {
    switch (kind) {
        case PropertyKind::Bool:
            return "bool";
        case PropertyKind::Int:
            return "int";
        case PropertyKind::Float:
            return "float";
        case PropertyKind::String:
            return "string";
        case PropertyKind::Color:
            return "color";
        case PropertyKind::Point3:
            return "point";
        case PropertyKind::Choice:
            return "choice";
        case PropertyKind::Nodes:
            return "nodes";
    }
    return "";
}

/// The named properties of `obj` that its roll-up edits, as {"name", "kind", "value", "help"}
/// (and "choices" for a choice): node lists and the classes of sub-objects have roll-ups of
/// their own.
ojson PropertyTable(Animatable *obj) {
    ojson table = ojson::array();
    IObjectProperties *props = GetObjectProperties(obj);
    if (!props) return table;
    const ojson values = PropertySettings(props);
    const auto slots = Slots(obj);
    for (const PropertyInfo &info : props->ListProperties()) {
        const bool isSlot = std::any_of(slots.begin(), slots.end(), [&](const auto &slot) {
            return slot.first == info.name;
        });
        if (info.kind == PropertyKind::Nodes || isSlot || !values.contains(info.name)) continue;
        ojson row = {{"name", info.name},
                     {"kind", PropertyKindName(info.kind)},
                     {"value", values[info.name]},
                     {"help", info.help}};
        if (info.kind == PropertyKind::Choice) row["choices"] = info.choices;
        table.push_back(std::move(row));
    }
    return table;
}

}  // namespace

int MessageLog::ShowMessage(const MessageRequest &request) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (messages_.size() == kMaxMessages) messages_.erase(messages_.begin());
    messages_.push_back({++count_, request.title, request.text});
    return DefaultAnswer(request.flags);
}

ojson MessageLog::Since(long since) const {
    std::lock_guard<std::mutex> lock(mutex_);
    ojson list = ojson::array();
    for (const Entry &e : messages_)
        if (e.id > since) list.push_back({{"id", e.id}, {"title", e.title}, {"text", e.text}});
    return list;
}

std::vector<INode *> SceneNodes() {
    std::vector<INode *> nodes;
    CollectNodes(GetCOREInterface()->GetRootNode(), nodes);
    return nodes;
}

bool IsHelper(INode *node) {
    return node && node->GetObjectRef() && GetPresetFile(node->GetObjectRef());
}

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

std::string PngBytes(Bitmap &image, const std::string &fileName) {
    const fs::path file = fs::temp_directory_path() / fileName;
    WriteImageFile(file.string(), image);
    std::ifstream in(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    fs::remove(file);
    return bytes;
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

StudioContext::StudioContext(SceneDescription d, StudioOptions o)
    : desc(std::move(d)), options(std::move(o)), token(RandomToken()) {
    previousInterface_ = SetUserInterface(&messages);
    // The studio opens at the start of the scene's animation, as the render would.
    Interface *ip = GetCOREInterface();
    ip->SetTime(ip->GetAnimRange().Start());
    view.SetViewCamera(PreviewCamera());
    window = std::make_unique<PreviewWindow>();
    window->Open(&view);
    window->Press(PreviewWindow::kScene);  // the scene under the effects
    window->Press(PreviewWindow::kCurrentView);
}

StudioContext::~StudioContext() {
    window.reset();  // stops and waits for a running render
    SetUserInterface(previousInterface_);
}

INode *StudioContext::PreviewCamera() const {
    Interface *ip = GetCOREInterface();
    for (const std::string &name : {options.camera, desc.render.camera})
        if (!name.empty())
            if (INode *node = ip->GetINodeByName(name.c_str())) return node;
    for (INode *node : SceneNodes())
        if (node->GetObjectRef() && node->GetObjectRef()->SuperClassID() == CAMERA_CLASS_ID)
            return node;
    return nullptr;
}

void StudioContext::StopPreview() {
    if (window->Manager().Busy()) {
        window->Press(PreviewWindow::kStop);
        renderInterrupted = true;
    }
    window->Manager().Wait();
    TickPreview();
}

void StudioContext::TickPreview() {
    const bool running = window->TimerRunning();
    window->Tick();
    if (running && !window->TimerRunning()) ++rendersEnded;
}

INode *StudioContext::Helper(const std::string &name) {
    INode *node = GetCOREInterface()->GetINodeByName(name.c_str());
    if (!IsHelper(node)) throw RequestError{404, "no helper named \"" + name + "\""};
    return node;
}

Animatable *StudioContext::Target(INode *helper, const ojson &body) {
    Animatable *obj = helper->GetObjectRef();
    const auto slot = body.find("slot");
    if (slot == body.end() || slot->is_null()) return obj;
    if (!slot->is_string()) throw RequestError{400, "expected \"slot\": a string"};
    for (const auto &[name, sub] : Slots(obj))
        if (name == slot->get<std::string>()) return sub;
    throw RequestError{404, "helper \"" + std::string(helper->GetName()) + "\" has no slot \"" +
                                slot->get<std::string>() + "\""};
}

ojson StudioContext::HelperJson(INode *helper) {
    Animatable *obj = helper->GetObjectRef();
    const TimeValue t = GetCOREInterface()->GetTime();
    ojson slots = ojson::array();
    for (const auto &[name, sub] : Slots(obj))
        slots.push_back({{"name", name},
                         {"class", SceneClassName(sub)},
                         {"choices", Choices(name, sub)},
                         {"params", ParamTable(sub, t)},
                         {"propertyTable", PropertyTable(sub)}});
    return {{"name", helper->GetName()},
            {"class", SceneClassName(obj)},
            {"params", ParamTable(obj, t)},
            {"properties", PropertySettings(GetObjectProperties(obj))},
            {"propertyTable", PropertyTable(obj)},
            {"slots", std::move(slots)}};
}

ojson StudioContext::SceneJson() {
    Interface *ip = GetCOREInterface();
    ojson nodes = ojson::array(), helpers = ojson::array();
    for (INode *node : SceneNodes()) {
        Object *obj = node->GetObjectRef();
        nodes.push_back(
            {{"name", node->GetName()}, {"class", obj ? SceneClassName(obj) : std::string()}});
        if (IsHelper(node)) helpers.push_back(node->GetName());
    }
    const Interval range = ip->GetAnimRange();
    return {{"scene", options.sceneName},
            {"frame", ip->GetTime() / GetTicksPerFrame()},
            {"range", {range.Start() / GetTicksPerFrame(), range.End() / GetTicksPerFrame()}},
            {"nodes", std::move(nodes)},
            {"helpers", std::move(helpers)}};
}

void StudioContext::Answer(httplib::Response &res, const std::function<void()> &fill) {
    try {
        std::lock_guard<std::mutex> lock(sceneMutex);
        // Also after a refused request, which may have stopped the render before refusing.
        struct Resume {
            StudioContext &s;
            ~Resume() {
                if (!std::exchange(s.renderInterrupted, false) || s.window->Manager().Busy() ||
                    !s.window->PreviewSwitch())
                    return;
                s.window->Press(PreviewWindow::kUpdate);
            }
        } resume{*this};
        fill();
    } catch (const RequestError &e) {
        res.status = e.status;
        res.set_content(ojson{{"error", e.message}}.dump(), "application/json");
    } catch (const std::exception &e) {
        res.status = 500;
        res.set_content(ojson{{"error", e.what()}}.dump(), "application/json");
    }
}

void StudioContext::Get(const std::string &pattern, Handler f) {
    server.Get(pattern, [this, f](const httplib::Request &req, httplib::Response &res) {
        Answer(res, [&] { res.set_content(f(req).dump(), "application/json"); });
    });
}

void StudioContext::Post(const std::string &pattern, Handler f) {
    server.Post(pattern, [this, f](const httplib::Request &req, httplib::Response &res) {
        Answer(res, [&] { res.set_content(f(req).dump(), "application/json"); });
    });
}
