/// @file object_config.cpp
/// @brief Parameters, properties and sub-objects of any object, set by name from JSON.
#include "object_config.h"

#include "host/class_desc.h"
#include "host/inode.h"
#include "host/interface.h"
#include "host/paramblock.h"
#include "host/properties.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <set>

namespace {

constexpr double kDegreesToRadians = std::numbers::pi / 180.0;
/// Most names an error message lists before it stops.
constexpr std::size_t kMaxListed = 40;

std::string Join(const std::vector<std::string> &names) {
    if (names.empty()) return "none";
    std::string s;
    for (std::size_t i = 0; i < names.size() && i < kMaxListed; ++i)
        s += (i ? ", " : "") + names[i];
    if (names.size() > kMaxListed) s += ", …";
    return s;
}

std::string Quoted(const std::string &s) {
    return "\"" + s + "\"";
}

/// The name scene files give an object's class: its class descriptor's, which may differ
/// from the object's own `GetClassName` ("Default Color" makes objects that call themselves
/// "DefaultColor"); the object's own name for a class not in the directory.
std::string ClassNameOf(Animatable *obj) {
    if (ClassDesc *desc = ClassDirectory::Instance().Find(obj->SuperClassID(), obj->ClassID()))
        return desc->ClassName();
    TSTR name;
    obj->GetClassName(name);
    return name;
}

// Parameters
// ---------------------------------------------------------------------------------------

/// One named parameter of an object: its block and index there.
struct ParamRef {
    IParamBlock *block = nullptr;
    int index = -1;
};

/// The parameter blocks of `obj`: its references that are blocks, or itself when it is one.
std::vector<IParamBlock *> ParamBlocksOf(Animatable *obj) {
    std::vector<IParamBlock *> blocks;
    if (auto *self = dynamic_cast<IParamBlock *>(obj)) blocks.push_back(self);
    if (auto *maker = dynamic_cast<ReferenceMaker *>(obj)) {
        for (int i = 0; i < maker->NumRefs(); ++i)
            if (auto *block = dynamic_cast<IParamBlock *>(maker->GetReference(i)))
                if (std::find(blocks.begin(), blocks.end(), block) == blocks.end())
                    blocks.push_back(block);
    }
    return blocks;
}

/// Every parameter with a name, first block first; a name that two blocks answer belongs to
/// the first.
std::vector<std::pair<std::string, ParamRef>> NamedParams(Animatable *obj) {
    std::vector<std::pair<std::string, ParamRef>> params;
    std::set<std::string> seen;
    for (IParamBlock *block : ParamBlocksOf(obj))
        for (int i = 0; i < block->NumParams(); ++i) {
            const std::string name = block->GetParamName(i);
            if (name.empty() || name == "??" || !seen.insert(name).second) continue;
            params.push_back({name, {block, i}});
        }
    return params;
}

std::vector<std::string> PropertyNames(Animatable *obj) {
    std::vector<std::string> names;
    if (IObjectProperties *props = GetObjectProperties(obj))
        for (const PropertyInfo &info : props->ListProperties()) names.push_back(info.name);
    return names;
}

std::vector<std::string> ParamNames(Animatable *obj) {
    std::vector<std::string> names;
    for (const auto &[name, ref] : NamedParams(obj)) names.push_back(name);
    return names;
}

/// "(parameters: …; properties: …)" for unknown-name errors.
std::string NamesOf(Animatable *obj) {
    return "(parameters: " + Join(ParamNames(obj)) +
           "; properties: " + Join(PropertyNames(obj)) + ")";
}

/// Fails at `v` unless `value` (in the block's units, `perFileUnit` of them to the unit the
/// file gives) lies within the range the parameter's owner gives; the message states the range
/// in the file's units.
void CheckRange(const ParamRef &p, double value, double perFileUnit, bool whole,
                const JsonValue &v) {
    const ParamRange range = p.block->GetParamRange(p.index);
    if (range.Contains(value)) return;
    const double low = range.low / perFileUnit, high = range.high / perFileUnit;
    char bounds[96];
    if (std::isfinite(low) && std::isfinite(high))
        std::snprintf(bounds, sizeof bounds, "from %g to %g", low, high);
    else if (std::isfinite(low))
        std::snprintf(bounds, sizeof bounds, "of at least %g", low);
    else
        std::snprintf(bounds, sizeof bounds, "of at most %g", high);
    v.Expected(std::string(whole ? "a whole number " : "a number ") + bounds);
}

/// Block units per unit of the file for a parameter of dimension `dim`: ticks per frame,
/// radians per degree, or 1.
double PerFileUnit(ParamDimension *dim) {
    return dim == stdTimeDim    ? GetTicksPerFrame()
           : dim == stdAngleDim ? kDegreesToRadians
                                : 1.0;
}

/// Sets parameter `p` at time t from `v`, as a key or as the constant.
void SetParamValue(const ParamRef &p, const std::string &name, TimeValue t, bool key,
                   const JsonValue &v) {
    IParamBlock &block = *p.block;
    ParamDimension *dim = block.GetParamDimension(p.index);
    const double perFileUnit = PerFileUnit(dim);
    const auto set = [&](auto value) {
        if (key)
            block.SetKey(p.index, t, value);
        else
            block.SetValue(p.index, t, value);
    };
    switch (block.GetParameterType(p.index)) {
        case TYPE_FLOAT: {
            const double value = v.Number() * perFileUnit;
            if (!std::isfinite(static_cast<float>(value)))
                v.Fail("the value of " + Quoted(name) + " is beyond what a float holds");
            CheckRange(p, static_cast<float>(value), perFileUnit, false, v);
            set(static_cast<float>(value));
            break;
        }
        case TYPE_INT: {
            const int value = dim == stdTimeDim ? static_cast<int>(FramesToTicks(v)) : v.Int();
            CheckRange(p, value, perFileUnit, dim != stdTimeDim, v);
            set(value);
            break;
        }
        case TYPE_BOOL:
            set(v.Bool() ? 1 : 0);
            break;
        case TYPE_RGBA:
            set(v.Colour());
            break;
        case TYPE_POINT3:
            set(v.Point());
            break;
    }
}

/// A constant, or {"keys": [[frame, value], …]} on an animatable parameter.
void SetParam(const ParamRef &p, const std::string &name, const JsonValue &v) {
    if (!v.IsObject()) {
        SetParamValue(p, name, 0, false, v);
        return;
    }
    JsonObject keyed(v, "keyed value");
    const JsonValue keys = keyed.Require("keys");
    keyed.Finish();
    if (!p.block->IsParamAnimatable(p.index))
        v.Fail("parameter " + Quoted(name) + " cannot be animated: give one value");
    const std::vector<JsonValue> list = keys.Elements();
    if (list.empty()) keys.Expected("at least one key [frame, value]");
    std::set<TimeValue> times;
    for (const JsonValue &k : list) {
        if (!k.IsArray() || k.Raw().size() != 2) k.Expected("a key [frame, value]");
        const std::vector<JsonValue> parts = k.Elements();
        const TimeValue t = FramesToTicks(parts[0]);
        if (!times.insert(t).second) parts[0].Fail("two keys at the same frame");
        SetParamValue(p, name, t, true, parts[1]);
    }
}

void SetParams(Animatable *obj, const JsonValue &params) {
    JsonObject members(params, "parameters by name");
    const auto named = NamedParams(obj);
    for (const auto &[name, value] : members.Members()) {
        const auto it =
            std::find_if(named.begin(), named.end(),
                         [&key = name](const auto &entry) { return entry.first == key; });
        if (it == named.end()) {
            const std::vector<std::string> props = PropertyNames(obj);
            const bool isProperty = std::find(props.begin(), props.end(), name) != props.end();
            value.Fail("unknown parameter " + Quoted(name) + " of " + ClassNameOf(obj) +
                       (isProperty ? ": it is a property, set it under \"properties\""
                                   : " " + NamesOf(obj)));
        }
        SetParam(it->second, name, value);
    }
}

// Properties
// ---------------------------------------------------------------------------------------

PropertyValue PropertyFromJson(const PropertyInfo &info, const JsonValue &v) {
    switch (info.kind) {
        case PropertyKind::Bool:
            return v.Bool();
        case PropertyKind::Int:
            return v.Int();
        case PropertyKind::Float:
            return static_cast<float>(v.Number());
        case PropertyKind::String:
            return v.String();
        case PropertyKind::Color:
            return v.Colour();
        case PropertyKind::Point3:
            return v.Point();
        case PropertyKind::Choice: {
            if (!v.IsString() || std::find(info.choices.begin(), info.choices.end(),
                                           v.Raw().get<std::string>()) == info.choices.end()) {
                std::vector<std::string> quoted;
                for (const std::string &c : info.choices) quoted.push_back(Quoted(c));
                v.Expected("one of " + Join(quoted));
            }
            return v.String();
        }
        case PropertyKind::Nodes:
            break;  // resolved later
    }
    return false;
}

void ApplyProperty(IObjectProperties *props, const std::string &name,
                   const PropertyValue &value, const JsonValue &where) {
    std::string error;
    if (!props->SetProperty(name, value, error))
        where.Fail("property " + Quoted(name) + " refused the value" +
                   (error.empty() ? "" : ": " + error));
}

/// Sets `props` from the JSON object `properties`; `unknown(name)` gives the message for a
/// name it does not have. Node lists wait until every node exists.
void SetProperties(IObjectProperties *props, const JsonValue &properties, NodeLinks &links,
                   const std::function<std::string(const std::string &)> &unknown) {
    JsonObject members(properties, "properties by name");
    const std::vector<PropertyInfo> infos =
        props ? props->ListProperties() : std::vector<PropertyInfo>{};
    for (const auto &[name, value] : members.Members()) {
        const auto info =
            std::find_if(infos.begin(), infos.end(),
                         [&key = name](const PropertyInfo &i) { return i.name == key; });
        if (info == infos.end()) value.Fail(unknown(name));
        if (info->kind != PropertyKind::Nodes) {
            ApplyProperty(props, name, PropertyFromJson(*info, value), value);
            continue;
        }
        const std::vector<JsonValue> names = value.Elements();
        const JsonValue where = value;
        const std::string key = name;
        links.Defer([props, key, names, where, &links] {
            std::vector<INode *> nodes;
            for (const JsonValue &n : names) nodes.push_back(links.Find(n));
            ApplyProperty(props, key, nodes, where);
        });
    }
}

void SetObjectProperties(Animatable *obj, const JsonValue &properties, NodeLinks &links) {
    SetProperties(GetObjectProperties(obj), properties, links, [obj](const std::string &name) {
        const std::vector<std::string> params = ParamNames(obj);
        const bool isParam = std::find(params.begin(), params.end(), name) != params.end();
        return "unknown property " + Quoted(name) + " of " + ClassNameOf(obj) +
               (isParam ? ": it is a parameter, set it under \"params\"" : " " + NamesOf(obj));
    });
}

// Sub-objects
// ---------------------------------------------------------------------------------------

/// Index of the sub-animatable named `name`, or -1.
int FindSub(Animatable *obj, const std::string &name) {
    for (int i = 0; i < obj->NumSubs(); ++i)
        if (obj->SubAnimName(i) == name) return i;
    return -1;
}

std::vector<std::string> SubNames(Animatable *obj) {
    std::vector<std::string> names;
    for (int i = 0; i < obj->NumSubs(); ++i)
        if (const TSTR name = obj->SubAnimName(i); !name.empty()) names.push_back(name);
    return names;
}

void ConfigureSub(Animatable *owner, const std::string &name, const JsonValue &value,
                  NodeLinks &links) {
    JsonObject settings(value, "the settings of a sub-object");
    int index = FindSub(owner, name);
    if (index < 0)
        value.Fail("unknown sub-object " + Quoted(name) + " of " + ClassNameOf(owner) +
                   " (sub-objects: " + Join(SubNames(owner)) + ")");
    Animatable *sub = owner->SubAnim(index);
    if (const std::optional<JsonValue> cls = settings.Find("class")) {
        const std::string wanted = cls->Name();
        if (!sub || ClassNameOf(sub) != wanted) {
            // The owner replaces its sub-object through the property of the same name.
            IObjectProperties *props = GetObjectProperties(owner);
            std::vector<PropertyInfo> infos;
            if (props) infos = props->ListProperties();
            const bool offered = std::any_of(infos.begin(), infos.end(), [&](const auto &i) {
                return i.name == name &&
                       (i.kind == PropertyKind::String || i.kind == PropertyKind::Choice);
            });
            if (!offered)
                cls->Fail(ClassNameOf(owner) + " cannot replace its sub-object " +
                          Quoted(name) + " (it has no property of that name)");
            ApplyProperty(props, name, wanted, *cls);
            index = FindSub(owner, name);
            sub = index >= 0 ? owner->SubAnim(index) : nullptr;
            if (!sub || ClassNameOf(sub) != wanted)
                cls->Fail(ClassNameOf(owner) + " did not make its sub-object " + Quoted(name) +
                          " a " + Quoted(wanted));
        }
    }
    if (!sub) value.Fail("sub-object " + Quoted(name) + " is empty: give its \"class\"");
    ConfigureObject(sub, settings, links);
    settings.Finish();
}

void SetSubs(Animatable *obj, const JsonValue &subs, NodeLinks &links) {
    JsonObject members(subs, "sub-objects by name");
    for (const auto &[name, value] : members.Members()) ConfigureSub(obj, name, value, links);
}

}  // namespace

// NodeLinks
// -------------------------------------------------------------------------------------------

void NodeLinks::Add(const JsonValue &where, const std::string &name, INode *node) {
    if (!nodes_.emplace(name, node).second)
        where.Fail("a node named " + Quoted(name) + " exists already: node names must differ");
    order_.push_back(name);
}

INode *NodeLinks::Find(const JsonValue &name) const {
    const std::string text = name.Name();
    const auto it = nodes_.find(text);
    if (it == nodes_.end()) {
        std::vector<std::string> quoted;
        for (const std::string &n : order_) quoted.push_back(Quoted(n));
        name.Fail("no node named " + Quoted(text) + " (nodes: " + Join(quoted) + ")");
    }
    return it->second;
}

void NodeLinks::ApplyDeferred() {
    // Taken out first: an action may not add more, but must not see a vector that moves.
    std::vector<std::function<void()>> actions;
    actions.swap(deferred_);
    for (const auto &apply : actions) apply();
}

// -------------------------------------------------------------------------------------------

TimeValue FramesToTicks(const JsonValue &frames) {
    const double ticks = std::round(frames.Number() * GetTicksPerFrame());
    // Keep clear of the infinities that intervals use.
    if (!(ticks > INT_MIN + 1.0 && ticks < INT_MAX - 1.0))
        frames.Fail("frame " + frames.Raw().dump() + " lies beyond the times a scene holds");
    return static_cast<TimeValue>(ticks);
}

void *CreateByClassName(const JsonValue &className, std::initializer_list<SClass_ID> supers,
                        const std::string &kind) {
    const std::string name = className.Name();
    const ClassDirectory &dir = ClassDirectory::Instance();
    for (SClass_ID super : supers)
        if (ClassDesc *desc = dir.FindByName(super, name)) {
            void *created = desc->Create(FALSE);
            if (!created)
                className.Fail("class " + Quoted(name) + " could not create an object");
            return created;
        }
    std::set<std::string> known;
    for (const ClassEntry &entry : dir.Entries())
        if (std::find(supers.begin(), supers.end(), entry.desc->SuperClassID()) != supers.end())
            known.insert(Quoted(entry.desc->ClassName()));
    className.Fail("unknown " + kind + " class " + Quoted(name) + " (" + kind +
                   " classes installed: " + Join({known.begin(), known.end()}) + ")");
}

void ConfigureObject(Animatable *obj, JsonObject &settings, NodeLinks &links) {
    // Properties first: one may switch what the parameters mean (a mode, a plug-in).
    if (const auto properties = settings.Find("properties"))
        SetObjectProperties(obj, *properties, links);
    if (const auto params = settings.Find("params")) SetParams(obj, *params);
    if (const auto subs = settings.Find("subs")) SetSubs(obj, *subs, links);
}

void ConfigureProperties(IObjectProperties *props, const std::string &owner,
                         const JsonValue &properties, NodeLinks &links) {
    SetProperties(props, properties, links, [props, &owner](const std::string &name) {
        std::vector<std::string> names;
        if (props)
            for (const PropertyInfo &info : props->ListProperties()) names.push_back(info.name);
        return "unknown property " + Quoted(name) + " of " + owner +
               " (properties: " + Join(names) + ")";
    });
}

// Writing
// -------------------------------------------------------------------------------------------

namespace {

using ojson = nlohmann::ordered_json;

/// A parameter's value at t in the file's units.
ojson ParamValue(const ParamRef &p, TimeValue t) {
    IParamBlock &block = *p.block;
    ParamDimension *dim = block.GetParamDimension(p.index);
    Interval valid = FOREVER;
    switch (block.GetParameterType(p.index)) {
        case TYPE_FLOAT: {
            float v = 0.0f;
            block.GetValue(p.index, t, v, valid);
            return FileNumber(v, PerFileUnit(dim));
        }
        case TYPE_INT: {
            int v = 0;
            block.GetValue(p.index, t, v, valid);
            return dim == stdTimeDim ? FramesJson(v) : ojson(v);
        }
        case TYPE_BOOL: {
            int v = 0;
            block.GetValue(p.index, t, v, valid);
            return v != 0;
        }
        case TYPE_RGBA: {
            Color c;
            block.GetValue(p.index, t, c, valid);
            return FileTriple(c.r, c.g, c.b);
        }
        case TYPE_POINT3: {
            Point3 v;
            block.GetValue(p.index, t, v, valid);
            return FileTriple(v.x, v.y, v.z);
        }
    }
    return nullptr;
}

ojson PropertyJson(const PropertyValue &value) {
    return std::visit(
        [](const auto &v) -> ojson {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, float>)
                return FileNumber(v);
            else if constexpr (std::is_same_v<T, Color>)
                return FileTriple(v.r, v.g, v.b);
            else if constexpr (std::is_same_v<T, Point3>)
                return FileTriple(v.x, v.y, v.z);
            else if constexpr (std::is_same_v<T, std::vector<INode *>>) {
                ojson names = ojson::array();
                for (INode *node : v)
                    if (node) names.push_back(node->GetName());
                return names;
            } else
                return v;
        },
        value);
}

}  // namespace

double FileNumber(float stored, double perFileUnit) {
    const double ideal = stored / perFileUnit;
    char text[32];
    for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, ideal);
        const double candidate = std::strtod(text, nullptr);
        const float read = static_cast<float>(candidate * perFileUnit);
        if (std::bit_cast<std::uint32_t>(read) == std::bit_cast<std::uint32_t>(stored))
            return candidate;
    }
    return ideal;
}

nlohmann::ordered_json FileTriple(float x, float y, float z) {
    return {FileNumber(x), FileNumber(y), FileNumber(z)};
}

nlohmann::ordered_json FramesJson(TimeValue t) {
    if (t % GetTicksPerFrame() == 0) return t / GetTicksPerFrame();
    return static_cast<double>(t) / GetTicksPerFrame();
}

std::string SceneClassName(Animatable *obj) {
    return ClassNameOf(obj);
}

nlohmann::ordered_json PropertySettings(IObjectProperties *props) {
    ojson out = ojson::object();
    if (!props) return out;
    for (const PropertyInfo &info : props->ListProperties())
        if (const std::optional<PropertyValue> value = props->GetProperty(info.name))
            out[info.name] = PropertyJson(*value);
    return out;
}

nlohmann::ordered_json ObjectSettings(Animatable *obj) {
    ojson out = ojson::object();
    if (ojson props = PropertySettings(GetObjectProperties(obj)); !props.empty())
        out["properties"] = std::move(props);

    ojson params = ojson::object();
    for (const auto &[name, ref] : NamedParams(obj)) {
        const int keys =
            ref.block->IsParamAnimatable(ref.index) ? ref.block->NumKeys(ref.index) : 0;
        if (keys == 0) {
            params[name] = ParamValue(ref, 0);
            continue;
        }
        ojson list = ojson::array();
        for (int k = 0; k < keys; ++k) {
            const TimeValue t = ref.block->GetKeyTime(ref.index, k);
            list.push_back({FramesJson(t), ParamValue(ref, t)});
        }
        params[name] = {{"keys", std::move(list)}};
    }
    if (!params.empty()) out["params"] = std::move(params);

    ojson subs = ojson::object();
    for (int i = 0; i < obj->NumSubs(); ++i) {
        Animatable *sub = obj->SubAnim(i);
        const std::string name = obj->SubAnimName(i);
        if (!sub || name.empty() || dynamic_cast<IParamBlock *>(sub) ||
            dynamic_cast<INode *>(sub) || FindSub(obj, name) != i)
            continue;
        ojson settings = {{"class", ClassNameOf(sub)}};
        settings.update(ObjectSettings(sub));
        subs[name] = std::move(settings);
    }
    if (!subs.empty()) out["subs"] = std::move(subs);
    return out;
}

nlohmann::ordered_json ParamTable(Animatable *obj, TimeValue t) {
    ojson table = ojson::array();
    for (const auto &[name, ref] : NamedParams(obj)) {
        IParamBlock &block = *ref.block;
        ParamDimension *dim = block.GetParamDimension(ref.index);
        const double perFileUnit = PerFileUnit(dim);
        ojson row = {{"name", name}};
        switch (block.GetParameterType(ref.index)) {
            case TYPE_FLOAT:
                row["kind"] = dim == stdAngleDim ? "angle" : "float";
                break;
            case TYPE_INT:
                row["kind"] = dim == stdTimeDim ? "frames" : "int";
                break;
            case TYPE_BOOL:
                row["kind"] = "bool";
                break;
            case TYPE_RGBA:
                row["kind"] = "color";
                break;
            case TYPE_POINT3:
                row["kind"] = "point";
                break;
        }
        row["value"] = ParamValue(ref, t);
        row["animated"] = block.IsParamAnimatable(ref.index) && block.NumKeys(ref.index) > 0;
        const ParamRange range = block.GetParamRange(ref.index);
        if (std::isfinite(range.low)) row["min"] = range.low / perFileUnit;
        if (std::isfinite(range.high)) row["max"] = range.high / perFileUnit;
        table.push_back(std::move(row));
    }
    return table;
}
