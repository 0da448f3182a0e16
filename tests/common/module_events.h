/// @file module_events.h
/// @brief A process-wide log that the test modules write their attach, detach and notification
///        events to, so the tests can see them after a module is gone.
#pragma once

#include <string>
#include <vector>

#define MODULE_EVENTS_API __attribute__((visibility("default")))

/// Appends "<module>:<event>", e.g. "test_good:attach".
MODULE_EVENTS_API void RecordModuleEvent(const std::string &module, const std::string &event);
/// Everything recorded since the last `ClearModuleEvents`, in order.
MODULE_EVENTS_API std::vector<std::string> ModuleEvents();
MODULE_EVENTS_API void ClearModuleEvents();
