/// @file particle_file_fuzz.cpp
/// @brief libFuzzer target: arbitrary bytes read as a particle file (built twice: CSV, and
///        JSON with NIMBRA_FUZZ_PARTICLE_EXTENSION ".json") by the particle file player, which
///        then plays it at times around its first frames. Whatever the bytes, neither crashes,
///        leaks nor runs into undefined behaviour. A refused file leaves the player without
///        particles and with a message naming the file; a file read plays every particle
///        either dead (age -1) or with an age of at least 0. Build and run: fuzz/README.md.
#include "fuzz_support.h"

#include "host/class_desc.h"
#include "host/particles.h"

#include <cstdint>
#include <cstdlib>
#include <string>

#ifndef NIMBRA_FUZZ_PARTICLE_EXTENSION
#define NIMBRA_FUZZ_PARTICLE_EXTENSION ".csv"
#endif

namespace {

/// Scene times played (ticks; 160 per frame): before, on and between the first file frames,
/// and far out.
constexpr TimeValue kTimes[] = {-160, 0, 80, 160, 240, 320, 1000, 16000, -1000000};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static fuzz::Workspace workspace("particle_fuzz");
    static const std::string path = workspace.Scratch("fuzz" NIMBRA_FUZZ_PARTICLE_EXTENSION);
    fuzz::WriteAll(path, data, size);

    auto *player = dynamic_cast<ParticleFileObject *>(
        static_cast<Animatable *>(CreateInstance(GEOMOBJECT_CLASS_ID, PARTICLE_FILE_CLASS_ID)));
    if (!player) std::abort();
    if (!player->SetFileName(path)) {
        if (player->GetLoadError().rfind(path, 0) != 0) __builtin_trap();
        player->Update(0, nullptr);
        if (player->NumParticles() != 0) __builtin_trap();
    } else {
        for (TimeValue t : kTimes) {
            player->Update(t, nullptr);
            for (int i = 0; i < player->NumParticles(); ++i)
                if (player->GetParticleAge(i) < -1) __builtin_trap();
        }
    }
    player->DeleteThis();
    return 0;
}
