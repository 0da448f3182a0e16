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

/// Side of the blocks of texels whose depth range is kept.
constexpr int kTile = 16;

/// Offsets of the filter taps (a 3 × 3 grid of bilinear taps) in units of the filter radius.
constexpr float kTap[3] = {-2.0f / 3.0f, 0.0f, 2.0f / 3.0f};
constexpr float kTapReach = 2.0f / 3.0f;

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
    map->tiles_ = (map->size_ + kTile - 1) / kTile;
    for (Face &face : map->faces_) {
        map->BuildFace(face, rgc);
        map->BuildTiles(face);
    }
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

void ShadowMap::BuildTiles(Face &face) const {
    const std::size_t count = static_cast<std::size_t>(tiles_) * tiles_;
    face.tileMin.assign(count, kNoDepth);
    face.tileMax.assign(count, -kNoDepth);
    for (int j = 0; j < size_; ++j) {
        for (int i = 0; i < size_; ++i) {
            const float d = face.depth[static_cast<std::size_t>(j) * size_ + i];
            const std::size_t tile = static_cast<std::size_t>(j / kTile) * tiles_ + i / kTile;
            face.tileMin[tile] = std::min(face.tileMin[tile], d);
            face.tileMax[tile] = std::max(face.tileMax[tile], d);
        }
    }
}

int ShadowMap::Decide(const Face &face, int x0, int y0, int x1, int y1, float ref) const {
    // Texels outside a single face are lit; a cube's lookups clamp to the face.
    bool outside = false;
    if (x0 < 0 || y0 < 0 || x1 >= size_ || y1 >= size_) {
        outside = !cube_;
        x0 = std::clamp(x0, 0, size_ - 1);
        y0 = std::clamp(y0, 0, size_ - 1);
        x1 = std::clamp(x1, 0, size_ - 1);
        y1 = std::clamp(y1, 0, size_ - 1);
    }
    float lo = kNoDepth, hi = -kNoDepth;
    for (int ty = y0 / kTile; ty <= y1 / kTile; ++ty) {
        for (int tx = x0 / kTile; tx <= x1 / kTile; ++tx) {
            const std::size_t tile = static_cast<std::size_t>(ty) * tiles_ + tx;
            lo = std::min(lo, face.tileMin[tile]);
            hi = std::max(hi, face.tileMax[tile]);
        }
    }
    if (lo >= ref) return 1;
    if (hi < ref && !outside) return 0;
    return -1;
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
    float l00, l10, l01, l11;
    if (x0 >= 0 && y0 >= 0 && x0 + 1 < n && y0 + 1 < n) {
        const float *row = face.depth.data() + static_cast<std::size_t>(y0) * n + x0;
        l00 = row[0] >= ref ? 1.0f : 0.0f;
        l10 = row[1] >= ref ? 1.0f : 0.0f;
        l01 = row[n] >= ref ? 1.0f : 0.0f;
        l11 = row[n + 1] >= ref ? 1.0f : 0.0f;
    } else {
        auto lit = [&](int i, int j) -> float {
            if (cube_) {
                i = std::clamp(i, 0, n - 1);
                j = std::clamp(j, 0, n - 1);
            } else if (i < 0 || j < 0 || i >= n || j >= n) {
                return 1.0f;
            }
            return face.depth[static_cast<std::size_t>(j) * n + i] >= ref ? 1.0f : 0.0f;
        };
        l00 = lit(x0, y0);
        l10 = lit(x0 + 1, y0);
        l01 = lit(x0, y0 + 1);
        l11 = lit(x0 + 1, y0 + 1);
    }
    const float top = l00 + (l10 - l00) * fx;
    const float bottom = l01 + (l11 - l01) * fx;
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

    // Every texel the filter can touch, decided at once where the depth range allows.
    const float reach = kTapReach * radius_;
    const int decided = Decide(face, static_cast<int>(std::floor(u - reach)),
                               static_cast<int>(std::floor(v - reach)),
                               static_cast<int>(std::floor(u + reach)) + 1,
                               static_cast<int>(std::floor(v + reach)) + 1, ref);
    if (decided >= 0) return static_cast<float>(decided);
    float sum = 0.0f;
    for (float a : kTap)
        for (float b : kTap) sum += Lookup(face, u + a * radius_, v + b * radius_, ref);
    return sum / 9.0f;
}
