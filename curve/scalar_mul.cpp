// Constant-time multiplication of a point by a secret scalar.
//
// Method: the GLV endomorphism lambda * (x, y) = (beta x, y) splits k into
// k1 + k2 lambda with |k1|, |k2| < 2^128, so one pass of 4-bit fixed windows
// over 132 bits handles both halves with half the doublings of a plain
// ladder. Every window reads its table entry by scanning the whole table
// with masked moves, the additions are the complete projective formulas (no
// special cases for the identity or for doubling), and the trip counts are
// fixed, so neither branches nor memory indices depend on k.
#include <array>
#include <memory>

#include "point.hpp"

namespace vemo::curve {

namespace {

// Lattice constants for the decomposition (see the note above):
// c1 = round(k * g1 / 2^256), c2 = round(k * g2 / 2^256),
// k1 = k - c1 a1 - c2 a2, k2 = c1 (-b1) - c2 b2 (mod r).
constexpr Limbs kG1 = {0xd91d232ec7e0b3d7ULL, 0x0000000000000002ULL, 0, 0};
constexpr Limbs kG2 = {0x7a7bd9d4391eb18eULL, 0x4ccef014a773d2cfULL, 0x0000000000000002ULL, 0};
constexpr Limbs kA1 = {0x89d3256894d213e3ULL, 0, 0, 0};
constexpr Limbs kA2 = {0x0be4e1541221250bULL, 0x6f4d8248eeb859fdULL, 0, 0};
constexpr Limbs kMinusB1 = {0x8211bbeb7d4f1128ULL, 0x6f4d8248eeb859fcULL, 0, 0};
constexpr Limbs kB2 = {0x89d3256894d213e3ULL, 0, 0, 0};

constexpr int kWindows = 33;  // 4-bit windows covering 132 bits

// round(k * g / 2^256) for k < 2^256 and g < 2^192, fixed schedule.
Limbs mul_shift_round(const Limbs& k, const Limbs& g) {
  ct::Wiped<std::array<u64, 8>> held;
  u64* prod = held->data();
  for (int i = 0; i < 4; ++i) {
    u64 carry = 0;
    for (int j = 0; j < 4; ++j) {
      u128 t = (u128)k[i] * g[j] + prod[i + j] + carry;
      prod[i + j] = (u64)t;
      carry = (u64)(t >> 64);
    }
    prod[i + 4] = carry;
  }
  // Add 2^255 for rounding, then take limbs 4..7.
  u128 t = (u128)prod[3] + (1ULL << 63);
  u64 carry = (u64)(t >> 64);
  Limbs out;
  for (int i = 0; i < 4; ++i) {
    u128 s = (u128)prod[4 + i] + carry;
    out[i] = (u64)s;
    carry = (u64)(s >> 64);
  }
  return out;
}

// Brings a half of the split into magnitude and sign: k mod r read as a
// signed value in (-r/2, r/2].
Limbs signed_half(const Fr& v, u64& negative) {
  static const Limbs half = [] {  // (r - 1) / 2
    Limbs h = FrParams::MOD;
    for (int i = 0; i < 4; ++i) h[i] = (h[i] >> 1) | (i < 3 ? h[i + 1] << 63 : 0);
    return h;
  }();
  const ct::Wiped<Limbs> raw(v.to_raw());
  negative = limbs::lt_flag(half, *raw);
  const ct::Wiped<Fr> n(-v);
  ct::Wiped<Fr> m(v);
  m->cmov(*n, negative);
  return m->to_raw();
}

inline unsigned window(const Limbs& k, int w) {
  const int bit = 4 * w;
  return (unsigned)(k[bit / 64] >> (bit % 64)) & 15u;
}

void lookup(ProjPoint& out, const ProjPoint* table, unsigned idx) {
  out = table[0];
  for (unsigned i = 1; i < 16; ++i) out.cmov(table[i], ct::eq_flag(i, idx));
}

}  // namespace

// Splits k into (k1, k2) magnitudes and signs with k = ±k1 ± k2·lambda.
void glv_split(const Bn254Scalar& k, Limbs& k1, u64& neg1, Limbs& k2, u64& neg2) {
  // Every intermediate is as secret as k and is wiped on the way out.
  const ct::Wiped<Limbs> kr(k.to_raw());
  const ct::Wiped<Fr> fc1(Fr::from_raw_reduce(mul_shift_round(*kr, kG1)));
  const ct::Wiped<Fr> fc2(Fr::from_raw_reduce(mul_shift_round(*kr, kG2)));
  const Fr fa1 = Fr::from_raw_reduce(kA1), fa2 = Fr::from_raw_reduce(kA2);
  const Fr fmb1 = Fr::from_raw_reduce(kMinusB1), fb2 = Fr::from_raw_reduce(kB2);
  const ct::Wiped<Fr> v1(k.fe - *fc1 * fa1 - *fc2 * fa2);
  const ct::Wiped<Fr> v2(*fc1 * fmb1 - *fc2 * fb2);
  k1 = signed_half(*v1, neg1);
  k2 = signed_half(*v2, neg2);
}

Bn254Point Bn254Point::scalar_mul(const Bn254Scalar& k) const {
  ct::Wiped<Limbs> h1, h2;
  Limbs& k1 = *h1;
  Limbs& k2 = *h2;
  u64 neg1, neg2;
  glv_split(k, k1, neg1, k2, neg2);

  // The tables carry the signs of the halves.
  ct::Wiped<std::array<ProjPoint, 16>> h_t1, h_t2;
  ProjPoint* t1 = h_t1->data();
  ProjPoint* t2 = h_t2->data();
  ProjPoint p = ProjPoint::from_affine(*this);
  p.cneg(neg1);
  t1[0] = ProjPoint::identity();
  t1[1] = p;
  for (int i = 2; i < 16; ++i) t1[i] = (i % 2 == 0) ? t1[i / 2].dbl() : t1[i - 1].add(p);
  // lambda (i P) = (beta X : Y : Z); fix the sign when the halves differ.
  const Fp beta = glv_beta();
  const u64 flip = neg1 ^ neg2;
  for (int i = 0; i < 16; ++i) {
    t2[i] = ProjPoint{t1[i].X * beta, t1[i].Y, t1[i].Z};
    t2[i].cneg(flip);
  }

  ProjPoint acc = ProjPoint::identity(), e;
  for (int w = kWindows - 1; w >= 0; --w) {
    acc = acc.dbl().dbl().dbl().dbl();
    lookup(e, t1, window(k1, w));
    acc = acc.add(e);
    lookup(e, t2, window(k2, w));
    acc = acc.add(e);
  }
  return acc.to_affine("scalar_mul");
}

}  // namespace vemo::curve

namespace vemo::curve {

ProjPoint msm(const Bn254Scalar* scalars, const Bn254Point* points, std::size_t n) {
  // The same method as scalar_mul, with one shared chain of doublings: each
  // term contributes two halves (k1 on P, k2 on lambda P), each half one
  // scanned table lookup and one complete addition per window.
  if (n == 0) return ProjPoint::identity();
  const std::size_t m = 2 * n;
  std::unique_ptr<ProjPoint[]> tables(new ProjPoint[m * 16]);
  std::unique_ptr<Limbs[]> ks(new Limbs[m]);
  const Fp beta = glv_beta();
  for (std::size_t i = 0; i < n; ++i) {
    u64 neg1, neg2;
    glv_split(scalars[i], ks[2 * i], neg1, ks[2 * i + 1], neg2);
    ProjPoint* t1 = &tables[(2 * i) * 16];
    ProjPoint* t2 = &tables[(2 * i + 1) * 16];
    ProjPoint p = ProjPoint::from_affine(points[i]);
    p.cneg(neg1);
    t1[0] = ProjPoint::identity();
    t1[1] = p;
    for (int j = 2; j < 16; ++j) t1[j] = (j % 2 == 0) ? t1[j / 2].dbl() : t1[j - 1].add(p);
    const u64 flip = neg1 ^ neg2;
    for (int j = 0; j < 16; ++j) {
      t2[j] = ProjPoint{t1[j].X * beta, t1[j].Y, t1[j].Z};
      t2[j].cneg(flip);
    }
  }
  ProjPoint acc = ProjPoint::identity(), e;
  for (int w = kWindows - 1; w >= 0; --w) {
    acc = acc.dbl().dbl().dbl().dbl();
    for (std::size_t i = 0; i < m; ++i) {
      lookup(e, &tables[i * 16], window(ks[i], w));
      acc = acc.add(e);
    }
  }
  ct::wipe(ks.get(), m * sizeof(Limbs));
  ct::wipe(tables.get(), m * 16 * sizeof(ProjPoint));
  return acc;
}

}  // namespace vemo::curve
