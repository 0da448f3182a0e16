/// @file attach_fails_module.cpp
/// @brief Test module whose process attach answers FALSE.
#include "host/module_entry.h"
#include "module_events.h"
#include "test_class_desc.h"

namespace {
TestClassDesc failingDesc("Attach Fails Class", REF_MAKER_CLASS_ID, Class_ID(0x7E570003, 0x1));
}  // namespace

HOST_MODULE_ENTRY_POINTS("Module whose attach fails", &failingDesc)

HOST_EXPORT BOOL DllMain(HINSTANCE, DWORD reason, void *) {
    RecordModuleEvent("test_attach_fails", reason == DLL_PROCESS_ATTACH ? "attach" : "detach");
    return reason == DLL_PROCESS_ATTACH ? FALSE : TRUE;
}
