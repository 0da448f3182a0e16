/// @file param_owner.h
/// @brief Host objects whose parameters live in one parameter block at reference 0, laid out
///        by a table of names, types, identifiers, defaults and dimensions (geometry,
///        materials, lights).
#pragma once

#include "host/animatable.h"
#include "host/paramblock.h"

#include <span>

/// One parameter of a host object: how the block stores it and what the owner answers for it.
struct ParamSpec {
    const char *name;  ///< answered to the parameter-name query; the JSON scene uses it
    ParamType type;
    BOOL animatable;
    DWORD id;      ///< parameter identifier in the block layout
    float def[3];  ///< default (ints and BOOLs: def[0]; colours and points: all three)
    ParamDimension *const *dim;  ///< answered to the dimension query (defaultDim when null)
};

/// A new block laid out by `specs` with version `version`, every parameter at its default
/// (set as constants, never as keys).
IParamBlock *CreateParamBlockFromSpecs(std::span<const ParamSpec> specs, DWORD version);
/// Answers a parameter-name or parameter-dimension query about a block laid out by `specs`;
/// false (and nothing written) for any other message.
bool AnswerParamQuery(std::span<const ParamSpec> specs, PartID &partID, RefMessage message);

/// `Base` (an `Object` or `ReferenceTarget` class) with its parameter block as reference 0 and
/// sub-animatable 0 ("Parameters"). The block is made at construction unless the object is
/// about to be loaded (the file then supplies it).
template <class Base>
class ParamBlockOwner : public Base {
public:
    IParamBlock *GetParamBlock() const { return pblock_; }

    int NumRefs() override { return 1; }
    ReferenceTarget *GetReference(int i) override { return i == 0 ? pblock_ : nullptr; }
    void SetReference(int i, ReferenceTarget *rtarg) override {
        if (i == 0) pblock_ = dynamic_cast<IParamBlock *>(rtarg);
    }
    int NumSubs() override { return 1; }
    Animatable *SubAnim(int i) override { return i == 0 ? pblock_ : nullptr; }
    TSTR SubAnimName(int i) override { return i == 0 ? TSTR("Parameters") : TSTR(); }

    RefResult NotifyRefChanged(Interval, ReferenceTarget *, PartID &partID,
                               RefMessage message) override {
        return AnswerParamQuery(specs_, partID, message) ? REF_STOP : REF_SUCCEED;
    }

protected:
    ParamBlockOwner(std::span<const ParamSpec> specs, DWORD version, bool loading)
        : specs_(specs) {
        if (!loading) this->MakeRefByID(FOREVER, 0, CreateParamBlockFromSpecs(specs, version));
    }

    /// Gives `copy` a clone of this object's block (for `Clone`).
    void CloneParamsInto(ParamBlockOwner &copy, RemapDir &remap) {
        copy.ReplaceReference(0, remap.CloneRef(pblock_));
    }

    // Values of the block at t; a missing block (a load that failed) reads as zero.
    float GetFloat(int i, TimeValue t) const {
        float v = 0.0f;
        if (pblock_) pblock_->GetValue(i, t, v);
        return v;
    }
    int GetInt(int i, TimeValue t) const {
        int v = 0;
        if (pblock_) pblock_->GetValue(i, t, v);
        return v;
    }
    Color GetColor(int i, TimeValue t) const {
        Color v;
        if (pblock_) pblock_->GetValue(i, t, v);
        return v;
    }
    template <typename T>
    void SetParam(int i, TimeValue t, const T &v) {
        if (pblock_) pblock_->SetValue(i, t, v);
    }

private:
    std::span<const ParamSpec> specs_;
    IParamBlock *pblock_ = nullptr;
};
