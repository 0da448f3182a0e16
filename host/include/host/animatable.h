/// @file animatable.h
/// @brief The object model: validity intervals, reference messages and their query records,
///        parameter dimensions, `Animatable`, `ReferenceMaker`, `ReferenceTarget` and
///        `RemapDir` (cloning).
///
/// Ownership rules
/// ---------------
/// 1. An object that nobody references belongs to whoever created it (the caller of
///    `CreateInstance` or `Clone`, a test, the scene for its root node). The owner deletes it
///    with `DeleteThis()`; deleting it drops every reference it holds (rule 2).
/// 2. Once referenced, a target belongs to the makers that reference it. It is deleted (through
///    its `DeleteThis`) at the moment its last reference is dropped by `DeleteReference`,
///    `ReplaceReference(..., TRUE)`, `MakeRefByID` over it, `DeleteAllRefsFromMe` or the
///    destruction of the last maker that held it (a target that is sending a notification at
///    that moment is deleted when the notification ends). Nobody deletes it by hand after that.
///    `ReplaceReference(..., FALSE)` drops a reference without deleting: if no other reference
///    remains, the caller owns the old target again (rule 1).
/// 3. `DeleteMe()` deletes a target that may still be referenced: every dependent first gets
///    REFMSG_TARGET_DELETED, then every slot that still holds the target is cleared through
///    the maker's `SetReference(i, nullptr)`. Destroying a referenced target in any other way
///    does the same, from its destructor.
/// 4. Makers change their references only through `MakeRefByID`, `ReplaceReference` and
///    `DeleteReference`, which keep the dependency records. `SetReference` is called by the
///    host (those three, scene loading, target deletion) and only stores the pointer.
/// 5. References never form a cycle: a reference that would close one fails with REF_FAIL.
/// One maker may hold the same target in several slots; each slot counts as one reference.
#pragma once

#include "host/class_desc.h"
#include "host/ioapi.h"
#include "host/types.h"

#include <climits>
#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <vector>

using TSTR = std::string;

// ---------------------------------------------------------------------------------------------
// Time intervals

constexpr TimeValue TIME_NegInfinity = INT_MIN;
constexpr TimeValue TIME_PosInfinity = INT_MAX;

/// A closed range of times [start, end]; (TIME_NegInfinity, TIME_NegInfinity) is the empty
/// interval.
class Interval {
public:
    /// The empty interval.
    constexpr Interval() = default;
    constexpr Interval(TimeValue s, TimeValue e) : start_(s), end_(e) {}

    constexpr TimeValue Start() const { return start_; }
    constexpr TimeValue End() const { return end_; }
    void Set(TimeValue s, TimeValue e) {
        start_ = s;
        end_ = e;
    }
    void SetStart(TimeValue s) { start_ = s; }
    void SetEnd(TimeValue e) { end_ = e; }
    void SetInfinite() { Set(TIME_NegInfinity, TIME_PosInfinity); }
    void SetEmpty() { Set(TIME_NegInfinity, TIME_NegInfinity); }
    void SetInstant(TimeValue t) { Set(t, t); }
    constexpr bool Empty() const {
        return start_ > end_ || (start_ == TIME_NegInfinity && end_ == TIME_NegInfinity);
    }
    constexpr bool InInterval(TimeValue t) const {
        return !Empty() && t >= start_ && t <= end_;
    }
    /// Intersection; an empty result is the empty interval.
    Interval &operator&=(const Interval &o);
    Interval operator&(const Interval &o) const {
        Interval r = *this;
        return r &= o;
    }
    constexpr bool operator==(const Interval &) const = default;

private:
    TimeValue start_ = TIME_NegInfinity;
    TimeValue end_ = TIME_NegInfinity;
};

constexpr Interval FOREVER(TIME_NegInfinity, TIME_PosInfinity);
constexpr Interval NEVER(TIME_NegInfinity, TIME_NegInfinity);

// ---------------------------------------------------------------------------------------------
// Reference messages

enum RefResult {
    REF_FAIL = 0,
    REF_SUCCEED = 1,
    REF_DONTCARE = 2,
    /// From `NotifyRefChanged`: handled here, do not pass the message on to my dependents.
    REF_STOP = 3,
};

using RefMessage = ULONG;
/// Which part of a target changed, or, for the queries, a pointer to the query record.
using PartID = std::uintptr_t;
constexpr PartID PART_ALL = ~PartID(0);

/// The target is being deleted; afterwards the host clears every slot that still holds it.
constexpr RefMessage REFMSG_TARGET_DELETED = 0x0001;
/// The target changed; passed on up the dependency chain unless a dependent answers REF_STOP.
constexpr RefMessage REFMSG_CHANGE = 0x0002;
/// The sub-animatable layout of the target changed (references added or removed).
constexpr RefMessage REFMSG_SUBANIM_STRUCTURE_CHANGED = 0x0003;
/// A node's name changed.
constexpr RefMessage REFMSG_NODE_NAMECHANGE = 0x0004;
/// Parameter-name query from a parameter block to its owner; `partID` points to a
/// `GetParamName`. Sent to direct dependents only.
constexpr RefMessage REFMSG_GET_PARAM_NAME = 0x0010;
/// Parameter-dimension query; `partID` points to a `GetParamDim`. Direct dependents only.
constexpr RefMessage REFMSG_GET_PARAM_DIM = 0x0011;
/// Parameter-range query; `partID` points to a `GetParamRange`. Direct dependents only.
constexpr RefMessage REFMSG_GET_PARAM_RANGE = 0x0012;
/// First message number free for the system's own messages.
constexpr RefMessage REFMSG_USER = 0x00010000;

/// Dimension of a parameter: tells a user interface how to show and convert its values.
class ParamDimension {
public:
    explicit constexpr ParamDimension(const char *name) : name_(name) {}
    const char *DimensionName() const { return name_; }

private:
    const char *name_;
};

extern ParamDimension *const defaultDim;   ///< plain number
extern ParamDimension *const stdColorDim;  ///< colour channel 0 … 1
extern ParamDimension *const stdAngleDim;  ///< angle
extern ParamDimension *const stdWorldDim;  ///< world units
extern ParamDimension *const stdTimeDim;   ///< time in ticks

/// Record of REFMSG_GET_PARAM_NAME: the owner writes the name of parameter `index` of the
/// asking block into `name` and answers REF_STOP.
struct GetParamName {
    TSTR name;
    int index = 0;
};

/// Record of REFMSG_GET_PARAM_DIM: the owner writes the dimension of parameter `index`.
struct GetParamDim {
    ParamDimension *dim = nullptr;
    int index = 0;
};

/// The values a parameter accepts, both ends included, in the units the block stores (ticks,
/// radians). An end left open is infinite.
struct ParamRange {
    float low = -std::numeric_limits<float>::infinity();
    float high = std::numeric_limits<float>::infinity();
    constexpr bool Contains(double v) const { return v >= low && v <= high; }
};

/// Record of REFMSG_GET_PARAM_RANGE: the owner writes the range of parameter `index`.
struct GetParamRange {
    ParamRange range;
    int index = 0;
};

/// Filter for `NotifyDependents`: every dependent, whatever its super class.
constexpr SClass_ID NOTIFY_ALL = 0xFFFFFFFF;

// ---------------------------------------------------------------------------------------------
// Objects

class ReferenceTarget;
class RemapDir;

/// Base of every host object: identity, sub-animatables for the track view, interfaces.
class Animatable {
public:
    Animatable() = default;
    Animatable(const Animatable &) = delete;
    Animatable &operator=(const Animatable &) = delete;
    virtual ~Animatable();

    virtual void GetClassName(TSTR &s) { s = "Animatable"; }
    virtual Class_ID ClassID() { return Class_ID(0, 0); }
    virtual SClass_ID SuperClassID() { return 0; }
    /// Deletes the object; the default is `delete this`.
    virtual void DeleteThis() { delete this; }

    virtual int NumSubs() { return 0; }
    virtual Animatable *SubAnim(int i) { return nullptr; }
    virtual TSTR SubAnimName(int i) { return TSTR(); }

    /// An interface of this object by identifier (for example I_PARTICLEOBJ), or null.
    virtual void *GetInterface(ULONG id) { return nullptr; }

    virtual BOOL IsRefMaker() { return FALSE; }
    virtual BOOL IsRefTarget() { return FALSE; }

    // General-purpose flag bits of the object.
    void SetAFlag(DWORD mask) { aflag_ |= mask; }
    void ClearAFlag(DWORD mask) { aflag_ &= ~mask; }
    BOOL TestAFlag(DWORD mask) const { return (aflag_ & mask) ? TRUE : FALSE; }

private:
    DWORD aflag_ = 0;
};

/// An object that holds numbered references to targets. Subclasses store the pointers
/// (`GetReference` / `SetReference`); the base keeps the dependency records (see the ownership
/// rules at the top of this file).
class ReferenceMaker : public Animatable {
public:
    /// Drops every reference still recorded, deleting targets left unreferenced.
    ~ReferenceMaker() override;

    BOOL IsRefMaker() override { return TRUE; }

    // Reference slots (implemented by subclasses)
    virtual int NumRefs() { return 0; }
    virtual ReferenceTarget *GetReference(int i) { return nullptr; }
    /// Stores `rtarg` in slot `i`. Called by the host only (ownership rule 4).
    virtual void SetReference(int i, ReferenceTarget *rtarg) {}

    // Making and dropping references
    /// Makes slot `which` refer to `target` (null drops it); a target already in the slot is
    /// dropped as by `DeleteReference`. REF_FAIL when the reference would close a cycle.
    RefResult MakeRefByID(Interval refInterval, int which, ReferenceTarget *target);
    /// Like `MakeRefByID`; with `delOld` FALSE the old target is never deleted.
    RefResult ReplaceReference(int which, ReferenceTarget *newtarg, BOOL delOld = TRUE);
    /// Empties slot `which`; its target is deleted if this was its last reference.
    RefResult DeleteReference(int which);
    /// Drops every reference this object holds.
    RefResult DeleteAllRefsFromMe();
    /// Index of the first slot holding `target`, or -1.
    int FindRef(ReferenceTarget *target);

    /// A target of mine changed or asks something (`message`); see the REFMSG_ constants.
    virtual RefResult NotifyRefChanged(Interval changeInt, ReferenceTarget *hTarget,
                                       PartID &partID, RefMessage message) {
        return REF_SUCCEED;
    }

    // The object's own data in a scene file (references are saved by the host)
    virtual IOResult Save(ISave *isave) { return IO_OK; }
    virtual IOResult Load(ILoad *iload) { return IO_OK; }

private:
    friend class ReferenceTarget;
    std::vector<ReferenceTarget *> held_;  // one entry per reference made and not dropped
};

/// An object that can be referenced: it tracks its dependents (the makers referencing it, one
/// entry per slot) and sends them messages.
class ReferenceTarget : public ReferenceMaker {
public:
    /// If dependents remain, tells them as `DeleteMe` does (ownership rule 3).
    ~ReferenceTarget() override;

    BOOL IsRefTarget() override { return TRUE; }

    /// A copy of this object whose references are remapped through `remap` (shared targets are
    /// cloned once). Null when the class cannot be cloned.
    virtual ReferenceTarget *Clone(RemapDir &remap) { return nullptr; }

    /// Sends `message` to every dependent (each maker once, whatever the number of its slots
    /// holding me), optionally only to those of super class `sclass`. With `propagate`, a
    /// dependent that is itself a target and did not answer REF_STOP passes the message on to
    /// its own dependents, reporting itself as the changed target.
    RefResult NotifyDependents(Interval changeInt, PartID partID, RefMessage message,
                               SClass_ID sclass = NOTIFY_ALL, BOOL propagate = TRUE,
                               ReferenceTarget *hTarg = nullptr);

    /// Deletes this target even though it may be referenced (ownership rule 3).
    void DeleteMe();

    /// Number of references held on this target (a maker holding it twice counts twice).
    int NumDependents() const { return static_cast<int>(dependents_.size()); }
    /// TRUE when `maker` holds at least one reference to this target.
    bool HasDependent(const ReferenceMaker *maker) const;

private:
    friend class ReferenceMaker;
    /// Tells every dependent that this target goes away and clears their slots.
    void DetachDependents();
    static void DeleteIfUnreferenced(ReferenceTarget *target);
    /// TRUE when this target (through its references) reaches `maker`.
    bool Reaches(const ReferenceMaker *maker) const;

    std::vector<ReferenceMaker *> dependents_;
    bool deleting_ = false;
    int notifying_ = 0;           // NotifyDependents calls in progress on this target
    bool deletePending_ = false;  // lost its last reference while notifying: delete after
};

/// Records which targets were cloned into which during one clone operation, so a target that
/// several makers share is cloned once and the clones share it too.
class RemapDir {
public:
    /// The clone of `oldTarg` made during this operation, cloning it now if needed. Null for
    /// null. A target whose class cannot be cloned yields null.
    ReferenceTarget *CloneRef(ReferenceTarget *oldTarg);
    /// Records that `to` stands for `from` in the copy.
    void AddEntry(ReferenceTarget *from, ReferenceTarget *to) { map_[from] = to; }
    /// The recorded clone of `from`, or null.
    ReferenceTarget *FindMapping(ReferenceTarget *from) const;

private:
    std::map<ReferenceTarget *, ReferenceTarget *> map_;
};

/// Clones `target` and everything it references (each shared target once).
ReferenceTarget *CloneRefHierarchy(ReferenceTarget *target);
