/// @file helper_properties.cpp
/// @brief The helper's named settings for scene files.
#include "setup/helper_properties.h"

#include "framework/plugin_interface.h"
#include "framework/plugin_registry.h"
#include "setup/helper.h"
#include "host/inode.h"

#include <cmath>

namespace {

/// An age-block setting whose control carries a label rather than a parameter name. Its range
/// is the age block's (`NimbraHelper::AgeParamSpecs`).
struct AgeSetting {
    const char *name;
    int param;
    PropertyKind kind;  ///< Bool or Int
    const char *help;   ///< an Int's range is added
};

constexpr AgeSetting kAgeSettings[] = {
    {kMaterialIdProperty, NimbraHelper::kMaterialId, PropertyKind::Int,
     "material ID written where the effect covers the frame"},
    {kUpdateZBufferProperty, NimbraHelper::kUpdateZBuffer, PropertyKind::Bool,
     "the effect writes its depth into the frame's depth channel"},
    {kCastShadowsProperty, NimbraHelper::kCastShadows, PropertyKind::Bool,
     "the particles cast shadows (highlights and shadows of volume effects)"},
    {kVolumeFogProperty, NimbraHelper::kVolumeFog, PropertyKind::Bool,
     "a switch the panels keep hidden; saved with the scene"},
    {kUseEmitterAgeProperty, NimbraHelper::kUseEmitterAge, PropertyKind::Bool,
     "the life window is the first particle system's own particle life"},
    {kUseBrushSettingsProperty, NimbraHelper::kUseBrushSettings, PropertyKind::Bool,
     "shadows take the particles' size and transparency instead of the shadow parameters"},
    {kShadingOrderProperty, NimbraHelper::kShadingOrder, PropertyKind::Int,
     "order of the helper among the scene's helpers"},
};

/// The range of an Int age setting.
ParamRange RangeOf(const AgeSetting &s) {
    return NimbraHelper::AgeParamSpecs()[s.param].range;
}

/// "0 to 255": the whole numbers of an Int age setting's range.
std::string RangeText(const AgeSetting &s) {
    const ParamRange range = RangeOf(s);
    return std::to_string(static_cast<int>(range.low)) + " to " +
           std::to_string(static_cast<int>(range.high));
}

struct PlugInSetting {
    const char *name;
    const char *category;  ///< in messages
};
constexpr PlugInSetting kPlugInSettings[NimbraHelper::kRoles] = {
    {kParticleShapeProperty, "particle shape"},
    {kColorShaderProperty, "color shader"},
    {kCompositeProperty, "composite"},
};

/// The registered class of category `key` named `name`, or null.
const PlugInRecord *FindRecord(ULONG key, const std::string &name) {
    const PlugInRegistry &registry = ThePlugInRegistry();
    for (int i = 0; i < registry.Count(); ++i) {
        const PlugInRecord *r = registry.Get(i);
        if (r->categoryKey == key && r->className == name) return r;
    }
    return nullptr;
}

/// The quoted class names of category `key`, for messages.
std::string ClassNames(ULONG key) {
    std::string names;
    const PlugInRegistry &registry = ThePlugInRegistry();
    for (int i = 0; i < registry.Count(); ++i) {
        const PlugInRecord *r = registry.Get(i);
        if (r->categoryKey != key) continue;
        names += (names.empty() ? "\"" : ", \"") + r->className + "\"";
    }
    return names.empty() ? "none" : names;
}

std::string Quoted(const std::string &s) {
    return "\"" + s + "\"";
}

/// The class name of a plug-in or controller, as its class descriptor gives it.
std::string ClassNameOf(ReferenceTarget *target) {
    if (!target) return std::string();
    if (ClassDesc *desc =
            ClassDirectory::Instance().Find(REF_MAKER_CLASS_ID, target->ClassID()))
        return desc->ClassName();
    TSTR name;
    target->GetClassName(name);
    return name;
}

/// The quantities of the four controllers, for the help texts.
constexpr const char *kControlledQuantities[NimbraHelper::kControllers] = {
    "the transparency", "the size", "the shadow transparency", "the shadow size"};

const std::string kIconHelp = "world units, larger than 0";

}  // namespace

std::vector<PropertyInfo> HelperProperties::ListProperties() {
    std::vector<PropertyInfo> list{
        {kParticleSystemsProperty,
         PropertyKind::Nodes,
         {},
         "the particle-system nodes whose particles the helper renders"}};
    for (const PlugInSetting &p : kPlugInSettings)
        list.push_back({p.name,
                        PropertyKind::String,
                        {},
                        std::string("class name of the ") + p.category + " plug-in"});
    for (int i = 0; i < NimbraHelper::kControllers; ++i) {
        list.push_back(
            {ControllerName(i),
             PropertyKind::String,
             {},
             std::string("class name of the age controller of ") + kControlledQuantities[i]});
    }
    for (const AgeSetting &s : kAgeSettings) {
        list.push_back({s.name,
                        s.kind,
                        {},
                        s.kind == PropertyKind::Int ? s.help + (", " + RangeText(s)) : s.help});
    }
    list.push_back({kIconWidthProperty, PropertyKind::Float, {}, "icon width, " + kIconHelp});
    list.push_back({kIconLengthProperty, PropertyKind::Float, {}, "icon length, " + kIconHelp});
    return list;
}

bool HelperProperties::SetProperty(const std::string &name, const PropertyValue &value,
                                   std::string &error) {
    if (name == kParticleSystemsProperty) return SetParticleSystems(value, error);
    for (int role = 0; role < NimbraHelper::kRoles; ++role) {
        if (name == kPlugInSettings[role].name) return SetPlugIn(role, value, error);
    }
    for (int i = 0; i < NimbraHelper::kControllers; ++i) {
        if (name == ControllerName(i)) return SetController(i, value, error);
    }
    for (const AgeSetting &s : kAgeSettings) {
        if (name != s.name) continue;
        IParamBlock *block = helper_.AgeBlock();
        if (s.kind == PropertyKind::Bool) {
            const auto *on = std::get_if<bool>(&value);
            if (!on || !block) {
                error = Quoted(name) + " expects true or false";
                return false;
            }
            block->SetValue(s.param, 0, *on ? 1 : 0);
            return true;
        }
        const auto *v = std::get_if<int>(&value);
        if (!v || !RangeOf(s).Contains(*v) || !block) {
            error = Quoted(name) + " expects an integer from " + RangeText(s);
            return false;
        }
        block->SetValue(s.param, 0, *v);
        return true;
    }
    if (name == kIconWidthProperty || name == kIconLengthProperty) {
        float size = 0.0f;
        if (const auto *f = std::get_if<float>(&value))
            size = *f;
        else if (const auto *i = std::get_if<int>(&value))
            size = static_cast<float>(*i);
        if (!(size > 0.0f) || !std::isfinite(size) || !helper_.IconBlock()) {
            error = Quoted(name) + " expects a number of " + kIconHelp;
            return false;
        }
        float width = 0.0f, length = 0.0f;
        helper_.IconBlock()->GetValue(NimbraHelper::kIconWidth, 0, width);
        helper_.IconBlock()->GetValue(NimbraHelper::kIconLength, 0, length);
        (name == kIconWidthProperty ? width : length) = size;
        helper_.SetIconSize(width, length);
        return true;
    }
    error = "the Nimbra helper has no property " + Quoted(name);
    return false;
}

bool HelperProperties::SetParticleSystems(const PropertyValue &value, std::string &error) {
    const auto *nodes = std::get_if<std::vector<INode *>>(&value);
    if (!nodes) {
        error = Quoted(kParticleSystemsProperty) + " expects a list of particle-system nodes";
        return false;
    }
    // Every node is checked before the list changes.
    for (std::size_t i = 0; i < nodes->size(); ++i) {
        INode *node = (*nodes)[i];
        if (!node) {
            error = Quoted(kParticleSystemsProperty) + " lists an empty node";
            return false;
        }
        if (!GetParticleInterface(node->GetObjectRef())) {
            error = Quoted(node->GetName()) + " in " + Quoted(kParticleSystemsProperty) +
                    " carries no particle system";
            return false;
        }
        for (std::size_t j = 0; j < i; ++j) {
            if ((*nodes)[j] == node) {
                error = Quoted(node->GetName()) + " is listed twice in " +
                        Quoted(kParticleSystemsProperty);
                return false;
            }
        }
    }
    while (helper_.NumListedSystems() > 0)
        helper_.RemoveParticleSystem(helper_.NumListedSystems() - 1);
    for (INode *node : *nodes) helper_.AddParticleSystem(node);
    return true;
}

bool HelperProperties::SetPlugIn(int role, const PropertyValue &value, std::string &error) {
    const PlugInSetting &setting = kPlugInSettings[role];
    const auto *className = std::get_if<std::string>(&value);
    if (!className) {
        error = Quoted(setting.name) + " expects the class name of a " + setting.category;
        return false;
    }
    const PlugInRecord *record = FindRecord(
        NimbraHelper::CategoryKey(static_cast<NimbraHelper::Role>(role)), *className);
    if (!record) {
        error = std::string("no ") + setting.category + " class named " + Quoted(*className) +
                " is registered (registered: " +
                ClassNames(NimbraHelper::CategoryKey(static_cast<NimbraHelper::Role>(role))) +
                ")";
        return false;
    }
    if (!helper_.SelectPlugInClass(record->ClassID())) {
        error = std::string("the ") + setting.category + " class " + Quoted(*className) +
                " is registered, but no loaded module can create it";
        return false;
    }
    return true;
}

bool HelperProperties::SetController(int i, const PropertyValue &value, std::string &error) {
    const std::string name = ControllerName(i);
    const auto *className = std::get_if<std::string>(&value);
    if (!className) {
        error = Quoted(name) + " expects the class name of a controller";
        return false;
    }
    const PlugInRecord *record = FindRecord(kControllerKey, *className);
    if (!record) {
        error = "no controller class named " + Quoted(*className) +
                " is registered (registered: " + ClassNames(kControllerKey) + ")";
        return false;
    }
    if (!helper_.ReplaceController(i, record->ClassID())) {
        error = "the controller class " + Quoted(*className) +
                " is registered, but no loaded module can create it";
        return false;
    }
    return true;
}

std::string HelperProperties::ControllerName(int i) const {
    return helper_.SubAnimName(NimbraHelper::kSubTransController + i);
}

std::optional<PropertyValue> HelperProperties::GetProperty(const std::string &name) {
    if (name == kParticleSystemsProperty) {
        std::vector<INode *> nodes;
        for (INode *node : helper_.ParticleSystems())
            if (node) nodes.push_back(node);
        return nodes;
    }
    for (int role = 0; role < NimbraHelper::kRoles; ++role) {
        if (name != kPlugInSettings[role].name) continue;
        return ClassNameOf(helper_.GetPlugIn(static_cast<NimbraHelper::Role>(role)));
    }
    for (int i = 0; i < NimbraHelper::kControllers; ++i) {
        if (name == ControllerName(i)) return ClassNameOf(helper_.GetHelperController(i));
    }
    for (const AgeSetting &s : kAgeSettings) {
        if (name != s.name) continue;
        const int v = helper_.AgeInt(s.param, 0);
        if (s.kind == PropertyKind::Bool) return v != 0;
        return v;
    }
    if (name == kIconWidthProperty || name == kIconLengthProperty) {
        float size = 0.0f;
        if (IParamBlock *block = helper_.IconBlock()) {
            block->GetValue(name == kIconWidthProperty ? NimbraHelper::kIconWidth
                                                       : NimbraHelper::kIconLength,
                            0, size);
        }
        return size;
    }
    return std::nullopt;
}
