/// @file plugin_stand_ins_api.h
/// @brief What the test module plugin_stand_ins offers: plug-in classes with the identities the
///        helper creates (default shape, colour and composite, the volume shape's composite
///        and colour), further shapes and colours, and a class that cannot be created. Every
///        class is a `TestPlugIn` with a two-parameter block and one default controller, which
///        records the roll-up preview calls it gets.
#pragma once

#include "framework/plugin_interface.h"
#include "setup/helper.h"

#include <vector>

#define TEST_PLUGINS_API __attribute__((visibility("default")))

// Classes with the identities a helper creates on its own.
constexpr Class_ID kTestCircleClassID = kCircleShapeClassID;  ///< "Test Circle", previews
constexpr Class_ID kTestDefaultColorClassID = kDefaultColorClassID;  ///< previews in orange
constexpr Class_ID kTestDefaultCompositeClassID = kDefaultCompositeClassID;
constexpr Class_ID kTestInterRotationClassID = kInterRotationClassID;      ///< volume
constexpr Class_ID kTestAtmosphereColorClassID = kAtmosphereColorClassID;  ///< volume
// Further classes.
constexpr Class_ID kTestSpriteShapeClassID(kParticleShapeKey, 0x7E5713A1);  ///< no preview
constexpr Class_ID kTestVolumeShapeClassID(kParticleShapeKey, 0x7E5713A2);  ///< answers 256
constexpr Class_ID kTestBothShapeClassID(kParticleShapeKey, 0x7E5713A3);    ///< answers 272
constexpr Class_ID kTestFlatColorClassID(kColorShaderKey, 0x7E5713A4);      ///< no preview
constexpr Class_ID kTestControllerLikeClassID(kControllerKey, 0x7E5713A5);  ///< a controller ID
/// Registered, but its descriptor creates nothing (a module whose classes fail to load).
constexpr Class_ID kTestBrokenShapeClassID(kParticleShapeKey, 0x7E5713AF);
/// An age controller other than the default one ("Test Controller").
constexpr Class_ID kTestControllerClassID(kControllerKey, 0x7E5713B0);

/// The colour "Test Default Color" shades every previewed pixel with (alpha stays as given).
constexpr BMM_Color_64 kTestPreviewColor{65535, 32768, 16384, 65535};

/// The plug-in class of every test identity.
class TEST_PLUGINS_API TestPlugIn : public NimbraPlugIn {
public:
    enum Param { kBirthValue, kDeathValue, kParams };
    enum Ref { kRefBlock, kRefController, kRefs };

    /// A plug-in of class `id` with its block and a default controller (set up to 0 … 100),
    /// unless made for loading.
    TestPlugIn(Class_ID id, bool loading);
    ~TestPlugIn() override;

    Class_ID ClassID() override { return id_; }
    SClass_ID SuperClassID() override { return REF_MAKER_CLASS_ID; }
    void GetClassName(TSTR &s) override;

    int NumSubs() override { return kRefs; }
    Animatable *SubAnim(int i) override { return GetReference(i); }
    TSTR SubAnimName(int i) override;
    int NumRefs() override { return kRefs; }
    ReferenceTarget *GetReference(int i) override;
    void SetReference(int i, ReferenceTarget *target) override;
    RefResult NotifyRefChanged(Interval, ReferenceTarget *, PartID &partID,
                               RefMessage message) override;
    ReferenceTarget *Clone(RemapDir &remap) override;

    int __SupportProcessing__() override;
    int __SupportRollUpPreview__() override;
    void __RollUpPreviewBegin__(Bitmap *bitmap, float transparency, int radius,
                                ParticleInfo *info) override;
    /// A disk: density 65535 × (1 − d² / r²) inside radius r (r > 0), declined outside.
    int __RollUpPreviewShape__(unsigned short *density, int radius, int dx, int dy, int x,
                               int y) override;
    void __ColorShader__(unsigned short density, BMM_Color_64 *color, int dx, int dy, int x,
                         int y) override;
    void __RollUpPreviewEnd__() override;
    int NumControllers() override { return 1; }
    NimbraController *GetController(int i) override { return i == 0 ? controller : nullptr; }

    /// Library record: the version block, then the two values at time 0 as float32. A class
    /// named in `refuseLibrarySave` / `refuseLibraryLoad` fails there (a load after reading
    /// its version block).
    int LibrarySave(NimbraInterface *io) override;
    int LibraryLoad(NimbraInterface *io) override;
    static inline Class_ID refuseLibrarySave{0, 0};
    static inline Class_ID refuseLibraryLoad{0, 0};

    IParamBlock *block = nullptr;
    NimbraController *controller = nullptr;

    // What the roll-up preview asked
    int previewBegins = 0;
    int previewEnds = 0;
    int shapeCalls = 0;
    int colorCalls = 0;
    float previewTransparency = 0.0f;
    int previewRadius = -1;
    ParticleInfo previewInfo;

    /// Instances alive in the process.
    static inline int live = 0;

private:
    Class_ID id_;
};

/// An age controller that holds one number and evaluates to nothing.
class TEST_PLUGINS_API TestController : public NimbraController {
public:
    TestController() { ++live; }
    ~TestController() override { --live; }
    Class_ID ClassID() override { return kTestControllerClassID; }
    SClass_ID SuperClassID() override { return REF_MAKER_CLASS_ID; }
    void GetClassName(TSTR &s) override { s = "Test Controller"; }
    ReferenceTarget *Clone(RemapDir &) override;

    /// Library record: the version block, then `level` as int32. A negative level is refused
    /// (0, nothing changes).
    int LibrarySave(NimbraInterface *io) override;
    int LibraryLoad(NimbraInterface *io) override;

    int level = 0;
    /// Instances alive in the process.
    static inline int live = 0;
};

/// The descriptors of the module's classes (the plug-ins, then the controller), in
/// `LibClassDesc` order.
TEST_PLUGINS_API std::vector<ClassDesc *> TestPlugInDescs();
