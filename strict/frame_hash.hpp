// SHA-512 over labelled frames outside a proof's transcript: the suite's
// generator derivation and its hedged nonces (docs/strict.md, "Nonces" and
// "Range proofs"). The frames are those of the transcript,
//   frame(label, data) = 0x01 || u8(len(label)) || label || u64be(len(data)) || data,
// so every input these hashes see is as unambiguous as a transcript. A
// proof never hashes bytes itself: it asks its Transcript for challenges,
// and this unit for its nonces. Constant time in the data framed.
#pragma once

#include <openssl/evp.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

#include "curve/scalar.hpp"

namespace vemo::strict {

class FrameHash {
 public:
  FrameHash();
  // A copy continues from the same frames independently: a common prefix
  // hashed once and finished many ways.
  FrameHash(const FrameHash& o);
  FrameHash& operator=(const FrameHash&) = delete;

  void frame(std::string_view label, const unsigned char* data, std::size_t n);
  void frame(std::string_view label, std::string_view bytes) {
    frame(label, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  }
  void frame_u32(std::string_view label, std::uint32_t v);

  // SHA-512 of the frames so far; the hash itself is left unchanged.
  std::array<unsigned char, 64> digest() const;

 private:
  struct Free {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
  };
  std::unique_ptr<EVP_MD_CTX, Free> ctx_;
};

// The hedged nonces of one proof (docs/strict.md, section 4):
//   nonce(i) = int(SHA-512(frame("nonce", TAG) || frame("transcript", D) ||
//              frame("secret", w_0) || … || frame("secret", w_{k−1}) ||
//              frame("index", u32be(i)) || frame("random", R))) mod r.
// The prefix up to the secrets is hashed once; each nonce finishes a copy.
// Constant time in the secrets, R and the nonces.
class HedgedNonces {
 public:
  HedgedNonces(const std::array<unsigned char, 64>& transcript_digest, const curve::Scalar* secrets, std::size_t k);
  curve::Scalar nonce(std::uint32_t index, const std::array<unsigned char, 32>& random) const;

 private:
  FrameHash prefix_;
};

}  // namespace vemo::strict
