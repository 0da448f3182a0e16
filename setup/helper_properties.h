/// @file helper_properties.h
/// @brief The helper's named settings that scene files set besides its named parameters: the
///        listed particle systems, the plug-ins and controllers by class name, the age-block
///        settings whose controls carry a label instead of a parameter name, and the icon's
///        size.
#pragma once

#include "host/properties.h"

class NimbraHelper;

// Property names.
constexpr char kParticleSystemsProperty[] = "Particle Systems";
constexpr char kParticleShapeProperty[] = "Particle Shape";
constexpr char kColorShaderProperty[] = "Color Shader";
constexpr char kCompositeProperty[] = "Composite";
constexpr char kMaterialIdProperty[] = "Material ID";
constexpr char kUpdateZBufferProperty[] = "Update Z-Buffer";
constexpr char kCastShadowsProperty[] = "Cast Shadows";
constexpr char kVolumeFogProperty[] = "Volume Fog";
constexpr char kUseEmitterAgeProperty[] = "Use Emitter Age";
constexpr char kUseBrushSettingsProperty[] = "Use Brush Settings";
constexpr char kShadingOrderProperty[] = "Shading Order";
constexpr char kIconWidthProperty[] = "Icon Width";
constexpr char kIconLengthProperty[] = "Icon Length";

/// The properties of one helper (its `GetInterface (I_OBJECTPROPERTIES)`).
///
/// The three plug-ins and the four controllers are properties named as their sub-animatables
/// ("Particle Shape", "Size. Controller"), whose values are class names.
/// A plug-in property names a class of its category as the registry lists it; setting it
/// selects that plug-in as the panels do (a volume shape brings its composite and colour
/// along), so a scene file names the shape before the colour and composite it wants. Setting
/// "Particle Systems" replaces the whole list; every node must carry a particle system and
/// appear once. A value that does not fit changes nothing.
class HelperProperties : public IObjectProperties {
public:
    explicit HelperProperties(NimbraHelper &helper) : helper_(helper) {}

    std::vector<PropertyInfo> ListProperties() override;
    bool SetProperty(const std::string &name, const PropertyValue &value,
                     std::string &error) override;
    std::optional<PropertyValue> GetProperty(const std::string &name) override;

private:
    bool SetParticleSystems(const PropertyValue &value, std::string &error);
    bool SetPlugIn(int role, const PropertyValue &value, std::string &error);
    bool SetController(int i, const PropertyValue &value, std::string &error);
    /// The property of controller i: its sub-animatable name ("Size. Controller").
    std::string ControllerName(int i) const;

    NimbraHelper &helper_;
};
