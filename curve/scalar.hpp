// Bn254Scalar: an integer modulo the BN254 group order r.
//
// Invariant: `fe` is fully reduced (canonical value in [0, r)). `purpose` is
// a static label naming the operation that produced the value; it is for
// diagnostics only and never takes part in equality, encoding or arithmetic.
// All operations are constant time except those named _vartime and the
// BigInt conversions, which are for public values only.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "bigint.hpp"
#include "field.hpp"
#include "result.hpp"

namespace vemo::curve {

struct DeserializationError {};

struct Bn254Scalar {
  const char* purpose = "zero";
  Fr fe{};

  // Uniform in [0, r) by rejection sampling from the OS random source;
  // none when the OS gives no randomness.
  static std::optional<Bn254Scalar> random();
  // Uniform in [1, r): what provers and key generation use.
  static std::optional<Bn254Scalar> random_nonzero();
  static Bn254Scalar zero() { return {"zero", Fr::zero()}; }
  static Bn254Scalar one() { return {"from_bigint", Fr::one()}; }
  // n mod r, non-negative residue. Public integers only (GMP).
  static Bn254Scalar from_bigint(const BigInt& n);
  // A 64-bit signed integer mod r, constant time (amounts are secret).
  static Bn254Scalar from_i64(std::int64_t v);
  static Bn254Scalar from_u64(std::uint64_t v);
  // Canonical value as a BigInt. Public values only.
  BigInt to_bigint() const;

  Bn254Scalar add(const Bn254Scalar& o) const { return {"add", fe + o.fe}; }
  Bn254Scalar sub(const Bn254Scalar& o) const { return {"sub", fe - o.fe}; }
  Bn254Scalar mul(const Bn254Scalar& o) const { return {"mul", fe * o.fe}; }
  Bn254Scalar neg() const { return {"neg", -fe}; }
  // None for zero. Constant time.
  std::optional<Bn254Scalar> invert() const;
  void add_assign(const Bn254Scalar& o) { fe += o.fe; }
  void sub_assign(const Bn254Scalar& o) { fe -= o.fe; }
  void mul_assign(const Bn254Scalar& o) { fe *= o.fe; }
  bool eq(const Bn254Scalar& o) const { return fe == o.fe; }
  bool is_zero() const { return fe.is_zero(); }

  // 32 big-endian bytes of the canonical value.
  std::array<unsigned char, 32> serialize() const;
  // Exactly 32 bytes, read big-endian and reduced mod r.
  static Result<Bn254Scalar, DeserializationError> deserialize(const unsigned char* b, std::size_t n);

  // Canonical value as four little-endian limbs. Constant time.
  Limbs to_raw() const { return fe.to_raw(); }

  static const BigInt& group_order();
};

using Scalar = Bn254Scalar;

// 1, c, c², … (count entries): the challenge powers of the range proofs.
// Constant time in c.
inline std::vector<Bn254Scalar> powers(const Bn254Scalar& c, std::size_t count) {
  std::vector<Bn254Scalar> out;
  out.reserve(count);
  Bn254Scalar p = Bn254Scalar::one();
  for (std::size_t i = 0; i < count; ++i) {
    out.push_back(p);
    p = p.mul(c);
  }
  return out;
}

// Wipes a secret scalar.
inline void wipe(Bn254Scalar& s) { ct::wipe(s.fe.l); }

}  // namespace vemo::curve
