#include "transcript.hpp"

#include <cstdlib>

#include "curve/ct.hpp"

namespace vemo::strict {

using curve::Point;
using curve::Scalar;

namespace {

void put_u64(unsigned char out[8], std::uint64_t v) {
  for (int i = 7; i >= 0; --i, v >>= 8) out[i] = (unsigned char)v;
}

// OpenSSL's digest calls fail only when it cannot allocate; there is no way
// on from that in the middle of a proof.
void must(int ok) {
  if (ok != 1) std::abort();
}

}  // namespace

Transcript::Transcript(std::string_view kind, std::string_view context) : ctx_(EVP_MD_CTX_new()) {
  if (!ctx_) std::abort();
  must(EVP_DigestInit_ex(ctx_.get(), EVP_sha512(), nullptr));
  absorb("protocol", kTag);
  absorb("kind", kind);
  absorb("context", context);
}

Transcript::Transcript(Bare) : ctx_(EVP_MD_CTX_new()) {
  if (!ctx_) std::abort();
  must(EVP_DigestInit_ex(ctx_.get(), EVP_sha512(), nullptr));
}

Transcript::Transcript(const Transcript& o) : ctx_(EVP_MD_CTX_new()) {
  if (!ctx_) std::abort();
  must(EVP_MD_CTX_copy_ex(ctx_.get(), o.ctx_.get()));
}

void Transcript::update(const void* data, std::size_t n) { must(EVP_DigestUpdate(ctx_.get(), data, n)); }

void Transcript::frame(unsigned char op, std::string_view label) {
  // Labels are the suite's own short constants.
  const unsigned char head[2] = {op, (unsigned char)label.size()};
  update(head, 2);
  update(label.data(), label.size());
}

void Transcript::absorb(std::string_view label, const unsigned char* data, std::size_t n) {
  frame(0x01, label);
  unsigned char len[8];
  put_u64(len, n);
  update(len, 8);
  update(data, n);
}

void Transcript::absorb_point(std::string_view label, const Point& p) {
  const auto b = p.serialize_compressed();
  absorb(label, b.data(), b.size());
}

void Transcript::absorb_scalar(std::string_view label, const Scalar& s) {
  const auto b = s.serialize();
  absorb(label, b.data(), b.size());
}

void Transcript::absorb_u64(std::string_view label, std::uint64_t v) {
  unsigned char b[8];
  put_u64(b, v);
  absorb(label, b, 8);
}

Scalar Transcript::challenge(std::string_view label) {
  frame(0x02, label);
  std::array<unsigned char, 64> d = digest();
  update(d.data(), d.size());
  return scalar_from_wide(d.data());
}

std::array<unsigned char, 64> Transcript::digest() const {
  const Transcript copy(*this);
  std::array<unsigned char, 64> d{};
  unsigned int len = 0;
  must(EVP_DigestFinal_ex(copy.ctx_.get(), d.data(), &len));
  return d;
}

Scalar nonce_digest(const std::array<unsigned char, 64>& digest, const Scalar* secrets, std::size_t k,
                    std::uint32_t index, const unsigned char* random) {
  Transcript t{Transcript::Bare{}};
  t.absorb("nonce", kTag);
  t.absorb("transcript", digest.data(), digest.size());
  for (std::size_t i = 0; i < k; ++i) {
    std::array<unsigned char, 32> w = secrets[i].serialize();
    t.absorb("secret", w.data(), w.size());
    ct::wipe(w);
  }
  const unsigned char idx[4] = {(unsigned char)(index >> 24), (unsigned char)(index >> 16), (unsigned char)(index >> 8),
                                (unsigned char)index};
  t.absorb("index", idx, 4);
  t.absorb("random", random, 32);
  std::array<unsigned char, 64> d = t.digest();
  const Scalar rho = scalar_from_wide(d.data());
  ct::wipe(d);
  return Scalar{"nonce", rho.fe};
}

Scalar scalar_from_wide(const unsigned char bytes[64]) {
  // hi·2^256 + lo: the Montgomery form of the value 2^256 mod r is R^2.
  curve::Fr two_256;
  two_256.l = curve::FrParams::R2;
  const curve::Fr hi = curve::Fr::from_be_bytes_reduce(bytes);
  const curve::Fr lo = curve::Fr::from_be_bytes_reduce(bytes + 32);
  return Scalar{"challenge", hi * two_256 + lo};
}

}  // namespace vemo::strict
