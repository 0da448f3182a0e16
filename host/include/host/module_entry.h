/// @file module_entry.h
/// @brief What a module exports to the host: the four library entry points, the optional
///        process attach/detach entry and the interface version the host accepts.
#pragma once

#include "host/class_desc.h"
#include "host/types.h"

#include <cstddef>

/// Marks a function the host looks up by name. Modules are built with hidden visibility, so
/// only what carries this mark is visible to the host's `dlsym`.
#define HOST_EXPORT extern "C" __attribute__((visibility("default")))

/// The only `LibVersion` answer the host accepts; a module answering anything else is refused
/// before any of its other entry points is called.
constexpr ULONG HOST_INTERFACE_VERSION = 0x07D00500;

// Reasons passed to a module's `DllMain`.
constexpr DWORD DLL_PROCESS_DETACH = 0;
constexpr DWORD DLL_PROCESS_ATTACH = 1;

// The entry points as the host resolves them.
using LibDescriptionProc = const TCHAR *();
using LibNumberClassesProc = int();
using LibClassDescProc = ClassDesc *(int);
using LibVersionProc = ULONG();
/// Optional. Called with DLL_PROCESS_ATTACH after the version check and before the module's
/// classes are listed, and with DLL_PROCESS_DETACH before the module is closed. Answering
/// FALSE to the attach refuses the module; a module refused at attach is not detached. The
/// instance handle is the module's `dlopen` handle. Written by hand in each module:
///
///     HOST_EXPORT BOOL DllMain(HINSTANCE instance, DWORD reason, void *) { ... }
using DllMainProc = BOOL(HINSTANCE, DWORD, void *);

/// Generates `LibDescription`, `LibNumberClasses`, `LibClassDesc` (null out of range) and
/// `LibVersion` for a module from its description (any `const TCHAR *` expression) and the
/// list of its class descriptors, in the order the host should list them:
///
///     HOST_MODULE_ENTRY_POINTS("Standard effects", &fireBallDesc, &flameDesc, GetSmokeDesc())
///
/// Use it once per module, at namespace scope in one source file.
#define HOST_MODULE_ENTRY_POINTS(description, ...)                                   \
    static ClassDesc *const *HostModuleClasses(std::size_t &count) {                 \
        static ClassDesc *const classes[] = {__VA_ARGS__};                           \
        count = sizeof(classes) / sizeof(classes[0]);                                \
        return classes;                                                              \
    }                                                                                \
    HOST_EXPORT const TCHAR *LibDescription() {                                      \
        return description;                                                          \
    }                                                                                \
    HOST_EXPORT int LibNumberClasses() {                                             \
        std::size_t count = 0;                                                       \
        HostModuleClasses(count);                                                    \
        return static_cast<int>(count);                                              \
    }                                                                                \
    HOST_EXPORT ClassDesc *LibClassDesc(int i) {                                     \
        std::size_t count = 0;                                                       \
        ClassDesc *const *classes = HostModuleClasses(count);                        \
        return i >= 0 && static_cast<std::size_t>(i) < count ? classes[i] : nullptr; \
    }                                                                                \
    HOST_EXPORT ULONG LibVersion() {                                                 \
        return HOST_INTERFACE_VERSION;                                               \
    }
