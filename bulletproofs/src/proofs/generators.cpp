#include "generators.hpp"

#include <algorithm>
#include <memory>
#include <mutex>

#include "curve/hash.hpp"
#include "curve/hash_to_curve.hpp"
#include "curve/lanes/map_batch.hpp"
#include "curve/msm_vartime.hpp"

namespace vemo::bulletproofs {

using curve::Point;

namespace {

// Points for the offsets 0 … kCachedPoints − 1 above the label integer are
// kept once derived: about 80 bytes each, so at most ~650 KB, enough for
// every vector pair up to n = 4096, and their odd-multiple tables are
// pinned for the variable-time sums of verification. Points beyond the
// bound are derived on each call. The cache is an immutable snapshot that
// only ever grows as a prefix: readers copy from the snapshot they loaded,
// and deriving (milliseconds for a long vector) happens outside the mutex,
// which guards only the swap, so no thread waits for another's derivation.
constexpr std::uint64_t kCachedPoints = 1u << 13;

using Snapshot = std::shared_ptr<const std::vector<Point>>;

std::mutex g_cache_mutex;
Snapshot g_cache = std::make_shared<const std::vector<Point>>();

Snapshot load_cache() {
  std::lock_guard<std::mutex> lock(g_cache_mutex);
  return g_cache;
}

// point_from_integer(first + i) for i < count, appended to out. Where the
// lane engine is on, the maps' square roots are taken together in lanes
// (curve/lanes/map_batch.hpp): the same points.
void points_from_integers(std::uint64_t first, std::uint64_t count, std::vector<Point>& out) {
  const curve::lanes::Kernels* k = curve::lanes::active();
  if (k == nullptr || count < 16) {
    for (std::uint64_t i = 0; i < count; ++i) out.push_back(point_from_integer(first + i));
    return;
  }
  std::vector<curve::Fp> u(count);
  for (std::uint64_t i = 0; i < count; ++i) u[i] = map_input_from_integer(first + i);
  const std::size_t at = out.size();
  out.resize(at + count);
  curve::lanes::map_to_curve_batch_vartime(*k, u.data(), count, out.data() + at);
}

// A snapshot holding at least the first `end` points.
Snapshot cache_through(std::uint64_t end) {
  Snapshot snap = load_cache();
  if (snap->size() >= end) return snap;
  const std::uint64_t from = snap->size();
  std::vector<Point> more;
  more.reserve(end - from);
  points_from_integers(kLabelInteger + from, end - from, more);
  curve::pin_vartime_tables(more.data(), more.size());
  std::lock_guard<std::mutex> lock(g_cache_mutex);
  if (g_cache->size() < end) {
    // Another thread may have grown the cache meanwhile: append only what
    // it still lacks (the points are the same whoever derives them).
    auto grown = std::make_shared<std::vector<Point>>(*g_cache);
    grown->insert(grown->end(), more.begin() + (std::ptrdiff_t)(grown->size() - from), more.end());
    g_cache = std::move(grown);
  }
  return g_cache;
}

// Copies the points for offsets [first, first + count) into out.
void points_for_offsets(std::uint64_t first, std::uint64_t count, std::vector<Point>& out) {
  out.reserve(out.size() + count);
  const std::uint64_t cached_end = std::min(first + count, kCachedPoints);
  if (first < cached_end) {
    const Snapshot snap = cache_through(cached_end);
    out.insert(out.end(), snap->begin() + (std::ptrdiff_t)first, snap->begin() + (std::ptrdiff_t)cached_end);
  }
  const std::uint64_t rest = std::max(first, cached_end);
  if (rest < first + count) points_from_integers(kLabelInteger + rest, first + count - rest, out);
}

}  // namespace

curve::Fp map_input_from_integer(std::uint64_t k) {
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
  // The map reads its input as one big-endian integer, so the digest's
  // leading zero bytes (if any) need no stripping.
  return curve::map_input_from_bytes(digest.data(), digest.size());
}

Point point_from_integer(std::uint64_t k) {
  // generate_random_point of the digest, its label included.
  const Point q = curve::SvdW::map_to_curve_g1_unchecked(map_input_from_integer(k));
  return Point{"deserialized point", q.x, q.y, false};
}

GeneratorVectors derive_generator_vectors(std::uint64_t n, std::uint64_t N) {
  GeneratorVectors v;
  const std::uint64_t n32 = static_cast<std::uint32_t>(n);
  points_for_offsets(0, N, v.G);
  points_for_offsets(n32, N, v.H);
  return v;
}

}  // namespace vemo::bulletproofs
