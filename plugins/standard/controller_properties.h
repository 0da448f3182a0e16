/// @file controller_properties.h
/// @brief The default controller's named settings that scene files set besides its
///        parameters: the interpolation mode, the per-particle variation switch, and the two
///        variation parameters that have no display name (the age-noise seed and the fractal
///        switch).
#pragma once

#include "host/properties.h"

class DefaultController;

/// Property names.
constexpr char kInterpolationProperty[] = "Interpolation";
constexpr char kUseVariationProperty[] = "Use Variation";
constexpr char kSeedProperty[] = "Seed";
constexpr char kFractalNoiseProperty[] = "Fractal Noise";

/// The properties of one controller (its `GetInterface (I_OBJECTPROPERTIES)`).
///
/// "Interpolation" offers the four modes that produce a value. "Pulse" and "Other" exist in
/// the state block but write nothing at all, so every quantity driven by such a controller
/// would keep whatever its owner had in the variable before: they are refused here, and read
/// back by name when a library file brought them.
class DefaultControllerProperties : public IObjectProperties {
public:
    explicit DefaultControllerProperties(DefaultController &controller)
        : controller_(controller) {}

    std::vector<PropertyInfo> ListProperties() override;
    bool SetProperty(const std::string &name, const PropertyValue &value,
                     std::string &error) override;
    std::optional<PropertyValue> GetProperty(const std::string &name) override;

private:
    DefaultController &controller_;
};
