/// @file density_run.h
/// @brief The run call of volume effects: the densities of a run of samples of one volume at
///        once, for effects that evaluate their noise many points at a time.
#pragma once

#include "framework/nimbra_api.h"
#include "framework/plugin_records.h"
#include "host/animatable.h"

/// Interface identifier of `IDensityRun` (`GetInterface` of a volume effect).
constexpr ULONG I_DENSITYRUN = 0x4E420003;

/// Offered by a volume effect beside its per-sample `__Density_Function__` and
/// `__LightShadow_Function__`. Every sample of a call belongs to the same volume (that of
/// samples[0]) and gets what the per-sample call would give it: `noise`, `density` and the
/// point changed in place, samples the per-sample call would leave alone left alone. The noise
/// of a run comes from the batched noise functions, so its values match the per-sample call's
/// within their 1e-6. The calls change nothing in the effect, so a caller may evaluate a run
/// ahead and use only its first samples.
class NIMBRA_API IDensityRun {
public:
    /// `__Density_Function__` of samples[0 … count − 1].
    virtual void DensityRun(SampleInfo *samples, int count) = 0;
    /// `__LightShadow_Function__` of samples[0 … count − 1].
    virtual void LightShadowRun(SampleInfo *samples, int count) = 0;

protected:
    ~IDensityRun() = default;
};

/// The run call of `effect`, or null when it offers none.
inline IDensityRun *GetDensityRun(Animatable *effect) {
    return effect ? static_cast<IDensityRun *>(effect->GetInterface(I_DENSITYRUN)) : nullptr;
}
