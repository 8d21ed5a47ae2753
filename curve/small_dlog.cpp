// Baby-step giant-step over a symmetric interval.
//
// Baby steps: j·B for j = 1..m, kept affine and indexed by x coordinate.
// Since j·B and −j·B share their x, one table entry answers for ±j and the
// y coordinate tells the sign. While the table is built each baby step is
// also compared with A, so small amounts are found before any giant step.
// Giant steps: A ∓ k·S with S = (2m+1)·B, k = 1, 2, …; the windows
// k·(2m+1) + [−m, m] tile the interval without gaps. Points are produced in
// projective form and brought to affine a chunk at a time, one field
// inversion per chunk.
#include "small_dlog.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

namespace vemo::curve {

namespace {

constexpr std::size_t kChunk = 256;

// Open-addressing table from an x coordinate to the baby-step index j.
class XIndex {
 public:
  explicit XIndex(std::size_t n) {
    std::size_t cap = 16;
    while (cap < 2 * n) cap <<= 1;
    slots_.assign(cap, 0);
    mask_ = cap - 1;
  }
  void insert(const Fp& x, std::uint32_t j) {
    std::size_t i = slot(x);
    while (slots_[i] != 0) i = (i + 1) & mask_;
    slots_[i] = j;
  }
  // Calls found(j) for every stored j whose x may match, until it says stop.
  template <class F>
  void probe(const Fp& x, F&& found) const {
    for (std::size_t i = slot(x); slots_[i] != 0; i = (i + 1) & mask_)
      if (found(slots_[i])) return;
  }

 private:
  std::size_t slot(const Fp& x) const { return (std::size_t)(x.l[0] ^ (x.l[1] >> 7)) & mask_; }
  std::vector<std::uint32_t> slots_;  // 0 = empty, else j (j >= 1)
  std::size_t mask_;
};

// Multiples of B are derived from the secret key: cleared before release.
template <class T>
struct Wiped {
  std::vector<T> v;
  explicit Wiped(std::size_t n) : v(n) {}
  ~Wiped() { ct::wipe(static_cast<void*>(v.data()), v.size() * sizeof(T)); }
  T& operator[](std::size_t i) { return v[i]; }
  T* data() { return v.data(); }
};

// +1 when p = q, −1 when p = −q, 0 otherwise (both finite).
int same_up_to_sign(const Bn254Point& p, const Bn254Point& q) {
  if (p.x != q.x) return 0;
  return p.y == q.y ? 1 : -1;
}

}  // namespace

std::optional<std::int64_t> small_dlog_vartime(const Bn254Point& a, const Bn254Point& b, std::uint32_t bound) {
  if (a.is_zero()) return 0;
  if (b.is_zero() || bound == 0) return std::nullopt;

  const std::int64_t n = bound;
  const std::uint32_t m = (std::uint32_t)std::min<std::int64_t>(n, (std::int64_t)std::ceil(std::sqrt((double)n)));

  // Baby steps, compared with A on the way.
  Wiped<Bn254Point> baby(m + 1);
  XIndex index(m);
  {
    Wiped<ProjPoint> proj(std::min<std::size_t>(kChunk, m));
    ProjPoint cur = ProjPoint::identity();
    for (std::uint32_t start = 1; start <= m; start += kChunk) {
      const std::size_t len = std::min<std::size_t>(kChunk, m - start + 1);
      for (std::size_t i = 0; i < len; ++i) proj[i] = cur = cur.add_affine(b);
      batch_to_affine(proj.data(), len, &baby[start], "scalar_mul");
      for (std::size_t i = 0; i < len; ++i) {
        const std::uint32_t j = start + (std::uint32_t)i;
        if (const int s = same_up_to_sign(baby[j], a)) return s * (std::int64_t)j;
        index.insert(baby[j].x, j);
      }
    }
  }

  // Giant steps in both directions: A − k·S holds v = k·step + j and
  // A + k·S holds v = −k·step + j, for j in [−m, m].
  const std::int64_t step = 2 * (std::int64_t)m + 1;
  // S = 2·(m·B) + B, from the last baby step.
  const Bn254Point s = ProjPoint::from_affine(baby[m]).dbl().add_affine(b).to_affine("scalar_mul");
  const Bn254Point minus_s = s.neg();
  const std::int64_t last_k = (n + m) / step;  // the last window that reaches into [−n, n]
  ProjPoint up = ProjPoint::from_affine(a), down = up;
  const std::size_t width = 2 * (std::size_t)std::clamp<std::int64_t>(last_k, 1, (std::int64_t)kChunk);
  Wiped<ProjPoint> proj(width);
  Wiped<Bn254Point> aff(width);
  for (std::int64_t k0 = 1; k0 <= last_k; k0 += (std::int64_t)kChunk) {
    const std::size_t len = (std::size_t)std::min<std::int64_t>((std::int64_t)kChunk, last_k - k0 + 1);
    for (std::size_t i = 0; i < len; ++i) {
      proj[2 * i] = up = up.add_affine(minus_s);
      proj[2 * i + 1] = down = down.add_affine(s);
    }
    batch_to_affine(proj.data(), 2 * len, aff.data(), "sub_point");
    for (std::size_t i = 0; i < 2 * len; ++i) {
      const std::int64_t base = (i % 2 == 0 ? 1 : -1) * (k0 + (std::int64_t)(i / 2)) * step;
      std::optional<std::int64_t> v;
      if (aff[i].is_zero()) {
        v = base;
      } else {
        index.probe(aff[i].x, [&](std::uint32_t j) {
          if (const int sign = same_up_to_sign(baby[j], aff[i])) {
            v = base + sign * (std::int64_t)j;
            return true;
          }
          return false;
        });
      }
      // The logarithm is unique, so a match outside the interval means
      // there is none inside it.
      if (v) return (*v >= -n && *v <= n) ? v : std::nullopt;
    }
  }
  return std::nullopt;
}

}  // namespace vemo::curve
