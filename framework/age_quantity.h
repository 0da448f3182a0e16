/// @file age_quantity.h
/// @brief One age-driven quantity: a birth value, a death value and the age controller that
///        blends them over a particle's life.
#pragma once

#include "framework/plugin_interface.h"

/// A quantity of type `T` (float, int, `Point2`, `Point3` or `BMM_Color_64`) driven over a
/// particle's life. Without a controller, or with one that writes nothing (the contract's
/// default body), the value is the birth value: a damaged set-up renders as a constant
/// quantity rather than a made-up curve.
template <typename T>
struct AgeQuantity {
    NimbraController *controller = nullptr;
    T birth{};
    T death{};

    /// The value at `age` with the controller as it was last reset.
    T At(int age) const {
        T value = birth;
        if (controller) controller->__Eval__(&value, age, birth, death);
        return value;
    }
    /// Resets the controller for one particle (frame time, life window, particle number),
    /// then evaluates it at `age`.
    T At(TimeValue t, int lifeStart, int lifeEnd, int particleNumber, int age) const {
        if (controller) controller->__Reset__(t, lifeStart, lifeEnd, particleNumber);
        return At(age);
    }
};
