/// @file paramblock.cpp
/// @brief The host's parameter block: storage, keyed evaluation, layout upgrades, cloning and
///        its scene-file chunks.
#include "host/paramblock.h"

#include "host/interface.h"
#include "host/messages.h"

#include "binary_io.h"
#include "built_in_class.h"
#include "key_track.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// Scene-file chunks of a parameter block.
constexpr USHORT kChunkHeader = 0x0001;  // version, parameter count
constexpr USHORT kChunkParam = 0x0002;   // one parameter: layout, constant value, keys

/// One value of any parameter type: ints (and BOOLs) in `i`, floats in f[0], colours and
/// points in f[0..2].
struct Value {
    int i = 0;
    float f[3] = {0.0f, 0.0f, 0.0f};
};

struct Key {
    TimeValue t;
    Value v;
};

struct Param {
    ParamType type = TYPE_FLOAT;
    BOOL animatable = FALSE;
    DWORD id = 0;
    Value constant;
    std::vector<Key> keys;  // increasing time; empty for a constant parameter
};

bool IsIntType(ParamType t) {
    return t == TYPE_INT || t == TYPE_BOOL;
}
bool IsTripleType(ParamType t) {
    return t == TYPE_RGBA || t == TYPE_POINT3;
}
bool IsKnownType(std::uint32_t t) {
    return t <= TYPE_BOOL;
}

int RoundToInt(double v) {
    if (!(v == v)) return 0;  // NaN
    return static_cast<int>(std::llround(std::clamp(v, double(INT_MIN), double(INT_MAX))));
}

int TripleCount(ParamType t) {
    return IsTripleType(t) ? 3 : 1;
}

Value Lerp(ParamType type, const Value &a, const Value &b, double u) {
    Value r;
    if (type == TYPE_INT) {
        r.i = RoundToInt(a.i + (double(b.i) - double(a.i)) * u);
        return r;
    }
    for (int c = 0; c < TripleCount(type); ++c) {
        r.f[c] = static_cast<float>(a.f[c] + (double(b.f[c]) - double(a.f[c])) * u);
    }
    return r;
}

bool WriteValue(ISave &s, ParamType type, const Value &v) {
    if (IsIntType(type)) return hostio::WriteI32(s, v.i);
    for (int c = 0; c < TripleCount(type); ++c) {
        if (!hostio::WriteF32(s, v.f[c])) return false;
    }
    return true;
}

bool ReadValue(ILoad &l, ParamType type, Value &v) {
    if (IsIntType(type)) return hostio::ReadI32(l, v.i);
    for (int c = 0; c < TripleCount(type); ++c) {
        if (!hostio::ReadF32(l, v.f[c])) return false;
    }
    return true;
}

std::uint32_t ValueBytes(ParamType type) {
    return IsIntType(type) ? 4 : 4 * TripleCount(type);
}

/// Converts a value read from a parameter of type `from` for a parameter of type `to`; false
/// when the two types do not convert.
bool ConvertValue(ParamType from, ParamType to, const Value &in, Value &out) {
    out = Value();
    if (IsIntType(from) && IsIntType(to)) {
        out.i = in.i;
    } else if (IsIntType(from) && to == TYPE_FLOAT) {
        out.f[0] = static_cast<float>(in.i);
    } else if (from == TYPE_FLOAT && IsIntType(to)) {
        out.i = RoundToInt(in.f[0]);
    } else if (from == to || (IsTripleType(from) && IsTripleType(to))) {
        out = in;
    } else {
        return false;
    }
    return true;
}

/// Value of `p` at t; narrows `valid` to the times around t with the same value.
Value Evaluate(const Param &p, TimeValue t, Interval &valid) {
    if (p.keys.empty()) return p.constant;
    // A switch does not fade: it holds until the next key.
    const auto span = hostkeys::Locate(p.keys, t, valid, p.type == TYPE_BOOL);
    if (span.prev == span.next || p.type == TYPE_BOOL) return span.prev->v;
    return Lerp(p.type, span.prev->v, span.next->v, span.u);
}

class ParamBlock final : public IParamBlock {
public:
    ParamBlock() = default;
    ParamBlock(std::vector<Param> params, DWORD version)
        : params_(std::move(params)), version_(version) {}

    using IParamBlock::GetValue;
    using IParamBlock::SetValue;

    int NumParams() override { return static_cast<int>(params_.size()); }
    ParamType GetParameterType(int i) override { return At(i).type; }
    BOOL IsParamAnimatable(int i) override { return At(i).animatable; }
    DWORD GetParamID(int i) override { return At(i).id; }
    DWORD GetVersion() override { return version_; }

    BOOL GetValue(int i, TimeValue t, float &v, Interval &valid) override {
        const Param &p = At(i);
        DbgAssert(p.type == TYPE_FLOAT || IsIntType(p.type));
        const Value x = Evaluate(p, t, valid);
        v = p.type == TYPE_FLOAT ? x.f[0] : static_cast<float>(x.i);
        return TRUE;
    }
    BOOL GetValue(int i, TimeValue t, int &v, Interval &valid) override {
        const Param &p = At(i);
        DbgAssert(p.type == TYPE_FLOAT || IsIntType(p.type));
        const Value x = Evaluate(p, t, valid);
        v = p.type == TYPE_FLOAT ? RoundToInt(x.f[0]) : x.i;
        return TRUE;
    }
    BOOL GetValue(int i, TimeValue t, Point3 &v, Interval &valid) override {
        const Param &p = At(i);
        DbgAssert(IsTripleType(p.type));
        const Value x = Evaluate(p, t, valid);
        v = Point3(x.f[0], x.f[1], x.f[2]);
        return TRUE;
    }
    BOOL GetValue(int i, TimeValue t, Color &v, Interval &valid) override {
        Point3 p;
        GetValue(i, t, p, valid);
        v = Color(p);
        return TRUE;
    }

    BOOL SetValue(int i, TimeValue t, float v) override {
        return Store(i, t, FromNumber(At(i).type, v), false);
    }
    BOOL SetValue(int i, TimeValue t, int v) override {
        return Store(i, t, FromNumber(At(i).type, v), false);
    }
    BOOL SetValue(int i, TimeValue t, const Point3 &v) override {
        return Store(i, t, FromTriple(At(i).type, v), false);
    }
    BOOL SetValue(int i, TimeValue t, const Color &v) override {
        return SetValue(i, t, Point3(v));
    }

    BOOL SetKey(int i, TimeValue t, float v) override {
        return Store(i, t, FromNumber(At(i).type, v), true);
    }
    BOOL SetKey(int i, TimeValue t, int v) override {
        return Store(i, t, FromNumber(At(i).type, v), true);
    }
    BOOL SetKey(int i, TimeValue t, const Point3 &v) override {
        return Store(i, t, FromTriple(At(i).type, v), true);
    }
    BOOL SetKey(int i, TimeValue t, const Color &v) override { return SetKey(i, t, Point3(v)); }

    int NumKeys(int i) override { return static_cast<int>(At(i).keys.size()); }
    TimeValue GetKeyTime(int i, int k) override {
        const Param &p = At(i);
        DbgAssert(k >= 0 && k < static_cast<int>(p.keys.size()));
        return p.keys[k].t;
    }

    ReferenceTarget *Clone(RemapDir &remap) override {
        return new ParamBlock(params_, version_);
    }

    IOResult Save(ISave *isave) override;
    IOResult Load(ILoad *iload) override;

    /// Parameter `i` with its constant value and keys (for layout upgrades).
    const Param &Get(int i) { return At(i); }
    Param &Mutable(int i) { return params_[i]; }

private:
    Param &At(int i) {
        DbgAssert(i >= 0 && i < static_cast<int>(params_.size()));
        return params_[i];
    }

    /// A number for a float, int or BOOL parameter (ints convert exactly through double).
    static Value FromNumber(ParamType type, double v) {
        Value x;
        DbgAssert(type == TYPE_FLOAT || IsIntType(type));
        if (type == TYPE_FLOAT)
            x.f[0] = static_cast<float>(v);
        else
            x.i = RoundToInt(v);
        return x;
    }
    static Value FromTriple(ParamType type, const Point3 &v) {
        DbgAssert(IsTripleType(type));
        Value x;
        x.f[0] = v.x;
        x.f[1] = v.y;
        x.f[2] = v.z;
        return x;
    }

    BOOL Store(int i, TimeValue t, const Value &v, bool asKey);

    std::vector<Param> params_;
    DWORD version_ = 0;
};

BOOL ParamBlock::Store(int i, TimeValue t, const Value &v, bool asKey) {
    Param &p = At(i);
    if (asKey) {
        if (!p.animatable) return FALSE;
        hostkeys::SetKey(p.keys, t, v);
    } else {
        hostkeys::SetByAnimateRule(p.keys, p.constant, t, v, p.animatable != FALSE);
    }
    NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
    return TRUE;
}

IOResult ParamBlock::Save(ISave *isave) {
    ISave &s = *isave;
    s.BeginChunk(kChunkHeader);
    bool ok = hostio::WriteU32(s, version_) &&
              hostio::WriteU32(s, static_cast<std::uint32_t>(params_.size()));
    s.EndChunk();
    for (const Param &p : params_) {
        if (!ok) break;
        s.BeginChunk(kChunkParam);
        ok = hostio::WriteU32(s, p.type) && hostio::WriteU32(s, p.animatable ? 1 : 0) &&
             hostio::WriteU32(s, p.id) && WriteValue(s, p.type, p.constant) &&
             hostio::WriteU32(s, static_cast<std::uint32_t>(p.keys.size()));
        for (const Key &k : p.keys) {
            ok = ok && hostio::WriteI32(s, k.t) && WriteValue(s, p.type, k.v);
        }
        s.EndChunk();
    }
    return ok ? IO_OK : IO_ERROR;
}

IOResult ParamBlock::Load(ILoad *iload) {
    ILoad &l = *iload;
    bool haveHeader = false;
    std::uint32_t version = 0, count = 0;
    std::vector<Param> params;
    IOResult res;
    while ((res = l.OpenChunk()) == IO_OK) {
        switch (l.CurChunkID()) {
            case kChunkHeader:
                if (!hostio::ReadU32(l, version) || !hostio::ReadU32(l, count)) return IO_ERROR;
                haveHeader = true;
                break;
            case kChunkParam: {
                Param p;
                std::uint32_t type, animatable, nkeys;
                if (!hostio::ReadU32(l, type) || !IsKnownType(type)) return IO_ERROR;
                p.type = static_cast<ParamType>(type);
                if (!hostio::ReadU32(l, animatable) || animatable > 1) return IO_ERROR;
                p.animatable = animatable ? TRUE : FALSE;
                if (!hostio::ReadU32(l, p.id) || !ReadValue(l, p.type, p.constant)) {
                    return IO_ERROR;
                }
                // Each key needs its time and value: a count the chunk cannot hold is corrupt.
                if (!hostio::ReadCount(l, nkeys, 4 + ValueBytes(p.type))) return IO_ERROR;
                if (nkeys && !p.animatable) return IO_ERROR;
                p.keys.resize(nkeys);
                for (std::uint32_t k = 0; k < nkeys; ++k) {
                    if (!hostio::ReadI32(l, p.keys[k].t) ||
                        !ReadValue(l, p.type, p.keys[k].v)) {
                        return IO_ERROR;
                    }
                    if (k > 0 && p.keys[k].t <= p.keys[k - 1].t) return IO_ERROR;
                }
                params.push_back(std::move(p));
                break;
            }
            default:
                break;  // a chunk of a newer version: skipped
        }
        if (l.CloseChunk() != IO_OK) return IO_ERROR;
    }
    if (res != IO_END || !haveHeader || params.size() != count) return IO_ERROR;
    params_ = std::move(params);
    version_ = version;
    return IO_OK;
}

BuiltInClassDesc<ParamBlock> paramBlockDesc("Parameter Block", PARAMETER_BLOCK_CLASS_ID,
                                            PARAMBLOCK_CLASS_ID);

}  // namespace

// IParamBlock --------------------------------------------------------------------------------

IParamBlock::~IParamBlock() = default;

TSTR IParamBlock::GetParamName(int i) {
    ::GetParamName query;  // the record, not this member function
    query.index = i;
    NotifyDependents(FOREVER, reinterpret_cast<PartID>(&query), REFMSG_GET_PARAM_NAME,
                     NOTIFY_ALL, FALSE);
    return query.name;
}

ParamDimension *IParamBlock::GetParamDimension(int i) {
    GetParamDim query;
    query.index = i;
    NotifyDependents(FOREVER, reinterpret_cast<PartID>(&query), REFMSG_GET_PARAM_DIM,
                     NOTIFY_ALL, FALSE);
    return query.dim ? query.dim : defaultDim;
}

ParamRange IParamBlock::GetParamRange(int i) {
    ::GetParamRange query;
    query.index = i;
    NotifyDependents(FOREVER, reinterpret_cast<PartID>(&query), REFMSG_GET_PARAM_RANGE,
                     NOTIFY_ALL, FALSE);
    return query.range;
}

int IParamBlock::FindParamByName(const TSTR &name) {
    for (int i = 0; i < NumParams(); ++i) {
        if (GetParamName(i) == name) return i;
    }
    return -1;
}

// Creation and upgrade -----------------------------------------------------------------------

IParamBlock *CreateParameterBlock(const ParamBlockDesc *pdesc, int count) {
    DbgAssert(count >= 0 && (pdesc || count == 0));
    std::vector<Param> params(count);
    for (int i = 0; i < count; ++i) {
        params[i].type = pdesc[i].type;
        params[i].animatable = pdesc[i].animatable;
        params[i].id = static_cast<DWORD>(i);
    }
    return new ParamBlock(std::move(params), 0);
}

IParamBlock *CreateParameterBlock(const ParamBlockDescID *pdesc, int count, DWORD version) {
    DbgAssert(count >= 0 && (pdesc || count == 0));
    std::vector<Param> params(count);
    for (int i = 0; i < count; ++i) {
        params[i].type = pdesc[i].type;
        params[i].animatable = pdesc[i].animatable;
        params[i].id = pdesc[i].id;
    }
    return new ParamBlock(std::move(params), version);
}

IParamBlock *UpdateParameterBlock(const ParamBlockDescID *pdescOld, int oldCount,
                                  IParamBlock *oldPB, const ParamBlockDescID *pdescNew,
                                  int newCount, DWORD newVersion) {
    auto *created =
        static_cast<ParamBlock *>(CreateParameterBlock(pdescNew, newCount, newVersion));
    auto *old = dynamic_cast<ParamBlock *>(oldPB);
    if (!old) return created;
    const int usable = std::min(oldCount, old->NumParams());
    for (int n = 0; n < newCount; ++n) {
        Param &to = created->Mutable(n);
        for (int o = 0; o < usable; ++o) {
            if (pdescOld[o].id != to.id) continue;
            const Param &from = old->Get(o);
            Value v;
            if (!ConvertValue(from.type, to.type, from.constant, v)) break;
            to.constant = v;
            if (to.animatable) {
                for (const Key &k : from.keys) {
                    ConvertValue(from.type, to.type, k.v, v);
                    to.keys.push_back({k.t, v});
                }
            } else if (!from.keys.empty()) {
                Interval valid = FOREVER;
                ConvertValue(from.type, to.type, Evaluate(from, 0, valid), to.constant);
            }
            break;
        }
    }
    return created;
}
