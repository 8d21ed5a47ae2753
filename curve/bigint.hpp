// BigInt: arbitrary-precision signed integer on GMP, through which integers
// enter and leave the curve layer. Public values only: GMP's mpz routines
// are not constant time, so secrets never pass through here.
#pragma once

#include <gmp.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vemo::curve {

class BigInt {
 public:
  BigInt() { mpz_init(v_); }
  BigInt(long v) { mpz_init_set_si(v_, v); }
  static BigInt from_u64(std::uint64_t v);
  BigInt(const BigInt& o) { mpz_init_set(v_, o.v_); }
  BigInt(BigInt&& o) noexcept {
    mpz_init(v_);
    mpz_swap(v_, o.v_);
  }
  BigInt& operator=(const BigInt& o) {
    if (this != &o) mpz_set(v_, o.v_);
    return *this;
  }
  BigInt& operator=(BigInt&& o) noexcept {
    mpz_swap(v_, o.v_);
    return *this;
  }
  ~BigInt() { mpz_clear(v_); }

  static BigInt one() { return BigInt(1); }

  // Big-endian unsigned bytes; empty input is 0.
  static BigInt from_bytes(const unsigned char* b, std::size_t n);
  static BigInt from_bytes(const std::vector<unsigned char>& b) { return from_bytes(b.data(), b.size()); }
  // Minimal big-endian magnitude, sign dropped; 0 is the single byte 0x00.
  std::vector<unsigned char> to_bytes() const;
  // Magnitude as exactly 32 big-endian bytes; requires |this| < 2^256.
  void to_bytes32(unsigned char out[32]) const;
  // Lowercase hex, no leading zeros, "-" when negative, "0" for zero.
  std::string to_hex() const;
  std::string to_dec() const;
  static bool from_dec(const std::string& s, BigInt& out);

  // Floor residues for positive m.
  static BigInt modulus(const BigInt& a, const BigInt& m);
  static BigInt mod_add(const BigInt& a, const BigInt& b, const BigInt& m);
  static BigInt mod_sub(const BigInt& a, const BigInt& b, const BigInt& m);
  static BigInt mod_mul(const BigInt& a, const BigInt& b, const BigInt& m);
  static BigInt mod_pow(const BigInt& b, const BigInt& e, const BigInt& m);
  static BigInt pow(const BigInt& a, unsigned long k);

  BigInt operator+(const BigInt& o) const;
  BigInt operator-(const BigInt& o) const;
  BigInt operator*(const BigInt& o) const;
  BigInt operator&(const BigInt& o) const;
  BigInt operator<<(unsigned long k) const;
  BigInt operator>>(unsigned long k) const;
  bool operator==(const BigInt& o) const { return mpz_cmp(v_, o.v_) == 0; }
  bool operator!=(const BigInt& o) const { return !(*this == o); }
  bool operator<(const BigInt& o) const { return mpz_cmp(v_, o.v_) < 0; }
  int sign() const { return mpz_sgn(v_); }
  std::size_t bit_length() const { return mpz_sgn(v_) == 0 ? 0 : mpz_sizeinbase(v_, 2); }

  const mpz_t& raw() const { return v_; }
  mpz_t& raw() { return v_; }

 private:
  mpz_t v_;
};

}  // namespace vemo::curve
