#include "glv.hpp"

#include <array>

#include "bn254.hpp"
#include "verify.hpp"

namespace vemo::curve {

namespace {

// round(k * g / 2^256) for k < 2^256 and g < 2^192, fixed schedule.
Limbs mul_shift_round(const Limbs& k, const Limbs& g) {
  ct::Wiped<std::array<u64, 8>> held;  // as secret as k
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
  const ct::Wiped<Limbs> raw(v.to_raw());
  negative = limbs::lt_flag(bn254::kHalfOrder, *raw);
  const ct::Wiped<Fr> n(-v);
  ct::Wiped<Fr> m(v);
  m->cmov(*n, negative);
  return m->to_raw();
}

}  // namespace

Fp glv_beta() {
  static const Fp beta = Fp::from_raw_reduce(bn254::kBeta);
  return beta;
}

// The lattice method: c1 = round(k b2 / r), c2 = round(k (-b1) / r) through
// the rounding constants g1, g2, then k1 = k - c1 a1 - c2 a2 and
// k2 = c1 (-b1) - c2 b2 (mod r).
void glv_split(const Bn254Scalar& k, Limbs& k1, u64& neg1, Limbs& k2, u64& neg2) {
  // Every intermediate is as secret as k and is wiped on the way out.
  const ct::Wiped<Limbs> kr(k.to_raw());
  // The basis in Montgomery form, converted once.
  static const Fr fa1 = Fr::from_raw_reduce(bn254::kGlvA1), fa2 = Fr::from_raw_reduce(bn254::kGlvA2),
                  fmb1 = Fr::from_raw_reduce(bn254::kGlvMinusB1), fb2 = Fr::from_raw_reduce(bn254::kGlvB2);
  const ct::Wiped<Fr> fc1(Fr::from_raw_reduce(mul_shift_round(*kr, bn254::kGlvG1)));
  const ct::Wiped<Fr> fc2(Fr::from_raw_reduce(mul_shift_round(*kr, bn254::kGlvG2)));
  const ct::Wiped<Fr> v1(k.fe - *fc1 * fa1 - *fc2 * fa2);
  const ct::Wiped<Fr> v2(*fc1 * fmb1 - *fc2 * fb2);
  k1 = signed_half(*v1, neg1);
  k2 = signed_half(*v2, neg2);
  // The windows of both engines cover 128 bits per half.
  VEMO_VERIFY_CHECK(k1[2] == 0 && k1[3] == 0 && k2[2] == 0 && k2[3] == 0, "GLV halves below 2^128");
}

}  // namespace vemo::curve
