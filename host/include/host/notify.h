/// @file notify.h
/// @brief System notifications: callbacks that modules register for host-wide events such as
///        "every module is loaded and attached".
#pragma once

#include "host/types.h"

/// What a notification callback receives.
struct NotifyInfo {
    int intcode = 0;            ///< the notification code (NOTIFY_…)
    void *callParam = nullptr;  ///< extra data of the broadcast, null for the system events
};

/// A notification callback; `param` is the value given at registration.
using NOTIFYPROC = void (*)(void *param, NotifyInfo *info);

// Notification codes.
/// Every module is loaded, attached and has its classes in the class directory. The main
/// module re-reads its registry here, after the effect modules registered their classes.
constexpr int NOTIFY_SYSTEM_STARTUP = 0x0001;
/// The modules are about to be detached and closed; their classes are still available.
constexpr int NOTIFY_SYSTEM_SHUTDOWN = 0x0002;

/// Calls `proc (param, …)` on every broadcast of `code`, in registration order. Registering
/// the same (proc, param, code) twice keeps one registration. Returns TRUE, or FALSE for a null
/// callback.
int RegisterNotification(NOTIFYPROC proc, void *param, int code);
/// Removes a registration; returns FALSE when there was none.
int UnRegisterNotification(NOTIFYPROC proc, void *param, int code);
/// Calls every callback registered for `code`. Callbacks may register or unregister (also
/// themselves) while it runs; one unregistered during the broadcast is not called afterwards.
void BroadcastNotification(int code, void *callParam = nullptr);

/// Drops every registration whose callback lives in the loaded library `module` (a handle as
/// the module loader passes to `DllMain`). The loader calls it before closing a module, so a
/// module that forgot to unregister cannot leave a callback into unmapped code. Returns how
/// many registrations were dropped.
int UnRegisterNotificationsOf(HINSTANCE module);
