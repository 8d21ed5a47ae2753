// Generator vectors of the range proofs.
//
// A range proof over N = n·m bits needs two vectors of N points, Gv and Hv,
// whose discrete logarithms nobody knows. They are derived from the 4-byte
// label "Mirq": the label read as a big-endian integer L, and the point for
// an integer k is generate_random_point(SHA-512(minimal big-endian bytes of
// k)). Gv[i] is the point for L + i, Hv[i] the point for L + n + i, so with
// N = n the two vectors together are the points for L … L + 2n − 1.
//
// Gv[i] does not depend on n, Hv[i] does; both are functions of one integer
// only, so derived points are kept in a process-wide cache keyed by k − L
// (bounded, see generators.cpp). Everything here is public data.
#pragma once

#include <cstdint>
#include <vector>

#include "curve/point.hpp"

namespace vemo::bulletproofs {

// "Mirq" as a big-endian integer.
inline constexpr std::uint64_t kLabelInteger = 0x4d697271;

struct GeneratorVectors {
  std::vector<curve::Point> G;  // Gv
  std::vector<curve::Point> H;  // Hv
};

// The point for the integer k: SHA-512 of k's minimal big-endian bytes
// (the single byte 0x00 for zero), mapped to the curve.
curve::Point point_from_integer(std::uint64_t k);
// The map's input for k (the digest above reduced mod p): point_from_integer
// is the map of this.
curve::Fp map_input_from_integer(std::uint64_t k);

// Gv and Hv with N points each for bit length n. Pure and deterministic.
// n and the indices enter the integers as 32-bit values; a vector long
// enough for that to matter could not be held in memory anyway.
GeneratorVectors derive_generator_vectors(std::uint64_t n, std::uint64_t N);

}  // namespace vemo::bulletproofs
