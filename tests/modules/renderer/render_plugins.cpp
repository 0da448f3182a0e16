/// @file render_plugins.cpp
/// @brief Test module render_plugins: trivial sprite plug-ins and a linear controller,
///        registered through the shared effect-module start-up.
#include "framework/effect_module.h"
#include "render_plugins_api.h"
#include "host/bitmap.h"

#include <algorithm>
#include <cstdlib>

namespace {

std::vector<RenderCall> journal;
bool recordPixels = true;

/// One class of the module.
class RenderTestDesc : public ClassDesc {
public:
    RenderTestDesc(Class_ID id, const char *name, int support)
        : id_(id), name_(name), support_(support) {}
    int IsPublic() override { return TRUE; }
    void *Create(BOOL) override {
        if (id_ == kLinearControllerClassID)
            return static_cast<Animatable *>(new LinearController);
        return static_cast<Animatable *>(new RenderTestPlugIn(id_, support_));
    }
    const TCHAR *ClassName() override { return name_; }
    SClass_ID SuperClassID() override { return REF_MAKER_CLASS_ID; }
    Class_ID ClassID() override { return id_; }
    const TCHAR *Category() override { return "Renderer tests"; }

private:
    Class_ID id_;
    const char *name_;
    int support_;
};

RenderTestDesc descs[] = {
    {kSquareShapeClassID, "Test Square", kParticleRendererSupport},
    {kFlatColorClassID, "Test Flat Color", kParticleRendererSupport},
    {kWriteCompositeClassID, "Test Write", kParticleRendererSupport},
    {kLinearControllerClassID, "Test Linear", kParticleRendererSupport},
    {kVolumeShapeClassID, "Test Volume Shape", kVolumeRendererSupport},
    {kVolumeCompositeClassID, "Test Volume Composite", kVolumeRendererSupport},
    {kVolumeColorClassID, "Test Volume Color", kBothRenderersSupport},
};

void Record(RenderCall call) {
    journal.push_back(call);
}

}  // namespace

HOST_MODULE_ENTRY_POINTS("Nimbra renderer test plug-ins", &descs[0], &descs[1], &descs[2],
                         &descs[3], &descs[4], &descs[5], &descs[6])

namespace {
EffectModule module({"Test author", "Test notice"}, LibNumberClasses, LibClassDesc);
}  // namespace

HOST_EXPORT BOOL DllMain(HINSTANCE instance, DWORD reason, void *) {
    return module.DllMain(instance, reason);
}

std::vector<RenderCall> &RenderJournal() {
    return journal;
}

void RecordPixels(bool on) {
    recordPixels = on;
}

// RenderTestPlugIn ----------------------------------------------------------------------------

void RenderTestPlugIn::GetClassName(TSTR &s) {
    for (RenderTestDesc &d : descs)
        if (d.ClassID() == id_) s = d.ClassName();
}

void RenderTestPlugIn::__BeginFrame__(TimeValue time, Bitmap *output, ImageFilter *,
                                      Bitmap *source) {
    output_ = output;
    RenderCall call;
    call.plugIn = this;
    call.op = RenderCall::kBeginFrame;
    call.time = time;
    call.source = source;
    Record(call);
}

void RenderTestPlugIn::__EndFrame__(TimeValue time) {
    RenderCall call;
    call.plugIn = this;
    call.op = RenderCall::kEndFrame;
    call.time = time;
    Record(call);
    output_ = nullptr;
}

void RenderTestPlugIn::__EnumParticle__(ParticleInfo *info, void *particles, int index) {
    RenderCall call;
    call.plugIn = this;
    call.op = particles ? RenderCall::kEnumCollected : RenderCall::kEnumProjected;
    call.index = index;
    if (info) call.info = *info;
    Record(call);
}

void RenderTestPlugIn::__BeginParticle__(float transparency, int radius, ParticleInfo *info) {
    RenderCall call;
    call.plugIn = this;
    call.op = RenderCall::kBeginParticle;
    call.transparency = transparency;
    call.radius = radius;
    if (info) call.info = *info;
    Record(call);
}

void RenderTestPlugIn::__EndParticle__() {
    RenderCall call;
    call.plugIn = this;
    call.op = RenderCall::kEndParticle;
    Record(call);
}

int RenderTestPlugIn::__ParticleShape__(unsigned short *density, int, int dx, int dy, int x,
                                        int y) {
    if (coverRadius >= 0 && std::max(std::abs(dx), std::abs(dy)) > coverRadius) return 0;
    *density = coverage;
    if (recordPixels) shapeCalls.push_back({x, y, dx, dy, coverage});
    return 1;
}

void RenderTestPlugIn::__ColorShader__(unsigned short, BMM_Color_64 *c, int, int, int, int) {
    *c = color;
}

void RenderTestPlugIn::__ImageComposite__(int x, int y, BMM_Color_64 *c,
                                          unsigned short density) {
    if (recordPixels) compositeCalls.push_back({x, y, 0, 0, density});
    if (output_) output_->PutPixel(x, y, *c);
}

// LinearController ----------------------------------------------------------------------------

void LinearController::__Reset__(TimeValue, int lifeStart, int lifeEnd, int particleNumber) {
    ++resets;
    lastParticle = particleNumber;
    lifeStart_ = lifeStart;
    lifeEnd_ = lifeEnd;
}

void LinearController::__Eval__(float *out, int age, float birth, float death) {
    const float span = static_cast<float>(lifeEnd_ - lifeStart_);
    const float f = span > 0.0f
                        ? std::clamp(static_cast<float>(age - lifeStart_) / span, 0.0f, 1.0f)
                        : 0.0f;
    *out = birth + (death - birth) * f;
}
