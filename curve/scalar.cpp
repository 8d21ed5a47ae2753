#include "scalar.hpp"

#include <mutex>

#include "random.hpp"

namespace vemo::curve {

const BigInt& Bn254Scalar::group_order() {
  static const BigInt r = [] {
    unsigned char b[32];
    limbs::to_be(FrParams::MOD, b);
    return BigInt::from_bytes(b, 32);
  }();
  return r;
}

Bn254Scalar Bn254Scalar::from_bigint(const BigInt& n) {
  BigInt m = BigInt::modulus(n, group_order());
  unsigned char b[32];
  m.to_bytes32(b);
  return {"from_bigint", Fr::from_be_bytes_reduce(b)};
}

Bn254Scalar Bn254Scalar::from_u64(std::uint64_t v) { return {"from_bigint", Fr::from_u64(v)}; }

Bn254Scalar Bn254Scalar::from_i64(std::int64_t v) {
  // |v| without a branch, then a masked negation.
  const std::uint64_t sign = (std::uint64_t)v >> 63;
  const std::uint64_t mask = ct::mask_from_flag(sign);
  const std::uint64_t mag = ((std::uint64_t)v ^ mask) + sign;
  Fr f = Fr::from_u64(mag);
  Fr n = -f;
  f.cmov(n, sign);
  return {"from_bigint", f};
}

BigInt Bn254Scalar::to_bigint() const {
  auto b = serialize();
  return BigInt::from_bytes(b.data(), 32);
}

std::optional<Bn254Scalar> Bn254Scalar::invert() const {
  if (is_zero()) return std::nullopt;
  return Bn254Scalar{"invert", fe.inverse()};
}

std::array<unsigned char, 32> Bn254Scalar::serialize() const {
  std::array<unsigned char, 32> out;
  fe.to_be_bytes(out.data());
  return out;
}

Result<Bn254Scalar, DeserializationError> Bn254Scalar::deserialize(const unsigned char* b, std::size_t n) {
  if (n != 32) return Err{DeserializationError{}};
  return Bn254Scalar{"deserialized Scalar", Fr::from_be_bytes_reduce(b)};
}

std::optional<Bn254Scalar> Bn254Scalar::random() {
  for (;;) {
    std::uint64_t w[4];
    if (!fill_random(w, sizeof w)) return std::nullopt;
    w[3] &= 0x3fffffffffffffffULL;
    Limbs cand{w[0], w[1], w[2], w[3]};
    // Rejection only reveals that a discarded candidate was discarded.
    u64 below = limbs::lt_flag(cand, FrParams::MOD);
    ct::declassify(below);
    if (below) {
      Bn254Scalar s{"random scalar", Fr{}};
      s.fe.l = cand;  // read as a Montgomery representation: still uniform
      ct::wipe(w, sizeof w);
      return s;
    }
  }
}

}  // namespace vemo::curve

namespace vemo::curve {

std::optional<Bn254Scalar> Bn254Scalar::random_nonzero() {
  for (;;) {
    auto s = random();
    if (!s) return s;
    // A zero draw is thrown away: that it happened reveals nothing kept.
    bool zero = s->is_zero();
    ct::declassify(zero);
    if (!zero) return s;
    wipe(*s);
  }
}

}  // namespace vemo::curve
