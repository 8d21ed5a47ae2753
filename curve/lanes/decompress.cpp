// Batch point decompression through the lane engine (decompress.hpp).
#include "curve/lanes/decompress.hpp"

#include <algorithm>
#include <cstring>

#include "curve/bn254.hpp"
#include "curve/parallel.hpp"

namespace vemo::curve::lanes {

namespace {

// y <= p - y on canonical values: the same test as the point decoder's.
bool y_is_small_vartime(const Fp& y) {
  Limbs d;
  return limbs::sub(d, (-y).to_raw(), y.to_raw()) == 0;
}

bool is_hex_digit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

unsigned hex_value(char c) {
  if (c <= '9') return (unsigned)(c - '0');
  if (c >= 'a') return (unsigned)(c - 'a' + 10);
  return (unsigned)(c - 'A' + 10);
}

// 64 hex digits at s into 32 bytes; false if any is not a digit.
bool hex64(const char* s, Compressed& out) {
  for (int i = 0; i < 64; ++i)
    if (!is_hex_digit(s[i])) return false;
  for (int i = 0; i < 32; ++i) out[i] = (unsigned char)(hex_value(s[2 * i]) << 4 | hex_value(s[2 * i + 1]));
  return true;
}

thread_local const DecompressedPoints* t_installed = nullptr;

// Encodings taken by one task of add_vartime: enough for several lane
// batches of sixteen, few enough to spread over the threads.
constexpr std::size_t kChunk = 128;

}  // namespace

void deserialize_compressed_batch_vartime(const Kernels& k, const Compressed* in, std::size_t n,
                                          std::optional<Bn254Point>* out) {
  static const Fp b = Fp::from_u64(bn254::kB);
  // The same checks, in the same order, as Bn254Point::deserialize on 32
  // bytes; the finite candidates' right-hand sides wait for one batch of
  // square roots.
  std::vector<std::size_t> at;
  std::vector<Fp> xs, rhs;
  at.reserve(n), xs.reserve(n), rhs.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    out[i].reset();
    unsigned char head[32];
    std::memcpy(head, in[i].data(), 32);
    const bool greater = head[0] & 0x80, inf = head[0] & 0x40;
    if (greater && inf) continue;
    head[0] &= 0x3f;
    const Limbs xr = limbs::from_be(head);
    if (!limbs::lt_flag(xr, FpParams::MOD)) continue;
    if (inf) {
      out[i] = Bn254Point{"deserialized point", Fp{}, Fp{}, true};
      continue;
    }
    const Fp x = Fp::from_raw_reduce(xr);
    at.push_back(i);
    xs.push_back(x);
    rhs.push_back(x.square() * x + b);
  }
  std::vector<Fp> ys(rhs.size());
  sqrt_candidates(k, ys.data(), rhs.data(), rhs.size());
  for (std::size_t j = 0; j < at.size(); ++j) {
    Fp y = ys[j];
    if (y.square() != rhs[j]) continue;  // no square root: not on the curve
    const bool greater = in[at[j]][0] & 0x80;
    if (y_is_small_vartime(y) == greater) y = -y;
    out[at[j]] = Bn254Point{"deserialized point", xs[j], y, false};
  }
}

void collect_compressed_hex_vartime(std::string_view text, std::vector<Compressed>& out) {
  Compressed c;
  if (text.size() == 64) {
    if (hex64(text.data(), c)) out.push_back(c);
    return;
  }
  // Every "point" member whose value is a string of 64 hex digits, with
  // any whitespace around the colon. Other forms (the array form of a
  // point) are left to the ordinary decoder; a key inside a string value
  // can only make a wrong candidate, which is never asked for.
  constexpr std::string_view kKey = "\"point\"";
  auto space = [](char ch) { return ch == ' ' || ch == '\n' || ch == '\t' || ch == '\r'; };
  for (std::size_t at = text.find(kKey); at != std::string_view::npos; at = text.find(kKey, at)) {
    std::size_t i = at + kKey.size();
    while (i < text.size() && space(text[i])) ++i;
    if (i >= text.size() || text[i] != ':') {
      at = i;
      continue;
    }
    ++i;
    while (i < text.size() && space(text[i])) ++i;
    if (i + 65 < text.size() && text[i] == '"' && text[i + 65] == '"' && hex64(text.data() + i + 1, c)) {
      out.push_back(c);
      i += 66;
    }
    at = i;
  }
}

std::size_t DecompressedPoints::Hash::operator()(const Compressed& c) const {
  // The low 64 bits of x (the last bytes of the big-endian form) are as
  // good as random for points; these are public.
  std::uint64_t v;
  std::memcpy(&v, c.data() + 24, 8);
  return (std::size_t)(v ^ (v >> 29) ^ c[0]);
}

void DecompressedPoints::add_vartime(const Kernels& k, std::vector<Compressed> encodings, unsigned threads) {
  std::sort(encodings.begin(), encodings.end());
  encodings.erase(std::unique(encodings.begin(), encodings.end()), encodings.end());
  encodings.erase(std::remove_if(encodings.begin(), encodings.end(),
                                 [this](const Compressed& c) { return points_.count(c) != 0; }),
                  encodings.end());
  const std::size_t n = encodings.size();
  std::vector<std::optional<Bn254Point>> decoded(n);
  parallel_for((n + kChunk - 1) / kChunk, threads, [&](std::size_t t) {
    const std::size_t lo = t * kChunk, m = std::min(kChunk, n - lo);
    deserialize_compressed_batch_vartime(k, encodings.data() + lo, m, decoded.data() + lo);
  });
  points_.reserve(points_.size() + n);
  for (std::size_t i = 0; i < n; ++i)
    if (decoded[i]) insert_vartime(encodings[i], *decoded[i]);
}

const Bn254Point* DecompressedPoints::find_vartime(const unsigned char* b32) const {
  Compressed c;
  std::memcpy(c.data(), b32, 32);
  const auto it = points_.find(c);
  return it == points_.end() ? nullptr : &it->second;
}

const DecompressedPoints* installed_decompressed_points() { return t_installed; }

UseDecompressedPoints::UseDecompressedPoints(const DecompressedPoints* t) : previous_(t_installed) { t_installed = t; }
UseDecompressedPoints::~UseDecompressedPoints() { t_installed = previous_; }

}  // namespace vemo::curve::lanes
