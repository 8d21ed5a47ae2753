// Signed 5-bit windows and constant-time table lookups: what the
// constant-time multiplications (scalar_mul.cpp, fixed_base.cpp) share.
//
// A row holds the affine multiples 1·B .. 16·B of some point B (never the
// identity). A signed digit d in [-16, 16] selects |d|·B from its row by
// scanning all sixteen entries with masks, negates it when d < 0, and adds it
// with the mixed formula, which is complete for any accumulator as long as
// the affine point is not the identity; a zero digit (and a row the caller
// marks dead) is absorbed by a masked move. No branch or memory index
// depends on the digit. The checking build (verify.hpp) checks that digits
// stay in range and that the mixed Jacobian addition never meets its
// exceptional case.
#pragma once

#include <cstdint>

#include "point.hpp"
#include "verify.hpp"

namespace vemo::curve {

struct AffineXY {
  Fp x, y;
};

constexpr int kWindowBits = 5;
constexpr int kRowLen = 1 << (kWindowBits - 1);  // 16 entries per row

// Whether k < 2^(5·windows), so that the windows read every bit of k (for
// the checking build). Variable time.
inline bool below_windows_vartime(const Limbs& k, int windows) {
  const int bits = windows * kWindowBits;
  for (int i = 0; i < 4; ++i) {
    if (bits >= 64 * (i + 1)) continue;
    const u64 above = bits <= 64 * i ? k[i] : k[i] >> (bits - 64 * i);
    if (above != 0) return false;
  }
  return true;
}

// Signed base-32 digits of k: k = sum digits[w]·32^w, digits in [-16, 16].
// The top digit takes the last carry, so the caller must give enough windows
// that the top window's value plus one stays at most 16. Masks only.
inline void recode_signed5(const Limbs& k, int windows, std::int8_t* digits) {
  u64 carry = 0;
  for (int w = 0; w < windows; ++w) {
    const int bit = w * kWindowBits;
    u64 v = 0;
    if (bit < 256) {  // public schedule
      v = k[bit / 64] >> (bit % 64);
      if (bit % 64 > 64 - kWindowBits && bit / 64 + 1 < 4) v |= k[bit / 64 + 1] << (64 - bit % 64);
      v &= (1u << kWindowBits) - 1;
    }
    v += carry;  // 0..32
    // v > 16 becomes v - 32 with a carry into the next window.
    carry = (u64)(16 - (std::int64_t)v) >> 63;
    digits[w] = (std::int8_t)((std::int64_t)v - (std::int64_t)(carry << kWindowBits));
    VEMO_VERIFY_CHECK(-kRowLen <= digits[w] && digits[w] <= kRowLen, "window digit in [-16, 16]");
  }
  VEMO_VERIFY_CHECK(below_windows_vartime(k, windows) && carry == 0,
                    "the windows cover the scalar: no bit above them, no carry out of the top one");
}

// digit·B from the row of B, into q (x, y); returns 1 when the digit is
// non-zero (for 0, q is (0, 0), which is no point). Constant time.
inline u64 lookup_signed(const AffineXY* row, std::int8_t digit, Bn254Point& q) {
  VEMO_VERIFY_CHECK(-kRowLen <= digit && digit <= kRowLen, "window digit in [-16, 16]");
  const std::int64_t d = digit;
  const u64 neg = (u64)d >> 63;
  const u64 mag = (u64)((d ^ -(std::int64_t)neg) + (std::int64_t)neg);  // |d|, 0..16
  u64 e[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  for (int j = 0; j < kRowLen; ++j) {
    const u64 m = ct::mask_from_flag(ct::eq_flag((u64)(j + 1), mag));
    for (int i = 0; i < 4; ++i) {
      e[i] |= row[j].x.l[i] & m;
      e[4 + i] |= row[j].y.l[i] & m;
    }
  }
  for (int i = 0; i < 4; ++i) {
    q.x.l[i] = e[i];
    q.y.l[i] = e[4 + i];
  }
  q.infinity = false;
  q.y.cmov(-q.y, neg);
  return 1 ^ ct::is_zero_flag(mag);
}

// acc += digit·B for the row of B. `live` is 1, or 0 to add nothing (a row
// built from the identity holds junk). Constant time in digit and live.
inline void add_signed(ProjPoint& acc, const AffineXY* row, std::int8_t digit, u64 live = 1) {
  Bn254Point q{"table", {}, {}, false};
  const u64 nonzero = lookup_signed(row, digit, q);
  const ProjPoint sum = acc.add_affine(q);
  acc.cmov(sum, nonzero & live);
}

}  // namespace vemo::curve
