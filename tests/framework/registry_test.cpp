/// @file registry_test.cpp
/// @brief The registration file and the registry table: record layout, registering once,
///        partial and damaged files, duplicate plug-in IDs, unusable files.
#include "framework_fixture.h"

#include "host/little_endian.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace frameworktest;

namespace {

/// The string field at `at` and a check that every byte behind its terminator is zero.
std::string StringAt(const std::vector<std::uint8_t> &b, std::size_t at) {
    const char *field = reinterpret_cast<const char *>(b.data() + at);
    const std::size_t n = strnlen(field, kRegistryStringField);
    EXPECT_LT(n, kRegistryStringField) << "field at " << at << " has no terminator";
    for (std::size_t i = n; i < kRegistryStringField; ++i)
        EXPECT_EQ(b[at + i], 0) << "byte " << at + i << " behind the string is not zero";
    return std::string(field, n);
}

const RegistrationTexts kTexts{"Jane Author", "(c) Notice"};

class Registry : public ConfigDirTest {};

}  // namespace

TEST_F(Registry, RecordsAreByteExact) {
    FixedClassDesc<> desc("Fire Ball", REF_MAKER_CLASS_ID,
                          Class_ID(kParticleShapeKey, 0x12345678), "Nimbra Particle Shape");
    Register(&desc, kTexts);

    const std::vector<std::uint8_t> b = ReadBytes(RegistryFile());
    ASSERT_EQ(b.size(), kRegistryRecordSize);
    ByteReader fields(b);
    EXPECT_EQ(fields.U32(), 256u);
    EXPECT_EQ(fields.U32(), 0x100u);
    EXPECT_EQ(fields.U32(), kParticleShapeKey);
    EXPECT_EQ(fields.U32(), 0x12345678u);
    // Little-endian, byte by byte.
    EXPECT_EQ(b[8], 0xDD);
    EXPECT_EQ(b[11], 0x36);
    EXPECT_EQ(StringAt(b, 16), "Fire Ball");
    EXPECT_EQ(StringAt(b, 271), "Nimbra Particle Shape");
    EXPECT_EQ(StringAt(b, 526), "Jane Author");
    EXPECT_EQ(StringAt(b, 781), "(c) Notice");
}

TEST_F(Registry, LongStringsAreCutToFitWithTheirTerminator) {
    const std::string longName(400, 'n');
    FixedClassDesc<> desc(longName, REF_MAKER_CLASS_ID, Class_ID(kColorShaderKey, 1), "");
    Register(&desc, kTexts);
    const std::vector<std::uint8_t> b = ReadBytes(RegistryFile());
    ASSERT_EQ(b.size(), kRegistryRecordSize);
    EXPECT_EQ(StringAt(b, 16), longName.substr(0, 254));
    EXPECT_EQ(StringAt(b, 271), "");

    // A field that another writer left without a terminator is read up to 254 characters.
    RegistryRecordBytes bytes = EncodeRecord(MakeRecord(kCompositeKey, 2, "x"));
    std::memset(bytes.data() + 16, 'y', kRegistryStringField);
    EXPECT_EQ(DecodeRecord(bytes).className, std::string(254, 'y'));
}

TEST_F(Registry, EncodedRecordsDecodeToThemselves) {
    const PlugInRecord in =
        MakeRecord(kControllerKey, 0xFFFFFFFF, "Default", "Nimbra Controller");
    const PlugInRecord out = DecodeRecord(EncodeRecord(in));
    EXPECT_EQ(out.tag, in.tag);
    EXPECT_TRUE(out.SameClass(in));
    EXPECT_EQ(out.className, in.className);
    EXPECT_EQ(out.description, in.description);
    EXPECT_EQ(out.author, in.author);
    EXPECT_EQ(out.notice, in.notice);
}

TEST_F(Registry, RegisteringAgainKeepsOneRecordPerClass) {
    FixedClassDesc<> shape("Shape", REF_MAKER_CLASS_ID, Class_ID(kParticleShapeKey, 7), "S");
    FixedClassDesc<> color("Color", REF_MAKER_CLASS_ID, Class_ID(kColorShaderKey, 8), "C");
    // Same class ID, another super class: another class.
    FixedClassDesc<> gizmo("Gizmo", HELPER_CLASS_ID, Class_ID(kParticleShapeKey, 7), "G");
    for (int pass = 0; pass < 3; ++pass) {
        Register(&shape, kTexts);
        Register(&color, kTexts);
    }
    Register(&gizmo, kTexts);
    Register(nullptr, kTexts);  // a class slot the module left empty

    const std::vector<PlugInRecord> records = RecordsIn(RegistryFile());
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].className, "Shape");
    EXPECT_EQ(records[1].className, "Color");
    EXPECT_EQ(records[2].className, "Gizmo");
    EXPECT_EQ(records[2].superClassId, HELPER_CLASS_ID);
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(Registry, PartialTrailingRecordIsIgnored) {
    std::vector<std::uint8_t> bytes = FileOf(
        {MakeRecord(kParticleShapeKey, 1, "One"), MakeRecord(kColorShaderKey, 2, "Two")});
    const std::vector<std::uint8_t> third = FileOf({MakeRecord(kCompositeKey, 3, "Three")});
    bytes.insert(bytes.end(), third.begin(), third.begin() + 500);
    WriteBytes(RegistryFile(), bytes);

    PlugInRegistry registry;
    registry.Load();
    ASSERT_EQ(registry.Count(), 2);
    EXPECT_EQ(registry.Get(0)->className, "One");
    EXPECT_EQ(registry.Get(1)->className, "Two");
    EXPECT_EQ(registry.Get(2), nullptr);
    EXPECT_EQ(registry.Get(-1), nullptr);
    EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(Registry, RegisteringAfterAPartialRecordStartsOnARecordBoundary) {
    std::vector<std::uint8_t> bytes = FileOf({MakeRecord(kParticleShapeKey, 1, "One")});
    bytes.resize(bytes.size() + 300, 0xAB);  // a write that was cut short
    WriteBytes(RegistryFile(), bytes);

    FixedClassDesc<> desc("Late", REF_MAKER_CLASS_ID, Class_ID(kCompositeKey, 9), "L");
    Register(&desc, kTexts);
    EXPECT_EQ(fs::file_size(RegistryFile()), 2 * kRegistryRecordSize);
    PlugInRegistry registry;
    registry.Load();
    ASSERT_EQ(registry.Count(), 2);
    EXPECT_EQ(registry.Get(1)->className, "Late");
    EXPECT_EQ(registry.Get(1)->pluginId, 9u);
}

TEST_F(Registry, SamePluginIdUnderTwoCategoriesKeepsTheFirstAndWarns) {
    WriteRegistry({MakeRecord(kParticleShapeKey, 0x77, "First"),
                   MakeRecord(kColorShaderKey, 0x77, "Second"),
                   MakeRecord(kCompositeKey, 0x78, "Other")});
    PlugInRegistry registry;
    registry.Load();

    ASSERT_EQ(registry.Count(), 2);
    EXPECT_EQ(registry.FindById(0x77)->className, "First");
    EXPECT_EQ(registry.FindById(0x77)->categoryKey, kParticleShapeKey);
    EXPECT_EQ(registry.FindById(0x78)->className, "Other");
    const std::vector<MessageRequest> messages = ui.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, "Nimbra");
    EXPECT_EQ(
        messages[0].text,
        "Class <Nimbra:Second> has duplicate class ID: not loading.\nThis may be due to a "
        "duplicate plug-in path.\n\nContinue showing this warning for other duplicates?");
    EXPECT_EQ(messages[0].flags & 0xF, MB_YESNO);
    EXPECT_EQ(messages[0].owner, GetCOREInterface()->GetMainHWnd());
}

TEST_F(Registry, AnsweringNoSilencesWarningsForThatLoadOnly) {
    WriteRegistry({MakeRecord(kParticleShapeKey, 1, "A"), MakeRecord(kColorShaderKey, 1, "B"),
                   MakeRecord(kCompositeKey, 1, "C"), MakeRecord(kControllerKey, 1, "D")});
    PlugInRegistry registry;
    ui.ScriptMessageAnswer(IDNO);
    registry.Load();
    EXPECT_EQ(registry.Count(), 1);
    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_NE(ui.Messages()[0].text.find("<Nimbra:B>"), std::string::npos);

    // The next load warns again; answered Yes (the default), every duplicate is reported.
    ui.Clear();
    registry.Reload();
    EXPECT_EQ(registry.Count(), 1);
    ASSERT_EQ(ui.Messages().size(), 3u);
    EXPECT_NE(ui.Messages()[2].text.find("<Nimbra:D>"), std::string::npos);
}

TEST_F(Registry, LoadAppendsAndRecordsAlreadyInTheTableCountAsDuplicates) {
    WriteRegistry({MakeRecord(kParticleShapeKey, 1, "A")});
    PlugInRegistry registry;
    registry.Load();
    const PlugInRecord *first = registry.Get(0);
    std::vector<PlugInRecord> more = {MakeRecord(kParticleShapeKey, 1, "A")};
    for (ULONG id = 2; id < 100; ++id) more.push_back(MakeRecord(kColorShaderKey, id, "B"));
    WriteRegistry(more);
    ui.ScriptMessageAnswer(IDNO);
    registry.Load();
    ASSERT_EQ(registry.Count(), 99);
    EXPECT_EQ(registry.Get(1)->className, "B");
    EXPECT_EQ(first->className, "A") << "records stay where they are while the table grows";
    EXPECT_EQ(ui.Messages().size(), 1u);
}

TEST_F(Registry, UnknownPluginIdIsNotAvailable) {
    WriteRegistry({MakeRecord(kParticleShapeKey, 1, "A")});
    PlugInRegistry registry;
    registry.Load();
    EXPECT_NE(registry.FindById(1), nullptr);
    EXPECT_EQ(registry.FindById(2), nullptr);
    EXPECT_EQ(PlugInRegistry().FindById(1), nullptr);  // an empty table
}

TEST_F(Registry, MissingFileIsReportedUnlessQuiet) {
    PlugInRegistry registry;
    registry.Load(PlugInRegistry::MissingFile::kQuiet);
    EXPECT_TRUE(ui.Messages().empty());
    registry.Load();
    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(ui.Messages()[0].title, "Nimbra");
    EXPECT_EQ(ui.Messages()[0].text,
              "Error: Unable to open plugin registry!\n\n" + RegistryFile().string());
    EXPECT_EQ(ui.Messages()[0].owner, nullptr);
}

TEST_F(Registry, UnreadableFileIsReportedByPathAndKeepsTheTable) {
    WriteRegistry({MakeRecord(kParticleShapeKey, 1, "A")});
    PlugInRegistry registry;
    registry.Load();
    fs::remove(RegistryFile());
    BlockRegistryFile();

    registry.Load(PlugInRegistry::MissingFile::kQuiet);  // unreadable is not missing
    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(ui.Messages()[0].text,
              "Error: Unable to open plugin registry!\n\n" + RegistryFile().string());
    ASSERT_EQ(registry.Count(), 1);
    EXPECT_EQ(registry.Get(0)->className, "A");
}

TEST_F(Registry, UnwritableFileIsReportedByPathAndClassName) {
    BlockRegistryFile();
    FixedClassDesc<> desc("Blocked", REF_MAKER_CLASS_ID, Class_ID(kCompositeKey, 5), "B");
    Register(&desc, kTexts);
    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_EQ(ui.Messages()[0].title, "Nimbra PlugIn");
    EXPECT_EQ(ui.Messages()[0].text, "Unable to open registeration file:\n\n" +
                                         RegistryFile().string() + "\n\nPlugIn:Blocked");
    EXPECT_EQ(ui.Messages()[0].owner, nullptr);
}

TEST_F(Registry, DamagedRecordsAreSkippedAndReported) {
    PlugInRecord damaged = MakeRecord(kColorShaderKey, 2, "Damaged");
    damaged.tag = 0x4F4F;
    WriteRegistry(
        {MakeRecord(kParticleShapeKey, 1, "A"), damaged, MakeRecord(kCompositeKey, 3, "C")});
    PlugInRegistry registry;
    registry.Load();
    ASSERT_EQ(registry.Count(), 2);
    EXPECT_EQ(registry.FindById(2), nullptr);
    ASSERT_EQ(ui.Messages().size(), 1u);
    EXPECT_NE(ui.Messages()[0].text.find(RegistryFile().string()), std::string::npos);

    // Registering that class again writes a good record rather than trusting the damaged one.
    FixedClassDesc<> desc("Damaged", REF_MAKER_CLASS_ID, Class_ID(kColorShaderKey, 2), "D");
    Register(&desc, kTexts);
    EXPECT_EQ(RecordsIn(RegistryFile()).size(), 4u);
}

TEST_F(Registry, DescribeListsTheRecordsByCategory) {
    WriteRegistry({MakeRecord(kCompositeKey, 3, "Blend", "Composites"),
                   MakeRecord(kParticleShapeKey, 1, "Fire", "Shapes"),
                   MakeRecord(0x11111111, 9, "Stray"),
                   MakeRecord(kParticleShapeKey, 2, "Smoke"),
                   MakeRecord(kControllerKey, 4, "Default", "Controllers")});
    PlugInRegistry registry;
    registry.Load();
    const std::string text = registry.Describe();
    const auto at = [&](const std::string &part) {
        const auto pos = text.find(part);
        EXPECT_NE(pos, std::string::npos) << part << " missing from\n" << text;
        return pos;
    };
    EXPECT_LT(at(RegistryFile().string() + ": 5 records"), at("Particle shapes (0x364A42DD):"));
    EXPECT_LT(at("Particle shapes"), at("Fire "));
    EXPECT_LT(at("Fire "), at("Smoke "));
    EXPECT_LT(at("Smoke "), at("Composites (0x7BD26B7E):"));
    EXPECT_LT(at("Composites (0x7BD26B7E):"), at("Blend "));
    EXPECT_LT(at("Blend "), at("Controllers (0x3D6F512D):"));
    EXPECT_LT(at("Controllers (0x3D6F512D):"), at("Other category (0x11111111):"));
    EXPECT_NE(text.find("0x00000001  Shapes"), std::string::npos) << text;
    EXPECT_EQ(text.find("Color shaders"), std::string::npos) << "empty categories are left out";
}
