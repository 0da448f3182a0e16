/// @file scene_json.cpp
/// @brief Reading the JSON scene file: version, scene settings, the node tree with objects,
///        materials and transforms, atmospherics, render settings and the queue.
#include "scene_json.h"

#include "frame_range.h"
#include "object_config.h"
#include "preset_io.h"

#include "host/atmospheric.h"
#include "host/image_file.h"
#include "host/inode.h"
#include "host/interface.h"
#include "host/material.h"
#include "host/object.h"
#include "host/properties.h"

#include <cmath>
#include <fstream>
#include <iterator>
#include <system_error>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

/// Largest scene file read (a scene is text written by people or tools, not a cache).
constexpr std::uintmax_t kMaxSceneFileBytes = 256u << 20;
/// How far from 1 the length of a rotation quaternion may be (written ones are unit to float
/// precision).
constexpr double kUnitTolerance = 1.0e-4;

/// Makes the scene file's folder the current directory while its objects are configured, so
/// that file names objects take as properties (a particle file) are relative to the scene.
class ScopedCurrentDirectory {
public:
    explicit ScopedCurrentDirectory(const fs::path &dir) {
        std::error_code error;
        previous_ = fs::current_path(error);
        if (error || dir.empty()) return;
        fs::current_path(dir, error);
        changed_ = !error;
    }
    ~ScopedCurrentDirectory() {
        std::error_code error;
        if (changed_) fs::current_path(previous_, error);
    }
    ScopedCurrentDirectory(const ScopedCurrentDirectory &) = delete;
    ScopedCurrentDirectory &operator=(const ScopedCurrentDirectory &) = delete;

private:
    fs::path previous_;
    bool changed_ = false;
};

/// Reads one file and everything it names.
class SceneReader {
public:
    SceneReader(JsonDocument &doc, fs::path baseDir)
        : doc_(doc), baseDir_(std::move(baseDir)) {}

    SceneDescription Read() {
        desc_.file = doc_.File();
        JsonObject root(doc_.Root(), "a scene");
        ReadVersion(root.Require("version"));
        if (auto scene = root.Find("scene")) ReadSceneSettings(*scene);
        if (auto nodes = root.Find("nodes"))
            for (const JsonValue &node : nodes->Elements())
                ReadNode(node, GetCOREInterface()->GetRootNode());
        if (auto atmospherics = root.Find("atmospherics")) ReadAtmospherics(*atmospherics);
        links_.ApplyDeferred();
        if (auto render = root.Find("render")) ReadRenderSettings(*render);
        if (auto queue = root.Find("queue")) ReadQueue(*queue);
        links_.ApplyDeferred();  // node lists of the filters' properties
        root.Finish();
        desc_.warnings = doc_.Warnings();
        return std::move(desc_);
    }

private:
    /// A path of the file made absolute against the file's folder.
    std::string Resolve(const JsonValue &v) const {
        const fs::path p = v.Name();
        return (p.is_absolute() ? p : (baseDir_ / p)).lexically_normal().string();
    }

    void ReadVersion(const JsonValue &v) {
        const std::string supported =
            "this program reads version " + std::to_string(kSceneJsonVersion);
        if (!v.IsNumber()) v.Expected("the scene format version (" + supported + ")");
        if (v.Raw() != kSceneJsonVersion)
            v.Fail("unsupported scene format version " + v.Raw().dump() + " (" + supported +
                   ")");
    }

    // Scene settings
    // -----------------------------------------------------------------------------------

    void ReadSceneSettings(const JsonValue &v) {
        JsonObject scene(v, "the scene settings");
        Interface *ip = GetCOREInterface();
        if (auto rate = scene.Find("frameRate")) {
            const int fps = rate->Int(1, TIME_TICKSPERSEC);
            if (!SetFrameRate(fps))
                rate->Fail("a frame rate must divide " + std::to_string(TIME_TICKSPERSEC) +
                           " ticks per second (24, 25, 30, 50, 60 …)");
        }
        if (auto range = scene.Find("animationRange")) {
            const std::vector<JsonValue> ends = range->Elements(2);
            const TimeValue start = FramesToTicks(ends[0]), end = FramesToTicks(ends[1]);
            if (ends[0].Int() > ends[1].Int())
                range->Fail("the range's first frame comes after its last");
            ip->SetAnimRange(Interval(start, end));
            desc_.animationRange = {ends[0].Int(), ends[1].Int()};
        }
        if (auto ambient = scene.Find("ambient")) desc_.ambient = ambient->Colour();
        if (auto background = scene.Find("background")) desc_.background = background->Colour();
        // The scene's environment too, for modules that ask the host rather than the render.
        ip->SetAmbient(0, desc_.ambient);
        ip->SetBackGround(0, desc_.background);
        if (auto image = scene.Find("backgroundImage")) {
            const std::string path = Resolve(*image);
            try {
                desc_.backgroundImage = ReadImageFile(path);
                desc_.backgroundImagePath = path;
            } catch (const ImageFileError &e) {
                image->Fail(e.what());
            }
        }
        scene.Finish();
    }

    // Nodes
    // -----------------------------------------------------------------------------------

    void ReadNode(const JsonValue &v, INode *parent) {
        Interface *ip = GetCOREInterface();
        JsonObject n(v, "a node");
        const JsonValue nameValue = n.Require("name");
        const std::string name = nameValue.Name();

        INode *node = nullptr;
        if (auto object = n.Find("object")) {
            JsonObject settings(*object, "an object");
            const JsonValue cls = settings.Require("class");
            auto *created = static_cast<Animatable *>(CreateByClassName(
                cls, {GEOMOBJECT_CLASS_ID, CAMERA_CLASS_ID, LIGHT_CLASS_ID, HELPER_CLASS_ID},
                "object"));
            auto *obj = dynamic_cast<Object *>(created);
            if (!obj) {
                created->DeleteThis();
                cls.Fail("class \"" + cls.Name() +
                         "\" does not make an object a node can carry");
            }
            // The node owns the object from here on, even if its settings fail below.
            node = ip->CreateObjectNode(obj);
            node->SetName(name.c_str());
            links_.Add(nameValue, name, node);
            if (auto preset = settings.Find("preset")) ApplyPreset(obj, *preset, cls);
            ConfigureObject(obj, settings, links_);
            settings.Finish();
        } else {
            node = ip->CreateObjectNode(nullptr);
            node->SetName(name.c_str());
            links_.Add(nameValue, name, node);
        }
        if (parent != ip->GetRootNode()) parent->AttachChild(node, 0);
        if (auto material = n.Find("material")) ReadMaterial(*material, node);

        if (auto wire = n.Find("wireColor")) {
            const Color c = wire->Colour();
            const auto byte = [](float f) { return static_cast<DWORD>(f * 255.0f + 0.5f); };
            node->SetWireColor(byte(c.r) | byte(c.g) << 8 | byte(c.b) << 16);
        }
        if (auto transform = n.Find("transform")) ReadTransform(*transform, node);
        if (auto target = n.Find("target")) {
            const JsonValue where = *target;
            links_.Defer([this, node, where] {
                if (!node->SetTarget(links_.Find(where)))
                    where.Fail("a node cannot aim at itself or at one of its parents");
            });
        }
        if (auto children = n.Find("children"))
            for (const JsonValue &child : children->Elements()) ReadNode(child, node);
        n.Finish();
    }

    /// Applies the preset file named by `v` (relative to the scene file) to `obj`, before the
    /// object's own settings.
    void ApplyPreset(Animatable *obj, const JsonValue &v, const JsonValue &cls) {
        IPresetFile *presets = GetPresetFile(obj);
        if (!presets)
            v.Fail("class \"" + cls.Name() +
                   "\" takes no preset file (a \"Nimbra\" helper does)");
        const PresetResult result = LoadObjectPreset(*presets, Resolve(v));
        if (result.outcome == PresetOutcome::Partial)
            v.Fail("preset file \"" + v.Name() +
                   "\" was applied only in part: " + result.Summary());
        if (!result.Done())
            v.Fail("preset file \"" + v.Name() + "\" was not applied: " + result.Summary());
    }

    void ReadMaterial(const JsonValue &v, INode *node) {
        JsonObject settings(v, "a material");
        const JsonValue cls = settings.Require("class");
        auto *created =
            static_cast<Animatable *>(CreateByClassName(cls, {MATERIAL_CLASS_ID}, "material"));
        auto *mtl = dynamic_cast<Mtl *>(created);
        if (!mtl) {
            created->DeleteThis();
            cls.Fail("class \"" + cls.Name() + "\" does not make a material");
        }
        node->SetMtl(mtl);  // the node owns it from here on
        ConfigureObject(mtl, settings, links_);
        settings.Finish();
    }

    /// Calls `constant(value)` for a constant or `key(t, value)` per key of {"keys": …}.
    template <typename Constant, typename Key>
    static void Keyed(const JsonValue &v, Constant &&constant, Key &&key) {
        if (!v.IsObject()) {
            constant(v);
            return;
        }
        JsonObject keyed(v, "keyed value");
        const JsonValue keys = keyed.Require("keys");
        keyed.Finish();
        const std::vector<JsonValue> list = keys.Elements();
        if (list.empty()) keys.Expected("at least one key [frame, value]");
        std::vector<TimeValue> times;
        for (const JsonValue &k : list) {
            const std::vector<JsonValue> parts = k.Elements(2);
            const TimeValue t = FramesToTicks(parts[0]);
            if (std::find(times.begin(), times.end(), t) != times.end())
                parts[0].Fail("two keys at the same frame");
            times.push_back(t);
            key(t, parts[1]);
        }
    }

    static Point3 Scale(const JsonValue &v) {
        if (v.IsNumber()) {
            const float s = static_cast<float>(v.Number());
            return Point3(s, s, s);
        }
        if (!v.IsArray()) v.Expected("a scale (one number, or [x, y, z])");
        return v.Point();
    }

    /// Euler angles in degrees [x, y, z], or a unit quaternion [x, y, z, w].
    static Quat Rotation(const JsonValue &v) {
        if (!v.IsArray() || v.Raw().size() != 4) return EulerToQuat(v.Point());
        const std::vector<JsonValue> c = v.Elements(4);
        const Quat q(static_cast<float>(c[0].Number()), static_cast<float>(c[1].Number()),
                     static_cast<float>(c[2].Number()), static_cast<float>(c[3].Number()));
        const double length = std::sqrt(double(q.x) * q.x + double(q.y) * q.y +
                                        double(q.z) * q.z + double(q.w) * q.w);
        if (std::fabs(length - 1.0) > kUnitTolerance)
            v.Expected("Euler angles [x, y, z] or a unit quaternion [x, y, z, w]");
        return q;
    }

    void ReadTransform(const JsonValue &v, INode *node) {
        JsonObject t(v, "a transform");
        if (auto pos = t.Find("position"))
            Keyed(
                *pos, [&](const JsonValue &p) { node->SetPosition(0, p.Point()); },
                [&](TimeValue time, const JsonValue &p) {
                    node->SetPositionKey(time, p.Point());
                });
        if (auto rot = t.Find("rotation"))
            Keyed(
                *rot, [&](const JsonValue &r) { node->SetRotation(0, Rotation(r)); },
                [&](TimeValue time, const JsonValue &r) {
                    node->SetRotationKey(time, Rotation(r));
                });
        if (auto scale = t.Find("scale"))
            Keyed(
                *scale, [&](const JsonValue &s) { node->SetScale(0, Scale(s)); },
                [&](TimeValue time, const JsonValue &s) { node->SetScaleKey(time, Scale(s)); });
        t.Finish();
    }

    // Atmospherics
    // -----------------------------------------------------------------------------------

    void ReadAtmospherics(const JsonValue &v) {
        Interface *ip = GetCOREInterface();
        for (const JsonValue &entry : v.Elements()) {
            JsonObject settings(entry, "an atmospheric");
            const JsonValue cls = settings.Require("class");
            auto *created = static_cast<Animatable *>(
                CreateByClassName(cls, {ATMOSPHERIC_CLASS_ID}, "atmospheric"));
            auto *atmos = dynamic_cast<Atmospheric *>(created);
            if (!atmos) {
                created->DeleteThis();
                cls.Fail("class \"" + cls.Name() + "\" does not make an atmospheric");
            }
            ip->AddAtmosphere(atmos);  // the scene owns it from here on
            ConfigureObject(atmos, settings, links_);
            if (auto active = settings.Find("active"); active && !active->Bool())
                atmos->SetAFlag(A_ATMOS_DISABLED);
            if (auto gizmos = settings.Find("gizmos")) {
                const std::vector<JsonValue> names = gizmos->Elements();
                links_.Defer([this, atmos, names] {
                    for (const JsonValue &name : names) {
                        INode *node = links_.Find(name);
                        if (!atmos->OKGizmo(node))
                            name.Fail("the atmospheric does not take node \"" + name.Name() +
                                      "\" as a gizmo");
                        atmos->AppendGizmo(node);
                    }
                });
            }
            settings.Finish();
        }
    }

    // Render settings
    // -----------------------------------------------------------------------------------

    void ReadRenderSettings(const JsonValue &v) {
        JsonObject r(v, "the render settings");
        RenderSettings &s = desc_.render;
        if (auto width = r.Find("width")) s.width = width->Int(1, kMaxBitmapSide);
        if (auto height = r.Find("height")) s.height = height->Int(1, kMaxBitmapSide);
        if (s.width && s.height &&
            std::size_t(*s.width) * std::size_t(*s.height) > kMaxBitmapPixels)
            v.Fail("an image of " + std::to_string(*s.width) + " x " +
                   std::to_string(*s.height) + " pixels is larger than a frame may be");
        if (auto aspect = r.Find("pixelAspect"))
            s.pixelAspect = static_cast<float>(aspect->NumberIn(0.01, 100.0));
        if (auto camera = r.Find("camera")) {
            links_.Find(*camera);
            s.camera = camera->Name();
        }
        if (auto frames = r.Find("frames")) {
            if (frames->IsNumber()) {
                s.frames = {frames->Int(-kMaxFrameNumber, kMaxFrameNumber)};
            } else if (frames->IsString()) {
                try {
                    s.frames = ParseFrameRange(frames->String());
                } catch (const FrameRangeError &e) {
                    frames->Fail(e.what());
                }
            } else {
                frames->Expected(
                    "a frame range (\"1-100\", \"1,5,10-20x2\") or a frame number");
            }
        }
        if (auto output = r.Find("output")) s.output = Resolve(*output);
        if (auto fields = r.Find("fieldRender")) s.fieldRender = fields->Bool();
        if (auto order = r.Find("fieldOrder")) {
            const std::string o = order->IsString() ? order->String() : "";
            if (o != "even" && o != "odd")
                order->Expected("\"even\" or \"odd\" (the first field)");
            s.fieldOrder = o == "odd" ? 1 : 0;
        }
        if (auto threads = r.Find("threads")) s.threads = threads->Int(-4096, 4096);
        r.Finish();
    }

    // Queue
    // -----------------------------------------------------------------------------------

    /// A camera node named by `v` (plates need a camera's projection).
    std::string CameraName(const JsonValue &v, bool mustBeCamera) {
        INode *node = links_.Find(v);
        if (mustBeCamera) {
            Object *obj = node->GetObjectRef();
            if (!obj || obj->SuperClassID() != CAMERA_CLASS_ID)
                v.Fail("node \"" + v.Name() + "\" is not a camera");
        }
        return v.Name();
    }

    void ReadQueue(const JsonValue &v) {
        desc_.hasQueue = true;
        for (const JsonValue &entry : v.Elements()) {
            JsonObject e(entry, "a queue event");
            const JsonValue kindValue = e.Require("event");
            const std::string kind = kindValue.IsString() ? kindValue.String() : "";
            QueueEventSpec spec;
            spec.path = entry.Path();
            if (kind == "scene") {
                spec.kind = QueueEventSpec::Kind::Scene;
                if (auto camera = e.Find("camera")) spec.camera = CameraName(*camera, false);
            } else if (kind == "plate") {
                spec.kind = QueueEventSpec::Kind::Plate;
                spec.image = Resolve(e.Require("image"));
                if (auto depth = e.Find("depth")) spec.depth = Resolve(*depth);
                if (auto camera = e.Find("camera")) spec.camera = CameraName(*camera, true);
            } else if (kind == "filter") {
                spec.kind = QueueEventSpec::Kind::Filter;
                spec.filter = ReadFilter(e);
                spec.filterClass = e.Require("class").Name();
            } else if (kind == "output") {
                spec.kind = QueueEventSpec::Kind::Output;
                if (auto file = e.Find("file")) spec.file = Resolve(*file);
            } else {
                kindValue.Expected("\"scene\", \"plate\", \"filter\" or \"output\"");
            }
            e.Finish();
            desc_.queue.push_back(std::move(spec));
        }
    }

    ImageFilterPtr ReadFilter(JsonObject &e) {
        const JsonValue cls = e.Require("class");
        ImageFilterPtr filter(
            static_cast<ImageFilter *>(CreateByClassName(cls, {FLT_CLASS_ID}, "image filter")));
        if (auto properties = e.Find("properties")) {
            // Filters are no animatables: a filter with settings by name offers the
            // properties interface as one of its bases.
            auto *props = dynamic_cast<IObjectProperties *>(filter.get());
            if (!props)
                properties->Fail("image filter \"" + cls.Name() +
                                 "\" takes no settings by name (it runs with its defaults)");
            ConfigureProperties(props, "image filter \"" + cls.Name() + "\"", *properties,
                                links_);
        }
        return filter;
    }

    JsonDocument &doc_;
    fs::path baseDir_;
    SceneDescription desc_;
    NodeLinks links_;
};

}  // namespace

SceneDescription ReadSceneJson(const std::string &text, const std::string &file,
                               const fs::path &baseDir) {
    Interface *ip = GetCOREInterface();
    ip->ResetScene();
    try {
        JsonDocument doc(text, file);
        const fs::path base = fs::absolute(baseDir).lexically_normal();
        ScopedCurrentDirectory inSceneFolder(base);
        return SceneReader(doc, base).Read();
    } catch (...) {
        ip->ResetScene();
        throw;
    }
}

SceneDescription ReadSceneJsonFile(const fs::path &path) {
    const std::string file = path.string();
    std::error_code error;
    if (!fs::exists(path, error)) throw SceneJsonError(file, "", "no such file");
    if (fs::is_directory(path, error))
        throw SceneJsonError(file, "", "is a folder, not a file");
    const std::uintmax_t size = fs::file_size(path, error);
    if (!error && size > kMaxSceneFileBytes)
        throw SceneJsonError(file, "",
                             "larger than a scene file may be (" +
                                 std::to_string(kMaxSceneFileBytes >> 20) + " MiB)");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw SceneJsonError(file, "", "cannot be opened");
    const std::string text{std::istreambuf_iterator<char>(in),
                           std::istreambuf_iterator<char>()};
    if (in.bad()) throw SceneJsonError(file, "", "cannot be read");
    return ReadSceneJson(text, file, path.has_parent_path() ? path.parent_path() : ".");
}
