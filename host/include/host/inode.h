/// @file inode.h
/// @brief Scene nodes: name, place in the hierarchy, the object they carry, selection, wire
///        colour and transform.
#pragma once

#include "host/animatable.h"
#include "host/geom.h"
#include "host/object.h"

#include <string>
#include <vector>

/// Class identifier of the host's scene node (super class BASENODE_CLASS_ID).
constexpr Class_ID NODE_CLASS_ID(0x4E4F4445, 0x00000001);

class Mtl;

/// A scene node. References: 0 is the object, 1 + i is child i, and the one after the last
/// child (1 + `NumberOfChildren()`) is the material. A parent owns its children
/// through those references: deleting a node deletes the children that nobody else references.
/// Nodes are made and deleted through the `Interface` (`CreateObjectNode`, `DeleteNode`).
class INode : public ReferenceTarget {
public:
    INode();
    /// Children that outlive this node (referenced elsewhere) lose their parent.
    ~INode() override;

    SClass_ID SuperClassID() override { return BASENODE_CLASS_ID; }
    Class_ID ClassID() override { return NODE_CLASS_ID; }
    void GetClassName(TSTR &s) override { s = "Node"; }

    // Name
    const TCHAR *GetName() const { return name_.c_str(); }
    /// Renames the node and tells its dependents (REFMSG_NODE_NAMECHANGE).
    void SetName(const TCHAR *name);

    // Hierarchy
    BOOL IsRootNode() const { return root_ ? TRUE : FALSE; }
    /// The parent, or null for the root and for detached nodes.
    INode *GetParentNode() const { return parent_; }
    int NumberOfChildren() const { return static_cast<int>(children_.size()); }
    INode *GetChildNode(int i) const;
    /// Makes `child` the last child of this node, detaching it from its previous parent. The
    /// world transform of the child is kept (`keepTM` is accepted for compatibility).
    void AttachChild(INode *child, int keepTM = 1);
    /// Removes this node from its parent without deleting it; if nothing else references it,
    /// the caller owns it afterwards.
    void Detach(TimeValue t, int keepTM = 1);

    // Object
    Object *GetObjectRef() const { return object_; }
    /// Makes `obj` the node's object (reference 0); the previous object is deleted if nothing
    /// else references it.
    void SetObjectRef(Object *obj);
    /// The node's object evaluated at t (an empty state when the node carries none).
    ObjectState EvalWorldState(TimeValue t, BOOL evalHidden = TRUE);

    // Material
    /// The node's material, or null (the renderer then uses the wire colour).
    Mtl *GetMtl() const { return mtl_; }
    /// Makes `mtl` the node's material; the previous one is deleted if nothing else
    /// references it.
    void SetMtl(Mtl *mtl);

    // Selection and display (selection is changed through the Interface)
    BOOL Selected() const { return selected_ ? TRUE : FALSE; }
    /// Wire colour as 0x00BBGGRR.
    DWORD GetWireColor() const { return wireColor_; }
    void SetWireColor(DWORD color) { wireColor_ = color; }

    // Transform (world space; constant over time for now)
    Matrix3 GetNodeTM(TimeValue t, Interval *valid = nullptr) const;
    void SetNodeTM(TimeValue t, const Matrix3 &tm);
    /// Transform of the object in world space (the node transform: objects sit at their node).
    Matrix3 GetObjectTM(TimeValue t, Interval *valid = nullptr) const {
        return GetNodeTM(t, valid);
    }

    // References
    int NumRefs() override { return 2 + NumberOfChildren(); }
    ReferenceTarget *GetReference(int i) override;
    void SetReference(int i, ReferenceTarget *rtarg) override;
    RefResult NotifyRefChanged(Interval changeInt, ReferenceTarget *hTarget, PartID &partID,
                               RefMessage message) override;

    IOResult Save(ISave *isave) override;
    IOResult Load(ILoad *iload) override;

private:
    friend class Interface;
    friend class NodeFixup;
    void SetSelected(bool on) { selected_ = on; }
    void MakeRoot() { root_ = true; }
    /// Drops the reference to `child` (without deleting it) and removes its slot.
    void RemoveChildSlot(INode *child);
    int MtlRefIndex() const { return 1 + NumberOfChildren(); }

    std::string name_;
    INode *parent_ = nullptr;
    Object *object_ = nullptr;
    Mtl *mtl_ = nullptr;
    std::vector<INode *> children_;
    Matrix3 tm_;
    DWORD wireColor_ = 0x00B0B0B0;
    bool selected_ = false;
    bool root_ = false;
};
