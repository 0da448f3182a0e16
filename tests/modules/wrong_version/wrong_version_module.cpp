/// @file wrong_version_module.cpp
/// @brief Test module built for another interface version: the host must refuse it before
///        calling anything but `LibVersion`.
#include "host/module_entry.h"
#include "module_events.h"
#include "test_class_desc.h"

namespace {
/// An older interface than the host's.
constexpr ULONG kOlderInterfaceVersion = 0x07D00400;
TestClassDesc oldDesc("Wrong Version Class", REF_MAKER_CLASS_ID, Class_ID(0x7E570002, 0x1));
}  // namespace

HOST_EXPORT const TCHAR *LibDescription() {
    RecordModuleEvent("test_wrong_version", "described");
    return "Module for an older host";
}
HOST_EXPORT int LibNumberClasses() {
    RecordModuleEvent("test_wrong_version", "counted");
    return 1;
}
HOST_EXPORT ClassDesc *LibClassDesc(int i) {
    RecordModuleEvent("test_wrong_version", "listed");
    return i == 0 ? &oldDesc : nullptr;
}
HOST_EXPORT ULONG LibVersion() {
    return kOlderInterfaceVersion;
}

HOST_EXPORT BOOL DllMain(HINSTANCE, DWORD reason, void *) {
    RecordModuleEvent("test_wrong_version", reason == DLL_PROCESS_ATTACH ? "attach" : "detach");
    return TRUE;
}
