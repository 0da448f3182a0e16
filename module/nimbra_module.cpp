/// @file nimbra_module.cpp
/// @brief The main module's entry points, its classes, and its start-up and shut-down.
#include "framework/plugin_registry.h"
#include "lights/zephra_light.h"
#include "setup/helper.h"
#include "host/diagnostics.h"
#include "host/module_entry.h"
#include "host/notify.h"
#include "renderer/blur_filter.h"
#include "renderer/render_engine.h"
#include "renderer/shader_filter.h"
#include "renderer/shadow_filter.h"

namespace {

constexpr char kRegistrySection[] = "Plug-in registry";

/// The handle of this module while it is attached.
HINSTANCE moduleInstance = nullptr;

/// Effect modules link against this module, so they attach after it and register their
/// classes only then: once every module is attached, what they added to the registry is read.
void ReadAddedRecords(void *, NotifyInfo *) {
    ThePlugInRegistry().LoadAdded();
}

std::string DescribeRegistry(void *) {
    return ThePlugInRegistry().Describe();
}

}  // namespace

// The classes in the order the host lists them. A slot stays null until its class is built;
// the host skips null descriptors.
HOST_MODULE_ENTRY_POINTS("Nimbra",
                         GetNimbraHelperDesc(),  // 0: the helper object
                         GetNimbraShaderDesc(),  // 1: image filter "Nimbra Shader"
                         GetZephraLightDesc(),   // 2: light "ZephraLight"
                         GetNimbraShadowDesc(),  // 3: image filter "Nimbra Shadow"
                         GetNimbraBlurDesc())    // 4: image filter " Nimbra Motion Blur"

HOST_EXPORT BOOL DllMain(HINSTANCE instance, DWORD reason, void *) {
    if (reason == DLL_PROCESS_ATTACH) {
        moduleInstance = instance;
        // The host's custom controls are initialised here once the studio brings them.
        theEngine = nullptr;
        // What earlier sessions registered. The file may not exist yet: the effect modules
        // create it when they attach, after this module, and ReadAddedRecords reads it then.
        ThePlugInRegistry().Reload(PlugInRegistry::MissingFile::kQuiet);
        RegisterNotification(ReadAddedRecords, nullptr, NOTIFY_SYSTEM_STARTUP);
        RegisterDiagnostics(kRegistrySection, DescribeRegistry, nullptr);
        // The preview manager is created here once it exists.
    } else if (reason == DLL_PROCESS_DETACH) {
        UnRegisterNotification(ReadAddedRecords, nullptr, NOTIFY_SYSTEM_STARTUP);
        UnRegisterDiagnostics(DescribeRegistry, nullptr);
        // The preview manager is destroyed here once it exists.
        delete theEngine;
        theEngine = nullptr;
        DeleteEngineSourceCopy();
        ThePlugInRegistry().Clear();
        moduleInstance = nullptr;
    }
    return TRUE;
}
