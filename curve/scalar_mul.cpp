// The constant-time engine (scalar_mul.hpp): multiplication of points by
// secret scalars.
//
// Method: the GLV endomorphism lambda * (x, y) = (beta x, y) splits k into
// k1 + k2 lambda with |k1|, |k2| < 2^128, so one chain of doublings serves
// both halves. Each half is written in signed 5-bit digits (window.hpp): 26
// windows, five doublings and two mixed additions each. The tables hold the
// affine multiples 1..16 of ±P and ±lambda P, brought to affine with one
// batch inversion. Every window reads its entries by scanning the whole row
// with masks, the additions are complete (the mixed formula needs only a
// non-identity affine point, and table entries j·P, 1 <= j <= 16, are never
// the identity for P of prime order r), and the trip counts are fixed, so
// neither branches nor memory indices depend on k.
#include "scalar_mul.hpp"

#include <memory>

#include "glv.hpp"
#include "jacobian.hpp"
#include "point.hpp"
#include "verify.hpp"
#include "window.hpp"

namespace vemo::curve {

namespace {

// Signed 5-bit windows of a half: |k_i| < 2^128 leaves the top window
// (bits 125..129) at most 7, plus a carry of 1, so no carry out of 26.
constexpr int kHalfWindows = 26;

// The GLV rows of n points: rows[32 i .. 32 i + 15] hold j·P_i and
// rows[32 i + 16 .. 32 i + 31] hold j·lambda P_i, j = 1..16, affine; all
// 16 n conversions share one inversion. The rows of an identity point are
// junk (the mixed additions are not complete for it); callers skip them by
// mask. The rows carry no sign: the signs of the halves go into the digits,
// so one set of rows serves any number of scalars. Constant time.
void glv_rows(const Bn254Point* points, std::size_t n, AffineXY* rows) {
  std::unique_ptr<ProjPoint[]> proj(new ProjPoint[n * kRowLen]);
  std::unique_ptr<Fp[]> zs(new Fp[n * kRowLen]);
  for (std::size_t i = 0; i < n; ++i) {
    ProjPoint* t = &proj[i * kRowLen];
    t[0] = ProjPoint::from_affine(points[i]);
    t[1] = t[0].dbl();
    for (int j = 2; j < kRowLen; ++j) t[j] = t[j - 1].add_affine(points[i]);
  }
  for (std::size_t i = 0; i < n * kRowLen; ++i) zs[i] = proj[i].Z;
  batch_inverse(zs.get(), n * kRowLen);
  const Fp& beta = glv_beta();
  for (std::size_t i = 0; i < n; ++i) {
    AffineXY* r1 = &rows[2 * i * kRowLen];
    AffineXY* r2 = r1 + kRowLen;
    for (int j = 0; j < kRowLen; ++j) {
      const ProjPoint& t = proj[i * kRowLen + j];
      const Fp& zi = zs[i * kRowLen + j];
      r1[j].x = t.X * zi;
      r1[j].y = t.Y * zi;
      r2[j].x = r1[j].x * beta;
      r2[j].y = r1[j].y;
    }
  }
}

// sum over terms of digits·rows: one chain of doublings, one scanned lookup
// and one mixed addition per half and window. Term i uses the row pair at
// rows + 32 row_of[i], is live when live[i] is 1. Constant time.
ProjPoint glv_sum(const AffineXY* rows, const std::int8_t* digits, const std::size_t* row_of, const u64* live,
                  std::size_t n) {
  ProjPoint acc = ProjPoint::identity();
  for (int w = kHalfWindows - 1; w >= 0; --w) {
    if (w != kHalfWindows - 1) acc = acc.dbl().dbl().dbl().dbl().dbl();  // public schedule
    for (std::size_t i = 0; i < n; ++i) {
      const AffineXY* r = &rows[2 * row_of[i] * kRowLen];
      const std::int8_t* d = &digits[2 * i * kHalfWindows];
      add_signed(acc, r, d[w], live[i]);
      add_signed(acc, r + kRowLen, d[kHalfWindows + w], live[i]);
    }
  }
  return acc;
}

// ---- one point: Jacobian coordinates for all windows but the last ----
//
// With a single point P the additions can be checked for exceptions by
// hand, which lets every window but the last use the cheaper Jacobian
// formulas (X/Z^2, Y/Z^3; Z = 0 is the identity):
// - Doubling (dbl-2009-l) has no exception on a curve without points of
//   order 2: the identity doubles to Z = 2YZ = 0, the identity again.
// - The mixed addition (madd-2007-bl) fails when acc = ±Q or acc is the
//   identity. Before an addition at window w >= 1, acc = (a + b·lambda)·P
//   with a, b the partial digit sums of the halves, times 32 (plus the
//   first half's digit before the second addition): |a|, |b| < 2^125, and
//   Q = d·P or d·lambda·P with |d| <= 16. acc = ±Q means a vector of size
//   below 2^126 in the lattice {(x, y) : x + y·lambda = 0 mod r}, whose
//   non-zero vectors all have a coordinate of at least 2^126.7 (its reduced
//   basis (a1, b1), (a2, b2) in bn254.hpp). So the vector is zero: a = ±d
//   with a a multiple of 32 forces a = d = 0, and b = 0 likewise, which is
//   acc = identity with a zero digit (an addition that is masked out). The
//   identity case itself is handled by a masked move.
// - At the last window a and b reach the size of k1, k2 (~2^127), so the
//   last two additions use the complete projective formula.
// This holds only for one point: in a sum over several points, terms may
// be related (equal points, say), so msm keeps the complete formulas. The
// Jacobian formulas live in jacobian.hpp.

// k·P from P's rows and k's digits (glv_digits). Constant time.
ProjPoint glv_single(const AffineXY* rows, const std::int8_t* digits, u64 live) {
  JacPoint acc;
  Bn254Point q{"table", {}, {}, false};
  for (int w = kHalfWindows - 1; w >= 1; --w) {
    if (w != kHalfWindows - 1)  // public schedule
      for (int i = 0; i < 5; ++i) acc = jac_dbl(acc);
    u64 nz = lookup_signed(rows, digits[w], q);
    jac_madd(acc, q, nz & live);
    nz = lookup_signed(rows + kRowLen, digits[kHalfWindows + w], q);
    jac_madd(acc, q, nz & live);
  }
  for (int i = 0; i < 5; ++i) acc = jac_dbl(acc);
  ProjPoint p = jac_to_proj(acc);
  add_signed(p, rows, digits[0], live);
  add_signed(p, rows + kRowLen, digits[kHalfWindows], live);
  return p;
}

}  // namespace

// The signed digits of both GLV halves of k, each half's sign folded into
// its digits: digits[0 .. 25] for k1 on P, digits[26 .. 51] for k2 on
// lambda P. Constant time.
void glv_digits(const Bn254Scalar& k, std::int8_t* digits) {
  Limbs k1, k2;
  u64 neg1, neg2;
  glv_split(k, k1, neg1, k2, neg2);
  recode_signed5(k1, kHalfWindows, digits);
  recode_signed5(k2, kHalfWindows, digits + kHalfWindows);
  for (int w = 0; w < 2 * kHalfWindows; ++w) {
    const std::int64_t neg = (std::int64_t)(w < kHalfWindows ? neg1 : neg2);  // public index
    digits[w] = (std::int8_t)((digits[w] ^ -neg) + neg);
  }
  ct::wipe(k1);
  ct::wipe(k2);
  ct::wipe(neg1);
  ct::wipe(neg2);
}

Bn254Point Bn254Point::scalar_mul(const Bn254Scalar& k) const {
  ProjPoint acc;
  scalar_mul_each(*this, &k, 1, &acc);
  return acc.to_affine("scalar_mul");
}

void scalar_mul_each(const Bn254Point& p, const Bn254Scalar* ks, std::size_t n, ProjPoint* out) {
  AffineXY rows[2 * kRowLen];
  glv_rows(&p, 1, rows);
  const u64 live = 1 ^ (u64)p.infinity;
  std::int8_t digits[2 * kHalfWindows];
  for (std::size_t i = 0; i < n; ++i) {
    glv_digits(ks[i], digits);
    out[i] = glv_single(rows, digits, live);
  }
  ct::wipe(digits, sizeof digits);
}

ProjPoint msm(const Bn254Scalar* scalars, const Bn254Point* points, std::size_t n) {
  // One shared chain of doublings; each term contributes two halves (k1 on
  // P, k2 on lambda P). An identity point adds nothing (masked, no branch).
  if (n == 0) return ProjPoint::identity();
  std::unique_ptr<AffineXY[]> rows(new AffineXY[2 * n * kRowLen]);
  std::unique_ptr<std::int8_t[]> digits(new std::int8_t[2 * n * kHalfWindows]);
  std::unique_ptr<std::size_t[]> row_of(new std::size_t[n]);
  std::unique_ptr<u64[]> live(new u64[n]);
  for (std::size_t i = 0; i < n; ++i) {
    glv_digits(scalars[i], &digits[2 * i * kHalfWindows]);
    row_of[i] = i;
    live[i] = 1 ^ (u64)points[i].infinity;
  }
  glv_rows(points, n, rows.get());
  const ProjPoint acc = glv_sum(rows.get(), digits.get(), row_of.get(), live.get(), n);
  ct::wipe(digits.get(), 2 * n * kHalfWindows);
  return acc;
}

}  // namespace vemo::curve
