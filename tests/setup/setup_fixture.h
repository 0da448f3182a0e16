/// @file setup_fixture.h
/// @brief What the helper tests share: `nimbra`, `standard` and the stand-in plug-ins loaded
///        once per test program, a fixture with an empty scene and captured messages, and
///        small scene builders.
#pragma once

#include "common/module_environment.h"
#include "common/scripted_user_interface.h"
#include "setup/helper.h"
#include "plugin_stand_ins_api.h"
#include "host/inode.h"
#include "host/interface.h"
#include "host/particles.h"

#include <gtest/gtest.h>

namespace setuptest {

/// The modules of the test folder "setup" (nimbra, standard, plugin_stand_ins), loaded for the
/// whole test program.
class SetupModules : public ModuleFolderEnvironment {
public:
    SetupModules() : ModuleFolderEnvironment("setup", 3) {}
    static const ModuleLoader &Loader();
};

/// Starts and ends each test with an empty scene, captures the messages, and checks that no
/// test plug-in outlives the test.
class HelperTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    ScriptedUserInterface ui;

private:
    int pluginsBefore_ = 0;
};

/// A new helper made through the host, as the create panel makes one (not in the scene).
NimbraHelper *NewHelper();
/// A new helper on a new node of the scene.
NimbraHelper *NewHelperNode(INode **node = nullptr);
/// A new emitter of class `id` (spray or super spray) on a new node.
INode *NewEmitterNode(Class_ID id = SPRAY_CLASS_ID);

/// While it lives, the test plug-in classes are out of the class directory: the host cannot
/// create the helper's default plug-ins.
class DefaultPlugInsMissing {
public:
    DefaultPlugInsMissing();
    ~DefaultPlugInsMissing();
    DefaultPlugInsMissing(const DefaultPlugInsMissing &) = delete;
    DefaultPlugInsMissing &operator=(const DefaultPlugInsMissing &) = delete;
};

/// The test plug-in a helper holds in `role`, or null.
TestPlugIn *PlugInOf(NimbraHelper *helper, NimbraHelper::Role role);

}  // namespace setuptest
