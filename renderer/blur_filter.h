/// @file blur_filter.h
/// @brief " Nimbra Motion Blur": the post-production image filter that motion-blurs the
///        particle effects. It draws the particles at several sub-frame times, each over the
///        unchanged scene image through "Nimbra Shader", and averages the results.
#pragma once

#include "framework/nimbra_api.h"
#include "host/class_desc.h"
#include "host/image_filter.h"
#include "host/properties.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class INode;

/// Class of " Nimbra Motion Blur" (super class FLT_CLASS_ID).
constexpr Class_ID kNimbraBlurClassID(0x2EE91712, 0x524C202A);

/// The descriptor of " Nimbra Motion Blur" (category "Image Filter").
NIMBRA_API ClassDesc *GetNimbraBlurDesc();

/// True when `node` carries a camera (what the filter can take its sub-frames' views from).
NIMBRA_API bool IsCameraNode(INode *node);

/// The filter. Its configuration is a 276-byte block, little-endian: version (100), the
/// camera node's name (260 bytes, NUL-terminated), the duration in frames (float), the
/// sub-frame count and the dither in percent.
///
/// A render takes each sub-frame's camera from the host's current renderer, opened on the
/// camera node and stopped as soon as its view is prepared, so the camera's own motion is
/// blurred too. The frame is changed only once every sub-frame is drawn: a failure or an
/// abort leaves it as it was.
class NIMBRA_API NimbraBlurFilter : public ImageFilter, public IObjectProperties {
public:
    static constexpr std::int32_t kConfigVersion = 100;
    static constexpr std::size_t kConfigSize = 276;
    /// Bytes of the camera name's field, its terminating NUL included.
    static constexpr std::size_t kCameraNameSize = 260;
    // Ranges of the settings (the setup dialog's spinners; the sub-frame count may also be 1)
    static constexpr float kMaxDuration = 9999.0f;
    static constexpr int kMaxSubFrames = 999;
    static constexpr int kMaxDither = 100;

    static constexpr char kDescription[] = " Nimbra Motion Blur";
    static constexpr char kMessageTitle[] = "Nimbra Shader (Blur)";
    static constexpr char kNoSourceText[] =
        "Source image not found, make sure you have a scene input event before Nimbra filter.";
    static constexpr char kNoCameraText[] =
        "Unable to find camera node.\n\nIf you have renamed the camera, then you will have to "
        "reselect it.\n\nChoose \"Setup...\" in the Image Filter modifier dialog.";
    static constexpr char kNoViewTitle[] = "Nimbra";
    static constexpr char kNoViewText[] = "Nimbra:: error allocing render information.";
    static constexpr char kNotBlurredText[] =
        "Unable to apply motion blur to particle systems.";
    static constexpr char kBlurCaption[] = "Computing Motion Blur...";

    NimbraBlurFilter();
    ~NimbraBlurFilter() override;

    // Identity
    const TCHAR *Description() override { return kDescription; }
    const TCHAR *AuthorName() override;
    const TCHAR *CopyrightMessage() override;
    UINT Version() override { return kConfigVersion; }
    DWORD Capability() override { return IMGFLT_FILTER | IMGFLT_CONTROL; }

    // Dialogs
    /// The setup dialog (blur_setup_dialog.h). Without a user interface to show it in, it is
    /// confirmed as opened. Always TRUE.
    BOOL ShowControl(HWND hWnd) override;

    // Configuration
    DWORD EvaluateConfigure() override { return kConfigSize; }
    /// Takes a block whose first word is kConfigVersion and whose values are usable (a
    /// terminated camera name, settings within their ranges); FALSE (settings kept)
    /// otherwise, or for a null pointer.
    BOOL LoadConfigure(void *ptr) override;
    /// Writes the block, the name's field padded with zeros; FALSE for a null pointer.
    BOOL SaveConfigure(void *ptr) override;

    // Rendering
    /// Depth and material ID.
    DWORD ChannelsRequired() override { return BMM_CHAN_Z | BMM_CHAN_MTL_ID; }
    /// Blurs the particles into the source image. Its depth channel becomes the first
    /// sub-frame's, and its material IDs take the first sub-frame's where those are set.
    /// Fails (FALSE) with a message without a source image carrying render information,
    /// without the camera node or when the renderer gives no view; an abort leaves the image
    /// as it was (TRUE).
    BOOL Render(HWND hWnd) override;

    // Settings by name: "Camera", "Duration" (frames), "Sub-frames", "Dither" (percent)
    std::vector<PropertyInfo> ListProperties() override;
    bool SetProperty(const std::string &name, const PropertyValue &value,
                     std::string &error) override;
    std::optional<PropertyValue> GetProperty(const std::string &name) override;

    // Configuration fields, in block order
    std::int32_t configVersion = kConfigVersion;
    std::string cameraName;  ///< at most kCameraNameSize − 1 bytes
    float duration = 0.5f;   ///< frames
    std::int32_t subFrames = 2;
    std::int32_t dither = 50;  ///< percent

private:
    /// The camera node of `cameraName`, or null.
    INode *FindCamera() const;

    /// What a render works in, kept for the next frame of the same size.
    struct Buffers;
    std::unique_ptr<Buffers> buffers_;
};
