/// @file config_probe_module.cpp
/// @brief Test module whose description tells the configuration directory it saw at attach,
///        so a test of the program can check what reaches the modules.
#include "host/module_entry.h"
#include "test_class_desc.h"

#include <cstdlib>
#include <string>

namespace {
TestClassDesc probeDesc("Config Probe", REF_MAKER_CLASS_ID, Class_ID(0x7E570007, 0x1));
std::string description;
const char *Description() {
    return description.c_str();
}
}  // namespace

HOST_MODULE_ENTRY_POINTS(Description(), &probeDesc)

HOST_EXPORT BOOL DllMain(HINSTANCE, DWORD reason, void *) {
    if (reason == DLL_PROCESS_ATTACH) {
        const char *dir = std::getenv("NIMBRA_CONFIG_DIR");
        description =
            std::string("configuration directory at attach: ") + (dir ? dir : "(unset)");
    }
    return TRUE;
}
