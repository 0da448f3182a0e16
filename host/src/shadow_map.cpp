/// @file shadow_map.cpp
/// @brief Building shadow maps by ray casting, and their percentage-closer lookup.
#include "shadow_map.h"

#include "host/light.h"

#include "parallel.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr float kNoDepth = std::numeric_limits<float>::infinity();

/// Directions the six cube faces look along (light space), and their up vectors.
constexpr Point3 kCubeForward[6] = {{1, 0, 0},  {-1, 0, 0}, {0, 1, 0},
                                    {0, -1, 0}, {0, 0, 1},  {0, 0, -1}};
constexpr Point3 kCubeUp[6] = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1},
                               {0, 0, 1}, {0, 1, 0}, {0, 1, 0}};

/// Offsets of the filter taps in units of the filter radius; the first two are the corners.
constexpr float kTap[4] = {-0.75f, 0.75f, -0.25f, 0.25f};

}  // namespace

std::unique_ptr<ShadowMap> ShadowMap::Build(const ObjLightDesc &desc,
                                            const RenderGlobalContext &rgc) {
    auto map = std::unique_ptr<ShadowMap>(new ShadowMap());
    const LightState &ls = desc.ls;
    map->bias_ = std::max(0.0f, ls.mapBias);
    map->radius_ = std::max(0.0f, ls.mapRange);
    if (desc.hasProjection) {
        map->proj_ = desc.projType;
        map->xscale_ = desc.xscale;
        map->yscale_ = desc.yscale;
        map->centre_ = desc.centerOffset;
        map->size_ = desc.mapSize;
        Face face;
        face.faceToWorld = desc.lightToWorld;
        map->faces_.push_back(std::move(face));
    } else if (ls.type == OMNI_LIGHT) {
        // Six 90-degree views; each face gets the light's map size.
        map->cube_ = true;
        map->size_ = std::clamp(ls.mapSize, kMinShadowMapSize, kMaxShadowMapSize);
        const float half = map->size_ * 0.5f;
        map->xscale_ = -half;
        map->yscale_ = half;
        map->centre_ = half;
        for (int f = 0; f < 6; ++f) {
            const Point3 fwd = kCubeForward[f], up = kCubeUp[f];
            const Matrix3 faceToLight(CrossProd(fwd, up), up, -fwd, Point3());
            Face face;
            face.lightToFace = Inverse(faceToLight);
            face.faceToWorld = faceToLight * desc.lightToWorld;
            map->faces_.push_back(std::move(face));
        }
    } else {
        return nullptr;
    }
    for (Face &face : map->faces_) map->BuildFace(face, rgc);
    return map;
}

void ShadowMap::BuildFace(Face &face, const RenderGlobalContext &rgc) const {
    const int n = size_;
    face.depth.assign(static_cast<std::size_t>(n) * n, kNoDepth);
    RunWorkers(std::max(1, rgc.numThreads), [&](int worker, int workers) {
        for (int j = worker; j < n; j += workers) {
            for (int i = 0; i < n; ++i) {
                // The ray through texel (i, j), in face space: depth along it equals the
                // distance travelled because the direction has z = −1 and the face's frame is
                // orthonormal.
                Point3 origin, dir(0.0f, 0.0f, -1.0f);
                if (proj_ == PROJ_PERSPECTIVE) {
                    dir.x = -(i - centre_) / xscale_;
                    dir.y = -(j - centre_) / yscale_;
                } else {
                    origin.x = (centre_ - i) / xscale_;
                    origin.y = (centre_ - j) / yscale_;
                }
                const Ray ray{face.faceToWorld.PointTransform(origin),
                              face.faceToWorld.VectorTransform(dir)};
                float first = 0.0f, second = 0.0f;
                if (!rgc.IntersectWorld(ray, 0.0f, kNoDepth, first)) continue;
                const float gap = 1e-4f + first * 1e-4f;
                if (!rgc.IntersectWorld(ray, first + gap, kNoDepth, second)) continue;
                face.depth[static_cast<std::size_t>(j) * n + i] = 0.5f * (first + second);
            }
        }
    });
}

int ShadowMap::FaceOf(const Point3 &p) const {
    const float ax = std::fabs(p.x), ay = std::fabs(p.y), az = std::fabs(p.z);
    if (ax >= ay && ax >= az) return p.x >= 0.0f ? 0 : 1;
    if (ay >= az) return p.y >= 0.0f ? 2 : 3;
    return p.z >= 0.0f ? 4 : 5;
}

float ShadowMap::Lookup(const Face &face, float x, float y, float ref) const {
    const float fx0 = std::floor(x), fy0 = std::floor(y);
    const float fx = x - fx0, fy = y - fy0;
    const int x0 = static_cast<int>(fx0), y0 = static_cast<int>(fy0);
    const int n = size_;
    auto lit = [&](int i, int j) -> float {
        if (cube_) {
            i = std::clamp(i, 0, n - 1);
            j = std::clamp(j, 0, n - 1);
        } else if (i < 0 || j < 0 || i >= n || j >= n) {
            return 1.0f;
        }
        return face.depth[static_cast<std::size_t>(j) * n + i] >= ref ? 1.0f : 0.0f;
    };
    const float top = lit(x0, y0) + (lit(x0 + 1, y0) - lit(x0, y0)) * fx;
    const float bottom = lit(x0, y0 + 1) + (lit(x0 + 1, y0 + 1) - lit(x0, y0 + 1)) * fx;
    return top + (bottom - top) * fy;
}

float ShadowMap::Factor(const Point3 &p) const {
    const Face &face = faces_[cube_ ? FaceOf(p) : 0];
    const Point3 q = cube_ ? face.lightToFace.PointTransform(p) : p;
    const float depth = -q.z;
    if (depth <= 0.0f) return 1.0f;  // behind the light
    float u, v, footprint;
    if (proj_ == PROJ_PERSPECTIVE) {
        u = xscale_ * q.x / q.z + centre_;
        v = yscale_ * q.y / q.z + centre_;
        footprint = depth / std::fabs(xscale_);
    } else {
        u = centre_ - xscale_ * q.x;
        v = centre_ - yscale_ * q.y;
        footprint = 1.0f / std::fabs(xscale_);
    }
    const float edge = static_cast<float>(size_) - 0.5f;
    if (!cube_ && (u < -0.5f || v < -0.5f || u >= edge || v >= edge)) return 1.0f;
    const float ref = depth - bias_ * footprint;
    if (radius_ < 0.5f) return Lookup(face, u, v, ref);

    // A 4 × 4 grid of bilinear taps over the filter square. The corners and the centre decide
    // alone when they agree (no edge nearby).
    float probe = Lookup(face, u, v, ref);
    for (int a = 0; a < 2; ++a)
        for (int b = 0; b < 2; ++b)
            probe += Lookup(face, u + kTap[a] * radius_, v + kTap[b] * radius_, ref);
    if (probe == 0.0f || probe == 5.0f) return probe * 0.2f;
    float sum = 0.0f;
    for (int a = 0; a < 4; ++a)
        for (int b = 0; b < 4; ++b)
            sum += Lookup(face, u + kTap[a] * radius_, v + kTap[b] * radius_, ref);
    return sum / 16.0f;
}
