/// @file light.h
/// @brief Lights: the light object base, the general light (omni, spot and directional, target
///        or free) with its parameter block, and the render-time light description
///        (`ObjLightDesc`) that illuminates shaded points, with shadow maps.
///
/// Light space: a light looks down its local −z axis, like a camera; x is to the right of the
/// beam and y up. A light's transform is its node's, without scale.
#pragma once

#include "host/object.h"
#include "host/param_object.h"
#include "host/properties.h"
#include "host/render_info.h"
#include "host/shade_context.h"

#include <memory>

class INode;
class ObjLightDesc;
class ShadowMap;

// General light types.
constexpr int OMNI_LIGHT = 0;
constexpr int TSPOT_LIGHT = 1;  ///< target spot
constexpr int DIR_LIGHT = 2;    ///< free directional
constexpr int FSPOT_LIGHT = 3;  ///< free spot
constexpr int TDIR_LIGHT = 4;   ///< target directional

// Cone shapes of spot and directional lights.
constexpr int CIRCLE_LIGHT = 0;
constexpr int RECT_LIGHT = 1;

// Class identifiers of the general light in its five types (super class LIGHT_CLASS_ID).
constexpr Class_ID OMNI_LIGHT_CLASS_ID(0x50A1F001, 0);
constexpr Class_ID SPOT_LIGHT_CLASS_ID(0x50A1F002, 0);
constexpr Class_ID DIR_LIGHT_CLASS_ID(0x50A1F003, 0);
constexpr Class_ID FSPOT_LIGHT_CLASS_ID(0x50A1F004, 0);
constexpr Class_ID TDIR_LIGHT_CLASS_ID(0x50A1F005, 0);

/// Smallest and largest shadow-map size in texels.
constexpr int kMinShadowMapSize = 16;
constexpr int kMaxShadowMapSize = 8192;

/// A light's settings at one time.
struct LightState {
    int type = OMNI_LIGHT;
    BOOL on = TRUE;
    Color color{1.0f, 1.0f, 1.0f};
    float intens = 1.0f;    ///< multiplier
    float contrast = 0.0f;  ///< 0 … 1
    float diffSoft = 0.0f;  ///< 0 … 1
    /// Spots: full cone angles in degrees; directional lights: beam diameters in world units.
    float hotsize = 43.0f, fallsize = 45.0f;
    int shape = CIRCLE_LIGHT;
    float aspect = 1.0f;  ///< width / height of a rectangular beam
    BOOL overshoot = FALSE;
    BOOL useNearAtten = FALSE;
    float nearAttenStart = 0.0f, nearAttenEnd = 40.0f;
    BOOL useAtten = FALSE;
    float attenStart = 80.0f, attenEnd = 200.0f;
    BOOL shadow = FALSE;
    int mapSize = 512;
    float mapBias = 1.0f;   ///< shadow-map depth bias, in texel footprints
    float mapRange = 4.0f;  ///< shadow-map filter radius in texels (soft edges)
    float rayBias = 0.2f;
};

/// A light object (super class LIGHT_CLASS_ID).
class LightObject : public Object {
public:
    ~LightObject() override;
    SClass_ID SuperClassID() override { return LIGHT_CLASS_ID; }

    /// Fills `ls` with the light's settings at t; narrows `valid`.
    virtual RefResult EvalLightState(TimeValue t, Interval &valid, LightState *ls) = 0;
    /// A new render-time description of this light on node `n` (owned by the caller), or null.
    virtual ObjLightDesc *CreateLightDesc(INode *n, BOOL forceShadowBuf = FALSE) {
        return nullptr;
    }
    virtual void SetUseLight(int onOff) {}
    virtual BOOL GetUseLight() { return TRUE; }
    /// The "Cast Shadows" switch.
    virtual int GetShadow() { return FALSE; }
    virtual void SetShadow(int a) {}
    /// Shadow-map size in texels at t.
    virtual int GetMapSize(TimeValue t) { return 512; }
};

/// The general light: omni, target or free spot, target or free directional. Its parameters
/// are in one block (version 8, parameter IDs in brackets): "Color" [10], "Multiplier" [4],
/// "Contrast" [19], "Diffuse Soften" [20], "Hotspot" [7], "Falloff" [8], "Aspect Ratio"
/// [11], "Map Size" [13], "Map Bias" [14], "Map Range" [15], "Ray Bias" [16] (kept for
/// compatibility; shadows are shadow maps), "Attenuation Near Start" [17], "Attenuation Near
/// End" [18], "Attenuation Start" [5], "Attenuation End" [6]. Switches are the light's own
/// data, also reachable as object properties: "On", "Cast Shadows", "Use Attenuation", "Use
/// Near Attenuation", "Overshoot" (booleans) and "Cone Shape" ("Circle" or "Rectangle").
///
/// A module's light class derives from it (keeping the block) and extends its description
/// by overriding `CreateLightDesc` with a `GenLightDesc` subclass.
class GenLight : public ParamObject<LightObject>, public IObjectProperties {
public:
    enum {
        PB_COLOR,
        PB_INTENSITY,
        PB_CONTRAST,
        PB_DIFFSOFT,
        PB_HOTSIZE,
        PB_FALLSIZE,
        PB_ASPECT,
        PB_MAPSIZE,
        PB_MAPBIAS,
        PB_MAPRANGE,
        PB_RAYBIAS,
        PB_NEAR_ATTEN_START,
        PB_NEAR_ATTEN_END,
        PB_ATTEN_START,
        PB_ATTEN_END,
        PB_COUNT
    };
    /// Version of the parameter block layout.
    static constexpr DWORD kBlockVersion = 8;

    explicit GenLight(int type = OMNI_LIGHT, bool loading = false);
    ~GenLight() override;

    Class_ID ClassID() override;
    void GetClassName(TSTR &s) override;
    const TCHAR *GetObjectName() override;

    int Type() const { return type_; }
    void SetType(int type);
    BOOL IsSpot() const { return type_ == TSPOT_LIGHT || type_ == FSPOT_LIGHT; }
    BOOL IsDir() const { return type_ == DIR_LIGHT || type_ == TDIR_LIGHT; }

    // Parameters at t
    Color GetRGBColor(TimeValue t) { return GetColor(PB_COLOR, t); }
    void SetRGBColor(TimeValue t, const Color &c) { SetParam(PB_COLOR, t, c); }
    float GetIntensity(TimeValue t) { return GetFloat(PB_INTENSITY, t); }
    void SetIntensity(TimeValue t, float f) { SetParam(PB_INTENSITY, t, f); }
    float GetHotspot(TimeValue t) { return GetFloat(PB_HOTSIZE, t); }
    void SetHotspot(TimeValue t, float f) { SetParam(PB_HOTSIZE, t, f); }
    float GetFallsize(TimeValue t) { return GetFloat(PB_FALLSIZE, t); }
    void SetFallsize(TimeValue t, float f) { SetParam(PB_FALLSIZE, t, f); }
    /// Attenuation distance `which`: 0 near start, 1 near end, 2 start, 3 end.
    float GetAtten(TimeValue t, int which) { return GetFloat(PB_NEAR_ATTEN_START + which, t); }
    void SetAtten(TimeValue t, int which, float f) {
        SetParam(PB_NEAR_ATTEN_START + which, t, f);
    }
    int GetMapSize(TimeValue t) override { return GetInt(PB_MAPSIZE, t); }
    void SetMapSize(TimeValue t, int size) { SetParam(PB_MAPSIZE, t, size); }

    // Switches
    int GetShadow() override { return shadow_; }
    void SetShadow(int a) override { shadow_ = a != 0; }
    void SetUseLight(int onOff) override { on_ = onOff != 0; }
    BOOL GetUseLight() override { return on_; }
    BOOL GetUseAtten() const { return useAtten_; }
    void SetUseAtten(BOOL a) { useAtten_ = a != 0; }
    BOOL GetUseAttenNear() const { return useNearAtten_; }
    void SetUseAttenNear(BOOL a) { useNearAtten_ = a != 0; }
    BOOL GetOvershoot() const { return overshoot_; }
    void SetOvershoot(BOOL a) { overshoot_ = a != 0; }
    int GetConeShape() const { return shape_; }
    void SetConeShape(int s) { shape_ = s == RECT_LIGHT ? RECT_LIGHT : CIRCLE_LIGHT; }

    RefResult EvalLightState(TimeValue t, Interval &valid, LightState *ls) override;
    ObjLightDesc *CreateLightDesc(INode *n, BOOL forceShadowBuf = FALSE) override;

    ReferenceTarget *Clone(RemapDir &remap) override;
    IOResult Save(ISave *isave) override;
    IOResult Load(ILoad *iload) override;

    // Switches by name
    void *GetInterface(ULONG id) override;
    std::vector<PropertyInfo> ListProperties() override;
    bool SetProperty(const std::string &name, const PropertyValue &value,
                     std::string &error) override;
    std::optional<PropertyValue> GetProperty(const std::string &name) override;

protected:
    /// Copies the type and switches into `copy` (for subclasses' `Clone`).
    void CopyLightData(GenLight &copy) const;

private:
    /// The switch of property `name`, or null.
    bool *Flag(const std::string &name);

    int type_;
    bool on_ = true;
    bool shadow_ = false;
    bool useAtten_ = false;
    bool useNearAtten_ = false;
    bool overshoot_ = false;
    int shape_ = CIRCLE_LIGHT;
};

/// A light at render time: its settings and transforms for one frame, and its illumination.
/// Points given to it are in camera space.
class ObjLightDesc : public LightDesc {
public:
    explicit ObjLightDesc(INode *n);
    ~ObjLightDesc() override;

    /// Takes the light's state and transforms at t. Called once per frame (per field) before
    /// any illumination; `rgc` may be null (no scene to cast shadows from), `shadows` FALSE
    /// switches shadows off. Nonzero on success.
    virtual int Update(TimeValue t, RenderGlobalContext *rgc = nullptr, BOOL shadows = TRUE,
                       BOOL shadowGeomChanged = TRUE);
    /// Takes the camera of the view being rendered (`Update` calls it with the global
    /// context's camera, or identity without one).
    virtual int UpdateViewDepParams(const Matrix3 &worldToCam);
    Point3 LightPosition() override { return lightPos; }

    /// Light-space position of a camera-space point.
    Point3 CamToLight(const Point3 &p) const { return camToLight.PointTransform(p); }
    /// Map position (texel units, texel i centred on i) of a light-space point, through the
    /// projection below. Only for lights with `hasProjection`.
    Point2 MapToLightView(const Point3 &pLight) const;

    LightState ls;
    INode *inode;
    BOOL uniformScale = TRUE;
    Point3 lightPos;  ///< camera space
    Matrix3 lightToWorld, worldToLight, lightToCam, camToLight;

    /// The light's view (spot and directional lights; omni lights have none): a light-space
    /// point (x, y, z) maps to the map position u = xscale·x/z + centerOffset,
    /// v = yscale·y/z + centerOffset (perspective, z < 0 in front), or u = centerOffset −
    /// xscale·x, v = centerOffset − yscale·y (parallel). `mapSize` texels square; the falloff
    /// cone (or beam) fills it. These are exactly the `RenderInfo` values of a render from
    /// the light's view at that size.
    BOOL hasProjection = FALSE;
    ProjectionType projType = PROJ_PERSPECTIVE;
    float xscale = -1.0f, yscale = 1.0f, centerOffset = 0.0f;
    int mapSize = 0;
};

/// The description of a general light: cone, attenuation, contrast and soft diffuse, and
/// shadow maps (built in `Update` from the render's scene when the light casts shadows).
///
/// A module light extends it by overriding `Illuminate`, calling `GenLightDesc::Illuminate`
/// first and then scaling `color` (and returning FALSE if it becomes black), and `Update`,
/// calling the base first.
class GenLightDesc : public ObjLightDesc {
public:
    GenLightDesc(INode *n, GenLight *light);
    ~GenLightDesc() override;

    int Update(TimeValue t, RenderGlobalContext *rgc = nullptr, BOOL shadows = TRUE,
               BOOL shadowGeomChanged = TRUE) override;
    int UpdateViewDepParams(const Matrix3 &worldToCam) override;
    BOOL Illuminate(ShadeContext &sc, Point3 &normal, Color &color, Point3 &dir, float &dot_nl,
                    float &diffuseCoef) override;

    /// Fraction of the light reaching the light-space point `pLight` past the shadow map:
    /// 1 without a map or outside it, 0 in full shadow.
    float ShadowFactor(const Point3 &pLight) const;
    BOOL HasShadowMap() const { return shadowMap_ != nullptr; }

protected:
    GenLight *light;

private:
    std::unique_ptr<ShadowMap> shadowMap_;
    float coneReach_ = 1.0f;    ///< tan(falloff / 2) of a spot, falloff radius of a beam
    float hotFraction_ = 1.0f;  ///< hotspot as a fraction of the falloff
    float aspect_ = 1.0f;
    Point3 directionToLight_;  ///< directional lights, camera space
};
