/// @file controller_properties_test.cpp
/// @brief The controller's named settings that scene files set besides its parameters.
#include "standard_fixture.h"

#include <gtest/gtest.h>

using namespace standardtest;

namespace {

using ControllerProperties = ControllerTest;

bool Set(IObjectProperties *p, const std::string &name, const PropertyValue &value,
         std::string *errorOut = nullptr) {
    std::string error;
    const bool ok = p->SetProperty(name, value, error);
    EXPECT_EQ(ok, error.empty()) << name << ": " << error;
    if (errorOut) *errorOut = error;
    return ok;
}

}  // namespace

TEST_F(ControllerProperties, ListsTheSettingsWithoutParameters) {
    IObjectProperties *p = GetObjectProperties(c);
    ASSERT_NE(p, nullptr);
    const std::vector<PropertyInfo> list = p->ListProperties();
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].name, "Interpolation");
    EXPECT_EQ(list[0].kind, PropertyKind::Choice);
    EXPECT_EQ(list[0].choices,
              (std::vector<std::string>{"Interpolate", "Step", "Smooth Step", "Clamp"}));
    EXPECT_EQ(list[1].name, "Use Variation");
    EXPECT_EQ(list[1].kind, PropertyKind::Bool);
    EXPECT_EQ(list[2].name, "Seed");
    EXPECT_EQ(list[2].kind, PropertyKind::Int);
    EXPECT_EQ(list[3].name, "Fractal Noise");
    EXPECT_EQ(list[3].kind, PropertyKind::Bool);
    for (const PropertyInfo &info : list) EXPECT_FALSE(info.help.empty()) << info.name;
}

TEST_F(ControllerProperties, InterpolationTakesTheFourModesThatProduceAValue) {
    IObjectProperties *p = GetObjectProperties(c);
    ASSERT_TRUE(Set(p, "Interpolation", std::string("Smooth Step")));
    EXPECT_EQ(c->State().interpolation, kSmoothStep);
    EXPECT_EQ(p->GetProperty("Interpolation"), PropertyValue(std::string("Smooth Step")));

    std::string error;
    for (const PropertyValue &bad :
         {PropertyValue(std::string("Pulse")), PropertyValue(std::string("Other")),
          PropertyValue(std::string("smooth step")), PropertyValue(2)}) {
        EXPECT_FALSE(Set(p, "Interpolation", bad, &error));
        EXPECT_NE(error.find("\"Clamp\""), std::string::npos) << error;
        EXPECT_EQ(c->State().interpolation, kSmoothStep);
    }
    EXPECT_FALSE(Set(p, "Interpolation", std::string("Pulse"), &error));
    EXPECT_NE(error.find("no value"), std::string::npos) << error;

    // A mode a library file brought is still reported by name.
    c->SetInterpolation(kPulse);
    EXPECT_EQ(p->GetProperty("Interpolation"), PropertyValue(std::string("Pulse")));
}

TEST_F(ControllerProperties, UseVariationSwitchesThePerParticleVariation) {
    IObjectProperties *p = GetObjectProperties(c);
    c->__SetupFloat__(0.0f, 100.0f, 1.0f);
    ASSERT_TRUE(Set(p, "Use Variation", true));
    EXPECT_EQ(c->State().useVariation, 1);
    EXPECT_EQ(p->GetProperty("Use Variation"), PropertyValue(true));
    EXPECT_FALSE(Set(p, "Use Variation", 1));
    EXPECT_EQ(c->State().useVariation, 1);
}

TEST_F(ControllerProperties, SeedAndFractalNoiseWriteTheirUnnamedParameters) {
    IObjectProperties *p = GetObjectProperties(c);
    std::string error;
    // Not set up yet: there is no variation block to write into.
    EXPECT_FALSE(Set(p, "Seed", 42, &error));
    EXPECT_NE(error.find("set"), std::string::npos) << error;
    EXPECT_FALSE(Set(p, "Fractal Noise", true));

    c->__SetupInt__(0, 100);
    ASSERT_TRUE(Set(p, "Seed", 42));
    ASSERT_TRUE(Set(p, "Fractal Noise", true));
    int seed = 0, fractal = 0;
    c->VariationBlock()->GetValue(DefaultController::kNoiseSeed, 0, seed);
    c->VariationBlock()->GetValue(DefaultController::kFractalNoise, 0, fractal);
    EXPECT_EQ(seed, 42);
    EXPECT_EQ(fractal, 1);
    EXPECT_EQ(p->GetProperty("Seed"), PropertyValue(42));
    EXPECT_EQ(p->GetProperty("Fractal Noise"), PropertyValue(true));
    // The evaluation uses them from the next reset on.
    c->__Reset__(0, 0, 4800, 1);
    EXPECT_EQ(c->State().noiseSeed, 42);
    EXPECT_EQ(c->State().fractalNoise, 1);

    for (const PropertyValue &bad :
         {PropertyValue(-1), PropertyValue(16001), PropertyValue(4.0f)})
        EXPECT_FALSE(Set(p, "Seed", bad));
    EXPECT_EQ(p->GetProperty("Seed"), PropertyValue(42));
}

TEST_F(ControllerProperties, UnknownNamesAreRefused) {
    IObjectProperties *p = GetObjectProperties(c);
    std::string error;
    EXPECT_FALSE(
        Set(p, "IPC Value 1", 0.5f, &error));  // a parameter, set by its name elsewhere
    EXPECT_NE(error.find("IPC Value 1"), std::string::npos);
    EXPECT_FALSE(p->GetProperty("Colour"));
}
