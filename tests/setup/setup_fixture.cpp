/// @file setup_fixture.cpp
/// @brief The module environment, the helper fixture and the scene builders.
#include "setup_fixture.h"

#include <unistd.h>

namespace setuptest {

namespace {

ModuleLoader *loader = nullptr;
fs::path configDir;
constexpr char kTestModule[] = "test_plugins";

[[maybe_unused]] const auto *environment =
    ::testing::AddGlobalTestEnvironment(new SetupModules);

}  // namespace

void SetupModules::SetUp() {
    configDir = fs::temp_directory_path() / ("nimbra_setup_test_" + std::to_string(getpid()));
    fs::remove_all(configDir);
    fs::create_directories(configDir);
    GetCOREInterface()->SetDir(APP_PLUGCFG_DIR, configDir.c_str());
    loader = new ModuleLoader;
    const int loaded = loader->LoadAll({fs::path(NIMBRA_TEST_MODULE_DIR) / "setup"});
    ASSERT_EQ(loaded, 3) << (loader->Failures().empty() ? std::string("")
                                                        : loader->Failures()[0].reason);
}

void SetupModules::TearDown() {
    GetCOREInterface()->ResetScene();
    delete loader;
    loader = nullptr;
    GetCOREInterface()->SetDir(APP_PLUGCFG_DIR, nullptr);
    std::error_code ignored;
    fs::remove_all(configDir, ignored);
}

const ModuleLoader &SetupModules::Loader() {
    return *loader;
}

void HelperTest::SetUp() {
    GetCOREInterface()->ResetScene();
    pluginsBefore_ = TestPlugIn::live;
}

void HelperTest::TearDown() {
    GetCOREInterface()->ResetScene();
    EXPECT_EQ(TestPlugIn::live, pluginsBefore_) << "test plug-ins outlived the scene";
}

NimbraHelper *NewHelper() {
    auto *object =
        static_cast<Animatable *>(CreateInstance(HELPER_CLASS_ID, kNimbraHelperClassID));
    auto *helper = dynamic_cast<NimbraHelper *>(object);
    EXPECT_NE(helper, nullptr);
    if (object && !helper) object->DeleteThis();
    return helper;
}

NimbraHelper *NewHelperNode(INode **node) {
    NimbraHelper *helper = NewHelper();
    INode *n = GetCOREInterface()->CreateObjectNode(helper);
    if (node) *node = n;
    return helper;
}

INode *NewEmitterNode(Class_ID id) {
    auto *obj = static_cast<Object *>(CreateInstance(GEOMOBJECT_CLASS_ID, id));
    EXPECT_NE(obj, nullptr);
    return GetCOREInterface()->CreateObjectNode(obj);
}

DefaultPlugInsMissing::DefaultPlugInsMissing() {
    ClassDirectory::Instance().RemoveModule(kTestModule);
}

DefaultPlugInsMissing::~DefaultPlugInsMissing() {
    for (ClassDesc *desc : TestPlugInDescs()) ClassDirectory::Instance().Add(desc, kTestModule);
}

TestPlugIn *PlugInOf(NimbraHelper *helper, NimbraHelper::Role role) {
    return dynamic_cast<TestPlugIn *>(helper->GetPlugIn(role));
}

}  // namespace setuptest
