/// @file standard_fixture.cpp
/// @brief The module environment, controller and owner fixtures, and the scratch library file.
#include "standard_fixture.h"

#include "host/little_endian.h"

namespace standardtest {

namespace {

class OwnerDesc : public ClassDesc {
public:
    int IsPublic() override { return FALSE; }
    void *Create(BOOL loading) override {
        return static_cast<Animatable *>(new ControllerOwner(loading != FALSE));
    }
    const TCHAR *ClassName() override { return "ControllerOwner"; }
    SClass_ID SuperClassID() override { return HELPER_CLASS_ID; }
    Class_ID ClassID() override { return ControllerOwner::kClassID; }
    const TCHAR *Category() override { return "Tests"; }
};
OwnerDesc ownerDesc;

class PlugInOwnerDesc : public ClassDesc {
public:
    int IsPublic() override { return FALSE; }
    void *Create(BOOL) override { return static_cast<Animatable *>(new PlugInOwner); }
    const TCHAR *ClassName() override { return "PlugInOwner"; }
    SClass_ID SuperClassID() override { return HELPER_CLASS_ID; }
    Class_ID ClassID() override { return PlugInOwner::kClassID; }
    const TCHAR *Category() override { return "Tests"; }
};
PlugInOwnerDesc plugInOwnerDesc;
constexpr char kTestClasses[] = "standard-tests";

// The folder holds exactly `nimbra.so` and `standard.so` (links to the built modules).
StandardModules *const environment =
    static_cast<StandardModules *>(::testing::AddGlobalTestEnvironment(new StandardModules));

}  // namespace

const ModuleLoader &StandardModules::Loader() {
    return environment->LoadedModules();
}
const fs::path &StandardModules::ConfigDir() {
    return environment->ConfigFolder();
}

DefaultController *NewController() {
    auto *object = static_cast<Animatable *>(
        CreateInstance(REF_MAKER_CLASS_ID, kDefaultControllerClassID));
    auto *controller = dynamic_cast<DefaultController *>(object);
    if (object && !controller) object->DeleteThis();
    return controller;
}

void ControllerTest::SetUp() {
    c = NewController();
    ASSERT_NE(c, nullptr);
}

void ControllerTest::TearDown() {
    if (c) c->DeleteThis();
}

// LibraryFile ---------------------------------------------------------------------------------

LibraryFile::LibraryFile() : file_(std::tmpfile()), previous_(io()->file) {
    io()->file = file_;
}

LibraryFile::~LibraryFile() {
    io()->file = previous_;
    if (file_) std::fclose(file_);
}

void LibraryFile::Rewind() {
    std::rewind(file_);
}

std::vector<std::uint8_t> LibraryFile::Bytes() {
    std::fflush(file_);
    const long at = std::ftell(file_);
    std::rewind(file_);
    std::vector<std::uint8_t> bytes;
    int ch;
    while ((ch = std::fgetc(file_)) != EOF) bytes.push_back(static_cast<std::uint8_t>(ch));
    std::fseek(file_, at, SEEK_SET);
    return bytes;
}

void LibraryFile::Replace(const std::vector<std::uint8_t> &bytes) {
    std::fflush(file_);
    EXPECT_EQ(ftruncate(fileno(file_), 0), 0);
    std::rewind(file_);
    if (!bytes.empty()) {
        EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file_), bytes.size());
    }
    std::rewind(file_);
}

// ControllerOwner -----------------------------------------------------------------------------

ControllerOwner::ControllerOwner(bool loading) {
    if (!loading) MakeRefByID(FOREVER, 0, NewController());
}

ReferenceTarget *ControllerOwner::Clone(RemapDir &remap) {
    auto *copy = new ControllerOwner(true);
    copy->ReplaceReference(0, remap.CloneRef(controller));
    return copy;
}

void OwnerTest::SetUp() {
    ClassDirectory::Instance().Add(&ownerDesc, kTestClasses);
    ClassDirectory::Instance().Add(&plugInOwnerDesc, kTestClasses);
    GetCOREInterface()->ResetScene();
}

void OwnerTest::TearDown() {
    GetCOREInterface()->ResetScene();
    ClassDirectory::Instance().RemoveModule(kTestClasses);
}

// Byte fields ---------------------------------------------------------------------------------

namespace {

/// The field `read` takes from `bytes` at `at`; a field past the end fails the test.
template <typename T>
T FieldAt(const std::vector<std::uint8_t> &bytes, std::size_t at, T (ByteReader::*read)()) {
    ByteReader field(bytes, at);
    const T v = (field.*read)();
    EXPECT_TRUE(field.Ok()) << "no " << sizeof(T) << "-byte field at " << at << " of "
                            << bytes.size() << " bytes";
    return v;
}

}  // namespace

std::int32_t IntAt(const std::vector<std::uint8_t> &bytes, std::size_t at) {
    return FieldAt(bytes, at, &ByteReader::I32);
}

float FloatAt(const std::vector<std::uint8_t> &bytes, std::size_t at) {
    return FieldAt(bytes, at, &ByteReader::F32);
}

std::uint16_t U16At(const std::vector<std::uint8_t> &bytes, std::size_t at) {
    return FieldAt(bytes, at, &ByteReader::U16);
}

}  // namespace standardtest
