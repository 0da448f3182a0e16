/// @file properties.h
/// @brief Named settings of an object beyond its parameter blocks (a choice without a
///        parameter, a list of nodes, a plug-in picked by class name), so that scene files
///        and tools can read and write them by name without knowing the object's class.
#pragma once

#include "host/animatable.h"
#include "host/geom.h"

#include <optional>
#include <string>
#include <variant>
#include <vector>

class INode;

/// Interface identifier (`GetInterface`) of `IObjectProperties`.
constexpr ULONG I_OBJECTPROPERTIES = 0x00000002;

using PropertyValue =
    std::variant<bool, int, float, std::string, Color, Point3, std::vector<INode *>>;

/// What a property holds. `Choice` is a string among `choices`; `Nodes` a list of scene nodes
/// (scene files name them; the reader resolves the names before setting).
enum class PropertyKind { Bool, Int, Float, String, Color, Point3, Choice, Nodes };

struct PropertyInfo {
    std::string name;
    PropertyKind kind = PropertyKind::Int;
    std::vector<std::string> choices;  ///< for Choice
    std::string help;                  ///< one line for listings and error messages
};

class IObjectProperties {
public:
    virtual ~IObjectProperties() = default;
    virtual std::vector<PropertyInfo> ListProperties() = 0;
    /// Sets `name` at time 0 (properties are not animated). False, with `error` saying what
    /// was expected, when the name is unknown or the value does not fit; nothing changes then.
    virtual bool SetProperty(const std::string &name, const PropertyValue &value,
                             std::string &error) = 0;
    virtual std::optional<PropertyValue> GetProperty(const std::string &name) = 0;
};

/// The properties of `obj`, or null when it has none.
inline IObjectProperties *GetObjectProperties(Animatable *obj) {
    return obj ? static_cast<IObjectProperties *>(obj->GetInterface(I_OBJECTPROPERTIES))
               : nullptr;
}
