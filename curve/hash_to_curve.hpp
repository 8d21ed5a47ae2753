// Hashing byte strings onto G1: the straight-line Shallue-van de Woestijne
// map for y^2 = x^3 + 3 with Z = 1. The input bytes are read as one
// big-endian integer reduced mod p (no expansion, no domain tag); the
// cofactor is 1, so no clearing is needed. Input and output are public:
// this code is variable time.
#pragma once

#include <cstddef>

#include "field.hpp"
#include "point.hpp"

namespace vemo::curve {

// Deterministic map from any byte string to a point, label "deserialized point":
// SvdW::map_to_curve_g1_unchecked(map_input_from_bytes(bytes, n)).
Bn254Point generate_random_point(const unsigned char* bytes, std::size_t n);
// The map's input for a byte string: the bytes as one big-endian integer
// reduced mod p.
Fp map_input_from_bytes(const unsigned char* bytes, std::size_t n);

namespace SvdW {
// u in Fp to an affine point (never the identity). For the two inputs that
// make tv1·tv2 zero the inverse is taken as 0 (inv0), which still gives a
// point on the curve.
Bn254Point map_to_curve_g1_unchecked(const Fp& u);
}  // namespace SvdW

}  // namespace vemo::curve
