// Seeded randomness shared by the C++ tests. The seed is printed once so a
// failure can be replayed with VEMO_TEST_SEED.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <random>

#include "curve/scalar.hpp"

namespace vemo::test {

inline std::uint64_t seed() {
  static const std::uint64_t s = [] {
    std::uint64_t v = std::random_device{}();
    if (const char* e = std::getenv("VEMO_TEST_SEED")) v = std::strtoull(e, nullptr, 10);
    std::printf("seed=%llu\n", (unsigned long long)v);
    return v;
  }();
  return s;
}

inline std::mt19937_64& rng() {
  static std::mt19937_64 r(seed());
  return r;
}

// A canonical integer in four little-endian limbs (bn254.hpp, the field
// parameters) as a BigInt.
inline curve::BigInt to_big(const curve::Limbs& l) {
  unsigned char b[32];
  curve::limbs::to_be(l, b);
  return curve::BigInt::from_bytes(b, 32);
}

// A uniformly random scalar (32 random bytes reduced modulo r).
inline curve::Scalar random_scalar() {
  unsigned char b[32];
  for (auto& x : b) x = (unsigned char)rng()();
  return curve::Scalar::deserialize(b, 32).value();
}

}  // namespace vemo::test
