/// @file nimbra_interface.h
/// @brief The process-wide interface object of the main module: preview render settings, the
///        depth and material buffers that the volume renderer leaves for the sprite filter,
///        the library file that plug-ins save to and load from, and the controller swap.
#pragma once

#include "framework/nimbra_api.h"
#include "host/geom.h"

#include <cstdio>

class Bitmap;
class INode;
class ReferenceTarget;

/// Initial depth of the interface buffers, below any real camera-space depth (bits 0xF149F2CA).
constexpr float kBufferEmptyDepth = -1.0e30f;
/// Length of `NimbraInterface::selectedHelperName`, terminator included.
constexpr int kHelperNameLength = 256;

/// One object per process (`GetNimbraInterface`), alive from module load to module unload.
/// The fields are public as the modules see them; the Get/Set pairs read and write the field of
/// the same name. Settings start zero, false or null until the preview sets them.
class NIMBRA_API NimbraInterface {
public:
    NimbraInterface();
    /// Frees the buffers (`EraseBuffers (0)`).
    ~NimbraInterface();
    NimbraInterface(const NimbraInterface &) = delete;
    NimbraInterface &operator=(const NimbraInterface &) = delete;

    // Library file: forward to the standard library on `file`; the number of whole items (0
    // when no file is open)
    unsigned fwrite(const void *data, unsigned size, unsigned count);
    unsigned fread(void *data, unsigned size, unsigned count);

    // Preview settings
    int GetDisableRegularity() const { return disableRegularity; }
    void SetDisableRegularity(int on) { disableRegularity = on; }
    int GetDisableDensity() const { return disableDensity; }
    void SetDisableDensity(int on) { disableDensity = on; }
    int GetDisableShadows() const { return disableShadows; }
    void SetDisableShadows(int on) { disableShadows = on; }
    int GetMultipleStepSize() const { return multipleStepSize; }
    void SetMultipleStepSize(int on) { multipleStepSize = on; }
    float GetStepSizeAmount() const { return stepSizeAmount; }
    void SetStepSizeAmount(float amount) { stepSizeAmount = amount; }
    int GetMultipleShadowDetail() const { return multipleShadowDetail; }
    void SetMultipleShadowDetail(int on) { multipleShadowDetail = on; }
    float GetShadowDetail() const { return shadowDetail; }
    void SetShadowDetail(float detail) { shadowDetail = detail; }
    int GetPreviewRendering() const { return previewRendering; }
    void SetPreviewRendering(int on) { previewRendering = on; }
    RECT GetRegion() const { return region; }
    void SetRegion(RECT r) { region = r; }
    int GetRegionRender() const { return regionRender; }
    void SetRegionRender(int on) { regionRender = on; }
    int GetHalfSizeMode() const { return halfSizeMode; }
    void SetHalfSizeMode(int on) { halfSizeMode = on; }
    int GetApplyBackground() const { return applyBackground; }
    void SetApplyBackground(int on) { applyBackground = on; }
    Bitmap *GetBackgroundImage() const { return backgroundImage; }
    void SetBackgroundImage(Bitmap *image) { backgroundImage = image; }

    // Previewing the selected helper only
    int GetSelHelperOnly() const { return selHelperOnly; }
    /// Stores the flag; when it is set while exactly one node is selected and that node
    /// carries a helper, remembers the node's name.
    void SetSelHelperOnly(int on);
    /// Null unless `selHelperOnly`. Then the one selected node when it carries a helper (its
    /// name is remembered), otherwise the node of the remembered name (null when none).
    INode *GetCurrentlySelectedHelper();

    // Depth and material buffers, one value per pixel, row by row
    /// Keeps buffers of the same size as they are; otherwise (re)allocates them with every
    /// depth kBufferEmptyDepth and every material byte 0. A non-positive size leaves no
    /// buffers.
    void CreateBuffers(int key, int width, int height);
    /// Frees the buffers, if any.
    void EraseBuffers(int key);
    int BuffersExist() const { return buffersExist; }
    float *GetZBuffer() { return zBuffer; }
    unsigned char *GetMtlBuffer() { return mtlBuffer; }
    /// Does nothing: the sprite filter merges the buffers into the frame's channels.
    void IntergrateBuffers(int, Bitmap *);

    /// Lets the user replace the controller that `owner` holds in reference `refIndex`: the
    /// controller's editor is closed (its button unchecked), the user picks one of the
    /// registered controller classes, and the new controller replaces the old one, which the
    /// host deletes. Nothing changes when the user picks none; a class that cannot be created
    /// is reported ("Error") and the old controller stays.
    void PromptForController(ReferenceTarget *owner, int refIndex);

    // Fields, in their exported order
    FILE *file = nullptr;  ///< the open library file, set by the library code
    int disableRegularity = 0;
    int disableDensity = 0;
    int disableShadows = 0;
    int multipleStepSize = 0;
    float stepSizeAmount = 0.0f;
    int multipleShadowDetail = 0;
    float shadowDetail = 0.0f;
    int selHelperOnly = 0;
    char selectedHelperName[kHelperNameLength] = {};
    int previewRendering = 0;
    RECT region;  ///< image pixels (left, top, right, bottom)
    int regionRender = 0;
    int halfSizeMode = 0;
    int applyBackground = 0;
    Bitmap *backgroundImage = nullptr;   ///< not owned
    float *zBuffer = nullptr;            ///< owned
    unsigned char *mtlBuffer = nullptr;  ///< owned
    int bufferKey = 0;
    int bufferWidth = 0;
    int bufferHeight = 0;
    int buffersExist = 0;

private:
    /// The one selected node when it carries a helper, else null.
    static INode *SingleSelectedHelper();
    void RememberHelper(const INode *node);
};

/// The interface object of this process; never null.
NIMBRA_API NimbraInterface *GetNimbraInterface();
