/// @file registry_fuzz.cpp
/// @brief libFuzzer target: arbitrary bytes as the registration file `nimbra.reg`, read into a
///        registry table and then appended to by registering a class. Whatever the bytes,
///        neither crashes, leaks nor runs into undefined behaviour. The table holds only whole
///        records of the current tag, one per plug-in ID, no more than the file has room for.
///        A record decoded, encoded and decoded again is the same record. Registering keeps
///        every whole record of the file as it was and leaves the file holding the class's
///        record. Build and run: fuzz/README.md.
#include "fuzz_support.h"

#include "framework/plugin_registry.h"
#include "setup/helper.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

bool Same(const PlugInRecord &a, const PlugInRecord &b) {
    return a.tag == b.tag && a.SameClass(b) && a.className == b.className &&
           a.description == b.description && a.author == b.author && a.notice == b.notice;
}

/// Stops the run unless `registry` holds at most `records` records, each of the current tag
/// and a plug-in ID of its own, and each the same after encoding and decoding.
void CheckTable(const PlugInRegistry &registry, std::size_t records) {
    if (static_cast<std::size_t>(registry.Count()) > records) __builtin_trap();
    for (int i = 0; i < registry.Count(); ++i) {
        const PlugInRecord *r = registry.Get(i);
        if (!r || r->tag != kRegistryRecordTag || registry.FindById(r->pluginId) != r ||
            !Same(DecodeRecord(EncodeRecord(*r)), *r))
            __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static fuzz::Workspace workspace("registry_fuzz");
    const std::string path = RegistryPath();
    fuzz::WriteAll(path, data, size);

    PlugInRegistry registry;
    registry.Load();
    CheckTable(registry, size / kRegistryRecordSize);
    (void)registry.Describe();

    // Registering: the whole records stay, a partial record at the end goes, and the file
    // then holds the class's record.
    ClassDesc *desc = GetNimbraHelperDesc();
    Register(desc, {"fuzz author", "fuzz notice"});
    const std::vector<char> after = fuzz::ReadAll(path);
    const std::size_t whole = size - size % kRegistryRecordSize;
    if (after.size() % kRegistryRecordSize != 0 || after.size() < whole ||
        after.size() > whole + kRegistryRecordSize ||
        (whole > 0 && std::memcmp(after.data(), data, whole) != 0))
        __builtin_trap();

    registry.Reload();
    CheckTable(registry, after.size() / kRegistryRecordSize);
    PlugInRecord wanted;
    wanted.superClassId = desc->SuperClassID();
    wanted.categoryKey = desc->ClassID().PartA();
    wanted.pluginId = desc->ClassID().PartB();
    bool found = false;
    for (std::size_t at = 0; at < after.size(); at += kRegistryRecordSize) {
        RegistryRecordBytes bytes;
        std::memcpy(bytes.data(), after.data() + at, bytes.size());
        const PlugInRecord r = DecodeRecord(bytes);
        found = found || (r.tag == kRegistryRecordTag && r.SameClass(wanted));
    }
    if (!found) __builtin_trap();
    return 0;
}
