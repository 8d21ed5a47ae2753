#include "generators.hpp"

#include <mutex>

#include "curve/hash_to_curve.hpp"
#include "curve/msm_vartime.hpp"
#include "frame_hash.hpp"
#include "transcript.hpp"

namespace vemo::strict {

using curve::Point;

namespace {

constexpr std::size_t kSizes = 13;  // lengths 2^0 … 2^12

std::mutex g_mutex;
std::array<std::shared_ptr<const Generators>, kSizes> g_cache;

std::size_t log2_of(std::size_t N) {
  std::size_t k = 0;
  while ((std::size_t{1} << k) < N) ++k;
  return k;
}

std::shared_ptr<const Generators> cached(std::size_t slot) {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_cache[slot];
}

// The longest cached vectors shorter than slot's length: their points are a
// prefix of the ones wanted.
std::shared_ptr<const Generators> longest_below(std::size_t slot) {
  std::lock_guard<std::mutex> lock(g_mutex);
  for (std::size_t s = slot; s-- > 0;)
    if (g_cache[s]) return g_cache[s];
  return nullptr;
}

std::array<unsigned char, 64> digest_of(const Generators& g) {
  const std::size_t N = g.G.size();
  FrameHash h;
  h.frame("generators", kTag);
  h.frame_u32("size", (std::uint32_t)N);
  std::vector<unsigned char> bytes(kPointBytes * N);
  for (const auto* vec : {&g.G, &g.H}) {
    for (std::size_t i = 0; i < N; ++i) {
      const auto b = encode_point((*vec)[i]);
      std::copy(b.begin(), b.end(), bytes.begin() + (std::ptrdiff_t)(kPointBytes * i));
    }
    h.frame(vec == &g.G ? "G" : "H", bytes.data(), bytes.size());
  }
  const auto q = encode_point(g.Q);
  h.frame("Q", q.data(), q.size());
  return h.digest();
}

}  // namespace

Point generator_point(std::string_view label, std::uint32_t index) {
  FrameHash h;
  h.frame("generator", kTag);
  if (label == "Q")
    h.frame("Q", "");
  else
    h.frame_u32(label, index);
  const auto d = h.digest();
  return curve::generate_random_point(d.data(), d.size());
}

Expected<std::shared_ptr<const Generators>> generators(std::size_t N) {
  if (N == 0 || N > kMaxGenerators || (N & (N - 1)) != 0)
    return error("generator vectors: the length " + std::to_string(N) + " is not a power of two from 1 to " +
                 std::to_string(kMaxGenerators));
  const std::size_t slot = log2_of(N);
  if (auto hit = cached(slot)) return hit;

  auto g = std::make_shared<Generators>();
  std::size_t from = 0;
  if (auto shorter = longest_below(slot)) {
    g->G = shorter->G;
    g->H = shorter->H;
    g->Q = shorter->Q;
    from = shorter->G.size();
  } else {
    g->Q = generator_point("Q", 0);
  }
  g->G.reserve(N);
  g->H.reserve(N);
  for (std::size_t i = from; i < N; ++i) {
    g->G.push_back(generator_point("G", (std::uint32_t)i));
    g->H.push_back(generator_point("H", (std::uint32_t)i));
  }
  g->digest = digest_of(*g);
  // Verifiers sum over these points again and again: their odd-multiple
  // tables stay (bounded by the curve layer's own limit).
  curve::pin_vartime_tables(g->G.data() + from, N - from);
  curve::pin_vartime_tables(g->H.data() + from, N - from);
  curve::pin_vartime_tables(&g->Q, 1);

  std::lock_guard<std::mutex> lock(g_mutex);
  // Another thread may have stored the same length meanwhile: the vectors
  // are equal whoever derives them, so the first one stays.
  if (!g_cache[slot]) g_cache[slot] = std::move(g);
  return g_cache[slot];
}

}  // namespace vemo::strict
