/// @file library_load_fuzz.cpp
/// @brief libFuzzer target: arbitrary bytes read as an effect library file into a new helper
///        that holds the real standard plug-ins. Whatever the bytes, reading neither crashes,
///        leaks nor runs into undefined behaviour, and the helper stays whole: three plug-ins
///        whose IDs it records, four controllers, and no file left with the interface object.
///        What it loaded then saves, loads into another helper and saves again to the same
///        bytes: nothing accepted from a file is lost or changed on its way through the next
///        file. Build and run: docs/library-files.md.
#include "fuzz_support.h"

#include "framework/nimbra_interface.h"
#include "framework/plugin_interface.h"
#include "setup/helper.h"
#include "setup/library_dlg.h"
#include "host/interface.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

/// Stops the run when the helper was left with a part missing or mislabelled.
void CheckWhole(NimbraHelper &helper) {
    for (int role = 0; role < NimbraHelper::kRoles; ++role) {
        const auto r = static_cast<NimbraHelper::Role>(role);
        NimbraPlugIn *plugIn = helper.GetPlugIn(r);
        if (!plugIn || helper.PlugInId(r) != plugIn->ClassID().PartB()) __builtin_trap();
    }
    for (int i = 0; i < helper.ControllerCount(); ++i)
        if (!helper.GetHelperController(i)) __builtin_trap();
    if (GetNimbraInterface()->file) __builtin_trap();
}

/// A new helper made through the host, as the create panel makes one.
NimbraHelper *NewHelper() {
    auto *helper = dynamic_cast<NimbraHelper *>(
        static_cast<Animatable *>(CreateInstance(HELPER_CLASS_ID, kNimbraHelperClassID)));
    if (!helper) std::abort();
    return helper;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static fuzz::Modules modules("library_fuzz");
    NimbraHelper *helper = NewHelper();

    // An in-memory file (fmemopen refuses an empty buffer: one spare byte, not read).
    std::vector<std::uint8_t> bytes(data, data + size);
    bytes.push_back(0);
    std::FILE *file = ::fmemopen(bytes.data(), size == 0 ? 1 : size, "rb");
    if (!file) std::abort();
    if (size == 0) std::fgetc(file);  // at its end: an empty file
    ReadLibraryStream(*helper, file, "fuzz.nbr");
    std::fclose(file);
    CheckWhole(*helper);

    // Through two more files: every save and load complete, the second save as the first.
    const std::string first = modules.Scratch("first.nbr"),
                      second = modules.Scratch("second.nbr");
    if (WriteLibraryFile(*helper, first) != PresetOutcome::Done) __builtin_trap();
    NimbraHelper *copy = NewHelper();
    if (ReadLibraryFile(*copy, first) != PresetOutcome::Done) __builtin_trap();
    if (WriteLibraryFile(*copy, second) != PresetOutcome::Done) __builtin_trap();
    if (fuzz::ReadAll(first) != fuzz::ReadAll(second)) __builtin_trap();

    copy->DeleteThis();
    helper->DeleteThis();
    return 0;
}
