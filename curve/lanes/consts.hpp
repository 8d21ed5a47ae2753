// The constants of the lane engine (engine.inc), computed at compile time
// from the field's own table (bn254.hpp), so there is no second copy of a
// digit to get wrong.
//
// A lane element is an integer a = sum a_j 2^(52 j), j = 0..4, with every
// limb a_j below 2^52, standing for a * 2^-260 mod p (Montgomery form with
// R = 2^260). The field type's form is x * 2^256 mod p in four 64-bit
// limbs, so a conversion is one lane multiplication by a constant:
//   in:  (x 2^256) * 2^264 * 2^-260 = x 2^260       (kToLanes = 2^264 mod p)
//   out: (x 2^260) * 2^256 * 2^-260 = x 2^256       (kFromLanes = 2^256 mod p)
// Everything here is consteval or constant data: no code of this header
// runs, so it may be included by the translation units of both layers.
#pragma once

#include <array>
#include <cstdint>

#include "curve/bn254.hpp"

namespace vemo::curve::lanes {

using Limbs52 = std::array<std::uint64_t, 5>;
inline constexpr std::uint64_t kMask52 = (1ULL << 52) - 1;

namespace detail {

consteval Limbs52 to52(const bn254::Limbs& a) {
  return Limbs52{a[0] & kMask52, ((a[0] >> 52) | (a[1] << 12)) & kMask52, ((a[1] >> 40) | (a[2] << 24)) & kMask52,
                 ((a[2] >> 28) | (a[3] << 36)) & kMask52, a[3] >> 16};
}

// 2a mod p for a < p (p < 2^254, so 2a has no carry out of 256 bits).
consteval bn254::Limbs dbl_mod_p(const bn254::Limbs& a) {
  const bn254::Limbs& p = bn254::kFpModulus;
  bn254::Limbs s{}, d{};
  std::uint64_t carry = 0;
  for (int i = 0; i < 4; ++i) {
    const std::uint64_t hi = a[i] >> 63;
    s[i] = (a[i] << 1) | carry;
    carry = hi;
  }
  std::uint64_t borrow = 0;
  for (int i = 0; i < 4; ++i) {
    const unsigned __int128 t = (unsigned __int128)s[i] - p[i] - borrow;
    d[i] = (std::uint64_t)t;
    borrow = (std::uint64_t)(t >> 127);
  }
  return borrow ? s : d;
}

consteval bn254::Limbs times_2k_mod_p(bn254::Limbs a, int k) {
  for (int i = 0; i < k; ++i) a = dbl_mod_p(a);
  return a;
}

consteval bn254::Limbs twice(const bn254::Limbs& a) {
  bn254::Limbs s{};
  std::uint64_t carry = 0;
  for (int i = 0; i < 4; ++i) {
    s[i] = (a[i] << 1) | carry;
    carry = a[i] >> 63;
  }
  return s;
}

}  // namespace detail

// p and 2p in lanes (2p < 2^255).
inline constexpr Limbs52 kP = detail::to52(bn254::kFpModulus);
inline constexpr Limbs52 kP2 = detail::to52(detail::twice(bn254::kFpModulus));
// -p^-1 mod 2^52: the field's -p^-1 mod 2^64, cut to 52 bits.
inline constexpr std::uint64_t kPInv52 = bn254::kFpMontInv & kMask52;
// The conversion factors (see above) and the lane form of 1 (2^260 mod p).
inline constexpr Limbs52 kToLanes = detail::to52(detail::times_2k_mod_p(bn254::kFpMontR, 8));
inline constexpr Limbs52 kFromLanes = detail::to52(bn254::kFpMontR);
inline constexpr Limbs52 kOne = detail::to52(detail::times_2k_mod_p(bn254::kFpMontR, 4));
// The bounds engine.inc rests on: 2^253 < p < 2^254. Then the lane
// product of two inputs below 2^256 is (ab + mp) / 2^260 < 2^252 + p < 2p,
// and a sum of two values below 2p stays below 2^256.
static_assert(bn254::kFpModulus[3] >> 61 == 1, "2^253 < p < 2^254");

}  // namespace vemo::curve::lanes
