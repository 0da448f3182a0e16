/// @file animatable.cpp
/// @brief Reference bookkeeping: making and dropping references, automatic deletion of
///        unreferenced targets, target deletion, change notification and cloning.
#include "host/animatable.h"

#include "reference_internal.h"

#include <algorithm>

namespace {

thread_local hostref::DeletionWatch *deletionWatch = nullptr;

ParamDimension defaultDimension("Default");
ParamDimension colorDimension("Color");
ParamDimension angleDimension("Angle");
ParamDimension worldDimension("World");
ParamDimension timeDimension("Time");

template <typename T>
bool EraseOne(std::vector<T *> &v, const T *p) {
    auto it = std::find(v.begin(), v.end(), p);
    if (it == v.end()) return false;
    v.erase(it);
    return true;
}

}  // namespace

/// Deletes `target` when nothing references it any more; while it is sending a notification the
/// deletion waits until the notification is over.
void ReferenceTarget::DeleteIfUnreferenced(ReferenceTarget *target) {
    if (target->deleting_ || !target->dependents_.empty()) return;
    if (target->notifying_ > 0) {
        target->deletePending_ = true;
        return;
    }
    target->DeleteThis();
}

ParamDimension *const defaultDim = &defaultDimension;
ParamDimension *const stdColorDim = &colorDimension;
ParamDimension *const stdAngleDim = &angleDimension;
ParamDimension *const stdWorldDim = &worldDimension;
ParamDimension *const stdTimeDim = &timeDimension;

hostref::DeletionWatch *hostref::SetDeletionWatch(DeletionWatch *watch) {
    DeletionWatch *previous = deletionWatch;
    deletionWatch = watch;
    return previous;
}

Animatable::~Animatable() = default;

// Interval -----------------------------------------------------------------------------------

Interval &Interval::operator&=(const Interval &o) {
    if (Empty() || o.Empty()) {
        SetEmpty();
        return *this;
    }
    start_ = std::max(start_, o.start_);
    end_ = std::min(end_, o.end_);
    if (start_ > end_) SetEmpty();
    return *this;
}

// ReferenceMaker -----------------------------------------------------------------------------

ReferenceMaker::~ReferenceMaker() {
    // Virtual calls no longer reach the subclass here, so the recorded references are dropped
    // from the records alone.
    std::vector<ReferenceTarget *> held;
    held.swap(held_);
    for (ReferenceTarget *target : held) {
        if (EraseOne(target->dependents_, static_cast<ReferenceMaker *>(this))) {
            ReferenceTarget::DeleteIfUnreferenced(target);
        }
    }
}

RefResult ReferenceMaker::MakeRefByID(Interval refInterval, int which,
                                      ReferenceTarget *target) {
    return ReplaceReference(which, target, TRUE);
}

RefResult ReferenceMaker::ReplaceReference(int which, ReferenceTarget *newtarg, BOOL delOld) {
    ReferenceTarget *old = GetReference(which);
    if (old == newtarg) return REF_SUCCEED;
    if (newtarg) {
        if (newtarg->Reaches(this)) return REF_FAIL;
        // Recorded before the slot changes so the new target is never without its reference.
        held_.push_back(newtarg);
        newtarg->dependents_.push_back(this);
    }
    SetReference(which, newtarg);
    if (old && EraseOne(held_, old) && EraseOne(old->dependents_, this) && delOld) {
        ReferenceTarget::DeleteIfUnreferenced(old);
    }
    return REF_SUCCEED;
}

RefResult ReferenceMaker::DeleteReference(int which) {
    return ReplaceReference(which, nullptr, TRUE);
}

RefResult ReferenceMaker::DeleteAllRefsFromMe() {
    for (int i = 0; i < NumRefs(); ++i) {
        if (GetReference(i)) DeleteReference(i);
    }
    // References the subclass dropped from its slots on its own are released as well.
    while (!held_.empty()) {
        ReferenceTarget *target = held_.back();
        held_.pop_back();
        if (EraseOne(target->dependents_, this)) ReferenceTarget::DeleteIfUnreferenced(target);
    }
    return REF_SUCCEED;
}

int ReferenceMaker::FindRef(ReferenceTarget *target) {
    if (!target) return -1;
    for (int i = 0; i < NumRefs(); ++i) {
        if (GetReference(i) == target) return i;
    }
    return -1;
}

// ReferenceTarget ----------------------------------------------------------------------------

ReferenceTarget::~ReferenceTarget() {
    deleting_ = true;
    if (!dependents_.empty()) DetachDependents();
    if (deletionWatch) deletionWatch->alive.erase(this);
}

void ReferenceTarget::DeleteMe() {
    if (deleting_) return;
    deleting_ = true;
    DetachDependents();
    DeleteThis();
}

void ReferenceTarget::DetachDependents() {
    while (!dependents_.empty()) {
        ReferenceMaker *maker = dependents_.front();
        PartID part = PART_ALL;
        maker->NotifyRefChanged(FOREVER, this, part, REFMSG_TARGET_DELETED);
        // The maker may have dropped the reference itself (or even been deleted, which removes
        // it from the records); clear whatever slots still hold me.
        if (!HasDependent(maker)) continue;
        const int n = maker->NumRefs();
        for (int i = 0; i < n; ++i) {
            if (maker->GetReference(i) == this) maker->SetReference(i, nullptr);
        }
        std::erase(dependents_, maker);
        std::erase(maker->held_, this);
    }
}

bool ReferenceTarget::HasDependent(const ReferenceMaker *maker) const {
    return std::find(dependents_.begin(), dependents_.end(), maker) != dependents_.end();
}

bool ReferenceTarget::Reaches(const ReferenceMaker *maker) const {
    if (static_cast<const ReferenceMaker *>(this) == maker) return true;
    std::vector<const ReferenceTarget *> stack{this};
    std::vector<const ReferenceTarget *> seen;
    while (!stack.empty()) {
        const ReferenceTarget *t = stack.back();
        stack.pop_back();
        for (const ReferenceTarget *next : t->held_) {
            if (static_cast<const ReferenceMaker *>(next) == maker) return true;
            if (std::find(seen.begin(), seen.end(), next) == seen.end()) {
                seen.push_back(next);
                stack.push_back(next);
            }
        }
    }
    return false;
}

RefResult ReferenceTarget::NotifyDependents(Interval changeInt, PartID partID,
                                            RefMessage message, SClass_ID sclass,
                                            BOOL propagate, ReferenceTarget *hTarg) {
    ReferenceTarget *changed = hTarg ? hTarg : this;
    // A handler may add or drop references while we go; work on a snapshot of the makers and
    // skip those that stopped depending on me in the meantime.
    std::vector<ReferenceMaker *> makers;
    for (ReferenceMaker *m : dependents_) {
        if (std::find(makers.begin(), makers.end(), m) == makers.end()) makers.push_back(m);
    }
    ++notifying_;
    for (ReferenceMaker *maker : makers) {
        if (!HasDependent(maker)) continue;
        if (sclass != NOTIFY_ALL && maker->SuperClassID() != sclass) continue;
        const RefResult r = maker->NotifyRefChanged(changeInt, changed, partID, message);
        if (propagate && r != REF_STOP && maker->IsRefTarget()) {
            static_cast<ReferenceTarget *>(maker)->NotifyDependents(changeInt, partID, message,
                                                                    sclass, propagate);
        }
    }
    if (--notifying_ == 0 && deletePending_) {
        deletePending_ = false;
        DeleteIfUnreferenced(this);
    }
    return REF_SUCCEED;
}

// Cloning ------------------------------------------------------------------------------------

ReferenceTarget *RemapDir::CloneRef(ReferenceTarget *oldTarg) {
    if (!oldTarg) return nullptr;
    if (ReferenceTarget *done = FindMapping(oldTarg)) return done;
    ReferenceTarget *copy = oldTarg->Clone(*this);
    if (copy) AddEntry(oldTarg, copy);
    return copy;
}

ReferenceTarget *RemapDir::FindMapping(ReferenceTarget *from) const {
    auto it = map_.find(from);
    return it == map_.end() ? nullptr : it->second;
}

ReferenceTarget *CloneRefHierarchy(ReferenceTarget *target) {
    RemapDir remap;
    return remap.CloneRef(target);
}
