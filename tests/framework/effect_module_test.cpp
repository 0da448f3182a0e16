/// @file effect_module_test.cpp
/// @brief The effect modules' shared start-up: one attach at a time, registration on the
///        first attach only, registration failures do not refuse the module.
#include "framework/effect_module.h"
#include "framework_fixture.h"

#include <gtest/gtest.h>

using namespace frameworktest;

namespace {

// The module's classes: listed and registered, never created here.
FixedClassDesc<> first("First", REF_MAKER_CLASS_ID, Class_ID(kParticleShapeKey, 0x7E5700D1),
                       "Listed");
FixedClassDesc<> second("Second", REF_MAKER_CLASS_ID, Class_ID(kCompositeKey, 0x7E5700D2),
                        "Listed");
int listCalls = 0;

int NumberClasses() {
    ++listCalls;
    return 3;
}
ClassDesc *ClassDescAt(int i) {
    ClassDesc *const classes[] = {&first, nullptr, &second};
    return i >= 0 && i < 3 ? classes[i] : nullptr;
}

int moduleA = 0, moduleB = 0;  // stand-ins for module handles
const RegistrationTexts kTexts{"Module Author", "Module Notice"};

class EffectModuleTest : public ConfigDirTest {
protected:
    void SetUp() override {
        ConfigDirTest::SetUp();
        listCalls = 0;
    }
};

}  // namespace

TEST_F(EffectModuleTest, FirstAttachRegistersTheModulesClasses) {
    EffectModule module(kTexts, NumberClasses, ClassDescAt);
    EXPECT_EQ(module.DllMain(&moduleA, DLL_PROCESS_ATTACH), TRUE);
    EXPECT_EQ(module.Instance(), &moduleA);
    const std::vector<PlugInRecord> records = RecordsIn(RegistryFile());
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].className, "First");
    EXPECT_EQ(records[0].author, "Module Author");
    EXPECT_EQ(records[0].notice, "Module Notice");
    EXPECT_EQ(records[1].className, "Second");
    EXPECT_EQ(records[1].description, "Listed");
}

TEST_F(EffectModuleTest, SecondAttachIsRefusedUntilDetach) {
    EffectModule module(kTexts, NumberClasses, ClassDescAt);
    ASSERT_EQ(module.DllMain(&moduleA, DLL_PROCESS_ATTACH), TRUE);
    EXPECT_EQ(module.DllMain(&moduleB, DLL_PROCESS_ATTACH), FALSE);
    EXPECT_EQ(module.DllMain(&moduleA, DLL_PROCESS_ATTACH), FALSE);
    EXPECT_EQ(module.Instance(), &moduleA);

    EXPECT_EQ(module.DllMain(&moduleA, DLL_PROCESS_DETACH), TRUE);
    EXPECT_EQ(module.Instance(), nullptr);
    // Attached again: registration does not run twice.
    fs::remove(RegistryFile());
    EXPECT_EQ(module.DllMain(&moduleB, DLL_PROCESS_ATTACH), TRUE);
    EXPECT_EQ(module.Instance(), &moduleB);
    EXPECT_EQ(listCalls, 1);
    EXPECT_FALSE(fs::exists(RegistryFile()));
}

TEST_F(EffectModuleTest, RegistrationFailureDoesNotRefuseTheModule) {
    BlockRegistryFile();
    EffectModule module(kTexts, NumberClasses, ClassDescAt);
    EXPECT_EQ(module.DllMain(&moduleA, DLL_PROCESS_ATTACH), TRUE);
    const std::vector<MessageRequest> reports = ui.MessagesTitled("Nimbra PlugIn");
    ASSERT_EQ(reports.size(), 2u);  // one per class
    EXPECT_NE(reports[0].text.find("PlugIn:First"), std::string::npos);
    EXPECT_NE(reports[1].text.find("PlugIn:Second"), std::string::npos);
}
