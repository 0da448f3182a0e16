/// @file controller_graph.h
/// @brief What the two curve views of the default controller's editor show, computed without
///        a window: the gradient strip's colour per pixel column and the curve's polyline.
#pragma once

#include "plugins/standard/standard_api.h"
#include "host/types.h"

#include <cstdint>
#include <vector>

class DefaultController;

/// A point of the curve view, in client pixels (y grows downward).
struct GraphPoint {
    int x = 0, y = 0;
    bool operator==(const GraphPoint &) const = default;
};

/// The 8-bit colour of one strip column.
struct GraphColor {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const GraphColor &) const = default;
};

/// The content of both views for one client size.
struct ControllerGraph {
    /// The strip's colour of pixel column x at index x − 1, for x = 1 … W − 1; each column is
    /// filled over the whole height. Column 0 shows the background.
    std::vector<GraphColor> strip;
    /// The curve's polyline: (1, 1), then (x, value + 1) for x = 1 … W − 1.
    std::vector<GraphPoint> curve;
};

/// Computes both views of a client area `width` × `height` at host time `t`, as the editor
/// paints them: the controller is reset for a particle whose life spans the pixel columns
/// 1 … W − 2 (birth 1, death W − 2, particle 0, parameters at `t`), then, with the
/// variations switched off, each column x is evaluated as an integer between 2 and H − 2 (the
/// curve) and as a colour between black and white (the strip, high bytes of each channel).
/// The controller's evaluation state is left as the last reset made it. Modes that evaluate to
/// nothing (Pulse, Other) leave the curve at the birth value and the strip black.
STANDARD_API ControllerGraph ComputeControllerGraph(DefaultController &controller, TimeValue t,
                                                    int width, int height);
