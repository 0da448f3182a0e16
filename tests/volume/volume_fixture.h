/// @file volume_fixture.h
/// @brief What the tests of the module `zephravolume` share: the modules loaded through the
///        host's loader once per test program, and objects of the module made through the host.
#pragma once

#include "common/module_environment.h"
#include "framework/plugin_interface.h"
#include "framework/plugin_records.h"
#include "host/class_desc.h"
#include "host/noise.h"
#include "host/paramblock.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <span>

namespace volumetest {

/// `nimbra`, `standard` (the default controller) and `zephravolume`, loaded for the whole test
/// program from a folder of links to them.
inline ModuleFolderEnvironment *const modules = static_cast<ModuleFolderEnvironment *>(
    ::testing::AddGlobalTestEnvironment(new ModuleFolderEnvironment("volume", 3)));

struct DeleteThisDeleter {
    void operator()(Animatable *object) const { object->DeleteThis(); }
};
template <typename T>
using Owned = std::unique_ptr<T, DeleteThisDeleter>;

/// A new `T` made through the host by its class identifier (null if it is not one).
template <typename T>
Owned<T> New(SClass_ID super = REF_MAKER_CLASS_ID) {
    auto *object = static_cast<Animatable *>(CreateInstance(super, T::kClassID));
    return Owned<T>(dynamic_cast<T *>(object));
}

/// The noise sum of a sample: |noise4| octaves of weights 1, 1/2, 1/4 … at q, 2q, 4q …, the
/// fraction of the level count adding that share of one more octave. In double precision, so
/// that it checks the plug-in's arithmetic rather than repeating it.
inline double NoiseSum(const Point3 &q, float phase, double levels) {
    double sum = 0.0, frequency = 1.0;
    for (; levels > 0.0; levels -= 1.0, frequency *= 2.0) {
        const double octave = std::fabs(noise4(q * float(frequency), phase)) / frequency;
        sum += octave * std::min(levels, 1.0);
    }
    return sum;
}

/// The sample at `point` and normalised radius `r` of `volume` after `effect`'s density call
/// (or its shadow call), with the record made at time 0 and freed again; its outputs start at
/// -1 so that an unwritten one shows.
inline SampleInfo SampleOf(NimbraPlugIn &effect, ParticleVolume &volume, const Point3 &point,
                           float r, bool shadow = false) {
    effect.__UpdateAtmos_(0);
    effect.__CreateCache__(0, &volume);
    SampleInfo s;
    s.volume = &volume;
    s.point = point;
    s.radius = r;
    s.noise = s.density = -1.0f;
    if (shadow)
        effect.__LightShadow_Function__(&s);
    else
        effect.__Density_Function__(&s);
    effect.__DestroyCache__(0, &volume);
    return s;
}

/// A quantity of a volume effect's record: its birth parameter (the death parameter follows
/// it), the record's field, and how the record scales and offsets the blended value.
template <typename Cache>
struct Quantity {
    int birth;
    float Cache::*field;
    float scale, offset;
};

/// Sets the birth and death parameters of every quantity to values of their own and checks
/// that the records made at birth and at `volume`'s end of life hold them as stated.
template <typename Effect, typename Cache>
void ExpectQuantitiesBlend(Effect &effect, ParticleVolume &volume,
                           std::span<const Quantity<Cache>> quantities) {
    IParamBlock *pb = effect.ParamBlock();
    for (const Quantity<Cache> &q : quantities) {
        pb->SetValue(q.birth, 0, 0.25f + float(q.birth));
        pb->SetValue(q.birth + 1, 0, 0.75f + float(q.birth));
    }
    for (const int age : {0, volume.lifeEnd}) {
        volume.age = age;
        effect.__CreateCache__(0, &volume);
        const Cache *made = Effect::CacheOf(&volume);
        ASSERT_NE(made, nullptr);
        const Cache record = *made;
        effect.__DestroyCache__(0, &volume);
        for (const Quantity<Cache> &q : quantities) {
            SCOPED_TRACE(pb->GetParamName(q.birth));
            const float value = (age ? 0.75f : 0.25f) + float(q.birth);
            EXPECT_FLOAT_EQ(record.*q.field, value * q.scale + q.offset);
        }
    }
}

}  // namespace volumetest
