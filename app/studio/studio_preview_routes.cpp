/// @file studio_preview_routes.cpp
/// @brief The studio's routes for the "Nimbra - Preview" window: status, start, stop and
///        the finished image.
#include "studio_context.h"

#include "host/image_file.h"

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

ojson PreviewStatus(PreviewWindow &window) {
    window.Tick();
    const PreviewManager &m = window.Manager();
    return {{"busy", m.Busy()},
            {"done", window.ProgressPosition()},
            {"total", window.ProgressRange()},
            {"caption", window.Caption()},
            {"version", window.ImageVersion()},
            {"halfSize", window.GetControl(PreviewWindow::kHalfSize).checked}};
}

void StartPreview(StudioContext &s, const ojson &body) {
    s.StopPreview();
    PreviewWindow &window = *s.window;
    if (const auto half = body.find("halfSize"); half != body.end()) {
        if (!half->is_boolean()) throw RequestError{400, "expected \"halfSize\": true or false"};
        if (window.GetControl(PreviewWindow::kHalfSize).checked != half->get<bool>())
            window.Press(PreviewWindow::kHalfSize);
    }
    window.Press(window.PreviewSwitch() ? PreviewWindow::kUpdate : PreviewWindow::kPreview);
}

std::string PreviewPng(StudioContext &s) {
    s.window->Tick();
    Bitmap *image = s.window->Image();
    if (!image) throw RequestError{409, "no preview yet (or one is rendering)"};
    const fs::path file = fs::temp_directory_path() / ("nimbra-studio-" + s.token + ".png");
    WriteImageFile(file.string(), *image);
    std::ifstream in(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    fs::remove(file);
    return bytes;
}

}  // namespace

void AddPreviewRoutes(StudioContext &studio) {
    StudioContext *s = &studio;
    studio.Get("/api/preview", [s](const auto &) { return PreviewStatus(*s->window); });
    studio.Post("/api/preview/start", [s](const httplib::Request &req) {
        StartPreview(*s, ParseBody(req));
        return PreviewStatus(*s->window);
    });
    studio.Post("/api/preview/stop", [s](const auto &) {
        if (s->window->Manager().Busy()) s->window->Press(PreviewWindow::kStop);
        return PreviewStatus(*s->window);
    });
    studio.server.Get("/api/preview.png", [s](const httplib::Request &, httplib::Response &res) {
        s->Answer(res, [&] { res.set_content(PreviewPng(*s), "image/png"); });
    });
}
