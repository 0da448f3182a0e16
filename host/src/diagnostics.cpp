/// @file diagnostics.cpp
/// @brief The process-wide list of diagnostics sections.
#include "host/diagnostics.h"

#include "dynamic_objects.h"

#include <algorithm>
#include <mutex>

namespace {

struct Provider {
    std::string title;
    DiagnosticsProc proc;
    void *param;
};

std::mutex providersMutex;
std::vector<Provider> &Providers() {
    static std::vector<Provider> providers;
    return providers;
}

}  // namespace

int RegisterDiagnostics(const TCHAR *title, DiagnosticsProc proc, void *param) {
    if (!proc) return FALSE;
    std::lock_guard lock(providersMutex);
    auto &all = Providers();
    auto it = std::find_if(all.begin(), all.end(), [&](const Provider &p) {
        return p.proc == proc && p.param == param;
    });
    if (it != all.end())
        it->title = title ? title : "";
    else
        all.push_back({title ? title : "", proc, param});
    return TRUE;
}

int UnRegisterDiagnostics(DiagnosticsProc proc, void *param) {
    std::lock_guard lock(providersMutex);
    return std::erase_if(Providers(),
                         [&](const Provider &p) { return p.proc == proc && p.param == param; })
               ? TRUE
               : FALSE;
}

std::vector<DiagnosticsSection> CollectDiagnostics() {
    // Providers run without the lock: one may (un)register while writing its text.
    std::vector<Provider> snapshot;
    {
        std::lock_guard lock(providersMutex);
        snapshot = Providers();
    }
    std::vector<DiagnosticsSection> sections;
    for (const Provider &p : snapshot) sections.push_back({p.title, p.proc(p.param)});
    return sections;
}

int UnRegisterDiagnosticsOf(HINSTANCE module) {
    const link_map *moduleMap = host_detail::LinkMapOf(module);
    if (!moduleMap) return 0;
    std::lock_guard lock(providersMutex);
    return static_cast<int>(std::erase_if(Providers(), [&](const Provider &p) {
        return host_detail::ObjectContaining(reinterpret_cast<const void *>(p.proc)) ==
               moduleMap;
    }));
}
