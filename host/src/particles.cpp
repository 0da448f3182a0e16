/// @file particles.cpp
/// @brief The particle interface and the spray and super spray emitters: particles computed
///        directly at any time from a hash of (seed, index) and a closed-form flight.
#include "host/particles.h"

#include "host/inode.h"
#include "host/interface.h"
#include "host/messages.h"
#include "host/param_object.h"

#include "built_in_class.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr float kPi = std::numbers::pi_v<float>;
/// Largest drag: a particle keeps at least this fraction of its speed per frame, so the
/// closed form never divides by a zero rate.
constexpr float kMaxDrag = 0.999f;
/// Drag rates below this fly as without drag (the closed form would lose its precision).
constexpr float kMinDragRate = 1.0e-6f;
/// Default emission window and life: one second at 30 frames per second.
constexpr float kDefaultTicks = 4800.0f;

// Per-particle random numbers ----------------------------------------------------------------

/// The random streams of one particle.
enum Stream : std::uint64_t {
    kStreamBirth,
    kStreamShape0,
    kStreamShape1,
    kStreamShape2,
    kStreamShape3,
    kStreamSpeed,
    kStreamLife
};

std::uint64_t Mix(std::uint64_t z) {
    // splitmix64 finaliser: every input bit affects every output bit.
    z += 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

/// A uniform number in [0, 1) for (seed, particle index, stream).
float Uniform(int seed, int index, Stream stream) {
    const std::uint64_t key =
        (std::uint64_t(std::uint32_t(seed)) << 32) | std::uint64_t(std::uint32_t(index));
    return static_cast<float>(Mix(Mix(key) + stream) >> 40) * (1.0f / 16777216.0f);
}

/// A uniform number in [−1, 1).
float Signed(int seed, int index, Stream stream) {
    return 2.0f * Uniform(seed, index, stream) - 1.0f;
}

// Emitter kinds ------------------------------------------------------------------------------

/// What an emitter reads at a particle's birth time.
struct BirthParams {
    float speed = 0.0f;     // world units per frame
    float speedVar = 0.0f;  // percent
    int life = 0;           // ticks
    int lifeVar = 0;        // ticks
    float shape[5] = {};    // emitter-specific: sizes and angles
};

/// Indices of the parameters every emitter has.
struct EmitterLayout {
    int birthRate, speed, speedVar, emitStart, emitStop, life, lifeVar, gravity, drag, seed;
};

ParamDimension *const kTime = stdTimeDim;

const ParamSpec kSpraySpecs[SPRAY_NUM_PARAMS] = {
    {"Birth Rate", TYPE_FLOAT, FALSE, 10.0f, defaultDim},
    {"Speed", TYPE_FLOAT, TRUE, 10.0f, stdWorldDim},
    {"Speed Variation", TYPE_FLOAT, TRUE, 0.0f, defaultDim},
    {"Spread", TYPE_FLOAT, TRUE, 0.0f, stdAngleDim},
    {"Emit Start", TYPE_INT, FALSE, 0.0f, kTime},
    {"Emit Stop", TYPE_INT, FALSE, kDefaultTicks, kTime},
    {"Life Variation", TYPE_INT, TRUE, 0.0f, kTime},
    {"Life", TYPE_INT, TRUE, kDefaultTicks, kTime},
    {"Emitter Width", TYPE_FLOAT, TRUE, 10.0f, stdWorldDim},
    {"Emitter Length", TYPE_FLOAT, TRUE, 10.0f, stdWorldDim},
    {"Gravity", TYPE_FLOAT, FALSE, 0.0f, stdWorldDim},
    {"Drag", TYPE_FLOAT, FALSE, 0.0f, defaultDim},
    {"Seed", TYPE_INT, FALSE, 12345.0f, defaultDim},
};

const ParamSpec kSuperSpraySpecs[SSPRAY_NUM_PARAMS] = {
    {"Birth Rate", TYPE_FLOAT, FALSE, 10.0f, defaultDim},
    {"Speed", TYPE_FLOAT, TRUE, 10.0f, stdWorldDim},
    {"Speed Variation", TYPE_FLOAT, TRUE, 0.0f, defaultDim},
    {"Off Axis", TYPE_FLOAT, TRUE, 0.0f, stdAngleDim},
    {"Off Axis Spread", TYPE_FLOAT, TRUE, 0.0f, stdAngleDim},
    {"Off Plane", TYPE_FLOAT, TRUE, 0.0f, stdAngleDim},
    {"Off Plane Spread", TYPE_FLOAT, TRUE, 0.0f, stdAngleDim},
    {"Emit Start", TYPE_INT, FALSE, 0.0f, kTime},
    {"Emit Stop", TYPE_INT, FALSE, kDefaultTicks, kTime},
    {"Emitter Diameter", TYPE_FLOAT, TRUE, 10.0f, stdWorldDim},
    {"Gravity", TYPE_FLOAT, FALSE, 0.0f, stdWorldDim},
    {"Drag", TYPE_FLOAT, FALSE, 0.0f, defaultDim},
    {"Life", TYPE_INT, TRUE, kDefaultTicks, kTime},
    {"Life Variation", TYPE_INT, TRUE, 0.0f, kTime},
    {"Seed", TYPE_INT, FALSE, 12345.0f, defaultDim},
};

/// The spray: a rectangle emitting into a cone around local +z.
struct SprayKind {
    static constexpr Class_ID kClassID = SPRAY_CLASS_ID;
    static constexpr const char *kName = "Spray";
    static constexpr const ParamSpec *kSpecs = kSpraySpecs;
    static constexpr int kNumParams = SPRAY_NUM_PARAMS;
    static constexpr EmitterLayout kLayout = {
        SPRAY_BIRTH_RATE, SPRAY_SPEED, SPRAY_SPEED_VARIATION, SPRAY_EMIT_START,
        SPRAY_EMIT_STOP,  SPRAY_LIFE,  SPRAY_LIFE_VARIATION,  SPRAY_GRAVITY,
        SPRAY_DRAG,       SPRAY_SEED};
    static constexpr int kShapeParams[] = {SPRAY_WIDTH, SPRAY_LENGTH, SPRAY_SPREAD};

    /// `u` are four uniform numbers in [0, 1).
    static void Emit(const BirthParams &bp, const float u[4], Point3 &pos, Point3 &dir) {
        const float width = bp.shape[0], length = bp.shape[1];
        const float spread = std::clamp(bp.shape[2], 0.0f, kPi);
        pos = Point3((u[0] - 0.5f) * width, (u[1] - 0.5f) * length, 0.0f);
        // Uniform over the spherical cap: cos θ uniform between cos(spread) and 1.
        const float cosT = 1.0f - u[2] * (1.0f - std::cos(spread));
        const float sinT = std::sqrt(std::max(0.0f, 1.0f - cosT * cosT));
        const float phi = 2.0f * kPi * u[3];
        dir = Point3(sinT * std::cos(phi), sinT * std::sin(phi), cosT);
    }
};

/// The super spray: a disc emitting a stream tilted off its axis, fanned by two spreads.
struct SuperSprayKind {
    static constexpr Class_ID kClassID = SUPER_SPRAY_CLASS_ID;
    static constexpr const char *kName = "Super Spray";
    static constexpr const ParamSpec *kSpecs = kSuperSpraySpecs;
    static constexpr int kNumParams = SSPRAY_NUM_PARAMS;
    static constexpr EmitterLayout kLayout = {
        SSPRAY_BIRTH_RATE, SSPRAY_SPEED, SSPRAY_SPEED_VARIATION, SSPRAY_EMIT_START,
        SSPRAY_EMIT_STOP,  SSPRAY_LIFE,  SSPRAY_LIFE_VARIATION,  SSPRAY_GRAVITY,
        SSPRAY_DRAG,       SSPRAY_SEED};
    static constexpr int kShapeParams[] = {SSPRAY_DIAMETER, SSPRAY_OFF_AXIS,
                                           SSPRAY_OFF_AXIS_SPREAD, SSPRAY_OFF_PLANE,
                                           SSPRAY_OFF_PLANE_SPREAD};

    static void Emit(const BirthParams &bp, const float u[4], Point3 &pos, Point3 &dir) {
        // Uniform over the disc: the radius grows with the square root.
        const float r = 0.5f * bp.shape[0] * std::sqrt(u[0]);
        const float a = 2.0f * kPi * u[1];
        pos = Point3(r * std::cos(a), r * std::sin(a), 0.0f);
        const float axis = bp.shape[1] + (2.0f * u[2] - 1.0f) * bp.shape[2];
        const float plane = bp.shape[3] + (2.0f * u[3] - 1.0f) * bp.shape[4];
        dir = Point3(std::sin(axis) * std::cos(plane), std::sin(axis) * std::sin(plane),
                     std::cos(axis));
    }
};

// The emitter --------------------------------------------------------------------------------

/// How many particles of an emission window [start, stop) with `interval` ticks between
/// births (particle i is born in its slot [start + i·interval, start + (i + 1)·interval) at
/// the jittered time `birth(i)`) are born by t, capped at kMaxEmittedParticles.
template <typename BirthFn>
int BornBy(TimeValue t, int start, int stop, double interval, BirthFn birth) {
    if (t < start || stop <= start) return 0;
    // Slots that start before stop, and slots that start by t.
    const double slots = std::ceil((double(stop) - start) / interval);
    const double started = std::floor((double(t) - start) / interval) + 1.0;
    const double n = std::min({slots, started, double(kMaxEmittedParticles)});
    int count = static_cast<int>(n);
    // The last started slot's particle may not be born yet; rounding may also leave a slot
    // that starts exactly at stop.
    while (count > 0 && (birth(count - 1) > double(t) ||
                         double(start) + (count - 1) * interval >= double(stop))) {
        --count;
    }
    return count;
}

template <typename Kind>
class Emitter final : public ParamObject<ParticleObject> {
public:
    Emitter() : ParamObject(Kind::kSpecs, Kind::kNumParams, false) {}
    explicit Emitter(bool loading) : ParamObject(Kind::kSpecs, Kind::kNumParams, loading) {}

    Class_ID ClassID() override { return Kind::kClassID; }
    void GetClassName(TSTR &s) override { s = Kind::kName; }
    const TCHAR *GetObjectName() override { return Kind::kName; }

    ReferenceTarget *Clone(RemapDir &remap) override {
        auto *copy = new Emitter(true);
        CloneBlockInto(*copy, remap);
        return copy;
    }

    void Update(TimeValue t, INode *node) override;

private:
    /// The birth-time parameters at t; `valid` is narrowed to the times they hold.
    void ReadBirthParams(TimeValue t, BirthParams &bp, Interval &valid) const {
        const EmitterLayout &l = Kind::kLayout;
        bp.speed = GetFloat(l.speed, t, valid);
        bp.speedVar = GetFloat(l.speedVar, t, valid);
        bp.life = GetInt(l.life, t, valid);
        bp.lifeVar = GetInt(l.lifeVar, t, valid);
        int k = 0;
        for (int index : Kind::kShapeParams) bp.shape[k++] = GetFloat(index, t, valid);
    }
};

template <typename Kind>
void Emitter<Kind>::Update(TimeValue t, INode *node) {
    const EmitterLayout &l = Kind::kLayout;
    const double tpf = GetTicksPerFrame();
    const float rate = GetFloat(l.birthRate, 0);
    const int start = GetInt(l.emitStart, 0), stop = GetInt(l.emitStop, 0);
    const int seed = GetInt(l.seed, 0);
    const float gravity = GetFloat(l.gravity, 0);
    const float drag = std::clamp(GetFloat(l.drag, 0), 0.0f, kMaxDrag);
    const float dragRate = -std::log(1.0f - drag);  // per frame: speed × e^(−rate × frames)

    if (!(rate > 0.0f) || !std::isfinite(rate)) {
        Resize(0);
        return;
    }
    const double interval = tpf / rate;
    auto birth = [&](int i) {
        return double(start) + (i + double(Uniform(seed, i, kStreamBirth))) * interval;
    };
    const int count = BornBy(t, start, stop, interval, birth);
    Resize(count);

    const Point3 g(0.0f, 0.0f, -gravity);
    BirthParams bp;
    Interval bpValid = NEVER, tmValid = NEVER;
    Matrix3 tm;
    for (int i = 0; i < count; ++i) {
        const double born = birth(i);
        const auto tb = static_cast<TimeValue>(std::floor(born));
        if (!bpValid.InInterval(tb)) {
            bpValid = FOREVER;
            ReadBirthParams(tb, bp, bpValid);
        }
        const double age = double(t) - born;
        const int life = std::max(
            0,
            bp.life + static_cast<int>(std::lround(bp.lifeVar * Signed(seed, i, kStreamLife))));
        if (age > life) continue;  // dead (Resize left it so)

        if (!tmValid.InInterval(tb)) {
            tmValid = FOREVER;
            tm = node ? node->GetNodeTM(tb, &tmValid) : Matrix3();
        }
        const float u[4] = {Uniform(seed, i, kStreamShape0), Uniform(seed, i, kStreamShape1),
                            Uniform(seed, i, kStreamShape2), Uniform(seed, i, kStreamShape3)};
        Point3 localPos, localDir;
        Kind::Emit(bp, u, localPos, localDir);
        const float speed =
            bp.speed * (1.0f + bp.speedVar * 0.01f * Signed(seed, i, kStreamSpeed));
        const Point3 p0 = tm.PointTransform(localPos);
        const Point3 v0 = Normalize(tm.VectorTransform(localDir)) * speed;

        // Flight in frames: dv/dt = g − rate·v.
        const auto frames = static_cast<float>(age / tpf);
        Point3 p, v;
        if (dragRate < kMinDragRate) {
            v = v0 + g * frames;
            p = p0 + v0 * frames + g * (0.5f * frames * frames);
        } else {
            const float e = std::exp(-dragRate * frames);
            const Point3 terminal = g / dragRate;
            v = v0 * e + terminal * (1.0f - e);
            p = p0 + (v0 - terminal) * ((1.0f - e) / dragRate) + terminal * frames;
        }
        SetParticle(i, p, v / static_cast<float>(tpf), static_cast<TimeValue>(std::floor(age)));
    }
}

BuiltInClassDesc<Emitter<SprayKind>> sprayDesc("Spray", GEOMOBJECT_CLASS_ID, SPRAY_CLASS_ID);
BuiltInClassDesc<Emitter<SuperSprayKind>> superSprayDesc("Super Spray", GEOMOBJECT_CLASS_ID,
                                                         SUPER_SPRAY_CLASS_ID);

}  // namespace

// ParticleObject -----------------------------------------------------------------------------

ParticleObject::~ParticleObject() = default;

void *ParticleObject::GetInterface(ULONG id) {
    if (id == I_PARTICLEOBJ) return static_cast<ParticleObject *>(this);
    return GeomObject::GetInterface(id);
}

void ParticleObject::Resize(int n) {
    positions_.assign(n, Point3());
    velocities_.assign(n, Point3());
    ages_.assign(n, -1);
}

int ParticleObject::Checked(int i) const {
    DbgAssert(i >= 0 && i < NumParticles());
    return i;
}
