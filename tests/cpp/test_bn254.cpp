// The constant table (curve/bn254.hpp) against the definition of each
// constant, computed here with GMP and with affine arithmetic written for
// this test alone, so that a wrong limb cannot hide behind the library's own
// arithmetic. All values are public.
#include <gmp.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "curve/bigint.hpp"
#include "curve/bn254.hpp"
#include "test_util.hpp"

using namespace vemo::curve;
using vemo::test::to_big;

namespace {

BigInt inv_mod(const BigInt& a, const BigInt& m) {
  BigInt r;
  mpz_invert(r.raw(), a.raw(), m.raw());
  return r;
}

BigInt neg_mod(const BigInt& a, const BigInt& m) { return BigInt::mod_sub(BigInt(0), a, m); }

// round(a / b) for positive a, b.
BigInt round_div(const BigInt& a, const BigInt& b) {
  BigInt q;
  const BigInt twice_a_plus_b = (a << 1) + b;
  const BigInt twice_b = b << 1;
  mpz_fdiv_q(q.raw(), twice_a_plus_b.raw(), twice_b.raw());
  return q;
}

// Affine points of y^2 = x^3 + b over p, with the chord-and-tangent law.
struct Affine {
  BigInt x, y;
  bool inf = false;
};

Affine add(const Affine& a, const Affine& c, const BigInt& p) {
  if (a.inf) return c;
  if (c.inf) return a;
  BigInt slope;
  if (a.x == c.x) {
    if (BigInt::mod_add(a.y, c.y, p).sign() == 0) return Affine{BigInt(0), BigInt(0), true};
    slope = BigInt::mod_mul(BigInt(3) * a.x * a.x, inv_mod(BigInt(2) * a.y, p), p);
  } else {
    slope = BigInt::mod_mul(BigInt::mod_sub(c.y, a.y, p), inv_mod(BigInt::mod_sub(c.x, a.x, p), p), p);
  }
  const BigInt x = BigInt::mod_sub(BigInt::mod_sub(BigInt::mod_mul(slope, slope, p), a.x, p), c.x, p);
  const BigInt y = BigInt::mod_sub(BigInt::mod_mul(slope, BigInt::mod_sub(a.x, x, p), p), a.y, p);
  return Affine{x, y, false};
}

Affine mul(const BigInt& k, const Affine& a, const BigInt& p) {
  Affine acc{BigInt(0), BigInt(0), true};
  for (std::size_t i = k.bit_length(); i-- > 0;) {
    acc = add(acc, acc, p);
    if (mpz_tstbit(k.raw(), i)) acc = add(acc, a, p);
  }
  return acc;
}

struct Case {
  const char* what;
  BigInt got, want;
};

TEST(Bn254Constants, EachFollowsFromItsDefinition) {
  namespace t = bn254;
  const BigInt two64 = BigInt::one() << 64, two128 = BigInt::one() << 128, two256 = BigInt::one() << 256;
  // The curve family's parameter: p and r are its two polynomials.
  const BigInt u = BigInt::from_u64(4965661367192848881ULL);
  const BigInt u2 = u * u, u3 = u2 * u, u4 = u3 * u;
  const BigInt p = to_big(t::kFpModulus), r = to_big(t::kFrModulus);
  const BigInt b = BigInt::from_u64(t::kB);
  const BigInt beta = to_big(t::kBeta), lambda = to_big(t::kLambda);
  const BigInt a1 = to_big(t::kGlvA1), a2 = to_big(t::kGlvA2), b2 = to_big(t::kGlvB2);
  const BigInt b1 = BigInt(0) - to_big(t::kGlvMinusB1);
  const BigInt gz = BigInt(1) + b;  // g(Z) = Z^3 + b for Z = 1
  const Affine g{to_big(t::kGx), to_big(t::kGy), false};
  const Affine lambda_g = mul(lambda, g, p);
  const Affine r_g = mul(r, g, p);
  const BigInt c3 = to_big(t::kSvdwC3);

  const std::vector<Case> cases = {
      {"p = 36u^4 + 36u^3 + 24u^2 + 6u + 1", p,
       BigInt(36) * u4 + BigInt(36) * u3 + BigInt(24) * u2 + BigInt(6) * u + BigInt(1)},
      {"r = 36u^4 + 36u^3 + 18u^2 + 6u + 1", r,
       BigInt(36) * u4 + BigInt(36) * u3 + BigInt(18) * u2 + BigInt(6) * u + BigInt(1)},
      {"p is prime", BigInt(mpz_probab_prime_p(p.raw(), 40) > 0), BigInt(1)},
      {"r is prime", BigInt(mpz_probab_prime_p(r.raw(), 40) > 0), BigInt(1)},
      // Montgomery constants of both fields.
      {"R = 2^256 mod p", to_big(t::kFpMontR), BigInt::modulus(two256, p)},
      {"R^2 = 2^512 mod p", to_big(t::kFpMontR2), BigInt::modulus(two256 * two256, p)},
      {"-p^-1 * p = -1 mod 2^64", BigInt::modulus(BigInt::from_u64(t::kFpMontInv) * p, two64), two64 - BigInt(1)},
      {"R = 2^256 mod r", to_big(t::kFrMontR), BigInt::modulus(two256, r)},
      {"R^2 = 2^512 mod r", to_big(t::kFrMontR2), BigInt::modulus(two256 * two256, r)},
      {"-r^-1 * r = -1 mod 2^64", BigInt::modulus(BigInt::from_u64(t::kFrMontInv) * r, two64), two64 - BigInt(1)},
      // Exponents and halves.
      {"p = 3 mod 4", BigInt::modulus(p, BigInt(4)), BigInt(3)},
      {"(p + 1) / 4", to_big(t::kSqrtExp) * BigInt(4), p + BigInt(1)},
      {"(r - 1) / 2", to_big(t::kHalfOrder) * BigInt(2) + BigInt(1), r},
      // The curve and its generator.
      {"b = 3", b, BigInt(3)},
      {"3b", BigInt::from_u64(t::kB3), BigInt(3) * b},
      {"G on the curve", BigInt::mod_mul(g.y, g.y, p), BigInt::mod_add(g.x * g.x * g.x, b, p)},
      {"r G = O", BigInt(r_g.inf), BigInt(1)},
      // The endomorphism.
      {"beta^3 = 1 mod p", BigInt::mod_pow(beta, BigInt(3), p), BigInt(1)},
      {"beta != 1", BigInt(beta == BigInt(1)), BigInt(0)},
      {"lambda^2 + lambda + 1 = 0 mod r", BigInt::modulus(lambda * lambda + lambda + BigInt(1), r), BigInt(0)},
      {"lambda G has x = beta x_G", lambda_g.x, BigInt::mod_mul(beta, g.x, p)},
      {"lambda G has y = y_G", lambda_g.y, g.y},
      // The lattice basis and its rounding constants.
      {"a1 + b1 lambda = 0 mod r", BigInt::modulus(a1 + b1 * lambda, r), BigInt(0)},
      {"a2 + b2 lambda = 0 mod r", BigInt::modulus(a2 + b2 * lambda, r), BigInt(0)},
      {"a1 b2 - a2 b1 = r", a1 * b2 - a2 * b1, r},
      {"|a1| + |a2| < 2^128 (the first half's bound)", BigInt(a1 + a2 < two128), BigInt(1)},
      {"|b1| + |b2| < 2^128 (the second half's bound)", BigInt(to_big(t::kGlvMinusB1) + b2 < two128), BigInt(1)},
      {"g1 = round(2^256 b2 / r)", to_big(t::kGlvG1), round_div(two256 * b2, r)},
      {"g2 = round(2^256 (-b1) / r)", to_big(t::kGlvG2), round_div(two256 * to_big(t::kGlvMinusB1), r)},
      // The map's constants for Z = 1.
      {"c1 = g(Z)", to_big(t::kSvdwC1), gz},
      {"c2 = -Z / 2", to_big(t::kSvdwC2), neg_mod(inv_mod(BigInt(2), p), p)},
      {"c3^2 = -g(Z) 3 Z^2", BigInt::mod_mul(c3, c3, p), neg_mod(BigInt(3) * gz, p)},
      {"c3 is the even root", BigInt::modulus(c3, BigInt(2)), BigInt(0)},
      {"c4 = -4 g(Z) / (3 Z^2)", to_big(t::kSvdwC4),
       BigInt::mod_mul(neg_mod(BigInt(4) * gz, p), inv_mod(BigInt(3), p), p)},
  };
  for (const Case& c : cases)
    EXPECT_TRUE(c.got == c.want) << c.what << ": " << c.got.to_dec() << " != " << c.want.to_dec();

  // Every entry is canonical: below the modulus it is read modulo.
  const std::vector<std::pair<const char*, BigInt>> below_p = {
      {"R mod p", to_big(t::kFpMontR)}, {"R^2 mod p", to_big(t::kFpMontR2)}, {"beta", beta},
      {"c2", to_big(t::kSvdwC2)},       {"c3", c3},                          {"c4", to_big(t::kSvdwC4)}};
  for (const auto& [what, v] : below_p) EXPECT_TRUE(v < p) << what;
  const std::vector<std::pair<const char*, BigInt>> below_r = {
      {"R mod r", to_big(t::kFrMontR)}, {"R^2 mod r", to_big(t::kFrMontR2)}, {"lambda", lambda}};
  for (const auto& [what, v] : below_r) EXPECT_TRUE(v < r) << what;
}

}  // namespace
