/// @file class_desc.h
/// @brief Class identifiers, super class identifiers, class descriptors and the class
///        directory through which every object of every module is created.
#pragma once

#include "host/types.h"

#include <string>
#include <vector>

/// A class identifier: two 32-bit halves.
class Class_ID {
public:
    constexpr Class_ID() = default;
    constexpr Class_ID(ULONG a, ULONG b) : a_(a), b_(b) {}
    constexpr ULONG PartA() const { return a_; }
    constexpr ULONG PartB() const { return b_; }
    constexpr bool operator==(const Class_ID &o) const = default;
    constexpr bool operator<(const Class_ID &o) const {
        return a_ < o.a_ || (a_ == o.a_ && b_ < o.b_);
    }

private:
    ULONG a_ = 0;
    ULONG b_ = 0;
};

using SClass_ID = ULONG;

// Super class identifiers.
constexpr SClass_ID BASENODE_CLASS_ID = 0x0001;          // scene nodes (host internal)
constexpr SClass_ID PARAMETER_BLOCK_CLASS_ID = 0x0008;   // parameter blocks (host internal)
constexpr SClass_ID GEOMOBJECT_CLASS_ID = 0x0010;
constexpr SClass_ID CAMERA_CLASS_ID = 0x0020;
constexpr SClass_ID LIGHT_CLASS_ID = 0x0030;
constexpr SClass_ID HELPER_CLASS_ID = 0x0050;
constexpr SClass_ID REF_MAKER_CLASS_ID = 0x0100;
constexpr SClass_ID MATERIAL_CLASS_ID = 0x0C00;
constexpr SClass_ID FLT_CLASS_ID = 0x0E00;               // image filters
constexpr SClass_ID RENDERER_CLASS_ID = 0x0F00;
constexpr SClass_ID ATMOSPHERIC_CLASS_ID = 0x1010;

class Interface;

/// Describes one class of a module: its identity and how to create an instance. One
/// module-wide object per class; the host asks for them through `LibClassDesc`.
class ClassDesc {
public:
    virtual ~ClassDesc() = default;
    virtual int IsPublic() = 0;
    /// A new instance; `loading` is TRUE when the object is about to be filled from a file.
    virtual void *Create(BOOL loading = FALSE) = 0;
    virtual int BeginCreate(Interface *) { return 0; }
    virtual int EndCreate(Interface *) { return 0; }
    virtual const TCHAR *ClassName() = 0;
    virtual SClass_ID SuperClassID() = 0;
    virtual Class_ID ClassID() = 0;
    virtual const TCHAR *Category() = 0;
    virtual BOOL OkToCreate(Interface *) { return TRUE; }
};

/// One class known to the host, with the module that offered it ("host" for built-ins).
struct ClassEntry {
    ClassDesc *desc = nullptr;
    std::string module;
};

/// The host's class directory: every class of every loaded module plus the host's own.
/// Process-wide; filled by the module loader and by the host's built-in classes.
class ClassDirectory {
public:
    static ClassDirectory &Instance();

    /// Adds a class. A second class with the same super class and class ID is refused
    /// (returns false) so the first module found wins.
    bool Add(ClassDesc *desc, const std::string &module);
    /// Removes every class of one module (used when a module is unloaded).
    void RemoveModule(const std::string &module);
    ClassDesc *Find(SClass_ID super, Class_ID id) const;
    /// The first class of `super` whose `ClassName` equals `name`.
    ClassDesc *FindByName(SClass_ID super, const std::string &name) const;
    const std::vector<ClassEntry> &Entries() const { return entries_; }

private:
    std::vector<ClassEntry> entries_;
};

/// A new instance of a class from the directory, or null when the class is not installed.
void *CreateInstance(SClass_ID super, Class_ID id);
