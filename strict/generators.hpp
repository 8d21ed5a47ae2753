// The strict suite's own generator vectors for its range proofs
// (docs/strict.md, "Range proofs"): points nobody knows a discrete
// logarithm of, under a domain of their own, so they share nothing with
// vemo's vectors (which hash bare integers) nor with any point a relation
// uses.
//
//   G_i = generate_random_point(SHA-512(frame("generator", TAG) || frame("G", u32be(i))))
//   H_i = generate_random_point(SHA-512(frame("generator", TAG) || frame("H", u32be(i))))
//   Q   = generate_random_point(SHA-512(frame("generator", TAG) || frame("Q", "")))
//
// G_i and H_i do not depend on the vector length, so the vectors of one
// length are prefixes of every longer one. The digest of the vectors of
// length N, which every range proof's transcript absorbs, is
//
//   SHA-512(frame("generators", TAG) || frame("size", u32be(N)) ||
//           frame("G", G_0 || … || G_{N−1}) || frame("H", H_0 || … || H_{N−1}) || frame("Q", Q))
//
// with points in their 32-byte encodings. Everything here is public data.
// Derived vectors are kept process-wide, one entry per length (a power of
// two up to kMaxGenerators, so at most 13 entries and 2·4096 + 1 distinct
// points, about 0.7 MB), behind a mutex; deriving happens outside it.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <vector>

#include "codec.hpp"
#include "curve/point.hpp"

namespace vemo::strict {

// n·m' for the longest proof: 64 bits of 64 values.
inline constexpr std::size_t kMaxGenerators = 4096;

struct Generators {
  std::vector<curve::Point> G, H;  // N points each
  curve::Point Q;                  // the inner-product argument's point
  std::array<unsigned char, 64> digest{};
};

// The generator point with the label ("G", "H") and index, by the rule above.
curve::Point generator_point(std::string_view label, std::uint32_t index);

// The vectors of length N (a power of two, 1 to kMaxGenerators), derived
// once per process. Thread-safe; variable time (public data).
Expected<std::shared_ptr<const Generators>> generators(std::size_t N);

}  // namespace vemo::strict
