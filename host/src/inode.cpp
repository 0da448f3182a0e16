/// @file inode.cpp
/// @brief Scene nodes: hierarchy through references, object, selection, keyed transform,
///        look-at target and their scene-file chunks.
#include "host/inode.h"

#include "host/interface.h"
#include "host/material.h"
#include "host/messages.h"

#include "binary_io.h"
#include "built_in_class.h"

#include <algorithm>

namespace {

// Scene-file chunks of a node.
constexpr USHORT kChunkName = 0x0100;
constexpr USHORT kChunkFlags = 0x0110;  // bit 0 selected, bit 1 root
constexpr USHORT kChunkWire = 0x0120;   // wire colour 0x00BBGGRR
// 0x0150 … 0x0170: the local transform's tracks (node_transform.cpp)
constexpr USHORT kChunkChildren =
    0x0140;  // number of child references that follow the object's
constexpr std::uint32_t kFlagSelected = 1u << 0;
constexpr std::uint32_t kFlagRoot = 1u << 1;
/// Most children one node may declare in a file (bounds the slot table allocated on load).
constexpr std::uint32_t kMaxChildren = 1u << 20;

/// Nodes whose look-at is being worked out on this thread: a target that depends on its
/// looker (a target below the looking node) sees the looker without its look-at.
thread_local std::vector<const INode *> aiming;

}  // namespace

/// Runs after a scene load: drops child slots that the file left empty.
class NodeFixup final : public PostLoadCallback {
public:
    explicit NodeFixup(INode *node) : node_(node) {}
    void proc(ILoad *) override {
        std::erase(node_->children_, nullptr);
        delete this;
    }

private:
    INode *node_;
};

INode::INode() = default;

INode::~INode() {
    for (INode *child : children_) {
        if (child && child->parent_ == this) child->parent_ = nullptr;
    }
}

void INode::SetName(const TCHAR *name) {
    name_ = name ? name : "";
    NotifyDependents(FOREVER, PART_ALL, REFMSG_NODE_NAMECHANGE);
}

INode *INode::GetChildNode(int i) const {
    DbgAssert(i >= 0 && i < NumberOfChildren());
    return children_[i];
}

void INode::AttachChild(INode *child, int keepTM) {
    DbgAssert(child && child != this && !child->IsRootNode());
    INode *oldParent = child->parent_;
    if (oldParent == this) return;
    for (INode *up = this; up; up = up->parent_) DbgAssert(up != child);  // no cycles
    const TimeValue now = GetCOREInterface()->GetTime();
    const Matrix3 world = child->GetNodeTM(now);
    // Referenced here first, so that leaving the old parent cannot delete the child.
    children_.push_back(nullptr);
    if (ReplaceReference(NumberOfChildren(), child) != REF_SUCCEED) {
        // The child reaches this node through other references (an object of the child refers
        // to this node or an ancestor): the hierarchy would close a reference cycle.
        children_.pop_back();
        DbgAssert(!"AttachChild: the child refers back to its new parent");
    }
    if (oldParent) oldParent->RemoveChildSlot(child);
    if (keepTM) child->KeepWorldTM(now, world);
}

void INode::Detach(TimeValue t, int keepTM) {
    if (!parent_) return;
    const Matrix3 world = GetNodeTM(t);
    parent_->RemoveChildSlot(this);
    if (keepTM) KeepWorldTM(t, world);
}

void INode::RemoveChildSlot(INode *child) {
    auto it = std::find(children_.begin(), children_.end(), child);
    DbgAssert(it != children_.end());
    const int slot = 1 + static_cast<int>(it - children_.begin());
    ReplaceReference(slot, nullptr, FALSE);
    children_.erase(children_.begin() + (slot - 1));
}

void INode::SetObjectRef(Object *obj) {
    ReplaceReference(0, obj);
}

void INode::SetMtl(Mtl *mtl) {
    ReplaceReference(MtlRefIndex(), mtl);
}

ObjectState INode::EvalWorldState(TimeValue t, BOOL) {
    return object_ ? object_->Eval(t) : ObjectState();
}

Matrix3 INode::GetParentTM(TimeValue t, Interval *valid) const {
    return parent_ ? parent_->GetNodeTM(t, valid) : Matrix3();
}

Matrix3 INode::GetNodeTM(TimeValue t, Interval *valid) const {
    Interval iv = FOREVER;
    Matrix3 world = prs_.GetMatrix(t, iv) * GetParentTM(t, &iv);
    if (target_ && std::find(aiming.begin(), aiming.end(), this) == aiming.end()) {
        aiming.push_back(this);
        const Point3 at = target_->GetNodeTM(t, &iv).GetTrans();
        aiming.pop_back();
        Matrix3 rot;
        if (LookAtRotation(world.GetTrans(), at, rot)) {
            const Point3 eye = world.GetTrans();
            world = ScaleMatrix(prs_.GetScale(t, iv)) * rot;
            world.SetTrans(eye);
        }
    }
    if (valid) *valid &= iv;
    return world;
}

void INode::SetNodeTM(TimeValue t, const Matrix3 &tm) {
    const Matrix3 parent = GetParentTM(t);
    if (parent.Determinant() == 0.0f) return;  // no local transform reaches `tm`
    ChangeTransform([&](PRSTransform &prs) { prs.SetMatrix(t, tm * Inverse(parent)); });
}

void INode::KeepWorldTM(TimeValue t, const Matrix3 &world) {
    if (prs_.HasKeys() || GetNodeTM(t) == world) return;
    SuspendAnimate();  // a new constant, never a key
    SetNodeTM(t, world);
    ResumeAnimate();
}

template <typename F>
void INode::ChangeTransform(F &&change) {
    change(prs_);
    NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
}

void INode::SetPosition(TimeValue t, const Point3 &p) {
    ChangeTransform([&](PRSTransform &prs) { prs.SetPosition(t, p); });
}
void INode::SetRotation(TimeValue t, const Quat &q) {
    ChangeTransform([&](PRSTransform &prs) { prs.SetRotation(t, q); });
}
void INode::SetScale(TimeValue t, const Point3 &s) {
    ChangeTransform([&](PRSTransform &prs) { prs.SetScale(t, s); });
}
void INode::SetPositionKey(TimeValue t, const Point3 &p) {
    ChangeTransform([&](PRSTransform &prs) { prs.SetPositionKey(t, p); });
}
void INode::SetRotationKey(TimeValue t, const Quat &q) {
    ChangeTransform([&](PRSTransform &prs) { prs.SetRotationKey(t, q); });
}
void INode::SetRotationKeyEuler(TimeValue t, const Point3 &degrees) {
    SetRotationKey(t, EulerToQuat(degrees));
}
void INode::SetScaleKey(TimeValue t, const Point3 &s) {
    ChangeTransform([&](PRSTransform &prs) { prs.SetScaleKey(t, s); });
}
void INode::DeleteKeys(TransformTrack track) {
    ChangeTransform([&](PRSTransform &prs) { prs.DeleteKeys(track); });
}

bool INode::SetTarget(INode *target) {
    if (target == this) return false;
    if (ReplaceReference(TargetSlot(), target) != REF_SUCCEED) return false;
    NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
    return true;
}

ReferenceTarget *INode::GetReference(int i) {
    if (i == 0) return object_;
    if (i == TargetSlot()) return target_;
    if (i >= 1 && i <= NumberOfChildren()) return children_[i - 1];
    if (i == MtlRefIndex()) return mtl_;
    return nullptr;
}

void INode::SetReference(int i, ReferenceTarget *rtarg) {
    if (i == 0) {
        object_ = dynamic_cast<Object *>(rtarg);
        return;
    }
    if (i == TargetSlot()) {
        target_ = dynamic_cast<INode *>(rtarg);
        return;
    }
    if (i == MtlRefIndex()) {
        mtl_ = dynamic_cast<Mtl *>(rtarg);
        return;
    }
    if (i < 1 || i > NumberOfChildren()) return;
    INode *&slot = children_[i - 1];
    if (slot && slot->parent_ == this) slot->parent_ = nullptr;
    slot = dynamic_cast<INode *>(rtarg);
    if (slot) slot->parent_ = this;
}

RefResult INode::NotifyRefChanged(Interval, ReferenceTarget *hTarget, PartID &,
                                  RefMessage message) {
    if (message == REFMSG_TARGET_DELETED && hTarget != object_ && hTarget != mtl_) {
        // A child is going away: its slot goes with it.
        auto it = std::find(children_.begin(), children_.end(), hTarget);
        if (it != children_.end()) children_.erase(it);
    }
    return REF_SUCCEED;
}

IOResult INode::Save(ISave *isave) {
    ISave &s = *isave;
    bool ok = true;
    s.BeginChunk(kChunkName);
    ok = ok && hostio::WriteString(s, name_);
    s.EndChunk();
    s.BeginChunk(kChunkFlags);
    ok = ok && hostio::WriteU32(s, (selected_ ? kFlagSelected : 0) | (root_ ? kFlagRoot : 0));
    s.EndChunk();
    s.BeginChunk(kChunkWire);
    ok = ok && hostio::WriteU32(s, wireColor_);
    s.EndChunk();
    ok = ok && prs_.Save(s);
    s.BeginChunk(kChunkChildren);
    ok = ok && hostio::WriteU32(s, static_cast<std::uint32_t>(children_.size()));
    s.EndChunk();
    return ok ? IO_OK : IO_ERROR;
}

IOResult INode::Load(ILoad *iload) {
    ILoad &l = *iload;
    IOResult res;
    while ((res = l.OpenChunk()) == IO_OK) {
        bool ok = true;
        switch (l.CurChunkID()) {
            case kChunkName:
                ok = hostio::ReadString(l, name_);
                break;
            case kChunkFlags: {
                std::uint32_t flags = 0;
                ok = hostio::ReadU32(l, flags);
                selected_ = (flags & kFlagSelected) != 0;
                root_ = (flags & kFlagRoot) != 0;
                break;
            }
            case kChunkWire:
                ok = hostio::ReadU32(l, wireColor_);
                break;
            case kChunkChildren: {
                std::uint32_t count = 0;
                ok = hostio::ReadU32(l, count) && count <= kMaxChildren;
                // The host restores the child references after this load.
                if (ok) children_.assign(count, nullptr);
                break;
            }
            default:
                ok = prs_.LoadChunk(l) != PRSTransform::LoadResult::kError;
                break;
        }
        if (!ok) return IO_ERROR;
        if (l.CloseChunk() != IO_OK) return IO_ERROR;
    }
    if (res != IO_END) return IO_ERROR;
    l.RegisterPostLoadCallback(new NodeFixup(this));
    return IO_OK;
}

namespace {

BuiltInClassDesc<INode> nodeDesc("Node", BASENODE_CLASS_ID, NODE_CLASS_ID);

}  // namespace
