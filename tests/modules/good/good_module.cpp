/// @file good_module.cpp
/// @brief Test module: two classes, attach, detach and system notifications recorded.
#include "host/module_entry.h"
#include "host/notify.h"
#include "module_events.h"
#include "test_class_desc.h"

namespace {

TestClassDesc alphaDesc("Good Alpha", REF_MAKER_CLASS_ID, Class_ID(0x7E570001, 0x1));
TestClassDesc betaDesc("Good Beta", HELPER_CLASS_ID, Class_ID(0x7E570001, 0x2), FALSE);

void OnNotify(void *, NotifyInfo *info) {
    RecordModuleEvent("test_good",
                      info->intcode == NOTIFY_SYSTEM_STARTUP ? "startup" : "shutdown");
}

}  // namespace

#ifdef TEST_GOOD_SHADOW
#define TEST_GOOD_DESCRIPTION "Good test module (shadow copy)"
#else
#define TEST_GOOD_DESCRIPTION "Good test module"
#endif

// The null between the two classes stands for a class the module left out of this build; the
// host skips it.
HOST_MODULE_ENTRY_POINTS(TEST_GOOD_DESCRIPTION, &alphaDesc, nullptr, &betaDesc)

HOST_EXPORT BOOL DllMain(HINSTANCE, DWORD reason, void *) {
    if (reason == DLL_PROCESS_ATTACH) {
        RecordModuleEvent("test_good", "attach");
        RegisterNotification(OnNotify, nullptr, NOTIFY_SYSTEM_STARTUP);
        RegisterNotification(OnNotify, nullptr, NOTIFY_SYSTEM_SHUTDOWN);
    } else if (reason == DLL_PROCESS_DETACH) {
        UnRegisterNotification(OnNotify, nullptr, NOTIFY_SYSTEM_STARTUP);
        UnRegisterNotification(OnNotify, nullptr, NOTIFY_SYSTEM_SHUTDOWN);
        RecordModuleEvent("test_good", "detach");
    }
    return TRUE;
}
