#include "frame_hash.hpp"

#include <cstdlib>

#include "curve/ct.hpp"

namespace vemo::strict {

namespace {

// OpenSSL's digest calls fail only when it cannot allocate.
void must(int ok) {
  if (ok != 1) std::abort();
}

}  // namespace

FrameHash::FrameHash() : ctx_(EVP_MD_CTX_new()) {
  if (!ctx_) std::abort();
  must(EVP_DigestInit_ex(ctx_.get(), EVP_sha512(), nullptr));
}

FrameHash::FrameHash(const FrameHash& o) : ctx_(EVP_MD_CTX_new()) {
  if (!ctx_) std::abort();
  must(EVP_MD_CTX_copy_ex(ctx_.get(), o.ctx_.get()));
}

void FrameHash::frame(std::string_view label, const unsigned char* data, std::size_t n) {
  // Labels are the suite's own short constants.
  const unsigned char head[2] = {0x01, (unsigned char)label.size()};
  unsigned char len[8];
  std::uint64_t v = n;
  for (int i = 7; i >= 0; --i, v >>= 8) len[i] = (unsigned char)v;
  must(EVP_DigestUpdate(ctx_.get(), head, 2));
  must(EVP_DigestUpdate(ctx_.get(), label.data(), label.size()));
  must(EVP_DigestUpdate(ctx_.get(), len, 8));
  must(EVP_DigestUpdate(ctx_.get(), data, n));
}

void FrameHash::frame_u64(std::string_view label, std::uint64_t v) {
  unsigned char b[8];
  for (int i = 7; i >= 0; --i, v >>= 8) b[i] = (unsigned char)v;
  frame(label, b, 8);
}

std::array<unsigned char, 64> FrameHash::squeeze(std::string_view label) {
  const unsigned char head[2] = {0x02, (unsigned char)label.size()};
  must(EVP_DigestUpdate(ctx_.get(), head, 2));
  must(EVP_DigestUpdate(ctx_.get(), label.data(), label.size()));
  std::array<unsigned char, 64> d = digest();
  must(EVP_DigestUpdate(ctx_.get(), d.data(), d.size()));
  return d;
}

void FrameHash::frame_u32(std::string_view label, std::uint32_t v) {
  const unsigned char b[4] = {(unsigned char)(v >> 24), (unsigned char)(v >> 16), (unsigned char)(v >> 8),
                              (unsigned char)v};
  frame(label, b, 4);
}

std::array<unsigned char, 64> FrameHash::digest() const {
  const FrameHash copy(*this);
  std::array<unsigned char, 64> d{};
  unsigned int len = 0;
  must(EVP_DigestFinal_ex(copy.ctx_.get(), d.data(), &len));
  return d;
}

HedgedNonces::HedgedNonces(const std::array<unsigned char, 64>& transcript_digest, const curve::Scalar* secrets,
                           std::size_t k) {
  prefix_.frame("nonce", kTag);
  prefix_.frame("transcript", transcript_digest.data(), transcript_digest.size());
  for (std::size_t i = 0; i < k; ++i) {
    ct::Wiped<std::array<unsigned char, 32>> w(secrets[i].serialize());
    prefix_.frame("secret", w->data(), w->size());
  }
}

curve::Scalar HedgedNonces::nonce(std::uint32_t index, const std::array<unsigned char, 32>& random) const {
  FrameHash h(prefix_);
  h.frame_u32("index", index);
  h.frame("random", random.data(), random.size());
  ct::Wiped<std::array<unsigned char, 64>> d(h.digest());
  return scalar_from_wide(d->data());
}

curve::Scalar scalar_from_wide(const unsigned char bytes[64]) {
  // hi·2^256 + lo: the Montgomery form of the value 2^256 mod r is R^2.
  curve::Fr two_256;
  two_256.l = curve::FrParams::R2;
  const curve::Fr hi = curve::Fr::from_be_bytes_reduce(bytes);
  const curve::Fr lo = curve::Fr::from_be_bytes_reduce(bytes + 32);
  return curve::Scalar{"challenge", hi * two_256 + lo};
}

}  // namespace vemo::strict
