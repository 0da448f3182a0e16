/// @file base_module.cpp
/// @brief Test module that other libraries link against. Its startup callback is deliberately
///        left registered at detach: the loader must drop it before closing the module.
#include "base_api.h"
#include "host/notify.h"
#include "module_events.h"
#include "test_class_desc.h"

#include <cstdlib>

namespace {

TestClassDesc baseDesc("Base Class", REF_MAKER_CLASS_ID, Class_ID(0x7E570005, 0x1));
bool attached = false;
int state = 0;

/// Runs once each time the library is mapped.
struct MappedOnce {
    MappedOnce() { RecordModuleEvent("test_base", "mapped"); }
} mappedOnce;

void OnStartup(void *, NotifyInfo *) {
    RecordModuleEvent("test_base", "startup");
}

}  // namespace

HOST_MODULE_ENTRY_POINTS("Base test module", &baseDesc)

HOST_EXPORT bool TestBaseAttached() {
    return attached;
}
HOST_EXPORT const int *TestBaseState() {
    return &state;
}

HOST_EXPORT BOOL DllMain(HINSTANCE, DWORD reason, void *) {
    // Lets a test make this module's attach fail, to see its users refused.
    if (reason == DLL_PROCESS_ATTACH && std::getenv("TEST_BASE_FAIL_ATTACH")) return FALSE;
    attached = reason == DLL_PROCESS_ATTACH;
    RecordModuleEvent("test_base", attached ? "attach" : "detach");
    if (attached) RegisterNotification(OnStartup, nullptr, NOTIFY_SYSTEM_STARTUP);
    return TRUE;
}
