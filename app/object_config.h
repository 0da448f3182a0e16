/// @file object_config.h
/// @brief Configuring any object of any module from a scene file by the names it answers:
///        parameters (the parameter-name query of its parameter blocks), properties
///        (`IObjectProperties`) and sub-objects (`SubAnimName`), constant or keyed over frames.
///
/// An object's settings are a JSON object:
///   {"class": "Spray",                         picks the class (read by the caller)
///    "params": {"Birth Rate": 20, "Life": {"keys": [[0, 30], [50, 60]]}},
///    "properties": {"Interpolation": "Smooth", "Lights": ["Key", "Fill"]},
///    "subs": {"Size. Controller": {"class": "...", "params": {...}}}}
/// Values follow the parameter's dimension: time parameters take frames (stored as ticks),
/// angles degrees (stored as radians), colours [r, g, b] in 0 … 1, switches true or false.
/// A sub-object's "class" replaces it first, through the owner's property of the same name.
/// `ObjectSettings` writes the same settings back, so that reading them gives the object again.
#pragma once

#include "json_input.h"

#include "host/class_desc.h"
#include "host/types.h"

#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

class Animatable;
class INode;
class IObjectProperties;

/// The scene file's nodes by name, and the settings that name nodes, which wait until every
/// node of the file exists.
class NodeLinks {
public:
    /// Records `node` under its name; fails at `where` when the file already used the name.
    void Add(const JsonValue &where, const std::string &name, INode *node);
    /// The node named by the string `name`; fails listing the nodes when there is none.
    INode *Find(const JsonValue &name) const;
    /// Runs `apply` once every node exists (`ApplyDeferred`).
    void Defer(std::function<void()> apply) { deferred_.push_back(std::move(apply)); }
    void ApplyDeferred();

private:
    std::map<std::string, INode *> nodes_;
    std::vector<std::string> order_;
    std::vector<std::function<void()>> deferred_;
};

/// Ticks of a time given in frames (fractions allowed), at the scene's frame rate; fails when
/// it lies beyond what a time can hold.
TimeValue FramesToTicks(const JsonValue &frames);

/// A new instance of the class named by the string `className`, searched in `supers` in order.
/// Fails listing the classes of those super classes (`kind` names them: "object") when no
/// class has that name. Returns the object's `Animatable` base (as class descriptors create
/// it) — except for image filters, whose descriptors create the `ImageFilter`.
void *CreateByClassName(const JsonValue &className, std::initializer_list<SClass_ID> supers,
                        const std::string &kind);

/// Sets `obj`'s "params", "properties" and "subs" from `settings` (other keys are the
/// caller's). Node names in properties resolve through `links` once every node exists.
void ConfigureObject(Animatable *obj, JsonObject &settings, NodeLinks &links);

/// Sets the properties of an object that is no animatable (an image filter offering
/// `IObjectProperties`) from the JSON object `properties`; `owner` names it in messages.
void ConfigureProperties(IObjectProperties *props, const std::string &owner,
                         const JsonValue &properties, NodeLinks &links);

// Writing
// -------------------------------------------------------------------------------------------

/// The number to write for a float that the reader turns back into `stored` by multiplying it
/// with `perFileUnit` (degrees to radians, frames to ticks): the shortest decimal that gives
/// `stored` exactly, so that authored values stay as they were typed.
double FileNumber(float stored, double perFileUnit = 1.0);
/// `v` as [x, y, z] (a colour as [r, g, b]), each component by `FileNumber`.
nlohmann::ordered_json FileTriple(float x, float y, float z);
/// Frames of a time in ticks, as the reader takes them: a whole number when it is one.
nlohmann::ordered_json FramesJson(TimeValue t);
/// The class name a scene file gives `obj`.
std::string SceneClassName(Animatable *obj);
/// The "params", "properties" and "subs" of `obj` as `ConfigureObject` takes them (members
/// with nothing to say are left out): parameters constant or keyed, every property, and each
/// sub-object other than a parameter block with its "class" and its own settings.
nlohmann::ordered_json ObjectSettings(Animatable *obj);
/// Every property of `props` by name, as `ConfigureProperties` takes them.
nlohmann::ordered_json PropertySettings(IObjectProperties *props);

/// The named parameters of `obj` as a roll-up shows them: one object per parameter with
/// "name", "kind" (float, int, frames, angle, bool, color, point), "value" at time `t` in the
/// file's units, "animated" (keys exist) and, when bounded, "min"/"max" in the file's units.
nlohmann::ordered_json ParamTable(Animatable *obj, TimeValue t);
