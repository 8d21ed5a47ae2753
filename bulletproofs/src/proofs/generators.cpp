#include "generators.hpp"

#include <algorithm>
#include <mutex>

#include "curve/hash.hpp"
#include "curve/hash_to_curve.hpp"

namespace vemo::bulletproofs {

using curve::Point;

namespace {

// Points for the offsets 0 … kCachedPoints − 1 above the label integer are
// kept once derived: about 80 bytes each, so at most ~650 KB, enough for
// every vector pair up to n = 4096. Points beyond the bound are derived on
// each call. The cache only ever grows as a prefix, under the mutex.
constexpr std::uint64_t kCachedPoints = 1u << 13;

std::mutex g_cache_mutex;
std::vector<Point> g_cache;

// Copies the points for offsets [first, first + count) into out.
void points_for_offsets(std::uint64_t first, std::uint64_t count, std::vector<Point>& out) {
  out.reserve(out.size() + count);
  const std::uint64_t cached_end = std::min(first + count, kCachedPoints);
  if (first < cached_end) {
    std::lock_guard<std::mutex> lock(g_cache_mutex);
    while (g_cache.size() < cached_end) g_cache.push_back(point_from_integer(kLabelInteger + g_cache.size()));
    out.insert(out.end(), g_cache.begin() + first, g_cache.begin() + cached_end);
  }
  for (std::uint64_t k = std::max(first, cached_end); k < first + count; ++k)
    out.push_back(point_from_integer(kLabelInteger + k));
}

}  // namespace

Point point_from_integer(std::uint64_t k) {
  unsigned char bytes[8];
  std::size_t len = 0;
  bool started = false;
  for (int shift = 56; shift >= 0; shift -= 8) {
    const unsigned char b = (unsigned char)(k >> shift);
    if (b != 0 || started || shift == 0) {
      bytes[len++] = b;
      started = true;
    }
  }
  const auto digest = curve::sha512(bytes, len);
  // generate_random_point reads its input as one big-endian integer, so the
  // digest's leading zero bytes (if any) need no stripping.
  return curve::generate_random_point(digest.data(), digest.size());
}

GeneratorVectors derive_generator_vectors(std::uint64_t n, std::uint64_t N) {
  GeneratorVectors v;
  const std::uint64_t n32 = static_cast<std::uint32_t>(n);
  points_for_offsets(0, N, v.G);
  points_for_offsets(n32, N, v.H);
  return v;
}

}  // namespace vemo::bulletproofs
