/// @file setup_fixture.cpp
/// @brief The module environment, the helper fixture and the scene builders.
#include "setup_fixture.h"

namespace setuptest {

namespace {

constexpr char kTestModule[] = "plugin_stand_ins";

SetupModules *const environment =
    static_cast<SetupModules *>(::testing::AddGlobalTestEnvironment(new SetupModules));

}  // namespace

const ModuleLoader &SetupModules::Loader() {
    return environment->LoadedModules();
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
