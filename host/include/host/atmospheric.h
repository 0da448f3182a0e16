/// @file atmospheric.h
/// @brief Atmospheric effects: volumes along camera rays that the scene renderer asks to shade
///        every ray segment it traces, bound to scene nodes (gizmos).
#pragma once

#include "host/animatable.h"
#include "host/geom.h"

class INode;
class ShadeContext;

/// Animatable flag of an atmospheric that is switched off: renderers and other effects skip
/// it.
constexpr DWORD A_ATMOS_DISABLED = 0x20;

/// An atmospheric effect (super class ATMOSPHERIC_CLASS_ID). The renderer calls `Update` once
/// per frame before any `Shade`, then `Shade` for every ray segment, from several render
/// threads at once.
class Atmospheric : public ReferenceTarget {
public:
    ~Atmospheric() override;
    SClass_ID SuperClassID() override { return ATMOSPHERIC_CLASS_ID; }

    /// The effect's name as users see it.
    virtual TSTR GetName() { return TSTR(); }

    /// Prepares the frame at t; narrows `valid` to the times the preparation holds for.
    virtual void Update(TimeValue t, Interval &valid) {}
    /// Shades the segment p0 → p1 (camera space, p0 nearer the eye) of the ray through the
    /// pixel of `sc`: `color` arrives with what lies behind the segment (the surface hit, or
    /// the background) and `trans` with its transparency (0 for a surface, 1 for the
    /// background); the effect composites itself over them. `isBG` is TRUE when the segment
    /// ends at the background rather than at a surface.
    virtual void Shade(ShadeContext &sc, const Point3 &p0, const Point3 &p1, Color &color,
                       Color &trans, BOOL isBG = FALSE) = 0;

    // Gizmos: the nodes that bound or drive the effect.
    virtual int NumGizmos() { return 0; }
    virtual INode *GetGizmo(int i) { return nullptr; }
    virtual void DeleteGizmo(int i) {}
    virtual void InsertGizmo(int i, INode *node) {}
    virtual void AppendGizmo(INode *node) { InsertGizmo(NumGizmos(), node); }
    /// Whether `node` may become a gizmo of this effect.
    virtual BOOL OKGizmo(INode *node) { return TRUE; }

    /// FALSE while the effect is switched off (A_ATMOS_DISABLED).
    BOOL Active() { return TestAFlag(A_ATMOS_DISABLED) ? FALSE : TRUE; }
};
