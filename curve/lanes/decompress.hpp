// Many compressed points decoded at once, their square roots computed in
// lanes (lanes.hpp), and a table of decoded points that the point decoder
// (encoding.hpp: point_from_hex) consults on the threads that install it.
//
// A compressed point costs one square root, a power of about 300 field
// products that one point alone cannot spread over lanes. A batch of
// records holds many points, each decoded where its record is parsed; this
// unit decodes them all beforehand, sixteen square roots at a time, and the
// parsers then find each point ready. The table only ever holds what
// Bn254Point::deserialize returns for the same 32 bytes when it succeeds;
// every other input (a bad encoding, an uncompressed one, a point not seen
// beforehand) goes through the ordinary decoder, so no outcome or error
// text changes.
//
// Everything here is for public data (records being verified): variable
// time, as the _vartime names say. The lane part itself is constant time.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "curve/lanes/lanes.hpp"
#include "curve/point.hpp"

namespace vemo::curve::lanes {

using Compressed = std::array<unsigned char, 32>;

// out[i] = Bn254Point::deserialize(in[i], 32) when that succeeds, nullopt
// when it fails, for i < n; the square roots through k, sixteen at a time.
void deserialize_compressed_batch_vartime(const Kernels& k, const Compressed* in, std::size_t n,
                                          std::optional<Bn254Point>* out);

// Appends to out the 32 bytes of every text in `text` that may be a
// compressed point: the whole text when it is 64 hex digits (a point
// argument, or a scalar's text: a wasted square root, never looked up), and
// the 64-hex-digit string value of every "point" member of a JSON text.
void collect_compressed_hex_vartime(std::string_view text, std::vector<Compressed>& out);

// Decoded points by their 32-byte compressed form.
class DecompressedPoints {
 public:
  // Decodes the distinct encodings among `encodings` through k on up to
  // `threads` threads and keeps those that decode.
  void add_vartime(const Kernels& k, std::vector<Compressed> encodings, unsigned threads);
  // Holds p for those bytes (add_vartime's store; the caller vouches that
  // p is what they decode to).
  void insert_vartime(const Compressed& c, const Bn254Point& p) { points_.insert_or_assign(c, p); }
  // The point those 32 bytes decode to, or nullptr when not held.
  const Bn254Point* find_vartime(const unsigned char* b32) const;
  std::size_t size() const { return points_.size(); }

 private:
  struct Hash {
    std::size_t operator()(const Compressed& c) const;
  };
  std::unordered_map<Compressed, Bn254Point, Hash> points_;
};

// The table this thread's point decoder consults, or nullptr (the default).
const DecompressedPoints* installed_decompressed_points();

// Installs a table for this thread for the guard's lifetime (the previous
// one is restored after). The table must outlive the guard and not change
// while installed.
class UseDecompressedPoints {
 public:
  explicit UseDecompressedPoints(const DecompressedPoints* t);
  ~UseDecompressedPoints();
  UseDecompressedPoints(const UseDecompressedPoints&) = delete;
  UseDecompressedPoints& operator=(const UseDecompressedPoints&) = delete;

 private:
  const DecompressedPoints* previous_;
};

}  // namespace vemo::curve::lanes
