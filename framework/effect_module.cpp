/// @file effect_module.cpp
/// @brief Attach and detach of the effect modules.
#include "framework/effect_module.h"

EffectModule::EffectModule(const RegistrationTexts &texts, LibNumberClassesProc *numberClasses,
                           LibClassDescProc *classDesc)
    : texts_(texts), numberClasses_(numberClasses), classDesc_(classDesc) {}

BOOL EffectModule::DllMain(HINSTANCE instance, DWORD reason) {
    if (reason == DLL_PROCESS_DETACH) {
        instance_ = nullptr;
        return TRUE;
    }
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    if (instance_) return FALSE;
    instance_ = instance;
    if (!registered_) {
        registered_ = true;
        RegisterClasses(numberClasses_, classDesc_, texts_);
    }
    // The host's custom controls are initialised here once the studio brings them.
    return TRUE;
}
