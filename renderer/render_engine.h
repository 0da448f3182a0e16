/// @file render_engine.h
/// @brief The sprite render engine of the main module: draws every particle of every active
///        helper into a finished frame as a screen-space sprite, through the helper's shape,
///        colour and composite plug-ins, back to front and blended at the edges of nearer
///        scene geometry. Also the module-wide state that the post-production filters share.
#pragma once

#include "framework/helper_record.h"
#include "framework/nimbra_api.h"
#include "framework/plugin_records.h"
#include "host/types.h"

#include <vector>

class Bitmap;
class ImageFilter;
class IHelperRecord;
class RenderInfo;

/// Depth that marks "nothing here" in the engine's depth tests (bits 0x7149F2CA).
constexpr float kEmptyDepth = 1.0e30f;
/// Full scale of a 16-bit channel or coverage.
constexpr int kFullScale = 65535;
/// Camera-space depth added per "Shading Order:" step, so that of two helpers at the same
/// depth the one with the larger order is drawn later (in front).
constexpr float kShadingOrderBias = 0.0001f;
/// Largest sprite radius in pixels; a larger sprite is not drawn at all.
constexpr int kMaxSpriteRadius = 550;
/// Pixels added to every projected sprite radius.
constexpr float kSpriteRadiusMargin = 1.5f;

/// One engine per render: its driver sets the public fields, empties `helpers` and
/// `particles`, then calls `Prepare`, `Project` and `RenderFrame`.
///
/// Depths are camera-space z: negative in front of the camera, larger is nearer.
class NIMBRA_API ParticleRenderer {
public:
    /// Empty tables, null pointers, time 0, first field.
    ParticleRenderer();
    ~ParticleRenderer();
    ParticleRenderer(const ParticleRenderer &) = delete;
    ParticleRenderer &operator=(const ParticleRenderer &) = delete;

    // Steps of a frame
    /// Collects helpers and particles unless helpers were collected already.
    void Prepare();
    /// The records of the active helpers among the scene's top-level nodes, in scene order,
    /// read at `time` for this pass. A helper that lacks plug-ins is reported ("Error", one
    /// message per missing plug-in) and left out.
    void CollectHelpers();
    /// The particles of every collected helper within its age window, every Nth from the
    /// offset, sized with the helper's size quantity.
    void CollectParticles();
    /// Moves every particle into camera space, finds its pixel and radius, marks what cannot
    /// be seen, biases depths by shading order and sorts back to front. Needs `renderInfo`
    /// and `output` (the host's assertion otherwise).
    void Project();
    /// Draws the visible particles into `output` within the drawing window, reporting progress
    /// to `progressWindow` and stopping when it asks to abort. Every helper's plug-ins get
    /// `__BeginFrame__` before and `__EndFrame__` after, an abort included. Needs `output`.
    void RenderFrame();
    /// Draws one particle of `helper`. A shape that offers rows (`IShapeRows`) is asked for
    /// the part of each row inside the drawing window at once; any other shape pixel by
    /// pixel, for the whole square, as the plug-in contract orders the calls.
    void RenderParticle(ParticleInfo &info, const HelperRecord &helper);

    /// Empties `helpers` and `particles` (the next `Prepare` collects again).
    void Clear();
    /// TRUE when the last `RenderFrame` stopped at the progress window's request.
    bool Aborted() const { return aborted_; }
    /// The "Shading Order:" of helper i as read for this frame (0 out of range).
    int ShadingOrder(int i) const;

    // Fields, set by the driver
    int left = 0;  ///< drawing window: left ≤ x < right, top ≤ y < bottom
    int right = 0;
    int top = 0;
    int bottom = 0;
    RenderInfo *renderInfo = nullptr;     ///< camera and projection of the frame; not owned
    Bitmap *output = nullptr;             ///< the frame drawn into; not owned
    HWND progressWindow = nullptr;        ///< receives progress and abort queries; may be null
    TimeValue time = 0;                   ///< render time, ticks
    ImageFilter *filter = nullptr;        ///< the driving filter, handed to `__BeginFrame__`
    float *zChannel = nullptr;            ///< the frame's depth channel; not owned
    unsigned char *mtlChannel = nullptr;  ///< the frame's material channel; may be null
    /// With field rendering: 1 draws the odd rows with the first camera, 0 the even rows with
    /// the second one.
    int firstField = 1;
    std::vector<HelperRecord> helpers;    ///< taking part in this frame, in scene order
    std::vector<ParticleInfo> particles;  ///< collected, sorted back to front by `Project`

private:
    bool FrameIsFieldRendered() const;

    std::vector<IHelperRecord *>
        sources_;  ///< per helper: where its particle systems come from
    bool aborted_ = false;
    // One row of a particle as a shape's row call fills it; grown, never shrunk
    std::vector<unsigned short> rowDensity_;
    std::vector<unsigned char> rowCovered_;
};

// Module-wide state of the post-production filters. They run one render at a time on the
// host's render thread, so none of it is locked.

/// The engine of the render in progress: the image filter creates one per frame and destroys
/// it afterwards; null between renders.
NIMBRA_API extern ParticleRenderer *theEngine;
/// Set only while the shadow filter renders a light's particle shadow map.
NIMBRA_API extern BOOL theShadowPass;
/// Tells the lights that the particle shadow maps of this frame are ready; the image filter
/// clears it outside a shadow pass.
NIMBRA_API extern BOOL theShadowMapsReady;

/// The unchanged copy of the frame before the particles were drawn, which edge pixels blend
/// with. It lives across frames and is remade when the frame size changes; null before the
/// first frame.
NIMBRA_API Bitmap *EngineSourceCopy();
/// Deletes the source copy (at module unload).
NIMBRA_API void DeleteEngineSourceCopy();
