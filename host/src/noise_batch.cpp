/// @file noise_batch.cpp
/// @brief Batched noise: noise3, noise4, fBm1 and turbulence over arrays of points and along
///        rows, one point per vector lane, compiled for every instruction set Highway targets
///        and dispatched at run time.
///
/// The lattice hashes are gathers from a table of permutation pairs (entry i holds p[i] and
/// p[i + 1]), so one gather gives both hashes a corner pair needs: seven gathers per noise3
/// point instead of fourteen. Gradients are chosen by the hash bits with selects and sign
/// flips, without a lookup.
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

/// Permutation pairs: entry i holds p[i] in bits 0-7 and p[i + 1] in bits 8-15. Hashes reach
/// 510 at most (a permutation entry plus a cell, both below 256).
struct PairTable {
    alignas(64) std::int32_t pairs[512];
};

extern const PairTable kPairTable;

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
    return hn::GatherIndex(DI(), kPairTable.pairs, index);
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

/// Improved noise's gradient of hash h (bits 0-3) dotted with the offset (x, y, z): ±u ± v,
/// u being x for h < 8, else y; v being y for h < 4, x for 12 and 14, else z.
HWY_INLINE VF Grad3(VI h, VF x, VF y, VF z) {
    const DF df;
    const DI di;
    const VI h4 = hn::And(h, hn::Set(di, 15));
    const VF u = hn::IfThenElse(hn::RebindMask(df, hn::Lt(h4, hn::Set(di, 8))), x, y);
    const auto xForV =
        hn::RebindMask(df, hn::Eq(hn::And(h4, hn::Set(di, 13)), hn::Set(di, 12)));
    const VF v = hn::IfThenElse(hn::RebindMask(df, hn::Lt(h4, hn::Set(di, 4))), y,
                                hn::IfThenElse(xForV, x, z));
    return hn::Add(hn::Xor(u, SignOf<0>(h)), hn::Xor(v, SignOf<1>(h)));
}

/// The four-dimensional gradient of hash h (bits 0-4) dotted with (x, y, z, w): bits 3-4 name
/// the axis whose component is 0, bits 0-2 the signs of the other three in axis order.
HWY_INLINE VF Grad4(VI h, VF x, VF y, VF z, VF w) {
    const DF df;
    const DI di;
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
}

/// The hashes of the four xy corners of the cell at z's cell: aa, ba, ab, bb (each less than
/// 511), as noise_kernels.h forms them.
struct FaceHashes {
    VI aa, ba, ab, bb;
};
HWY_INLINE FaceHashes HashFace(VI X, VI Y, VI Z) {
    const VI pX = Pairs(X);
    const VI pA = Pairs(hn::Add(Low(pX), Y)), pB = Pairs(hn::Add(High(pX), Y));
    return {hn::Add(Low(pA), Z), hn::Add(Low(pB), Z), hn::Add(High(pA), Z),
            hn::Add(High(pB), Z)};
}

HWY_INLINE VF Noise3V(VF x, VF y, VF z) {
    const DF d;
    VI X, Y, Z;
    VF fx, fy, fz;
    Split(x, X, fx);
    Split(y, Y, fy);
    Split(z, Z, fz);
    const FaceHashes c = HashFace(X, Y, Z);
    // Each pair holds the corner's hash at the near z side (low) and the far side (high).
    const VI aa = Pairs(c.aa), ba = Pairs(c.ba), ab = Pairs(c.ab), bb = Pairs(c.bb);
    const VF one = hn::Set(d, 1.0f);
    const VF x1 = hn::Sub(fx, one), y1 = hn::Sub(fy, one), z1 = hn::Sub(fz, one);
    const VF u = FadeV(fx), v = FadeV(fy), w = FadeV(fz);
    const VF near = Lerp(v, Lerp(u, Grad3(aa, fx, fy, fz), Grad3(ba, x1, fy, fz)),
                         Lerp(u, Grad3(ab, fx, y1, fz), Grad3(bb, x1, y1, fz)));
    const VF far = Lerp(v, Lerp(u, Grad3(High(aa), fx, fy, z1), Grad3(High(ba), x1, fy, z1)),
                        Lerp(u, Grad3(High(ab), fx, y1, z1), Grad3(High(bb), x1, y1, z1)));
    return Lerp(w, near, far);
}

HWY_INLINE VF Noise4V(VF x, VF y, VF z, VF w) {
    const DF d;
    VI X, Y, Z, W;
    VF fx, fy, fz, fw;
    Split(x, X, fx);
    Split(y, Y, fy);
    Split(z, Z, fz);
    Split(w, W, fw);
    const FaceHashes c = HashFace(X, Y, Z);
    const VI aa = Pairs(c.aa), ba = Pairs(c.ba), ab = Pairs(c.ab), bb = Pairs(c.bb);
    const VF one = hn::Set(d, 1.0f);
    const VF x1 = hn::Sub(fx, one), y1 = hn::Sub(fy, one), z1 = hn::Sub(fz, one),
             w1 = hn::Sub(fw, one);
    const VF u = FadeV(fx), v = FadeV(fy), s = FadeV(fz), t = FadeV(fw);
    // One z side of the cell: the hashes of its xy corners with the w cell, whose pairs hold
    // the near w side (low) and the far one (high).
    const auto zSide = [&](VI haa, VI hba, VI hab, VI hbb, VF oz) {
        const VI paa = Pairs(hn::Add(haa, W)), pba = Pairs(hn::Add(hba, W));
        const VI pab = Pairs(hn::Add(hab, W)), pbb = Pairs(hn::Add(hbb, W));
        const VF nearW =
            Lerp(v, Lerp(u, Grad4(paa, fx, fy, oz, fw), Grad4(pba, x1, fy, oz, fw)),
                 Lerp(u, Grad4(pab, fx, y1, oz, fw), Grad4(pbb, x1, y1, oz, fw)));
        const VF farW =
            Lerp(v, Lerp(u, Grad4(High(paa), fx, fy, oz, w1), Grad4(High(pba), x1, fy, oz, w1)),
                 Lerp(u, Grad4(High(pab), fx, y1, oz, w1), Grad4(High(pbb), x1, y1, oz, w1)));
        return Lerp(t, nearW, farW);
    };
    const VF nearZ = zSide(Low(aa), Low(ba), Low(ab), Low(bb), fz);
    const VF farZ = zSide(High(aa), High(ba), High(ab), High(bb), z1);
    return hn::Mul(Lerp(s, nearZ, farZ), hn::Set(d, kNoise4Scale));
}

HWY_INLINE VF FBmV(VF x, VF y, VF z, Octaves n, float gain, float lacunarity) {
    const DF d;
    const VF lac = hn::Set(d, lacunarity);
    VF sum = hn::Zero(d);
    float weight = 1.0f;
    for (int i = 0; i < n.whole; ++i) {
        sum = hn::MulAdd(Noise3V(x, y, z), hn::Set(d, weight), sum);
        weight *= gain;
        x = hn::Mul(x, lac);
        y = hn::Mul(y, lac);
        z = hn::Mul(z, lac);
    }
    if (n.fraction > 0.0f)
        sum = hn::MulAdd(Noise3V(x, y, z), hn::Set(d, weight * n.fraction), sum);
    return sum;
}

HWY_INLINE VF TurbulenceV(VF x, VF y, VF z, float freq) {
    const DF d;
    VF sum = hn::Zero(d);
    for (float f = std::min(freq, kMaxTurbulenceFrequency); f >= 1.0f; f *= 0.5f) {
        const VF vf = hn::Set(d, f);
        sum = hn::Add(
            sum, hn::Div(hn::Abs(Noise3V(hn::Mul(x, vf), hn::Mul(y, vf), hn::Mul(z, vf))), vf));
    }
    return sum;
}

/// Runs `eval` over the points one vector at a time; the last, partial vector goes through
/// zero-padded copies so that no load or store passes the arrays' ends.
template <class Eval>
HWY_INLINE void ForEachVector(const float *x, const float *y, const float *z, int count,
                              float *out, const Eval &eval) {
    const DF d;
    const std::size_t N = hn::Lanes(d), n = count > 0 ? std::size_t(count) : 0;
    std::size_t i = 0;
    for (; i + N <= n; i += N) {
        hn::StoreU(eval(hn::LoadU(d, x + i), hn::LoadU(d, y + i), hn::LoadU(d, z + i)), d,
                   out + i);
    }
    if (i == n) return;
    HWY_ALIGN float bx[hn::MaxLanes(d)] = {}, by[hn::MaxLanes(d)] = {},
                    bz[hn::MaxLanes(d)] = {}, bo[hn::MaxLanes(d)];
    const std::size_t rest = (n - i) * sizeof(float);
    std::memcpy(bx, x + i, rest);
    std::memcpy(by, y + i, rest);
    std::memcpy(bz, z + i, rest);
    hn::Store(eval(hn::Load(d, bx), hn::Load(d, by), hn::Load(d, bz)), d, bo);
    std::memcpy(out + i, bo, rest);
}

void Noise3Batch(const float *x, const float *y, const float *z, int count, float *out) {
    ForEachVector(x, y, z, count, out, [](VF px, VF py, VF pz) { return Noise3V(px, py, pz); });
}

void Noise4Batch(const float *x, const float *y, const float *z, float w, int count,
                 float *out) {
    const VF vw = hn::Set(DF(), w);
    ForEachVector(x, y, z, count, out,
                  [vw](VF px, VF py, VF pz) { return Noise4V(px, py, pz, vw); });
}

void FBmBatch(const float *x, const float *y, const float *z, int count, float H,
              float lacunarity, float octaves, float *out) {
    const Octaves n = SplitOctaves(octaves);
    const float gain = OctaveGain(H, lacunarity);
    ForEachVector(x, y, z, count, out,
                  [&](VF px, VF py, VF pz) { return FBmV(px, py, pz, n, gain, lacunarity); });
}

void TurbulenceBatch(const float *x, const float *y, const float *z, int count, float freq,
                     float *out) {
    ForEachVector(x, y, z, count, out,
                  [freq](VF px, VF py, VF pz) { return TurbulenceV(px, py, pz, freq); });
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
    const VI pA = Pairs(hn::Add(Low(pX), Y)), pB = Pairs(hn::Add(High(pX), Y));
    // Corner pairs: (j, k) = (0, 0) and (0, 1) in the low and high halves of aa, (1, 0) and
    // (1, 1) in those of ab; ba and bb likewise on the far side.
    const VI aa = Pairs(hn::Add(Low(pA), Z)), ab = Pairs(hn::Add(High(pA), Z));
    const VI ba = Pairs(hn::Add(Low(pB), Z)), bb = Pairs(hn::Add(High(pB), Z));
    const VI nearHash[4] = {aa, ab, High(aa), High(ab)};
    const VI farHash[4] = {ba, bb, High(ba), High(bb)};
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

PairTable MakePairTable() {
    PairTable t{};
    for (int i = 0; i < 512; ++i) {
        t.pairs[i] = std::int32_t(kNoiseTables.perm[i]) |
                     std::int32_t(kNoiseTables.perm[(i + 1) & 511]) << 8;
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

const PairTable kPairTable = MakePairTable();

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
