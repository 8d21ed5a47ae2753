// What the sigma proofs share: nonces and public combinations.
#pragma once

#include <algorithm>
#include <array>
#include <initializer_list>

#include "curve/msm_vartime.hpp"
#include "curve/panic.hpp"
#include "curve/point.hpp"
#include "curve/result.hpp"
#include "curve/scalar.hpp"
#include "curve/scalar_mul.hpp"

namespace vemo::proofs {

// A fresh non-zero scalar from the OS random source. A zero nonce would
// publish the secret in the response, so zero draws are repeated.
inline Result<curve::Bn254Scalar, Panic> draw_nonzero() {
  auto s = curve::Bn254Scalar::random_nonzero();
  if (!s) return Err{randomness_unavailable()};
  const curve::Bn254Scalar k = *s;
  curve::wipe(*s);
  return k;
}

// Marks values the proof publishes (its commitments and responses): they are
// derived from secrets, but from here on they are public and may steer
// branches, as serialising and hashing them does.
template <class... T>
inline void publish(const T&... v) {
  (ct::declassify(v), ...);
}

inline Panic assertion_failed() { return Panic{"assertion failed: false"}; }

// a·A + b·B for secret a, b over bases seen once (no table is worth building).
inline curve::Bn254Point secret_combination(const curve::Bn254Point& A, const curve::Bn254Scalar& a,
                                            const curve::Bn254Point& B, const curve::Bn254Scalar& b) {
  const ct::Wiped<std::array<curve::Bn254Scalar, 2>> ks(std::array<curve::Bn254Scalar, 2>{a, b});
  const curve::Bn254Point ps[2] = {A, B};
  return curve::msm(ks->data(), ps, 2).to_affine("add_point");
}

// The sum of scalars[i]·points[i] over public values (verification only).
inline curve::ProjPoint public_combination(std::initializer_list<curve::Bn254Scalar> scalars,
                                           std::initializer_list<curve::Bn254Point> points) {
  return curve::msm_vartime(scalars.begin(), points.begin(), std::min(scalars.size(), points.size()));
}

}  // namespace vemo::proofs
