/// @file shadow_filter.h
/// @brief "Nimbra Shadow": the post-production image filter that, ahead of the scene event,
///        renders every shadow-casting ZephraLight's view of the particles into that light's
///        particle shadow map, so that the scene render that follows dims the light behind
///        them.
#pragma once

#include "framework/nimbra_api.h"
#include "host/class_desc.h"
#include "host/image_filter.h"

class Renderer;

/// Class of "Nimbra Shadow" (super class FLT_CLASS_ID).
constexpr Class_ID kNimbraShadowClassID(0x1DCA72D4, 0x757004A0);

/// The descriptor of "Nimbra Shadow" (category "Image Filter").
NIMBRA_API ClassDesc *GetNimbraShadowDesc();

/// The filter. It leaves the queue's frame alone; it has no settings and no setup dialog.
class NIMBRA_API NimbraShadowFilter : public ImageFilter {
public:
    static constexpr UINT kVersion = 256;
    static constexpr char kDescription[] = " Nimbra Shadow";
    static constexpr char kMessageTitle[] = "Nimbra";
    static constexpr char kNoRendererText[] = "Scan-line renderer not installed!";
    static constexpr char kCannotOpenText[] = "Unable to talk to scan-line renderer.";
    static constexpr char kNoRenderInfoText[] =
        "Nimbra Shadow:: error allocing render information.";

    NimbraShadowFilter() = default;
    /// `useViewportTime`: render at the host's current time instead of the queue's frame
    /// (previews).
    explicit NimbraShadowFilter(BOOL useViewportTime) : useViewportTime(useViewportTime) {}

    // Identity
    const TCHAR *Description() override { return kDescription; }
    UINT Version() override { return kVersion; }
    DWORD Capability() override { return IMGFLT_FILTER; }

    /// Without any helper that casts shadows: both module-wide shadow flags cleared, the lights
    /// left as they are, TRUE. Otherwise every ZephraLight among the scene's top-level nodes
    /// drops its map; those with shadows on get a new one of their map size, seen from the
    /// light and drawn by the engine's shadow pass. FALSE, with a message ("Nimbra"), when the
    /// scene renderer is missing, will not open on the light, or gives the map no render
    /// information; the lights done before keep their maps. Otherwise the result of the last
    /// map's particle render.
    BOOL Render(HWND hWnd) override;

    /// A new scan-line renderer for one light's view (deleted with `DeleteThis`), or null when
    /// none is installed.
    virtual Renderer *CreateSceneRenderer();

    Bitmap *map = nullptr;  ///< the map made last; owned by its light
    BOOL useViewportTime = FALSE;
};
