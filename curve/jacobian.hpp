// Jacobian coordinates on BN254 G1 (a = 0), for every engine that needs
// doublings and mixed additions cheaper than the complete homogeneous
// formulas of point.hpp: (X : Y : Z) is the affine point (X/Z^2, Y/Z^3), and
// Z = 0 is the identity (the default value is (0 : 1 : 0)).
//
// The formulas are written once and used two ways:
// - constant time (jac_dbl, jac_madd, jac_to_proj): no branch and no memory
//   index depends on the values. The mixed addition is wrong when the
//   accumulator is ±the added point; the callers show that this cannot
//   occur (scalar_mul.cpp, fixed_base.cpp), and an identity accumulator is
//   covered by a masked move;
// - variable time (the _vartime functions): the identity and the equal and
//   opposite points are branches, which is why they take public data only
//   (msm_vartime.cpp, msm_rows.cpp).
#pragma once

#include "point.hpp"
#include "verify.hpp"

namespace vemo::curve {

struct JacPoint {
  Fp X, Y = Fp::one(), Z;
};

// dbl-2009-l. Complete on this curve, which has no point of order 2: a
// finite point has Y != 0, and the identity doubles to Z = 2YZ = 0, the
// identity again. Constant time.
inline JacPoint jac_dbl(const JacPoint& p) {
  const Fp A = p.X.square(), B = p.Y.square(), C = B.square();
  Fp D = (p.X + B).square() - A - C;
  D = D + D;
  const Fp E = A + A + A, F = E.square();
  JacPoint r;
  r.X = F - D - D;
  Fp C8 = C + C;
  C8 = C8 + C8;
  C8 = C8 + C8;
  r.Y = E * (D - r.X) - C8;
  const Fp yz = p.Y * p.Z;
  r.Z = yz + yz;
  return r;
}

// madd-2007-bl, the formula alone: p + (x2, y2) for a finite p that is not
// ±(x2, y2). It also hands out h = x2 Z1^2 - X1 and s = y2 Z1^3 - Y1, which
// tell the excluded cases apart: h = 0 exactly when p = ±(x2, y2), and then
// s = 0 exactly when p = (x2, y2). Constant time.
inline JacPoint jac_madd_formula(const JacPoint& p, const Fp& x2, const Fp& y2, Fp& h, Fp& s) {
  const Fp Z1Z1 = p.Z.square();
  const Fp U2 = x2 * Z1Z1;
  const Fp S2 = y2 * p.Z * Z1Z1;
  h = U2 - p.X;
  s = S2 - p.Y;
  const Fp HH = h.square();
  Fp I = HH + HH;
  I = I + I;
  const Fp J = h * I;
  const Fp rr = s + s;
  const Fp V = p.X * I;
  JacPoint r;
  r.X = rr.square() - J - V - V;
  const Fp yj = p.Y * J;
  r.Y = rr * (V - r.X) - yj - yj;
  r.Z = (p.Z + h).square() - Z1Z1 - HH;
  return r;
}

// acc + q when take is 1, acc when 0; q when acc is the identity. Wrong
// when acc = ±q: callers show that this cannot occur. Constant time.
inline void jac_madd(JacPoint& acc, const Bn254Point& q, u64 take) {
  Fp h, s;  // not needed: the callers rule out the cases they detect
  JacPoint sum = jac_madd_formula(acc, q.x, q.y, h, s);
  const u64 was_identity = acc.Z.is_zero_flag();
  // H = 0 with acc not the identity is acc = ±q, where the formula is wrong.
  VEMO_VERIFY_CHECK(!(take && !was_identity && h.is_zero()), "mixed Jacobian addition never meets acc = ±q");
  sum.X.cmov(q.x, was_identity);
  sum.Y.cmov(q.y, was_identity);
  sum.Z.cmov(Fp::one(), was_identity);
  acc.X.cmov(sum.X, take);
  acc.Y.cmov(sum.Y, take);
  acc.Z.cmov(sum.Z, take);
}

// To projective (x = X/Z^2 = XZ/Z^3, y = Y/Z^3): (XZ : Y : Z^3); the
// identity (Z = 0) becomes (0 : 1 : 0). Constant time.
inline ProjPoint jac_to_proj(const JacPoint& a) {
  ProjPoint p{a.X * a.Z, a.Y, a.Z.square() * a.Z};
  p.Y.cmov(Fp::one(), a.Z.is_zero_flag());
  return p;
}

// ---- variable time: public points only ----

// 2p; the identity is returned as it is, without the formula's work.
inline JacPoint jac_dbl_vartime(const JacPoint& p) {
  if (p.Z.is_zero()) return p;
  return jac_dbl(p);
}

// p + (x2, y2) for an affine point (x2, y2) (not the identity), any p.
inline JacPoint jac_madd_vartime(const JacPoint& p, const Fp& x2, const Fp& y2) {
  if (p.Z.is_zero()) return JacPoint{x2, y2, Fp::one()};
  Fp h, s;
  const JacPoint r = jac_madd_formula(p, x2, y2, h, s);
  if (h.is_zero()) {
    if (s.is_zero()) return jac_dbl(JacPoint{x2, y2, Fp::one()});
    return JacPoint{};
  }
  return r;
}

// p + q (add-2007-bl), any p and q.
inline JacPoint jac_add_vartime(const JacPoint& p, const JacPoint& q) {
  if (p.Z.is_zero()) return q;
  if (q.Z.is_zero()) return p;
  const Fp Z1Z1 = p.Z.square(), Z2Z2 = q.Z.square();
  const Fp U1 = p.X * Z2Z2, U2 = q.X * Z1Z1;
  const Fp S1 = p.Y * q.Z * Z2Z2, S2 = q.Y * p.Z * Z1Z1;
  const Fp H = U2 - U1;
  Fp rr = S2 - S1;
  if (H.is_zero()) {
    if (rr.is_zero()) return jac_dbl(p);
    return JacPoint{};
  }
  Fp I = H + H;
  I = I.square();
  const Fp J = H * I;
  rr = rr + rr;
  const Fp V = U1 * I;
  JacPoint r;
  r.X = rr.square() - J - V - V;
  const Fp sj = S1 * J;
  r.Y = rr * (V - r.X) - sj - sj;
  r.Z = ((p.Z + q.Z).square() - Z1Z1 - Z2Z2) * H;
  return r;
}

}  // namespace vemo::curve
