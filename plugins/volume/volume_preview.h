/// @file volume_preview.h
/// @brief The viewport preview of a volume-rendered helper: one gizmo node per particle of its
///        first particles, keyed over the animation range with the particle's place, rotation,
///        squash, size and colour, so that a viewport shows the volumes without rendering.
#pragma once

#include "plugins/volume/volume_api.h"

#include "framework/plugin_records.h"

#include <string>

class INode;
class NimbraPlugIn;

/// Most nodes one preview makes.
constexpr int kMaxPreviewNodes = 1000;

/// What a preview shows.
struct PreviewOptions {
    int count = 10;             ///< nodes made (0 … 1000)
    int shape = kVolumeSphere;  ///< the gizmo class of every node
    /// Wire colours from the helper's colour shader (`__GetWireFrame__`), else `manualColor`.
    bool showParticleColor = true;
    Color manualColor;
};

/// "<helper name> - Preview<i>": the name of preview node `index`.
ZEPHRAVOLUME_API std::string PreviewNodeName(const std::string &helperName, int index);

/// Replaces the preview of the helper on `helperNode` by `options.count` gizmo nodes. For every
/// frame of the animation range (the prompt line tells which), node i is keyed from the
/// helper's i-th collected particle (every Nth from the offset, over its particle systems in
/// order): position, rotation and squash from `transform`, gizmo size from the helper's size
/// at the particle's age (0 when the particle is dead or outside the helper's age window, and
/// for nodes without a particle) and wire colour. The scene time is restored afterwards.
/// Answers the number of nodes made (0 when the node carries no helper).
ZEPHRAVOLUME_API int CreateVolumePreview(INode *helperNode, NimbraPlugIn *transform,
                                         const PreviewOptions &options);

/// Deletes "<helper name> - Preview" if there is one, then "<helper name> - Preview0", "…1", …
/// up to the first name not in the scene. Answers the number of nodes deleted.
ZEPHRAVOLUME_API int EraseVolumePreview(INode *helperNode);
