/// @file addon_module.cpp
/// @brief Test module linked against test_base; its attach records whether test_base was
///        attached before it.
#include "base_api.h"
#include "module_events.h"
#include "test_class_desc.h"

namespace {
TestClassDesc addonDesc("Addon Class", REF_MAKER_CLASS_ID, Class_ID(0x7E570006, 0x1));
}  // namespace

HOST_MODULE_ENTRY_POINTS("Addon test module", &addonDesc)

/// test_base's variable as this module sees it.
HOST_EXPORT const int *TestAddonSeesBaseState() {
    return TestBaseState();
}

HOST_EXPORT BOOL DllMain(HINSTANCE, DWORD reason, void *) {
    if (reason == DLL_PROCESS_ATTACH)
        RecordModuleEvent("test_addon",
                          TestBaseAttached() ? "attach after base" : "attach before base");
    else
        RecordModuleEvent("test_addon",
                          TestBaseAttached() ? "detach before base" : "detach after base");
    return TRUE;
}
