/// @file particle_rotation.cpp
/// @brief The particle rotation component: its block, the angle per particle and its library
///        record.
#include "plugins/standard/particle_rotation.h"

#include "framework/age_quantity.h"
#include "framework/library_block.h"
#include "framework/nimbra_interface.h"
#include "host/interface.h"

#include <cmath>
#include <numbers>

namespace {

/// The block's radians to the degrees the controller and the library record use.
constexpr double kDegreesPerRadian = 180.0 / std::numbers::pi;
/// Degrees to radians for the rotation matrix.
constexpr float kAngleToRadians = 0.017453292f;

/// The farthest angle the roll-up and scene files take: 99 999 degrees, in radians.
constexpr float kAngleLimit = static_cast<float>(99999.0 / kDegreesPerRadian);

const ParamSpec kRotationParams[ParticleRotation::kParams] = {
    {"Birth Rotate",
     TYPE_FLOAT,
     TRUE,
     0.0f,
     stdAngleDim,
     {},
     kParamIDIsIndex,
     {-kAngleLimit, kAngleLimit}},
    {"Death Rotate",
     TYPE_FLOAT,
     TRUE,
     0.0f,
     stdAngleDim,
     {},
     kParamIDIsIndex,
     {-kAngleLimit, kAngleLimit}},
};

}  // namespace

std::span<const ParamSpec> ParticleRotation::Params() {
    return kRotationParams;
}

IParamBlock *ParticleRotation::MakeParamBlock() {
    return ::MakeParamBlock(kRotationParams, kParams);
}

bool ParticleRotation::AnswerParamQuery(PartID partID, RefMessage message) {
    return ::AnswerParamQuery(kRotationParams, kParams, partID, message);
}

void ParticleRotation::SetParamBlock(ReferenceTarget *target) {
    auto *block = dynamic_cast<IParamBlock *>(target);
    block_ = BlockMatches(block, kRotationParams, kParams) ? block : nullptr;
}

void ParticleRotation::ResetParameters() {
    if (!block_) return;
    SuspendAnimate();
    for (int i = 0; i < kParams; ++i) block_->SetValue(i, 0, 0.0f);
    ResumeAnimate();
}

float ParticleRotation::Degrees(int param, TimeValue t) const {
    float radians = 0.0f;
    if (block_) block_->GetValue(param, t, radians);
    return static_cast<float>(radians * kDegreesPerRadian);
}

void ParticleRotation::Update(TimeValue frameTime, const ParticleInfo &p,
                              NimbraController *controller) {
    const AgeQuantity<float> rotate{controller, Degrees(kBirthRotate, frameTime),
                                    Degrees(kDeathRotate, frameTime)};
    angle_ = rotate.At(frameTime, p.lifeStart, p.lifeEnd, p.particleIndex, p.age);
    matrix_.Zero();
    RotateMatrix(matrix_, angle_ * kAngleToRadians);
    // The rotation has no translation; with cos 1 and sin 0 (a turn by 0) it is the identity.
    upright_ = matrix_.m[0][0] == 1.0f && matrix_.m[0][1] == 0.0f && matrix_.m[1][0] == 0.0f &&
               matrix_.m[1][1] == 1.0f;
}

void ParticleRotation::BeginEdit(IObjParam *ip, NimbraInterface *iface) {
    editing_ = true;
    editIp_ = ip;
    editInterface_ = iface;
}

void ParticleRotation::EndEdit() {
    editing_ = false;
    editIp_ = nullptr;
    editInterface_ = nullptr;
}

int ParticleRotation::LibrarySave(NimbraInterface *io) const {
    if (!io || !WriteLibraryVersion(io)) return 0;
    std::uint8_t body[kRecordSize - kLibraryVersionBlockSize];
    PutLEFloat(body, Degrees(kBirthRotate, 0));
    PutLEFloat(body + 4, Degrees(kDeathRotate, 0));
    return io->fwrite(body, sizeof body, 1) == 1 ? 1 : 0;
}

bool ParticleRotation::LibraryRead(NimbraInterface *io) {
    if (!io || !ReadLibraryVersion(io)) return false;
    std::uint8_t body[kRecordSize - kLibraryVersionBlockSize];
    if (io->fread(body, sizeof body, 1) != 1) return false;
    const Angles angles{GetLEFloat(body), GetLEFloat(body + 4)};
    if (!std::isfinite(angles.birth) || !std::isfinite(angles.death)) return false;
    read_ = angles;
    return true;
}

void ParticleRotation::LibraryApply() {
    if (!read_) return;
    const Angles angles = *read_;
    read_.reset();
    if (!block_) return;
    SuspendAnimate();  // restored values are values, not keys made while animating
    block_->SetValue(kBirthRotate, 0, static_cast<float>(angles.birth / kDegreesPerRadian));
    block_->SetValue(kDeathRotate, 0, static_cast<float>(angles.death / kDegreesPerRadian));
    ResumeAnimate();
}

int ParticleRotation::LibraryLoad(NimbraInterface *io) {
    if (!LibraryRead(io)) return 0;
    LibraryApply();
    return 1;
}
