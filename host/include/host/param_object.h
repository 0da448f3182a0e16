/// @file param_object.h
/// @brief Objects described by a table of parameters: one parameter block as reference 0 whose
///        names, dimensions, defaults and ranges come from the table, answered to the host's
///        parameter-name, -dimension and -range queries.
#pragma once

#include "host/animatable.h"
#include "host/paramblock.h"

/// `ParamSpec::id` of a parameter whose identifier is its index.
constexpr DWORD kParamIDIsIndex = 0xFFFFFFFF;

/// One parameter of a table-described block.
struct ParamSpec {
    const char *name;  ///< the name users set it by ("Birth Rate")
    ParamType type;
    BOOL animatable;
    float defaultValue;  ///< default of float, int and BOOL parameters
    ParamDimension
        *dim;  ///< how a user interface shows it (stdTimeDim: ticks, shown as frames)
    Color defaultColor{};        ///< default of TYPE_RGBA and TYPE_POINT3 parameters
    DWORD id = kParamIDIsIndex;  ///< identifier in a versioned layout
    /// The values the parameter accepts (in the block's units). The block takes any value; the
    /// readers of files and user input that check values check this range.
    ParamRange range{};
};

/// A new block with the table's layout, identifiers and defaults, and version `version`.
IParamBlock *MakeParamBlock(const ParamSpec *specs, int count, DWORD version = 0);
/// Narrows `valid` to the times around t where every parameter of `block` keeps its value.
void NarrowToBlockValidity(IParamBlock *block, TimeValue t, Interval &valid);
/// TRUE when `block` has the table's layout (count and types), so it can be read by index.
bool BlockMatches(IParamBlock *block, const ParamSpec *specs, int count);
/// Answers REFMSG_GET_PARAM_NAME, REFMSG_GET_PARAM_DIM and REFMSG_GET_PARAM_RANGE from the
/// table (indices outside it are named "??" and unbounded); false for any other message.
bool AnswerParamQuery(const ParamSpec *specs, int count, PartID partID, RefMessage message);

/// An object of base `Base` (an `Object` subclass) whose reference 0 and sub-animatable 0
/// ("Parameters") is its table-described block. A block of another layout put into slot 0
/// (from a damaged file) is not taken: the slot stays empty and reads give the defaults.
template <typename Base>
class ParamObject : public Base {
public:
    /// An object made for loading gets its block from the file.
    ParamObject(const ParamSpec *specs, int count, bool loading, DWORD version = 0)
        : specs_(specs), count_(count) {
        if (!loading) this->ReplaceReference(0, MakeParamBlock(specs, count, version));
    }

    /// The block (overrides the base's query where it has one).
    IParamBlock *GetParamBlock() const { return pblock_; }

    int NumRefs() override { return 1; }
    ReferenceTarget *GetReference(int i) override { return i == 0 ? pblock_ : nullptr; }
    void SetReference(int i, ReferenceTarget *rtarg) override {
        if (i != 0) return;
        auto *block = dynamic_cast<IParamBlock *>(rtarg);
        pblock_ = BlockMatches(block, specs_, count_) ? block : nullptr;
    }
    int NumSubs() override { return 1; }
    Animatable *SubAnim(int i) override { return i == 0 ? pblock_ : nullptr; }
    TSTR SubAnimName(int i) override { return i == 0 ? "Parameters" : TSTR(); }

    RefResult NotifyRefChanged(Interval, ReferenceTarget *, PartID &partID,
                               RefMessage message) override {
        return AnswerParamQuery(specs_, count_, partID, message) ? REF_STOP : REF_SUCCEED;
    }

protected:
    /// Parameter `i` at t (the default without a block); `valid` is narrowed as the block does.
    float GetFloat(int i, TimeValue t, Interval &valid) const {
        float v = specs_[i].defaultValue;
        if (pblock_) pblock_->GetValue(i, t, v, valid);
        return v;
    }
    int GetInt(int i, TimeValue t, Interval &valid) const {
        int v = static_cast<int>(specs_[i].defaultValue);
        if (pblock_) pblock_->GetValue(i, t, v, valid);
        return v;
    }
    float GetFloat(int i, TimeValue t) const {
        Interval valid = FOREVER;
        return GetFloat(i, t, valid);
    }
    int GetInt(int i, TimeValue t) const {
        Interval valid = FOREVER;
        return GetInt(i, t, valid);
    }
    Color GetColor(int i, TimeValue t) const {
        Color v = specs_[i].defaultColor;
        Interval valid = FOREVER;
        if (pblock_) pblock_->GetValue(i, t, v, valid);
        return v;
    }
    /// Sets parameter `i` at t by the animate-mode rule (nothing without a block).
    template <typename T>
    void SetParam(int i, TimeValue t, const T &v) {
        if (pblock_) pblock_->SetValue(i, t, v);
    }
    /// Gives `copy` (made for loading) a clone of this object's block.
    void CloneBlockInto(ParamObject &copy, RemapDir &remap) {
        copy.ReplaceReference(0, remap.CloneRef(pblock_));
    }

private:
    const ParamSpec *specs_;
    int count_;
    IParamBlock *pblock_ = nullptr;
};
