/// @file render_command.cpp
/// @brief The options of `nimbra render` and their help text.
#include "render_command.h"

#include "render_job.h"

#include <cstdio>
#include <memory>

Command AddRenderCommand(CLI::App &app) {
    struct Options {
        RenderRequest request;
        int threads = 0;
        std::string size;
    };
    auto options = std::make_shared<Options>();
    RenderRequest &r = options->request;

    CLI::App *render = app.add_subcommand(
        "render", "Render frames of a scene through its post-production queue");
    render->add_option("SCENE", r.scene,
                       "Scene file: JSON (docs/scene-format.md) or a binary scene file; "
                       "without one, the built-in demo scene");
    render
        ->add_option("-o,--output", r.output,
                     "Output file pattern: #### (or %04d) is the frame number, the extension "
                     "picks the format (.exr, .png, .tif, .jpg …); folders are created")
        ->type_name("PATTERN");
    render
        ->add_option("--frames", r.frames,
                     "Frames to render: 12, 1-100, 100-1, 1-100x5 or 1-100:5 (step), lists by "
                     "commas or spaces (\"3,7,10-12\"), negative frames; repeatable")
        ->type_name("RANGE")
        ->allow_extra_args(false);
    CLI::Option *threads =
        render
            ->add_option("-t,--threads", options->threads,
                         "Render threads: N > 0 uses N, 0 every core (the default), -N every "
                         "core but N")
            ->type_name("N");
    render
        ->add_option("--progress", r.progress,
                     "Progress on standard output: bar (default on a terminal), plain (default "
                     "otherwise: 'PROGRESS 37.5% frame=12 done=3/8'), openjd "
                     "('openjd_progress: 37.5' lines for farm managers) or json (one object a "
                     "line)")
        ->type_name("MODE")
        ->check(CLI::IsMember({"bar", "plain", "openjd", "json"}).description(""));
    render
        ->add_option("--camera", r.camera,
                     "View through this node instead of the scene's render camera")
        ->type_name("NODE");
    CLI::Option *size =
        render->add_option("--size", options->size, "Frame size instead of the scene's")
            ->type_name("WxH");
    render
        ->add_option("--save-scene", r.saveScene,
                     "Write the loaded scene to FILE and exit without rendering: a JSON scene "
                     "file when FILE ends in .json, else a binary scene file")
        ->type_name("FILE");
    render->footer(
        "Renders every frame through the scene's post-production queue (by default: the scene\n"
        "seen through its camera, written to the output pattern) and writes the images.\n"
        "Options override the scene's render settings. Paths inside a scene file are relative\n"
        "to its folder; paths on the command line to the current folder. Ctrl-C stops after\n"
        "the current step (twice: at once).\n\n"
        "Exit codes: 0 every frame written, 1 a frame, the scene or a file failed, 2 a usage\n"
        "error.\n\n"
        "Examples:\n"
        "  nimbra render -o out/demo.####.png --frames 1-10\n"
        "                       the built-in demo scene, frames 1 to 10\n"
        "  nimbra render examples/lit-scene.json -o out/lit.####.exr --frames 1-100x10 -t -1\n"
        "                       every tenth frame as EXR (with Z), leaving one core free\n"
        "  nimbra render shot.json --progress openjd\n"
        "                       as a farm job, with progress lines the farm manager reads\n"
        "  nimbra render shot.json --save-scene shot.nbs && nimbra render shot.nbs -o "
        "x.####.png\n"
        "                       convert to a binary scene, then render that");

    return {render, [options, threads, size](const GlobalOptions &global) {
                RenderRequest request = options->request;
                if (threads->count() > 0) request.threads = options->threads;
                if (size->count() > 0) {
                    try {
                        request.size = ParseImageSize(options->size);
                    } catch (const UsageError &e) {
                        std::fprintf(stderr, "nimbra render: %s\n", e.what());
                        return kExitUsage;
                    }
                }
                return RunRender(request, global);
            }};
}
