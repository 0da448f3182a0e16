/// @file scene_json.h
/// @brief The JSON scene file (docs/scene-format.md): reading it into the host's scene, with
///        its render settings and post-production queue, and writing the scene back.
///
/// Reading replaces the current scene. Objects, materials, atmospherics and image filters are
/// created by class name through the class directory, so the classes of every loaded module
/// can be used. Relative paths in the file (plates, images, outputs, and file names that
/// objects take as properties) are relative to the file's folder.
#pragma once

#include "json_input.h"

#include "host/bitmap.h"
#include "host/geom.h"
#include "host/image_filter.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

/// The version of the scene file format this program reads.
constexpr int kSceneJsonVersion = 1;

/// Deletes an image filter through its `DeleteThis`.
struct ImageFilterDeleter {
    void operator()(ImageFilter *f) const {
        if (f) f->DeleteThis();
    }
};
using ImageFilterPtr = std::unique_ptr<ImageFilter, ImageFilterDeleter>;

/// The render settings of a scene file; what the file leaves out stays unset.
struct RenderSettings {
    std::optional<int> width, height;
    std::optional<float> pixelAspect;
    std::string camera;                      ///< view node; empty: the scene's first camera
    std::optional<std::vector<int>> frames;  ///< the frames of the file's range
    std::string output;  ///< output pattern (absolute), empty when not given
    std::optional<bool> fieldRender;
    std::optional<int> fieldOrder;  ///< 0: even field first, 1: odd field first
    std::optional<int> threads;     ///< as -t takes it
};

/// One event of the scene file's post-production queue.
struct QueueEventSpec {
    enum class Kind { Scene, Plate, Filter, Output };
    Kind kind = Kind::Scene;
    std::string camera;       ///< scene and plate: view node, empty for the render camera
    std::string image;        ///< plate: image pattern (absolute)
    std::string depth;        ///< plate: separate depth pattern (absolute), may be empty
    ImageFilterPtr filter;    ///< filter, configured
    std::string filterClass;  ///< filter: its class name
    std::string file;         ///< output: pattern (absolute), empty for the render output
    std::string path;         ///< the event's JSON path, for messages
};

/// What a scene file holds besides the scene itself.
struct SceneDescription {
    std::string file;
    RenderSettings render;
    /// The first and last frame of the file's animation range, when it gives one.
    std::optional<std::pair<int, int>> animationRange;
    Color ambient, background;
    BitmapPtr backgroundImage;        ///< null for the plain colour
    std::string backgroundImagePath;  ///< its file (absolute), empty for the plain colour
    bool hasQueue = false;            ///< false: the default queue (scene, output)
    std::vector<QueueEventSpec> queue;
    std::vector<std::string> warnings;  ///< keys nobody read, one message each
};

/// Reads the scene file `path` into the host's scene (replacing it). Throws SceneJsonError
/// naming the file, the JSON path and what was expected; the scene is empty then.
SceneDescription ReadSceneJsonFile(const std::filesystem::path &path);

/// Reads a scene from `text`; `file` names it in messages and `baseDir` resolves its relative
/// paths.
SceneDescription ReadSceneJson(const std::string &text, const std::string &file,
                               const std::filesystem::path &baseDir);

/// The host's scene with `desc`'s render settings, background image and queue, as a scene
/// file that `ReadSceneJson` reads back into the same scene: scene settings, nodes with their
/// objects, materials, transforms (constant or keyed) and targets, atmospherics with their
/// gizmos. Paths are written relative to `baseDir` (the file's folder) when they lie below it.
nlohmann::ordered_json SceneToJson(const SceneDescription &desc,
                                   const std::filesystem::path &baseDir);

/// Writes `SceneToJson` to `path` (its folder must exist). Throws SceneJsonError naming the
/// file when it cannot be written.
void WriteSceneJsonFile(const SceneDescription &desc, const std::filesystem::path &path);