/// @file particles.h
/// @brief The host particle interface and the host's particle systems: the spray and super
///        spray emitters, whose state at any time is computed directly, and the particle file
///        player that renders simulations made elsewhere.
///
/// Emitters. Every particle has a fixed index in emission order. Its birth time, place on the
/// emitter, direction, speed and life come from a hash of (seed, index), and its motion after
/// birth has a closed form, so the particles at a time never depend on the times evaluated
/// before. Particle i is born at Emit Start + i / Birth Rate frames, for every such time
/// before Emit Stop (the window is [start, stop): a window of F frames at R per frame emits
/// F × R particles). It lives while its age (ticks since birth) is at most its life; then, and
/// before birth, it counts as dead (age −1). At most `kMaxEmittedParticles` are emitted.
///
/// Frames and units. Particles leave the emitter along the emitter node's local +z axis (up,
/// for an unrotated node), from a rectangle (spray: Emitter Width along x, Emitter Length
/// along y) or a disc (super spray: Emitter Diameter) in the node's local xy plane, placed
/// and aimed by the node's world transform at the particle's birth time; afterwards they fly
/// free in world space (moving the emitter does not drag the particles already born). Speeds
/// are world units per frame, Gravity world units per frame² along world −z, Drag the fraction
/// of its speed a particle loses per frame (0 … 0.999). Time parameters are ticks (dimension
/// `stdTimeDim`), angles radians (`stdAngleDim`), variations percent. Parameters that change
/// the emitted particles (speed, spread, life, emitter size) are read at each particle's birth
/// time; birth rate, emission window, gravity, drag and seed are not animatable.
///
/// Positions and velocities are world space; velocities are world units per tick.
#pragma once

#include "host/geom.h"
#include "host/object.h"

#include <string>
#include <vector>

class INode;
class IParamBlock;

/// Class identifiers (super class GEOMOBJECT_CLASS_ID).
constexpr Class_ID SPRAY_CLASS_ID(0x9bd61aa0, 0);
constexpr Class_ID SUPER_SPRAY_CLASS_ID(0x74f811e3, 0x21fb7b57);
constexpr Class_ID PARTICLE_FILE_CLASS_ID(0x50415246, 0x4E4D4252);

/// Most particles one emitter emits over its whole window.
constexpr int kMaxEmittedParticles = 1 << 22;

/// Parameters of the spray ("Spray"); life at index 7 as the system's emitter-age table says.
enum SprayParam {
    SPRAY_BIRTH_RATE,       ///< "Birth Rate": particles per frame
    SPRAY_SPEED,            ///< "Speed": world units per frame
    SPRAY_SPEED_VARIATION,  ///< "Speed Variation": percent, ±
    SPRAY_SPREAD,           ///< "Spread": half-angle of the emission cone, radians
    SPRAY_EMIT_START,       ///< "Emit Start": ticks
    SPRAY_EMIT_STOP,        ///< "Emit Stop": ticks
    SPRAY_LIFE_VARIATION,   ///< "Life Variation": ticks, ±
    SPRAY_LIFE,             ///< "Life": ticks
    SPRAY_WIDTH,            ///< "Emitter Width": along local x
    SPRAY_LENGTH,           ///< "Emitter Length": along local y
    SPRAY_GRAVITY,          ///< "Gravity"
    SPRAY_DRAG,             ///< "Drag"
    SPRAY_SEED,             ///< "Seed"
    SPRAY_NUM_PARAMS
};

/// Parameters of the super spray ("Super Spray"); life at index 12. The stream leaves the
/// emitter tilted by Off Axis from local +z, towards the direction Off Plane (an angle about
/// local z, from local +x); each spread varies its angle by up to ± the spread, so Off Axis
/// Spread fans the stream in its plane and an Off Plane Spread of π turns the fan into a cone.
enum SuperSprayParam {
    SSPRAY_BIRTH_RATE,        ///< "Birth Rate": particles per frame
    SSPRAY_SPEED,             ///< "Speed": world units per frame
    SSPRAY_SPEED_VARIATION,   ///< "Speed Variation": percent, ±
    SSPRAY_OFF_AXIS,          ///< "Off Axis": radians
    SSPRAY_OFF_AXIS_SPREAD,   ///< "Off Axis Spread": radians, ±
    SSPRAY_OFF_PLANE,         ///< "Off Plane": radians
    SSPRAY_OFF_PLANE_SPREAD,  ///< "Off Plane Spread": radians, ±
    SSPRAY_EMIT_START,        ///< "Emit Start": ticks
    SSPRAY_EMIT_STOP,         ///< "Emit Stop": ticks
    SSPRAY_DIAMETER,          ///< "Emitter Diameter"
    SSPRAY_GRAVITY,           ///< "Gravity"
    SSPRAY_DRAG,              ///< "Drag"
    SSPRAY_LIFE,              ///< "Life": ticks
    SSPRAY_LIFE_VARIATION,    ///< "Life Variation": ticks, ±
    SSPRAY_SEED,              ///< "Seed"
    SSPRAY_NUM_PARAMS
};

/// Parameters of the particle file player ("Particle File").
enum ParticleFileParam {
    PFILE_TIME_OFFSET,  ///< "Time Offset": ticks added to the file's times
    PFILE_NUM_PARAMS
};

/// A particle system: the object a particle-system node evaluates to. `Update` computes the
/// particles at a time into plain arrays that the accessors read; indices are stable (a
/// particle keeps its index at every time), so per-particle randomness keyed on the index
/// stays with the particle. The arrays hold until the next `Update`; an object shared by two
/// nodes holds the particles of the node it was last updated for.
class ParticleObject : public GeomObject {
public:
    ~ParticleObject() override;
    /// `this` for I_PARTICLEOBJ.
    void *GetInterface(ULONG id) override;

    /// The system's parameter block (also its reference 0), where the emitter-age rule reads
    /// the life (`SPRAY_LIFE`, `SSPRAY_LIFE`); null for a system without one.
    virtual IParamBlock *GetParamBlock() const { return nullptr; }

    /// Brings the particles to time t as emitted by `node` (its world transform places the
    /// emitter or, for a file, the file's coordinates; null stands for the world origin).
    virtual void Update(TimeValue t, INode *node) = 0;

    // Particles after the last Update (indices 0 … NumParticles() − 1)
    int NumParticles() const { return static_cast<int>(ages_.size()); }
    /// World position.
    const Point3 &GetParticlePosition(int i) const { return positions_[Checked(i)]; }
    /// World velocity in units per tick.
    const Point3 &GetParticleVelocity(int i) const { return velocities_[Checked(i)]; }
    /// Ticks since birth; negative when the particle is dead or not there at this time.
    TimeValue GetParticleAge(int i) const { return ages_[Checked(i)]; }

protected:
    /// Sets the particle count; every particle starts dead.
    void Resize(int n);
    void SetParticle(int i, const Point3 &pos, const Point3 &vel, TimeValue age) {
        positions_[i] = pos;
        velocities_[i] = vel;
        ages_[i] = age;
    }
    void SetDead(int i) { SetParticle(i, Point3(), Point3(), -1); }

private:
    int Checked(int i) const;
    std::vector<Point3> positions_;
    std::vector<Point3> velocities_;
    std::vector<TimeValue> ages_;
};

/// Plays back particles from a file (docs/particle-files.md): CSV rows
/// `frame,id,x,y,z[,vx,vy,vz][,age]` under a header line, or a JSON document of frames.
/// File coordinates are in the node's local frame (world space for an unmoved node); file
/// frame f plays at scene time f × ticks per frame + Time Offset. Between two file frames a
/// particle present in both moves linearly (by id); a particle present in only one of them is
/// dead in between; before the first and after the last file frame every particle is dead.
/// The path is also the object's property "File" (properties.h), which refuses a file that
/// cannot be read and then keeps the previous one.
class ParticleFileObject : public ParticleObject {
public:
    ~ParticleFileObject() override;
    /// Sets the file to play and reads it. False when it cannot be read; the message (file,
    /// line or JSON path, what was expected) is then `GetLoadError()` and the object has no
    /// particles. A relative path is taken from the current directory.
    virtual bool SetFileName(const std::string &path) = 0;
    virtual const std::string &GetFileName() const = 0;
    /// Empty after a successful read.
    virtual const std::string &GetLoadError() const = 0;
};
