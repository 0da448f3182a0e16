/// @file helper_record.h
/// @brief What rendering needs of one Nimbra helper at one time, read from the helper once per
///        frame (or sub-frame) so that the renderers never look up a helper parameter per
///        particle, and the interface through which a helper hands it out.
#pragma once

#include "framework/age_quantity.h"
#include "framework/nimbra_api.h"

#include <array>

class Object;
class ParticleObject;

/// A helper's settings for one frame time. The size and transparency quantities are the ones
/// the pass draws with: in a shadow pass, unless the helper uses its brush settings for
/// shadows, the shadow size and shadow transparency.
struct HelperRecord {
    /// The plug-ins in the order they are called: shape, colour shader, composite. Null where
    /// the helper lacks one (such a helper is not rendered).
    enum Role { kShape, kColor, kComposite, kRoles };
    std::array<NimbraPlugIn *, kRoles> plugIns{};
    /// The helper object the record was read from.
    Object *owner = nullptr;

    AgeQuantity<float> size;          ///< world units
    AgeQuantity<float> transparency;  ///< 0 … 1

    bool active = false;       ///< "Shader Active"
    bool castShadows = false;  ///< "Cast Shadows"
    bool volumeSetup = false;  ///< all three plug-ins serve the volume renderer
    bool writeZ = false;       ///< "Update Z-Buffer"
    int materialId = 0;        ///< written where particles cover; 0 … 255, 0 writes none
    int shadingOrder = 0;      ///< larger draws in front at equal depth

    /// The age window, ticks: particles outside it are not drawn.
    int lifeStart = 0;
    int lifeEnd = 0;
    /// Every Nth particle from the offset: everyNth ≥ 1, nthOffset ≥ 0.
    int everyNth = 1;
    int nthOffset = 0;

    bool Complete() const { return plugIns[kShape] && plugIns[kColor] && plugIns[kComposite]; }
};

/// Interface identifier of `IHelperRecord` (`GetInterface`).
constexpr ULONG I_HELPERRECORD = 0x4E420001;

/// Offered by the Nimbra helper: its record and its particle systems at a time.
class NIMBRA_API IHelperRecord {
public:
    /// The record at t; `shadowPass` picks the quantities a particle shadow map is drawn with.
    virtual HelperRecord RecordAt(TimeValue t, bool shadowPass) = 0;
    /// Number of listed particle systems that currently offer the particle interface.
    virtual int ParticleSystemCount() = 0;
    /// The particle object of the n-th (1-based) of them at t, or null.
    virtual ParticleObject *ParticleSystemState(int n, TimeValue t) = 0;

protected:
    ~IHelperRecord() = default;
};

/// The helper interface of `obj`, or null when it offers none.
inline IHelperRecord *GetHelperRecordInterface(Animatable *obj) {
    return obj ? static_cast<IHelperRecord *>(obj->GetInterface(I_HELPERRECORD)) : nullptr;
}
