/// @file module_loader_test.cpp
/// @brief Loading the test modules: attach, class listing, refusals, order, unload.
#include "common/test_paths.h"
#include "common/scripted_user_interface.h"
#include "common/temp_folder.h"
#include "common/test_object.h"
#include "host/class_desc.h"
#include "host/module_loader.h"
#include "host/notify.h"
#include "module_events.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The test modules' class IDs (see tests/modules/).
constexpr Class_ID kGoodAlpha(0x7E570001, 0x1);
constexpr Class_ID kGoodBeta(0x7E570001, 0x2);
constexpr Class_ID kWrongVersionClass(0x7E570002, 0x1);
constexpr Class_ID kAttachFailsClass(0x7E570003, 0x1);
constexpr Class_ID kBaseClass(0x7E570005, 0x1);
constexpr Class_ID kAddonClass(0x7E570006, 0x1);

fs::path Folder(const char *name) {
    return fs::path(testpaths::TestModuleDir()) / name;
}

std::vector<std::string> Names(const ModuleLoader &loader) {
    std::vector<std::string> names;
    for (const LoadedModule &m : loader.Modules()) names.push_back(m.name);
    return names;
}

std::vector<std::string> FailedFiles(const ModuleLoader &loader) {
    std::vector<std::string> files;
    for (const ModuleProblem &p : loader.Failures())
        files.push_back(p.path.filename().string());
    return files;
}

int Count(const std::vector<std::string> &events, const std::string &event) {
    return static_cast<int>(std::count(events.begin(), events.end(), event));
}

std::unique_ptr<TestObject> Create(SClass_ID super, Class_ID id) {
    return std::unique_ptr<TestObject>(static_cast<TestObject *>(CreateInstance(super, id)));
}

class ModuleLoaderTest : public testing::Test {
protected:
    void SetUp() override { ClearModuleEvents(); }
    ScriptedUserInterface ui;
};

}  // namespace

TEST_F(ModuleLoaderTest, LoadsAttachesListsAndDetachesAGoodModule) {
    ModuleLoader loader;
    EXPECT_EQ(loader.LoadAll({Folder("good")}), 1);
    EXPECT_TRUE(loader.Failures().empty());
    EXPECT_TRUE(ui.Messages().empty());

    const LoadedModule *good = loader.FindModule("test_good");
    ASSERT_NE(good, nullptr);
    EXPECT_EQ(good->path, Folder("good") / "test_good.so");
    EXPECT_EQ(good->description, "Good test module");
    ASSERT_EQ(good->classes.size(), 2u);  // the module's null entry is skipped
    EXPECT_STREQ(good->classes[0]->ClassName(), "Good Alpha");
    EXPECT_STREQ(good->classes[1]->ClassName(), "Good Beta");
    EXPECT_EQ(ModuleEvents(),
              (std::vector<std::string>{"test_good:attach", "test_good:startup"}));

    // Classes are in the directory under the module's name and create objects.
    for (const ClassEntry &e : ClassDirectory::Instance().Entries()) {
        if (e.desc == good->classes[0]) {
            EXPECT_EQ(e.module, "test_good");
        }
    }
    auto alpha = Create(REF_MAKER_CLASS_ID, kGoodAlpha);
    ASSERT_NE(alpha, nullptr);
    EXPECT_EQ(alpha->Kind(), "Good Alpha");
    auto beta = Create(HELPER_CLASS_ID, kGoodBeta);
    ASSERT_NE(beta, nullptr);
    EXPECT_EQ(beta->Kind(), "Good Beta");
    EXPECT_EQ(CreateInstance(REF_MAKER_CLASS_ID, kGoodBeta), nullptr);  // wrong super class
    alpha.reset();  // objects go before their module
    beta.reset();

    ClearModuleEvents();
    loader.UnloadAll();
    EXPECT_EQ(ModuleEvents(),
              (std::vector<std::string>{"test_good:shutdown", "test_good:detach"}));
    EXPECT_TRUE(loader.Modules().empty());
    EXPECT_EQ(ClassDirectory::Instance().Find(REF_MAKER_CLASS_ID, kGoodAlpha), nullptr);
    EXPECT_EQ(CreateInstance(HELPER_CLASS_ID, kGoodBeta), nullptr);

    loader.UnloadAll();  // a second unload does nothing
    EXPECT_EQ(Count(ModuleEvents(), "test_good:detach"), 1);
}

TEST_F(ModuleLoaderTest, DestructorUnloads) {
    {
        ModuleLoader loader;
        ASSERT_EQ(loader.LoadAll({Folder("good")}), 1);
        ASSERT_NE(ClassDirectory::Instance().Find(REF_MAKER_CLASS_ID, kGoodAlpha), nullptr);
    }
    EXPECT_EQ(Count(ModuleEvents(), "test_good:detach"), 1);
    EXPECT_EQ(ClassDirectory::Instance().Find(REF_MAKER_CLASS_ID, kGoodAlpha), nullptr);
}

TEST_F(ModuleLoaderTest, RefusesAWrongVersionByNameBeforeCallingAnythingElse) {
    ModuleLoader loader;
    EXPECT_EQ(loader.LoadAll({Folder("wrong_version")}), 0);
    ASSERT_EQ(loader.Failures().size(), 1u);
    const ModuleProblem &failure = loader.Failures()[0];
    EXPECT_EQ(failure.path, Folder("wrong_version") / "test_wrong_version.so");
    EXPECT_EQ(failure.reason, "wrong interface version 0x07D00400 (expected 0x07D00500)");

    const auto reports = ui.MessagesTitled("Module not loaded");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].text.find("test_wrong_version.so"), std::string::npos);
    EXPECT_NE(reports[0].text.find(failure.reason), std::string::npos);
    // Neither its description, its classes nor its attach were touched.
    EXPECT_TRUE(ModuleEvents().empty());
    EXPECT_EQ(ClassDirectory::Instance().Find(REF_MAKER_CLASS_ID, kWrongVersionClass), nullptr);
}

TEST_F(ModuleLoaderTest, RefusesALibraryWithoutEntryPointsByName) {
    ModuleLoader loader;
    EXPECT_EQ(loader.LoadAll({Folder("no_entry")}), 0);
    ASSERT_EQ(FailedFiles(loader), (std::vector<std::string>{"test_no_entry.so"}));
    const std::string &reason = loader.Failures()[0].reason;
    for (const char *entry :
         {"LibDescription", "LibNumberClasses", "LibClassDesc", "LibVersion"})
        EXPECT_NE(reason.find(entry), std::string::npos) << reason;
    ASSERT_EQ(ui.MessagesTitled("Module not loaded").size(), 1u);
    EXPECT_NE(ui.Messages()[0].text.find("test_no_entry.so"), std::string::npos);
}

TEST_F(ModuleLoaderTest, RefusesModulesWhoseAttachFails) {
    ModuleLoader loader;
    EXPECT_EQ(loader.LoadAll({Folder("attach_fails")}), 0);
    ASSERT_EQ(FailedFiles(loader),
              (std::vector<std::string>{"test_attach_asserts.so", "test_attach_fails.so"}));
    const std::string &asserted = loader.Failures()[0].reason;
    EXPECT_NE(asserted.find("assertion failed: ConfigurationReadable()"), std::string::npos)
        << asserted;
    EXPECT_NE(asserted.find("attach_asserts_module.cpp"), std::string::npos) << asserted;
    EXPECT_EQ(loader.Failures()[1].reason, "process attach failed (DllMain answered FALSE)");
    EXPECT_EQ(ui.MessagesTitled("Assertion failed").size(), 1u);
    EXPECT_EQ(ui.MessagesTitled("Module not loaded").size(), 2u);
    // A module whose attach failed is not detached, and its classes never arrive.
    EXPECT_EQ(ModuleEvents(), (std::vector<std::string>{"test_attach_asserts:attach",
                                                        "test_attach_fails:attach"}));
    EXPECT_EQ(ClassDirectory::Instance().Find(REF_MAKER_CLASS_ID, kAttachFailsClass), nullptr);
}

TEST_F(ModuleLoaderTest, AFailingModuleNeverStopsTheOthers) {
    ModuleLoader loader;
    EXPECT_EQ(loader.LoadAll({Folder("wrong_version"), Folder("no_entry"),
                              Folder("attach_fails"), Folder("good")}),
              1);
    EXPECT_EQ(Names(loader), (std::vector<std::string>{"test_good"}));
    EXPECT_EQ(FailedFiles(loader),
              (std::vector<std::string>{"test_wrong_version.so", "test_no_entry.so",
                                        "test_attach_asserts.so", "test_attach_fails.so"}));
    EXPECT_NE(ClassDirectory::Instance().Find(HELPER_CLASS_ID, kGoodBeta), nullptr);
}

TEST_F(ModuleLoaderTest, TheFirstDirectoryWinsForTheSameFileName) {
    ModuleLoader loader;
    ASSERT_EQ(loader.LoadAll({Folder("good"), Folder("shadow")}), 1);
    EXPECT_EQ(loader.FindModule("test_good")->description, "Good test module");
    ASSERT_EQ(loader.Skipped().size(), 1u);
    EXPECT_EQ(loader.Skipped()[0].path, Folder("shadow") / "test_good.so");
    EXPECT_NE(loader.Skipped()[0].reason.find((Folder("good") / "test_good.so").string()),
              std::string::npos);
    EXPECT_TRUE(loader.Failures().empty());

    ASSERT_EQ(loader.LoadAll({Folder("shadow"), Folder("good")}), 1);
    EXPECT_EQ(loader.FindModule("test_good")->description, "Good test module (shadow copy)");
    EXPECT_EQ(Count(ModuleEvents(), "test_good:attach"), 2);
    EXPECT_EQ(Count(ModuleEvents(), "test_good:detach"), 1);  // the reload unloaded the first
}

TEST_F(ModuleLoaderTest, ADirectoryNamedTwiceIsSearchedOnce) {
    ModuleLoader loader;
    EXPECT_EQ(loader.LoadAll({Folder("good"), Folder("good") / "." / ""}), 1);
    EXPECT_TRUE(loader.Skipped().empty());
}

TEST_F(ModuleLoaderTest, AMissingDirectoryIsReported) {
    ModuleLoader loader;
    EXPECT_EQ(loader.LoadAll({Folder("does_not_exist"), Folder("good")}), 1);
    ASSERT_EQ(loader.Failures().size(), 1u);
    EXPECT_EQ(loader.Failures()[0].path, Folder("does_not_exist"));
    EXPECT_EQ(loader.Failures()[0].reason, "plug-in directory not found");
}

TEST_F(ModuleLoaderTest, AttachesAModuleAfterTheModuleItLinksAgainst) {
    ModuleLoader loader;
    // test_addon sorts before test_base but links against it.
    EXPECT_EQ(loader.LoadAll({Folder("linked")}), 2);
    EXPECT_EQ(Names(loader), (std::vector<std::string>{"test_base", "test_addon"}));
    EXPECT_NE(ClassDirectory::Instance().Find(REF_MAKER_CLASS_ID, kBaseClass), nullptr);
    EXPECT_NE(ClassDirectory::Instance().Find(REF_MAKER_CLASS_ID, kAddonClass), nullptr);
    const auto events = ModuleEvents();
    EXPECT_EQ(Count(events, "test_base:mapped"), 1);  // mapped once, as dependency and module
    EXPECT_EQ(Count(events, "test_addon:attach after base"), 1);
    EXPECT_EQ(Count(events, "test_base:startup"), 1);

    // Both reach the same copy of test_base.
    const std::string addonPath = (Folder("linked") / "test_addon.so").string();
    const std::string basePath = (Folder("linked") / "test_base.so").string();
    void *addon = dlopen(addonPath.c_str(), RTLD_NOW | RTLD_NOLOAD);
    void *base = dlopen(basePath.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(addon, nullptr);
    ASSERT_NE(base, nullptr);
    using StateProc = const int *();
    auto *seenByAddon = reinterpret_cast<StateProc *>(dlsym(addon, "TestAddonSeesBaseState"));
    auto *seenByBase = reinterpret_cast<StateProc *>(dlsym(base, "TestBaseState"));
    ASSERT_TRUE(seenByAddon && seenByBase);
    EXPECT_EQ(seenByAddon(), seenByBase());
    dlclose(addon);
    dlclose(base);

    // The plain library linked against test_base is not taken for test_base.
    ASSERT_EQ(FailedFiles(loader), (std::vector<std::string>{"test_conduit.so"}));
    EXPECT_NE(loader.Failures()[0].reason.find("missing entry point"), std::string::npos);

    ClearModuleEvents();
    loader.UnloadAll();
    EXPECT_EQ(ModuleEvents(),
              (std::vector<std::string>{"test_addon:detach before base", "test_base:detach"}));
    // test_base left its startup callback registered; the loader dropped it with the module.
    BroadcastNotification(NOTIFY_SYSTEM_STARTUP);
    EXPECT_EQ(Count(ModuleEvents(), "test_base:startup"), 0);
}

TEST_F(ModuleLoaderTest, RefusesAModuleThatNeedsARefusedModule) {
    ModuleLoader loader;
    setenv("TEST_BASE_FAIL_ATTACH", "1", 1);
    loader.LoadAll({Folder("linked")});
    unsetenv("TEST_BASE_FAIL_ATTACH");
    EXPECT_TRUE(loader.Modules().empty());
    ASSERT_EQ(FailedFiles(loader),
              (std::vector<std::string>{"test_conduit.so", "test_base.so", "test_addon.so"}));
    EXPECT_EQ(loader.Failures()[2].reason, "needs module 'test_base', which was not loaded");
    EXPECT_EQ(Count(ModuleEvents(), "test_addon:attach after base"), 0);
    EXPECT_EQ(Count(ModuleEvents(), "test_addon:attach before base"), 0);
}

TEST_F(ModuleLoaderTest, AModuleIsAttachedByOneLoaderOnly) {
    ModuleLoader first;
    ASSERT_EQ(first.LoadAll({Folder("good")}), 1);
    {
        ModuleLoader second;
        EXPECT_EQ(second.LoadAll({Folder("good")}), 0);
        ASSERT_EQ(second.Failures().size(), 1u);
        EXPECT_EQ(second.Failures()[0].reason, "already loaded by another module loader");
    }
    EXPECT_EQ(Count(ModuleEvents(), "test_good:attach"), 1);
    EXPECT_EQ(Count(ModuleEvents(), "test_good:detach"), 0);
    EXPECT_NE(ClassDirectory::Instance().Find(REF_MAKER_CLASS_ID, kGoodAlpha), nullptr);
}

TEST_F(ModuleLoaderTest, ReportsAClassAnotherModuleAlreadyProvides) {
    ModuleLoader loader;
    // The shadow copy has the same classes; under another file name it is a second module.
    const testfiles::TempFolder folder;
    const fs::path &dir = folder.Root();
    fs::copy_file(Folder("shadow") / "test_good.so", dir / "test_twin.so",
                  fs::copy_options::overwrite_existing);
    EXPECT_EQ(loader.LoadAll({Folder("good"), dir}), 2);
    const LoadedModule *twin = loader.FindModule("test_twin");
    ASSERT_NE(twin, nullptr);
    EXPECT_TRUE(twin->classes.empty());
    const auto warnings = ui.MessagesTitled("Module loading");
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_NE(warnings[0].text.find("'Good Alpha'"), std::string::npos) << warnings[0].text;
    EXPECT_NE(warnings[0].text.find("module 'test_good'"), std::string::npos)
        << warnings[0].text;
    loader.UnloadAll();
}
