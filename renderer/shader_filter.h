/// @file shader_filter.h
/// @brief "Nimbra Shader": the post-production image filter that draws the particle effects
///        into the rendered frame with the sprite render engine, once per field.
#pragma once

#include "framework/nimbra_api.h"
#include "host/class_desc.h"
#include "host/image_filter.h"
#include "host/properties.h"

#include <cstddef>
#include <cstdint>

/// Class of "Nimbra Shader" (super class FLT_CLASS_ID).
constexpr Class_ID kNimbraShaderClassID(0x7D614FE7, 0x13B50E59);

/// The descriptor of "Nimbra Shader" (category "Image Filter").
NIMBRA_API ClassDesc *GetNimbraShaderDesc();

/// The filter. Its configuration is a 16-byte block: configuration version (100), the motion
/// blur switch, the blur duration in frames and the blur subdivisions, each 4 bytes
/// little-endian. The filter itself does not use the blur settings: the motion-blur filter
/// runs it once per sub-frame. Scene files set the three settings by name ("Motion Blur",
/// "Duration", "Duration Subdivisions"), within the setup dialog's ranges.
class NIMBRA_API NimbraShaderFilter : public ImageFilter, public IObjectProperties {
public:
    static constexpr std::int32_t kConfigVersion = 100;
    static constexpr std::size_t kConfigSize = 16;
    static constexpr char kDescription[] = " Nimbra Shader";
    static constexpr char kMessageTitle[] = "Nimbra Shader";
    static constexpr char kNoSourceText[] =
        "Source image not found, make sure you have a scene input event before Nimbra filter.";

    /// The default configuration.
    NimbraShaderFilter();
    /// A filter that renders into `source` (the motion-blur filter's sub-frames): blur
    /// duration 0 and one subdivision.
    explicit NimbraShaderFilter(Bitmap *source);
    ~NimbraShaderFilter() override;

    // Identity
    const TCHAR *Description() override { return kDescription; }
    const TCHAR *AuthorName() override;
    const TCHAR *CopyrightMessage() override;
    UINT Version() override { return kConfigVersion; }
    DWORD Capability() override { return IMGFLT_FILTER; }

    // Dialogs
    /// The about box ("Nimbra Filter" with the version text).
    void ShowAbout(HWND hWnd) override;
    /// The setup dialog (shader_setup_dialog.h). Without a user interface to show it in, it
    /// is confirmed as opened. Always TRUE.
    BOOL ShowControl(HWND hWnd) override;

    // Configuration
    DWORD EvaluateConfigure() override { return kConfigSize; }
    /// Takes a block whose first word is kConfigVersion; FALSE (settings kept) for another
    /// version or a null pointer.
    BOOL LoadConfigure(void *ptr) override;
    /// Writes the block; FALSE for a null pointer.
    BOOL SaveConfigure(void *ptr) override;

    // Rendering
    /// Depth and material ID.
    DWORD ChannelsRequired() override { return BMM_CHAN_Z | BMM_CHAN_MTL_ID; }
    /// Draws the particles into the source image: merges the interface's depth and material
    /// buffers into its channels when they fit (never while a light's shadow map is drawn),
    /// then runs the engine once, or twice for a field-rendered frame (once only when the
    /// user stops the first field). Without a source image carrying render information the
    /// user is told ("Nimbra Shader") and the image stays as it was (FALSE).
    BOOL Render(HWND hWnd) override;

    // Settings by name
    std::vector<PropertyInfo> ListProperties() override;
    bool SetProperty(const std::string &name, const PropertyValue &value,
                     std::string &error) override;
    std::optional<PropertyValue> GetProperty(const std::string &name) override;

    /// The about box's text.
    static const char *AboutText();

    // Configuration fields, in block order
    std::int32_t configVersion = kConfigVersion;
    std::int32_t motionBlur = 0;        ///< "Motion Blur"
    float blurDuration = 0.5f;          ///< "Duration (frames):"
    std::int32_t blurSubdivisions = 2;  ///< "Duration Subdivisions:"
};

/// Merges the interface's depth and material buffers into a frame's channels: where the
/// buffer's depth is nearer than the frame's, the frame takes the buffer's depth and material
/// byte. Skipped (false) when there are no buffers, they differ in size from the frame, or
/// the frame lacks a depth or material channel.
NIMBRA_API bool MergeInterfaceBuffers(Bitmap &frame);
