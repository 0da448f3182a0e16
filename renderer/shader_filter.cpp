/// @file shader_filter.cpp
/// @brief "Nimbra Shader": class descriptor, configuration block, dialogs and the render.
#include "renderer/shader_filter.h"

#include "framework/library_block.h"
#include "framework/nimbra_interface.h"
#include "renderer/render_engine.h"
#include "renderer/shader_setup_dialog.h"
#include "host/bitmap.h"
#include "host/little_endian.h"
#include "host/messages.h"

#include <cstddef>

namespace {

constexpr char kClassName[] = "Nimbra Shader";
constexpr char kCategory[] = "Image Filter";
constexpr char kAuthor[] = "Nimbra developers";
constexpr char kNotice[] = "Part of Nimbra, the particle-effects renderer.";
constexpr char kAboutTitle[] = "Nimbra Filter";
constexpr char kAboutText[] =
    "Nimbra Shader, version 1.00\n"
    "Draws the particle effects of the scene's Nimbra helpers into the rendered frame.\n"
    "Nimbra developers";

// Offsets of the fields in the configuration block.
constexpr std::size_t kVersionAt = 0;
constexpr std::size_t kMotionBlurAt = 4;
constexpr std::size_t kDurationAt = 8;
constexpr std::size_t kSubdivisionsAt = 12;

class ShaderDesc : public ClassDesc {
public:
    int IsPublic() override { return TRUE; }
    void *Create(BOOL) override { return static_cast<ImageFilter *>(new NimbraShaderFilter); }
    const TCHAR *ClassName() override { return kClassName; }
    SClass_ID SuperClassID() override { return FLT_CLASS_ID; }
    Class_ID ClassID() override { return kNimbraShaderClassID; }
    const TCHAR *Category() override { return kCategory; }
};

ShaderDesc shaderDesc;

/// Owns the module-wide engine for the length of one render, so that it is destroyed and the
/// pointer cleared however the render ends.
class EngineForRender {
public:
    EngineForRender() {
        if (!theEngine) theEngine = new ParticleRenderer;
    }
    ~EngineForRender() {
        delete theEngine;
        theEngine = nullptr;
    }
    EngineForRender(const EngineForRender &) = delete;
    EngineForRender &operator=(const EngineForRender &) = delete;
    ParticleRenderer &operator*() const { return *theEngine; }
};

/// One pass of the engine over the frame.
void RenderPass(ParticleRenderer &engine, TimeValue t, int firstField) {
    engine.time = t;
    engine.firstField = firstField;
    engine.Clear();
    engine.Prepare();
    engine.Project();
    engine.RenderFrame();
}

}  // namespace

ClassDesc *GetNimbraShaderDesc() {
    return &shaderDesc;
}

// ---------------------------------------------------------------------------------------------
// Construction and identity

NimbraShaderFilter::NimbraShaderFilter() = default;

NimbraShaderFilter::NimbraShaderFilter(Bitmap *source)
    : blurDuration(0.0f), blurSubdivisions(1) {
    srcmap = source;
}

NimbraShaderFilter::~NimbraShaderFilter() = default;

const TCHAR *NimbraShaderFilter::AuthorName() {
    return kAuthor;
}

const TCHAR *NimbraShaderFilter::CopyrightMessage() {
    return kNotice;
}

const char *NimbraShaderFilter::AboutText() {
    return kAboutText;
}

// ---------------------------------------------------------------------------------------------
// Dialogs

void NimbraShaderFilter::ShowAbout(HWND hWnd) {
    MessageBox(hWnd, kAboutText, kAboutTitle, MB_OK);
}

BOOL NimbraShaderFilter::ShowControl(HWND hWnd) {
    ShaderSetupDialog dialog(*this);
    dialog.Open();
    dialog.Ok();
    return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Settings by name

namespace {
constexpr char kMotionBlurProperty[] = "Motion Blur";
constexpr char kDurationProperty[] = "Duration";
constexpr char kSubdivisionsProperty[] = "Duration Subdivisions";
}  // namespace

std::vector<PropertyInfo> NimbraShaderFilter::ListProperties() {
    return {
        {kMotionBlurProperty, PropertyKind::Bool, {}, "the motion-blur switch"},
        {kDurationProperty, PropertyKind::Float, {}, "blur duration in frames, 0.00001 … 100"},
        {kSubdivisionsProperty, PropertyKind::Int, {}, "blur subdivisions, 2 … 1000"}};
}

bool NimbraShaderFilter::SetProperty(const std::string &name, const PropertyValue &value,
                                     std::string &error) {
    if (name == kMotionBlurProperty) {
        const bool *on = std::get_if<bool>(&value);
        if (!on) {
            error = "expected true or false";
            return false;
        }
        motionBlur = *on ? 1 : 0;
        return true;
    }
    if (name == kDurationProperty) {
        const float *d = std::get_if<float>(&value);
        const int *i = std::get_if<int>(&value);
        const float v = d ? *d : i ? static_cast<float>(*i) : -1.0f;
        if (!(v >= ShaderSetupDialog::kMinDuration && v <= ShaderSetupDialog::kMaxDuration)) {
            error = "a duration of 0.00001 to 100 frames";
            return false;
        }
        blurDuration = v;
        return true;
    }
    if (name == kSubdivisionsProperty) {
        const int *v = std::get_if<int>(&value);
        if (!v || *v < ShaderSetupDialog::kMinSubdivisions ||
            *v > ShaderSetupDialog::kMaxSubdivisions) {
            error = "a whole number of subdivisions, 2 to 1000";
            return false;
        }
        blurSubdivisions = *v;
        return true;
    }
    error = "unknown property";
    return false;
}

std::optional<PropertyValue> NimbraShaderFilter::GetProperty(const std::string &name) {
    if (name == kMotionBlurProperty) return motionBlur != 0;
    if (name == kDurationProperty) return blurDuration;
    if (name == kSubdivisionsProperty) return int(blurSubdivisions);
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------------
// Configuration

BOOL NimbraShaderFilter::LoadConfigure(void *ptr) {
    if (!ptr) return FALSE;
    const auto *block = static_cast<const std::uint8_t *>(ptr);
    if (GetLEInt(block + kVersionAt) != kConfigVersion) return FALSE;
    configVersion = kConfigVersion;
    motionBlur = GetLEInt(block + kMotionBlurAt);
    blurDuration = GetLEFloat(block + kDurationAt);
    blurSubdivisions = GetLEInt(block + kSubdivisionsAt);
    return TRUE;
}

BOOL NimbraShaderFilter::SaveConfigure(void *ptr) {
    if (!ptr) return FALSE;
    auto *block = static_cast<std::uint8_t *>(ptr);
    PutLEInt(block + kVersionAt, configVersion);
    PutLEInt(block + kMotionBlurAt, motionBlur);
    PutLEFloat(block + kDurationAt, blurDuration);
    PutLEInt(block + kSubdivisionsAt, blurSubdivisions);
    return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Rendering

bool MergeInterfaceBuffers(Bitmap &frame) {
    NimbraInterface *iface = GetNimbraInterface();
    float *frameDepth = frame.DepthChannel();
    BYTE *frameMaterial = frame.MaterialChannel();
    const float *depth = iface->GetZBuffer();
    const unsigned char *material = iface->GetMtlBuffer();
    // The buffers are indexed with the frame's own size: anything else (a shadow map
    // rendered at its own size, say) is left alone rather than read out of bounds.
    if (!iface->BuffersExist() || !depth || !material || !frameDepth || !frameMaterial ||
        iface->bufferWidth != frame.Width() || iface->bufferHeight != frame.Height())
        return false;
    const std::size_t count = std::size_t(frame.Width()) * std::size_t(frame.Height());
    for (std::size_t p = 0; p < count; ++p) {
        if (frameDepth[p] < depth[p]) {
            frameDepth[p] = depth[p];
            frameMaterial[p] = material[p];
        }
    }
    return true;
}

BOOL NimbraShaderFilter::Render(HWND hWnd) {
    if (!theShadowPass) theShadowMapsReady = FALSE;
    RenderInfo *ri = srcmap ? srcmap->Storage()->GetRenderInfo() : nullptr;
    if (!ri) {
        MessageBox(hWnd, kNoSourceText, kMessageTitle, MB_OK);
        return FALSE;
    }

    EngineForRender engine;
    ParticleRenderer &e = *engine;
    e.zChannel = srcmap->DepthChannel();
    e.mtlChannel = srcmap->MaterialChannel();
    // The interface's buffers belong to the camera's frame, never to a light's view.
    if (!theShadowPass) MergeInterfaceBuffers(*srcmap);
    e.renderInfo = ri;
    e.progressWindow = hWnd;
    e.output = srcmap;
    e.filter = this;
    RenderPass(e, ri->renderTime[0], ri->fieldOdd ? 1 : 0);
    // The second field, unless the user stopped the first one.
    if (ri->fieldRender && !e.Aborted()) RenderPass(e, ri->renderTime[1], ri->fieldOdd ? 0 : 1);
    return TRUE;
}
