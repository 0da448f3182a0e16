/// @file scene_file.h
/// @brief The binary scene file: the whole object graph reachable from the scene root (nodes,
///        objects, parameter blocks with their keys, each object's own chunks and every
///        reference by index) plus the scene's time settings.
///
/// Layout (little-endian):
///   magic "NIMBRASC" (8 bytes), format version (uint32),
///   one scene chunk (0x5343) holding:
///     info chunk (0x0001): object count, root index (uint32), current time, animation range
///       start and end, frame rate (int32);
///     one object chunk (0x0010) per object, in index order, holding:
///       class chunk (0x0011): super class ID, class ID part A, part B (uint32);
///       data chunk (0x0012): the chunks the object's `Save` wrote;
///       refs chunk (0x0013): reference count (uint32), then one object index per reference
///         (int32, -1 for an empty slot).
///   Nothing may follow the scene chunk.
///
/// Loading recreates each object through its class descriptor, calls its `Load`, then restores
/// every reference with `MakeRefByID` (which calls the object's `SetReference` and records the
/// dependency), then runs the post-load callbacks. It builds a new graph and swaps it in only
/// when everything succeeded; on any failure the new graph is deleted and the current scene
/// stays as it was. A class descriptor's `Create` must return the object's `Animatable` base
/// address (a plain `return new X;` does, when the host class is X's first base).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

/// Version of the scene file format this build writes and reads.
constexpr std::uint32_t kSceneFileVersion = 2;

/// A scene file that could not be written or read. `what()` names the file, the offset when
/// the fault lies at a place in it, and what was expected.
class SceneFileError : public std::runtime_error {
public:
    static constexpr std::size_t kNoOffset = static_cast<std::size_t>(-1);
    SceneFileError(const std::string &path, std::size_t offset, const std::string &message);
    const std::string &path() const { return path_; }
    /// Offset of the fault in the file, or kNoOffset.
    std::size_t offset() const { return offset_; }

private:
    std::string path_;
    std::size_t offset_;
};

/// What a successful load found.
struct SceneLoadResult {
    int objects = 0;        ///< objects read (nodes included)
    bool obsolete = false;  ///< an object upgraded old data: saving again rewrites it
};

/// The current scene in the scene file format. Throws SceneFileError (`name` is used in its
/// message) when an object cannot be saved: its class is not registered (so it could not be
/// loaded again) or its `Save` failed.
std::vector<std::uint8_t> SaveSceneToMemory(const std::string &name = "scene");
/// Writes the current scene to `path`, through a temporary file that replaces `path` only once
/// it is complete. Throws SceneFileError.
void SaveSceneFile(const std::string &path);

/// Replaces the current scene with the one in `bytes`. Throws SceneFileError (naming `name`)
/// and leaves the current scene untouched when the data is not a scene of this format version,
/// is truncated or corrupt, names a class that is not installed, or an object refuses its data.
SceneLoadResult LoadSceneFromMemory(std::span<const std::uint8_t> bytes,
                                    const std::string &name);
/// Reads `path` and loads it as `LoadSceneFromMemory` does.
SceneLoadResult LoadSceneFile(const std::string &path);
