/// @file dynamic_objects.cpp
/// @brief Walks the dynamic loader's list of loaded objects and their dynamic sections.
#include "dynamic_objects.h"

#include <dlfcn.h>
#include <elf.h>
#include <unordered_map>
#include <unordered_set>

namespace host_detail {
namespace {

/// An address-valued entry of a dynamic section. glibc relocates these in place on most
/// targets; where the dynamic section is read-only they stay relative to the load address,
/// and an unrelocated value is always below the library's load address.
const char *DynamicAddress(const link_map *object, ElfW(Addr) value) {
    if (value < object->l_addr) value += object->l_addr;
    return reinterpret_cast<const char *>(value);
}

struct DynamicInfo {
    const char *soname = nullptr;
    std::vector<const char *> needed;
};

DynamicInfo ReadDynamic(const link_map *object) {
    DynamicInfo info;
    if (!object || !object->l_ld) return info;
    const char *strings = nullptr;
    for (const ElfW(Dyn) *d = object->l_ld; d->d_tag != DT_NULL; ++d)
        if (d->d_tag == DT_STRTAB) strings = DynamicAddress(object, d->d_un.d_ptr);
    if (!strings) return info;
    for (const ElfW(Dyn) *d = object->l_ld; d->d_tag != DT_NULL; ++d) {
        if (d->d_tag == DT_NEEDED) info.needed.push_back(strings + d->d_un.d_val);
        if (d->d_tag == DT_SONAME) info.soname = strings + d->d_un.d_val;
    }
    return info;
}

std::string BaseName(const char *path) {
    std::string s = path ? path : "";
    const auto slash = s.rfind('/');
    return slash == std::string::npos ? s : s.substr(slash + 1);
}

/// Every loaded object by the names a DT_NEEDED entry may use for it: its soname and the file
/// name it was loaded from. The first object of a name wins, as in the loader's own search.
std::unordered_map<std::string, const link_map *> ObjectsByName(const link_map *any) {
    const link_map *first = any;
    while (first->l_prev) first = first->l_prev;
    std::unordered_map<std::string, const link_map *> byName;
    for (const link_map *object = first; object; object = object->l_next) {
        const DynamicInfo info = ReadDynamic(object);
        if (info.soname) byName.emplace(info.soname, object);
        byName.emplace(BaseName(object->l_name), object);
    }
    return byName;
}

}  // namespace

const link_map *LinkMapOf(void *handle) {
    link_map *object = nullptr;
    if (!handle || dlinfo(handle, RTLD_DI_LINKMAP, &object) != 0) return nullptr;
    return object;
}

const link_map *ObjectContaining(const void *address) {
    Dl_info info;
    link_map *object = nullptr;
    if (!dladdr1(address, &info, reinterpret_cast<void **>(&object), RTLD_DL_LINKMAP))
        return nullptr;
    return object;
}

std::vector<const link_map *> DependenciesOf(const link_map *object) {
    std::vector<const link_map *> found;
    if (!object) return found;
    const auto byName = ObjectsByName(object);
    std::unordered_set<const link_map *> seen{object};
    std::vector<const link_map *> pending{object};
    while (!pending.empty()) {
        const link_map *current = pending.back();
        pending.pop_back();
        for (const char *name : ReadDynamic(current).needed) {
            auto it = byName.find(name);
            if (it == byName.end()) it = byName.find(BaseName(name));
            if (it == byName.end() || !seen.insert(it->second).second) continue;
            found.push_back(it->second);
            pending.push_back(it->second);
        }
    }
    return found;
}

}  // namespace host_detail
