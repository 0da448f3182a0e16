/// @file shadow_filter.cpp
/// @brief "Nimbra Shadow": class descriptor and the render of the lights' particle shadow maps.
#include "renderer/shadow_filter.h"

#include "framework/class_ids.h"
#include "framework/helper_record.h"
#include "lights/zephra_light.h"
#include "renderer/render_engine.h"
#include "renderer/shader_filter.h"
#include "renderer/view_only_progress.h"
#include "host/bitmap.h"
#include "host/inode.h"
#include "host/interface.h"
#include "host/messages.h"
#include "host/renderer.h"

#include <algorithm>
#include <memory>

namespace {

constexpr char kClassName[] = "Nimbra Shadow";
constexpr char kCategory[] = "Image Filter";

class ShadowDesc : public ClassDesc {
public:
    int IsPublic() override { return TRUE; }
    void *Create(BOOL) override { return static_cast<ImageFilter *>(new NimbraShadowFilter); }
    const TCHAR *ClassName() override { return kClassName; }
    SClass_ID SuperClassID() override { return FLT_CLASS_ID; }
    Class_ID ClassID() override { return kNimbraShadowClassID; }
    const TCHAR *Category() override { return kCategory; }
};

ShadowDesc shadowDesc;

struct RendererDeleter {
    void operator()(Renderer *r) const { r->DeleteThis(); }
};
using RendererPtr = std::unique_ptr<Renderer, RendererDeleter>;

/// The object of top-level node `node` at t when it is of class (super, id), or null.
Object *ObjectOfClass(INode *node, TimeValue t, SClass_ID super, Class_ID id) {
    Object *obj = node ? node->EvalWorldState(t).obj : nullptr;
    return obj && obj->SuperClassID() == super && obj->ClassID() == id ? obj : nullptr;
}

/// Whether a top-level helper casts shadows at t.
bool AnyShadowCaster(INode *root, TimeValue t) {
    for (int i = 0; i < root->NumberOfChildren(); ++i) {
        Object *obj =
            ObjectOfClass(root->GetChildNode(i), t, HELPER_CLASS_ID, kNimbraHelperClassID);
        IHelperRecord *source = GetHelperRecordInterface(obj);
        if (source && source->RecordAt(t, true).castShadows) return true;
    }
    return false;
}

}  // namespace

ClassDesc *GetNimbraShadowDesc() {
    return &shadowDesc;
}

Renderer *NimbraShadowFilter::CreateSceneRenderer() {
    return dynamic_cast<Renderer *>(
        static_cast<Animatable *>(CreateInstance(RENDERER_CLASS_ID, SREND_CLASS_ID)));
}

BOOL NimbraShadowFilter::Render(HWND hWnd) {
    Interface *ip = GetCOREInterface();
    const TimeValue t =
        useViewportTime ? ip->GetTime() : ifi->QueueRange.Current() * GetTicksPerFrame();
    INode *root = ip->GetRootNode();
    theShadowPass = FALSE;
    theShadowMapsReady = FALSE;
    if (!root || !AnyShadowCaster(root, t)) return TRUE;

    BOOL result = TRUE;
    for (int i = 0; i < root->NumberOfChildren(); ++i) {
        INode *node = root->GetChildNode(i);
        auto *light = dynamic_cast<ZephraLight *>(
            ObjectOfClass(node, t, LIGHT_CLASS_ID, kZephraLightClassID));
        if (!light) continue;
        light->particleShadow.reset();
        if (!light->GetShadow()) continue;
        // The size the light's own projection is made for, so that its lookups line up.
        const int size = std::clamp(light->GetMapSize(t), kMinShadowMapSize, kMaxShadowMapSize);

        Bitmap *bitmap = TheManager->Create(BitmapInfo(BMM_TRUE_64, MAP_HAS_ALPHA, size, size));
        DbgAssert(bitmap);
        light->particleShadow = std::make_shared<ParticleShadowMap>(bitmap, size, size);
        map = bitmap;

        RendParams rp;
        rp.width = size;
        rp.height = size;
        rp.frameDur = GetTicksPerFrame();
        FrameRendParams frp;
        frp.frameDuration = 1.0f;

        // The render below stops once the view is set up, before the scene renderer shades,
        // builds its own shadow maps or runs atmospherics: it has nothing costly to switch off.
        RendererPtr renderer(CreateSceneRenderer());
        if (!renderer) {
            MessageBox(hWnd, kNoRendererText, kMessageTitle, MB_OK);
            return FALSE;
        }
        if (!renderer->Open(root, node, nullptr, rp, hWnd, nullptr, 0)) {
            MessageBox(hWnd, kCannotOpenText, kMessageTitle, MB_OK);
            return FALSE;
        }
        theShadowMapsReady = TRUE;
        // The map needs the light's projection and transforms, not the lit scene.
        ViewOnlyProgress progress;
        renderer->Render(t, bitmap, frp, hWnd, &progress);
        renderer->Close(hWnd);
        renderer.reset();
        if (!bitmap->Storage()->GetRenderInfo()) {
            MessageBox(hWnd, kNoRenderInfoText, kMessageTitle, MB_OK);
            return FALSE;
        }

        bitmap->Fill(BMM_Color_64{0, 0, 0, 0});
        bitmap->CreateChannels(BMM_CHAN_Z);
        float *depth = bitmap->DepthChannel();
        DbgAssert(depth);
        std::fill_n(depth, static_cast<std::size_t>(size) * size, kEmptyDepth);
        light->particleShadow->depth = depth;

        theShadowPass = TRUE;
        {
            NimbraShaderFilter shader(bitmap);
            result = shader.Render(hWnd);
        }
        theShadowPass = FALSE;
    }
    return result;
}
