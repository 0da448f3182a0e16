/// @file particle_rotation.h
/// @brief Particle rotation: a component that a sprite shape embeds to turn each particle's
///        sprite by an angle that changes over the particle's life.
#pragma once

#include "framework/table_plugin.h"
#include "plugins/standard/standard_api.h"
#include "host/geom.h"

#include <optional>
#include <span>

/// Turns a particle's pixel offsets by the particle's current angle, "Birth Rotate" to
/// "Death Rotate" blended over its life by an age controller. Pixels that turn out of the
/// particle's square are dropped.
///
/// The owner holds the component's parameter block and its controller among its own
/// references: it makes the block with `MakeParamBlock`, hands it over with `SetParamBlock`,
/// lists `kController` among its controllers (the table frame then makes and sets it up, and
/// works its roll-up button), routes the block's queries to `AnswerParamQuery` and appends the
/// component's library record to its own.
///
/// The block holds the angles in radians, as every angle parameter does (scene files and
/// roll-ups give them in degrees); the controller, the library record and `Angle` work in
/// degrees.
class STANDARD_API ParticleRotation {
public:
    enum Param { kBirthRotate, kDeathRotate, kParams };

    /// The rotation controller: editor "Rotate", roll-up button 1062, degrees −99 999 … 99 999
    /// in steps of 1.
    static constexpr ControllerSpec kController{"Rotate",  1062,     ControllerSpec::kFloat,
                                                -99999.0f, 99999.0f, 1.0f};
    /// Bytes of the library record: the version block and two float32.
    static constexpr std::size_t kRecordSize = 16;

    /// The parameter table of the block (version 0).
    static std::span<const ParamSpec> Params();
    /// A new block with both angles 0; the owner makes it its reference.
    static IParamBlock *MakeParamBlock();
    /// Answers the parameter-name, -dimension and -range queries of the block.
    static bool AnswerParamQuery(PartID partID, RefMessage message);

    // The block (one of the owner's references)
    /// Takes `target` as the block; one of another layout (a damaged file) is not taken, and
    /// the angles read 0 without a block.
    void SetParamBlock(ReferenceTarget *target);
    IParamBlock *ParamBlock() const { return block_; }
    /// Both angles 0 at time 0.
    void ResetParameters();

    // Per particle
    /// The particle's angle at its age, with the owner's rotation controller reset for it
    /// (without a controller, the birth angle).
    void Update(TimeValue frameTime, const ParticleInfo &p, NimbraController *controller);
    /// Turns the pixel offset (x, y) of a particle of radius r in place: the offset times the
    /// rotation, truncated. False (x and y unchanged) when the turned offset lies outside the
    /// square −r … r.
    bool Rotate(int &x, int &y, int r) const {
        if (upright_) return -r <= x && x <= r && -r <= y && y <= r;
        // Point2 (x, y) × matrix, written out so that it inlines into the pixel loops.
        const float fx = static_cast<float>(x), fy = static_cast<float>(y);
        const float qx = fx * matrix_.m[0][0] + fy * matrix_.m[1][0] + matrix_.m[2][0];
        const float qy = fx * matrix_.m[0][1] + fy * matrix_.m[1][1] + matrix_.m[2][1];
        // trunc(q) lies in −r … r exactly when q lies strictly inside ±(r + 1); testing
        // before converting keeps far (or NaN) offsets out of the int conversion.
        const float reach = static_cast<float>(r) + 1.0f;
        if (!(qx > -reach && qx < reach && qy > -reach && qy < reach)) return false;
        x = static_cast<int>(qx);
        y = static_cast<int>(qy);
        return true;
    }
    /// The current angle in degrees.
    float Angle() const { return angle_; }
    /// True when the current rotation leaves every offset as it is (angle 0): a row of pixels
    /// stays a row.
    bool Upright() const { return upright_; }

    // Editing: the roll-up "Particle Rotation" (its button belongs to the owner's controllers)
    void BeginEdit(IObjParam *ip, NimbraInterface *iface);
    void EndEdit();
    bool IsEditing() const { return editing_; }

    // Library record: the version block, then "Birth Rotate" and "Death Rotate" in degrees
    // as float32, at time 0
    /// 1 on success, 0 on a failed write.
    int LibrarySave(NimbraInterface *io) const;
    /// Reads and checks a record without changing anything: false on a short read, another
    /// version or an angle that is not finite.
    bool LibraryRead(NimbraInterface *io);
    /// Sets the angles that `LibraryRead` read (nothing without a block).
    void LibraryApply();
    /// `LibraryRead`, then `LibraryApply`: 1 on success, 0 (nothing changed) otherwise.
    int LibraryLoad(NimbraInterface *io);

private:
    float Degrees(int param, TimeValue t) const;

    IParamBlock *block_ = nullptr;
    Matrix2 matrix_{TRUE};
    float angle_ = 0.0f;
    bool upright_ = true;
    struct Angles {
        float birth, death;
    };
    std::optional<Angles> read_;  ///< what `LibraryRead` read, until applied
    bool editing_ = false;
    IObjParam *editIp_ = nullptr;
    NimbraInterface *editInterface_ = nullptr;
};
