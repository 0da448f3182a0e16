/// @file studio_rollup_routes.cpp
/// @brief The studio's routes for the helper's own roll-ups ("About...", "Parameter
///        Selection", "Selected Particle Systems", "Quick Preview"), the "Nimbra Plug-Ins"
///        dialog, objects' named properties, and the filters' setup dialogs.
///
/// The window-free models keep the state and rules; these routes hold the models that live
/// longer than one request (a dialog while it is open, pick mode) and answer what they show.
#include "studio_context.h"

#include "framework/plugin_dialog.h"
#include "framework/plugin_interface.h"
#include "renderer/blur_setup_dialog.h"
#include "renderer/shader_filter.h"
#include "renderer/shader_setup_dialog.h"
#include "setup/helper.h"
#include "setup/helper_icon.h"
#include "setup/helper_panels.h"
#include "host/image_file.h"
#include "host/inode.h"
#include "host/interface.h"

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>

namespace fs = std::filesystem;

namespace {

/// The helper's plug-in slots in the order of the "Edit Current" and "O" buttons (the
/// helper's roles), with the category the plug-in dialog opens on.
struct RoleSlot {
    const char *slot;
    int show;
};
constexpr RoleSlot kRoleSlots[NimbraHelper::kRoles] = {
    {"Particle Shape", PlugInDialog::kShowParticleShape},
    {"Color Shader", PlugInDialog::kShowColorShader},
    {"Composite", PlugInDialog::kShowComposite}};

constexpr char kAboutText[] =
    "Nimbra, version 1.00\n"
    "Particle effects for the post-production queue and the scene renderer.";

// Reading request members
// -------------------------------------------------------------------------------------------

const ojson *Find(const ojson &body, const char *key) {
    const auto it = body.find(key);
    return it == body.end() ? nullptr : &*it;
}

std::optional<bool> OptionalBool(const ojson &body, const char *key) {
    const ojson *v = Find(body, key);
    if (!v) return std::nullopt;
    if (!v->is_boolean())
        throw RequestError{400, std::string("expected \"") + key + "\": true or false"};
    return v->get<bool>();
}

std::optional<long long> OptionalInt(const ojson &body, const char *key) {
    const ojson *v = Find(body, key);
    if (!v) return std::nullopt;
    if (!v->is_number_integer())
        throw RequestError{400, std::string("expected \"") + key + "\": a whole number"};
    return v->get<long long>();
}

std::optional<double> OptionalNumber(const ojson &body, const char *key) {
    const ojson *v = Find(body, key);
    if (!v) return std::nullopt;
    if (!v->is_number())
        throw RequestError{400, std::string("expected \"") + key + "\": a number"};
    return v->get<double>();
}

template <class T>
T Required(std::optional<T> value, const char *key) {
    if (!value) throw RequestError{400, std::string("expected \"") + key + "\""};
    return *value;
}

/// A whole number within first … last.
int IntIn(const ojson &body, const char *key, long long first, long long last) {
    const long long v = Required(OptionalInt(body, key), key);
    if (v < first || v > last)
        throw RequestError{400, std::string("\"") + key + "\" must lie within " +
                                    std::to_string(first) + " … " + std::to_string(last)};
    return static_cast<int>(v);
}

/// A float the models limit to their ranges; beyond what a float holds is a bad request.
float FloatMember(const ojson &body, const char *key) {
    const double v = Required(OptionalNumber(body, key), key);
    if (!(std::abs(v) <= 1e30))
        throw RequestError{400, std::string("\"") + key + "\" is too large"};
    return static_cast<float>(v);
}

NimbraHelper &NimbraHelperOf(INode *node) {
    auto *helper = dynamic_cast<NimbraHelper *>(node->GetObjectRef());
    if (!helper) throw RequestError{404, std::string(node->GetName()) + " has no roll-ups"};
    return *helper;
}

int RoleOfSlot(const std::string &slot) {
    for (int role = 0; role < NimbraHelper::kRoles; ++role)
        if (slot == kRoleSlots[role].slot) return role;
    throw RequestError{404, "no plug-in slot \"" + slot + "\""};
}
// The roll-ups' state
// -------------------------------------------------------------------------------------------

/// What lives longer than a request: pick mode per helper, which helpers have shown their
/// "About..." roll-up, the open plug-in dialog and the open filter setup dialogs.
struct RollupState {
    std::map<NimbraHelper *, SelectedSystemsPanel> systems;
    std::set<NimbraHelper *> aboutShown;

    struct Chooser {
        std::string helper;
        int role;
        PlugInDialog dialog;
    };
    std::optional<Chooser> chooser;

    std::map<std::size_t, std::unique_ptr<ShaderSetupDialog>> shaderDialogs;
    std::map<std::size_t, std::unique_ptr<BlurSetupDialog>> blurDialogs;

    SelectedSystemsPanel &Systems(NimbraHelper &helper) {
        return systems.try_emplace(&helper, helper).first->second;
    }
    Chooser &OpenChooser() {
        if (!chooser) throw RequestError{409, "the plug-in dialog is not open"};
        return *chooser;
    }
};

ojson PanelsJson(NimbraHelper &helper, SelectedSystemsPanel &systems) {
    const ParameterSelectionState s = ParameterSelection(helper, false);
    ojson plugIns = ojson::array();
    for (int role = 0; role < NimbraHelper::kRoles; ++role)
        plugIns.push_back({{"slot", kRoleSlots[role].slot},
                           {"caption", s.captions[role]},
                           {"editEnabled", s.editCurrent[role]},
                           {"checked", s.editCurrentChecked[role]},
                           {"chooseEnabled", s.choosePlugIn[role]}});
    ojson pickable = ojson::array();
    if (systems.Picking())
        for (INode *node : SceneNodes())
            if (helper.AcceptsParticleSystem(node)) pickable.push_back(node->GetName());
    NimbraPlugIn *shape = helper.Shape();
    QuickPreview &preview = helper.Preview();
    return {{"selection",
             {{"selectParticleSystem", s.selectParticleSystem},
              {"particleAge", s.particleAge},
              {"plugIns", std::move(plugIns)},
              {"scenePreview", s.scenePreview},
              {"load", s.load},
              {"save", s.save}}},
            {"systems",
             {{"num", systems.NumText()},
              {"particle", systems.ParticleText()},
              {"previous", systems.PreviousEnabled()},
              {"next", systems.NextEnabled()},
              {"delete", systems.DeleteEnabled()},
              {"picking", systems.Picking()},
              {"pickable", std::move(pickable)}}},
            {"quickPreview",
             {{"available", shape && shape->__SupportRollUpPreview__()},
              {"age", preview.Age()},
              {"showTransparent", preview.ShowTransparent()},
              {"life", kQuickPreviewLife},
              {"width", kQuickPreviewWidth},
              {"height", kQuickPreviewHeight}}}};
}

/// "Selected Particle Systems": a button of the roll-up, or a node clicked while picking.
void SystemsAction(StudioContext &s, NimbraHelper &helper, SelectedSystemsPanel &panel,
                   const ojson &body) {
    const std::string action = StringMember(body, "action");
    const auto require = [](bool enabled, const char *button) {
        if (!enabled) throw RequestError{409, std::string("\"") + button + "\" is disabled"};
    };
    if (action == "previous") {
        require(panel.PreviousEnabled(), "<<");
        panel.Previous();
    } else if (action == "next") {
        require(panel.NextEnabled(), ">>");
        panel.Next();
    } else if (action == "delete") {
        require(panel.DeleteEnabled(), "--");
        s.StopPreview();
        panel.Delete();
    } else if (action == "startPick") {
        panel.StartPick();
    } else if (action == "endPick") {
        panel.EndPick();
    } else if (action == "pick") {
        require(panel.Picking(), "Pick");
        const std::string name = StringMember(body, "node");
        INode *node = GetCOREInterface()->GetINodeByName(name.c_str());
        if (!node) throw RequestError{404, "no node named \"" + name + "\""};
        if (!helper.AcceptsParticleSystem(node))
            throw RequestError{400, "\"" + name +
                                        "\" cannot be picked: it is no particle system, or "
                                        "the helper lists it already"};
        s.StopPreview();
        panel.Pick(node);
    } else {
        throw RequestError{400, "unknown action \"" + action +
                                    "\" (previous, next, delete, startPick, endPick, pick)"};
    }
}

// The plug-in dialog
// -------------------------------------------------------------------------------------------

ojson ChooserJson(const RollupState::Chooser &c) {
    const PlugInDialog &d = c.dialog;
    ojson items = ojson::array();
    int selected = -1;
    for (std::size_t i = 0; i < d.Items().size(); ++i) {
        const PlugInDialog::Item &item = d.Items()[i];
        if (d.OkEnabled() && item.pluginId == d.Result()) selected = static_cast<int>(i);
        items.push_back({{"type", item.type},
                         {"description", item.description},
                         {"image", item.image},
                         {"id", item.pluginId}});
    }
    return {{"title", PlugInDialog::kTitle},
            {"helper", c.helper},
            {"slot", kRoleSlots[c.role].slot},
            {"show", d.GetShow()},
            {"columns",
             {{{"title", PlugInDialog::kTypeColumn}, {"width", PlugInDialog::kTypeColumnWidth}},
              {{"title", PlugInDialog::kDescriptionColumn},
               {"width", PlugInDialog::kDescriptionColumnWidth}}}},
            {"items", std::move(items)},
            {"selected", selected},
            {"currentSelection", d.CurrentSelection()},
            {"okEnabled", d.OkEnabled()},
            {"aboutEnabled", d.AboutEnabled()}};
}

void AddChooserRoutes(StudioContext &studio, const std::shared_ptr<RollupState> &state) {
    StudioContext *s = &studio;
    // An "O" button: the dialog opens on the slot's category, after a running preview stops.
    studio.Post(R"(/api/helpers/([^/]+)/plugin-dialog)", [s, state](const auto &req) {
        const ojson body = ParseBody(req);
        INode *node = s->Helper(req.matches[1]);
        NimbraHelper &helper = NimbraHelperOf(node);
        const int role = RoleOfSlot(StringMember(body, "slot"));
        if (!ParameterSelection(helper, false).choosePlugIn[role])
            throw RequestError{409, "the helper lists no particle system to set up yet"};
        s->StopPreview();
        state->chooser.reset();
        state->chooser.emplace(RollupState::Chooser{
            node->GetName(), role, PlugInDialog(ThePlugInRegistry(), kRoleSlots[role].show)});
        state->chooser->dialog.Open();
        return ChooserJson(*state->chooser);
    });
    studio.Get("/api/plugin-dialog",
               [state](const auto &) { return ChooserJson(state->OpenChooser()); });
    // The "Show" radio buttons and the list's selection.
    studio.Post("/api/plugin-dialog", [state](const auto &req) {
        const ojson body = ParseBody(req);
        RollupState::Chooser &c = state->OpenChooser();
        if (Find(body, "show"))
            c.dialog.SetShow(IntIn(body, "show", 0, PlugInDialog::kShowAll));
        if (const ojson *select = Find(body, "select")) {
            if (!select->is_array()) throw RequestError{400, "expected \"select\": a list"};
            std::vector<int> indexes;
            const long long count = static_cast<long long>(c.dialog.Items().size());
            for (const ojson &i : *select) {
                if (!i.is_number_integer() || i.get<long long>() < 0 ||
                    i.get<long long>() >= count)
                    throw RequestError{
                        400, "\"select\" holds list indexes, 0 … " + std::to_string(count - 1)};
                indexes.push_back(i.get<int>());
            }
            c.dialog.SetSelection(indexes);
        }
        return ChooserJson(c);
    });
    studio.Get("/api/plugin-dialog/about", [state](const auto &) {
        const auto about = state->OpenChooser().dialog.About();
        if (!about) throw RequestError{409, "choose one plug-in first"};
        return ojson{{"title", about->title},
                     {"author", about->author},
                     {"notice", about->notice},
                     {"description", about->description}};
    });
    studio.Post("/api/plugin-dialog/ok", [s, state](const auto &) {
        RollupState::Chooser &c = state->OpenChooser();
        if (!c.dialog.OkEnabled()) throw RequestError{409, "choose one plug-in first"};
        INode *node = s->Helper(c.helper);
        const ULONG id = c.dialog.Result();
        state->chooser.reset();
        s->StopPreview();
        NimbraHelperOf(node).SelectPlugIn(id, 1);
        return s->HelperJson(node);
    });
    studio.Post("/api/plugin-dialog/cancel", [state](const auto &) {
        state->OpenChooser().dialog.Cancel();
        state->chooser.reset();
        return ojson::object();
    });
}

// The filters' setup dialogs
// -------------------------------------------------------------------------------------------

ojson ShaderJson(NimbraShaderFilter &f, const ShaderSetupDialog *d) {
    using D = ShaderSetupDialog;
    ojson out = {{"title", D::kTitle},
                 {"kind", "shader"},
                 {"open", d != nullptr},
                 {"settings",
                  {{"motionBlur", f.motionBlur != 0},
                   {"duration", f.blurDuration},
                   {"subdivisions", f.blurSubdivisions}}}};
    if (d)
        out["dialog"] = {
            {"motionBlur", d->MotionBlurChecked()},
            {"duration", d->Duration()},
            {"subdivisions", d->Subdivisions()},
            {"durationRange", {D::kMinDuration, D::kMaxDuration, D::kDurationScale}},
            {"subdivisionsRange", {D::kMinSubdivisions, D::kMaxSubdivisions}}};
    return out;
}

ojson BlurJson(NimbraBlurFilter &f, const BlurSetupDialog *d) {
    using D = BlurSetupDialog;
    ojson out = {{"title", D::kTitle},
                 {"kind", "blur"},
                 {"open", d != nullptr},
                 {"settings",
                  {{"camera", f.cameraName},
                   {"duration", f.duration},
                   {"subFrames", f.subFrames},
                   {"dither", f.dither}}}};
    if (d)
        out["dialog"] = {
            {"cameras", d->Cameras()},
            {"selectedCamera", d->SelectedCamera()},
            {"cameraText", d->CameraText()},
            {"duration", d->Duration()},
            {"subFrames", d->SubFrames()},
            {"dither", d->Dither()},
            {"durationRange", {D::kMinDuration, D::kMaxDuration, D::kDurationScale}},
            {"subFramesRange", {D::kMinSubFrames, D::kMaxSubFrames}},
            {"ditherRange", {D::kMinDither, D::kMaxDither}}};
    return out;
}

/// The queue's filters that have a setup dialog, and what each dialog does. `index` is the
/// event's place in the queue.
class FilterSetups {
public:
    FilterSetups(StudioContext &s, RollupState &state) : s_(s), state_(state) {}

    ojson List() {
        ojson list = ojson::array();
        for (std::size_t i = 0; i < s_.desc.queue.size(); ++i)
            if (ojson json = Json(i); !json.is_null()) {
                json["index"] = i;
                json["class"] = s_.desc.queue[i].filterClass;
                list.push_back(std::move(json));
            }
        return list;
    }

    /// The filter's settings and, while it is open, its dialog; null for no such filter.
    ojson Json(std::size_t i) {
        if (auto *f = Shader(i)) return ShaderJson(*f, Found(state_.shaderDialogs, i));
        if (auto *f = Blur(i)) return BlurJson(*f, Found(state_.blurDialogs, i));
        return nullptr;
    }

    ojson Open(std::size_t i) {
        if (auto *f = Shader(i); f && !Found(state_.shaderDialogs, i))
            OpenDialog(state_.shaderDialogs, i, *f);
        else if (auto *b = Blur(i); b && !Found(state_.blurDialogs, i))
            OpenDialog(state_.blurDialogs, i, *b);
        return Checked(i);
    }

    /// A control of the open dialog changed.
    ojson Change(std::size_t i, const ojson &body) {
        Checked(i);
        s_.StopPreview();
        if (ShaderSetupDialog *d = Found(state_.shaderDialogs, i)) {
            if (const auto on = OptionalBool(body, "motionBlur")) d->ClickMotionBlur(*on);
            if (Find(body, "duration") || Find(body, "subdivisions"))
                d->SetSpinners(FloatMember(body, "duration"),
                               IntIn(body, "subdivisions", INT32_MIN, INT32_MAX));
        } else if (BlurSetupDialog *d = Found(state_.blurDialogs, i)) {
            if (Find(body, "camera"))
                d->ChooseCamera(
                    IntIn(body, "camera", 0, static_cast<long long>(d->Cameras().size()) - 1));
            if (Find(body, "duration")) d->SetDuration(FloatMember(body, "duration"));
            if (Find(body, "subFrames"))
                d->SetSubFrames(IntIn(body, "subFrames", INT32_MIN, INT32_MAX));
            if (Find(body, "dither")) d->SetDither(IntIn(body, "dither", INT32_MIN, INT32_MAX));
        } else {
            throw RequestError{409, "the filter's setup dialog is not open"};
        }
        return Json(i);
    }

    /// OK (`ok`) or Cancel: the model's semantics, then the dialog closes.
    ojson Close(std::size_t i, bool ok) {
        Checked(i);
        s_.StopPreview();
        if (auto d = state_.shaderDialogs.extract(i))
            ok ? d.mapped()->Ok() : d.mapped()->Cancel();
        else if (auto b = state_.blurDialogs.extract(i))
            ok ? b.mapped()->Ok() : b.mapped()->Cancel();
        else
            throw RequestError{409, "the filter's setup dialog is not open"};
        return Json(i);
    }

private:
    template <class Filter>
    Filter *As(std::size_t i) {
        if (i >= s_.desc.queue.size()) return nullptr;
        return dynamic_cast<Filter *>(s_.desc.queue[i].filter.get());
    }
    NimbraShaderFilter *Shader(std::size_t i) { return As<NimbraShaderFilter>(i); }
    NimbraBlurFilter *Blur(std::size_t i) { return As<NimbraBlurFilter>(i); }

    template <class Dialog>
    static Dialog *Found(const std::map<std::size_t, std::unique_ptr<Dialog>> &m,
                         std::size_t i) {
        const auto it = m.find(i);
        return it == m.end() ? nullptr : it->second.get();
    }
    template <class Dialog, class Filter>
    static void OpenDialog(std::map<std::size_t, std::unique_ptr<Dialog>> &m, std::size_t i,
                           Filter &f) {
        auto &d = m[i] = std::make_unique<Dialog>(f);
        d->Open();
    }
    ojson Checked(std::size_t i) {
        ojson json = Json(i);
        if (json.is_null())
            throw RequestError{
                404, "no filter with a setup dialog at queue event " + std::to_string(i)};
        return json;
    }

    StudioContext &s_;
    RollupState &state_;
};

std::size_t QueueIndex(const httplib::Request &req) {
    try {
        return std::stoul(req.matches[1]);
    } catch (const std::exception &) {
        throw RequestError{404, "no queue event " + std::string(req.matches[1])};
    }
}

void AddFilterRoutes(StudioContext &studio, const std::shared_ptr<RollupState> &state) {
    auto filters = std::make_shared<FilterSetups>(studio, *state);
    // `state` outlives the routes with `filters`, which refers to it.
    studio.Get("/api/filters", [filters, state](const auto &) { return filters->List(); });
    studio.Post(R"(/api/filters/(\d+)/setup)",
                [filters](const auto &req) { return filters->Open(QueueIndex(req)); });
    studio.Post(R"(/api/filters/(\d+)/setup/change)", [filters](const auto &req) {
        return filters->Change(QueueIndex(req), ParseBody(req));
    });
    studio.Post(R"(/api/filters/(\d+)/setup/(ok|cancel))", [filters](const auto &req) {
        return filters->Close(QueueIndex(req), req.matches[2] == "ok");
    });
}

}  // namespace

void AddRollupRoutes(StudioContext &studio) {
    StudioContext *s = &studio;
    auto state = std::make_shared<RollupState>();

    // The helper's panels open (the page shows the helper): "About..." comes open the first
    // time only. A helper that still has its creation size (a scene file placed it without
    // one) takes the size a creation click gives, as its creation has ended.
    studio.Post(R"(/api/helpers/([^/]+)/panels/open)", [s, state](const auto &req) {
        NimbraHelper &helper = NimbraHelperOf(s->Helper(req.matches[1]));
        if (helper.IconSize(0) == NimbraHelper::kCreationIconSize) {
            s->StopPreview();
            helper.SetIconSize(kClickIconSize, kClickIconSize);
        }
        ojson panels = PanelsJson(helper, state->Systems(helper));
        panels["about"] = {{"open", state->aboutShown.insert(&helper).second},
                           {"text", kAboutText}};
        return panels;
    });
    studio.Get(R"(/api/helpers/([^/]+)/panels)", [s, state](const auto &req) {
        NimbraHelper &helper = NimbraHelperOf(s->Helper(req.matches[1]));
        return PanelsJson(helper, state->Systems(helper));
    });
    // An "Edit Current" button checked or unchecked; the helper keeps its check state.
    studio.Post(R"(/api/helpers/([^/]+)/edit-current)", [s, state](const auto &req) {
        const ojson body = ParseBody(req);
        NimbraHelper &helper = NimbraHelperOf(s->Helper(req.matches[1]));
        const int role = RoleOfSlot(StringMember(body, "slot"));
        const bool checked = Required(OptionalBool(body, "checked"), "checked");
        if (checked && !ParameterSelection(helper, false).editCurrent[role])
            throw RequestError{409, "the helper lists no particle system to set up yet"};
        helper.PanelState()[NimbraHelper::kPanelEditCurrentShape + role] = checked ? 1 : 0;
        return PanelsJson(helper, state->Systems(helper));
    });
    studio.Post(R"(/api/helpers/([^/]+)/systems)", [s, state](const auto &req) {
        const ojson body = ParseBody(req);
        NimbraHelper &helper = NimbraHelperOf(s->Helper(req.matches[1]));
        SelectedSystemsPanel &panel = state->Systems(helper);
        SystemsAction(*s, helper, panel, body);
        return PanelsJson(helper, panel);
    });
    studio.Post(R"(/api/helpers/([^/]+)/quick-preview)", [s, state](const auto &req) {
        const ojson body = ParseBody(req);
        NimbraHelper &helper = NimbraHelperOf(s->Helper(req.matches[1]));
        if (Find(body, "age"))
            helper.Preview().SetAge(IntIn(body, "age", 0, kQuickPreviewLife));
        if (const auto on = OptionalBool(body, "showTransparent"))
            helper.Preview().SetShowTransparent(*on);
        return PanelsJson(helper, state->Systems(helper));
    });
    studio.server.Get(
        R"(/api/helpers/([^/]+)/quick-preview\.png)",
        [s](const httplib::Request &req, httplib::Response &res) {
            s->Answer(res, [&] {
                NimbraHelper &helper = NimbraHelperOf(s->Helper(req.matches[1]));
                // The plug-ins draw it, so it waits while a preview render uses them (the
                // page asks again) rather than stopping that render.
                if (s->window->Manager().Busy())
                    throw RequestError{409, "the preview is rendering"};
                BitmapPtr image =
                    helper.Preview().Render(helper, GetCOREInterface()->GetTime());
                if (!image) throw RequestError{404, "the shape offers no quick preview"};
                res.set_content(PngBytes(*image, "nimbra-studio-quick-" + s->token + ".png"),
                                "image/png");
            });
        });
    // A named property of the helper or of one of its plug-ins and controllers, checked by
    // the scene reader's own code.
    studio.Post(R"(/api/helpers/([^/]+)/property)", [s](const auto &req) {
        const ojson body = ParseBody(req);
        INode *node = s->Helper(req.matches[1]);
        Animatable *target = s->Target(node, body);
        const std::string name = StringMember(body, "name");
        const ojson *value = Find(body, "value");
        if (!value) throw RequestError{400, "expected \"value\""};
        s->StopPreview();
        Configure(target, {{"properties", {{name, *value}}}});
        return s->HelperJson(node);
    });
    AddChooserRoutes(studio, state);
    AddFilterRoutes(studio, state);
}
