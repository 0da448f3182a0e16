/// @file module_loader.cpp
/// @brief Opening, checking, ordering, attaching and closing the modules.
#include "host/module_loader.h"

#include "dynamic_objects.h"
#include "host/diagnostics.h"
#include "host/interface.h"
#include "host/messages.h"
#include "host/module_entry.h"
#include "host/notify.h"

#include <algorithm>
#include <cstdio>
#include <dlfcn.h>
#include <exception>
#include <mutex>
#include <optional>
#include <set>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr char kRefusedTitle[] = "Module not loaded";
constexpr char kWarningTitle[] = "Module loading";
/// More classes than any module could mean; a larger answer is a broken module.
constexpr int kMaxClassesPerModule = 4096;

std::string Hex(ULONG value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

std::string DlError() {
    const char *error = dlerror();
    return error ? error : "unknown error";
}

/// The handles attached by any loader of this process: a module is attached once only.
std::mutex attachedMutex;
std::set<void *> &AttachedHandles() {
    static std::set<void *> handles;
    return handles;
}

bool IsAttached(void *handle) {
    std::lock_guard lock(attachedMutex);
    return AttachedHandles().count(handle) != 0;
}

void SetAttached(void *handle, bool attached) {
    std::lock_guard lock(attachedMutex);
    if (attached)
        AttachedHandles().insert(handle);
    else
        AttachedHandles().erase(handle);
}

/// Calls a module's code; a C++ exception leaving it (a failed host assertion, say) becomes
/// the text of the failure instead of crossing the loader.
template <typename F>
bool CallModule(F &&call, std::string &error) {
    try {
        call();
        return true;
    } catch (const std::exception &e) {
        error = e.what();
    } catch (...) {
        error = "unknown exception";
    }
    return false;
}

/// One library between `dlopen` and the end of `LoadAll`.
struct Candidate {
    std::string name;
    fs::path path;
    void *handle = nullptr;
    const link_map *object = nullptr;
    LibDescriptionProc *description = nullptr;
    LibNumberClassesProc *numberClasses = nullptr;
    LibClassDescProc *classDesc = nullptr;
    DllMainProc *dllMain = nullptr;
    std::vector<std::size_t> dependencies;  ///< indices of candidates it links against
    bool refused = false;
};

/// An entry point of the library itself. `dlsym` also searches the library's dependencies, so
/// a plain library linked against a module would otherwise answer with that module's entry
/// points.
template <typename Proc>
Proc *ResolveOwn(const Candidate &c, const char *name) {
    void *symbol = dlsym(c.handle, name);
    if (!symbol || host_detail::ObjectContaining(symbol) != c.object) return nullptr;
    return reinterpret_cast<Proc *>(symbol);
}

/// The `*.so` files of one directory in file-name order.
std::vector<fs::path> LibrariesIn(const fs::path &directory, std::error_code &error) {
    std::vector<fs::path> files;
    for (fs::directory_iterator it(directory, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code ignored;
        if (it->path().extension() == ".so" && it->is_regular_file(ignored))
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end(),
              [](const fs::path &a, const fs::path &b) { return a.filename() < b.filename(); });
    return files;
}

/// A module this loader attached.
struct AttachedModule {
    void *handle = nullptr;
    DllMainProc *dllMain = nullptr;
};

std::string ClassLabel(ClassDesc *desc) {
    const TCHAR *name = desc->ClassName();
    return std::string("class '") + (name ? name : "") + "' (" + Hex(desc->ClassID().PartA()) +
           ", " + Hex(desc->ClassID().PartB()) + ")";
}

/// The module of the class in the directory that has the class ID of `desc`.
std::string ModuleOf(ClassDesc *desc) {
    for (const ClassEntry &e : ClassDirectory::Instance().Entries())
        if (e.desc->SuperClassID() == desc->SuperClassID() &&
            e.desc->ClassID() == desc->ClassID())
            return e.module;
    return {};
}

}  // namespace

struct ModuleLoader::Impl {
    std::vector<LoadedModule> modules;     // attach order
    std::vector<AttachedModule> attached;  // parallel to `modules`
    std::vector<ModuleProblem> failures;
    std::vector<ModuleProblem> skipped;

    void Refuse(Candidate &c, const std::string &reason) {
        c.refused = true;
        Report(c.path, reason);
    }

    void Report(const fs::path &path, const std::string &reason) {
        failures.push_back({path, reason});
        const std::string text = path.string() + ": " + reason;
        MessageBox(nullptr, text.c_str(), kRefusedTitle, MB_OK | MB_ICONWARNING);
    }

    void Warn(const fs::path &path, const std::string &what) {
        const std::string text = path.empty() ? what : path.string() + ": " + what;
        MessageBox(nullptr, text.c_str(), kWarningTitle, MB_OK | MB_ICONWARNING);
    }

    std::vector<fs::path> FindLibraries(const std::vector<fs::path> &directories);
    std::optional<Candidate> Open(const fs::path &path, const std::vector<Candidate> &opened);
    void CheckEntryPoints(Candidate &c);
    std::vector<std::size_t> AttachOrder(std::vector<Candidate> &candidates) const;
    void Attach(Candidate &c, const std::vector<Candidate> &candidates);
    void Detach(const LoadedModule &module, const AttachedModule &attached);
};

std::vector<fs::path> ModuleLoader::Impl::FindLibraries(
    const std::vector<fs::path> &directories) {
    std::vector<fs::path> found;
    std::vector<fs::path> searched;  // canonical, so a directory named twice is searched once
    for (const fs::path &directory : directories) {
        std::error_code error;
        if (!fs::is_directory(directory, error)) {
            Report(directory, "plug-in directory not found");
            continue;
        }
        const fs::path canonical = fs::canonical(directory, error);
        if (std::find(searched.begin(), searched.end(), canonical) != searched.end()) continue;
        searched.push_back(canonical);

        const std::vector<fs::path> files = LibrariesIn(directory, error);
        if (error) {
            Report(directory, "cannot read the plug-in directory: " + error.message());
            continue;
        }
        for (const fs::path &file : files) {
            const auto first = std::find_if(found.begin(), found.end(), [&](const fs::path &f) {
                return f.filename() == file.filename();
            });
            if (first != found.end())
                skipped.push_back({file, "a module of the same file name was found first: " +
                                             first->string()});
            else
                found.push_back(file);
        }
    }
    return found;
}

std::optional<Candidate> ModuleLoader::Impl::Open(const fs::path &path,
                                                  const std::vector<Candidate> &opened) {
    Candidate c;
    c.name = path.stem().string();
    c.path = path;
    // The canonical path lets the dynamic loader recognise a module that is already mapped as
    // another module's dependency, so it is never mapped twice.
    std::error_code error;
    const fs::path canonical = fs::canonical(path, error);
    dlerror();
    c.handle = dlopen((error ? path : canonical).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!c.handle) {
        Report(path, "cannot open: " + DlError());
        return std::nullopt;
    }
    c.object = host_detail::LinkMapOf(c.handle);
    const auto same = std::find_if(opened.begin(), opened.end(),
                                   [&](const Candidate &o) { return o.handle == c.handle; });
    if (same != opened.end()) {
        skipped.push_back({path, "the same library as " + same->path.string()});
        dlclose(c.handle);
        return std::nullopt;
    }
    if (IsAttached(c.handle)) {
        Report(path, "already loaded by another module loader");
        dlclose(c.handle);
        return std::nullopt;
    }
    CheckEntryPoints(c);
    return c;
}

void ModuleLoader::Impl::CheckEntryPoints(Candidate &c) {
    // The version comes first: nothing else of a module built for another interface is called.
    auto *version = ResolveOwn<LibVersionProc>(c, "LibVersion");
    c.description = ResolveOwn<LibDescriptionProc>(c, "LibDescription");
    c.numberClasses = ResolveOwn<LibNumberClassesProc>(c, "LibNumberClasses");
    c.classDesc = ResolveOwn<LibClassDescProc>(c, "LibClassDesc");
    if (version) {
        ULONG answer = 0;
        std::string error;
        if (!CallModule([&] { answer = version(); }, error)) {
            Refuse(c, "LibVersion failed: " + error);
            return;
        }
        if (answer != HOST_INTERFACE_VERSION) {
            Refuse(c, "wrong interface version " + Hex(answer) + " (expected " +
                          Hex(HOST_INTERFACE_VERSION) + ")");
            return;
        }
    }
    std::string missing;
    const std::pair<bool, const char *> entries[] = {{c.description, "LibDescription"},
                                                     {c.numberClasses, "LibNumberClasses"},
                                                     {c.classDesc, "LibClassDesc"},
                                                     {version, "LibVersion"}};
    for (const auto &[present, name] : entries)
        if (!present) missing += std::string(missing.empty() ? "" : ", ") + name;
    if (!missing.empty()) {
        Refuse(c, "not a module: missing entry point(s) " + missing);
        return;
    }
    c.dllMain = ResolveOwn<DllMainProc>(c, "DllMain");
}

std::vector<std::size_t> ModuleLoader::Impl::AttachOrder(
    std::vector<Candidate> &candidates) const {
    for (Candidate &c : candidates) {
        for (const link_map *needed : host_detail::DependenciesOf(c.object)) {
            for (std::size_t j = 0; j < candidates.size(); ++j)
                if (candidates[j].object == needed) c.dependencies.push_back(j);
        }
    }
    // Depth first in file order, dependencies before the module that needs them; a cycle
    // (which the dynamic loader allows) is broken where it is found.
    enum class Mark { none, visiting, done };
    std::vector<Mark> marks(candidates.size(), Mark::none);
    std::vector<std::size_t> order;
    auto visit = [&](auto &self, std::size_t i) -> void {
        if (marks[i] != Mark::none) return;
        marks[i] = Mark::visiting;
        for (std::size_t d : candidates[i].dependencies) self(self, d);
        marks[i] = Mark::done;
        order.push_back(i);
    };
    for (std::size_t i = 0; i < candidates.size(); ++i) visit(visit, i);
    return order;
}

void ModuleLoader::Impl::Attach(Candidate &c, const std::vector<Candidate> &candidates) {
    for (std::size_t d : c.dependencies) {
        if (candidates[d].refused) {
            Refuse(c, "needs module '" + candidates[d].name + "', which was not loaded");
            return;
        }
    }
    std::string error;
    BOOL attachedOk = TRUE;
    if (c.dllMain &&
        !CallModule([&] { attachedOk = c.dllMain(c.handle, DLL_PROCESS_ATTACH, nullptr); },
                    error)) {
        Refuse(c, "process attach failed: " + error);
        return;
    }
    if (!attachedOk) {
        Refuse(c, "process attach failed (DllMain answered FALSE)");
        return;
    }
    SetAttached(c.handle, true);

    LoadedModule module{c.name, c.path, {}, {}};
    const AttachedModule attached{c.handle, c.dllMain};
    int count = 0;
    const bool listed = CallModule(
        [&] {
            const TCHAR *description = c.description();
            module.description = description ? description : "";
            count = c.numberClasses();
            if (count < 0 || count > kMaxClassesPerModule) return;
            for (int i = 0; i < count; ++i) {
                ClassDesc *desc = c.classDesc(i);
                if (!desc) continue;
                if (ClassDirectory::Instance().Add(desc, c.name)) {
                    module.classes.push_back(desc);
                    continue;
                }
                Warn(c.path, ClassLabel(desc) + " is already provided by module '" +
                                 ModuleOf(desc) + "'; ignored");
            }
        },
        error);
    if (!listed || count < 0 || count > kMaxClassesPerModule) {
        Detach(module, attached);
        c.handle = nullptr;  // closed by Detach
        Refuse(c, listed ? "LibNumberClasses answered " + std::to_string(count)
                         : "listing its classes failed: " + error);
        return;
    }
    modules.push_back(std::move(module));
    this->attached.push_back(attached);
    c.handle = nullptr;  // owned by `attached` now
}

void ModuleLoader::Impl::Detach(const LoadedModule &module, const AttachedModule &attached) {
    ClassDirectory::Instance().RemoveModule(module.name);
    std::string error;
    if (attached.dllMain &&
        !CallModule([&] { attached.dllMain(attached.handle, DLL_PROCESS_DETACH, nullptr); },
                    error))
        Warn(module.path, "process detach failed: " + error);
    UnRegisterNotificationsOf(attached.handle);
    UnRegisterDiagnosticsOf(attached.handle);
    SetAttached(attached.handle, false);
    dlerror();
    if (dlclose(attached.handle) != 0) Warn(module.path, "cannot close: " + DlError());
}

ModuleLoader::ModuleLoader() : impl_(std::make_unique<Impl>()) {}

ModuleLoader::~ModuleLoader() {
    UnloadAll();
}

int ModuleLoader::LoadAll(const std::vector<fs::path> &directories) {
    UnloadAll();
    impl_->failures.clear();
    impl_->skipped.clear();

    std::vector<Candidate> candidates;
    for (const fs::path &file : impl_->FindLibraries(directories))
        if (auto c = impl_->Open(file, candidates)) candidates.push_back(std::move(*c));

    // Refused libraries stay open until the order is known, so a module that links against
    // one of them is recognised and refused too.
    for (std::size_t i : impl_->AttachOrder(candidates))
        if (!candidates[i].refused) impl_->Attach(candidates[i], candidates);
    for (auto c = candidates.rbegin(); c != candidates.rend(); ++c)
        if (c->handle) dlclose(c->handle);

    BroadcastNotification(NOTIFY_SYSTEM_STARTUP);
    return static_cast<int>(impl_->modules.size());
}

void ModuleLoader::UnloadAll() {
    if (impl_->modules.empty()) return;
    try {
        BroadcastNotification(NOTIFY_SYSTEM_SHUTDOWN);
    } catch (const std::exception &e) {
        impl_->Warn("", std::string("shutdown notification failed: ") + e.what());
    }
    // The scene holds objects whose code lives in the modules: delete it while that code is
    // still mapped.
    try {
        GetCOREInterface()->ResetScene();
    } catch (const std::exception &e) {
        impl_->Warn("", std::string("deleting the scene failed: ") + e.what());
    }
    for (std::size_t i = impl_->modules.size(); i-- > 0;)
        impl_->Detach(impl_->modules[i], impl_->attached[i]);
    impl_->modules.clear();
    impl_->attached.clear();
}

const std::vector<LoadedModule> &ModuleLoader::Modules() const {
    return impl_->modules;
}

const LoadedModule *ModuleLoader::FindModule(const std::string &name) const {
    for (const LoadedModule &m : impl_->modules)
        if (m.name == name) return &m;
    return nullptr;
}

const std::vector<ModuleProblem> &ModuleLoader::Failures() const {
    return impl_->failures;
}

const std::vector<ModuleProblem> &ModuleLoader::Skipped() const {
    return impl_->skipped;
}
