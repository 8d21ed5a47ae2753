#include "bigint.hpp"

#include <cstring>

namespace vemo::curve {

BigInt BigInt::from_u64(std::uint64_t v) {
  BigInt r;
  mpz_import(r.v_, 1, 1, sizeof(v), 0, 0, &v);
  return r;
}

BigInt BigInt::from_bytes(const unsigned char* b, std::size_t n) {
  BigInt r;
  if (n) mpz_import(r.v_, n, 1, 1, 1, 0, b);
  return r;
}

std::vector<unsigned char> BigInt::to_bytes() const {
  if (mpz_sgn(v_) == 0) return {0};
  std::size_t n = (mpz_sizeinbase(v_, 2) + 7) / 8;
  std::vector<unsigned char> out(n);
  std::size_t written = 0;
  mpz_export(out.data(), &written, 1, 1, 1, 0, v_);
  out.resize(written);
  return out;
}

void BigInt::to_bytes32(unsigned char out[32]) const {
  std::memset(out, 0, 32);
  if (mpz_sgn(v_) == 0) return;
  std::size_t n = (mpz_sizeinbase(v_, 2) + 7) / 8;
  std::size_t written = 0;
  mpz_export(out + (32 - n), &written, 1, 1, 1, 0, v_);
}

std::string BigInt::to_hex() const {
  char* s = mpz_get_str(nullptr, 16, v_);
  std::string r(s);
  void (*freefunc)(void*, size_t);
  mp_get_memory_functions(nullptr, nullptr, &freefunc);
  freefunc(s, std::strlen(s) + 1);
  return r;
}

std::string BigInt::to_dec() const {
  char* s = mpz_get_str(nullptr, 10, v_);
  std::string r(s);
  void (*freefunc)(void*, size_t);
  mp_get_memory_functions(nullptr, nullptr, &freefunc);
  freefunc(s, std::strlen(s) + 1);
  return r;
}

bool BigInt::from_dec(const std::string& s, BigInt& out) { return mpz_set_str(out.v_, s.c_str(), 10) == 0; }

BigInt BigInt::modulus(const BigInt& a, const BigInt& m) {
  BigInt r;
  mpz_fdiv_r(r.v_, a.v_, m.v_);
  return r;
}
BigInt BigInt::mod_add(const BigInt& a, const BigInt& b, const BigInt& m) {
  return modulus(modulus(a, m) + modulus(b, m), m);
}
BigInt BigInt::mod_sub(const BigInt& a, const BigInt& b, const BigInt& m) {
  return modulus(modulus(a, m) - modulus(b, m) + m, m);
}
BigInt BigInt::mod_mul(const BigInt& a, const BigInt& b, const BigInt& m) {
  return modulus(modulus(a, m) * modulus(b, m), m);
}
BigInt BigInt::mod_pow(const BigInt& b, const BigInt& e, const BigInt& m) {
  BigInt r;
  mpz_powm(r.v_, b.v_, e.v_, m.v_);
  return r;
}
BigInt BigInt::pow(const BigInt& a, unsigned long k) {
  BigInt r;
  mpz_pow_ui(r.v_, a.v_, k);
  return r;
}
BigInt BigInt::operator+(const BigInt& o) const {
  BigInt r;
  mpz_add(r.v_, v_, o.v_);
  return r;
}
BigInt BigInt::operator-(const BigInt& o) const {
  BigInt r;
  mpz_sub(r.v_, v_, o.v_);
  return r;
}
BigInt BigInt::operator*(const BigInt& o) const {
  BigInt r;
  mpz_mul(r.v_, v_, o.v_);
  return r;
}
BigInt BigInt::operator&(const BigInt& o) const {
  BigInt r;
  mpz_and(r.v_, v_, o.v_);
  return r;
}
BigInt BigInt::operator<<(unsigned long k) const {
  BigInt r;
  mpz_mul_2exp(r.v_, v_, k);
  return r;
}
BigInt BigInt::operator>>(unsigned long k) const {
  BigInt r;
  mpz_fdiv_q_2exp(r.v_, v_, k);
  return r;
}

}  // namespace vemo::curve
