/// @file studio_preview_routes.cpp
/// @brief The studio's routes for the "Nimbra - Preview" window: status with every shown
///        control, start, stop, a click on a control, the fly-offs, the region drawn with the
///        mouse, and the finished image.
#include "studio_context.h"

#include <algorithm>

namespace {

/// The controls the user sees, by caption (the hidden ones have no place in the page).
ojson Controls(const PreviewWindow &window) {
    ojson controls = ojson::array();
    for (int i = 0; i < PreviewWindow::kControlCount; ++i) {
        const auto &c = window.GetControl(static_cast<PreviewWindow::Control>(i));
        if (c.hidden) continue;
        ojson control = {{"caption", c.caption},
                         {"tooltip", c.tooltip},
                         {"check", c.check},
                         {"checked", c.checked},
                         {"enabled", c.enabled}};
        if (i == PreviewWindow::kStepSize || i == PreviewWindow::kShadowDetail)
            control["flyOff"] = {
                {"entry", window.FlyOffEntry(static_cast<PreviewWindow::Control>(i))},
                {"entries", PreviewWindow::kFlyOffEntries}};
        controls.push_back(std::move(control));
    }
    return controls;
}

PreviewWindow::Control ControlNamed(const PreviewWindow &window, const ojson &body) {
    const std::string caption = StringMember(body, "control");
    for (int i = 0; i < PreviewWindow::kControlCount; ++i) {
        const auto c = static_cast<PreviewWindow::Control>(i);
        if (!window.GetControl(c).hidden && caption == window.GetControl(c).caption) return c;
    }
    throw RequestError{404, "the preview window has no control \"" + caption + "\""};
}

ojson PreviewStatus(StudioContext &s) {
    s.TickPreview();
    PreviewWindow &window = *s.window;
    const PreviewManager &m = window.Manager();
    const RECT region = window.RegionFrame();
    return {{"busy", m.Busy()},
            {"title", window.Title()},
            {"done", window.ProgressPosition()},
            {"total", window.ProgressRange()},
            {"caption", window.Caption()},
            {"version", window.ImageVersion()},
            {"rendersEnded", s.rendersEnded},
            {"halfSize", window.GetControl(PreviewWindow::kHalfSize).checked},
            {"controls", Controls(window)},
            {"region", {region.left, region.top, region.right, region.bottom}},
            {"imageOrigin", {PreviewWindow::kImageX, PreviewWindow::kImageY}}};
}

/// A mouse message in window coordinates, as the window would receive it.
void Mouse(PreviewWindow &window, const ojson &body) {
    const std::string what = StringMember(body, "mouse");
    const auto x = body.find("x"), y = body.find("y");
    if (x == body.end() || y == body.end() || !x->is_number_integer() ||
        !y->is_number_integer())
        throw RequestError{400, "expected \"x\" and \"y\": whole numbers"};
    // Far outside the window a coordinate means nothing; keep it within int.
    const int wx = static_cast<int>(std::clamp<long long>(*x, -10000, 10000));
    const int wy = static_cast<int>(std::clamp<long long>(*y, -10000, 10000));
    if (what == "down")
        window.MouseDown(wx, wy);
    else if (what == "move")
        window.MouseMove(wx, wy);
    else if (what == "up")
        window.MouseUp(wx, wy);
    else
        throw RequestError{400, "\"mouse\" must be \"down\", \"move\" or \"up\""};
}

void StartPreview(StudioContext &s, const ojson &body) {
    s.StopPreview();
    PreviewWindow &window = *s.window;
    if (const auto half = body.find("halfSize"); half != body.end()) {
        if (!half->is_boolean())
            throw RequestError{400, "expected \"halfSize\": true or false"};
        if (window.GetControl(PreviewWindow::kHalfSize).checked != half->get<bool>())
            window.Press(PreviewWindow::kHalfSize);
    }
    window.Press(window.PreviewSwitch() ? PreviewWindow::kUpdate : PreviewWindow::kPreview);
    s.renderInterrupted = false;  // this render replaces the stopped one
}

std::string PreviewPng(StudioContext &s) {
    s.TickPreview();
    Bitmap *image = s.window->Image();
    if (!image) throw RequestError{409, "no preview yet (or one is rendering)"};
    return PngBytes(*image, "nimbra-studio-" + s.token + ".png");
}

}  // namespace

void AddPreviewRoutes(StudioContext &studio) {
    StudioContext *s = &studio;
    studio.Get("/api/preview", [s](const auto &) { return PreviewStatus(*s); });
    studio.Post("/api/preview/start", [s](const httplib::Request &req) {
        StartPreview(*s, ParseBody(req));
        return PreviewStatus(*s);
    });
    studio.Post("/api/preview/stop", [s](const auto &) {
        if (s->window->Manager().Busy()) s->window->Press(PreviewWindow::kStop);
        return PreviewStatus(*s);
    });
    studio.Post("/api/preview/press", [s](const httplib::Request &req) {
        const ojson body = ParseBody(req);
        const PreviewWindow::Control c = ControlNamed(*s->window, body);
        s->window->Press(c);
        s->renderInterrupted = false;
        return PreviewStatus(*s);
    });
    studio.Post("/api/preview/flyoff", [s](const httplib::Request &req) {
        const ojson body = ParseBody(req);
        const PreviewWindow::Control c = ControlNamed(*s->window, body);
        if (c != PreviewWindow::kStepSize && c != PreviewWindow::kShadowDetail)
            throw RequestError{400, "only \"Step Size\" and \"Shadow Detail\" have fly-offs"};
        const auto entry = body.find("entry");
        if (entry == body.end() || !entry->is_number_integer() || *entry < 0 ||
            *entry >= PreviewWindow::kFlyOffEntries)
            throw RequestError{400, "expected \"entry\": a whole number from 0 to " +
                                        std::to_string(PreviewWindow::kFlyOffEntries - 1)};
        s->window->SelectFlyOff(c, entry->get<int>());
        return PreviewStatus(*s);
    });
    studio.Post("/api/preview/mouse", [s](const httplib::Request &req) {
        Mouse(*s->window, ParseBody(req));
        return PreviewStatus(*s);
    });
    studio.server.Get("/api/preview.png",
                      [s](const httplib::Request &, httplib::Response &res) {
                          s->Answer(res, [&] { res.set_content(PreviewPng(*s), "image/png"); });
                      });
}
