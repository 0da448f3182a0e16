/// @file inter_rotation.h
/// @brief "InterRotation": the particle-transform plug-in of volume effects. It gives each
///        particle volume its shape (sphere, cylinder, box), its rotation (none, following the
///        particle's motion, or a random tumble) and its squash over life, and builds the
///        viewport preview of a helper's first particles.
#pragma once

#include "plugins/volume/volume_api.h"

#include "framework/class_ids.h"
#include "framework/table_plugin.h"

class INode;

/// The descriptor of InterRotation ("InterRotation", category "VolumeFX"). Not public: a
/// helper creates it by class identifier when it gets a volume shape.
ZEPHRAVOLUME_API ClassDesc *GetInterRotationDesc();

/// The particle-transform plug-in.
///
/// References: 0 the parameter block (16 parameters, version 0), 1 the controller "Squash".
/// Percent parameters (axis strengths, squashes) are stored as fractions.
///
/// Random rotation: a particle's angle is (Speed + v) × 40 × r, with v = (noise1(age × 123.234)
/// + 1) / 2 × Variation and r a number in 0 … 1 drawn from the classic C library generator
/// seeded with the particle's index, so a particle keeps its tumble from frame to frame. The
/// index is the one last announced through `__EnumParticle__`; callers announce each particle
/// before asking for its rotation.
///
/// Library record: the version block, then parameters 0 … 15 at time 0.
class ZEPHRAVOLUME_API InterRotation final : public TablePlugIn {
public:
    static constexpr Class_ID kClassID{kCompositeKey, 0x54C33997};

    enum Param {
        kSpeed,
        kVariation,
        kRotationMode,  ///< RotationMode; no display name (the "Rotation Mode" property)
        kAxisX,
        kAxisY,
        kAxisZ,
        kShowParticleColor,  ///< BOOL; no display name
        kManualColor,
        kPreviewCount,
        kShape,  ///< ParticleVolumeShape; no display name (the "Shape" property)
        kBirthSquashX,
        kDeathSquashX,
        kBirthSquashY,
        kDeathSquashY,
        kBirthSquashZ,
        kDeathSquashZ,
        kParams
    };
    enum RotationMode { kNoRotation, kFollowParticle, kRandomRotation, kRotationModes };
    enum Controller { kSquashController, kControllers };
    /// The life window the squash controller is reset with; the age fraction is spread over it.
    static constexpr int kSquashLife = 100000;

    explicit InterRotation(bool loading = false);
    ~InterRotation() override;

    Class_ID ClassID() override { return kClassID; }
    SClass_ID SuperClassID() override { return REF_MAKER_CLASS_ID; }
    void GetClassName(TSTR &s) override { s = "InterRotation"; }

    // Renderer calls
    int __SupportProcessing__() override { return kVolumeRendererSupport; }
    /// The Shape parameter at t (sphere when it holds no shape).
    int __ComputeParticleShape__(TimeValue time) override;
    /// The volume's rotation at t: identity, the motion frame (local z along `motion`) or the
    /// random tumble of the announced particle, its angles times `factor`.
    Matrix3 __ComputeParticleRotate__(TimeValue time, Point3 position, Point3 motion,
                                      float ageValue, float factor) override;
    /// Squash X, Y and Z blended from birth to death by the squash controller at the age
    /// fraction (0 birth … 1 death).
    Point3 __ComputeParticleScale__(TimeValue time, float ageFraction) override;
    /// Nothing of its own: the transform slot is cleared.
    void __CreateCache__(TimeValue time, ParticleVolume *volume) override;
    void __DestroyCache__(TimeValue time, ParticleVolume *volume) override;
    /// Answers the volume query with 1; a particle announced with its object and index
    /// (`info->particleIndex`) becomes the one the next random rotation is drawn for.
    void __EnumParticle__(ParticleInfo *info, void *particles, int index) override;

    // Viewport preview ("Create" and "Erase" of the "ViewPort Preview" roll-up)
    /// Replaces the preview of the helper on `helperNode` by Preview Count gizmo nodes of the
    /// chosen shape keyed over the animation range; the number of nodes made.
    int CreatePreview(INode *helperNode);
    /// Deletes the preview nodes of the helper on `helperNode`; the number deleted.
    int ErasePreview(INode *helperNode);

protected:
    TablePlugIn *MakeForLoading() const override { return new InterRotation(true); }

private:
    int particle_ = 0;
};
