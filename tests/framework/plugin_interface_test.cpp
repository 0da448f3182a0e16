/// @file plugin_interface_test.cpp
/// @brief The default bodies of the plug-in and controller contracts and the slots their
///        operations occupy.
#include "framework/nimbra_interface.h"
#include "framework/plugin_interface.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

/// A plug-in class that overrides none of the contract's operations.
class BarePlugIn : public NimbraPlugIn {};

class BareController : public NimbraController {};

/// Records the editor calls that reach the two-argument `__BeginEdit__`.
class EditorController : public NimbraController {
public:
    using NimbraController::__BeginEdit__;
    void __BeginEdit__(IObjParam *ip, const TCHAR *title) override {
        opened.push_back({ip, title});
    }
    struct Opened {
        IObjParam *ip;
        std::string title;
    };
    std::vector<Opened> opened;
};

/// The virtual-table slot of a virtual member function. The Itanium C++ ABI stores a pointer
/// to a virtual member function as 1 + its byte offset in the virtual table.
template <typename Member>
std::ptrdiff_t SlotOf(Member member) {
    struct Representation {
        std::uintptr_t ptr;
        std::ptrdiff_t adj;
    };
    static_assert(sizeof(Member) == sizeof(Representation));
    Representation r;
    std::memcpy(&r, &member, sizeof r);
    EXPECT_EQ(r.ptr & 1u, 1u) << "not a virtual function";
    return static_cast<std::ptrdiff_t>((r.ptr - 1) / sizeof(void *));
}

void ExpectConsecutive(const std::vector<std::ptrdiff_t> &slots) {
    for (std::size_t i = 1; i < slots.size(); ++i)
        EXPECT_EQ(slots[i], slots[0] + static_cast<std::ptrdiff_t>(i)) << "operation " << i + 1;
}

}  // namespace

TEST(PlugInContract, PlugInOverridingNothingRendersNothing) {
    BarePlugIn plugIn;
    ParticleInfo info;
    plugIn.__EnumParticle__(&info, nullptr, 0);
    plugIn.__BeginParticle__(0.0f, 8, &info);
    for (int dy = -8; dy <= 8; ++dy) {
        for (int dx = -8; dx <= 8; ++dx) {
            unsigned short density = 12345;
            EXPECT_EQ(plugIn.__ParticleShape__(&density, 8, dx, dy, 100 + dx, 50 + dy), 0);
            EXPECT_EQ(plugIn.__RollUpPreviewShape__(&density, 8, dx, dy, 8 + dx, 8 + dy), 0);
            BMM_Color_64 pixel{1, 2, 3, 4};
            plugIn.__ColorShader__(65535, &pixel, dx, dy, 100 + dx, 50 + dy);
            plugIn.__ImageComposite__(100 + dx, 50 + dy, &pixel, 65535);
            EXPECT_EQ(pixel, (BMM_Color_64{1, 2, 3, 4}));
        }
    }
    plugIn.__EndParticle__();
    EXPECT_EQ(plugIn.__SupportProcessing__(), 0x10);
    EXPECT_EQ(plugIn.__SupportRollUpPreview__(), 0);
    EXPECT_EQ(plugIn.NumControllers(), 0);
    EXPECT_EQ(plugIn.GetController(0), nullptr);
    EXPECT_EQ(plugIn.__GetPointer__(1, 2, 3), nullptr);
    EXPECT_EQ(plugIn.__Message__(1, 2, 3), 0);
    EXPECT_EQ(plugIn.__MemoryUsed__(), 0);
    EXPECT_EQ(plugIn.LibrarySave(GetNimbraInterface()), 0);
    EXPECT_EQ(plugIn.LibraryLoad(GetNimbraInterface()), 0);
}

TEST(PlugInContract, DefaultDensityStoresOneInNoiseAndLeavesDensity) {
    BarePlugIn plugIn;
    SampleInfo sample;
    sample.noise = 0.25f;
    sample.density = 0.75f;
    plugIn.__Density_Function__(&sample);
    EXPECT_EQ(sample.noise, 1.0f);
    EXPECT_EQ(sample.density, 0.75f);

    sample.noise = -3.0f;
    sample.density = 0.5f;
    plugIn.__LightShadow_Function__(&sample);
    EXPECT_EQ(sample.noise, 1.0f);
    EXPECT_EQ(sample.density, 0.5f);
}

TEST(PlugInContract, DefaultVolumeAnswersAreNeutral) {
    BarePlugIn plugIn;
    EXPECT_EQ(plugIn.__ComputeParticleShape__(0), kVolumeSphere);
    const Matrix3 rotation =
        plugIn.__ComputeParticleRotate__(160, Point3(1, 2, 3), Point3(0, 0, 1), 0.5f, 2.0f);
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 3; ++column)
            EXPECT_EQ(rotation.GetRow(row)[column], row == column ? 1.0f : 0.0f);
    const Point3 scale = plugIn.__ComputeParticleScale__(160, 0.5f);
    EXPECT_EQ(scale.x, 1.0f);
    EXPECT_EQ(scale.y, 1.0f);
    EXPECT_EQ(scale.z, 1.0f);

    SampleInfo sample;
    EXPECT_EQ(plugIn.__GetWireFrame__(0, &sample), Color(0, 0, 0));
    EXPECT_EQ(plugIn.__GetColorAmbient__(&sample), Color(0, 0, 0));
    EXPECT_EQ(plugIn.__GetColorDiffuse__(&sample), Color(0, 0, 0));
    EXPECT_EQ(plugIn.__GetColorSpecular__(&sample), Color(0, 0, 0));
    EXPECT_EQ(plugIn.__GetShininess__(&sample), 0.0f);
    EXPECT_EQ(plugIn.__GetSelfIllumination__(&sample), 0.0f);
    EXPECT_EQ(plugIn.__GetShadowStrength__(&sample), 0.0f);

    // The volume query: a plug-in that does not serve the volume renderer leaves the flag.
    int servesVolumes = 0;
    plugIn.__EnumParticle__(reinterpret_cast<ParticleInfo *>(&servesVolumes), nullptr,
                            kVolumeQueryIndex);
    EXPECT_EQ(servesVolumes, 0);

    ParticleVolume volume;
    plugIn.__UpdateAtmos_(0);
    plugIn.__CreateCache__(0, &volume);
    EXPECT_EQ(volume.cache[kShapeCache], nullptr);
    plugIn.__DestroyCache__(0, &volume);
}

TEST(PlugInContract, OperationsFollowTheHostOperationsInTheirOrder) {
    using P = NimbraPlugIn;
    const std::vector<std::ptrdiff_t> slots = {
        SlotOf(&P::__GetPointer__),
        SlotOf(&P::__Message__),
        SlotOf(&P::__MemoryUsed__),
        SlotOf(&P::__SupportProcessing__),
        SlotOf(&P::__LightShadow_Function__),
        SlotOf(&P::__Density_Function__),
        SlotOf(&P::__ComputeParticleShape__),
        SlotOf(&P::__ComputeParticleRotate__),
        SlotOf(&P::__ComputeParticleScale__),
        SlotOf(&P::__GetWireFrame__),
        SlotOf(&P::__GetShininess__),
        SlotOf(&P::__GetSelfIllumination__),
        SlotOf(&P::__GetShadowStrength__),
        SlotOf(&P::__GetColorAmbient__),
        SlotOf(&P::__GetColorDiffuse__),
        SlotOf(&P::__GetColorSpecular__),
        SlotOf(&P::__GetMaterialID__),
        SlotOf(&P::__Light_Function__),
        SlotOf(&P::__UpdateAtmos_),
        SlotOf(&P::__CreateCache__),
        SlotOf(&P::__DestroyCache__),
        SlotOf(&P::__BeginFrame__),
        SlotOf(&P::__EndFrame__),
        SlotOf(&P::__EnumParticle__),
        SlotOf(&P::__BeginParticle__),
        SlotOf(&P::__EndParticle__),
        SlotOf(&P::__ParticleShape__),
        SlotOf(&P::__ColorShader__),
        SlotOf(&P::__ImageComposite__),
        SlotOf(&P::__SupportRollUpPreview__),
        SlotOf(&P::__RollUpPreviewBegin__),
        SlotOf(&P::__RollUpPreviewShape__),
        SlotOf(&P::__RollUpPreviewColor__),
        SlotOf(&P::__RollUpPreviewEnd__),
        SlotOf(&P::__BeginEdit__),
        SlotOf(&P::__EndEdit__),
        SlotOf(&P::LibrarySave),
        SlotOf(&P::LibraryLoad),
        SlotOf(&P::NumControllers),
        SlotOf(&P::GetController),
    };
    ASSERT_EQ(slots.size(), 40u);
    EXPECT_GT(slots[0], SlotOf(&ReferenceTarget::Clone));
    ExpectConsecutive(slots);
}

TEST(ControllerContract, OperationsFollowTheHostOperationsInTheirOrder) {
    using C = NimbraController;
    const std::vector<std::ptrdiff_t> slots = {
        SlotOf(&C::__Reset__),
        SlotOf(static_cast<void (C::*)(Point2 *, int, Point2, Point2)>(&C::__Eval__)),
        SlotOf(static_cast<void (C::*)(Point3 *, int, Point3, Point3)>(&C::__Eval__)),
        SlotOf(static_cast<void (C::*)(float *, int, float, float)>(&C::__Eval__)),
        SlotOf(static_cast<void (C::*)(int *, int, int, int)>(&C::__Eval__)),
        SlotOf(static_cast<void (C::*)(BMM_Color_64 *, int, BMM_Color_64, BMM_Color_64)>(
            &C::__Eval__)),
        SlotOf(&C::__SetupInt__),
        SlotOf(&C::__SetupFloat__),
        SlotOf(&C::__SetupColor__),
        SlotOf(static_cast<void (C::*)(IObjParam *, const TCHAR *, ICustButton *)>(
            &C::__BeginEdit__)),
        SlotOf(static_cast<void (C::*)(IObjParam *, const TCHAR *)>(&C::__BeginEdit__)),
        SlotOf(&C::__EndEdit__),
        SlotOf(&C::LibrarySave),
        SlotOf(&C::LibraryLoad),
    };
    EXPECT_GT(slots[0], SlotOf(&ReferenceTarget::Clone));
    ExpectConsecutive(slots);
}

TEST(ControllerContract, ControllerOverridingNothingLeavesEveryOutput) {
    BareController controller;
    EXPECT_EQ(controller.button, nullptr);
    controller.__Reset__(0, 0, 4800, 3);
    float f = 0.5f;
    controller.__Eval__(&f, 100, 1.0f, 2.0f);
    EXPECT_EQ(f, 0.5f);
    int i = 7;
    controller.__Eval__(&i, 100, 1, 2);
    EXPECT_EQ(i, 7);
    Point3 p(1, 2, 3);
    controller.__Eval__(&p, 100, Point3(), Point3());
    EXPECT_EQ(p.y, 2.0f);
    BMM_Color_64 c{9, 9, 9, 9};
    controller.__Eval__(&c, 100, BMM_Color_64{}, BMM_Color_64{});
    EXPECT_EQ(c, (BMM_Color_64{9, 9, 9, 9}));
    EXPECT_EQ(controller.LibrarySave(GetNimbraInterface()), 0);
    EXPECT_EQ(controller.LibraryLoad(GetNimbraInterface()), 0);
}

TEST(ControllerContract, BeginEditWithButtonRemembersItAndOpensTheEditor) {
    EditorController controller;
    ICustButton button;
    IObjParam *ip = GetCOREInterface();
    controller.__BeginEdit__(ip, "Birth Size", &button);
    EXPECT_EQ(controller.button, &button);
    ASSERT_EQ(controller.opened.size(), 1u);
    EXPECT_EQ(controller.opened[0].ip, ip);
    EXPECT_EQ(controller.opened[0].title, "Birth Size");

    // Through a base pointer, as the plug-ins call it.
    NimbraController *base = &controller;
    base->__BeginEdit__(ip, "Death Size", nullptr);
    EXPECT_EQ(controller.button, nullptr);
    ASSERT_EQ(controller.opened.size(), 2u);
    EXPECT_EQ(controller.opened[1].title, "Death Size");
}
