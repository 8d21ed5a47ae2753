// Prime fields of BN254: Fp (coordinates) and Fr (scalars).
//
// A Field<P> holds four 64-bit little-endian limbs in Montgomery form
// (value * 2^256 mod m). Invariant: the limbs are always fully reduced,
// 0 <= limbs < m, so equality is limb equality and every value has one
// representation. Both moduli are below 2^254, which leaves two spare bits:
// a sum of two reduced values never overflows 256 bits.
//
// All arithmetic here is constant time in the values (no branch or memory
// index depends on them). Functions whose running time depends on their
// argument carry the suffix _vartime and take public data only. The
// checking build (verify.hpp) checks the invariant on the operands and the
// result of every addition, subtraction, multiplication and comparison.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>

#include "bn254.hpp"
#include "ct.hpp"
#include "field_inv.hpp"
#include "verify.hpp"

// The engine of the arithmetic. On x86-64 the multiplication runs the
// mulx/adx assembly when CPUID reports both extensions at load time, the
// portable C product otherwise; the carry chains use the carry-flag
// intrinsics. Every other target, and any build with VEMO_PORTABLE_FIELD
// defined (meson -Dportable_field=true, to test that path on x86-64), uses
// portable C alone. Both give the same limbs for every input.
#if defined(__x86_64__) && !defined(VEMO_PORTABLE_FIELD)
#define VEMO_FIELD_X86_64 1
#include "field_x86_64.hpp"
#else
#define VEMO_FIELD_X86_64 0
#endif

namespace vemo::curve {

using u64 = std::uint64_t;
using u128 = unsigned __int128;
using Limbs = std::array<u64, 4>;

// The high word of -m^-1 mod 2^128, from inv = -m^-1 mod 2^64 by one Newton
// step (x <- x (2 - m x) doubles the correct low bits of x = m^-1). The
// Montgomery reduction takes its multipliers for two limbs at once from it.
constexpr u64 neg_inv_high(const Limbs& m, u64 inv) {
  const u128 m2 = ((u128)m[1] << 64) | m[0];
  u128 x = (u128)(0 - inv);  // m^-1 mod 2^64
  x = x * (2 - m2 * x);
  if ((u64)(0 - x) != inv) throw "inverse modulo 2^64 does not match";
  return (u64)((0 - x) >> 64);
}

struct FpParams {
  static constexpr Limbs MOD = bn254::kFpModulus;
  static constexpr Limbs R = bn254::kFpMontR;
  static constexpr Limbs R2 = bn254::kFpMontR2;
  static constexpr u64 INV = bn254::kFpMontInv;  // -MOD^-1 mod 2^64
  // MOD, INV and the high word of -MOD^-1 mod 2^128, side by side for the
  // mulx/adx multiplication and squaring.
  static constexpr u64 MOD_INV[6] = {MOD[0], MOD[1], MOD[2], MOD[3], INV, neg_inv_high(MOD, INV)};
};

struct FrParams {
  static constexpr Limbs MOD = bn254::kFrModulus;
  static constexpr Limbs R = bn254::kFrMontR;
  static constexpr Limbs R2 = bn254::kFrMontR2;
  static constexpr u64 INV = bn254::kFrMontInv;
  static constexpr u64 MOD_INV[6] = {MOD[0], MOD[1], MOD[2], MOD[3], INV, neg_inv_high(MOD, INV)};
};

namespace limbs {

// r = a - b, returns the borrow (0 or 1).
inline u64 sub(Limbs& r, const Limbs& a, const Limbs& b) {
  u64 borrow = 0;
  for (int i = 0; i < 4; ++i) {
    u128 d = (u128)a[i] - b[i] - borrow;
    r[i] = (u64)d;
    borrow = (u64)(d >> 127);
  }
  return borrow;
}

// r = a + b, returns the carry (0 or 1).
inline u64 add(Limbs& r, const Limbs& a, const Limbs& b) {
  u64 carry = 0;
  for (int i = 0; i < 4; ++i) {
    u128 s = (u128)a[i] + b[i] + carry;
    r[i] = (u64)s;
    carry = (u64)(s >> 64);
  }
  return carry;
}

// 1 if a < b, constant time.
inline u64 lt_flag(const Limbs& a, const Limbs& b) {
  Limbs t;
  return sub(t, a, b);
}

inline u64 is_zero_flag(const Limbs& a) { return ct::is_zero_flag(a[0] | a[1] | a[2] | a[3]); }

// Big-endian 32 bytes <-> limbs.
inline Limbs from_be(const unsigned char* b) {
  Limbs r;
  for (int i = 0; i < 4; ++i) {
    u64 w = 0;
    for (int j = 0; j < 8; ++j) w = (w << 8) | b[(3 - i) * 8 + j];
    r[i] = w;
  }
  return r;
}

inline void to_be(const Limbs& a, unsigned char* b) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 8; ++j) b[(3 - i) * 8 + j] = (unsigned char)(a[i] >> (56 - 8 * j));
}

}  // namespace limbs

// Add with carry and subtract with borrow; the carry and borrow are 0 or 1.
#if VEMO_FIELD_X86_64
// On x86-64 the carry-flag intrinsics (field_x86_64.hpp) give adc/sbb chains.
#else
// Portable: the carry is the top half of a 128-bit sum (the borrow its sign
// bit), which compilers turn into a carry chain without a branch.
inline u64 addc(u64 a, u64 b, u64& carry) {
  const u128 s = (u128)a + b + carry;
  carry = (u64)(s >> 64);
  return (u64)s;
}
inline u64 subb(u64 a, u64 b, u64& borrow) {
  const u128 d = (u128)a - b - borrow;
  borrow = (u64)(d >> 127);
  return (u64)d;
}
#endif

template <class P>
struct Field {
  Limbs l{};  // Montgomery form, fully reduced

  static constexpr Limbs MOD = P::MOD;

  static Field zero() { return Field{}; }
  static Field one() {
    Field f;
    f.l = P::R;
    return f;
  }

  // Any 256-bit integer, reduced modulo m. Constant time.
  static Field from_raw_reduce(const Limbs& raw) {
    // raw < 2^256 < 6m: five masked subtractions bring it below m, then
    // a Montgomery multiplication by R^2 moves it into Montgomery form.
    Field a;
    a.l = raw;
    for (int k = 0; k < 5; ++k) {
      Limbs d;
      const u64 borrow = limbs::sub(d, a.l, MOD);
      ct::cmov(a.l.data(), d.data(), 4, borrow ^ 1);
    }
    Field r2;
    r2.l = P::R2;
    return a * r2;
  }
  static Field from_u64(u64 v) { return from_raw_reduce(Limbs{v, 0, 0, 0}); }
  // 32 big-endian bytes, any value, reduced modulo m.
  static Field from_be_bytes_reduce(const unsigned char* b) { return from_raw_reduce(limbs::from_be(b)); }

  // Canonical integer value (out of Montgomery form).
  Limbs to_raw() const {
    Field one_raw;
    one_raw.l = Limbs{1, 0, 0, 0};
    return (*this * one_raw).l;
  }
  void to_be_bytes(unsigned char* out) const { limbs::to_be(to_raw(), out); }

  u64 is_zero_flag() const { return limbs::is_zero_flag(l); }
  bool is_zero() const { return is_zero_flag() != 0; }
  // Whether the limbs keep the invariant 0 <= limbs < m. Every value made by
  // this type's operations does; limbs written by hand may not.
  bool is_reduced() const { return limbs::lt_flag(l, MOD) != 0; }
  u64 eq_flag(const Field& o) const {
    VEMO_VERIFY_CHECK(is_reduced() && o.is_reduced(), "field operands below the modulus");
    return ct::is_zero_flag((l[0] ^ o.l[0]) | (l[1] ^ o.l[1]) | (l[2] ^ o.l[2]) | (l[3] ^ o.l[3]));
  }
  bool operator==(const Field& o) const { return eq_flag(o) != 0; }
  bool operator!=(const Field& o) const { return !(*this == o); }

  void cmov(const Field& src, u64 flag) { ct::cmov(l.data(), src.l.data(), 4, flag); }
  static void cswap(Field& a, Field& b, u64 flag) { ct::cswap(a.l.data(), b.l.data(), 4, flag); }

  Field operator+(const Field& b) const {
    // Both inputs are below m < 2^254, so the sum has no carry out; the
    // subtraction's borrow becomes a mask (arithmetic, no branch).
    VEMO_VERIFY_CHECK(is_reduced() && b.is_reduced(), "field operands below the modulus");
    Field r;
    u64 c = 0;
    u64 s0 = addc(l[0], b.l[0], c), s1 = addc(l[1], b.l[1], c), s2 = addc(l[2], b.l[2], c), s3 = addc(l[3], b.l[3], c);
    u64 br = 0;
    u64 d0 = subb(s0, MOD[0], br), d1 = subb(s1, MOD[1], br), d2 = subb(s2, MOD[2], br), d3 = subb(s3, MOD[3], br);
    const u64 keep = 0 - br;  // all ones when s < m
    r.l[0] = (s0 & keep) | (d0 & ~keep);
    r.l[1] = (s1 & keep) | (d1 & ~keep);
    r.l[2] = (s2 & keep) | (d2 & ~keep);
    r.l[3] = (s3 & keep) | (d3 & ~keep);
    VEMO_VERIFY_CHECK(r.is_reduced(), "field sum below the modulus");
    return r;
  }
  Field operator-(const Field& b) const {
    VEMO_VERIFY_CHECK(is_reduced() && b.is_reduced(), "field operands below the modulus");
    Field r;
    u64 br = 0;
    u64 d0 = subb(l[0], b.l[0], br), d1 = subb(l[1], b.l[1], br), d2 = subb(l[2], b.l[2], br), d3 = subb(l[3], b.l[3], br);
    const u64 add_back = 0 - br;  // add m back when the difference went negative
    u64 c = 0;
    r.l[0] = addc(d0, MOD[0] & add_back, c);
    r.l[1] = addc(d1, MOD[1] & add_back, c);
    r.l[2] = addc(d2, MOD[2] & add_back, c);
    r.l[3] = addc(d3, MOD[3] & add_back, c);
    VEMO_VERIFY_CHECK(r.is_reduced(), "field difference below the modulus");
    return r;
  }
  Field operator-() const { return zero() - *this; }
  Field dbl() const { return *this + *this; }

  // Montgomery multiplication: CIOS without the extra carry word, valid
  // because the top limb of m is below 2^63 - 1 (so intermediate results
  // stay below 2m). Inputs fully reduced; output fully reduced.
  __attribute__((always_inline)) Field operator*(const Field& b) const {
    VEMO_VERIFY_CHECK(is_reduced() && b.is_reduced(), "field operands below the modulus");
    u64 t[4];
    mul_raw(t, *this, b);
    Field r = reduce_once(t);
    VEMO_VERIFY_CHECK(r.is_reduced(), "field product below the modulus");
    return r;
  }
  // The Montgomery product and square before the final subtraction, by the
  // engine this processor runs. For limbs below 2m (not only below m) the
  // result is below 2m: a b / 2^256 + m < 4 m^2 / 2^256 + m < 2m, as 4m < 2^256.
  __attribute__((always_inline)) static void mul_raw(u64 t[4], const Field& a, const Field& b) {
#if VEMO_FIELD_X86_64
    if (kHaveAdx) {
      mont_mul_adx(t, a.l.data(), b.l.data(), P::MOD_INV);
      return;
    }
#endif
    t[0] = t[1] = t[2] = t[3] = 0;
    a.mul_portable(t, b);
  }
  __attribute__((always_inline)) static void sqr_raw(u64 t[4], const Field& a) {
#if VEMO_FIELD_X86_64
    if (kHaveAdx) {
      mont_sqr_adx(t, a.l.data(), P::MOD_INV);
      return;
    }
#endif
    a.sqr_portable(t);
  }
  // The same on values kept below 2m between steps (a chain of products
  // reduces once, at its end): limbs below 2m in, below 2m out.
  __attribute__((always_inline)) Field mul_lazy(const Field& b) const {
    Field r;
    mul_raw(r.l.data(), *this, b);
    return r;
  }
  __attribute__((always_inline)) Field sqr_lazy() const {
    Field r;
    sqr_raw(r.l.data(), *this);
    return r;
  }
  // t (below 2m) less m when t >= m: a borrow turned into a mask.
  static Field reduce_once(const u64 t[4]) {
    Field r;
    u64 br = 0;
    u64 d0 = subb(t[0], MOD[0], br), d1 = subb(t[1], MOD[1], br), d2 = subb(t[2], MOD[2], br), d3 = subb(t[3], MOD[3], br);
    const u64 keep = 0 - br;
    r.l[0] = (t[0] & keep) | (d0 & ~keep);
    r.l[1] = (t[1] & keep) | (d1 & ~keep);
    r.l[2] = (t[2] & keep) | (d2 & ~keep);
    r.l[3] = (t[3] & keep) | (d3 & ~keep);
    return r;
  }
  // The same product (before the final subtraction) in portable C.
  void mul_portable(u64 t[4], const Field& b) const {
    for (int i = 0; i < 4; ++i) {
      const u64 bi = b.l[i];
      u128 A = (u128)l[0] * bi + t[0];
      t[0] = (u64)A;
      const u64 m = t[0] * P::INV;
      u128 C = (u128)m * MOD[0] + t[0];
      for (int j = 1; j < 4; ++j) {
        A = (u128)l[j] * bi + t[j] + (u64)(A >> 64);
        t[j] = (u64)A;
        C = (u128)m * MOD[j] + t[j] + (u64)(C >> 64);
        t[j - 1] = (u64)C;
      }
      t[3] = (u64)(C >> 64) + (u64)(A >> 64);
    }
  }
  // this * this with the squaring's own schedule (ten word products for the
  // square instead of sixteen). The same limbs as this * this.
  __attribute__((always_inline)) Field square() const {
    VEMO_VERIFY_CHECK(is_reduced(), "field operand below the modulus");
    u64 t[4];
    sqr_raw(t, *this);
    Field r = reduce_once(t);
    VEMO_VERIFY_CHECK(r.is_reduced(), "field square below the modulus");
    return r;
  }
  // The square (before the final subtraction) in portable C: the 512-bit
  // square from the doubled cross products and the squares of the limbs,
  // the Montgomery reduction of its low half, the high half added. Below 2m:
  // the reduced low half is at most m, the high half below m^2 / 2^256 < m / 4.
  void sqr_portable(u64 out[4]) const {
    u64 w[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 3; ++i) {
      u64 c = 0;
      for (int j = i + 1; j < 4; ++j) {
        const u128 s = (u128)l[i] * l[j] + w[i + j] + c;
        w[i + j] = (u64)s;
        c = (u64)(s >> 64);
      }
      w[i + 4] = c;
    }
    u64 top = 0;
    for (int k = 1; k < 8; ++k) {  // doubled: the cross terms appear twice
      const u64 nt = w[k] >> 63;
      w[k] = (w[k] << 1) | top;
      top = nt;
    }
    u64 c = 0;
    for (int i = 0; i < 4; ++i) {
      const u128 sq = (u128)l[i] * l[i];
      w[2 * i] = addc(w[2 * i], (u64)sq, c);
      w[2 * i + 1] = addc(w[2 * i + 1], (u64)(sq >> 64), c);
    }
    // Montgomery reduction of w[0..3]: the window of four limbs moves up
    // one limb a row, each row clearing its lowest.
    u64 r[4] = {w[0], w[1], w[2], w[3]};
    for (int i = 0; i < 4; ++i) {
      const u64 m = r[0] * P::INV;
      u128 C = (u128)m * MOD[0] + r[0];
      for (int j = 1; j < 4; ++j) {
        C = (u128)m * MOD[j] + r[j] + (u64)(C >> 64);
        r[j - 1] = (u64)C;
      }
      r[3] = (u64)(C >> 64);
    }
    c = 0;
    for (int i = 0; i < 4; ++i) out[i] = addc(r[i], w[4 + i], c);
  }
  Field& operator+=(const Field& b) { return *this = *this + b; }
  Field& operator-=(const Field& b) { return *this = *this - b; }
  Field& operator*=(const Field& b) { return *this = *this * b; }

  // this^e for a public exponent e (raw limbs). Constant time in the base;
  // the exponent's bits drive the square-and-multiply schedule, so e must be
  // a public constant. Sliding windows of up to 5 bits over the odd powers
  // this^1 .. this^31: about one multiplication per six exponent bits.
  Field pow_public_exp(const Limbs& e) const {
    auto bit = [&e](int i) { return (unsigned)(e[i / 64] >> (i % 64)) & 1u; };
    // The powers stay below 2m (mul_lazy, sqr_lazy) and are reduced once at
    // the end: the chain of squarings skips a subtraction per step.
    Field odd[16];  // odd[j] = this^(2j+1)
    odd[0] = *this;
    const Field sq = sqr_lazy();
    for (int j = 1; j < 16; ++j) odd[j] = odd[j - 1].mul_lazy(sq);
    int i = 255;
    while (i >= 0 && !bit(i)) --i;
    Field r = one();
    bool started = false;
    while (i >= 0) {
      if (!bit(i)) {
        r = r.sqr_lazy();
        --i;
        continue;
      }
      // The longest window of at most 5 bits starting at i and ending in a 1.
      int low = i - 4 < 0 ? 0 : i - 4;
      while (!bit(low)) ++low;
      unsigned w = 0;
      for (int j = i; j >= low; --j) w = (w << 1) | bit(j);
      if (started) {
        for (int j = i; j >= low; --j) r = r.sqr_lazy();
        r = r.mul_lazy(odd[w >> 1]);
      } else {
        r = odd[w >> 1];
        started = true;
      }
      i = low - 1;
    }
    r = reduce_once(r.l.data());
    VEMO_VERIFY_CHECK(r.is_reduced(), "field power below the modulus");
    return r;
  }

  // Multiplicative inverse by divsteps (field_inv.hpp); 0 maps to 0.
  // Constant time. The divsteps invert the Montgomery limbs x·R as an
  // integer, giving x^-1·R^-1; one Montgomery multiplication by R^3 turns
  // that into x^-1·R.
  Field inverse() const {
    Field r;
    r.l = safegcd::inverse_ct(l, kInvInfo);
    return r * r_cubed();
  }
  // The same inverse for a public value, in variable time.
  Field inverse_vartime() const {
    Field r;
    r.l = safegcd::inverse_vartime(l, kInvInfo);
    return r * r_cubed();
  }
  // Inverse by Fermat's little theorem (x^(m-2)), kept as an independent
  // check on the divsteps. Constant time.
  Field inverse_fermat() const {
    Limbs e = MOD;
    e[0] -= 2;  // no borrow: both moduli end in a limb above 2
    return pow_public_exp(e);
  }

 private:
  static constexpr safegcd::ModInfo kInvInfo = safegcd::make_modinfo(P::MOD);
  static const Field& r_cubed() {
    static const Field r3 = [] {
      Field r2;
      r2.l = P::R2;
      return r2 * r2;  // R^2·R^2·R^-1
    }();
    return r3;
  }

 public:
  // Big-endian hex of the canonical value, 64 digits (for diagnostics).
};

using Fp = Field<FpParams>;
using Fr = Field<FrParams>;

// Inverts every element of xs in place with one inversion (Montgomery's
// trick). Zero entries stay zero. Constant time in the values.
template <class F>
void batch_inverse(F* xs, std::size_t n) {
  if (n == 0) return;
  F* prefix = new F[n];
  F acc = F::one();
  for (std::size_t i = 0; i < n; ++i) {
    prefix[i] = acc;
    F xi = xs[i];
    xi.cmov(F::one(), xs[i].is_zero_flag());
    acc = acc * xi;
  }
  F inv = acc.inverse();
  for (std::size_t i = n; i-- > 0;) {
    const u64 z = xs[i].is_zero_flag();
    F xi = xs[i];
    xi.cmov(F::one(), z);
    F r = inv * prefix[i];
    inv = inv * xi;
    r.cmov(F::zero(), z);
    xs[i] = r;
  }
  delete[] prefix;
}

}  // namespace vemo::curve
