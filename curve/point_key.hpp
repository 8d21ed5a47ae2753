// Keys for maps of public points (tables of recurring points, the merged
// terms of a batch). The points may be chosen by a caller, so the hash
// covers all eight limbs of (x, y) and is keyed with a per-process random
// seed: nobody outside the process can aim many points at one bucket.
#pragma once

#include <array>
#include <cstddef>

#include "point.hpp"

namespace vemo::curve {

using PointKey = std::array<u64, 8>;

inline PointKey key_of(const Bn254Point& p) {
  PointKey k;
  for (std::size_t i = 0; i < 4; ++i) {
    k[i] = p.x.l[i];
    k[i + 4] = p.y.l[i];
  }
  return k;
}

struct PointKeyHash {
  std::size_t operator()(const PointKey& k) const;
};

}  // namespace vemo::curve
