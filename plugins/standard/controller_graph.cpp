/// @file controller_graph.cpp
/// @brief The curve views' content.
#include "plugins/standard/controller_graph.h"

#include "plugins/standard/default_controller.h"

namespace {

constexpr BMM_Color_64 kBlack{0, 0, 0, 0};
constexpr BMM_Color_64 kWhite{65535, 65535, 65535, 0};

/// Turns the controller's graph mode on for its lifetime and restores it after.
class GraphModeScope {
public:
    explicit GraphModeScope(DefaultController &c) : c_(c), was_(c.GraphMode()) {
        c_.SetGraphMode(true);
    }
    ~GraphModeScope() { c_.SetGraphMode(was_); }
    GraphModeScope(const GraphModeScope &) = delete;
    GraphModeScope &operator=(const GraphModeScope &) = delete;

private:
    DefaultController &c_;
    bool was_;
};

}  // namespace

ControllerGraph ComputeControllerGraph(DefaultController &controller, TimeValue t, int width,
                                       int height) {
    ControllerGraph graph;
    const GraphModeScope graphMode(controller);
    controller.__Reset__(t, 1, width - 2, 0);
    graph.curve.push_back({1, 1});
    for (int x = 1; x < width; ++x) {
        const int low = 2, high = height - 2;
        int value = low;
        controller.__Eval__(&value, x, low, high);
        graph.curve.push_back({x, value + 1});

        BMM_Color_64 color = kBlack;
        controller.__Eval__(&color, x, kBlack, kWhite);
        graph.strip.push_back({static_cast<std::uint8_t>(color.r >> 8),
                               static_cast<std::uint8_t>(color.g >> 8),
                               static_cast<std::uint8_t>(color.b >> 8)});
    }
    return graph;
}
