// The GLV endomorphism of BN254 G1, which both multiplication engines use:
// (x, y) -> (beta x, y) is multiplication by lambda (bn254.hpp), so a
// scalar k split as k1 + k2 lambda with halves near the square root of r
// needs one chain of doublings for both halves, about half as many as k
// would.
#pragma once

#include "field.hpp"
#include "scalar.hpp"

namespace vemo::curve {

// beta in Fp, the x-coordinate factor of the endomorphism.
Fp glv_beta();

// Splits k into magnitudes and signs with k = ±k1 ± k2·lambda (mod r):
// neg1, neg2 are 1 for a minus sign, and the reduced lattice basis keeps
// |k1|, |k2| below 2^128 (the constant-time windows count on it). Constant
// time in k; every intermediate is wiped.
void glv_split(const Bn254Scalar& k, Limbs& k1, u64& neg1, Limbs& k2, u64& neg2);

}  // namespace vemo::curve
