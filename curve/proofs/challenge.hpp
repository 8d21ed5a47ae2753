// The Fiat-Shamir challenge shared by every proof and by the hash probes.
//
// Transcript: the 64-byte uncompressed encodings of the points, in order
// (y then x, big-endian; the identity as 0x40 and 63 zero bytes), then a
// 32-bit big-endian counter 00 00 00 00. The first 32 digest bytes, read
// big-endian and reduced modulo r, are the challenge. Every 32-byte string
// is a scalar, so the counter never moves past 0.
#pragma once

#include <initializer_list>
#include <vector>

#include "curve/hash.hpp"
#include "curve/point.hpp"
#include "curve/scalar.hpp"

namespace vemo::proofs {

curve::Bn254Scalar challenge_from_transcript(curve::Digest digest, const curve::Bn254Point* points, std::size_t n);
inline curve::Bn254Scalar challenge_from_transcript(curve::Digest digest, std::initializer_list<curve::Bn254Point> points) {
  return challenge_from_transcript(digest, points.begin(), points.size());
}
inline curve::Bn254Scalar challenge_from_transcript(curve::Digest digest, const std::vector<curve::Bn254Point>& points) {
  return challenge_from_transcript(digest, points.data(), points.size());
}

}  // namespace vemo::proofs
