/// @file key_track.h
/// @brief Keys over time shared by parameter blocks and node transforms: finding where a time
///        falls among keys, setting a key, and the animate-mode rule for setting a value
///        (private to the host library).
#pragma once

#include "host/animatable.h"
#include "host/interface.h"

#include <algorithm>
#include <vector>

namespace hostkeys {

/// Where a time falls among keys: between `prev` and `next` at fraction `u`, or on one key
/// (`prev` = `next`, `u` 0) when it is at or beyond an end or there is only one key.
template <typename Key>
struct KeySpan {
    const Key *prev;
    const Key *next;
    double u;
};

/// Locates t among `keys` (increasing `Key::t`, at least one) and narrows `valid` to the times
/// around t with the same value: beyond an end, the times up to that end key; between keys,
/// t alone, or with `step` (values that hold until the next key) the span up to the next key.
template <typename Key>
KeySpan<Key> Locate(const std::vector<Key> &keys, TimeValue t, Interval &valid,
                    bool step = false) {
    if (keys.size() == 1) return {&keys.front(), &keys.front(), 0.0};
    if (t <= keys.front().t) {
        valid &= Interval(TIME_NegInfinity, keys.front().t);
        return {&keys.front(), &keys.front(), 0.0};
    }
    if (t >= keys.back().t) {
        valid &= Interval(keys.back().t, TIME_PosInfinity);
        return {&keys.back(), &keys.back(), 0.0};
    }
    // First key after t; t lies in [prev.t, next.t).
    auto next = std::upper_bound(keys.begin(), keys.end(), t,
                                 [](TimeValue time, const Key &k) { return time < k.t; });
    auto prev = next - 1;
    valid &= step ? Interval(prev->t, next->t - 1) : Interval(t, t);
    return {&*prev, &*next, (double(t) - prev->t) / (double(next->t) - prev->t)};
}

/// Sets the key at t, or adds one in time order.
template <typename Key, typename V>
void SetKey(std::vector<Key> &keys, TimeValue t, const V &v) {
    auto it = std::lower_bound(keys.begin(), keys.end(), t,
                               [](const Key &k, TimeValue x) { return k.t < x; });
    if (it != keys.end() && it->t == t)
        it->v = v;
    else
        keys.insert(it, Key{t, v});
}

/// Sets a value at t: a key when there are keys, or when the value is animatable and the
/// animate mode is on (then with a key at 0 holding the old constant, so earlier times keep
/// it); the constant otherwise.
template <typename Key, typename V>
void SetByAnimateRule(std::vector<Key> &keys, V &constant, TimeValue t, const V &v,
                      bool animatable = true) {
    if (!keys.empty()) {
        SetKey(keys, t, v);
    } else if (animatable && Animating()) {
        if (t != 0) SetKey(keys, 0, constant);
        SetKey(keys, t, v);
    } else {
        constant = v;
    }
}

}  // namespace hostkeys
