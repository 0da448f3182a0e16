/// @file noise_batch.cpp
/// @brief Batched noise: noise3, noise4, fBm1 and turbulence over arrays of points and along
///        rows, one point per vector lane, compiled for every instruction set Highway targets
///        and dispatched at run time.
///
/// Gathers from the permutation bound the kernels' speed, so the hash tables pack what one
/// lookup can give: both hashes of a corner pair in one entry, and in another the four hashes
/// that a hash and a cell lead to (for noise3 the gradient hashes of two xy corners at both z
/// sides, for noise4 those of one xyz corner at both w sides). noise3 then takes three
/// gathers per point, not fourteen, and noise4 seven, not thirty. Gradients come from the hash
/// bits (selects and sign flips) or, where a vector holds 16 floats, from lane permutations of
/// small tables.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "noise_batch.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "host/noise.h"
#include "noise_parts.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#ifndef NIMBRA_NOISE_BATCH_ONCE
#define NIMBRA_NOISE_BATCH_ONCE
namespace noise_detail {

/// Packed hashes, p being the permutation (doubled to 512 entries). Hashes reach 510 at most
/// (a permutation entry plus a cell, both below 256).
struct HashTables {
    /// Entry i: p[i] in bits 0-7, p[i + 1] in bits 8-15.
    alignas(64) std::int32_t pairs[512];
    /// Entry h·256 + C, for c = p[h] + C and d = p[h + 1] + C: p[c], p[c + 1], p[d], p[d + 1]
    /// in bytes 0 … 3.
    alignas(64) std::int32_t zw[511 * 256];
};

extern const HashTables &kHashTables;

/// The fixed part of a row of points that share y and z: the y and z cells, and for the four
/// yz corners of a cell their offsets and faded weights. Inside one lattice cell, improved
/// noise along the row is L0 + Fade(f) × (L1 − L0) of the position f along x, L0 = a0 + b0 f
/// summing the cell's four corners on its near x side (each weight × gradient · offset), L1 =
/// a1 + b1 f those on its far side.
struct RowPlane {
    std::size_t Y, Z;
    float oy[4], oz[4];  ///< offsets from the corners (j, k) = (0,0), (1,0), (0,1), (1,1)
    float w[4];          ///< the corners' y weight × z weight

    RowPlane(float y, float z) {
        const Cells c = SplitCoordinates(Float4{0.0f, y, z, 0.0f});
        Y = c[1];
        Z = c[2];
        const float fy = c.f[1], fz = c.f[2];
        const float y1 = Fade(fy), z1 = Fade(fz), y0 = 1.0f - y1, z0 = 1.0f - z1;
        const float oys[4] = {fy, fy - 1.0f, fy, fy - 1.0f};
        const float ozs[4] = {fz, fz, fz - 1.0f, fz - 1.0f};
        const float ws[4] = {y0 * z0, y1 * z0, y0 * z1, y1 * z1};
        for (int k = 0; k < 4; ++k) {
            oy[k] = oys[k];
            oz[k] = ozs[k];
            w[k] = ws[k];
        }
    }
};

/// Gradient components by hash, for the targets whose vectors hold 16 floats: a lane
/// permutation there is a lookup in a 16-entry table (32 with two registers), cheaper than
/// choosing the components by the hash bits.
struct GradientTables {
    alignas(64) float g3[3][16];  ///< improved noise's gradient of hash & 15, by axis
    alignas(64) float g4[4][32];  ///< the four-dimensional gradient of hash & 31, by axis
};

constexpr GradientTables MakeGradientTables() {
    GradientTables t{};
    for (int h = 0; h < 16; ++h) {
        const int u = h < 8 ? 0 : 1;
        const int v = h < 4 ? 1 : (h == 12 || h == 14 ? 0 : 2);
        t.g3[u][h] += (h & 1) ? -1.0f : 1.0f;
        t.g3[v][h] += (h & 2) ? -1.0f : 1.0f;
    }
    for (int h = 0; h < 32; ++h) {
        for (int k = 0, bit = 0; k < 4; ++k) {
            if (k != h >> 3) t.g4[k][h] = (h >> bit++ & 1) ? -1.0f : 1.0f;
        }
    }
    return t;
}

inline constexpr GradientTables kGradientTables = MakeGradientTables();

/// The zw entries of one w cell, gathered into a table of their own: noise4 of a batch reads
/// only these (w is one value per batch), and 2 KiB stay in the nearest cache where the 511
/// scattered entries (one cache line each) do not. Kept per thread, rebuilt when w's cell
/// changes and the batch is long enough to repay the 511 reads.
struct WCellTable {
    /// Points from which gathering the table pays: a batch of fewer points, such as the
    /// handful of samples a ray takes through one volume, reads its entries where they are.
    static constexpr int kRebuildPoints = 128;

    int W = -1;
    alignas(64) std::int32_t zw[512] = {};

    /// Where the zw entries of `cell` lie for a batch of `count` points: entry h at
    /// table[h << shift].
    const std::int32_t *For(int cell, int count, int &shift) {
        if (cell != W && count < kRebuildPoints) {
            shift = 8;
            return kHashTables.zw + cell;
        }
        if (cell != W) {
            for (int h = 0; h < 511; ++h) zw[h] = kHashTables.zw[h * 256 + cell];
            W = cell;
        }
        shift = 0;
        return zw;
    }
};

inline thread_local WCellTable tWCellTable;

/// The batched kernels of one instruction set.
struct BatchKernels {
    void (*noise3)(const float *, const float *, const float *, int, float *);
    void (*noise4)(const float *, const float *, const float *, float, int, float *);
    void (*fBm)(const float *, const float *, const float *, int, float, float, float, float *);
    void (*turbulence)(const float *, const float *, const float *, int, float, float *);
    void (*row)(const float *, int, float, float, float *);
};

}  // namespace noise_detail
#endif

HWY_BEFORE_NAMESPACE();
namespace noise_detail {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DF = hn::ScalableTag<float>;
using DI = hn::RebindToSigned<DF>;
using VF = hn::Vec<DF>;
using VI = hn::Vec<DI>;

/// Cells (modulo 256) and positions, as SplitCoordinates in host/noise_kernels.h gives them:
/// the cell is the integer nearest to p − 1/2 and the position p less the cell; coordinates
/// of 2^31 or more, infinities and NaN are at cell 0, position 0.
HWY_INLINE void Split(VF p, VI &cell, VF &f) {
    const DF df;
    const DI di;
    const auto kept = hn::Lt(hn::And(hn::BitCast(di, p), hn::Set(di, kMagnitudeBits)),
                             hn::Set(di, kWholePeriodsFromBits));
    const VI nearest = hn::NearestInt(hn::Sub(p, hn::Set(df, 0.5f)));
    cell = hn::IfThenElseZero(kept, hn::And(nearest, hn::Set(di, 255)));
    f = hn::IfThenElseZero(hn::RebindMask(df, kept), hn::Sub(p, hn::ConvertTo(df, nearest)));
}

HWY_INLINE VI Pairs(VI index) {
    return hn::GatherIndex(DI(), kHashTables.pairs, index);
}
/// The zw entry of hash h and cell C.
HWY_INLINE VI PairsZW(VI h, VI C) {
    return hn::GatherIndex(DI(), kHashTables.zw, hn::Add(hn::ShiftLeft<8>(h), C));
}
HWY_INLINE VI Low(VI pair) {
    return hn::And(pair, hn::Set(DI(), 255));
}
HWY_INLINE VI High(VI pair) {
    return hn::ShiftRight<8>(pair);
}

HWY_INLINE VF FadeV(VF t) {
    const DF d;
    const VF inner =
        hn::MulAdd(t, hn::MulAdd(t, hn::Set(d, 6.0f), hn::Set(d, -15.0f)), hn::Set(d, 10.0f));
    return hn::Mul(hn::Mul(hn::Mul(t, t), t), inner);
}

HWY_INLINE VF Lerp(VF t, VF a, VF b) {
    return hn::MulAdd(t, hn::Sub(b, a), a);
}

/// The sign bit of `bit` of h, as a float's sign.
template <int kBit>
HWY_INLINE VF SignOf(VI h) {
    const DI di;
    return hn::BitCast(DF(), hn::And(hn::ShiftLeft<31 - kBit>(h), hn::Set(di, INT32_MIN)));
}

#undef NIMBRA_NOISE_LANE_TABLES
#if HWY_TARGET == HWY_AVX3 || HWY_TARGET == HWY_AVX3_DL
#define NIMBRA_NOISE_LANE_TABLES 1
#else
#define NIMBRA_NOISE_LANE_TABLES 0
#endif

/// Improved noise's gradient of hash h (bits 0-3) dotted with the offset (x, y, z): ±u ± v,
/// u being x for h < 8, else y; v being y for h < 4, x for 12 and 14, else z.
HWY_INLINE VF Grad3(VI h, VF x, VF y, VF z) {
    const DF df;
    const DI di;
#if NIMBRA_NOISE_LANE_TABLES
    const auto index = hn::IndicesFromVec(df, hn::And(h, hn::Set(di, 15)));
    const auto component = [&](int axis) {
        return hn::TableLookupLanes(hn::Load(df, kGradientTables.g3[axis]), index);
    };
    return hn::MulAdd(component(0), x, hn::MulAdd(component(1), y, hn::Mul(component(2), z)));
#else
    const VI h4 = hn::And(h, hn::Set(di, 15));
    const VF u = hn::IfThenElse(hn::RebindMask(df, hn::Lt(h4, hn::Set(di, 8))), x, y);
    const auto xForV =
        hn::RebindMask(df, hn::Eq(hn::And(h4, hn::Set(di, 13)), hn::Set(di, 12)));
    const VF v = hn::IfThenElse(hn::RebindMask(df, hn::Lt(h4, hn::Set(di, 4))), y,
                                hn::IfThenElse(xForV, x, z));
    return hn::Add(hn::Xor(u, SignOf<0>(h)), hn::Xor(v, SignOf<1>(h)));
#endif
}

/// The four-dimensional gradient of hash h (bits 0-4) dotted with (x, y, z, w): bits 3-4 name
/// the axis whose component is 0, bits 0-2 the signs of the other three in axis order.
HWY_INLINE VF Grad4(VI h, VF x, VF y, VF z, VF w) {
    const DF df;
    const DI di;
#if NIMBRA_NOISE_LANE_TABLES
    // Two registers make the 32-entry table; the permutation reads bits 0-4 of the hash.
    const auto component = [&](int axis) {
        const float *g = kGradientTables.g4[axis];
        return VF{_mm512_permutex2var_ps(hn::Load(df, g).raw, h.raw, hn::Load(df, g + 16).raw)};
    };
    return hn::MulAdd(
        component(0), x,
        hn::MulAdd(component(1), y, hn::MulAdd(component(2), z, hn::Mul(component(3), w))));
#else
    const VI zeroAxis = hn::And(hn::ShiftRight<3>(h), hn::Set(di, 3));
    const auto is = [&](int axis) {
        return hn::RebindMask(df, hn::Eq(zeroAxis, hn::Set(di, axis)));
    };
    const auto before = [&](int axis) {
        return hn::RebindMask(df, hn::Lt(zeroAxis, hn::Set(di, axis)));
    };
    const VF s0 = SignOf<0>(h), s1 = SignOf<1>(h), s2 = SignOf<2>(h);
    const VF tx = hn::IfThenZeroElse(is(0), hn::Xor(x, s0));
    const VF ty = hn::IfThenZeroElse(is(1), hn::Xor(y, hn::IfThenElse(before(1), s0, s1)));
    const VF tz = hn::IfThenZeroElse(is(2), hn::Xor(z, hn::IfThenElse(before(2), s1, s2)));
    const VF tw = hn::IfThenZeroElse(is(3), hn::Xor(w, s2));
    return hn::Add(hn::Add(tx, ty), hn::Add(tz, tw));
#endif
}

// The kernels below work on K vectors of points at once, stage by stage (loops over k that
// the compiler unrolls), so that the gathers of independent points are in flight together:
// the hash chain is two or three dependent gathers deep, and one vector alone leaves the
// processor waiting on it.

/// A vector of points split into cells and positions, with the hashes of the four xy corners
/// of each point's cell at its z cell: aa, ba, ab, bb (each less than 511), as
/// noise_kernels.h forms them.
struct CellHashes {
    VF fx, fy, fz;
    VI Z, aa, ba, ab, bb;
};

template <int K>
HWY_INLINE void HashCells(const VF *x, const VF *y, const VF *z, CellHashes *c) {
    VI X[K], Y[K];
    for (int k = 0; k < K; ++k) {
        Split(x[k], X[k], c[k].fx);
        Split(y[k], Y[k], c[k].fy);
        Split(z[k], c[k].Z, c[k].fz);
    }
    VI pX[K], pA[K], pB[K];
    for (int k = 0; k < K; ++k) pX[k] = Pairs(X[k]);
    for (int k = 0; k < K; ++k) {
        pA[k] = Pairs(hn::Add(Low(pX[k]), Y[k]));
        pB[k] = Pairs(hn::Add(High(pX[k]), Y[k]));
    }
    for (int k = 0; k < K; ++k) {
        c[k].aa = hn::Add(Low(pA[k]), c[k].Z);
        c[k].ab = hn::Add(High(pA[k]), c[k].Z);
        c[k].ba = hn::Add(Low(pB[k]), c[k].Z);
        c[k].bb = hn::Add(High(pB[k]), c[k].Z);
    }
}

/// Improved noise from a point's position and its corners' hash pairs, which hold the hash
/// at the near z side (low) and the far side (high).
HWY_INLINE VF Blend3(const CellHashes &c, VI aa, VI ba, VI ab, VI bb) {
    const DF d;
    const VF one = hn::Set(d, 1.0f);
    const VF fx = c.fx, fy = c.fy, fz = c.fz;
    const VF x1 = hn::Sub(fx, one), y1 = hn::Sub(fy, one), z1 = hn::Sub(fz, one);
    const VF u = FadeV(fx), v = FadeV(fy), w = FadeV(fz);
    const VF near = Lerp(v, Lerp(u, Grad3(aa, fx, fy, fz), Grad3(ba, x1, fy, fz)),
                         Lerp(u, Grad3(ab, fx, y1, fz), Grad3(bb, x1, y1, fz)));
    const VF far = Lerp(v, Lerp(u, Grad3(High(aa), fx, fy, z1), Grad3(High(ba), x1, fy, z1)),
                        Lerp(u, Grad3(High(ab), fx, y1, z1), Grad3(High(bb), x1, y1, z1)));
    return Lerp(w, near, far);
}

/// With a = p[X] + Y and b = p[X + 1] + Y, the zw entry of (a, Z) holds the gradient hashes
/// of the xy corners (0, 0) at the near and far z sides, then (0, 1); that of (b, Z) those of
/// (1, 0) and (1, 1): three gathers in all.
template <int K>
HWY_INLINE void Noise3V(const VF *x, const VF *y, const VF *z, VF *out) {
    CellHashes c[K];
    VI X[K], Y[K], pX[K], qa[K], qb[K];
    for (int k = 0; k < K; ++k) {
        Split(x[k], X[k], c[k].fx);
        Split(y[k], Y[k], c[k].fy);
        Split(z[k], c[k].Z, c[k].fz);
    }
    for (int k = 0; k < K; ++k) {
        pX[k] = Pairs(X[k]);
    }
    for (int k = 0; k < K; ++k) {
        qa[k] = PairsZW(hn::Add(Low(pX[k]), Y[k]), c[k].Z);
        qb[k] = PairsZW(hn::Add(High(pX[k]), Y[k]), c[k].Z);
    }
    // Blend3 reads each corner's near z hash in bits 0-7 and its far one in bits 8-15.
    for (int k = 0; k < K; ++k) {
        out[k] =
            Blend3(c[k], qa[k], qb[k], hn::ShiftRight<16>(qa[k]), hn::ShiftRight<16>(qb[k]));
    }
}

/// One z side of a four-dimensional cell: its xy corners' hash pairs with the w cell hold the
/// near w side (low) and the far one (high).
HWY_INLINE VF Blend4Side(const CellHashes &c, VF fw, VF oz, const VI *p) {
    const DF d;
    const VF one = hn::Set(d, 1.0f);
    const VF fx = c.fx, fy = c.fy;
    const VF x1 = hn::Sub(fx, one), y1 = hn::Sub(fy, one), w1 = hn::Sub(fw, one);
    const VF u = FadeV(fx), v = FadeV(fy), t = FadeV(fw);
    const VF nearW = Lerp(v, Lerp(u, Grad4(p[0], fx, fy, oz, fw), Grad4(p[1], x1, fy, oz, fw)),
                          Lerp(u, Grad4(p[2], fx, y1, oz, fw), Grad4(p[3], x1, y1, oz, fw)));
    const VF farW =
        Lerp(v, Lerp(u, Grad4(High(p[0]), fx, fy, oz, w1), Grad4(High(p[1]), x1, fy, oz, w1)),
             Lerp(u, Grad4(High(p[2]), fx, y1, oz, w1), Grad4(High(p[3]), x1, y1, oz, w1)));
    return Lerp(t, nearW, farW);
}

/// table[h << shift] holds zw entry h of w's cell (WCellTable).
template <int K>
HWY_INLINE void Noise4V(const VF *x, const VF *y, const VF *z, VF w, const std::int32_t *table,
                        int shift, VF *out) {
    const DF d;
    CellHashes c[K];
    VI W;
    VF fw;
    Split(w, W, fw);
    HashCells<K>(x, y, z, c);
    // For each xy corner, the gradient hashes of its near z side (bytes 0 and 1, near and far
    // w) and its far z side (bytes 2 and 3).
    VI zw[K][4], nearZ[K][4], farZ[K][4];
    for (int k = 0; k < K; ++k) {
        const VI corners[4] = {c[k].aa, c[k].ba, c[k].ab, c[k].bb};
        for (int j = 0; j < 4; ++j) {
            zw[k][j] = hn::GatherIndex(DI(), table, hn::ShiftLeftSame(corners[j], shift));
        }
        for (int j = 0; j < 4; ++j) {
            nearZ[k][j] = hn::ShiftRight<16>(hn::ShiftLeft<16>(zw[k][j]));
            farZ[k][j] = hn::ShiftRight<16>(zw[k][j]);
        }
    }
    for (int k = 0; k < K; ++k) {
        const VF z1 = hn::Sub(c[k].fz, hn::Set(d, 1.0f));
        const VF nearSide = Blend4Side(c[k], fw, c[k].fz, nearZ[k]);
        const VF farSide = Blend4Side(c[k], fw, z1, farZ[k]);
        out[k] = hn::Mul(Lerp(FadeV(c[k].fz), nearSide, farSide), hn::Set(d, kNoise4Scale));
    }
}

template <int K>
HWY_INLINE void FBmV(const VF *px, const VF *py, const VF *pz, Octaves n, float gain,
                     float lacunarity, VF *sum) {
    const DF d;
    const VF lac = hn::Set(d, lacunarity);
    VF x[K], y[K], z[K], octave[K];
    for (int k = 0; k < K; ++k) {
        x[k] = px[k];
        y[k] = py[k];
        z[k] = pz[k];
        sum[k] = hn::Zero(d);
    }
    float weight = 1.0f;
    const auto add = [&](float w) {
        Noise3V<K>(x, y, z, octave);
        for (int k = 0; k < K; ++k) {
            sum[k] = hn::MulAdd(octave[k], hn::Set(d, w), sum[k]);
        }
    };
    for (int i = 0; i < n.whole; ++i) {
        add(weight);
        weight *= gain;
        for (int k = 0; k < K; ++k) {
            x[k] = hn::Mul(x[k], lac);
            y[k] = hn::Mul(y[k], lac);
            z[k] = hn::Mul(z[k], lac);
        }
    }
    if (n.fraction > 0.0f) add(weight * n.fraction);
}

template <int K>
HWY_INLINE void TurbulenceV(const VF *px, const VF *py, const VF *pz, float freq, VF *sum) {
    const DF d;
    VF x[K], y[K], z[K], octave[K];
    for (int k = 0; k < K; ++k) {
        sum[k] = hn::Zero(d);
    }
    for (float f = std::min(freq, kMaxTurbulenceFrequency); f >= 1.0f; f *= 0.5f) {
        const VF vf = hn::Set(d, f);
        for (int k = 0; k < K; ++k) {
            x[k] = hn::Mul(px[k], vf);
            y[k] = hn::Mul(py[k], vf);
            z[k] = hn::Mul(pz[k], vf);
        }
        Noise3V<K>(x, y, z, octave);
        for (int k = 0; k < K; ++k) {
            sum[k] = hn::Add(sum[k], hn::Div(hn::Abs(octave[k]), vf));
        }
    }
}

/// How many vectors the kernels take at once.
constexpr int kInterleave = 4;

/// Runs eval.template operator()<K>(x, y, z, out) over the points, kInterleave vectors at a
/// time, then single vectors; the last, partial vector goes through zero-padded copies so
/// that no load or store passes the arrays' ends.
template <class Eval>
HWY_INLINE void ForEachVector(const float *x, const float *y, const float *z, int count,
                              float *out, const Eval &eval) {
    const DF d;
    const std::size_t N = hn::Lanes(d), n = count > 0 ? std::size_t(count) : 0;
    std::size_t i = 0;
    for (; i + kInterleave * N <= n; i += kInterleave * N) {
        VF vx[kInterleave], vy[kInterleave], vz[kInterleave], vo[kInterleave];
        for (int k = 0; k < kInterleave; ++k) {
            vx[k] = hn::LoadU(d, x + i + k * N);
            vy[k] = hn::LoadU(d, y + i + k * N);
            vz[k] = hn::LoadU(d, z + i + k * N);
        }
        eval.template operator()<kInterleave>(vx, vy, vz, vo);
        for (int k = 0; k < kInterleave; ++k) {
            hn::StoreU(vo[k], d, out + i + k * N);
        }
    }
    for (; i + N <= n; i += N) {
        VF vx = hn::LoadU(d, x + i), vy = hn::LoadU(d, y + i), vz = hn::LoadU(d, z + i), vo;
        eval.template operator()<1>(&vx, &vy, &vz, &vo);
        hn::StoreU(vo, d, out + i);
    }
    if (i == n) return;
    HWY_ALIGN float bx[hn::MaxLanes(d)] = {}, by[hn::MaxLanes(d)] = {},
                    bz[hn::MaxLanes(d)] = {}, bo[hn::MaxLanes(d)];
    const std::size_t rest = (n - i) * sizeof(float);
    std::memcpy(bx, x + i, rest);
    std::memcpy(by, y + i, rest);
    std::memcpy(bz, z + i, rest);
    VF vx = hn::Load(d, bx), vy = hn::Load(d, by), vz = hn::Load(d, bz), vo;
    eval.template operator()<1>(&vx, &vy, &vz, &vo);
    hn::Store(vo, d, bo);
    std::memcpy(out + i, bo, rest);
}

void Noise3Batch(const float *x, const float *y, const float *z, int count, float *out) {
    ForEachVector(x, y, z, count, out,
                  []<int K>(const VF *px, const VF *py, const VF *pz, VF *o) {
                      Noise3V<K>(px, py, pz, o);
                  });
}

void Noise4Batch(const float *x, const float *y, const float *z, float w, int count,
                 float *out) {
    const VF vw = hn::Set(DF(), w);
    VI W;
    VF fw;
    Split(vw, W, fw);
    int shift = 0;
    const std::int32_t *table = tWCellTable.For(hn::GetLane(W), count, shift);
    ForEachVector(x, y, z, count, out,
                  [vw, table, shift]<int K>(const VF *px, const VF *py, const VF *pz, VF *o) {
                      Noise4V<K>(px, py, pz, vw, table, shift, o);
                  });
}

void FBmBatch(const float *x, const float *y, const float *z, int count, float H,
              float lacunarity, float octaves, float *out) {
    const Octaves n = SplitOctaves(octaves);
    const float gain = OctaveGain(H, lacunarity);
    ForEachVector(x, y, z, count, out,
                  [&]<int K>(const VF *px, const VF *py, const VF *pz, VF *o) {
                      FBmV<K>(px, py, pz, n, gain, lacunarity, o);
                  });
}

void TurbulenceBatch(const float *x, const float *y, const float *z, int count, float freq,
                     float *out) {
    ForEachVector(x, y, z, count, out,
                  [freq]<int K>(const VF *px, const VF *py, const VF *pz, VF *o) {
                      TurbulenceV<K>(px, py, pz, freq, o);
                  });
}

/// RowPlane::Cell for the cell of each lane: the coefficients of the near and far x-side
/// polynomials, summed over the four yz corners in the same order.
struct RowCellV {
    VF a0, b0, a1, b1;
};
HWY_INLINE RowCellV RowCellOf(const RowPlane &plane, VI X) {
    const DF d;
    const DI di;
    const VF zero = hn::Zero(d), one = hn::Set(d, 1.0f);
    const VI Y = hn::Set(di, int(plane.Y)), Z = hn::Set(di, int(plane.Z));
    const VI pX = Pairs(X);
    // Bytes 0 … 3: the yz corners (j, k) = (0, 0), (0, 1), (1, 0), (1, 1).
    const VI qa = PairsZW(hn::Add(Low(pX), Y), Z), qb = PairsZW(hn::Add(High(pX), Y), Z);
    const VI nearHash[4] = {qa, hn::ShiftRight<16>(qa), High(qa), hn::ShiftRight<24>(qa)};
    const VI farHash[4] = {qb, hn::ShiftRight<16>(qb), High(qb), hn::ShiftRight<24>(qb)};
    RowCellV c{zero, zero, zero, zero};
    // Plain multiplies and adds, no fused ones: each lane then holds exactly what any other
    // lane in the same cell holds, so a point's value never depends on its neighbours.
    for (int k = 0; k < 4; ++k) {
        const VF w = hn::Set(d, plane.w[k]), oy = hn::Set(d, plane.oy[k]),
                 oz = hn::Set(d, plane.oz[k]);
        const VF gn = Grad3(nearHash[k], zero, oy, oz),
                 gnx = Grad3(nearHash[k], one, zero, zero);
        const VF gf = Grad3(farHash[k], zero, oy, oz), gfx = Grad3(farHash[k], one, zero, zero);
        c.a0 = hn::Add(c.a0, hn::Mul(w, gn));
        c.b0 = hn::Add(c.b0, hn::Mul(w, gnx));
        c.a1 = hn::Add(c.a1, hn::Mul(w, hn::Sub(gf, gfx)));  // x offset f − 1
        c.b1 = hn::Add(c.b1, hn::Mul(w, gfx));
    }
    return c;
}

/// A row runs a vector at a time, each point from the polynomials of its cell. A vector whose
/// points all lie in one cell (the usual case for sprite rows) takes them from the last cell
/// it computed, so neighbouring vectors in one cell share the work.
void Noise3RowBatch(const float *x, int count, float y, float z, float *out) {
    if (count <= 0) return;
    const DF d;
    const DI di;
    const std::size_t N = hn::Lanes(d), n = std::size_t(count);
    const RowPlane plane(y, z);
    int cachedCell = -1;
    RowCellV cached{};
    HWY_ALIGN float bx[hn::MaxLanes(d)] = {}, bo[hn::MaxLanes(d)];
    for (std::size_t i = 0; i < n; i += N) {
        const bool partial = i + N > n;
        const std::size_t lanes = partial ? n - i : N;
        if (partial) {
            // Padding lanes repeat the first point so as not to split the vector.
            for (std::size_t k = 0; k < N; ++k) bx[k] = x[i + (k < lanes ? k : 0)];
        }
        VI X;
        VF fx;
        Split(partial ? hn::Load(d, bx) : hn::LoadU(d, x + i), X, fx);
        const int first = hn::GetLane(X);
        RowCellV c;
        if (hn::AllTrue(di, hn::Eq(X, hn::Set(di, first)))) {
            if (first != cachedCell) {
                cached = RowCellOf(plane, X);
                cachedCell = first;
            }
            c = cached;
        } else {
            c = RowCellOf(plane, X);
        }
        const VF l0 = hn::MulAdd(c.b0, fx, c.a0), l1 = hn::MulAdd(c.b1, fx, c.a1);
        const VF value = Lerp(FadeV(fx), l0, l1);
        if (partial) {
            hn::Store(value, d, bo);
            std::memcpy(out + i, bo, lanes * sizeof(float));
        } else {
            hn::StoreU(value, d, out + i);
        }
    }
}

BatchKernels Kernels() {
    return {&Noise3Batch, &Noise4Batch, &FBmBatch, &TurbulenceBatch, &Noise3RowBatch};
}

}  // namespace HWY_NAMESPACE
}  // namespace noise_detail
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace noise_detail {

HWY_EXPORT(Kernels);

namespace {

const HashTables &MakeHashTables() {
    static HashTables t;
    const std::uint8_t *p = kNoiseTables.perm;
    const auto quad = [p](int i, int cell) {
        const int a = p[i] + cell, b = p[i + 1] + cell;
        return std::int32_t(p[a]) | std::int32_t(p[a + 1]) << 8 | std::int32_t(p[b]) << 16 |
               std::int32_t(p[b + 1]) << 24;
    };
    for (int i = 0; i < 512; ++i)
        t.pairs[i] = std::int32_t(p[i]) | std::int32_t(p[(i + 1) & 511]) << 8;
    for (int i = 0; i < 511; ++i) {
        for (int cell = 0; cell < 256; ++cell) t.zw[i * 256 + cell] = quad(i, cell);
    }
    return t;
}

// The dispatch table of Kernels holds an entry per compiled target; this finds a target's
// entry the way Highway's own dispatch does for the target it picks.
BatchKernels KernelsOf(std::int64_t target) {
    const std::int64_t mask = HWY_CHOSEN_TARGET_SHIFT(target) | HWY_CHOSEN_TARGET_MASK_SCALAR;
    const std::size_t index = hwy::Num0BitsBelowLS1Bit_Nonzero64(
        static_cast<std::uint64_t>(mask & HWY_CHOSEN_TARGET_MASK_TARGETS));
    return HWY_DISPATCH_TABLE(Kernels)[index]();
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char p, char q) {
               return std::toupper(static_cast<unsigned char>(p)) ==
                      std::toupper(static_cast<unsigned char>(q));
           });
}

/// The kernels in use, with their target.
struct Selection {
    std::int64_t target;
    BatchKernels kernels;
};

/// One selection per instruction set of this CPU, best first, built once and never changed,
/// so that a batch running while another thread switches keeps valid kernels.
const std::vector<Selection> &Selections() {
    static const std::vector<Selection> all = [] {
        std::vector<Selection> s;
        for (const std::int64_t target : hwy::SupportedAndGeneratedTargets()) {
            s.push_back({target, KernelsOf(target)});
        }
        // Highway's own choice for this CPU comes first.
        s.front().kernels = HWY_DYNAMIC_DISPATCH(Kernels)();
        return s;
    }();
    return all;
}

const Selection *SelectionNamed(std::string_view name) {
    for (const Selection &s : Selections()) {
        if (SameName(name, hwy::TargetName(s.target))) return &s;
    }
    return nullptr;
}

const Selection *InitialSelection() {
    const Selection *best = &Selections().front();
    const char *forced = std::getenv("NIMBRA_NOISE_TARGET");
    if (forced == nullptr || *forced == '\0') return best;
    if (const Selection *s = SelectionNamed(forced)) return s;
    std::fprintf(stderr,
                 "NIMBRA_NOISE_TARGET: '%s' is not an instruction set of this CPU; using %s\n",
                 forced, hwy::TargetName(best->target));
    return best;
}

std::atomic<const Selection *> &Current() {
    static std::atomic<const Selection *> current{InitialSelection()};
    return current;
}

const BatchKernels &Active() {
    return Current().load(std::memory_order_acquire)->kernels;
}

}  // namespace

const HashTables &kHashTables = MakeHashTables();

}  // namespace noise_detail

void noise3Batch(const float *x, const float *y, const float *z, int count, float *out) {
    noise_detail::Active().noise3(x, y, z, count, out);
}

void noise4Batch(const float *x, const float *y, const float *z, float w, int count,
                 float *out) {
    noise_detail::Active().noise4(x, y, z, w, count, out);
}

void fBm1Batch(const float *x, const float *y, const float *z, int count, float H,
               float lacunarity, float octaves, float *out) {
    noise_detail::Active().fBm(x, y, z, count, H, lacunarity, octaves, out);
}

void turbulenceBatch(const float *x, const float *y, const float *z, int count, float freq,
                     float *out) {
    noise_detail::Active().turbulence(x, y, z, count, freq, out);
}

void noise3Row(const float *x, int count, float y, float z, float *out) {
    noise_detail::Active().row(x, count, y, z, out);
}

std::vector<std::string> noiseTargets() {
    std::vector<std::string> names;
    for (const noise_detail::Selection &s : noise_detail::Selections()) {
        names.emplace_back(hwy::TargetName(s.target));
    }
    return names;
}

std::string noiseTarget() {
    return hwy::TargetName(noise_detail::Current().load(std::memory_order_acquire)->target);
}

bool setNoiseTarget(std::string_view name) {
    const noise_detail::Selection *s = noise_detail::SelectionNamed(name);
    if (s == nullptr) return false;
    noise_detail::Current().store(s, std::memory_order_release);
    return true;
}
#endif  // HWY_ONCE
