// The constant-time multiplication engine: points times secret scalars
// (keys, blinding scalars, nonces, amounts), for any point, with no table
// kept between calls. Its one-point form is Bn254Point::scalar_mul, declared
// with the point type. Bases used again and again go through fixed_base.hpp;
// public scalars through msm_vartime.hpp.
//
// Every function here is constant time in the scalars and in the points:
// no branch or memory index depends on either.
#pragma once

#include <cstddef>
#include <cstdint>

#include "point.hpp"
#include "scalar.hpp"

namespace vemo::curve {

// Sum of scalars[i]·points[i] for i < n, for sums whose scalars are secrets
// (blinding vectors, nonces). Identity points add nothing; n = 0 gives the
// identity. Projective result.
ProjPoint msm(const Bn254Scalar* scalars, const Bn254Point* points, std::size_t n);

// out[i] = ks[i]·p for i < n: one table of p serves every scalar.
// Projective results, so that callers can bring several to affine with one
// inversion. p may be the identity (every result is then the identity).
void scalar_mul_each(const Bn254Point& p, const Bn254Scalar* ks, std::size_t n, ProjPoint* out);

// The signed 5-bit digits of both GLV halves of k, each half's sign folded
// into its digits: digits[0 .. 25] for k1 on P, digits[26 .. 51] for k2 on
// lambda P, each in [-16, 16]. What the sums here and in lanes
// (msm_lanes.hpp) run on. Constant time.
constexpr int kGlvDigits = 52;
void glv_digits(const Bn254Scalar& k, std::int8_t* digits);

}  // namespace vemo::curve
