// Discrete logarithms known to be small: the v with v·B = A and |v| <= bound.
#pragma once

#include <cstdint>
#include <optional>

#include "point.hpp"

namespace vemo::curve {

// The v in [-bound, bound] with v·b = a, or none. B has prime order r (or is
// the identity) and 2·bound + 1 < r, so at most one such v exists and any
// search order finds the same one.
//
// Variable time: the running time grows with |v| (up to about sqrt(bound)
// steps), and table slots are chosen by coordinates of multiples of b. That
// is inherent to recovering an amount by search; it is meant for the key
// holder recovering its own amount, never for a step whose timing is
// observable by others. Secret keys enter only through the constant-time
// multiplications that make a and b.
std::optional<std::int64_t> small_dlog_vartime(const Bn254Point& a, const Bn254Point& b, std::uint32_t bound);

}  // namespace vemo::curve
