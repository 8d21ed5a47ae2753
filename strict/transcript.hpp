// The transcript of the strict proof suite: one place that absorbs, one that
// squeezes, for every proof of the suite (docs/strict.md, "Transcript").
//
// The transcript is a byte stream S hashed with SHA-512 as it grows. It
// starts with the suite's tag and the caller's context:
//
//   S = frame("protocol", kTag) || frame("context", context)
//
// absorb(label, data) appends frame(label, data) =
//   0x01 || u8(len(label)) || label || u64be(len(data)) || data,
// and challenge(label) appends 0x02 || u8(len(label)) || label, takes the
// 64-byte digest d = SHA-512(S) of the stream so far, appends d itself (so
// every later challenge depends on every earlier one) and returns
// int(d) mod r, read big-endian: 512 bits reduced modulo a 254-bit r, whose
// bias is below 2^-250.
//
// Every item is labelled and length-prefixed, so no two different sequences
// of absorbs give the same stream. A proof never hashes bytes on its own:
// the nonce derivation (nonce_digest) is the one other use of SHA-512, and it
// hashes the transcript's digest, not a stream of its own. Points are
// absorbed in their 32-byte compressed form, scalars as 32 big-endian bytes,
// integers as 8 big-endian bytes. Constant time in the data absorbed
// (SHA-512 has no data-dependent branch or index).
#pragma once

#include <openssl/evp.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

#include "curve/point.hpp"
#include "curve/scalar.hpp"

namespace vemo::strict {

// The suite, its version, the curve, the hash and the generator derivation.
inline constexpr std::string_view kTag = "vemo-strict/1 BN254-G1 SHA-512 SvdW";

class Transcript {
 public:
  // A transcript for one proof: the tag, the proof's kind (its relation's
  // or "range"), then the caller's context.
  Transcript(std::string_view kind, std::string_view context);
  // A copy carries on the same stream independently (a verifier that
  // checks a prover's transcript at a midpoint).
  Transcript(const Transcript& o);
  Transcript& operator=(const Transcript&) = delete;

  void absorb(std::string_view label, const unsigned char* data, std::size_t n);
  void absorb(std::string_view label, std::string_view bytes) {
    absorb(label, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  }
  void absorb_point(std::string_view label, const curve::Point& p);
  void absorb_scalar(std::string_view label, const curve::Scalar& s);
  void absorb_u64(std::string_view label, std::uint64_t v);

  // The next challenge, a scalar in [0, r); the 64-byte digest it comes
  // from is absorbed back.
  curve::Scalar challenge(std::string_view label);

  // SHA-512 of the stream so far, without changing it (for the nonces).
  std::array<unsigned char, 64> digest() const;

 private:
  friend curve::Scalar nonce_digest(const std::array<unsigned char, 64>&, const curve::Scalar*, std::size_t,
                                    std::uint32_t, const unsigned char*);
  struct Bare {};
  explicit Transcript(Bare);
  struct Free {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
  };
  void frame(unsigned char op, std::string_view label);
  void update(const void* data, std::size_t n);
  std::unique_ptr<EVP_MD_CTX, Free> ctx_;
};

// The nonce of secret `index` (docs/strict.md, "Nonces"):
//
//   int(SHA-512(frame("nonce", kTag) || frame("transcript", digest) ||
//               frame("secret", w_0) || ... || frame("secret", w_{k-1}) ||
//               frame("index", u32be(index)) || frame("random", random))) mod r
//
// digest is the statement transcript's digest(), secrets[0 .. k) the
// relation's secrets, random 32 bytes. Constant time in the secrets and in
// random; may be zero (the caller draws again).
curve::Scalar nonce_digest(const std::array<unsigned char, 64>& digest, const curve::Scalar* secrets, std::size_t k,
                           std::uint32_t index, const unsigned char* random);

// 64 bytes read big-endian and reduced modulo r. Constant time.
curve::Scalar scalar_from_wide(const unsigned char bytes[64]);

}  // namespace vemo::strict
