// SHA-512 over labelled frames: the one place of the suite that hashes. The
// transcript is built on it, and so are the generator derivation and the
// hedged nonces (docs/strict.md, "Transcript", "Nonces", "Range proofs"):
//   frame(label, data) = 0x01 || u8(len(label)) || label || u64be(len(data)) || data,
// so every input these hashes see is unambiguous. A proof never hashes bytes
// itself: it asks its Transcript for challenges, and this unit for its
// nonces. Constant time in the data framed.
#pragma once

#include <openssl/evp.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

#include "curve/scalar.hpp"

namespace vemo::strict {

// The suite, its version, the curve, the hash and the generator derivation.
inline constexpr std::string_view kTag = "vemo-strict/1 BN254-G1 SHA-512 SvdW";

// 64 bytes read big-endian and reduced modulo r. Constant time.
curve::Scalar scalar_from_wide(const unsigned char bytes[64]);

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
  void frame_u64(std::string_view label, std::uint64_t v);
  // squeeze(label) = 0x02 || u8(len(label)) || label is appended, then the
  // digest d of the frames so far, which is also returned: a transcript's
  // challenge step.
  std::array<unsigned char, 64> squeeze(std::string_view label);

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
