// The checking build (meson -Dverify=true): a value that breaks an invariant
// its header states stops the program with the file, the line and the
// invariant. Each case breaks one invariant by hand, the way no operation of
// the types would, then hands the value to the code that checks it. In any
// other build the checks are compiled out and the test is skipped.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

#include "curve/jacobian.hpp"
#include "curve/point.hpp"
#include "curve/verify.hpp"
#include "curve/window.hpp"

using namespace vemo::curve;

namespace {

#if VEMO_VERIFY
// The value 0 written as m itself, 1 written as r + 1: right values, broken
// representations.
Fp fp_written_as_modulus() {
  Fp a;
  a.l = FpParams::MOD;
  return a;
}
Fr fr_one_written_above_modulus() {
  Fr a;
  a.l = FrParams::MOD;
  a.l[0] += 1;
  return a;
}

// A row of 16 real multiples of G, as the windowed multiplications build.
struct Row {
  AffineXY entries[kRowLen];
  Row() {
    ProjPoint acc = ProjPoint::identity();
    for (int j = 0; j < kRowLen; ++j) {
      acc = acc.add_affine(Bn254Point::generator());
      const Bn254Point p = acc.to_affine("row");
      entries[j] = AffineXY{p.x, p.y};
    }
  }
};

struct Case {
  const char* what;
  std::function<void()> run;
  const char* message;  // regular expression
};
#endif

TEST(VerifyBuild, BrokenInvariantsAbortAtTheirCheck) {
#if !VEMO_VERIFY
  GTEST_SKIP() << "the invariant checks are compiled in by meson -Dverify=true";
#else
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const Bn254Point& G = Bn254Point::generator();
  const Case cases[] = {
      {"Fp sum of an unreduced operand", [] { (void)(fp_written_as_modulus() + Fp::one()); },
       "field\\.hpp:[0-9]+: field operands below the modulus"},
      {"Fr product of an unreduced operand", [] { (void)(Fr::one() * fr_one_written_above_modulus()); },
       "field\\.hpp:[0-9]+: field operands below the modulus"},
      {"Fp comparison of an unreduced value", [] { (void)(fp_written_as_modulus() == Fp::zero()); },
       "field\\.hpp:[0-9]+: field operands below the modulus"},
      {"scalar arithmetic on an unreduced scalar",
       [] { (void)Bn254Scalar{"test", fr_one_written_above_modulus()}.add(Bn254Scalar::one()); },
       "field\\.hpp:[0-9]+: field operands below the modulus"},
      {"adding a point off the curve", [&G] { (void)Bn254Point{"test", Fp::one(), Fp::one(), false}.add_point(G); },
       "point\\.cpp:[0-9]+: affine point on the curve or the canonical identity"},
      {"multiplying a point off the curve",
       [] { (void)Bn254Point{"test", Fp::one(), Fp::one(), false}.scalar_mul(Bn254Scalar::one()); },
       "point\\.cpp:[0-9]+: affine point on the curve or the canonical identity"},
      {"encoding an identity with coordinates",
       [] { (void)Bn254Point{"test", Fp::one(), Fp::zero(), true}.serialize_compressed(); },
       "point\\.cpp:[0-9]+: affine point on the curve or the canonical identity"},
      {"a digit beyond the row",
       [] {
         const Row row;
         Bn254Point q;
         (void)lookup_signed(row.entries, 17, q);
       },
       "window\\.hpp:[0-9]+: window digit in \\[-16, 16\\]"},
      {"a bit above the windows",
       [] {
         std::int8_t digits[2];
         recode_signed5(Limbs{0, 0, 0, 1}, 2, digits);
       },
       "window\\.hpp:[0-9]+: the windows cover the scalar"},
      {"a carry out of the top window (31 = 32 - 1 needs two digits)",
       [] {
         std::int8_t digits[1];
         recode_signed5(Limbs{31, 0, 0, 0}, 1, digits);
       },
       "window\\.hpp:[0-9]+: the windows cover the scalar"},
      {"the mixed Jacobian addition at acc = q",
       [&G] {
         JacPoint acc{G.x, G.y, Fp::one()};
         jac_madd(acc, G, 1);
       },
       "jacobian\\.hpp:[0-9]+: mixed Jacobian addition never meets acc = "},
  };
  for (const Case& c : cases) EXPECT_DEATH(c.run(), c.message) << c.what;

  // The same operations on values that keep their invariants pass every
  // check (the rest of the suite runs them all in this build as well).
  const Row row;
  Bn254Point q;
  EXPECT_EQ(lookup_signed(row.entries, -16, q), 1u);
  EXPECT_TRUE(G.add_point(G).valid_vartime());
  EXPECT_TRUE(Bn254Point::zero().valid_vartime());
  EXPECT_FALSE((Bn254Point{"test", Fp::one(), Fp::zero(), true}.valid_vartime()));
#endif
}

}  // namespace
