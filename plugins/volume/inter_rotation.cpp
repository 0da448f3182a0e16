/// @file inter_rotation.cpp
/// @brief InterRotation: parameters, the squash controller, and the shape, rotation and scale
///        of particle volumes.
#include "plugins/volume/inter_rotation.h"

#include "plugins/volume/volume_cache.h"
#include "plugins/volume/volume_preview.h"

#include "framework/plugin_class_desc.h"

#include "host/noise.h"

#include <cmath>
#include <cstdint>

namespace {

constexpr ParamRange kPercentRange{0.0f, 1.0f};
constexpr ParamRange kRateRange{0.0f, 1e10f};

// Parameter block (version 0).
const ParamSpec kParamSpecs[InterRotation::kParams] = {
    {"Speed", TYPE_FLOAT, TRUE, 0.0f, defaultDim, {}, kParamIDIsIndex, kRateRange},
    {"Variation", TYPE_FLOAT, TRUE, 0.0f, defaultDim, {}, kParamIDIsIndex, kRateRange},
    {"??", TYPE_INT, FALSE, 0.0f, defaultDim},  // the "Rotation Mode" property
    {"Axis X", TYPE_FLOAT, TRUE, 1.0f, defaultDim, {}, kParamIDIsIndex, kPercentRange},
    {"Axis Y", TYPE_FLOAT, TRUE, 1.0f, defaultDim, {}, kParamIDIsIndex, kPercentRange},
    {"Axis Z", TYPE_FLOAT, TRUE, 1.0f, defaultDim, {}, kParamIDIsIndex, kPercentRange},
    {"??", TYPE_BOOL, FALSE, 1.0f, defaultDim},  // the "Show Particle Color" property
    {"??", TYPE_RGBA, TRUE, 0.0f, stdColorDim, Color(0.0f, 0.0f, 0.0f)},  // manual colour
    {"??",
     TYPE_INT,
     FALSE,
     10.0f,
     defaultDim,
     {},
     kParamIDIsIndex,
     {0.0f, float(kMaxPreviewNodes)}},          // preview count
    {"??", TYPE_INT, FALSE, 0.0f, defaultDim},  // the "Shape" property
    {"Birth Squash X", TYPE_FLOAT, TRUE, 1.0f, defaultDim, {}, kParamIDIsIndex, kPercentRange},
    {"Death Squash X", TYPE_FLOAT, TRUE, 1.0f, defaultDim, {}, kParamIDIsIndex, kPercentRange},
    {"Birth Squash Y", TYPE_FLOAT, TRUE, 1.0f, defaultDim, {}, kParamIDIsIndex, kPercentRange},
    {"Death Squash Y", TYPE_FLOAT, TRUE, 1.0f, defaultDim, {}, kParamIDIsIndex, kPercentRange},
    {"Birth Squash Z", TYPE_FLOAT, TRUE, 1.0f, defaultDim, {}, kParamIDIsIndex, kPercentRange},
    {"Death Squash Z", TYPE_FLOAT, TRUE, 1.0f, defaultDim, {}, kParamIDIsIndex, kPercentRange},
};

const ControllerSpec kControllers[InterRotation::kControllers] = {
    {"Squash", 1401, ControllerSpec::kFloat, 0.0f, 100.0f, 0.5f},
};

constexpr const char *kModeLabels[InterRotation::kRotationModes] = {"None", "Follow Particle",
                                                                    "Random"};
constexpr const char *kShapeLabels[] = {"Sphere", "Cylinder", "Box"};
const ChoiceSpec kChoices[] = {
    {"Rotation Mode", InterRotation::kRotationMode, kModeLabels,
     "how particle volumes turn: \"None\", \"Follow Particle\" (local z along the motion) or "
     "\"Random\" (a tumble per particle)"},
    {"Show Particle Color",
     InterRotation::kShowParticleColor,
     {},
     "preview nodes take the colour shader's colour instead of the manual colour"},
    {"Shape", InterRotation::kShape, kShapeLabels,
     "the volume of each particle: \"Sphere\", \"Cylinder\" or \"Box\""},
};

const PlugInLayout kLayout{kParamSpecs, kControllers, kChoices};

// Random tumble: how fast the variation's noise runs over the age value, and the angle
// (radians) per unit of speed at a draw of 1.
constexpr float kVariationNoiseRate = 123.234f;
constexpr float kTumbleAngle = 40.0f;

/// The classic C library generator (state × 214013 + 2531011, answering bits 16 … 30), so
/// that a particle's draw is the same on every platform and thread.
class ParticleRandom {
public:
    explicit ParticleRandom(int seed) : state_(static_cast<std::uint32_t>(seed)) {}
    /// The next number, 0 … 32767.
    int Next() {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7FFF);
    }

private:
    std::uint32_t state_;
};

/// Rows x, y, z of a right-handed orthonormal frame whose z row is `direction` (unit length).
Matrix3 FrameAlong(const Point3 &direction) {
    // Any axis well away from the direction completes the frame.
    const Point3 helper =
        std::fabs(direction.z) < 0.9f ? Point3(0.0f, 0.0f, 1.0f) : Point3(1.0f, 0.0f, 0.0f);
    const Point3 x = Normalize(CrossProd(helper, direction));
    const Point3 y = CrossProd(direction, x);
    return Matrix3(x, y, direction, Point3());
}

}  // namespace

ClassDesc *GetInterRotationDesc() {
    return PlugInClassDesc<InterRotation>::Get("InterRotation", "VolumeFX", REF_MAKER_CLASS_ID,
                                               false);
}

InterRotation::InterRotation(bool loading) : TablePlugIn(kLayout, loading) {}

InterRotation::~InterRotation() = default;

// ---------------------------------------------------------------------------------------------
// Shape, rotation, scale

int InterRotation::__ComputeParticleShape__(TimeValue t) {
    return ChoiceParam(kShape, t, std::size(kShapeLabels));
}

Matrix3 InterRotation::__ComputeParticleRotate__(TimeValue t, Point3, Point3 motion,
                                                 float ageValue, float factor) {
    switch (ChoiceParam(kRotationMode, t, kRotationModes)) {
        case kFollowParticle: {
            const float length = Length(motion);
            // A particle at rest (or a broken velocity) has no direction to follow.
            if (!(length > 0.0f) || !std::isfinite(length)) return Matrix3();
            return FrameAlong(motion * (1.0f / length));
        }
        case kRandomRotation: {
            ParticleRandom random(particle_);
            const float variation = (noise1(ageValue * kVariationNoiseRate) + 1.0f) * 0.5f *
                                    FloatParam(kVariation, t);
            const float angle = (FloatParam(kSpeed, t) + variation) * kTumbleAngle *
                                (static_cast<float>(random.Next()) / 32767.0f) * factor;
            Matrix3 m;
            m.RotateX(angle * FloatParam(kAxisX, t));
            m.RotateY(angle * FloatParam(kAxisY, t));
            m.RotateZ(angle * FloatParam(kAxisZ, t));
            return m;
        }
        default:
            return Matrix3();
    }
}

Point3 InterRotation::__ComputeParticleScale__(TimeValue t, float ageFraction) {
    const int age = static_cast<int>(ageFraction * kSquashLife);
    if (NimbraController *squash = GetController(kSquashController))
        squash->__Reset__(t, 0, kSquashLife, static_cast<int>(ageFraction));
    const auto axis = [&](int birth) {
        return EvalFloat(kSquashController, age, FloatParam(birth, t),
                         FloatParam(birth + 1, t));
    };
    return Point3(axis(kBirthSquashX), axis(kBirthSquashY), axis(kBirthSquashZ));
}

// ---------------------------------------------------------------------------------------------
// Caches and the particle announcement

void InterRotation::__CreateCache__(TimeValue, ParticleVolume *volume) {
    if (volume) volume->cache[kTransformCache] = nullptr;
}

void InterRotation::__DestroyCache__(TimeValue, ParticleVolume *volume) {
    // This class never hangs a record there (`__CreateCache__` stores null), so there is
    // nothing of its own to free: freeing memory of unknown origin would be unsound.
    if (volume) volume->cache[kTransformCache] = nullptr;
}

void InterRotation::__EnumParticle__(ParticleInfo *info, void *particles, int index) {
    if (particles && info && index >= 0) particle_ = info->particleIndex;
    AnswerVolumeQuery(info, particles, index);
}

// ---------------------------------------------------------------------------------------------
// Viewport preview

int InterRotation::CreatePreview(INode *helperNode) {
    const TimeValue t = 0;
    PreviewOptions options;
    options.count = IntParam(kPreviewCount, t);
    options.shape = __ComputeParticleShape__(t);
    options.showParticleColor = IntParam(kShowParticleColor, t) != 0;
    options.manualColor = ColorParam(kManualColor, t);
    return CreateVolumePreview(helperNode, this, options);
}

int InterRotation::ErasePreview(INode *helperNode) {
    return EraseVolumePreview(helperNode);
}
