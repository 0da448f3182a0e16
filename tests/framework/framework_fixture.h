/// @file framework_fixture.h
/// @brief What the framework tests share: a fresh configuration directory per test (where
///        `nimbra.reg` lives), writing and reading registration files, and record makers.
#pragma once

#include "common/registry_file.h"
#include "common/scripted_user_interface.h"
#include "framework/class_ids.h"
#include "framework/plugin_registry.h"
#include "framework/registry_record.h"
#include "host/interface.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <type_traits>
#include <vector>

namespace frameworktest {

namespace fs = std::filesystem;

/// A class descriptor with a fixed identity that creates a `T` (nothing for `void`).
template <typename T = void>
class FixedClassDesc : public ClassDesc {
public:
    FixedClassDesc(std::string name, SClass_ID super, Class_ID id,
                   std::string category = "Tests")
        : name_(std::move(name)), category_(std::move(category)), super_(super), id_(id) {}
    int IsPublic() override { return TRUE; }
    void *Create(BOOL) override {
        if constexpr (std::is_void_v<T>)
            return nullptr;
        else
            return static_cast<Animatable *>(new T());
    }
    const TCHAR *ClassName() override { return name_.c_str(); }
    SClass_ID SuperClassID() override { return super_; }
    Class_ID ClassID() override { return id_; }
    const TCHAR *Category() override { return category_.c_str(); }

private:
    std::string name_, category_;
    SClass_ID super_;
    Class_ID id_;
};

inline PlugInRecord MakeRecord(ULONG key, ULONG id, const std::string &name,
                               const std::string &description = "Tests") {
    PlugInRecord r;
    r.superClassId = REF_MAKER_CLASS_ID;
    r.categoryKey = key;
    r.pluginId = id;
    r.className = name;
    r.description = description;
    r.author = "Author of " + name;
    r.notice = "Notice of " + name;
    return r;
}

using testfiles::ReadBytes;
using testfiles::RecordsIn;
using testfiles::WriteBytes;

/// The bytes of a registration file holding `records`.
inline std::vector<std::uint8_t> FileOf(const std::vector<PlugInRecord> &records) {
    std::vector<std::uint8_t> bytes;
    for (const PlugInRecord &r : records) {
        const RegistryRecordBytes b = EncodeRecord(r);
        bytes.insert(bytes.end(), b.begin(), b.end());
    }
    return bytes;
}

/// Points the host's configuration directory at a new empty directory for each test, captures
/// the messages, and empties the process registry before and after.
class ConfigDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        GetCOREInterface()->SetDir(APP_PLUGCFG_DIR, dir_.Root().c_str());
        ThePlugInRegistry().Clear();
    }
    void TearDown() override {
        ThePlugInRegistry().Clear();
        GetCOREInterface()->SetDir(APP_PLUGCFG_DIR, nullptr);
    }

    fs::path RegistryFile() const { return dir_.Root() / kRegistryFileName; }
    void WriteRegistry(const std::vector<PlugInRecord> &records) const {
        WriteBytes(RegistryFile(), FileOf(records));
    }
    /// Makes the registration file unusable: a directory stands where the file should be.
    void BlockRegistryFile() const { fs::create_directories(RegistryFile()); }

    testfiles::TempFolder dir_;
    ScriptedUserInterface ui;
};

}  // namespace frameworktest
