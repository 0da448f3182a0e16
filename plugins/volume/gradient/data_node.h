/// @file data_node.h
/// @brief Data nodes: host objects holding named gradients in the order added, and the class
///        descriptor shared by the data classes (gradient presets and data nodes).
#pragma once

#include "plugins/volume/gradient/gradient.h"
#include "plugins/volume/volume_api.h"

#include "host/class_desc.h"

#include <span>
#include <string>
#include <vector>

/// A gradient that a data node of some class starts with.
struct DataNodeChild {
    const char *name;
    const GradientPreset *preset;
};

/// A class of data nodes: its identity and the gradients a new node of it holds.
struct DataNodeClass {
    Class_ID id;
    const char *name;
    std::span<const DataNodeChild> children;
};

/// Holds named gradients, at most kMaxChildren, in the order added: reference i and
/// sub-animatable i is gradient i, named by its name. A scene file restores the gradients as
/// references; the node itself stores their names.
class ZEPHRAVOLUME_API DataNode final : public ReferenceTarget {
public:
    static constexpr int kMaxChildren = 64;
    /// Longest name kept, in bytes.
    static constexpr std::size_t kMaxNameBytes = 255;

    /// A node of `cls` holding new gradients of its children's presets; one made for loading
    /// starts empty.
    DataNode(const DataNodeClass &cls, bool loading);

    Class_ID ClassID() override { return class_.id; }
    SClass_ID SuperClassID() override { return REF_MAKER_CLASS_ID; }
    void GetClassName(TSTR &s) override { s = class_.name; }

    int NumRefs() override { return Count(); }
    ReferenceTarget *GetReference(int i) override { return Get(i); }
    void SetReference(int i, ReferenceTarget *target) override;
    int NumSubs() override { return Count(); }
    Animatable *SubAnim(int i) override { return Get(i); }
    TSTR SubAnimName(int i) override;
    ReferenceTarget *Clone(RemapDir &remap) override;
    IOResult Save(ISave *isave) override;
    /// Refuses (IO_ERROR) a name list longer than kMaxChildren or with a name too long.
    IOResult Load(ILoad *iload) override;

    /// Adds `gradient` (which the node then owns) under `name` (cut to kMaxNameBytes); its
    /// index, or -1 when the node is full or `gradient` is null.
    int Add(const std::string &name, Gradient *gradient);
    int Count() const { return int(children_.size()); }
    /// Gradient `i`, or null.
    Gradient *Get(int i) const;
    /// The first gradient named `name`, or null.
    Gradient *Find(const std::string &name) const;

private:
    const DataNodeClass &class_;
    std::vector<Gradient *> children_;
    std::vector<std::string> names_;
};

/// The host's descriptor of a data class: `Object` made from `Record` (a GradientPreset or a
/// DataNodeClass). Not public: the data classes are made by the shaders that use them.
template <typename Object, typename Record>
class DataClassDesc final : public ClassDesc {
public:
    explicit constexpr DataClassDesc(const Record &record) : record_(record) {}
    int IsPublic() override { return FALSE; }
    void *Create(BOOL loading) override {
        return static_cast<Animatable *>(new Object(record_, loading != FALSE));
    }
    const TCHAR *ClassName() override { return record_.name; }
    SClass_ID SuperClassID() override { return REF_MAKER_CLASS_ID; }
    Class_ID ClassID() override { return record_.id; }
    const TCHAR *Category() override { return "VolumeFX Data"; }

private:
    const Record &record_;
};
