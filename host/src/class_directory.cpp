/// @file class_directory.cpp
/// @brief The process-wide class directory and `CreateInstance`.
#include "host/class_desc.h"

#include <algorithm>

ClassDirectory &ClassDirectory::Instance() {
    static ClassDirectory directory;
    return directory;
}

bool ClassDirectory::Add(ClassDesc *desc, const std::string &module) {
    if (!desc) return false;
    if (Find(desc->SuperClassID(), desc->ClassID())) return false;
    entries_.push_back({desc, module});
    return true;
}

void ClassDirectory::RemoveModule(const std::string &module) {
    std::erase_if(entries_, [&](const ClassEntry &e) { return e.module == module; });
}

ClassDesc *ClassDirectory::Find(SClass_ID super, Class_ID id) const {
    auto it = std::find_if(entries_.begin(), entries_.end(), [&](const ClassEntry &e) {
        return e.desc->SuperClassID() == super && e.desc->ClassID() == id;
    });
    return it == entries_.end() ? nullptr : it->desc;
}

ClassDesc *ClassDirectory::FindByName(SClass_ID super, const std::string &name) const {
    auto it = std::find_if(entries_.begin(), entries_.end(), [&](const ClassEntry &e) {
        const TCHAR *className = e.desc->ClassName();  // a broken module may answer null
        return e.desc->SuperClassID() == super && className && name == className;
    });
    return it == entries_.end() ? nullptr : it->desc;
}

void *CreateInstance(SClass_ID super, Class_ID id) {
    ClassDesc *desc = ClassDirectory::Instance().Find(super, id);
    return desc ? desc->Create(FALSE) : nullptr;
}
