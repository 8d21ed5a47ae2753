#include "point_key.hpp"

#include "ct.hpp"
#include "random.hpp"

namespace vemo::curve {

namespace {

// Seed drawn once; without OS randomness the mix stays full-width, only unkeyed.
struct Seed {
  u64 s[2];
  Seed() {
    if (!fill_random(s, sizeof s)) {
      s[0] = 0x243f6a8885a308d3ULL;
      s[1] = 0x13198a2e03707344ULL;
    }
    // It keys lookups of public points, which branch on it by design.
    ct::declassify(s, sizeof s);
  }
};

u64 mix(u64 a, u64 b) {
  const unsigned __int128 m = (unsigned __int128)a * b;
  return (u64)m ^ (u64)(m >> 64);
}

}  // namespace

std::size_t PointKeyHash::operator()(const PointKey& k) const {
  static const Seed seed;
  u64 h = seed.s[0];
  for (std::size_t i = 0; i < 8; i += 2) h = mix(h ^ k[i], seed.s[1] ^ k[i + 1]);
  return (std::size_t)h;
}

}  // namespace vemo::curve
