/// @file attach_asserts_module.cpp
/// @brief Test module whose process attach fails a host assertion.
#include "host/messages.h"
#include "host/module_entry.h"
#include "module_events.h"
#include "test_class_desc.h"

namespace {
TestClassDesc assertingDesc("Attach Asserts Class", REF_MAKER_CLASS_ID,
                            Class_ID(0x7E570004, 0x1));
bool ConfigurationReadable() {
    return false;
}
}  // namespace

HOST_MODULE_ENTRY_POINTS("Module whose attach asserts", &assertingDesc)

HOST_EXPORT BOOL DllMain(HINSTANCE, DWORD reason, void *) {
    RecordModuleEvent("test_attach_asserts",
                      reason == DLL_PROCESS_ATTACH ? "attach" : "detach");
    if (reason == DLL_PROCESS_ATTACH) DbgAssert(ConfigurationReadable());
    return TRUE;
}
