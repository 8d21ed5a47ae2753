#include "hash_to_curve.hpp"

#include "bigint.hpp"
#include "bn254.hpp"

namespace vemo::curve {

namespace {

// The map's constants (bn254.hpp) in Montgomery form, converted once.
struct Constants {
  Fp c1 = Fp::from_raw_reduce(bn254::kSvdwC1);
  Fp c2 = Fp::from_raw_reduce(bn254::kSvdwC2);
  Fp c3 = Fp::from_raw_reduce(bn254::kSvdwC3);
  Fp c4 = Fp::from_raw_reduce(bn254::kSvdwC4);
  Fp b = Fp::from_u64(bn254::kB);
};

const Constants& K() {
  static const Constants k;
  return k;
}

bool parity(const Fp& v) { return v.to_raw()[0] & 1; }

}  // namespace

Bn254Point SvdW::map_to_curve_g1_unchecked(const Fp& u) {
  const Constants& k = K();
  const Fp one = Fp::one();
  Fp tv1 = u.square() * k.c1;
  const Fp tv2 = one + tv1;
  tv1 = one - tv1;
  // Public input: the variable-time inversion, which maps 0 to 0 (the
  // standard's inv0).
  const Fp tv3 = (tv1 * tv2).inverse_vartime();
  const Fp tv4 = u * tv1 * tv3 * k.c3;
  const Fp x1 = k.c2 - tv4;
  const Fp gx1 = x1.square() * x1 + k.b;
  const Fp x2 = k.c2 + tv4;
  const Fp gx2 = x2.square() * x2 + k.b;
  // The candidate root gx^((p+1)/4) squares back to gx exactly when gx is a
  // square (gx is never 0: x^3 + 3 has no root, as no point of this odd-order
  // group has y = 0), so one exponentiation both tests a candidate and gives
  // its root: the same root the test-then-root order would compute.
  Fp x, y = gx1.pow_public_exp(bn254::kSqrtExp);
  if (y.square() == gx1) {
    x = x1;
  } else if (y = gx2.pow_public_exp(bn254::kSqrtExp); y.square() == gx2) {
    x = x2;
  } else {
    const Fp t = tv2.square() * tv3;
    x = t.square() * k.c4 + one;
    y = (x.square() * x + k.b).pow_public_exp(bn254::kSqrtExp);
  }
  if (parity(y) != parity(u)) y = -y;
  return Bn254Point{"deserialized point", x, y, false};
}

Fp map_input_from_bytes(const unsigned char* bytes, std::size_t n) {
  static const BigInt p = [] {
    unsigned char b[32];
    limbs::to_be(FpParams::MOD, b);
    return BigInt::from_bytes(b, 32);
  }();
  unsigned char ub[32];
  BigInt::modulus(BigInt::from_bytes(bytes, n), p).to_bytes32(ub);
  return Fp::from_be_bytes_reduce(ub);
}

Bn254Point generate_random_point(const unsigned char* bytes, std::size_t n) {
  const Bn254Point q = SvdW::map_to_curve_g1_unchecked(map_input_from_bytes(bytes, n));
  // The map's output is on the curve by construction, and the cofactor is 1,
  // so the validation a decode would perform always succeeds; the label is
  // that of a decoded point.
  return Bn254Point{"deserialized point", q.x, q.y, false};
}

}  // namespace vemo::curve
