/// @file shadow_map.h
/// @brief Shadow depth maps of a light, built by casting rays into the render's scene, and
///        their filtered lookup (private to the host library).
#pragma once

#include "host/geom.h"
#include "host/render_info.h"
#include "host/shade_context.h"

#include <array>
#include <memory>
#include <vector>

class ObjLightDesc;

/// The depth of the scene as seen from a light: one face for spot and directional lights
/// (through the description's projection), six faces of a cube for omni lights.
///
/// Each texel stores the depth halfway between the first and the second surface its ray
/// meets, or no depth (+∞) when the ray meets one surface only. Lit surfaces then lie well in
/// front of the stored depth and shadowed ones well behind it, so neither closed objects nor
/// single surfaces such as a ground plane shadow themselves, without a large bias.
class ShadowMap {
public:
    /// Builds the map of `desc` (its transforms, state and projection taken by its `Update`)
    /// with `rgc.numThreads` threads. Null when the light has no usable view.
    static std::unique_ptr<ShadowMap> Build(const ObjLightDesc &desc,
                                            const RenderGlobalContext &rgc);

    /// Fraction of light reaching the light-space point `p`: 1 lit, 0 in full shadow, in
    /// between at soft edges (percentage-closer filtering over `mapRange` texels). Points
    /// outside a single-face map are lit.
    float Factor(const Point3 &p) const;

private:
    struct Face {
        Matrix3 lightToFace;  ///< rotation (identity for a single face)
        Matrix3 faceToWorld;
        std::vector<float> depth;
        /// Nearest and farthest depth of each kTile × kTile block of texels, so that a lookup
        /// far from any shadow edge is decided without filtering.
        std::vector<float> tileMin, tileMax;
    };

    void BuildFace(Face &face, const RenderGlobalContext &rgc) const;
    void BuildTiles(Face &face) const;
    /// 1 when every texel of the square x0 … x1, y0 … y1 (inclusive) is at or beyond `ref`,
    /// 0 when every one is nearer, -1 when they differ.
    int Decide(const Face &face, int x0, int y0, int x1, int y1, float ref) const;
    /// Bilinear percentage-closer lookup at map position (x, y).
    float Lookup(const Face &face, float x, float y, float ref) const;
    /// The face that sees `p` (light space).
    int FaceOf(const Point3 &p) const;

    ProjectionType proj_ = PROJ_PERSPECTIVE;
    float xscale_ = -1.0f, yscale_ = 1.0f, centre_ = 0.0f;
    int size_ = 0;
    int tiles_ = 0;        ///< tiles per side
    float bias_ = 1.0f;    ///< in texel footprints
    float radius_ = 0.0f;  ///< filter radius in texels
    bool cube_ = false;
    std::vector<Face> faces_;
};
