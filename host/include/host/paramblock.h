/// @file paramblock.h
/// @brief Parameter blocks: typed, optionally animated parameters of an object, with versioned
///        layouts and the upgrade from an old layout to a new one.
///
/// Values over time. A parameter without keys holds one constant value. An animatable
/// parameter may carry keys; it then takes the value of its keys: linear between two keys
/// (ints rounded to the nearest integer, BOOLs step and hold the earlier key), and the first or
/// last key's value before the first or after the last key. Keys are made by:
/// - `SetKey(i, t, v)`: sets or adds the key at t (animatable parameters only);
/// - `SetValue(i, t, v)` on a parameter that already has keys: sets or adds the key at t;
/// - `SetValue(i, t, v)` on an animatable parameter without keys while animating
///   (`Animating()`, interface.h): adds a key at t and, when t is not 0, a key at 0 holding the
///   previous value, so earlier times keep what they had.
/// Otherwise `SetValue` sets the constant value. Every change tells the block's dependents
/// (REFMSG_CHANGE).
///
/// Types. TYPE_BOOL is stored and read as an int. Reading or writing an int parameter as a
/// float or a float parameter as an int converts (to the nearest integer); TYPE_RGBA and
/// TYPE_POINT3 read and write as each other. Any other type mismatch is a host assertion.
///
/// Names, dimensions and ranges are not stored in the block: the owner answers them
/// (`GetParamName`, `GetParamDimension`, `GetParamRange` ask the block's dependents). A block
/// takes any value it is given: the readers of user input check the range.
#pragma once

#include "host/animatable.h"
#include "host/geom.h"

#include <vector>

/// Class identifier of the host's parameter block (super class PARAMETER_BLOCK_CLASS_ID).
constexpr Class_ID PARAMBLOCK_CLASS_ID(0x50424C4B, 0x00000001);

enum ParamType {
    TYPE_FLOAT = 0,
    TYPE_INT = 1,
    TYPE_RGBA = 2,  ///< a `Color`
    TYPE_POINT3 = 3,
    TYPE_BOOL = 4,
};

/// One parameter of a block layout. `user` is unused (null).
struct ParamBlockDesc {
    ParamType type;
    void *user;
    BOOL animatable;
};

/// One parameter of a versioned layout; `id` stays with the parameter from one version of the
/// layout to the next, so `UpdateParameterBlock` can carry its value across.
struct ParamBlockDescID {
    ParamType type;
    void *user;
    BOOL animatable;
    DWORD id;
};

class IParamBlock : public ReferenceTarget {
public:
    ~IParamBlock() override;
    SClass_ID SuperClassID() override { return PARAMETER_BLOCK_CLASS_ID; }
    Class_ID ClassID() override { return PARAMBLOCK_CLASS_ID; }
    void GetClassName(TSTR &s) override { s = "Parameter Block"; }

    virtual int NumParams() = 0;
    virtual ParamType GetParameterType(int i) = 0;
    virtual BOOL IsParamAnimatable(int i) = 0;
    /// The parameter's identifier (its index for blocks made without identifiers).
    virtual DWORD GetParamID(int i) = 0;
    virtual DWORD GetVersion() = 0;

    // Values at a time. `valid` is narrowed to the times around t where the value stays the
    // same. Parameter indices out of range are a host assertion.
    virtual BOOL GetValue(int i, TimeValue t, float &v, Interval &valid) = 0;
    virtual BOOL GetValue(int i, TimeValue t, int &v, Interval &valid) = 0;
    virtual BOOL GetValue(int i, TimeValue t, Point3 &v, Interval &valid) = 0;
    virtual BOOL GetValue(int i, TimeValue t, Color &v, Interval &valid) = 0;
    /// The value at t, for a caller that does not track validity (T: float, int, BOOL,
    /// Point3 or Color).
    template <typename T>
    BOOL GetValue(int i, TimeValue t, T &v) {
        Interval valid = FOREVER;
        return GetValue(i, t, v, valid);
    }

    virtual BOOL SetValue(int i, TimeValue t, float v) = 0;
    virtual BOOL SetValue(int i, TimeValue t, int v) = 0;
    virtual BOOL SetValue(int i, TimeValue t, const Point3 &v) = 0;
    virtual BOOL SetValue(int i, TimeValue t, const Color &v) = 0;
    BOOL SetValue(int i, TimeValue t, double v) {
        return SetValue(i, t, static_cast<float>(v));
    }

    // Keys. SetKey returns FALSE (and changes nothing) for a parameter that is not animatable.
    virtual BOOL SetKey(int i, TimeValue t, float v) = 0;
    virtual BOOL SetKey(int i, TimeValue t, int v) = 0;
    virtual BOOL SetKey(int i, TimeValue t, const Point3 &v) = 0;
    virtual BOOL SetKey(int i, TimeValue t, const Color &v) = 0;
    virtual int NumKeys(int i) = 0;
    /// Time of key `k` of parameter `i`, keys in increasing time.
    virtual TimeValue GetKeyTime(int i, int k) = 0;

    // Names, dimensions and ranges, as the owner answers them
    /// The owner's name for parameter `i` ("" when nobody answers).
    TSTR GetParamName(int i);
    /// The owner's dimension for parameter `i` (`defaultDim` when nobody answers).
    ParamDimension *GetParamDimension(int i);
    /// The owner's range for parameter `i` (unbounded when nobody answers).
    ParamRange GetParamRange(int i);
    /// Index of the first parameter whose owner-given name is `name`, or -1.
    int FindParamByName(const TSTR &name);
};

/// A new block (unreferenced; the caller makes it a reference) with version 0 and parameter
/// identifiers equal to the indices. Every value starts at zero.
IParamBlock *CreateParameterBlock(const ParamBlockDesc *pdesc, int count);
/// A new block with the given layout and version. Every value starts at zero.
IParamBlock *CreateParameterBlock(const ParamBlockDescID *pdesc, int count, DWORD version);

/// A new block with the new layout and version whose parameters take the values and keys of
/// the old block's parameters with the same identifier; the others start at zero. A value
/// carries across when the types match, or convert (int, BOOL and float; colour and point);
/// into a parameter that is not animatable it carries the old value at time 0, without keys.
/// `oldPB` is left as it was: the caller replaces its reference with the new block (which
/// deletes the old one).
IParamBlock *UpdateParameterBlock(const ParamBlockDescID *pdescOld, int oldCount,
                                  IParamBlock *oldPB, const ParamBlockDescID *pdescNew,
                                  int newCount, DWORD newVersion);
