/// @file render_job.h
/// @brief `nimbra render` behind its command line: loading the scene (JSON, binary or the
///        demo), merging the options over the scene's render settings, building the
///        post-production queue and running it with progress, interruption and exit codes.
#pragma once

#include "app_context.h"

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

/// What the command line asked for. Unset options leave the scene's settings.
struct RenderRequest {
    std::string scene;                ///< JSON or binary scene file; empty: the demo scene
    std::string output;               ///< -o PATTERN
    std::vector<std::string> frames;  ///< --frames, each a range (their union is rendered)
    std::optional<int> threads;       ///< -t N
    std::string progress;             ///< --progress MODE; empty: the default for stdout
    std::string saveScene;            ///< --save-scene FILE
    std::string camera;               ///< --camera NODE
    std::optional<std::pair<int, int>> size;  ///< --size WxH
};

/// A command line that cannot be carried out as written (exit code 2).
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Render threads for `-t requested` on a machine of `cores` cores: N > 0 is N, 0 every core,
/// a negative N every core but |N| (at least one).
int ResolveThreads(int requested, int cores);

/// Why `pattern` cannot take `frameCount` frames — no image format writes its extension, or
/// several frames but no frame number in it (each frame would overwrite the last) — or empty
/// when it can.
std::string OutputPatternProblem(const std::string &pattern, std::size_t frameCount);

/// "WIDTHxHEIGHT" (both 1 … kMaxBitmapSide); throws UsageError.
std::pair<int, int> ParseImageSize(const std::string &text);

/// TRUE when the file starts with the binary scene file's magic.
bool IsBinarySceneFile(const std::string &path);

/// Runs `nimbra render`: messages and logs to standard error, progress to standard output.
/// Answers the exit code (kExitSuccess, kExitFailure for a failed frame, scene or file,
/// kExitUsage for a command line that cannot be carried out).
int RunRender(const RenderRequest &request, const GlobalOptions &global);
