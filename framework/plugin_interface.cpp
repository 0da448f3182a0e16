/// @file plugin_interface.cpp
/// @brief The default bodies of the plug-in contract.
#include "framework/plugin_interface.h"

// ---------------------------------------------------------------------------------------------
// NimbraPlugIn

void *NimbraPlugIn::__GetPointer__(unsigned, unsigned, long) {
    return nullptr;
}
int NimbraPlugIn::__Message__(unsigned, unsigned, long) {
    return 0;
}
long NimbraPlugIn::__MemoryUsed__() {
    return 0;
}
int NimbraPlugIn::__SupportProcessing__() {
    return kParticleRendererSupport;
}

void NimbraPlugIn::__LightShadow_Function__(SampleInfo *sample) {
    sample->noise = 1.0f;
}
void NimbraPlugIn::__Density_Function__(SampleInfo *sample) {
    sample->noise = 1.0f;
}

int NimbraPlugIn::__ComputeParticleShape__(TimeValue) {
    return kVolumeSphere;
}
Matrix3 NimbraPlugIn::__ComputeParticleRotate__(TimeValue, Point3, Point3, float, float) {
    return Matrix3(TRUE);
}
Point3 NimbraPlugIn::__ComputeParticleScale__(TimeValue, float) {
    return Point3(1.0f, 1.0f, 1.0f);
}

Color NimbraPlugIn::__GetWireFrame__(int, SampleInfo *) {
    return Color(0, 0, 0);
}
float NimbraPlugIn::__GetShininess__(SampleInfo *) {
    return 0.0f;
}
float NimbraPlugIn::__GetSelfIllumination__(SampleInfo *) {
    return 0.0f;
}
float NimbraPlugIn::__GetShadowStrength__(SampleInfo *) {
    return 0.0f;
}
Color NimbraPlugIn::__GetColorAmbient__(SampleInfo *) {
    return Color(0, 0, 0);
}
Color NimbraPlugIn::__GetColorDiffuse__(SampleInfo *) {
    return Color(0, 0, 0);
}
Color NimbraPlugIn::__GetColorSpecular__(SampleInfo *) {
    return Color(0, 0, 0);
}
void NimbraPlugIn::__GetMaterialID__(SampleInfo *) {}
void NimbraPlugIn::__Light_Function__() {}

void NimbraPlugIn::__UpdateAtmos_(TimeValue) {}
void NimbraPlugIn::__CreateCache__(TimeValue, ParticleVolume *) {}
void NimbraPlugIn::__DestroyCache__(TimeValue, ParticleVolume *) {}

void NimbraPlugIn::__BeginFrame__(TimeValue, Bitmap *, ImageFilter *, Bitmap *) {}
void NimbraPlugIn::__EndFrame__(TimeValue) {}
void NimbraPlugIn::__EnumParticle__(ParticleInfo *, void *, int) {}
void NimbraPlugIn::__BeginParticle__(float, int, ParticleInfo *) {}
void NimbraPlugIn::__EndParticle__() {}
int NimbraPlugIn::__ParticleShape__(unsigned short *, int, int, int, int, int) {
    return 0;
}
void NimbraPlugIn::__ColorShader__(unsigned short, BMM_Color_64 *, int, int, int, int) {}
void NimbraPlugIn::__ImageComposite__(int, int, BMM_Color_64 *, unsigned short) {}

int NimbraPlugIn::__SupportRollUpPreview__() {
    return 0;
}
void NimbraPlugIn::__RollUpPreviewBegin__(Bitmap *, float, int, ParticleInfo *) {}
int NimbraPlugIn::__RollUpPreviewShape__(unsigned short *, int, int, int, int, int) {
    return 0;
}
void NimbraPlugIn::__RollUpPreviewColor__(unsigned short, BMM_Color_64 *, int, int, int, int) {}
void NimbraPlugIn::__RollUpPreviewEnd__() {}

void NimbraPlugIn::__BeginEdit__(IObjParam *, NimbraInterface *) {}
void NimbraPlugIn::__EndEdit__(IObjParam *, NimbraInterface *) {}

int NimbraPlugIn::LibrarySave(NimbraInterface *) {
    return 0;
}
int NimbraPlugIn::LibraryLoad(NimbraInterface *) {
    return 0;
}

int NimbraPlugIn::NumControllers() {
    return 0;
}
NimbraController *NimbraPlugIn::GetController(int) {
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// NimbraController

NimbraController::NimbraController() : button(nullptr) {}

void NimbraController::__Reset__(TimeValue, int, int, int) {}
void NimbraController::__Eval__(Point2 *, int, Point2, Point2) {}
void NimbraController::__Eval__(Point3 *, int, Point3, Point3) {}
void NimbraController::__Eval__(float *, int, float, float) {}
void NimbraController::__Eval__(int *, int, int, int) {}
void NimbraController::__Eval__(BMM_Color_64 *, int, BMM_Color_64, BMM_Color_64) {}

void NimbraController::__SetupInt__(int, int) {}
void NimbraController::__SetupFloat__(float, float, float) {}
void NimbraController::__SetupColor__(Color, Color, int) {}

void NimbraController::__BeginEdit__(IObjParam *ip, const TCHAR *title, ICustButton *b) {
    button = b;
    __BeginEdit__(ip, title);
}
void NimbraController::__BeginEdit__(IObjParam *, const TCHAR *) {}
void NimbraController::__EndEdit__(IObjParam *) {}

int NimbraController::LibrarySave(NimbraInterface *) {
    return 0;
}
int NimbraController::LibraryLoad(NimbraInterface *) {
    return 0;
}
