// Modular inversion by divsteps (Bernstein and Yang, "Fast constant-time gcd
// computation and modular inversion", 2019), for the odd moduli of field.hpp.
//
// Numbers are held as five signed 62-bit limbs ("signed62": value =
// sum v[i]·2^(62 i)). Each outer step performs a batch of divsteps on the low
// limbs of f and g only, collects them in a 2x2 matrix scaled by 2^62, and
// then applies the matrix to the full f, g (exactly divisible by 2^62) and to
// d, e (kept in (-2m, m) by adding the multiple of m that clears their low 62
// bits). When g reaches 0, f = ±1 and d = ±x^-1.
//
// inverse_ct: a fixed 10 x 59 = 590 divsteps, the proven bound for inputs
// below 2^256 (the moduli here are below 2^254). Every divstep is masks and
// shifts; no branch or memory index depends on the value. 0 maps to 0.
// inverse_vartime: the same matrices, built several divsteps at a time with
// branches and early exit; public values only.
//
// Both take and return canonical integers (not Montgomery form); field.hpp
// moves the result back into Montgomery form with one multiplication.
#pragma once

#include <array>
#include <cstdint>

namespace vemo::curve::safegcd {

using u64 = std::uint64_t;
using i64 = std::int64_t;
using i128 = __int128;
using Raw = std::array<u64, 4>;

struct Signed62 {
  i64 v[5];
};

// A modulus in signed62 form with its inverse modulo 2^62.
struct ModInfo {
  Signed62 m;
  u64 m_inv62;
};

constexpr u64 kM62 = ~0ULL >> 2;

constexpr Signed62 to_signed62(const Raw& a) {
  return Signed62{{(i64)(a[0] & kM62), (i64)(((a[0] >> 62) | (a[1] << 2)) & kM62),
                   (i64)(((a[1] >> 60) | (a[2] << 4)) & kM62), (i64)(((a[2] >> 58) | (a[3] << 6)) & kM62),
                   (i64)(a[3] >> 56)}};
}

// Input limbs in [0, 2^62), value below 2^256.
constexpr Raw from_signed62(const Signed62& s) {
  const u64 v0 = (u64)s.v[0], v1 = (u64)s.v[1], v2 = (u64)s.v[2], v3 = (u64)s.v[3], v4 = (u64)s.v[4];
  return Raw{v0 | (v1 << 62), (v1 >> 2) | (v2 << 60), (v2 >> 4) | (v3 << 58), (v3 >> 6) | (v4 << 56)};
}

constexpr ModInfo make_modinfo(const Raw& m) {
  u64 x = m[0];  // correct to 3 bits for odd m; each Newton step doubles that
  for (int i = 0; i < 5; ++i) x *= 2 - m[0] * x;
  return ModInfo{to_signed62(m), x & kM62};
}

struct Trans2x2 {
  i64 u, v, q, r;
};

// 59 constant-time divsteps on the low bits of f and g (zeta = -(delta + 1/2)).
// The matrix starts at 8 = 2^3 so that it comes out scaled by 2^62.
inline i64 divsteps_59(i64 zeta, u64 f0, u64 g0, Trans2x2& t) {
  u64 u = 8, v = 0, q = 0, r = 8;
  volatile u64 c1, c2;
  u64 mask1, mask2, f = f0, g = g0, x, y, z;
  for (int i = 3; i < 62; ++i) {
    // mask1: zeta < 0; mask2: g odd. Neither becomes a branch.
    c1 = (u64)(zeta >> 63);
    mask1 = c1;
    c2 = g & 1;
    mask2 = 0 - c2;
    x = (f ^ mask1) - mask1;
    y = (u ^ mask1) - mask1;
    z = (v ^ mask1) - mask1;
    g += x & mask2;
    q += y & mask2;
    r += z & mask2;
    mask1 &= mask2;
    zeta = (i64)(((u64)zeta ^ mask1) - 1);
    f += g & mask1;
    u += q & mask1;
    v += r & mask1;
    g >>= 1;
    u <<= 1;
    v <<= 1;
  }
  t = Trans2x2{(i64)u, (i64)v, (i64)q, (i64)r};
  return zeta;
}

// Up to 62 divsteps, several at once where the low bits allow
// (eta = -delta). Variable time.
inline i64 divsteps_62_vartime(i64 eta, u64 f0, u64 g0, Trans2x2& t) {
  u64 u = 1, v = 0, q = 0, r = 1;
  u64 f = f0, g = g0, m;
  u64 w;
  int i = 62, limit, zeros;
  for (;;) {
    // The sentinel bit stops the count at i.
    zeros = __builtin_ctzll(g | (~0ULL << i));
    g >>= zeros;
    u <<= zeros;
    v <<= zeros;
    eta -= zeros;
    i -= zeros;
    if (i == 0) break;
    if (eta < 0) {
      u64 tmp;
      eta = -eta;
      tmp = f;
      f = g;
      g = 0 - tmp;
      tmp = u;
      u = q;
      q = 0 - tmp;
      tmp = v;
      v = r;
      r = 0 - tmp;
      // Cancel up to 6 low bits of g at once (no more than i, nor than
      // eta + 1, after which the sign of eta flips again).
      limit = ((int)eta + 1) > i ? i : ((int)eta + 1);
      m = (~0ULL >> (64 - limit)) & 63U;
      w = (f * g * (f * f - 2)) & m;
    } else {
      limit = ((int)eta + 1) > i ? i : ((int)eta + 1);
      m = (~0ULL >> (64 - limit)) & 15U;
      w = f + (((f + 1) & 4) << 1);
      w = (0 - w * g) & m;
    }
    g += f * w;
    q += u * w;
    r += v * w;
  }
  t = Trans2x2{(i64)u, (i64)v, (i64)q, (i64)r};
  return eta;
}

// [d, e] <- (t [d, e] + m [md, me]) / 2^62, with md, me chosen so the
// division is exact and the results stay in (-2m, m). Constant time.
inline void update_de(Signed62& d, Signed62& e, const Trans2x2& t, const ModInfo& mi) {
  const i64 d0 = d.v[0], d1 = d.v[1], d2 = d.v[2], d3 = d.v[3], d4 = d.v[4];
  const i64 e0 = e.v[0], e1 = e.v[1], e2 = e.v[2], e3 = e.v[3], e4 = e.v[4];
  const i64 u = t.u, v = t.v, q = t.q, r = t.r;
  const i64 sd = d4 >> 63, se = e4 >> 63;
  i64 md = (u & sd) + (v & se);
  i64 me = (q & sd) + (r & se);
  i128 cd = (i128)u * d0 + (i128)v * e0;
  i128 ce = (i128)q * d0 + (i128)r * e0;
  md -= (i64)((mi.m_inv62 * (u64)cd + (u64)md) & kM62);
  me -= (i64)((mi.m_inv62 * (u64)ce + (u64)me) & kM62);
  cd += (i128)mi.m.v[0] * md;
  ce += (i128)mi.m.v[0] * me;
  cd >>= 62;
  ce >>= 62;
  const i64 di[4] = {d1, d2, d3, d4}, ei[4] = {e1, e2, e3, e4};
  for (int k = 0; k < 4; ++k) {
    cd += (i128)u * di[k] + (i128)v * ei[k] + (i128)mi.m.v[k + 1] * md;
    ce += (i128)q * di[k] + (i128)r * ei[k] + (i128)mi.m.v[k + 1] * me;
    d.v[k] = (i64)cd & (i64)kM62;
    cd >>= 62;
    e.v[k] = (i64)ce & (i64)kM62;
    ce >>= 62;
  }
  d.v[4] = (i64)cd;
  e.v[4] = (i64)ce;
}

// [f, g] <- t [f, g] / 2^62 over the first len limbs (exact division).
inline void update_fg(int len, Signed62& f, Signed62& g, const Trans2x2& t) {
  const i64 u = t.u, v = t.v, q = t.q, r = t.r;
  i128 cf = (i128)u * f.v[0] + (i128)v * g.v[0];
  i128 cg = (i128)q * f.v[0] + (i128)r * g.v[0];
  cf >>= 62;
  cg >>= 62;
  for (int i = 1; i < len; ++i) {
    const i64 fi = f.v[i], gi = g.v[i];
    cf += (i128)u * fi + (i128)v * gi;
    cg += (i128)q * fi + (i128)r * gi;
    f.v[i - 1] = (i64)cf & (i64)kM62;
    cf >>= 62;
    g.v[i - 1] = (i64)cg & (i64)kM62;
    cg >>= 62;
  }
  f.v[len - 1] = (i64)cf;
  g.v[len - 1] = (i64)cg;
}

// r in (-2m, m) -> (sign < 0 ? -r : r) mod m in [0, m). Constant time.
inline void normalize(Signed62& r, i64 sign, const ModInfo& mi) {
  i64 r0 = r.v[0], r1 = r.v[1], r2 = r.v[2], r3 = r.v[3], r4 = r.v[4];
  volatile i64 cond_add, cond_negate;
  // Adds m when r is negative, by mask.
  auto add_m_if_negative = [&] {
    cond_add = r4 >> 63;
    r0 += mi.m.v[0] & cond_add;
    r1 += mi.m.v[1] & cond_add;
    r2 += mi.m.v[2] & cond_add;
    r3 += mi.m.v[3] & cond_add;
    r4 += mi.m.v[4] & cond_add;
  };
  // Brings limbs 0..3 back to 62 bits, moving the carries up.
  auto carry = [&] {
    r1 += r0 >> 62;
    r0 &= (i64)kM62;
    r2 += r1 >> 62;
    r1 &= (i64)kM62;
    r3 += r2 >> 62;
    r2 &= (i64)kM62;
    r4 += r3 >> 62;
    r3 &= (i64)kM62;
  };
  add_m_if_negative();
  cond_negate = sign >> 63;
  r0 = (r0 ^ cond_negate) - cond_negate;
  r1 = (r1 ^ cond_negate) - cond_negate;
  r2 = (r2 ^ cond_negate) - cond_negate;
  r3 = (r3 ^ cond_negate) - cond_negate;
  r4 = (r4 ^ cond_negate) - cond_negate;
  carry();
  add_m_if_negative();
  carry();
  r = Signed62{{r0, r1, r2, r3, r4}};
}

// x^-1 mod m for x in [0, m) (0 for 0). Constant time.
inline Raw inverse_ct(const Raw& x, const ModInfo& mi) {
  Signed62 d{{0, 0, 0, 0, 0}}, e{{1, 0, 0, 0, 0}}, f = mi.m, g = to_signed62(x);
  i64 zeta = -1;  // delta = 1/2
  for (int i = 0; i < 10; ++i) {
    Trans2x2 t;
    zeta = divsteps_59(zeta, (u64)f.v[0], (u64)g.v[0], t);
    update_de(d, e, t, mi);
    update_fg(5, f, g, t);
  }
  normalize(d, f.v[4], mi);
  return from_signed62(d);
}

// x^-1 mod m for a public x in [0, m) (0 for 0). Variable time.
inline Raw inverse_vartime(const Raw& x, const ModInfo& mi) {
  Signed62 d{{0, 0, 0, 0, 0}}, e{{1, 0, 0, 0, 0}}, f = mi.m, g = to_signed62(x);
  int len = 5;
  i64 eta = -1;  // delta = 1
  for (;;) {
    Trans2x2 t;
    eta = divsteps_62_vartime(eta, (u64)f.v[0], (u64)g.v[0], t);
    update_de(d, e, t, mi);
    update_fg(len, f, g, t);
    if (g.v[0] == 0) {
      i64 any = 0;
      for (int j = 1; j < len; ++j) any |= g.v[j];
      if (any == 0) break;
    }
    // Shorten f and g when both top limbs are 0 or -1.
    const i64 fn = f.v[len - 1], gn = g.v[len - 1];
    i64 cond = ((i64)len - 2) >> 63;
    cond |= fn ^ (fn >> 63);
    cond |= gn ^ (gn >> 63);
    if (cond == 0) {
      f.v[len - 2] = (i64)((u64)f.v[len - 2] | ((u64)fn << 62));
      g.v[len - 2] = (i64)((u64)g.v[len - 2] | ((u64)gn << 62));
      --len;
    }
  }
  normalize(d, f.v[len - 1], mi);
  return from_signed62(d);
}

}  // namespace vemo::curve::safegcd
