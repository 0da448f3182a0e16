/// @file nimbra_interface_test.cpp
/// @brief The interface object: initial state, buffers, library file access, the selected
///        helper and the controller swap.
#include "framework/nimbra_interface.h"
#include "framework/plugin_interface.h"
#include "framework_fixture.h"
#include "host/interface.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <memory>

using namespace frameworktest;

namespace {

constexpr char kTestModule[] = "framework-tests";

// ---------------------------------------------------------------------------------------------
// A stand-in for the helper object: the interface recognises helpers by class ID only.

class StandInHelper : public HelperObject {
public:
    Class_ID ClassID() override { return kNimbraHelperClassID; }
    const TCHAR *GetObjectName() override { return "Nimbra"; }
};

class OtherHelper : public HelperObject {
public:
    Class_ID ClassID() override { return Class_ID(0x7E5700F0, 1); }
    const TCHAR *GetObjectName() override { return "Dummy"; }
};

// ---------------------------------------------------------------------------------------------
// Controllers and their owner for the controller swap.

constexpr Class_ID kRampID(kControllerKey, 0x7E5700E1);
constexpr Class_ID kMissingID(kControllerKey, 0x7E5700E2);  // registered, never installed
constexpr Class_ID kNotAControllerID(kControllerKey, 0x7E5700E3);

/// A controller that records its editor closing and its deletion.
class RecordingController : public NimbraController {
public:
    static inline int live = 0;
    RecordingController() { ++live; }
    ~RecordingController() override { --live; }
    Class_ID ClassID() override { return kRampID; }
    SClass_ID SuperClassID() override { return REF_MAKER_CLASS_ID; }
    void __EndEdit__(IObjParam *ip) override { closedWith.push_back(ip); }
    std::vector<IObjParam *> closedWith;
};

/// Registered under the controller key but no controller.
class NotAController : public ReferenceTarget {
public:
    static inline int live = 0;
    NotAController() { ++live; }
    ~NotAController() override { --live; }
};

/// A plug-in holding controllers in references 0 and 1.
class Owner : public NimbraPlugIn {
public:
    int NumRefs() override { return 2; }
    ReferenceTarget *GetReference(int i) override { return refs[i]; }
    void SetReference(int i, ReferenceTarget *t) override { refs[i] = t; }
    ReferenceTarget *refs[2] = {nullptr, nullptr};
};

FixedClassDesc<StandInHelper> helperDesc("Nimbra", HELPER_CLASS_ID, kNimbraHelperClassID);
FixedClassDesc<RecordingController> rampDesc("Ramp", REF_MAKER_CLASS_ID, kRampID);
FixedClassDesc<NotAController> notAControllerDesc("Impostor", REF_MAKER_CLASS_ID,
                                                  kNotAControllerID);

class Interfaces : public ConfigDirTest {
protected:
    void SetUp() override {
        ConfigDirTest::SetUp();
        ClassDirectory::Instance().Add(&helperDesc, kTestModule);
        ClassDirectory::Instance().Add(&rampDesc, kTestModule);
        ClassDirectory::Instance().Add(&notAControllerDesc, kTestModule);
        GetCOREInterface()->ResetScene();
    }
    void TearDown() override {
        GetCOREInterface()->ResetScene();
        ClassDirectory::Instance().RemoveModule(kTestModule);
        ConfigDirTest::TearDown();
    }

    /// Registry: three controllers (the names sort case-insensitively to Impostor, missing,
    /// Ramp) and a shape that the controller list must not show.
    void RegisterControllers() {
        WriteRegistry({MakeRecord(kControllerKey, kRampID.PartB(), "Ramp"),
                       MakeRecord(kParticleShapeKey, 0x7E5700E4, "A Shape"),
                       MakeRecord(kControllerKey, kMissingID.PartB(), "missing"),
                       MakeRecord(kControllerKey, kNotAControllerID.PartB(), "Impostor")});
        ThePlugInRegistry().Reload();
    }

    /// An owner whose reference 1 holds a controller opened from `button`.
    std::unique_ptr<Owner, void (*)(Owner *)> MakeOwner(RecordingController *&controller) {
        std::unique_ptr<Owner, void (*)(Owner *)> owner(new Owner,
                                                        [](Owner *o) { o->DeleteThis(); });
        controller = new RecordingController;
        owner->ReplaceReference(1, controller);
        button.SetType(CBT_CHECK);
        controller->__BeginEdit__(GetCOREInterface(), "Size", &button);
        button.SetCheck(TRUE);
        return owner;
    }

    ICustButton button;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// The object

TEST(NimbraInterface, OneObjectForTheProcessStartingEmpty) {
    ASSERT_NE(GetNimbraInterface(), nullptr);
    EXPECT_EQ(GetNimbraInterface(), GetNimbraInterface());

    const NimbraInterface fresh;
    EXPECT_EQ(fresh.file, nullptr);
    EXPECT_EQ(fresh.zBuffer, nullptr);
    EXPECT_EQ(fresh.mtlBuffer, nullptr);
    EXPECT_EQ(fresh.bufferKey, 0);
    EXPECT_EQ(fresh.bufferWidth, 0);
    EXPECT_EQ(fresh.bufferHeight, 0);
    EXPECT_EQ(fresh.BuffersExist(), 0);
    EXPECT_EQ(fresh.GetSelHelperOnly(), 0);
    EXPECT_EQ(fresh.selectedHelperName[0], '\0');
    EXPECT_EQ(fresh.GetPreviewRendering(), 0);
    EXPECT_EQ(fresh.GetRegion(), RECT{});
    EXPECT_EQ(fresh.GetStepSizeAmount(), 0.0f);
    EXPECT_EQ(fresh.GetBackgroundImage(), nullptr);
}

TEST(NimbraInterface, BuffersStartEmptyAndSameSizeKeepsThem) {
    NimbraInterface iface;
    iface.CreateBuffers(3, 4, 2);
    ASSERT_EQ(iface.BuffersExist(), 1);
    EXPECT_EQ(iface.bufferKey, 3);
    EXPECT_EQ(iface.bufferWidth, 4);
    EXPECT_EQ(iface.bufferHeight, 2);
    float *z = iface.GetZBuffer();
    unsigned char *m = iface.GetMtlBuffer();
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(std::bit_cast<std::uint32_t>(z[i]), 0xF149F2CAu);
        EXPECT_EQ(m[i], 0);
    }

    z[5] = -12.5f;
    m[5] = 7;
    iface.CreateBuffers(9, 4, 2);
    EXPECT_EQ(iface.GetZBuffer(), z);
    EXPECT_EQ(iface.GetMtlBuffer(), m);
    EXPECT_EQ(z[5], -12.5f);
    EXPECT_EQ(m[5], 7);
    EXPECT_EQ(iface.bufferKey, 3);
}

TEST(NimbraInterface, OtherSizeRefillsTheBuffers) {
    NimbraInterface iface;
    iface.CreateBuffers(1, 4, 2);
    iface.GetZBuffer()[0] = -1.0f;
    iface.GetMtlBuffer()[0] = 200;

    iface.CreateBuffers(2, 2, 4);  // same pixel count, another size
    ASSERT_EQ(iface.BuffersExist(), 1);
    EXPECT_EQ(iface.bufferKey, 2);
    EXPECT_EQ(iface.bufferWidth, 2);
    EXPECT_EQ(iface.bufferHeight, 4);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(iface.GetZBuffer()[i], kBufferEmptyDepth);
        EXPECT_EQ(iface.GetMtlBuffer()[i], 0);
    }

    iface.EraseBuffers(0);
    EXPECT_EQ(iface.BuffersExist(), 0);
    EXPECT_EQ(iface.GetZBuffer(), nullptr);
    EXPECT_EQ(iface.GetMtlBuffer(), nullptr);
    iface.EraseBuffers(0);  // nothing to erase

    // A device without pixels gets no buffers rather than empty ones.
    iface.CreateBuffers(1, 0, 10);
    EXPECT_EQ(iface.BuffersExist(), 0);
    EXPECT_EQ(iface.GetZBuffer(), nullptr);
    iface.CreateBuffers(1, 3, 3);
    iface.CreateBuffers(1, -3, 3);
    EXPECT_EQ(iface.BuffersExist(), 0);
}

TEST(NimbraInterface, LibraryFileAccessForwardsToTheOpenFile) {
    NimbraInterface iface;
    char data[6] = "abcde";
    EXPECT_EQ(iface.fwrite(data, 1, 5), 0u) << "no file is open";
    EXPECT_EQ(iface.fread(data, 1, 5), 0u);

    iface.file = std::tmpfile();
    ASSERT_NE(iface.file, nullptr);
    const std::int32_t values[3] = {1, -2, 3};
    EXPECT_EQ(iface.fwrite(values, 4, 3), 3u);
    std::rewind(iface.file);
    std::int32_t back[4] = {};
    EXPECT_EQ(iface.fread(back, 4, 4), 3u) << "only whole items are counted";
    EXPECT_EQ(back[1], -2);
    std::fclose(iface.file);
    iface.file = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Selected helper

TEST_F(Interfaces, SelectedHelperOnlyWhenTheSettingIsOn) {
    Interface *ip = GetCOREInterface();
    INode *helper = ip->CreateObjectNode(new StandInHelper);
    ip->SelectNode(helper);
    NimbraInterface iface;
    EXPECT_EQ(iface.GetCurrentlySelectedHelper(), nullptr);

    iface.SetSelHelperOnly(TRUE);
    EXPECT_STREQ(iface.selectedHelperName, helper->GetName());
    EXPECT_EQ(iface.GetCurrentlySelectedHelper(), helper);
    iface.SetSelHelperOnly(FALSE);
    EXPECT_EQ(iface.GetCurrentlySelectedHelper(), nullptr);
}

TEST_F(Interfaces, SelectedHelperFallsBackToTheRememberedName) {
    Interface *ip = GetCOREInterface();
    INode *first = ip->CreateObjectNode(new StandInHelper);
    INode *second = ip->CreateObjectNode(new StandInHelper);
    INode *other = ip->CreateObjectNode(new OtherHelper);
    NimbraInterface iface;

    iface.SetSelHelperOnly(TRUE);  // nothing selected: nothing remembered
    EXPECT_EQ(iface.selectedHelperName[0], '\0');
    EXPECT_EQ(iface.GetCurrentlySelectedHelper(), nullptr);

    ip->SelectNode(second);
    EXPECT_EQ(iface.GetCurrentlySelectedHelper(), second);
    // Another kind of object selected, or two nodes: the remembered helper.
    ip->SelectNode(other);
    EXPECT_EQ(iface.GetCurrentlySelectedHelper(), second);
    ip->SelectNode(first, 0);
    EXPECT_EQ(ip->GetSelNodeCount(), 2);
    EXPECT_EQ(iface.GetCurrentlySelectedHelper(), second);
    // Setting the flag while a non-helper is selected keeps the name.
    ip->SelectNode(other);
    iface.SetSelHelperOnly(TRUE);
    EXPECT_STREQ(iface.selectedHelperName, second->GetName());

    // The remembered helper is gone.
    ip->DeleteNode(second);
    EXPECT_EQ(iface.GetCurrentlySelectedHelper(), nullptr);
}

TEST_F(Interfaces, LongHelperNamesAreCutToTheField) {
    Interface *ip = GetCOREInterface();
    INode *helper = ip->CreateObjectNode(new StandInHelper);
    helper->SetName(std::string(300, 'h').c_str());
    ip->SelectNode(helper);
    NimbraInterface iface;
    iface.SetSelHelperOnly(TRUE);
    EXPECT_EQ(std::string(iface.selectedHelperName), std::string(255, 'h'));
}

// ---------------------------------------------------------------------------------------------
// Controller swap

TEST_F(Interfaces, PromptForControllerReplacesTheControllerWithTheChosenOne) {
    RegisterControllers();
    RecordingController *old = nullptr;
    auto owner = MakeOwner(old);
    const int liveBefore = RecordingController::live;

    ui.ScriptListChoice(2);  // "Ramp"
    GetNimbraInterface()->PromptForController(owner.get(), 1);

    const std::vector<ListChoiceRequest> lists = ui.ListChoices();
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(lists[0].title, "Controllers");
    EXPECT_EQ(lists[0].items, (std::vector<std::string>{"Impostor", "missing", "Ramp"}));
    EXPECT_EQ(lists[0].owner, GetCOREInterface()->GetMainHWnd());
    EXPECT_EQ(button.IsChecked(), FALSE);

    auto *replacement = dynamic_cast<RecordingController *>(owner->GetReference(1));
    ASSERT_NE(replacement, nullptr);
    EXPECT_EQ(replacement->button, nullptr);
    EXPECT_EQ(RecordingController::live, liveBefore) << "the old controller was deleted";
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(Interfaces, PromptForControllerKeepsTheControllerWhenNothingIsChosen) {
    RegisterControllers();
    RecordingController *old = nullptr;
    auto owner = MakeOwner(old);

    ui.ScriptListChoice(std::nullopt);  // Cancel, or OK without a selection
    GetNimbraInterface()->PromptForController(owner.get(), 1);
    EXPECT_EQ(owner->GetReference(1), old);
    // The editor was closed all the same.
    EXPECT_EQ(button.IsChecked(), FALSE);
    ASSERT_EQ(old->closedWith.size(), 1u);
    EXPECT_EQ(old->closedWith[0], GetCOREInterface());
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(Interfaces, PromptForControllerReportsAClassThatCannotBeCreated) {
    RegisterControllers();
    RecordingController *old = nullptr;
    auto owner = MakeOwner(old);
    const int impostorsBefore = NotAController::live;

    ui.ScriptListChoice(1);  // "missing": registered, but no module offers it
    GetNimbraInterface()->PromptForController(owner.get(), 1);
    ui.ScriptListChoice(0);  // "Impostor": creatable, but no controller
    GetNimbraInterface()->PromptForController(owner.get(), 1);

    EXPECT_EQ(owner->GetReference(1), old);
    EXPECT_EQ(NotAController::live, impostorsBefore);
    const std::vector<MessageRequest> errors = ui.MessagesTitled("Error");
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].text,
              "You selected an IPC controller, but\n the DLL could not be located.");
    EXPECT_EQ(errors[0].owner, GetCOREInterface()->GetMainHWnd());
}

TEST_F(Interfaces, PromptForControllerWithoutRegisteredControllersOffersAnEmptyList) {
    RecordingController *old = nullptr;
    auto owner = MakeOwner(old);
    ui.ScriptListChoice(0);  // out of range for an empty list: nothing chosen
    GetNimbraInterface()->PromptForController(owner.get(), 1);
    ASSERT_EQ(ui.ListChoices().size(), 1u);
    EXPECT_TRUE(ui.ListChoices()[0].items.empty());
    EXPECT_EQ(owner->GetReference(1), old);
}

TEST_F(Interfaces, PromptForControllerNeedsAController) {
    Owner owner;
    EXPECT_THROW(GetNimbraInterface()->PromptForController(&owner, 0), HostAssertion);
    EXPECT_THROW(GetNimbraInterface()->PromptForController(&owner, 2), HostAssertion);
    EXPECT_THROW(GetNimbraInterface()->PromptForController(nullptr, 0), HostAssertion);
}
