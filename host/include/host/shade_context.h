/// @file shade_context.h
/// @brief What a renderer hands to materials, lights and atmospherics when it shades a point:
///        the shade context (point, normal, view, screen position, ray level, space
///        conversions), the render-wide global context, and the light description interface.
#pragma once

#include "host/geom.h"
#include "host/geometry.h"
#include "host/render_info.h"
#include "host/types.h"

class INode;
class Renderer;
class ShadeContext;

/// An integer screen position in pixels.
class IPoint2 {
public:
    int x = 0, y = 0;
    constexpr IPoint2() = default;
    constexpr IPoint2(int x_, int y_) : x(x_), y(y_) {}
    constexpr bool operator==(const IPoint2 &) const = default;
};

/// Spaces a shade context converts its camera-space points to and from.
enum RefFrame { REF_CAMERA = 0, REF_WORLD = 1, REF_OBJECT = 2 };

/// What shading a point produces: colour and transparency (1 = fully transparent).
class ShadeOutput {
public:
    Color c;
    Color t;
    void Reset() {
        c = Color(0.0f, 0.0f, 0.0f);
        t = Color(0.0f, 0.0f, 0.0f);
    }
};

/// A light as seen by shading: it tells how it lights a point.
class LightDesc {
public:
    virtual ~LightDesc() = default;
    /// How this light lights the point of `sc` with surface `normal` (camera space, unit):
    /// `color` is the light arriving there (colour × multiplier × cone × attenuation ×
    /// shadow), `dir` the unit direction from the point towards the light (camera space),
    /// `dot_nl` = normal · dir, `diffuseCoef` the diffuse weight after contrast and softening
    /// (0 … 1). FALSE when no light arrives (outside the cone or range, or in full shadow).
    /// Called from several render threads at once.
    virtual BOOL Illuminate(ShadeContext &sc, Point3 &normal, Color &color, Point3 &dir,
                            float &dot_nl, float &diffuseCoef) {
        return FALSE;
    }
    /// Position of the light, camera space.
    virtual Point3 LightPosition() { return Point3(); }

    BOOL affectDiffuse = TRUE;
    BOOL affectSpecular = TRUE;
    /// An ambient-only light adds `color` to the ambient term and has no direction.
    BOOL ambientOnly = FALSE;
};

/// What holds for a whole frame of a render: the device (image) size, the camera projection
/// and transforms of the field being rendered, the time, and queries into the scene. Several
/// render threads read it at once; nothing in it changes while a field renders.
class RenderGlobalContext {
public:
    virtual ~RenderGlobalContext() = default;

    Renderer *renderer = nullptr;
    int projType = PROJ_PERSPECTIVE;
    int devWidth = 0, devHeight = 0;
    float devAspect = 1.0f;  ///< pixel aspect
    float xscale = -1.0f;    ///< projection, as `RenderInfo::kx`
    float yscale = 1.0f;     ///< as `RenderInfo::ky`
    float xc = 0.0f, yc = 0.0f;
    BOOL antialias = FALSE;
    Matrix3 worldToCam, camToWorld;
    float nearRange = 0.0f, farRange = 1.0e30f;
    float frameDur = 1.0f;  ///< frames
    TimeValue time = 0;
    /// Threads the render uses; work done for the whole frame (shadow maps) may use as many.
    int numThreads = 1;

    /// Distance to the nearest scene surface along `ray` (world space) within (tmin, tmax);
    /// false when nothing is hit there. Lights build their shadow maps with it.
    virtual bool IntersectWorld(const Ray &ray, float tmin, float tmax, float &t) const {
        return false;
    }
    /// Image position of a camera-space point.
    Point2 MapToScreen(const Point3 &p) const {
        RenderInfo ri;
        ri.projType = static_cast<ProjectionType>(projType);
        ri.kx = xscale;
        ri.ky = yscale;
        ri.xc = xc;
        ri.yc = yc;
        return ri.MapCamToScreen(p);
    }
};

/// One point being shaded. Points, normals and directions are in camera space unless a
/// function says otherwise.
class ShadeContext {
public:
    virtual ~ShadeContext() = default;

    // Render state, set by the renderer.
    BOOL shadow = TRUE;     ///< lights apply their shadows
    BOOL backFace = FALSE;  ///< the surface faces away from the viewer (normal flipped)
    int mtlNum = 0;
    Color ambientLight;  ///< the scene's ambient light
    int nLights = 0;
    int rayLevel = 0;                            ///< 0 for a primary (camera) ray
    RenderGlobalContext *globContext = nullptr;  ///< may be null
    ShadeOutput out;

    /// Light i of the `nLights` that light this point.
    virtual LightDesc *Light(int i) { return nullptr; }
    virtual TimeValue CurTime() { return globContext ? globContext->time : 0; }
    /// The node being shaded, or null (background, atmosphere).
    virtual INode *Node() { return nullptr; }
    /// PROJ_PERSPECTIVE or PROJ_PARALLEL.
    virtual int ProjType() { return globContext ? globContext->projType : PROJ_PERSPECTIVE; }
    /// The pixel being shaded.
    virtual IPoint2 ScreenCoord() = 0;

    /// The point.
    virtual Point3 P() = 0;
    /// Shading normal (unit, facing the viewer).
    virtual Point3 Normal() = 0;
    /// Geometric normal (unit, facing the viewer).
    virtual Point3 GNormal() { return Normal(); }
    /// Unit view direction: from the camera towards the point.
    virtual Point3 V() = 0;
    /// The camera position (the origin for perspective views).
    virtual Point3 CamPos() { return Point3(); }

    // Conversions between camera space and another space. The defaults use the global
    // context's camera (identity without one); object space is the shaded node's.
    virtual Point3 PointTo(const Point3 &p, RefFrame ito);
    virtual Point3 PointFrom(const Point3 &p, RefFrame ifrom);
    virtual Point3 VectorTo(const Point3 &v, RefFrame ito);
    virtual Point3 VectorFrom(const Point3 &v, RefFrame ifrom);
    /// Camera space to world space and back.
    Point3 CamToWorld(const Point3 &p) { return PointTo(p, REF_WORLD); }
    Point3 WorldToCam(const Point3 &p) { return PointFrom(p, REF_WORLD); }

protected:
    /// Camera to object space of the shaded node (identity by default).
    virtual Matrix3 CamToObject() { return Matrix3(); }

private:
    Matrix3 CamToFrame(RefFrame frame);
    Matrix3 FrameToCam(RefFrame frame);
};
