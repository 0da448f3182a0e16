/// @file scene_json_write.cpp
/// @brief Writing the host's scene as a JSON scene file that reads back into the same scene.
#include "scene_json.h"

#include "object_config.h"

#include "host/atmospheric.h"
#include "host/inode.h"
#include "host/interface.h"
#include "host/material.h"
#include "host/node_transform.h"
#include "host/object.h"
#include "host/properties.h"

#include <cmath>
#include <fstream>
#include <numbers>
#include <vector>

namespace fs = std::filesystem;

namespace {

using ojson = nlohmann::ordered_json;

constexpr double kRadiansToDegrees = 180.0 / std::numbers::pi;
/// Decimals tried when looking for the Euler angles a rotation was authored with.
constexpr int kMaxAngleDecimals = 4;
/// |sin y| beyond which the rotation looks along x and x and z cannot be told apart.
constexpr float kGimbalLimit = 0.9999f;

struct Point3d {
    double x, y, z;
};

float AsFloat(double d) {
    return static_cast<float>(d);
}

/// Euler angles in degrees (about x, then y, then z) that give the rotation `q`, as
/// `EulerToQuat` takes them: the rows of Rx·Ry·Rz are [cy·cz, cy·sz, −sy], [·, ·, sx·cy],
/// [·, ·, cx·cy]. Looking straight along x only x − z (or x + z) is fixed: the angle is offered
/// about x and, with either sign, about z.
std::vector<Point3d> EulerCandidates(const Quat &q) {
    Matrix3 m;
    q.MakeMatrix(m);
    const Point3 r0 = m.GetRow(0), r1 = m.GetRow(1), r2 = m.GetRow(2);
    const double y = std::asin(std::clamp(-static_cast<double>(r0.z), -1.0, 1.0));
    if (std::fabs(r0.z) < kGimbalLimit)
        return {{std::atan2(r1.z, r2.z) * kRadiansToDegrees, y * kRadiansToDegrees,
                 std::atan2(r0.y, r0.x) * kRadiansToDegrees}};
    const double a = std::atan2(-r2.y, r1.y) * kRadiansToDegrees;
    return {{a, y * kRadiansToDegrees, 0.0},
            {0.0, y * kRadiansToDegrees, a},
            {0.0, y * kRadiansToDegrees, -a}};
}

/// A rotation as the file gives it: Euler degrees when angles with few decimals give exactly
/// `q` again (as authored rotations do), else the quaternion [x, y, z, w] itself.
ojson RotationJson(const Quat &q) {
    for (const Point3d &angles : EulerCandidates(q))
        for (int decimals = 0; decimals <= kMaxAngleDecimals; ++decimals) {
            const double scale = std::pow(10.0, decimals);
            // + 0.0 turns −0 into 0
            const auto round = [scale](double a) {
                return std::round(a * scale) / scale + 0.0;
            };
            const double x = round(angles.x), y = round(angles.y), z = round(angles.z);
            if (EulerToQuat(Point3(AsFloat(x), AsFloat(y), AsFloat(z))) == q) return {x, y, z};
        }
    return {FileNumber(q.x), FileNumber(q.y), FileNumber(q.z), FileNumber(q.w)};
}

ojson PointJson(const Point3 &p) {
    return FileTriple(p.x, p.y, p.z);
}

ojson ScaleJson(const Point3 &s) {
    if (s.x == s.y && s.y == s.z) return FileNumber(s.x);
    return PointJson(s);
}

/// A track's constant, or its keys as {"keys": [[frame, value], …]}.
template <typename Get, typename Write>
ojson TrackJson(const PRSTransform &prs, TransformTrack track, Get &&get, Write &&write) {
    const int keys = prs.NumKeys(track);
    if (keys == 0) return write(get(0));
    ojson list = ojson::array();
    for (int k = 0; k < keys; ++k) {
        const TimeValue t = prs.GetKeyTime(track, k);
        list.push_back({FramesJson(t), write(get(t))});
    }
    return {{"keys", std::move(list)}};
}

class SceneWriter {
public:
    explicit SceneWriter(fs::path baseDir) : base_(std::move(baseDir)) {}

    ojson Write(const SceneDescription &desc) {
        ojson file = {{"version", kSceneJsonVersion}};
        file["scene"] = SceneSettings(desc);
        ojson nodes = ojson::array();
        INode *root = GetCOREInterface()->GetRootNode();
        for (int i = 0; i < root->NumberOfChildren(); ++i)
            nodes.push_back(Node(root->GetChildNode(i)));
        if (!nodes.empty()) file["nodes"] = std::move(nodes);
        if (ojson atmospherics = Atmospherics(); !atmospherics.empty())
            file["atmospherics"] = std::move(atmospherics);
        if (ojson render = RenderSettingsJson(desc.render); !render.empty())
            file["render"] = std::move(render);
        if (desc.hasQueue) file["queue"] = Queue(desc.queue);
        return file;
    }

private:
    /// A path below the file's folder relative to it, any other path as it is.
    std::string PathJson(const std::string &path) const {
        const fs::path relative = fs::path(path).lexically_relative(base_);
        if (relative.empty() || *relative.begin() == "..") return path;
        return relative.generic_string();
    }

    ojson SceneSettings(const SceneDescription &desc) const {
        Interface *ip = GetCOREInterface();
        const Interval range = ip->GetAnimRange();
        const auto color = [](const Color &c) { return FileTriple(c.r, c.g, c.b); };
        ojson scene = {{"frameRate", GetFrameRate()},
                       {"animationRange",
                        {range.Start() / GetTicksPerFrame(), range.End() / GetTicksPerFrame()}},
                       {"ambient", color(ip->GetAmbient(0))},
                       {"background", color(ip->GetBackGround(0))}};
        if (!desc.backgroundImagePath.empty())
            scene["backgroundImage"] = PathJson(desc.backgroundImagePath);
        return scene;
    }

    static ojson Settings(Animatable *obj) {
        ojson settings = {{"class", SceneClassName(obj)}};
        settings.update(ObjectSettings(obj));
        return settings;
    }

    ojson Node(INode *node) const {
        ojson n = {{"name", node->GetName()}};
        if (Object *obj = node->GetObjectRef()) n["object"] = Settings(obj);
        if (Mtl *mtl = node->GetMtl()) n["material"] = Settings(mtl);
        const DWORD wire = node->GetWireColor();
        const auto channel = [wire](int shift) {
            return AsFloat(static_cast<double>((wire >> shift) & 0xFF) / 255.0);
        };
        n["wireColor"] = FileTriple(channel(0), channel(8), channel(16));
        if (ojson transform = Transform(node->GetLocalTransform()); !transform.empty())
            n["transform"] = std::move(transform);
        if (INode *target = node->GetTarget()) n["target"] = target->GetName();
        if (node->NumberOfChildren() > 0) {
            ojson children = ojson::array();
            for (int i = 0; i < node->NumberOfChildren(); ++i)
                children.push_back(Node(node->GetChildNode(i)));
            n["children"] = std::move(children);
        }
        return n;
    }

    /// The tracks that differ from the identity.
    static ojson Transform(const PRSTransform &prs) {
        ojson t = ojson::object();
        Interval valid;
        const auto position = [&](TimeValue time) { return prs.GetPosition(time, valid); };
        const auto rotation = [&](TimeValue time) { return prs.GetRotation(time, valid); };
        const auto scale = [&](TimeValue time) { return prs.GetScale(time, valid); };
        if (prs.NumKeys(TRACK_POSITION) > 0 || !(position(0) == Point3()))
            t["position"] = TrackJson(prs, TRACK_POSITION, position, PointJson);
        if (prs.NumKeys(TRACK_ROTATION) > 0 || !(rotation(0) == Quat()))
            t["rotation"] = TrackJson(prs, TRACK_ROTATION, rotation, RotationJson);
        if (prs.NumKeys(TRACK_SCALE) > 0 || !(scale(0) == Point3(1.0f, 1.0f, 1.0f)))
            t["scale"] = TrackJson(prs, TRACK_SCALE, scale, ScaleJson);
        return t;
    }

    static ojson Atmospherics() {
        Interface *ip = GetCOREInterface();
        ojson list = ojson::array();
        for (int i = 0; i < ip->NumAtmospheric(); ++i) {
            Atmospheric *atmos = ip->GetAtmospheric(i);
            if (!atmos) continue;
            ojson a = Settings(atmos);
            if (!atmos->Active()) a["active"] = false;
            if (atmos->NumGizmos() > 0) {
                ojson gizmos = ojson::array();
                for (int g = 0; g < atmos->NumGizmos(); ++g)
                    if (INode *node = atmos->GetGizmo(g)) gizmos.push_back(node->GetName());
                a["gizmos"] = std::move(gizmos);
            }
            list.push_back(std::move(a));
        }
        return list;
    }

    ojson RenderSettingsJson(const RenderSettings &s) const {
        ojson r = ojson::object();
        if (s.width) r["width"] = *s.width;
        if (s.height) r["height"] = *s.height;
        if (s.pixelAspect) r["pixelAspect"] = FileNumber(*s.pixelAspect);
        if (!s.camera.empty()) r["camera"] = s.camera;
        if (s.frames) r["frames"] = FrameList(*s.frames);
        if (!s.output.empty()) r["output"] = PathJson(s.output);
        if (s.fieldRender) r["fieldRender"] = *s.fieldRender;
        if (s.fieldOrder) r["fieldOrder"] = *s.fieldOrder == 1 ? "odd" : "even";
        if (s.threads) r["threads"] = *s.threads;
        return r;
    }

    /// Frames in their order, runs of consecutive frames (up or down) as "first-last".
    static std::string FrameList(const std::vector<int> &frames) {
        std::string text;
        for (std::size_t i = 0; i < frames.size();) {
            std::size_t j = i;
            const int step = i + 1 < frames.size() && frames[i + 1] < frames[i] ? -1 : 1;
            while (j + 1 < frames.size() && frames[j + 1] == frames[j] + step) ++j;
            if (!text.empty()) text += ",";
            text += std::to_string(frames[i]);
            if (j > i) text += "-" + std::to_string(frames[j]);
            i = j + 1;
        }
        return text;
    }

    ojson Queue(const std::vector<QueueEventSpec> &queue) const {
        ojson events = ojson::array();
        for (const QueueEventSpec &spec : queue) {
            ojson e;
            switch (spec.kind) {
                case QueueEventSpec::Kind::Scene:
                    e["event"] = "scene";
                    if (!spec.camera.empty()) e["camera"] = spec.camera;
                    break;
                case QueueEventSpec::Kind::Plate:
                    e["event"] = "plate";
                    e["image"] = PathJson(spec.image);
                    if (!spec.depth.empty()) e["depth"] = PathJson(spec.depth);
                    if (!spec.camera.empty()) e["camera"] = spec.camera;
                    break;
                case QueueEventSpec::Kind::Filter: {
                    e["event"] = "filter";
                    e["class"] = spec.filterClass;
                    ojson props =
                        PropertySettings(dynamic_cast<IObjectProperties *>(spec.filter.get()));
                    if (!props.empty()) e["properties"] = std::move(props);
                    break;
                }
                case QueueEventSpec::Kind::Output:
                    e["event"] = "output";
                    if (!spec.file.empty()) e["file"] = PathJson(spec.file);
                    break;
            }
            events.push_back(std::move(e));
        }
        return events;
    }

    fs::path base_;
};

/// Longest array written on one line.
constexpr std::size_t kMaxInlineArray = 72;

bool HoldsObjects(const ojson &v) {
    if (v.is_object()) return true;
    if (v.is_array())
        for (const ojson &e : v)
            if (HoldsObjects(e)) return true;
    return false;
}

/// Two spaces per level; arrays without objects on one line when they are short, their
/// elements one a line otherwise (keys, node lists), so that files stay readable.
void PrintJson(const ojson &v, int indent, std::string &out) {
    const std::string pad(static_cast<std::size_t>(indent) + 2, ' ');
    if (v.is_object() && !v.empty()) {
        out += "{\n";
        std::size_t i = 0;
        for (const auto &[key, value] : v.items()) {
            out += pad + ojson(key).dump() + ": ";
            PrintJson(value, indent + 2, out);
            out += ++i < v.size() ? ",\n" : "\n";
        }
        out += std::string(static_cast<std::size_t>(indent), ' ') + "}";
        return;
    }
    if (v.is_array() && !v.empty()) {
        std::string line = v.dump(-1, ' ', false);
        if (!HoldsObjects(v) && line.size() <= kMaxInlineArray) {
            // dump() separates with bare commas; a space reads better
            std::string spaced;
            for (std::size_t i = 0; i < line.size(); ++i) {
                spaced += line[i];
                if (line[i] == ',') spaced += ' ';
            }
            out += spaced;
            return;
        }
        out += "[\n";
        for (std::size_t i = 0; i < v.size(); ++i) {
            out += pad;
            PrintJson(v[i], indent + 2, out);
            out += i + 1 < v.size() ? ",\n" : "\n";
        }
        out += std::string(static_cast<std::size_t>(indent), ' ') + "]";
        return;
    }
    out += v.dump();
}

}  // namespace

nlohmann::ordered_json SceneToJson(const SceneDescription &desc, const fs::path &baseDir) {
    return SceneWriter(fs::absolute(baseDir).lexically_normal()).Write(desc);
}

void WriteSceneJsonFile(const SceneDescription &desc, const fs::path &path) {
    const fs::path folder = path.has_parent_path() ? path.parent_path() : ".";
    std::string text;
    PrintJson(SceneToJson(desc, folder), 0, text);
    text += "\n";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out || !out.write(text.data(), static_cast<std::streamsize>(text.size())) ||
        !out.flush())
        throw SceneJsonError(path.string(), "", "cannot be written");
}
