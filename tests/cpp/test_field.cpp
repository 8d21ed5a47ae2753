// Field arithmetic against GMP on seeded random values and on the values
// where carries and reductions happen (0, 1, m - 1, 2^k, values near m).
#include <gmp.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <vector>

#include "curve/bigint.hpp"
#include "test_util.hpp"
#include "curve/field.hpp"

using namespace vemo::curve;

namespace {

using vemo::test::seed;
using vemo::test::to_big;

Limbs from_big(const BigInt& v) {
  unsigned char b[32];
  v.to_bytes32(b);
  return limbs::from_be(b);
}

template <class F>
struct FieldTest : ::testing::Test {};
using Fields = ::testing::Types<Fp, Fr>;
TYPED_TEST_SUITE(FieldTest, Fields);

template <class F>
std::vector<BigInt> interesting_values(std::mt19937_64& rng) {
  const BigInt m = to_big(F::MOD);
  std::vector<BigInt> vs = {BigInt(0), BigInt(1), BigInt(2), m - BigInt(1), m - BigInt(2),
                            (m - BigInt(1)) >> 1, ((m - BigInt(1)) >> 1) + BigInt(1)};
  for (int k = 0; k < 254; k += 31) vs.push_back(BigInt::one() << k);
  for (int i = 0; i < 200; ++i) {
    Limbs l{rng(), rng(), rng(), rng() >> 2};
    vs.push_back(BigInt::modulus(to_big(l), m));
  }
  return vs;
}

TYPED_TEST(FieldTest, ArithmeticMatchesGmp) {
  using F = TypeParam;
  std::mt19937_64 rng(seed());
  const BigInt m = to_big(F::MOD);
  auto vs = interesting_values<F>(rng);
  for (std::size_t i = 0; i < vs.size(); ++i) {
    const BigInt& a = vs[i];
    const BigInt& b = vs[(i * 7 + 3) % vs.size()];
    F fa = F::from_raw_reduce(from_big(a)), fb = F::from_raw_reduce(from_big(b));
    ASSERT_EQ(to_big((fa + fb).to_raw()), BigInt::mod_add(a, b, m));
    ASSERT_EQ(to_big((fa - fb).to_raw()), BigInt::mod_sub(a, b, m));
    ASSERT_EQ(to_big((fa * fb).to_raw()), BigInt::mod_mul(a, b, m));
    ASSERT_EQ(to_big((-fa).to_raw()), BigInt::mod_sub(BigInt(0), a, m));
    ASSERT_EQ(to_big(fa.square().to_raw()), BigInt::mod_mul(a, a, m));
    if (a.sign() != 0) {
      ASSERT_EQ(fa * fa.inverse(), F::one());
    }
  }
  EXPECT_TRUE(F::zero().inverse().is_zero());
}

// The divsteps inversions (constant time and variable time) against
// Fermat's x^(m-2), over the carry and reduction edge values and random ones.
TYPED_TEST(FieldTest, InversionsAgreeWithFermat) {
  using F = TypeParam;
  std::mt19937_64 rng(seed() + 4);
  for (const BigInt& a : interesting_values<F>(rng)) {
    const F fa = F::from_raw_reduce(from_big(a));
    const F expected = fa.inverse_fermat();
    ASSERT_EQ(fa.inverse(), expected);
    ASSERT_EQ(fa.inverse_vartime(), expected);
  }
  // The divsteps run on the Montgomery limbs themselves: edge values there too.
  for (const BigInt& a : interesting_values<F>(rng)) {
    F fa;
    fa.l = from_big(a);
    const F expected = fa.inverse_fermat();
    ASSERT_EQ(fa.inverse(), expected);
    ASSERT_EQ(fa.inverse_vartime(), expected);
  }
  EXPECT_TRUE(F::zero().inverse_vartime().is_zero());
}

// The mulx/adx engine is picked from CPUID read directly (so that clang
// builds the core too); the choice must match the compiler's own report, and
// the portable engine, unused on such a processor, must give the same
// products as the one in use. (A portable build has only the one engine:
// this still checks its product against the reduced one.)
TYPED_TEST(FieldTest, MultiplicationEnginesAgree) {
  using F = TypeParam;
#if VEMO_FIELD_X86_64 && defined(__GNUC__) && !defined(__clang__)
  EXPECT_EQ(cpu_has_bmi2_adx(), __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("adx"));
#endif
  std::mt19937_64 rng(seed() + 3);
  const BigInt m = to_big(F::MOD);
  auto vs = interesting_values<F>(rng);
  for (std::size_t i = 0; i < vs.size(); ++i) {
    const F fa = F::from_raw_reduce(from_big(vs[i]));
    const F fb = F::from_raw_reduce(from_big(vs[(i * 5 + 1) % vs.size()]));
    u64 t[4] = {0, 0, 0, 0};
    fa.mul_portable(t, fb);
    ASSERT_EQ(BigInt::modulus(to_big(Limbs{t[0], t[1], t[2], t[3]}), m), to_big((fa * fb).l));
  }
}

// The squaring has its own schedule (square first, then the reduction of its
// low half) in both engines: the same limbs as the product a * a, and the
// portable square, before its final subtraction, below 2m and equal to it
// modulo m. The inputs include the largest limbs (m - 1, m - 2 in Montgomery
// form) and the limbs themselves near m, where every carry of the square and
// of the reduction is taken.
TYPED_TEST(FieldTest, SquaringEnginesAgree) {
  using F = TypeParam;
  std::mt19937_64 rng(seed() + 5);
  const BigInt m = to_big(F::MOD);
  std::vector<F> xs;
  for (const BigInt& v : interesting_values<F>(rng)) {
    xs.push_back(F::from_raw_reduce(from_big(v)));
    F raw;  // the value as Montgomery limbs directly: m - 1, m - 2, 2^k...
    raw.l = from_big(v);
    xs.push_back(raw);
  }
  for (const F& a : xs) {
    ASSERT_EQ(a.square(), a * a);
    u64 t[4];
    a.sqr_portable(t);
    const BigInt tb = to_big(Limbs{t[0], t[1], t[2], t[3]});
    ASSERT_LT(tb, m + m);
    ASSERT_EQ(BigInt::modulus(tb, m), to_big(a.square().l));
  }
}

// Chains of products (pow_public_exp) keep their values below 2m and reduce
// once at the end: on limbs anywhere in [0, 2m), the lazy product and square
// stay below 2m and agree with GMP's a b / 2^256 mod m.
TYPED_TEST(FieldTest, LazyProductsStayBelowTwiceTheModulus) {
  using F = TypeParam;
  std::mt19937_64 rng(seed() + 6);
  const BigInt m = to_big(F::MOD);
  const BigInt r_inv = BigInt::mod_pow(BigInt::modulus(BigInt::one() << 256, m), m - BigInt(2), m);  // m prime
  std::vector<BigInt> vs = interesting_values<F>(rng);
  const std::size_t n = vs.size();
  for (std::size_t i = 0; i < n; ++i) vs.push_back(vs[i] + m);  // the same values, one m up
  vs.push_back(m + m - BigInt(1));
  for (std::size_t i = 0; i < vs.size(); ++i) {
    F a, b;
    a.l = from_big(vs[i]);
    b.l = from_big(vs[(i * 11 + 5) % vs.size()]);
    const BigInt ab = to_big(a.mul_lazy(b).l), aa = to_big(a.sqr_lazy().l);
    ASSERT_LT(ab, m + m);
    ASSERT_LT(aa, m + m);
    ASSERT_EQ(BigInt::modulus(ab, m), BigInt::mod_mul(BigInt::mod_mul(vs[i], to_big(b.l), m), r_inv, m));
    ASSERT_EQ(BigInt::modulus(aa, m), BigInt::mod_mul(BigInt::mod_mul(vs[i], vs[i], m), r_inv, m));
  }
  // And a whole chain: the square root exponent's power, against GMP.
  for (int k = 0; k < 20; ++k) {
    const BigInt v = BigInt::modulus(to_big(Limbs{rng(), rng(), rng(), rng()}), m);
    const F x = F::from_raw_reduce(from_big(v));
    const Limbs e{rng(), rng(), rng(), rng() >> 2};
    ASSERT_EQ(to_big(x.pow_public_exp(e).to_raw()), BigInt::mod_pow(v, to_big(e), m));
  }
}

TYPED_TEST(FieldTest, ReductionOfAnyWidth) {
  using F = TypeParam;
  std::mt19937_64 rng(seed() + 1);
  const BigInt m = to_big(F::MOD);
  // Every 256-bit input, including all ones and values just at or above m.
  std::vector<Limbs> raws = {Limbs{~0ULL, ~0ULL, ~0ULL, ~0ULL}, F::MOD, Limbs{0, 0, 0, 0}};
  Limbs m_plus_1 = F::MOD;
  m_plus_1[0] += 1;
  raws.push_back(m_plus_1);
  for (int i = 0; i < 200; ++i) raws.push_back(Limbs{rng(), rng(), rng(), rng()});
  for (const Limbs& raw : raws) {
    EXPECT_EQ(to_big(F::from_raw_reduce(raw).to_raw()), BigInt::modulus(to_big(raw), m));
  }
}

TEST(FieldBatch, BatchInverseMatchesSingleAndKeepsZero) {
  std::mt19937_64 rng(seed() + 2);
  std::vector<Fp> xs;
  for (int i = 0; i < 17; ++i) xs.push_back(Fp::from_raw_reduce(Limbs{rng(), rng(), rng(), rng()}));
  xs[5] = Fp::zero();
  auto inv = xs;
  batch_inverse(inv.data(), inv.size());
  for (std::size_t i = 0; i < xs.size(); ++i) EXPECT_EQ(inv[i], xs[i].inverse());
}

}  // namespace
