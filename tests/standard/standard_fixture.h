/// @file standard_fixture.h
/// @brief What the tests of the module `standard` share: the module loaded through the host's
///        loader once per test program, controllers made through `CreateInstance`, a scratch
///        library file, and an owner object that holds a controller in a scene.
#pragma once

#include "common/module_environment.h"
#include "framework/nimbra_interface.h"
#include "plugins/standard/default_controller.h"
#include "host/class_desc.h"
#include "host/interface.h"
#include "host/module_loader.h"
#include "host/object.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

namespace standardtest {

namespace fs = std::filesystem;

/// `nimbra` and `standard`, loaded with the host's module loader for the whole test program.
class StandardModules : public ModuleFolderEnvironment {
public:
    StandardModules() : ModuleFolderEnvironment("standard", 2) {}

    static const ModuleLoader &Loader();
    static const fs::path &ConfigDir();
};

/// A new default controller made through the host, as owners make them.
DefaultController *NewController();

/// Makes a controller per test and deletes it after, unless the test handed it to an owner
/// (set `c` to null then).
class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    DefaultController *c = nullptr;
};

/// A scratch file as the library file of the interface object while it lives (the previous
/// one comes back after).
class LibraryFile {
public:
    LibraryFile();
    ~LibraryFile();
    LibraryFile(const LibraryFile &) = delete;
    LibraryFile &operator=(const LibraryFile &) = delete;

    NimbraInterface *io() const { return GetNimbraInterface(); }
    /// Back to the start, as the library code does before reading what it wrote.
    void Rewind();
    /// Everything in the file.
    std::vector<std::uint8_t> Bytes();
    /// Replaces the file's content and rewinds.
    void Replace(const std::vector<std::uint8_t> &bytes);

private:
    std::FILE *file_;
    std::FILE *previous_;
};

/// A helper object that holds one default controller (reference 0), as the system's plug-ins
/// and helper do, and counts the change messages that reach it. Registered in the class
/// directory while an `OwnerTest` runs.
class ControllerOwner : public HelperObject {
public:
    static constexpr Class_ID kClassID{0x7E57C001, 0x1};

    /// With a new controller, unless made for loading.
    explicit ControllerOwner(bool loading = false);

    Class_ID ClassID() override { return kClassID; }
    void GetClassName(TSTR &s) override { s = "ControllerOwner"; }
    const TCHAR *GetObjectName() override { return "Owner"; }
    int NumRefs() override { return 1; }
    ReferenceTarget *GetReference(int i) override { return i == 0 ? controller : nullptr; }
    void SetReference(int i, ReferenceTarget *target) override {
        if (i == 0) controller = dynamic_cast<DefaultController *>(target);
    }
    RefResult NotifyRefChanged(Interval, ReferenceTarget *, PartID &,
                               RefMessage message) override {
        if (message == REFMSG_CHANGE) ++changes;
        return REF_SUCCEED;
    }
    ReferenceTarget *Clone(RemapDir &remap) override;

    DefaultController *controller = nullptr;
    int changes = 0;
};

/// A helper object that holds one plug-in (reference 0), as the Nimbra helper does, so that
/// plug-ins can go through scene files. Registered while an `OwnerTest` runs.
class PlugInOwner : public HelperObject {
public:
    static constexpr Class_ID kClassID{0x7E57C001, 0x2};

    /// Takes `held` as its reference (null when made for loading).
    explicit PlugInOwner(ReferenceTarget *held = nullptr) {
        if (held) MakeRefByID(FOREVER, 0, held);
    }

    Class_ID ClassID() override { return kClassID; }
    void GetClassName(TSTR &s) override { s = "PlugInOwner"; }
    const TCHAR *GetObjectName() override { return "PlugIn Owner"; }
    int NumRefs() override { return 1; }
    ReferenceTarget *GetReference(int i) override { return i == 0 ? plugIn : nullptr; }
    void SetReference(int i, ReferenceTarget *target) override {
        if (i == 0) plugIn = target;
    }

    ReferenceTarget *plugIn = nullptr;
};

/// Registers `ControllerOwner` and `PlugInOwner` and starts and ends each test with an empty
/// scene.
class OwnerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

/// Deletes host objects through `DeleteThis`.
struct DeleteThisDeleter {
    void operator()(Animatable *object) const {
        if (object) object->DeleteThis();
    }
};
template <typename T>
using Owned = std::unique_ptr<T, DeleteThisDeleter>;

/// A new plug-in of class `id` made through the host, as helpers make them; null (and nothing
/// left over) when the host cannot make one of type T.
template <typename T>
Owned<T> NewPlugIn(Class_ID id) {
    auto *object = static_cast<Animatable *>(CreateInstance(REF_MAKER_CLASS_ID, id));
    auto *plugIn = dynamic_cast<T *>(object);
    if (object && !plugIn) object->DeleteThis();
    return Owned<T>(plugIn);
}

/// Little-endian fields of a byte buffer, for checking written files.
std::int32_t IntAt(const std::vector<std::uint8_t> &bytes, std::size_t at);
float FloatAt(const std::vector<std::uint8_t> &bytes, std::size_t at);
std::uint16_t U16At(const std::vector<std::uint8_t> &bytes, std::size_t at);

}  // namespace standardtest
