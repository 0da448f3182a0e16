/// @file helper_properties_test.cpp
/// @brief The helper's named settings for scene files: plug-ins by class name, the particle
///        systems, the labelled age-block settings and the icon size.
#include "setup_fixture.h"

#include "setup/helper_properties.h"
#include "plugins/standard/default_controller.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using namespace setuptest;

class HelperPropertiesTest : public HelperTest {
protected:
    void SetUp() override {
        HelperTest::SetUp();
        helper = NewHelperNode();
        props = GetObjectProperties(helper);
        ASSERT_NE(props, nullptr);
    }

    bool Set(const std::string &name, const PropertyValue &value) {
        error.clear();
        return props->SetProperty(name, value, error);
    }

    NimbraHelper *helper = nullptr;
    IObjectProperties *props = nullptr;
    std::string error;
};

TEST_F(HelperPropertiesTest, ListsEverySettingWithItsKind) {
    std::map<std::string, PropertyKind> kinds;
    for (const PropertyInfo &info : props->ListProperties()) {
        kinds[info.name] = info.kind;
        EXPECT_FALSE(info.help.empty()) << info.name;
        EXPECT_TRUE(props->GetProperty(info.name).has_value()) << info.name;
    }
    EXPECT_EQ(kinds.at("Particle Systems"), PropertyKind::Nodes);
    for (const char *name :
         {"Particle Shape", "Color Shader", "Composite", "Trans. Controller",
          "Size. Controller", "Shadow Trans. Controller", "Shadow Size. Controller"})
        EXPECT_EQ(kinds.at(name), PropertyKind::String) << name;
    for (const char *name : {"Update Z-Buffer", "Cast Shadows", "Volume Fog", "Use Emitter Age",
                             "Use Brush Settings"})
        EXPECT_EQ(kinds.at(name), PropertyKind::Bool) << name;
    EXPECT_EQ(kinds.at("Material ID"), PropertyKind::Int);
    EXPECT_EQ(kinds.at("Shading Order"), PropertyKind::Int);
    EXPECT_EQ(kinds.at("Icon Width"), PropertyKind::Float);
    EXPECT_EQ(kinds.at("Icon Length"), PropertyKind::Float);
}

TEST_F(HelperPropertiesTest, PlugInsByClassName) {
    EXPECT_EQ(props->GetProperty("Particle Shape"), PropertyValue(std::string("Test Circle")));
    ASSERT_TRUE(Set("Particle Shape", std::string("Test Volume Shape"))) << error;
    EXPECT_EQ(helper->Shape()->ClassID(), kTestVolumeShapeClassID);
    // The volume shape brought its composite and colour along.
    EXPECT_EQ(props->GetProperty("Composite"),
              PropertyValue(std::string("Test InterRotation")));
    ASSERT_TRUE(Set("Color Shader", std::string("Test Flat Color"))) << error;
    EXPECT_EQ(helper->ColorShader()->ClassID(), kTestFlatColorClassID);
    ASSERT_TRUE(Set("Composite", std::string("Test Default Composite"))) << error;
    EXPECT_EQ(helper->Composite()->ClassID(), kDefaultCompositeClassID);
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(HelperPropertiesTest, UnknownOrUnavailableClassIsAnErrorThatNamesIt) {
    NimbraPlugIn *shape = helper->Shape();
    EXPECT_FALSE(Set("Particle Shape", std::string("Fire Ball")));
    EXPECT_NE(error.find("\"Fire Ball\""), std::string::npos) << error;
    EXPECT_NE(error.find("\"Test Circle\""), std::string::npos) << "lists what there is";
    // A colour shader's name is no particle shape.
    EXPECT_FALSE(Set("Particle Shape", std::string("Test Flat Color")));
    EXPECT_NE(error.find("\"Test Flat Color\""), std::string::npos) << error;
    // Registered, but its module offers no class to create.
    EXPECT_FALSE(Set("Particle Shape", std::string("Test Broken Shape")));
    EXPECT_NE(error.find("\"Test Broken Shape\""), std::string::npos) << error;
    EXPECT_FALSE(Set("Particle Shape", 3));
    EXPECT_EQ(helper->Shape(), shape);
    EXPECT_TRUE(ui.Messages().empty()) << "scene files report through the error text";
}

TEST_F(HelperPropertiesTest, ParticleSystemsReplaceTheList) {
    INode *a = NewEmitterNode(), *b = NewEmitterNode(SUPER_SPRAY_CLASS_ID);
    INode *c = NewEmitterNode();
    helper->AddParticleSystem(c);
    ASSERT_TRUE(Set("Particle Systems", std::vector<INode *>{a, b})) << error;
    EXPECT_EQ(helper->ParticleSystems(), (std::vector<INode *>{a, b}));
    EXPECT_EQ(helper->NumRefs(), 11);
    EXPECT_FALSE(c->HasDependent(helper));
    EXPECT_EQ(props->GetProperty("Particle Systems"),
              PropertyValue(std::vector<INode *>{a, b}));

    INode *helperNode = helper->FindNode();
    EXPECT_FALSE(Set("Particle Systems", std::vector<INode *>{c, helperNode}));
    EXPECT_NE(error.find(helperNode->GetName()), std::string::npos) << error;
    EXPECT_FALSE(Set("Particle Systems", std::vector<INode *>{c, c}));
    EXPECT_NE(error.find(c->GetName()), std::string::npos) << error;
    EXPECT_FALSE(Set("Particle Systems", std::string("Spray01")));
    EXPECT_EQ(helper->ParticleSystems(), (std::vector<INode *>{a, b})) << "nothing changed";

    ASSERT_TRUE(Set("Particle Systems", std::vector<INode *>{}));
    EXPECT_EQ(helper->NumListedSystems(), 0);
}

TEST_F(HelperPropertiesTest, LabelledAgeSettings) {
    const std::pair<const char *, int> bools[] = {
        {"Update Z-Buffer", NimbraHelper::kUpdateZBuffer},
        {"Cast Shadows", NimbraHelper::kCastShadows},
        {"Volume Fog", NimbraHelper::kVolumeFog},
        {"Use Emitter Age", NimbraHelper::kUseEmitterAge},
        {"Use Brush Settings", NimbraHelper::kUseBrushSettings}};
    for (const auto &[name, param] : bools) {
        const bool before = helper->AgeInt(param, 0) != 0;
        EXPECT_EQ(props->GetProperty(name), PropertyValue(before)) << name;
        ASSERT_TRUE(Set(name, !before)) << error;
        EXPECT_EQ(helper->AgeInt(param, 0) != 0, !before) << name;
        EXPECT_FALSE(Set(name, 1)) << name;
        EXPECT_NE(error.find(name), std::string::npos) << error;
    }
    ASSERT_TRUE(Set("Material ID", 255));
    EXPECT_EQ(helper->AgeInt(NimbraHelper::kMaterialId, 0), 255);
    EXPECT_FALSE(Set("Material ID", 256));
    EXPECT_NE(error.find("0 to 255"), std::string::npos) << error;
    ASSERT_TRUE(Set("Shading Order", 200));
    EXPECT_EQ(props->GetProperty("Shading Order"), PropertyValue(200));
    EXPECT_FALSE(Set("Shading Order", 0));
    EXPECT_EQ(helper->AgeInt(NimbraHelper::kShadingOrder, 0), 200);
}

TEST_F(HelperPropertiesTest, IconSize) {
    ASSERT_TRUE(Set("Icon Width", 12.5f)) << error;
    ASSERT_TRUE(Set("Icon Length", 30)) << error;
    EXPECT_EQ(props->GetProperty("Icon Width"), PropertyValue(12.5f));
    EXPECT_EQ(props->GetProperty("Icon Length"), PropertyValue(30.0f));
    EXPECT_FLOAT_EQ(helper->IconSize(0), 30.0f);
    EXPECT_FALSE(Set("Icon Width", 0.0f));
    EXPECT_FALSE(Set("Icon Width", -2.0f));
    EXPECT_EQ(props->GetProperty("Icon Width"), PropertyValue(12.5f));
}

TEST_F(HelperPropertiesTest, ControllersByClassName) {
    for (const char *name : {"Trans. Controller", "Size. Controller",
                             "Shadow Trans. Controller", "Shadow Size. Controller"})
        EXPECT_EQ(props->GetProperty(name), PropertyValue(std::string("Default"))) << name;
    NimbraController *old = helper->GetHelperController(NimbraHelper::kSizeController);
    ASSERT_TRUE(Set("Size. Controller", std::string("Default"))) << error;
    auto *fresh = dynamic_cast<DefaultController *>(
        helper->GetHelperController(NimbraHelper::kSizeController));
    ASSERT_NE(fresh, nullptr);
    EXPECT_NE(fresh, old);
    EXPECT_EQ(helper->SubAnim(NimbraHelper::kSubSizeController), fresh);
    EXPECT_EQ(fresh->State().maxFloat, 9999.0f) << "set up for the size";

    EXPECT_FALSE(Set("Trans. Controller", std::string("Test Circle")));
    EXPECT_NE(error.find("\"Test Circle\""), std::string::npos) << error;
    EXPECT_NE(error.find("\"Default\""), std::string::npos) << "lists what there is";
}

TEST_F(HelperPropertiesTest, UnknownNameIsAnErrorThatNamesIt) {
    EXPECT_FALSE(Set("Birth Size", 3.0f)) << "a parameter, set by the parameter name instead";
    EXPECT_NE(error.find("\"Birth Size\""), std::string::npos) << error;
    EXPECT_FALSE(props->GetProperty("Particle Age").has_value());
}

}  // namespace
