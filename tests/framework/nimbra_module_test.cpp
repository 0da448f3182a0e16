/// @file nimbra_module_test.cpp
/// @brief The main module as the host loads it, with an effect module that links against it:
///        entry points, one `nimbra` per process, registration at load, the registry's life.
#include "common/test_paths.h"
#include "framework/nimbra_interface.h"
#include "framework/plugin_interface.h"
#include "framework_fixture.h"
#include "host/diagnostics.h"
#include "host/module_loader.h"
#include "modules/framework/test_effect_api.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fstream>
#include <set>

using namespace frameworktest;

namespace {

/// The handle of a library that is loaded already (null when it is not), released on
/// destruction.
class LoadedLibrary {
public:
    explicit LoadedLibrary(const fs::path &path)
        : handle_(dlopen(fs::canonical(path).c_str(), RTLD_NOW | RTLD_NOLOAD)) {}
    ~LoadedLibrary() {
        if (handle_) dlclose(handle_);
    }
    LoadedLibrary(const LoadedLibrary &) = delete;
    LoadedLibrary &operator=(const LoadedLibrary &) = delete;

    template <typename Proc>
    Proc *Symbol(const char *name) const {
        return handle_ ? reinterpret_cast<Proc *>(dlsym(handle_, name)) : nullptr;
    }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    void *handle_;
};

class NimbraModule : public ConfigDirTest {
protected:
    static fs::path Folder() { return fs::path(testpaths::TestModuleDir()) / "framework"; }
    static fs::path NimbraFile() { return Folder() / "nimbra.so"; }
    static fs::path EffectFile() { return Folder() / "test_effect.so"; }

    static bool HasRegistrySection() {
        for (const DiagnosticsSection &s : CollectDiagnostics())
            if (s.title == "Plug-in registry") return true;
        return false;
    }
};

}  // namespace

TEST_F(NimbraModule, EntryPointsDescribeTheMainModule) {
    ModuleLoader loader;
    ASSERT_EQ(loader.LoadAll({Folder()}), 2)
        << (loader.Failures().empty() ? "" : loader.Failures()[0].reason);
    // The effect module needs the main module, so the main module is attached first.
    EXPECT_EQ(loader.Modules()[0].name, "nimbra");
    EXPECT_EQ(loader.Modules()[1].name, "test_effect");
    EXPECT_EQ(loader.FindModule("nimbra")->description, "Nimbra");

    const LoadedLibrary nimbra(NimbraFile());
    ASSERT_TRUE(nimbra);
    auto *numberClasses = nimbra.Symbol<LibNumberClassesProc>("LibNumberClasses");
    auto *classDesc = nimbra.Symbol<LibClassDescProc>("LibClassDesc");
    auto *version = nimbra.Symbol<LibVersionProc>("LibVersion");
    ASSERT_TRUE(numberClasses && classDesc && version);
    EXPECT_EQ(numberClasses(), 5);
    EXPECT_EQ(version(), 0x07D00500u);
    EXPECT_EQ(classDesc(-1), nullptr);
    EXPECT_EQ(classDesc(5), nullptr);
    // Every class the module lists is one of its five slots.
    std::set<ClassDesc *> slots;
    for (int i = 0; i < 5; ++i) slots.insert(classDesc(i));
    for (ClassDesc *desc : loader.FindModule("nimbra")->classes) EXPECT_TRUE(slots.count(desc));
}

TEST_F(NimbraModule, ProcessHoldsOneNimbra) {
    ModuleLoader loader;
    ASSERT_EQ(loader.LoadAll({Folder()}), 2);
    const LoadedLibrary nimbra(NimbraFile());
    const LoadedLibrary effect(EffectFile());
    ASSERT_TRUE(nimbra && effect);

    // The interface object as this test, the host-loaded main module and the effect module
    // see it.
    auto *hostLoaded = nimbra.Symbol<NimbraInterface *()>("_Z18GetNimbraInterfacev");
    auto *effectView = effect.Symbol<NimbraInterface *()>("TestEffectInterface");
    ASSERT_TRUE(hostLoaded && effectView);
    EXPECT_EQ(hostLoaded(), GetNimbraInterface());
    EXPECT_EQ(effectView(), GetNimbraInterface());

    // One registry: what the effect module registered on attach, the host-loaded main module
    // read at start-up into the table that this test and the effect module see.
    auto *effectRegistry = effect.Symbol<PlugInRegistry *()>("TestEffectRegistry");
    ASSERT_TRUE(effectRegistry);
    EXPECT_EQ(effectRegistry(), &ThePlugInRegistry());
    const PlugInRegistry &registry = ThePlugInRegistry();
    ASSERT_EQ(registry.Count(), kTestEffectClasses);
    const PlugInRecord *shape = registry.FindById(kTestBareShape.PartB());
    ASSERT_NE(shape, nullptr);
    EXPECT_EQ(shape->categoryKey, kParticleShapeKey);
    EXPECT_EQ(shape->className, "Bare Shape");
    EXPECT_EQ(shape->description, "Test Shapes");
    EXPECT_EQ(shape->author, kTestEffectAuthor);
    EXPECT_EQ(shape->notice, kTestEffectNotice);
    EXPECT_NE(registry.FindById(kTestController.PartB()), nullptr);
}

TEST_F(NimbraModule, FirstStartIsQuietAndTheRegistryLivesWhileTheModuleIsLoaded) {
    ModuleLoader loader;
    ASSERT_EQ(loader.LoadAll({Folder()}), 2);
    // No registration file existed when the main module attached: nothing to report.
    EXPECT_TRUE(ui.Messages().empty()) << ui.Messages()[0].text;
    EXPECT_TRUE(HasRegistrySection());

    loader.UnloadAll();
    EXPECT_EQ(ThePlugInRegistry().Count(), 0);
    EXPECT_FALSE(HasRegistrySection());
}

TEST_F(NimbraModule, LoadingTwiceLeavesOneRecordPerClass) {
    {
        ModuleLoader loader;
        ASSERT_EQ(loader.LoadAll({Folder()}), 2);
        loader.UnloadAll();
        ASSERT_EQ(loader.LoadAll({Folder()}), 2);
    }
    ModuleLoader loader;
    ASSERT_EQ(loader.LoadAll({Folder()}), 2);

    const std::vector<PlugInRecord> records = RecordsIn(RegistryFile());
    EXPECT_EQ(fs::file_size(RegistryFile()), kTestEffectClasses * kRegistryRecordSize);
    std::set<std::pair<ULONG, ULONG>> classes;
    for (const PlugInRecord &r : records) classes.insert({r.categoryKey, r.pluginId});
    EXPECT_EQ(classes.size(), records.size());
    EXPECT_EQ(ThePlugInRegistry().Count(), kTestEffectClasses);
    EXPECT_TRUE(ui.Messages().empty()) << "no duplicate warnings";
}

TEST_F(NimbraModule, DuplicateRecordIsReportedOnceAtStartUp) {
    {
        ModuleLoader loader;
        ASSERT_EQ(loader.LoadAll({Folder()}), 2);
    }
    // A second copy of the first record, as a module found twice would have left.
    std::vector<std::uint8_t> bytes = ReadBytes(RegistryFile());
    ASSERT_GE(bytes.size(), kRegistryRecordSize);
    bytes.insert(bytes.end(), bytes.begin(), bytes.begin() + kRegistryRecordSize);
    std::ofstream(RegistryFile(), std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));

    ModuleLoader loader;
    ASSERT_EQ(loader.LoadAll({Folder()}), 2);
    EXPECT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(ThePlugInRegistry().Count(), kTestEffectClasses);
}

TEST_F(NimbraModule, PlugInClassOverridingNothingRendersNothing) {
    ModuleLoader loader;
    ASSERT_EQ(loader.LoadAll({Folder()}), 2);
    auto *object =
        static_cast<Animatable *>(CreateInstance(REF_MAKER_CLASS_ID, kTestBareShape));
    auto *plugIn = dynamic_cast<NimbraPlugIn *>(object);
    ASSERT_NE(plugIn, nullptr);
    EXPECT_EQ(plugIn->__SupportProcessing__(), kParticleRendererSupport);
    int covered = 0;
    for (int dy = -4; dy <= 4; ++dy) {
        for (int dx = -4; dx <= 4; ++dx) {
            unsigned short density = 0;
            covered += plugIn->__ParticleShape__(&density, 4, dx, dy, 10 + dx, 10 + dy) != 0;
        }
    }
    EXPECT_EQ(covered, 0);
    SampleInfo sample;
    sample.density = 0.3f;
    plugIn->__Density_Function__(&sample);
    EXPECT_EQ(sample.noise, 1.0f);
    EXPECT_EQ(sample.density, 0.3f);

    auto *controller = dynamic_cast<NimbraController *>(
        static_cast<Animatable *>(CreateInstance(REF_MAKER_CLASS_ID, kTestController)));
    ASSERT_NE(controller, nullptr);
    EXPECT_EQ(controller->button, nullptr);

    // Objects of a module go before the module does.
    plugIn->DeleteThis();
    controller->DeleteThis();
}
