/// @file notify.cpp
/// @brief The process-wide list of notification callbacks and their broadcast.
#include "host/notify.h"

#include "dynamic_objects.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

struct Registration {
    NOTIFYPROC proc;
    void *param;
    int code;
    bool operator==(const Registration &) const = default;
};

std::mutex registrationsMutex;
std::vector<Registration> &Registrations() {
    static std::vector<Registration> registrations;
    return registrations;
}

bool IsRegistered(const Registration &r) {
    std::lock_guard lock(registrationsMutex);
    const auto &all = Registrations();
    return std::find(all.begin(), all.end(), r) != all.end();
}

}  // namespace

int RegisterNotification(NOTIFYPROC proc, void *param, int code) {
    if (!proc) return FALSE;
    std::lock_guard lock(registrationsMutex);
    auto &all = Registrations();
    const Registration r{proc, param, code};
    if (std::find(all.begin(), all.end(), r) == all.end()) all.push_back(r);
    return TRUE;
}

int UnRegisterNotification(NOTIFYPROC proc, void *param, int code) {
    std::lock_guard lock(registrationsMutex);
    return std::erase(Registrations(), Registration{proc, param, code}) ? TRUE : FALSE;
}

void BroadcastNotification(int code, void *callParam) {
    // Work on a copy: callbacks may change the registrations, and must run without the lock.
    std::vector<Registration> snapshot;
    {
        std::lock_guard lock(registrationsMutex);
        for (const Registration &r : Registrations())
            if (r.code == code) snapshot.push_back(r);
    }
    for (const Registration &r : snapshot) {
        if (!IsRegistered(r)) continue;
        NotifyInfo info{code, callParam};
        r.proc(r.param, &info);
    }
}

int UnRegisterNotificationsOf(HINSTANCE module) {
    const link_map *moduleMap = host_detail::LinkMapOf(module);
    if (!moduleMap) return 0;
    std::lock_guard lock(registrationsMutex);
    return static_cast<int>(std::erase_if(Registrations(), [&](const Registration &r) {
        return host_detail::ObjectContaining(reinterpret_cast<const void *>(r.proc)) ==
               moduleMap;
    }));
}
