/// @file plugin_stand_ins.cpp
/// @brief Test module plugin_stand_ins: stand-ins for the plug-in classes that the helper
/// object
///        creates by class ID, registered through the shared effect-module start-up.
#include "framework/effect_module.h"
#include "framework/library_block.h"
#include "framework/nimbra_interface.h"
#include "host/little_endian.h"
#include "host/messages.h"
#include "host/param_object.h"
#include "plugin_stand_ins_api.h"

namespace {

/// How one test class behaves.
struct Traits {
    Class_ID id;
    const char *name;
    const char *category;
    int support;  ///< __SupportProcessing__
    int preview;  ///< __SupportRollUpPreview__
    bool creatable;
};

constexpr Traits kClasses[] = {
    {kTestCircleClassID, "Test Circle", "Test shapes", kParticleRendererSupport, 1, true},
    {kTestDefaultColorClassID, "Test Default Color", "Test colors", kParticleRendererSupport, 1,
     true},
    {kTestDefaultCompositeClassID, "Test Default Composite", "Test composites",
     kParticleRendererSupport, 0, true},
    {kTestInterRotationClassID, "Test InterRotation", "Test composites", kVolumeRendererSupport,
     0, true},
    {kTestAtmosphereColorClassID, "Test AtmosphereColor", "Test colors", kVolumeRendererSupport,
     0, true},
    {kTestSpriteShapeClassID, "Test Sprite Shape", "Test shapes", kParticleRendererSupport, 0,
     true},
    {kTestVolumeShapeClassID, "Test Volume Shape", "Test shapes", kVolumeRendererSupport, 0,
     true},
    {kTestBothShapeClassID, "Test Both Shape", "Test shapes", kBothRenderersSupport, 0, true},
    {kTestFlatColorClassID, "Test Flat Color", "Test colors", kParticleRendererSupport, 0,
     true},
    {kTestControllerLikeClassID, "Test Controller-like", "Test controllers",
     kParticleRendererSupport, 0, true},
    {kTestBrokenShapeClassID, "Test Broken Shape", "Test shapes", kParticleRendererSupport, 0,
     false},
};

const Traits &TraitsOf(Class_ID id) {
    for (const Traits &t : kClasses) {
        if (t.id == id) return t;
    }
    DbgAssert(!"a test plug-in class without traits");
    return kClasses[0];
}

ParamSpec *Specs() {
    static ParamSpec specs[TestPlugIn::kParams] = {
        {"Birth Value", TYPE_FLOAT, TRUE, 1.0f, defaultDim},
        {"Death Value", TYPE_FLOAT, TRUE, 2.0f, defaultDim},
    };
    return specs;
}

class TestDesc : public ClassDesc {
public:
    explicit TestDesc(const Traits &traits) : traits_(traits) {}
    int IsPublic() override { return TRUE; }
    void *Create(BOOL loading) override {
        if (!traits_.creatable) return nullptr;
        return static_cast<Animatable *>(new TestPlugIn(traits_.id, loading != FALSE));
    }
    const TCHAR *ClassName() override { return traits_.name; }
    SClass_ID SuperClassID() override { return REF_MAKER_CLASS_ID; }
    Class_ID ClassID() override { return traits_.id; }
    const TCHAR *Category() override { return traits_.category; }

private:
    const Traits &traits_;
};

TestDesc descs[] = {TestDesc(kClasses[0]), TestDesc(kClasses[1]), TestDesc(kClasses[2]),
                    TestDesc(kClasses[3]), TestDesc(kClasses[4]), TestDesc(kClasses[5]),
                    TestDesc(kClasses[6]), TestDesc(kClasses[7]), TestDesc(kClasses[8]),
                    TestDesc(kClasses[9]), TestDesc(kClasses[10])};
static_assert(std::size(descs) == std::size(kClasses));

class TestControllerDesc : public ClassDesc {
public:
    int IsPublic() override { return TRUE; }
    void *Create(BOOL) override { return static_cast<Animatable *>(new TestController); }
    const TCHAR *ClassName() override { return "Test Controller"; }
    SClass_ID SuperClassID() override { return REF_MAKER_CLASS_ID; }
    Class_ID ClassID() override { return kTestControllerClassID; }
    const TCHAR *Category() override { return "Test controllers"; }
} controllerDesc;

}  // namespace

HOST_MODULE_ENTRY_POINTS("Nimbra test plug-ins", &descs[0], &descs[1], &descs[2], &descs[3],
                         &descs[4], &descs[5], &descs[6], &descs[7], &descs[8], &descs[9],
                         &descs[10], &controllerDesc)

namespace {
EffectModule module({"Test author", "Test notice"}, LibNumberClasses, LibClassDesc);
}  // namespace

HOST_EXPORT BOOL DllMain(HINSTANCE instance, DWORD reason, void *) {
    return module.DllMain(instance, reason);
}

std::vector<ClassDesc *> TestPlugInDescs() {
    std::vector<ClassDesc *> list;
    for (TestDesc &d : descs) list.push_back(&d);
    list.push_back(&controllerDesc);
    return list;
}

// TestPlugIn ----------------------------------------------------------------------------------

TestPlugIn::TestPlugIn(Class_ID id, bool loading) : id_(id) {
    ++live;
    if (loading) return;
    ReplaceReference(kRefBlock, MakeParamBlock(Specs(), kParams));
    auto *object =
        static_cast<Animatable *>(CreateInstance(REF_MAKER_CLASS_ID, kHelperControllerClassID));
    if (auto *c = dynamic_cast<NimbraController *>(object)) {
        ReplaceReference(kRefController, c);
        c->__SetupFloat__(0.0f, 100.0f, 1.0f);
    } else if (object) {
        object->DeleteThis();
    }
}

TestPlugIn::~TestPlugIn() {
    --live;
}

void TestPlugIn::GetClassName(TSTR &s) {
    s = TraitsOf(id_).name;
}

TSTR TestPlugIn::SubAnimName(int i) {
    return i == kRefBlock ? "Parameters" : i == kRefController ? "Value Controller" : "";
}

ReferenceTarget *TestPlugIn::GetReference(int i) {
    return i == kRefBlock        ? static_cast<ReferenceTarget *>(block)
           : i == kRefController ? controller
                                 : nullptr;
}

void TestPlugIn::SetReference(int i, ReferenceTarget *target) {
    if (i == kRefBlock) {
        auto *pb = dynamic_cast<IParamBlock *>(target);
        block = BlockMatches(pb, Specs(), kParams) ? pb : nullptr;
    } else if (i == kRefController) {
        controller = dynamic_cast<NimbraController *>(target);
    }
}

RefResult TestPlugIn::NotifyRefChanged(Interval, ReferenceTarget *target, PartID &partID,
                                       RefMessage message) {
    if (target == block && AnswerParamQuery(Specs(), kParams, partID, message)) return REF_STOP;
    return REF_SUCCEED;
}

ReferenceTarget *TestPlugIn::Clone(RemapDir &remap) {
    auto *copy = new TestPlugIn(id_, true);
    copy->ReplaceReference(kRefBlock, remap.CloneRef(block));
    copy->ReplaceReference(kRefController, remap.CloneRef(controller));
    return copy;
}

int TestPlugIn::__SupportProcessing__() {
    return TraitsOf(id_).support;
}

int TestPlugIn::__SupportRollUpPreview__() {
    return TraitsOf(id_).preview;
}

void TestPlugIn::__RollUpPreviewBegin__(Bitmap *, float transparency, int radius,
                                        ParticleInfo *info) {
    ++previewBegins;
    previewTransparency = transparency;
    previewRadius = radius;
    if (info) previewInfo = *info;
}

int TestPlugIn::__RollUpPreviewShape__(unsigned short *density, int radius, int dx, int dy, int,
                                       int) {
    ++shapeCalls;
    const long r2 = long(radius) * radius, d2 = long(dx) * dx + long(dy) * dy;
    if (radius <= 0 || d2 > r2) return 0;
    *density = static_cast<unsigned short>(65535 * (r2 - d2) / r2);
    return 1;
}

void TestPlugIn::__ColorShader__(unsigned short, BMM_Color_64 *color, int, int, int, int) {
    ++colorCalls;
    color->r = kTestPreviewColor.r;
    color->g = kTestPreviewColor.g;
    color->b = kTestPreviewColor.b;
}

void TestPlugIn::__RollUpPreviewEnd__() {
    ++previewEnds;
}

int TestPlugIn::LibrarySave(NimbraInterface *io) {
    if (id_ == refuseLibrarySave || !block) return 0;
    std::uint8_t values[8];
    float v = 0.0f;
    block->GetValue(kBirthValue, 0, v);
    PutLEFloat(values, v);
    block->GetValue(kDeathValue, 0, v);
    PutLEFloat(values + 4, v);
    return WriteLibraryVersion(io) && io->fwrite(values, sizeof values, 1) == 1 ? 1 : 0;
}

int TestPlugIn::LibraryLoad(NimbraInterface *io) {
    if (!block || !ReadLibraryVersion(io) || id_ == refuseLibraryLoad) return 0;
    std::uint8_t values[8];
    if (io->fread(values, sizeof values, 1) != 1) return 0;
    block->SetValue(kBirthValue, 0, GetLEFloat(values));
    block->SetValue(kDeathValue, 0, GetLEFloat(values + 4));
    return 1;
}

// TestController ------------------------------------------------------------------------------

ReferenceTarget *TestController::Clone(RemapDir &) {
    auto *copy = new TestController;
    copy->level = level;
    return copy;
}

int TestController::LibrarySave(NimbraInterface *io) {
    std::uint8_t value[4];
    PutLEInt(value, level);
    return WriteLibraryVersion(io) && io->fwrite(value, sizeof value, 1) == 1 ? 1 : 0;
}

int TestController::LibraryLoad(NimbraInterface *io) {
    std::uint8_t value[4];
    if (!ReadLibraryVersion(io) || io->fread(value, sizeof value, 1) != 1) return 0;
    if (GetLEInt(value) < 0) return 0;
    level = GetLEInt(value);
    return 1;
}
