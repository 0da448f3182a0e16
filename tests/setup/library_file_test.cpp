/// @file library_file_test.cpp
/// @brief Effect library files with the stand-in plug-ins: the header and entry record as
///        written, round trips of the whole set-up, refused and truncated files, missing
///        plug-in and controller classes, failing blocks, the file choice, and what a failed
///        save leaves behind.
#include "setup_fixture.h"

#include "common/temp_folder.h"
#include "framework/library_block.h"
#include "framework/nimbra_interface.h"
#include "plugins/standard/controller_state.h"
#include "plugins/standard/default_controller.h"
#include "setup/library_dlg.h"
#include "setup/library_format.h"
#include "host/little_endian.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include <sys/stat.h>

namespace setuptest {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// Sizes of the blocks the stand-ins and the default controller write
constexpr std::size_t kDefaultControllerBlock =
    kLibraryControllerHeaderSize + kLibraryVersionBlockSize + kControllerStateSize;
constexpr std::size_t kTestControllerBlock =
    kLibraryControllerHeaderSize + kLibraryVersionBlockSize + 4;
constexpr std::size_t kTestPlugInRecord = kLibraryVersionBlockSize + 8;
constexpr std::size_t kHelperBlockEnd =
    kLibraryHelperBlockOffset + kLibraryVersionBlockSize + kLibraryHelperRecordSize;
// Entry record fields
constexpr std::size_t kEntryAt = kLibraryHeaderSize;
constexpr std::size_t kIncludeAt = kEntryAt + 60;
constexpr std::size_t kOffsetsAt = kEntryAt + 72;
constexpr std::size_t kIdsAt = kEntryAt + 84;

using testfiles::ReadBytes;
using testfiles::WriteBytes;

std::uint32_t U32At(const Bytes &b, std::size_t at) {
    return ByteReader(b, at).U32();
}
void PutU32At(Bytes &b, std::size_t at, std::uint32_t v) {
    PutLE32(b.data() + at, v);
}

/// The controller of the stand-in plug-in in `role` as a test controller (null otherwise).
TestController *PlugInTestController(NimbraHelper *helper, NimbraHelper::Role role) {
    TestPlugIn *p = PlugInOf(helper, role);
    return p ? dynamic_cast<TestController *>(p->controller) : nullptr;
}

DefaultController *DefaultControllerOf(NimbraHelper *helper, int i) {
    return dynamic_cast<DefaultController *>(helper->GetHelperController(i));
}

float BlockValue(TestPlugIn *p, int param) {
    float v = 0.0f;
    p->block->GetValue(param, 0, v);
    return v;
}

/// The age parameters at time 0 and the objects a helper holds: what must not change when a
/// file is refused.
struct HelperSnapshot {
    std::vector<float> age;
    std::vector<ReferenceTarget *> objects;
    bool operator==(const HelperSnapshot &) const = default;
};

HelperSnapshot Snapshot(NimbraHelper *helper) {
    HelperSnapshot s;
    for (int i = 0; i < NimbraHelper::kAgeParams; ++i) {
        const ParamType type = helper->AgeBlock()->GetParameterType(i);
        s.age.push_back(type == TYPE_FLOAT ? helper->AgeFloat(i, 0)
                                           : float(helper->AgeInt(i, 0)));
    }
    for (int i = NimbraHelper::kRefShape; i < NimbraHelper::kRefFirstSystem; ++i)
        s.objects.push_back(helper->GetReference(i));
    return s;
}

/// Values for the seventeen stored age parameters that differ from the defaults.
struct StoredAge {
    int param;
    float value;
};
constexpr StoredAge kStoredAge[] = {
    {NimbraHelper::kLifeBegins, 160},
    {NimbraHelper::kLifeEnds, 9600},
    {NimbraHelper::kBirthSize, 7.5f},
    {NimbraHelper::kDeathSize, 31.25f},
    {NimbraHelper::kBirthTrans, 0.2f},
    {NimbraHelper::kDeathTrans, 0.9f},
    {NimbraHelper::kEveryNth, 3},
    {NimbraHelper::kNthOffset, 2},
    {NimbraHelper::kMaterialId, 17},
    {NimbraHelper::kUpdateZBuffer, 1},
    {NimbraHelper::kCastShadows, 0},
    {NimbraHelper::kVolumeFog, 1},
    {NimbraHelper::kUseBrushSettings, 0},
    {NimbraHelper::kBirthShadowSize, 6.5f},
    {NimbraHelper::kDeathShadowSize, 27.0f},
    {NimbraHelper::kBirthShadowTrans, 0.4f},
    {NimbraHelper::kDeathShadowTrans, 0.6f},
};
static_assert(std::size(kStoredAge) == kLibraryHelperFields.size());

void SetAge(NimbraHelper *helper, int param, float value) {
    if (helper->AgeBlock()->GetParameterType(param) == TYPE_FLOAT)
        helper->AgeBlock()->SetValue(param, 0, value);
    else
        helper->AgeBlock()->SetValue(param, 0, int(value));
}

float AgeValue(NimbraHelper *helper, int param) {
    return helper->AgeBlock()->GetParameterType(param) == TYPE_FLOAT
               ? helper->AgeFloat(param, 0)
               : float(helper->AgeInt(param, 0));
}

class LibraryFileTest : public HelperTest {
protected:
    void SetUp() override {
        HelperTest::SetUp();
        LibraryDlg::ForgetLastPath();
    }
    void TearDown() override {
        TestPlugIn::refuseLibrarySave = Class_ID(0, 0);
        TestPlugIn::refuseLibraryLoad = Class_ID(0, 0);
        HelperTest::TearDown();
    }

    /// A helper on a node named `name` with every stored setting away from its default:
    /// the seventeen age values, a test controller for the size, changed default
    /// controllers, and the Test Sprite Shape (its controller a test controller), Test Flat
    /// Color and the default composite with their own values.
    NimbraHelper *MadeUpHelper(const char *name = "Fire") {
        INode *node = nullptr;
        NimbraHelper *helper = NewHelperNode(&node);
        node->SetName(name);
        for (const StoredAge &a : kStoredAge) SetAge(helper, a.param, a.value);
        // Not stored: these stay with the helper that loads.
        helper->AgeBlock()->SetValue(NimbraHelper::kShaderActive, 0, 0);
        helper->AgeBlock()->SetValue(NimbraHelper::kUseEmitterAge, 0, 1);
        helper->AgeBlock()->SetValue(NimbraHelper::kShadingOrder, 0, 9);

        EXPECT_TRUE(
            helper->ReplaceController(NimbraHelper::kSizeController, kTestControllerClassID));
        static_cast<TestController *>(helper->GetHelperController(1))->level = 42;
        DefaultControllerOf(helper, 0)->SetInterpolation(kSmoothStep);
        DefaultControllerOf(helper, 0)->SetUseVariation(true);
        DefaultControllerOf(helper, 3)->InterpolationBlock()->SetValue(
            DefaultController::kValue1, 0, 0.25f);

        EXPECT_EQ(helper->SelectPlugIn(kTestSpriteShapeClassID.PartB(), 1), 1);
        EXPECT_EQ(helper->SelectPlugIn(kTestFlatColorClassID.PartB(), 1), 1);
        TestPlugIn *shape = PlugInOf(helper, NimbraHelper::kShapeRole);
        shape->block->SetValue(TestPlugIn::kBirthValue, 0, 11.0f);
        shape->block->SetValue(TestPlugIn::kDeathValue, 0, 12.0f);
        auto *level = new TestController;
        level->level = 7;
        shape->ReplaceReference(TestPlugIn::kRefController, level);
        PlugInOf(helper, NimbraHelper::kColorRole)
            ->block->SetValue(TestPlugIn::kBirthValue, 0, 3.0f);
        PlugInOf(helper, NimbraHelper::kCompositeRole)
            ->block->SetValue(TestPlugIn::kDeathValue, 0, 6.0f);
        return helper;
    }

    /// Saves `helper` through the "Save" button, the file choice answered with `path`.
    void Save(NimbraHelper *helper, const std::string &path) {
        ui.ScriptFileChoice(path);
        LibraryDlg::Save(helper);
    }
    /// Loads `path` into `helper` through the "Load" button.
    void Load(NimbraHelper *helper, const std::string &path) {
        ui.ScriptFileChoice(path);
        EXPECT_EQ(LibraryDlg::Load(helper), 1);
    }

    /// Saves `MadeUpHelper()` to "fire.nbr" in the test's folder; returns the path.
    std::string SaveMadeUpHelper() {
        const std::string path = folder.Path("fire.nbr");
        Save(MadeUpHelper(), path);
        return path;
    }

    /// The made-up helper's colour shader and composite values reached `target`.
    static void ExpectColorAndCompositeLoaded(NimbraHelper *target) {
        EXPECT_EQ(target->ColorId(), kTestFlatColorClassID.PartB());
        EXPECT_EQ(
            BlockValue(PlugInOf(target, NimbraHelper::kColorRole), TestPlugIn::kBirthValue),
            3.0f);
        EXPECT_EQ(
            BlockValue(PlugInOf(target, NimbraHelper::kCompositeRole), TestPlugIn::kDeathValue),
            6.0f);
    }

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const MessageRequest &m : ui.Messages()) texts.push_back(m.text);
        return texts;
    }

    testfiles::TempFolder folder;
};

// ---------------------------------------------------------------------------------------------
// Writing

TEST_F(LibraryFileTest, HeaderAndEntryRecordAsWritten) {
    INode *node = nullptr;
    NimbraHelper *helper = NewHelperNode(&node);
    node->SetName("Campfire with a very long name");
    const std::string path = folder.Path("default.nbr");
    Save(helper, path);
    EXPECT_TRUE(ui.Messages().empty());

    const Bytes b = ReadBytes(path);
    ASSERT_GE(b.size(), kHelperBlockEnd);
    EXPECT_EQ(
        std::memcmp(b.data(), "Nimbra Library - particle effect preset file, rev 1.20", 55), 0);
    EXPECT_TRUE(std::all_of(b.begin() + 55, b.begin() + 256, [](auto c) { return c == 0; }));
    EXPECT_EQ(GetLE16(b.data() + 256), 0x0120);
    EXPECT_EQ(GetLE16(b.data() + 258), 0);

    EXPECT_EQ(std::memcmp(b.data() + kEntryAt, "##TOP###", 8), 0);
    EXPECT_EQ(GetLE16(b.data() + kEntryAt + 8), 0x0100);
    EXPECT_STREQ(reinterpret_cast<const char *>(b.data() + kEntryAt + 10),
                 "Campfire with a ver");
    EXPECT_EQ(b[kEntryAt + 30], 0);  // empty description
    for (int s = 0; s < 3; ++s) EXPECT_EQ(U32At(b, kIncludeAt + 4 * s), 1u);
    EXPECT_EQ(U32At(b, kIdsAt), 0x282c0a37u);
    EXPECT_EQ(U32At(b, kIdsAt + 4), 0x74874163u);
    EXPECT_EQ(U32At(b, kIdsAt + 8), 0x49120a27u);
    EXPECT_TRUE(std::all_of(b.begin() + kEntryAt + 96, b.begin() + kEntryAt + 146,
                            [](auto c) { return c == 0; }));
    EXPECT_EQ(std::memcmp(b.data() + kEntryAt + 146, "##BOT###\0", 10), 0);

    // The helper block, then four default controller blocks.
    EXPECT_EQ(GetLE16(b.data() + kLibraryHelperBlockOffset), 256);
    std::size_t at = kHelperBlockEnd;
    for (int i = 0; i < 4; ++i, at += kDefaultControllerBlock) {
        EXPECT_EQ(GetLE16(b.data() + at), 256);
        EXPECT_EQ(U32At(b, at + 8), kDefaultControllerClassID.PartA());
        EXPECT_EQ(U32At(b, at + 12), kDefaultControllerClassID.PartB());
    }
    // Each offset points just past the last controller block of what comes before it: the
    // helper's, then the shape's, then the colour's (each stand-in has one controller).
    const std::size_t section = kTestPlugInRecord + kDefaultControllerBlock;
    EXPECT_EQ(U32At(b, kOffsetsAt), at);
    EXPECT_EQ(U32At(b, kOffsetsAt + 4), at + section);
    EXPECT_EQ(U32At(b, kOffsetsAt + 8), at + 2 * section);
    EXPECT_EQ(b.size(), at + 3 * section);
}

TEST_F(LibraryFileTest, HelperInNoSceneIsUndefined) {
    NimbraHelper *helper = NewHelper();
    const std::string path = folder.Path("loose.nbr");
    EXPECT_EQ(WriteLibraryFile(*helper, path), PresetOutcome::Done);
    const Bytes b = ReadBytes(path);
    ASSERT_GE(b.size(), kHelperBlockEnd);
    EXPECT_STREQ(reinterpret_cast<const char *>(b.data() + kEntryAt + 10), "Undefined");
    helper->DeleteThis();
}

TEST_F(LibraryFileTest, InterfaceFileIsGivenBackAfterSaveAndLoad) {
    NimbraHelper *helper = NewHelperNode();
    NimbraInterface *io = GetNimbraInterface();
    ASSERT_EQ(io->file, nullptr);
    const std::string path = folder.Path("a.nbr");
    Save(helper, path);
    EXPECT_EQ(io->file, nullptr) << "a closed file must not stay reachable";
    Load(helper, path);
    EXPECT_EQ(io->file, nullptr);
    EXPECT_EQ(io->fwrite("x", 1, 1), 0u);
}

// ---------------------------------------------------------------------------------------------
// Round trips

TEST_F(LibraryFileTest, RoundTripRestoresTheWholeSetUp) {
    NimbraHelper *source = MadeUpHelper();
    const std::string path = folder.Path("fire.nbr");
    Save(source, path);
    ASSERT_TRUE(ui.Messages().empty()) << ui.Messages()[0].text;

    NimbraHelper *target = NewHelperNode();
    Load(target, path);
    EXPECT_TRUE(ui.Messages().empty()) << ui.Messages()[0].text;

    for (const StoredAge &a : kStoredAge)
        EXPECT_EQ(AgeValue(target, a.param), a.value) << "age parameter " << a.param;
    EXPECT_EQ(target->AgeInt(NimbraHelper::kShaderActive, 0), 1);
    EXPECT_EQ(target->AgeInt(NimbraHelper::kUseEmitterAge, 0), 0);
    EXPECT_NE(target->AgeInt(NimbraHelper::kShadingOrder, 0), 9);

    // Controllers: classes and data.
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(target->GetHelperController(i)->ClassID(),
                  source->GetHelperController(i)->ClassID());
    EXPECT_EQ(static_cast<TestController *>(target->GetHelperController(1))->level, 42);
    for (int i : {0, 2, 3})
        EXPECT_EQ(EncodeControllerState(DefaultControllerOf(target, i)->State()),
                  EncodeControllerState(DefaultControllerOf(source, i)->State()))
            << "controller " << i;
    EXPECT_EQ(DefaultControllerOf(target, 0)->State().interpolation, kSmoothStep);

    // Plug-ins: classes, data and their controllers.
    for (int role = 0; role < 3; ++role) {
        const auto r = static_cast<NimbraHelper::Role>(role);
        EXPECT_EQ(target->GetPlugIn(r)->ClassID(), source->GetPlugIn(r)->ClassID());
        EXPECT_EQ(target->PlugInId(r), source->PlugInId(r));
        for (int param : {TestPlugIn::kBirthValue, TestPlugIn::kDeathValue})
            EXPECT_EQ(BlockValue(PlugInOf(target, r), param),
                      BlockValue(PlugInOf(source, r), param));
    }
    ASSERT_NE(PlugInTestController(target, NimbraHelper::kShapeRole), nullptr);
    EXPECT_EQ(PlugInTestController(target, NimbraHelper::kShapeRole)->level, 7);
}

TEST_F(LibraryFileTest, OlderFileVersionsReadAlike) {
    const std::string path = SaveMadeUpHelper();
    const Bytes original = ReadBytes(path);
    for (std::uint16_t version : {0x0100, 0x0110}) {
        SCOPED_TRACE(version);
        Bytes b = original;
        PutLE16(b.data() + kLibraryVersionOffset, version);
        const std::string old = folder.Path("old.nbr");
        WriteBytes(old, b);
        NimbraHelper *target = NewHelperNode();
        Load(target, old);
        EXPECT_TRUE(ui.Messages().empty());
        for (const StoredAge &a : kStoredAge) EXPECT_EQ(AgeValue(target, a.param), a.value);
        EXPECT_EQ(target->ShapeId(), kTestSpriteShapeClassID.PartB());
        EXPECT_EQ(PlugInTestController(target, NimbraHelper::kShapeRole)->level, 7);
    }
}

TEST_F(LibraryFileTest, IntactSectionsReadInOrderWhateverTheOffsets) {
    // Offsets left at zero by their writer, or stale ones: neither is followed while the
    // blocks before a section read well.
    const std::string path = SaveMadeUpHelper();
    const Bytes original = ReadBytes(path);
    struct Stale {
        const char *what;
        std::uint32_t (*offset)(std::uint32_t saved, std::size_t fileSize);
    };
    for (const Stale &stale :
         {Stale{"zero", [](std::uint32_t, std::size_t) { return 0u; }},
          Stale{"8 bytes on", [](std::uint32_t saved, std::size_t) { return saved + 8; }},
          Stale{"at the end",
                [](std::uint32_t, std::size_t size) { return std::uint32_t(size); }}}) {
        SCOPED_TRACE(stale.what);
        Bytes b = original;
        for (int s = 0; s < 3; ++s)
            PutU32At(b, kOffsetsAt + 4 * s,
                     stale.offset(U32At(b, kOffsetsAt + 4 * s), b.size()));
        WriteBytes(path, b);
        NimbraHelper *target = NewHelperNode();
        ui.Clear();
        EXPECT_EQ(ReadLibraryFile(*target, path), PresetOutcome::Done);
        EXPECT_TRUE(ui.Messages().empty()) << ui.Messages()[0].text;
        ASSERT_NE(PlugInTestController(target, NimbraHelper::kShapeRole), nullptr);
        EXPECT_EQ(PlugInTestController(target, NimbraHelper::kShapeRole)->level, 7);
        ExpectColorAndCompositeLoaded(target);
    }
}

// ---------------------------------------------------------------------------------------------
// Refused and ignored files

TEST_F(LibraryFileTest, OtherVersionOrSignatureIsRefused) {
    const std::string path = SaveMadeUpHelper();
    const Bytes original = ReadBytes(path);

    Bytes newer = original;
    PutLE16(newer.data() + kLibraryVersionOffset, 0x0130);
    Bytes noTerminator = original;
    noTerminator[54] = 'X';  // "... rev 1.20X" instead of the zero byte
    Bytes damagedEntry = original;
    damagedEntry[kEntryAt + 146] = '#' + 1;  // the bottom marker
    for (const Bytes *bytes : {&newer, &noTerminator, &damagedEntry}) {
        const std::string bad = folder.Path("bad.nbr");
        WriteBytes(bad, *bytes);
        NimbraHelper *target = NewHelperNode();
        const HelperSnapshot before = Snapshot(target);
        ui.Clear();
        Load(target, bad);
        ASSERT_EQ(ui.Messages().size(), 1u);
        EXPECT_EQ(ui.Messages()[0].text,
                  "File was not created by this version of Nimbra, can not load.");
        EXPECT_EQ(ui.Messages()[0].title, "Error");
        EXPECT_EQ(ui.Messages()[0].flags, MB_OK | MB_ICONERROR);
        EXPECT_EQ(Snapshot(target), before);
    }
}

TEST_F(LibraryFileTest, TruncatedHeaderOrEntryIsIgnoredSilently) {
    const std::string path = SaveMadeUpHelper();
    const Bytes original = ReadBytes(path);
    for (std::size_t size :
         {std::size_t(0), std::size_t(54), std::size_t(259), kLibraryHeaderSize,
          kLibraryHeaderSize + 100, kLibraryHelperBlockOffset - 1}) {
        SCOPED_TRACE(size);
        const std::string cut = folder.Path("cut.nbr");
        WriteBytes(cut, Bytes(original.begin(), original.begin() + std::ptrdiff_t(size)));
        NimbraHelper *target = NewHelperNode();
        const HelperSnapshot before = Snapshot(target);
        ui.Clear();
        EXPECT_EQ(ReadLibraryFile(*target, cut), PresetOutcome::Failed);
        EXPECT_TRUE(ui.Messages().empty());
        EXPECT_EQ(Snapshot(target), before);
    }
}

TEST_F(LibraryFileTest, HelperBlockOutOfRangeChangesNothing) {
    const std::string path = SaveMadeUpHelper();
    const Bytes original = ReadBytes(path);
    const std::size_t record = kLibraryHelperBlockOffset + kLibraryVersionBlockSize;
    struct Damage {
        std::size_t field;
        std::uint32_t bits;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (const Damage &d : {Damage{6, 0},                                      // Every Nth 0
                            Damage{8, 256},                                    // material ID
                            Damage{9, 2},                                      // a switch
                            Damage{2, std::bit_cast<std::uint32_t>(nan)},      // size
                            Damage{4, std::bit_cast<std::uint32_t>(1.5f)}}) {  // transparency
        SCOPED_TRACE(d.field);
        Bytes b = original;
        PutU32At(b, record + 4 * d.field, d.bits);
        const std::string bad = folder.Path("bad.nbr");
        WriteBytes(bad, b);
        NimbraHelper *target = NewHelperNode();
        const HelperSnapshot before = Snapshot(target);
        ui.Clear();
        EXPECT_EQ(ReadLibraryFile(*target, bad), PresetOutcome::Failed);
        EXPECT_EQ(Texts(),
                  std::vector<std::string>{"Helper object failed loading from the library."});
        EXPECT_EQ(Snapshot(target), before);
    }
}

TEST_F(LibraryFileTest, HelperOutOfRangeSavesNoFileThatWouldNotLoad) {
    for (const StoredAge &a :
         {StoredAge{NimbraHelper::kBirthTrans, 1.5f}, StoredAge{NimbraHelper::kEveryNth, 0}}) {
        SCOPED_TRACE(a.param);
        NimbraHelper *helper = MadeUpHelper();
        SetAge(helper, a.param, a.value);  // as a damaged scene file could leave it
        ui.Clear();
        EXPECT_EQ(WriteLibraryFile(*helper, folder.Path("bad.nbr")), PresetOutcome::Failed);
        EXPECT_EQ(Texts(),
                  std::vector<std::string>{"Helper object failed saving to the library."});
        EXPECT_TRUE(folder.Entries().empty());
    }
}

TEST_F(LibraryFileTest, MissingOrFolderPathCannotBeOpened) {
    NimbraHelper *helper = NewHelperNode();
    const HelperSnapshot before = Snapshot(helper);
    for (const std::string &path : {folder.Path("none.nbr"), folder.Path("")}) {
        ui.Clear();
        EXPECT_EQ(ReadLibraryFile(*helper, path), PresetOutcome::Failed);
        EXPECT_EQ(Texts(), std::vector<std::string>{"Unable to open file \"" + path + "\"."});
    }
    EXPECT_EQ(Snapshot(helper), before);
}

TEST_F(LibraryFileTest, ReadOnlyFileLoads) {
    const std::string path = SaveMadeUpHelper();
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    NimbraHelper *target = NewHelperNode();
    EXPECT_EQ(ReadLibraryFile(*target, path), PresetOutcome::Done);
    EXPECT_EQ(target->ShapeId(), kTestSpriteShapeClassID.PartB());
}

// ---------------------------------------------------------------------------------------------
// Missing classes and failing blocks

TEST_F(LibraryFileTest, MissingPlugInClassIsSkippedAndTheRestLoads) {
    const std::string path = SaveMadeUpHelper();
    const Bytes original = ReadBytes(path);
    // Not registered at all, or registered but not creatable.
    for (ULONG missing : {ULONG(0x7E57FFFF), kTestBrokenShapeClassID.PartB()}) {
        SCOPED_TRACE(missing);
        Bytes b = original;
        PutU32At(b, kIdsAt, missing);
        WriteBytes(path, b);
        NimbraHelper *target = NewHelperNode();
        ui.Clear();
        EXPECT_EQ(ReadLibraryFile(*target, path), PresetOutcome::Partial);
        EXPECT_EQ(Texts(), std::vector<std::string>{kPlugInNotLocatedText});
        // The category's default stands in for the shape, with its own settings.
        EXPECT_EQ(target->ShapeId(), kCircleShapeClassID.PartB());
        EXPECT_EQ(
            BlockValue(PlugInOf(target, NimbraHelper::kShapeRole), TestPlugIn::kBirthValue),
            1.0f);
        // Everything after the shape's data is found through the offsets.
        ExpectColorAndCompositeLoaded(target);
        for (const StoredAge &a : kStoredAge) EXPECT_EQ(AgeValue(target, a.param), a.value);
    }
}

TEST_F(LibraryFileTest, PlugInIdOfAnotherCategoryStandsForAMissingClass) {
    const std::string path = SaveMadeUpHelper();
    Bytes b = ReadBytes(path);
    PutU32At(b, kIdsAt + 4, kTestSpriteShapeClassID.PartB());  // a shape's ID as the colour
    WriteBytes(path, b);
    NimbraHelper *target = NewHelperNode();
    EXPECT_EQ(ReadLibraryFile(*target, path), PresetOutcome::Partial);
    EXPECT_EQ(Texts(), std::vector<std::string>{kPlugInNotLocatedText});
    EXPECT_EQ(target->ShapeId(), kTestSpriteShapeClassID.PartB());
    EXPECT_EQ(target->ColorId(), kDefaultColorClassID.PartB());
    EXPECT_EQ(
        BlockValue(PlugInOf(target, NimbraHelper::kCompositeRole), TestPlugIn::kDeathValue),
        6.0f);
}

TEST_F(LibraryFileTest, MissingHelperControllerClassStopsTheLoad) {
    const std::string path = SaveMadeUpHelper();
    Bytes b = ReadBytes(path);
    // The size controller's block (the second) names a class that is not installed, or one
    // that makes no controller.
    const std::size_t second = kHelperBlockEnd + kDefaultControllerBlock;
    ASSERT_EQ(U32At(b, second + 12), kTestControllerClassID.PartB());
    for (Class_ID missing :
         {Class_ID(kControllerKey, 0x7E57FFFF), kTestControllerLikeClassID}) {
        PutU32At(b, second + 8, missing.PartA());
        PutU32At(b, second + 12, missing.PartB());
        WriteBytes(path, b);
        NimbraHelper *target = NewHelperNode();
        const HelperSnapshot before = Snapshot(target);
        ui.Clear();
        EXPECT_EQ(ReadLibraryFile(*target, path), PresetOutcome::Partial);
        const std::vector<MessageRequest> messages = ui.Messages();
        ASSERT_EQ(messages.size(), 2u);
        EXPECT_EQ(messages[0].title, "Warning");
        EXPECT_EQ(messages[0].text,
                  "Controller plug-in's DLL not found. Using default controller.");
        EXPECT_EQ(messages[1].title, "Error");
        EXPECT_NE(messages[1].text.find(path), std::string::npos);
        // The age values and the first controller are loaded; from the missing class on,
        // everything stays as it was.
        for (const StoredAge &a : kStoredAge) EXPECT_EQ(AgeValue(target, a.param), a.value);
        EXPECT_NE(target->GetHelperController(0), before.objects[3]);
        EXPECT_EQ(DefaultControllerOf(target, 0)->State().interpolation, kSmoothStep);
        for (int i = 1; i < 4; ++i)
            EXPECT_EQ(target->GetHelperController(i), before.objects[3 + i]);
        for (int role = 0; role < 3; ++role)
            EXPECT_EQ(target->GetPlugIn(static_cast<NimbraHelper::Role>(role)),
                      before.objects[role]);
    }
}

TEST_F(LibraryFileTest, MissingPlugInControllerClassAbandonsItsSection) {
    const std::string path = SaveMadeUpHelper();
    Bytes b = ReadBytes(path);
    const std::size_t shapeController = U32At(b, kOffsetsAt) + kTestPlugInRecord;
    ASSERT_EQ(U32At(b, shapeController + 12), kTestControllerClassID.PartB());
    PutU32At(b, shapeController + 12, 0x7E57FFFF);
    WriteBytes(path, b);
    NimbraHelper *target = NewHelperNode();
    EXPECT_EQ(ReadLibraryFile(*target, path), PresetOutcome::Partial);
    EXPECT_EQ(Texts(), std::vector<std::string>{kControllerMissingText});
    // The shape's own data loaded; its controller is the one it was made with.
    EXPECT_EQ(BlockValue(PlugInOf(target, NimbraHelper::kShapeRole), TestPlugIn::kBirthValue),
              11.0f);
    EXPECT_EQ(PlugInTestController(target, NimbraHelper::kShapeRole), nullptr);
    ExpectColorAndCompositeLoaded(target);
}

TEST_F(LibraryFileTest, MissingClassWithoutOffsetsStopsWithAMessage) {
    const std::string path = SaveMadeUpHelper();
    Bytes b = ReadBytes(path);
    PutU32At(b, kIdsAt, 0x7E57FFFF);
    for (int s = 0; s < 3; ++s) PutU32At(b, kOffsetsAt + 4 * s, 0);
    WriteBytes(path, b);
    NimbraHelper *target = NewHelperNode();
    const HelperSnapshot before = Snapshot(target);
    EXPECT_EQ(ReadLibraryFile(*target, path), PresetOutcome::Partial);
    ASSERT_EQ(ui.Messages().size(), 2u);
    EXPECT_EQ(ui.Messages()[0].text, kPlugInNotLocatedText);
    EXPECT_NE(ui.Messages()[1].text.find("stopped"), std::string::npos);
    EXPECT_EQ(target->GetPlugIn(NimbraHelper::kColorRole), before.objects[1]);
    EXPECT_EQ(target->GetPlugIn(NimbraHelper::kCompositeRole), before.objects[2]);
}

TEST_F(LibraryFileTest, FailingPlugInLoadGoesOnAtTheNextSection) {
    const std::string path = SaveMadeUpHelper();
    TestPlugIn::refuseLibraryLoad = kTestSpriteShapeClassID;
    NimbraHelper *target = NewHelperNode();
    EXPECT_EQ(ReadLibraryFile(*target, path), PresetOutcome::Partial);
    EXPECT_EQ(Texts(),
              std::vector<std::string>{"Particle shape failed loading from the library."});
    EXPECT_EQ(target->ShapeId(), kTestSpriteShapeClassID.PartB());
    ExpectColorAndCompositeLoaded(target);
}

TEST_F(LibraryFileTest, FailingControllerKeepsTheOldOne) {
    const std::string path = SaveMadeUpHelper();
    Bytes b = ReadBytes(path);
    const std::size_t second = kHelperBlockEnd + kDefaultControllerBlock;
    PutU32At(b, second + kLibraryControllerHeaderSize + kLibraryVersionBlockSize, 0xFFFFFFFF);
    WriteBytes(path, b);  // the size controller's level is now -1, which it refuses
    NimbraHelper *target = NewHelperNode();
    const HelperSnapshot before = Snapshot(target);
    EXPECT_EQ(ReadLibraryFile(*target, path), PresetOutcome::Partial);
    EXPECT_EQ(Texts(), std::vector<std::string>{
                           "Helper object controller failed loading from the library."});
    EXPECT_EQ(target->GetHelperController(1), before.objects[4]);
    EXPECT_EQ(target->GetHelperController(1)->ClassID(), kDefaultControllerClassID);
    EXPECT_EQ(target->GetPlugIn(NimbraHelper::kShapeRole), before.objects[0]);
}

TEST_F(LibraryFileTest, TruncatedBlocksAreToldAndStop) {
    const std::string path = SaveMadeUpHelper();
    const Bytes original = ReadBytes(path);
    struct Cut {
        std::size_t size;
        const char *firstText;
    };
    for (const Cut &cut : {Cut{kHelperBlockEnd - 1, kHelperLoadFailedText},
                           Cut{kHelperBlockEnd + 4, kControllerVersionReadText},
                           Cut{kHelperBlockEnd + 12, kControllerInfoReadText},
                           Cut{kHelperBlockEnd + 20, kHelperControllerLoadFailedText}}) {
        SCOPED_TRACE(cut.size);
        WriteBytes(path, Bytes(original.begin(), original.begin() + std::ptrdiff_t(cut.size)));
        NimbraHelper *target = NewHelperNode();
        ui.Clear();
        EXPECT_NE(ReadLibraryFile(*target, path), PresetOutcome::Done);
        ASSERT_FALSE(ui.Messages().empty());
        EXPECT_EQ(ui.Messages()[0].text, cut.firstText);
    }
}

// ---------------------------------------------------------------------------------------------
// Failed saves

TEST_F(LibraryFileTest, PlugInThatFailsToSaveIsLeftOut) {
    NimbraHelper *source = MadeUpHelper();
    TestPlugIn::refuseLibrarySave = kTestFlatColorClassID;
    const std::string path = folder.Path("fire.nbr");
    EXPECT_EQ(WriteLibraryFile(*source, path), PresetOutcome::Partial);
    EXPECT_EQ(Texts(),
              std::vector<std::string>{"Particle color failed saving to the library."});
    const Bytes b = ReadBytes(path);
    EXPECT_EQ(U32At(b, kIncludeAt + 4), 0u);
    EXPECT_EQ(U32At(b, kOffsetsAt + 4), 0u);
    EXPECT_EQ(U32At(b, kIdsAt + 4), kTestFlatColorClassID.PartB());
    EXPECT_EQ(U32At(b, kOffsetsAt + 8),
              U32At(b, kOffsetsAt) + kTestPlugInRecord + kTestControllerBlock);

    // The file stays readable: the shape and composite come back, the colour stays.
    ui.Clear();
    NimbraHelper *target = NewHelperNode();
    const HelperSnapshot before = Snapshot(target);
    EXPECT_EQ(ReadLibraryFile(*target, path), PresetOutcome::Done);
    EXPECT_TRUE(ui.Messages().empty());
    EXPECT_EQ(target->GetPlugIn(NimbraHelper::kColorRole), before.objects[1]);
    EXPECT_EQ(target->ShapeId(), kTestSpriteShapeClassID.PartB());
    EXPECT_EQ(
        BlockValue(PlugInOf(target, NimbraHelper::kCompositeRole), TestPlugIn::kDeathValue),
        6.0f);
}

TEST_F(LibraryFileTest, FailedSaveKeepsTheEarlierFile) {
    NimbraHelper *good = MadeUpHelper("Good");
    const std::string path = folder.Path("fire.nbr");
    Save(good, path);
    const Bytes earlier = ReadBytes(path);

    NimbraHelper *broken = NewHelperNode();
    broken->DeleteReference(NimbraHelper::kRefShadowSizeController);
    ui.Clear();
    EXPECT_EQ(WriteLibraryFile(*broken, path), PresetOutcome::Failed);
    EXPECT_EQ(Texts(), std::vector<std::string>{
                           "Helper object controller failed saving to the library."});
    EXPECT_EQ(ReadBytes(path), earlier);
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"fire.nbr"}) << "no scratch file left";
}

TEST_F(LibraryFileTest, UnwritableTargetsAreRefused) {
    NimbraHelper *helper = NewHelperNode();
    const std::string dir = folder.Path("sub");
    fs::create_directories(dir);
    EXPECT_EQ(WriteLibraryFile(*helper, dir), PresetOutcome::Failed);
    EXPECT_EQ(Texts(),
              std::vector<std::string>{"Unable to open/create the file \"" + dir + "\""});

    const std::string nowhere = folder.Path("missing/fire.nbr");
    ui.Clear();
    EXPECT_EQ(WriteLibraryFile(*helper, nowhere), PresetOutcome::Failed);
    EXPECT_EQ(Texts(),
              std::vector<std::string>{"Unable to open/create the file \"" + nowhere + "\""});

    if (::geteuid() == 0) GTEST_SKIP() << "root writes read-only files";
    const std::string readOnly = folder.Path("kept.nbr");
    WriteBytes(readOnly, Bytes{1, 2, 3});
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
    ui.Clear();
    EXPECT_EQ(WriteLibraryFile(*helper, readOnly), PresetOutcome::Failed);
    EXPECT_EQ(ReadBytes(readOnly), (Bytes{1, 2, 3}));
}

// ---------------------------------------------------------------------------------------------
// The file choice

TEST_F(LibraryFileTest, FileChoiceOffersTheLastPathAndAddsTheExtension) {
    NimbraHelper *helper = MadeUpHelper();
    const std::string stem = folder.Path("campfire");
    Save(helper, stem);
    EXPECT_TRUE(fs::exists(stem + ".nbr"));
    EXPECT_FALSE(fs::exists(stem));
    EXPECT_EQ(LibraryDlg::LastPath(), stem + ".nbr");

    NimbraHelper *target = NewHelperNode();
    Load(target, stem);  // the open choice adds the extension too
    EXPECT_EQ(target->ShapeId(), kTestSpriteShapeClassID.PartB());

    const std::vector<FileChoiceRequest> choices = ui.FileChoices();
    ASSERT_EQ(choices.size(), 2u);
    EXPECT_TRUE(choices[0].save);
    EXPECT_FALSE(choices[1].save);
    EXPECT_EQ(choices[0].initialPath, "nimbra.sav");
    EXPECT_EQ(choices[1].initialPath, stem + ".nbr");
    for (const FileChoiceRequest &c : choices) {
        EXPECT_EQ(c.defaultExtension, "nbr");
        ASSERT_EQ(c.filters.size(), 2u);
        EXPECT_EQ(c.filters[0].second, "*.nbr");
        EXPECT_EQ(c.filters[1].second, "*.*");
    }
}

TEST_F(LibraryFileTest, CancelledChoiceDoesNothing) {
    NimbraHelper *helper = NewHelperNode();
    const HelperSnapshot before = Snapshot(helper);
    LibraryDlg::Save(helper);  // no answer scripted: cancelled
    EXPECT_EQ(LibraryDlg::Load(helper), 1);
    EXPECT_EQ(ui.FileChoices().size(), 2u);
    EXPECT_TRUE(ui.Messages().empty());
    EXPECT_TRUE(folder.Entries().empty());
    EXPECT_EQ(LibraryDlg::LastPath(), "nimbra.sav");
    EXPECT_EQ(Snapshot(helper), before);
    EXPECT_EQ(GetPresetFile(helper)->LoadPreset(), PresetOutcome::Cancelled);
}

TEST_F(LibraryFileTest, HelperOffersItsLibraryFilesAsPresets) {
    NimbraHelper *source = MadeUpHelper();
    IPresetFile *presets = GetPresetFile(source);
    ASSERT_NE(presets, nullptr);
    EXPECT_STREQ(presets->PresetExtension(), "nbr");
    const std::string path = folder.Path("fire.nbr");
    ui.ScriptFileChoice(path);
    EXPECT_EQ(presets->SavePreset(), PresetOutcome::Done);
    NimbraHelper *target = NewHelperNode();
    ui.ScriptFileChoice(path);
    EXPECT_EQ(GetPresetFile(target)->LoadPreset(), PresetOutcome::Done);
    EXPECT_EQ(target->ColorId(), kTestFlatColorClassID.PartB());
}

}  // namespace
}  // namespace setuptest
