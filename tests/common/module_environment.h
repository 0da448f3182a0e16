/// @file module_environment.h
/// @brief A test-program environment that loads one test folder of modules with the host's
///        loader before the first test and unloads it after the last, with the configuration
///        directory (where `nimbra.reg` is written) in a fresh temporary folder.
#pragma once

#include "common/temp_folder.h"
#include "common/test_paths.h"
#include "host/interface.h"
#include "host/module_loader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

/// Register one per test program (`::testing::AddGlobalTestEnvironment`). `folder` names a
/// folder below testpaths::TestModuleDir() that must yield `expectedModules` loaded modules.
class ModuleFolderEnvironment : public ::testing::Environment {
public:
    ModuleFolderEnvironment(std::string folder, int expectedModules)
        : folder_(std::move(folder)), expected_(expectedModules) {}

    void SetUp() override {
        configDir_ = std::make_unique<testfiles::TempFolder>(folder_ + "-config");
        GetCOREInterface()->SetDir(APP_PLUGCFG_DIR, configDir_->Root().c_str());
        loader_ = std::make_unique<ModuleLoader>();
        const int loaded =
            loader_->LoadAll({std::filesystem::path(testpaths::TestModuleDir()) / folder_});
        ASSERT_EQ(loaded, expected_)
            << (loader_->Failures().empty() ? std::string("") : loader_->Failures()[0].reason);
    }

    void TearDown() override {
        // The scene's objects come from the modules: they go first.
        GetCOREInterface()->ResetScene();
        loader_.reset();
        GetCOREInterface()->SetDir(APP_PLUGCFG_DIR, nullptr);
        configDir_.reset();
    }

    const ModuleLoader &LoadedModules() const { return *loader_; }
    const std::filesystem::path &ConfigFolder() const { return configDir_->Root(); }

private:
    std::string folder_;
    int expected_;
    std::unique_ptr<testfiles::TempFolder> configDir_;
    std::unique_ptr<ModuleLoader> loader_;
};
