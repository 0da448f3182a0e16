/// @file volume_cache.h
/// @brief What the volume effects share about their per-particle records (one per plug-in
///        role, hung on the particle's volume) and the volume query.
#pragma once

#include "framework/plugin_interface.h"

#include "host/messages.h"

#include <new>

/// The record of type `T` in slot `slot` of `volume`, or null.
template <typename T>
T *VolumeCacheOf(const ParticleVolume *volume, CacheSlot slot) {
    return volume ? static_cast<T *>(volume->cache[slot]) : nullptr;
}

/// Frees the record of type `T` in slot `slot` of `volume`, if any, and clears the slot.
template <typename T>
void DestroyVolumeCache(ParticleVolume *volume, CacheSlot slot) {
    if (!volume) return;
    delete VolumeCacheOf<T>(volume, slot);
    volume->cache[slot] = nullptr;
}

/// Hangs a copy of `record` on `volume` in slot `slot`; a record left there from before is
/// freed, not leaked.
template <typename T>
void ReplaceVolumeCache(ParticleVolume *volume, CacheSlot slot, const T &record) {
    DestroyVolumeCache<T>(volume, slot);
    T *made = new (std::nothrow) T(record);
    DbgAssert(made);
    volume->cache[slot] = made;
}

/// The volume query (no particle object, index kVolumeQueryIndex): a plug-in that serves the
/// volume renderer writes 1 into the int that `info` points to.
inline void AnswerVolumeQuery(ParticleInfo *info, void *particles, int index) {
    if (!particles && index == kVolumeQueryIndex && info) *reinterpret_cast<int *>(info) = 1;
}
