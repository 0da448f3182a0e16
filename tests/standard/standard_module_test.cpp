/// @file standard_module_test.cpp
/// @brief The module `standard` as the host loads it: entry points, classes, and its records
///        in the registration file.
#include "common/registry_file.h"
#include "framework/plugin_registry.h"
#include "framework/registry_record.h"
#include "standard_fixture.h"

#include <gtest/gtest.h>

using namespace standardtest;

TEST(StandardModule, ListsTheControllerWithTheHost) {
    const LoadedModule *module = StandardModules::Loader().FindModule("standard");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(module->description, "Nimbra Standard PlugIns");
    ASSERT_GE(module->classes.size(), 1u);
    ClassDesc *desc =
        ClassDirectory::Instance().Find(REF_MAKER_CLASS_ID, Class_ID(0x3D6F512D, 0x3768765C));
    ASSERT_NE(desc, nullptr);
    EXPECT_EQ(std::string(desc->ClassName()), "Default");
    EXPECT_EQ(std::string(desc->Category()), "Nimbra Controller");
    EXPECT_EQ(desc->SuperClassID(), REF_MAKER_CLASS_ID);

    auto *object = static_cast<Animatable *>(
        CreateInstance(REF_MAKER_CLASS_ID, Class_ID(0x3D6F512D, 0x3768765C)));
    ASSERT_NE(object, nullptr);
    EXPECT_NE(dynamic_cast<NimbraController *>(object), nullptr);
    object->DeleteThis();
}

TEST(StandardModule, ControllerIsInTheRegistrationFile) {
    const fs::path file = StandardModules::ConfigDir() / kRegistryFileName;
    ASSERT_EQ(testfiles::ReadBytes(file).size() % kRegistryRecordSize, 0u);
    int found = 0;
    for (const PlugInRecord &r : testfiles::RecordsIn(file)) {
        if (r.categoryKey != 0x3D6F512D || r.pluginId != 0x3768765C) continue;
        ++found;
        EXPECT_EQ(r.superClassId, 256u);
        EXPECT_EQ(r.className, "Default");
        EXPECT_EQ(r.description, "Nimbra Controller");
        EXPECT_EQ(r.author, "Nimbra developers");
        EXPECT_FALSE(r.notice.empty());
    }
    EXPECT_EQ(found, 1);

    // The main module read it into its registry at start-up.
    const PlugInRecord *record = ThePlugInRegistry().FindById(0x3768765C);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->className, "Default");
}
