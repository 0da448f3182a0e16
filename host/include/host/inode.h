/// @file inode.h
/// @brief Scene nodes: name, place in the hierarchy, the object they carry, selection, wire
///        colour, keyed transform and look-at target.
#pragma once

#include "host/animatable.h"
#include "host/geom.h"
#include "host/node_transform.h"
#include "host/object.h"

#include <string>
#include <vector>

/// Class identifier of the host's scene node (super class BASENODE_CLASS_ID).
constexpr Class_ID NODE_CLASS_ID(0x4E4F4445, 0x00000001);

class Mtl;

/// A scene node. References: 0 is the object, 1 + i is child i, then the look-at target
/// (1 + NumberOfChildren(), possibly empty) and the material (2 + NumberOfChildren(),
/// possibly empty; after the target so that scene files saved before nodes had materials
/// keep their slots). A parent owns its children
/// through those references: deleting a node deletes the children that nobody else references.
/// Nodes are made and deleted through the `Interface` (`CreateObjectNode`, `DeleteNode`).
///
/// Transform: a local transform (node_transform.h) relative to the parent's world transform.
/// A node with a target takes its world orientation from the look-at instead of its rotation
/// track: its −z axis points at the target's world position and its y axis leans towards
/// world +z (world +y when it looks straight up or down); its position still follows its own
/// track in the parent's frame and its scale its own scale track. When node and target are at
/// the same place the node keeps its own orientation. A node cannot aim at itself or at one of
/// its ancestors (the reference would close a cycle).
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
    /// Makes `child` the last child of this node, detaching it from its previous parent. With
    /// `keepTM`, a child whose transform has no keys gets the local transform that keeps its
    /// world transform at the current time; a keyed child keeps its keys, which are then
    /// relative to the new parent.
    void AttachChild(INode *child, int keepTM = 1);
    /// Removes this node from its parent without deleting it; if nothing else references it,
    /// the caller owns it afterwards. `keepTM` keeps the world transform at t as in
    /// `AttachChild`.
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

    // Transform
    /// World transform at t; `valid` (when given) is narrowed to the times around t where it
    /// stays the same.
    Matrix3 GetNodeTM(TimeValue t, Interval *valid = nullptr) const;
    /// Gives the node the world transform `tm` at t (shear dropped): the local position,
    /// rotation and scale that produce it are set by the animate-mode rule, a key at t on a
    /// keyed track or while animating, the constant otherwise. Nothing changes under a parent
    /// scaled to nothing along an axis (no local transform reaches `tm` then).
    void SetNodeTM(TimeValue t, const Matrix3 &tm);
    /// World transform of the parent at t (identity without a parent).
    Matrix3 GetParentTM(TimeValue t, Interval *valid = nullptr) const;
    /// The local transform; change it through the setters below so that dependents hear.
    const PRSTransform &GetLocalTransform() const { return prs_; }
    /// Local values at t by the animate-mode rule.
    void SetPosition(TimeValue t, const Point3 &p);
    void SetRotation(TimeValue t, const Quat &q);
    void SetScale(TimeValue t, const Point3 &s);
    /// Local keys, whatever the animate mode.
    void SetPositionKey(TimeValue t, const Point3 &p);
    void SetRotationKey(TimeValue t, const Quat &q);
    /// A rotation key from Euler angles in degrees (`EulerToQuat`).
    void SetRotationKeyEuler(TimeValue t, const Point3 &degrees);
    void SetScaleKey(TimeValue t, const Point3 &s);
    void DeleteKeys(TransformTrack track);

    // Look-at target
    /// Aims the node at `target` (null removes the target). False, changing nothing, when the
    /// target is the node itself or one of its ancestors.
    bool SetTarget(INode *target);
    INode *GetTarget() const { return target_; }
    /// Transform of the object in world space (the node transform: objects sit at their node).
    Matrix3 GetObjectTM(TimeValue t, Interval *valid = nullptr) const {
        return GetNodeTM(t, valid);
    }

    // References
    int NumRefs() override { return 3 + NumberOfChildren(); }
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
    int TargetSlot() const { return 1 + NumberOfChildren(); }
    int MtlRefIndex() const { return 2 + NumberOfChildren(); }
    /// Applies `change` to the local transform and tells the dependents.
    template <typename F>
    void ChangeTransform(F &&change);
    /// Without keys: sets the local transform that puts the node at world `tm` at t.
    void KeepWorldTM(TimeValue t, const Matrix3 &world);

    std::string name_;
    INode *parent_ = nullptr;
    Object *object_ = nullptr;
    Mtl *mtl_ = nullptr;
    std::vector<INode *> children_;
    INode *target_ = nullptr;
    PRSTransform prs_;
    DWORD wireColor_ = 0x00B0B0B0;
    bool selected_ = false;
    bool root_ = false;
};
