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
// the frames are FrameHash's (frame_hash.hpp), which the nonce derivation
// (HedgedNonces, over this transcript's digest) and the generators share. Points are
// absorbed in their 32-byte compressed form, scalars as 32 big-endian bytes,
// integers as 8 big-endian bytes. Constant time in the data absorbed
// (SHA-512 has no data-dependent branch or index).
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "curve/point.hpp"
#include "curve/scalar.hpp"
#include "frame_hash.hpp"

namespace vemo::strict {

class Transcript {
 public:
  // A transcript for one proof: the tag, the proof's kind (its relation's
  // or "range"), then the caller's context.
  Transcript(std::string_view kind, std::string_view context);

  void absorb(std::string_view label, const unsigned char* data, std::size_t n) { hash_.frame(label, data, n); }
  void absorb(std::string_view label, std::string_view bytes) { hash_.frame(label, bytes); }
  void absorb_point(std::string_view label, const curve::Point& p);
  void absorb_scalar(std::string_view label, const curve::Scalar& s);
  void absorb_u64(std::string_view label, std::uint64_t v) { hash_.frame_u64(label, v); }

  // The next challenge, a scalar in [0, r); the 64-byte digest it comes
  // from is absorbed back.
  curve::Scalar challenge(std::string_view label);

  // SHA-512 of the stream so far, without changing it (for the nonces).
  std::array<unsigned char, 64> digest() const { return hash_.digest(); }

 private:
  FrameHash hash_;
};

}  // namespace vemo::strict
