/// @file inode.cpp
/// @brief Scene nodes: hierarchy through references, object, selection, transform and their
///        scene-file chunks.
#include "host/inode.h"

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
constexpr USHORT kChunkTM = 0x0130;     // 4 rows of 3 floats
constexpr USHORT kChunkChildren =
    0x0140;  // number of child references that follow the object's
constexpr std::uint32_t kFlagSelected = 1u << 0;
constexpr std::uint32_t kFlagRoot = 1u << 1;
/// Most children one node may declare in a file (bounds the slot table allocated on load).
constexpr std::uint32_t kMaxChildren = 1u << 20;

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
    // Referenced here first, so that leaving the old parent cannot delete the child.
    children_.push_back(nullptr);
    if (ReplaceReference(NumberOfChildren(), child) != REF_SUCCEED) {
        // The child reaches this node through other references (an object of the child refers
        // to this node or an ancestor): the hierarchy would close a reference cycle.
        children_.pop_back();
        DbgAssert(!"AttachChild: the child refers back to its new parent");
    }
    if (oldParent) oldParent->RemoveChildSlot(child);
}

void INode::Detach(TimeValue, int) {
    if (parent_) parent_->RemoveChildSlot(this);
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

Matrix3 INode::GetNodeTM(TimeValue, Interval *) const {
    return tm_;
}

void INode::SetNodeTM(TimeValue, const Matrix3 &tm) {
    tm_ = tm;
    NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
}

ReferenceTarget *INode::GetReference(int i) {
    if (i == 0) return object_;
    if (i >= 1 && i <= NumberOfChildren()) return children_[i - 1];
    if (i == MtlRefIndex()) return mtl_;
    return nullptr;
}

void INode::SetReference(int i, ReferenceTarget *rtarg) {
    if (i == 0) {
        object_ = dynamic_cast<Object *>(rtarg);
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
    s.BeginChunk(kChunkTM);
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 3; ++c) ok = ok && hostio::WriteF32(s, tm_.GetRow(r)[c]);
    }
    s.EndChunk();
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
            case kChunkTM:
                for (int r = 0; r < 4 && ok; ++r) {
                    Point3 row;
                    for (int c = 0; c < 3 && ok; ++c) ok = hostio::ReadF32(l, row[c]);
                    tm_.SetRow(r, row);
                }
                break;
            case kChunkChildren: {
                std::uint32_t count = 0;
                ok = hostio::ReadU32(l, count) && count <= kMaxChildren;
                // The host restores the child references after this load.
                if (ok) children_.assign(count, nullptr);
                break;
            }
            default:
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
