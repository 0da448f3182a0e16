/// @file plugin_interface.h
/// @brief The base classes that every effect plug-in and age controller derives from, as the
///        main module `nimbra` exports them to the effect modules.
///
/// The virtual operations below are the plug-in contract: the renderers reach a plug-in only
/// through them, in the slots they occupy after the host's `ReferenceTarget` operations.
/// Their order and names are part of the interface between separately built modules: never
/// insert, remove or reorder one. Every operation has a working default body in `nimbra`, so
/// a class that overrides nothing still runs (and renders nothing).
#pragma once

#include "framework/nimbra_api.h"
#include "framework/plugin_records.h"
#include "host/animatable.h"
#include "host/custom_controls.h"
#include "host/edit_interface.h"
#include "host/geom.h"

class Bitmap;
class ImageFilter;
class NimbraInterface;
class NimbraController;

// Answers of `__SupportProcessing__`: which renderer a plug-in serves.
constexpr int kParticleRendererSupport = 0x10;  ///< the screen-space sprite renderer
constexpr int kVolumeRendererSupport = 0x100;   ///< the ray-marching volume renderer
constexpr int kBothRenderersSupport = 0x110;

/// `__EnumParticle__` called with no particle object and this index is the volume query: a
/// plug-in that serves the volume renderer writes 1 into the int its first argument points to.
constexpr int kVolumeQueryIndex = 16;

/// Base of every effect plug-in: particle shapes, colour shaders, composites, volume effects.
/// Reference 0 of a plug-in class is its parameter block, references 1 … n its controllers.
class NIMBRA_API NimbraPlugIn : public ReferenceTarget {
public:
    // Defined here so that each plug-in module builds the base part of its objects itself.
    NimbraPlugIn() {}

    // Queries (arguments: the meaning is the plug-in's own)
    virtual void *__GetPointer__(unsigned, unsigned, long);
    virtual int __Message__(unsigned, unsigned, long);
    virtual long __MemoryUsed__();
    /// kParticleRendererSupport (the default), kVolumeRendererSupport or kBothRenderersSupport.
    virtual int __SupportProcessing__();

    // Volume samples: results in `noise` and `density` of the sample
    virtual void __LightShadow_Function__(SampleInfo *sample);
    virtual void __Density_Function__(SampleInfo *sample);

    // Particle transform (called on a helper's third plug-in by the volume renderer)
    /// A `ParticleVolumeShape`.
    virtual int __ComputeParticleShape__(TimeValue time);
    virtual Matrix3 __ComputeParticleRotate__(TimeValue time, Point3 position, Point3 motion,
                                              float ageValue, float factor);
    /// Scale of the particle volume per axis.
    virtual Point3 __ComputeParticleScale__(TimeValue time, float ageFraction);

    // Volume colours
    virtual Color __GetWireFrame__(int, SampleInfo *sample);
    virtual float __GetShininess__(SampleInfo *sample);
    virtual float __GetSelfIllumination__(SampleInfo *sample);
    virtual float __GetShadowStrength__(SampleInfo *sample);
    virtual Color __GetColorAmbient__(SampleInfo *sample);
    virtual Color __GetColorDiffuse__(SampleInfo *sample);
    virtual Color __GetColorSpecular__(SampleInfo *sample);
    virtual void __GetMaterialID__(SampleInfo *sample);
    virtual void __Light_Function__();

    // Volume frames
    virtual void __UpdateAtmos_(TimeValue time);
    /// Allocates this plug-in's record into its own slot of `volume->cache`.
    virtual void __CreateCache__(TimeValue time, ParticleVolume *volume);
    /// Frees this plug-in's record and clears its slot.
    virtual void __DestroyCache__(TimeValue time, ParticleVolume *volume);

    // Sprite frames
    virtual void __BeginFrame__(TimeValue time, Bitmap *output, ImageFilter *filter,
                                Bitmap *source);
    virtual void __EndFrame__(TimeValue time);
    /// Once per collected particle, and once more per particle with `particles` null and
    /// index -1 after projection; see also kVolumeQueryIndex.
    virtual void __EnumParticle__(ParticleInfo *info, void *particles, int index);
    virtual void __BeginParticle__(float transparency, int radius, ParticleInfo *info);
    virtual void __EndParticle__();
    /// Coverage of pixel (x, y), offset (dx, dy) from the particle's centre: writes 0..65535
    /// into `density` and answers nonzero when the pixel is covered.
    virtual int __ParticleShape__(unsigned short *density, int radius, int dx, int dy, int x,
                                  int y);
    virtual void __ColorShader__(unsigned short density, BMM_Color_64 *color, int dx, int dy,
                                 int x, int y);
    virtual void __ImageComposite__(int x, int y, BMM_Color_64 *color, unsigned short density);

    // Roll-up preview (the helper's quick preview)
    virtual int __SupportRollUpPreview__();
    virtual void __RollUpPreviewBegin__(Bitmap *bitmap, float transparency, int radius,
                                        ParticleInfo *info);
    virtual int __RollUpPreviewShape__(unsigned short *density, int radius, int dx, int dy,
                                       int x, int y);
    virtual void __RollUpPreviewColor__(unsigned short density, BMM_Color_64 *color, int dx,
                                        int dy, int x, int y);
    virtual void __RollUpPreviewEnd__();

    // Editing
    virtual void __BeginEdit__(IObjParam *ip, NimbraInterface *iface);
    virtual void __EndEdit__(IObjParam *ip, NimbraInterface *iface);

    // Library files: nonzero on success; the block goes through iface->fwrite / fread.
    virtual int LibrarySave(NimbraInterface *iface);
    virtual int LibraryLoad(NimbraInterface *iface);

    // Controllers (references 1 … n)
    virtual int NumControllers();
    virtual NimbraController *GetController(int i);
};

/// Base of the age controllers: turn a particle's age into a value between a birth and a death
/// value. Per particle the owner calls `__Reset__`, then one `__Eval__`.
///
/// A class that overrides some of the `__Eval__` overloads should bring the others into scope
/// (`using NimbraController::__Eval__;`).
class NIMBRA_API NimbraController : public ReferenceTarget {
public:
    NimbraController();

    virtual void __Reset__(TimeValue time, int lifeStart, int lifeEnd, int particleNumber);
    virtual void __Eval__(Point2 *out, int age, Point2 birth, Point2 death);
    virtual void __Eval__(Point3 *out, int age, Point3 birth, Point3 death);
    virtual void __Eval__(float *out, int age, float birth, float death);
    virtual void __Eval__(int *out, int age, int birth, int death);
    virtual void __Eval__(BMM_Color_64 *out, int age, BMM_Color_64 birth, BMM_Color_64 death);

    // Set-up once after creation, with the range of the quantity the controller drives
    virtual void __SetupInt__(int minimum, int maximum);
    /// `scale` is the spinner step of the editor.
    virtual void __SetupFloat__(float minimum, float maximum, float scale);
    virtual void __SetupColor__(Color first, Color second, int);

    // Editor
    /// Remembers `button` (its checked state shows the open editor), then opens the editor
    /// through the two-argument overload.
    virtual void __BeginEdit__(IObjParam *ip, const TCHAR *title, ICustButton *button);
    virtual void __BeginEdit__(IObjParam *ip, const TCHAR *title);
    virtual void __EndEdit__(IObjParam *ip);

    // Library files: nonzero on success
    virtual int LibrarySave(NimbraInterface *iface);
    virtual int LibraryLoad(NimbraInterface *iface);

    /// The roll-up button the editor was opened from; null until then.
    ICustButton *button;
};
