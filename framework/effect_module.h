/// @file effect_module.h
/// @brief The start-up and shut-down that every effect module shares: a module attaches once,
///        and registers its classes in the plug-in registry on its first attach.
#pragma once

#include "framework/nimbra_api.h"
#include "framework/plugin_registry.h"
#include "host/module_entry.h"

/// One module-wide object per effect module, beside its entry points:
///
///     HOST_MODULE_ENTRY_POINTS("Nimbra Standard PlugIns", &fireBallDesc, ...)
///     namespace {
///     EffectModule module({"author text", "notice text"}, LibNumberClasses, LibClassDesc);
///     }
///     HOST_EXPORT BOOL DllMain(HINSTANCE instance, DWORD reason, void *) {
///         return module.DllMain(instance, reason);
///     }
class NIMBRA_API EffectModule {
public:
    EffectModule(const RegistrationTexts &texts, LibNumberClassesProc *numberClasses,
                 LibClassDescProc *classDesc);

    /// Attach: refused (FALSE) while an instance handle is stored; otherwise stores it and, on
    /// the first attach, registers the module's classes (a registration that fails is
    /// reported and does not refuse the module). Detach clears the handle.
    BOOL DllMain(HINSTANCE instance, DWORD reason);

    /// The handle of the attached module, or null.
    HINSTANCE Instance() const { return instance_; }

private:
    RegistrationTexts texts_;
    LibNumberClassesProc *numberClasses_;
    LibClassDescProc *classDesc_;
    HINSTANCE instance_ = nullptr;
    bool registered_ = false;
};
