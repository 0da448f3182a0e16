/// @file controller_properties.cpp
/// @brief The default controller's named settings.
#include "plugins/standard/controller_properties.h"

#include "plugins/standard/default_controller.h"

namespace {

/// The modes a user may choose: those that produce a value.
constexpr int kChoosableModes = kClamp + 1;

std::string ChoiceList() {
    std::string list;
    for (int i = 0; i < kChoosableModes; ++i) {
        if (i) list += i + 1 == kChoosableModes ? " or " : ", ";
        list += std::string("\"") + kInterpolationNames[i] + "\"";
    }
    return list;
}

const char kNotSetUp[] =
    " belongs to the variation parameters, which the controller gets once its owner sets it "
    "up";

}  // namespace

std::vector<PropertyInfo> DefaultControllerProperties::ListProperties() {
    PropertyInfo interpolation{kInterpolationProperty,
                               PropertyKind::Choice,
                               {},
                               "the curve from the birth value to the death value"};
    for (int i = 0; i < kChoosableModes; ++i)
        interpolation.choices.push_back(kInterpolationNames[i]);
    return {interpolation,
            {kUseVariationProperty,
             PropertyKind::Bool,
             {},
             "each particle moves by its own amount towards Birth/Death Variation"},
            {kSeedProperty,
             PropertyKind::Int,
             {},
             "age-noise seed, 0 to " + std::to_string(DefaultController::kMaxNoiseSeed) +
                 "; 0 switches the variation by age off"},
            {kFractalNoiseProperty,
             PropertyKind::Bool,
             {},
             "fractal age noise (rougher with Noise Roughness) instead of plain noise"}};
}

bool DefaultControllerProperties::SetProperty(const std::string &name,
                                              const PropertyValue &value, std::string &error) {
    if (name == kInterpolationProperty) {
        const auto *mode = std::get_if<std::string>(&value);
        if (mode) {
            for (int i = 0; i < kChoosableModes; ++i)
                if (*mode == kInterpolationNames[i]) return controller_.SetInterpolation(i);
        }
        error = "\"Interpolation\" expects " + ChoiceList();
        if (mode &&
            (*mode == kInterpolationNames[kPulse] || *mode == kInterpolationNames[kOther]))
            error += " (\"" + *mode + "\" produces no value)";
        return false;
    }
    if (name == kUseVariationProperty) {
        const auto *on = std::get_if<bool>(&value);
        if (!on) {
            error = "\"Use Variation\" expects true or false";
            return false;
        }
        controller_.SetUseVariation(*on);
        return true;
    }
    if (name == kSeedProperty) {
        const auto *seed = std::get_if<int>(&value);
        if (!seed || *seed < 0 || *seed > DefaultController::kMaxNoiseSeed) {
            error = "\"Seed\" expects an integer from 0 to " +
                    std::to_string(DefaultController::kMaxNoiseSeed);
            return false;
        }
        if (!controller_.SetNoiseSeed(*seed)) {
            error = std::string("\"Seed\"") + kNotSetUp;
            return false;
        }
        return true;
    }
    if (name == kFractalNoiseProperty) {
        const auto *on = std::get_if<bool>(&value);
        if (!on) {
            error = "\"Fractal Noise\" expects true or false";
            return false;
        }
        if (!controller_.SetFractalNoise(*on)) {
            error = std::string("\"Fractal Noise\"") + kNotSetUp;
            return false;
        }
        return true;
    }
    error = "the controller has no property \"" + name + "\"";
    return false;
}

std::optional<PropertyValue> DefaultControllerProperties::GetProperty(const std::string &name) {
    const ControllerState &s = controller_.State();
    IParamBlock *variation = controller_.VariationBlock();
    if (name == kInterpolationProperty)
        return std::string(kInterpolationNames[s.interpolation]);
    if (name == kUseVariationProperty) return s.useVariation != 0;
    if (name == kSeedProperty) {
        int seed = s.noiseSeed;
        if (variation) variation->GetValue(DefaultController::kNoiseSeed, 0, seed);
        return seed;
    }
    if (name == kFractalNoiseProperty) {
        int on = s.fractalNoise;
        if (variation) variation->GetValue(DefaultController::kFractalNoise, 0, on);
        return on != 0;
    }
    return std::nullopt;
}
