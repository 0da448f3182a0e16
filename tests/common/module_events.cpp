/// @file module_events.cpp
/// @brief The event log of the test modules.
#include "module_events.h"

#include <mutex>

namespace {
std::mutex eventsMutex;
std::vector<std::string> events;
}  // namespace

void RecordModuleEvent(const std::string &module, const std::string &event) {
    std::lock_guard lock(eventsMutex);
    events.push_back(module + ":" + event);
}

std::vector<std::string> ModuleEvents() {
    std::lock_guard lock(eventsMutex);
    return events;
}

void ClearModuleEvents() {
    std::lock_guard lock(eventsMutex);
    events.clear();
}
