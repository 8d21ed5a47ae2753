// Variable-time multiplication for public scalars and points: single
// multiplications by public scalars and multi-scalar sums in verification.
//
// Every term is first split by GLV into two halves below 2^132 (k1 on P,
// k2 on lambda P = (beta x, y)). Two engines then sum the halves:
// - Straus, for the sums of one proof (up to a few hundred terms): each
//   half in width-5 NAF (odd digits in [-15, 15], at most one non-zero
//   digit in five) and one shared chain of doublings adding the affine odd
//   multiples named by the digits;
// - Pippenger, for the large sums of batch verification: signed windows of
//   c bits, one bucket per digit magnitude, the buckets summed by the
//   running-sum trick.
// Jacobian coordinates with the a = 0 formulas keep doublings and mixed
// additions cheap; their special cases (identity, equal or opposite points)
// are handled by branches, which is why this code is for public data only.
//
// Odd-multiple rows come from two stores that never share space:
// - pinned rows, for the library's own generators (the generator vectors
//   of range proofs, the generator pair), built once and kept for the
//   process, so no stream of caller points can push them out;
// - a bounded cache for caller points that recur (a busy account's key, a
//   custom generator pair): a point gets a row on its second sight, rows
//   are evicted least recently used first, and the hash over the whole
//   point is keyed with a per-process random seed, so chosen points cannot
//   pile up in one bucket. Rows are shared_ptrs: a call still reading an
//   evicted row keeps it alive.
#include <algorithm>
#include <array>
#include <cstring>
#include <list>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>
#include <vector>

#include "point.hpp"
#include "point_key.hpp"
#include "random.hpp"
#include "window.hpp"

namespace vemo::curve {

void glv_split(const Bn254Scalar& k, Limbs& k1, u64& neg1, Limbs& k2, u64& neg2);

namespace {

struct Jac {
  Fp X, Y, Z;  // (X/Z^2, Y/Z^3); Z = 0 is the identity
  bool inf = true;
};

// dbl-2009-l (the constant-time engines' formula), with the identity.
Jac dbl(const Jac& p) {
  if (p.inf) return p;
  const JacPoint r = jac_dbl(JacPoint{p.X, p.Y, p.Z});
  return Jac{r.X, r.Y, r.Z, false};
}

// madd-2007-bl, with the special cases.
Jac madd(const Jac& p, const Fp& x2, const Fp& y2) {
  if (p.inf) return Jac{x2, y2, Fp::one(), false};
  const Fp Z1Z1 = p.Z.square();
  const Fp U2 = x2 * Z1Z1;
  const Fp S2 = y2 * p.Z * Z1Z1;
  const Fp H = U2 - p.X;
  Fp rr = S2 - p.Y;
  if (H.is_zero()) {
    if (rr.is_zero()) return dbl(Jac{x2, y2, Fp::one(), false});
    return Jac{};
  }
  rr = rr + rr;
  const Fp HH = H.square();
  Fp I = HH + HH;
  I = I + I;
  const Fp J = H * I;
  const Fp V = p.X * I;
  Jac r;
  r.X = rr.square() - J - V - V;
  const Fp yj = p.Y * J;
  r.Y = rr * (V - r.X) - yj - yj;
  r.Z = (p.Z + H).square() - Z1Z1 - HH;
  r.inf = false;
  return r;
}

// add-2007-bl, with the special cases.
Jac add(const Jac& p, const Jac& q) {
  if (p.inf) return q;
  if (q.inf) return p;
  const Fp Z1Z1 = p.Z.square(), Z2Z2 = q.Z.square();
  const Fp U1 = p.X * Z2Z2, U2 = q.X * Z1Z1;
  const Fp S1 = p.Y * q.Z * Z2Z2, S2 = q.Y * p.Z * Z1Z1;
  const Fp H = U2 - U1;
  Fp rr = S2 - S1;
  if (H.is_zero()) {
    if (rr.is_zero()) return dbl(p);
    return Jac{};
  }
  Fp I = H + H;
  I = I.square();
  const Fp J = H * I;
  rr = rr + rr;
  const Fp V = U1 * I;
  Jac r;
  r.X = rr.square() - J - V - V;
  const Fp sj = S1 * J;
  r.Y = rr * (V - r.X) - sj - sj;
  r.Z = ((p.Z + q.Z).square() - Z1Z1 - Z2Z2) * H;
  r.inf = false;
  return r;
}

ProjPoint to_proj(const Jac& p) {
  if (p.inf) return ProjPoint::identity();
  // Homogeneous (X Z : Y : Z^3) has the same affine point as Jacobian (X : Y : Z).
  return ProjPoint{p.X * p.Z, p.Y, p.Z.square() * p.Z};
}

// GLV halves of one term, as unsigned magnitudes with their signs.
struct Halves {
  Limbs k[2];
  u64 neg[2];
};

// A scalar already below 2^128 in magnitude (batch weights, −1, small
// integers) is used as one half as it is: no GLV split, an empty lambda half.
Halves split(const Bn254Scalar& s) {
  Halves h;
  const Limbs raw = s.to_raw();
  if ((raw[2] | raw[3]) == 0) {
    h.k[0] = raw;
    h.neg[0] = 0;
  } else if (const Limbs minus = s.neg().to_raw(); (minus[2] | minus[3]) == 0) {
    h.k[0] = minus;
    h.neg[0] = 1;
  } else {
    glv_split(s, h.k[0], h.neg[0], h.k[1], h.neg[1]);
    return h;
  }
  h.k[1] = Limbs{0, 0, 0, 0};
  h.neg[1] = 0;
  return h;
}

// ---- odd-multiple rows -------------------------------------------------------

// Window widths of the NAF: 5 (odd multiples 1 … 15) for caller points,
// 7 (1 … 63) for the most used pinned generators, whose larger rows are
// built once and cut the additions per half from about 22 to about 17.
constexpr int kW = 5;
constexpr int kWideW = 7;
constexpr int kBits = 134;  // halves are below 2^132; the NAF may be one digit longer

// P, 3P, …, (2^(w−1) − 1)P, affine, with beta·x kept beside x so the lambda
// half needs no multiplication per digit.
struct OddRow {
  int width;
  std::vector<Fp> x, bx, y;
};

// Rows of width w for points, built together with one batch inversion.
std::vector<OddRow> build_rows(const Bn254Point* const* points, std::size_t n, int w) {
  const std::size_t kOdd = std::size_t{1} << (w - 2);
  std::vector<ProjPoint> proj(n * kOdd);
  for (std::size_t b = 0; b < n; ++b) {
    const Bn254Point& p = *points[b];
    Jac cur{p.x, p.y, Fp::one(), false};
    const Jac two = dbl(cur);
    proj[b * kOdd] = to_proj(cur);
    for (std::size_t j = 1; j < kOdd; ++j) {
      cur = add(cur, two);
      proj[b * kOdd + j] = to_proj(cur);
    }
  }
  std::vector<Bn254Point> aff(proj.size());
  batch_to_affine(proj.data(), proj.size(), aff.data(), "table");
  const Fp beta = glv_beta();
  std::vector<OddRow> rows(n, OddRow{w, std::vector<Fp>(kOdd), std::vector<Fp>(kOdd), std::vector<Fp>(kOdd)});
  for (std::size_t b = 0; b < n; ++b)
    for (std::size_t j = 0; j < kOdd; ++j) {
      const Bn254Point& e = aff[b * kOdd + j];
      rows[b].x[j] = e.x;
      rows[b].bx[j] = e.x * beta;
      rows[b].y[j] = e.y;
    }
  return rows;
}

using Key = PointKey;
using KeyHasher = PointKeyHash;

// Pinned rows: never evicted, so raw pointers into the map stay valid for
// the process.
constexpr std::size_t kMaxPinned = (1u << 14) + 64;  // the generator cache's bound, with room for pairs
constexpr std::size_t kWidePinned = 1024;            // about 3 MiB of wide rows

struct Pinned {
  std::shared_mutex mu;
  std::unordered_map<Key, std::unique_ptr<const OddRow>, KeyHasher> rows;
};

Pinned& pinned() {
  static Pinned p;
  return p;
}

// Caller points: least recently used first out, admitted on second sight.
constexpr std::size_t kMaxCachedRows = 4096;  // about 3 MiB of rows
constexpr std::size_t kMaxSeenOnce = 4 * kMaxCachedRows;

template <class V>
class LruMap {
 public:
  explicit LruMap(std::size_t cap) : cap_(cap) {}
  // The value for k, marked most recently used; null when absent.
  V* find(const Key& k) {
    auto it = map_.find(k);
    if (it == map_.end()) return nullptr;
    order_.splice(order_.begin(), order_, it->second.second);
    return &it->second.first;
  }
  bool erase(const Key& k) {
    auto it = map_.find(k);
    if (it == map_.end()) return false;
    order_.erase(it->second.second);
    map_.erase(it);
    return true;
  }
  // Inserts (or refreshes) k, evicting the least recently used beyond the cap.
  void put(const Key& k, V v) {
    if (V* old = find(k)) {
      *old = std::move(v);
      return;
    }
    order_.push_front(k);
    map_.emplace(k, std::make_pair(std::move(v), order_.begin()));
    if (map_.size() > cap_) {
      map_.erase(order_.back());
      order_.pop_back();
    }
  }
  std::size_t size() const { return map_.size(); }

 private:
  std::size_t cap_;
  std::list<Key> order_;  // most recently used first
  std::unordered_map<Key, std::pair<V, std::list<Key>::iterator>, KeyHasher> map_;
};

struct Empty {};

struct CallerCache {
  std::mutex mu;
  LruMap<std::shared_ptr<const OddRow>> rows{kMaxCachedRows};
  LruMap<Empty> seen_once{kMaxSeenOnce};
};

CallerCache& caller_cache() {
  static CallerCache c;
  return c;
}

// ---- Straus ------------------------------------------------------------------

// Bits [at, at + c) of a limb vector (c <= 32, at < 256; zeros past the top).
u64 bits_at(const Limbs& k, int at, int c) {
  const int limb = at / 64, off = at % 64;
  u64 v = k[(std::size_t)limb] >> off;
  if (off + c > 64 && limb + 1 < 4) v |= k[(std::size_t)limb + 1] << (64 - off);
  return v & ((u64{1} << c) - 1);
}

// Width-w NAF of a half (below 2^132): odd digits in (−2^(w−1), 2^(w−1)),
// at least w − 1 zeros after each non-zero digit. Scans the bits directly,
// skipping runs that match the carry.
void wnaf(const Limbs& k, int w, int8_t out[kBits]) {
  std::memset(out, 0, kBits);
  u64 carry = 0;
  int bit = 0;
  while (bit < kBits) {
    if (bits_at(k, bit, 1) == carry) {
      ++bit;
      continue;
    }
    const int now = std::min(w, kBits - bit);
    int64_t word = (int64_t)(bits_at(k, bit, now) + carry);
    carry = (u64)(word >> (w - 1)) & 1;
    word -= (int64_t)(carry << w);
    out[bit] = (int8_t)word;
    bit += now;
  }
}

Jac pippenger(const std::vector<Halves>& halves, const std::vector<const Bn254Point*>& pts);

// Above this many points without a row, building the rows costs more than
// Pippenger's whole sum: a Straus call that meets so many hands over.
constexpr std::size_t kFreshForPippenger = 48;

Jac straus(const std::vector<Halves>& halves, const std::vector<const Bn254Point*>& pts, bool may_hand_over) {
  const std::size_t t = pts.size();
  // Rows: pinned first (shared lock), then the caller cache (one lock for
  // the whole call), then built here in one batch.
  std::vector<const OddRow*> rows(t, nullptr);
  std::vector<std::shared_ptr<const OddRow>> keep;  // holds cached rows for the call
  std::vector<std::size_t> missing;
  {
    Pinned& pin = pinned();
    std::shared_lock<std::shared_mutex> lock(pin.mu);
    if (!pin.rows.empty())
      for (std::size_t a = 0; a < t; ++a) {
        auto it = pin.rows.find(key_of(*pts[a]));
        if (it != pin.rows.end()) rows[a] = it->second.get();
      }
  }
  {
    CallerCache& cache = caller_cache();
    std::lock_guard<std::mutex> lock(cache.mu);
    for (std::size_t a = 0; a < t; ++a) {
      if (rows[a]) continue;
      if (auto* row = cache.rows.find(key_of(*pts[a]))) {
        keep.push_back(*row);
        rows[a] = row->get();
      } else {
        missing.push_back(a);
      }
    }
  }
  if (may_hand_over && missing.size() >= kFreshForPippenger) return pippenger(halves, pts);
  std::vector<const Bn254Point*> to_build(missing.size());
  for (std::size_t b = 0; b < missing.size(); ++b) to_build[b] = pts[missing[b]];
  std::vector<OddRow> fresh = build_rows(to_build.data(), to_build.size(), kW);
  for (std::size_t b = 0; b < missing.size(); ++b) rows[missing[b]] = &fresh[b];
  if (!missing.empty()) {
    CallerCache& cache = caller_cache();
    std::lock_guard<std::mutex> lock(cache.mu);
    for (std::size_t b = 0; b < missing.size(); ++b) {
      const Key k = key_of(*to_build[b]);
      if (cache.seen_once.erase(k))
        cache.rows.put(k, std::make_shared<const OddRow>(fresh[b]));
      else if (!cache.rows.find(k))  // another call may have admitted it meanwhile
        cache.seen_once.put(k, Empty{});
    }
  }

  // Digits of both halves of every term.
  std::vector<int8_t> digits(2 * t * kBits);
  for (std::size_t a = 0; a < t; ++a) {
    wnaf(halves[a].k[0], rows[a]->width, &digits[(2 * a) * kBits]);
    wnaf(halves[a].k[1], rows[a]->width, &digits[(2 * a + 1) * kBits]);
  }
  int top = kBits - 1;
  while (top >= 0) {
    bool any = false;
    for (std::size_t h = 0; h < 2 * t && !any; ++h) any = digits[h * kBits + (std::size_t)top] != 0;
    if (any) break;
    --top;
  }

  Jac acc;
  for (int bit = top; bit >= 0; --bit) {
    acc = dbl(acc);
    for (std::size_t h = 0; h < 2 * t; ++h) {
      const int d = digits[h * kBits + (std::size_t)bit];
      if (d == 0) continue;
      const OddRow& row = *rows[h / 2];
      const std::size_t j = (std::size_t)((d < 0 ? -d : d) - 1) / 2;
      const bool negate = (d < 0) != (halves[h / 2].neg[h % 2] != 0);
      acc = madd(acc, (h % 2) ? row.bx[j] : row.x[j], negate ? -row.y[j] : row.y[j]);
    }
  }
  return acc;
}

// ---- Pippenger ---------------------------------------------------------------

int window_bits(std::size_t halves) {
  // Minimises (133 / c)·(halves + 2^c) roughly; measured to hold here.
  int c = 4;
  while (c < 16 && (std::size_t{1} << (c + 1)) < halves / 4) ++c;
  return c;
}

// Inverts xs in place (all non-zero) with one variable-time inversion.
void batch_inverse_vartime(std::vector<Fp>& xs) {
  if (xs.empty()) return;
  std::vector<Fp> prefix(xs.size());
  Fp acc = Fp::one();
  for (std::size_t i = 0; i < xs.size(); ++i) {
    prefix[i] = acc;
    acc = acc * xs[i];
  }
  Fp inv = inverse_vartime(acc);
  for (std::size_t i = xs.size(); i-- > 0;) {
    const Fp r = inv * prefix[i];
    inv = inv * xs[i];
    xs[i] = r;
  }
}

// The points of one window, grouped by bucket, each bucket's points summed
// in affine coordinates by rounds of pairwise additions: every addition of
// a round is independent of the others, so a round shares one inversion
// (about six multiplications an addition instead of a mixed addition's
// eleven), and about log2 of the fullest bucket's load rounds empty them.
struct WindowBuckets {
  std::vector<Fp> x, y;              // the points, bucket by bucket
  std::vector<std::uint32_t> start;  // bucket j holds [start[j], start[j] + len[j])
  std::vector<std::uint32_t> len;

  // Sums each bucket down to at most one point (len 0 is the identity).
  void reduce() {
    struct Pair {
      std::uint32_t at;  // the first of the two points
      bool cancel;       // opposite points: the pair sums to the identity
    };
    std::vector<Pair> pairs;
    std::vector<Fp> num, den;
    std::vector<Fp> rx, ry;
    for (;;) {
      pairs.clear();
      num.clear();
      den.clear();
      for (std::size_t j = 0; j < len.size(); ++j)
        for (std::uint32_t i = 0; i + 1 < len[j]; i += 2) {
          const std::uint32_t a = start[j] + i, b = a + 1;
          if (x[a] == x[b]) {
            if (!(y[a] == y[b])) {
              pairs.push_back(Pair{a, true});
              continue;
            }
            // Doubling: λ = 3x² / 2y (y ≠ 0: the group has odd order).
            const Fp xx = x[a].square();
            num.push_back(xx + xx + xx);
            den.push_back(y[a] + y[a]);
          } else {
            num.push_back(y[b] - y[a]);
            den.push_back(x[b] - x[a]);
          }
          pairs.push_back(Pair{a, false});
        }
      if (pairs.empty()) return;
      batch_inverse_vartime(den);
      rx.resize(pairs.size());
      ry.resize(pairs.size());
      for (std::size_t p = 0, q = 0; p < pairs.size(); ++p) {
        if (pairs[p].cancel) continue;
        const std::uint32_t a = pairs[p].at;
        const Fp lambda = num[q] * den[q];
        ++q;
        rx[p] = lambda.square() - x[a] - x[a + 1];
        ry[p] = lambda * (x[a] - rx[p]) - y[a];
      }
      // Each bucket keeps its pair sums, then its odd point, at its front.
      for (std::size_t j = 0, p = 0; j < len.size(); ++j) {
        std::uint32_t kept = 0;
        for (std::uint32_t i = 0; i + 1 < len[j]; i += 2, ++p) {
          if (pairs[p].cancel) continue;
          x[start[j] + kept] = rx[p];
          y[start[j] + kept] = ry[p];
          ++kept;
        }
        if (len[j] % 2) {
          x[start[j] + kept] = x[start[j] + len[j] - 1];
          y[start[j] + kept] = y[start[j] + len[j] - 1];
          ++kept;
        }
        len[j] = kept;
      }
    }
  }
};

Jac pippenger(const std::vector<Halves>& halves, const std::vector<const Bn254Point*>& pts) {
  const std::size_t t = pts.size(), nh = 2 * t;
  // Short scalars (batch weights) leave their lambda half empty: size the
  // windows by the halves that carry digits.
  std::size_t carrying = 0;
  for (const Halves& h : halves)
    for (const Limbs& k : h.k) carrying += (k[0] | k[1] | k[2] | k[3]) != 0;
  const int c = window_bits(carrying);
  const int windows = (kBits + c - 1) / c + 1;  // the last window takes the final carry
  const std::size_t nb = std::size_t{1} << (c - 1);

  // Signed digits in [-2^(c-1), 2^(c-1)], window-major so each pass reads
  // one contiguous run.
  std::vector<int32_t> digits((std::size_t)windows * nh);
  for (std::size_t h = 0; h < nh; ++h) {
    const Limbs& k = halves[h / 2].k[h % 2];
    int64_t carry = 0;
    for (int w = 0; w < windows; ++w) {
      const int at = w * c;
      int64_t v = (at < 256 ? (int64_t)bits_at(k, at, c) : 0) + carry;
      carry = v > (int64_t)nb ? 1 : 0;
      v -= carry << c;
      digits[(std::size_t)w * nh + h] = (int32_t)v;
    }
  }
  // The points of the lambda halves, with beta·x computed once.
  const Fp beta = glv_beta();
  std::vector<Fp> bx(t);
  for (std::size_t a = 0; a < t; ++a) bx[a] = pts[a]->x * beta;

  WindowBuckets wb;
  Jac acc;
  for (int w = windows - 1; w >= 0; --w) {
    for (int i = 0; i < c; ++i) acc = dbl(acc);
    const int32_t* dw = &digits[(std::size_t)w * nh];
    // Counting sort of the window's points by bucket.
    wb.len.assign(nb, 0);
    std::size_t live = 0;
    for (std::size_t h = 0; h < nh; ++h)
      if (dw[h] != 0) {
        ++wb.len[(std::size_t)(dw[h] < 0 ? -dw[h] : dw[h]) - 1];
        ++live;
      }
    if (live == 0) continue;
    wb.start.resize(nb);
    for (std::uint32_t j = 0, at = 0; j < nb; ++j) {
      wb.start[j] = at;
      at += wb.len[j];
      wb.len[j] = 0;
    }
    wb.x.resize(live);
    wb.y.resize(live);
    for (std::size_t h = 0; h < nh; ++h) {
      const int32_t d = dw[h];
      if (d == 0) continue;
      const Bn254Point& p = *pts[h / 2];
      const bool negate = (d < 0) != (halves[h / 2].neg[h % 2] != 0);
      const std::size_t j = (std::size_t)(d < 0 ? -d : d) - 1;
      const std::uint32_t at = wb.start[j] + wb.len[j]++;
      wb.x[at] = (h % 2) ? bx[h / 2] : p.x;
      wb.y[at] = negate ? -p.y : p.y;
    }
    wb.reduce();
    // Σ (j + 1)·bucket[j] by running sums from the top.
    Jac running, sum;
    for (std::size_t j = nb; j-- > 0;) {
      if (wb.len[j] != 0) running = madd(running, wb.x[wb.start[j]], wb.y[wb.start[j]]);
      sum = add(sum, running);
    }
    acc = add(acc, sum);
  }
  return acc;
}

// From this many live terms Pippenger beats Straus here even when every
// point has a cached row.
constexpr std::size_t kPippengerFrom = 256;

enum class Engine { automatic, straus, pippenger };

ProjPoint msm_with(const Bn254Scalar* scalars, const Bn254Point* points, std::size_t n, Engine engine) {
  // Terms with a zero scalar or the identity contribute nothing; terms with
  // the scalar 1 or −1 (the "− T" of a verification equation) are one
  // addition each, with no table.
  std::vector<const Bn254Point*> pts;
  std::vector<Halves> halves;
  std::vector<std::pair<const Bn254Point*, bool>> direct;  // ±P
  pts.reserve(n);
  halves.reserve(n);
  const Bn254Scalar one = Bn254Scalar::one(), minus_one = one.neg();
  for (std::size_t i = 0; i < n; ++i) {
    if (points[i].infinity || scalars[i].is_zero()) continue;
    if (scalars[i].eq(one) || scalars[i].eq(minus_one)) {
      direct.emplace_back(&points[i], scalars[i].eq(minus_one));
      continue;
    }
    pts.push_back(&points[i]);
    halves.push_back(split(scalars[i]));
  }
  Jac acc;
  if (!pts.empty()) {
    const bool use_pippenger =
        engine == Engine::pippenger || (engine == Engine::automatic && pts.size() >= kPippengerFrom);
    acc = use_pippenger ? pippenger(halves, pts) : straus(halves, pts, engine == Engine::automatic);
  }
  for (const auto& [p, negate] : direct) acc = madd(acc, p->x, negate ? -p->y : p->y);
  return to_proj(acc);
}

// Seed drawn once; without OS randomness the mix stays full-width, only unkeyed.
struct Seed {
  u64 s[2];
  Seed() {
    if (!fill_random(s, sizeof s)) {
      s[0] = 0x243f6a8885a308d3ULL;
      s[1] = 0x13198a2e03707344ULL;
    }
    // It keys lookups of public points, which branch on it by design.
    ct::declassify(s, sizeof s);
  }
};

u64 mix(u64 a, u64 b) {
  const unsigned __int128 m = (unsigned __int128)a * b;
  return (u64)m ^ (u64)(m >> 64);
}

}  // namespace

std::size_t PointKeyHash::operator()(const PointKey& k) const {
  static const Seed seed;
  u64 h = seed.s[0];
  for (std::size_t i = 0; i < 8; i += 2) h = mix(h ^ k[i], seed.s[1] ^ k[i + 1]);
  return (std::size_t)h;
}

void pin_vartime_tables(const Bn254Point* points, std::size_t n) {
  Pinned& pin = pinned();
  std::vector<const Bn254Point*> todo;
  {
    std::shared_lock<std::shared_mutex> lock(pin.mu);
    for (std::size_t i = 0; i < n; ++i)
      if (!points[i].infinity && !pin.rows.count(key_of(points[i]))) todo.push_back(&points[i]);
  }
  if (todo.empty()) return;
  // Built outside the lock: readers go on meanwhile. The first pinned
  // points (the generator pair, the vectors of every usual bit length) get
  // wide rows; later ones (very long vectors) the narrow ones.
  std::size_t already;
  {
    std::shared_lock<std::shared_mutex> lock(pin.mu);
    already = pin.rows.size();
  }
  const std::size_t wide = already < kWidePinned ? std::min(todo.size(), kWidePinned - already) : 0;
  std::vector<OddRow> rows = build_rows(todo.data(), wide, kWideW);
  std::vector<OddRow> narrow = build_rows(todo.data() + wide, todo.size() - wide, kW);
  rows.insert(rows.end(), std::make_move_iterator(narrow.begin()), std::make_move_iterator(narrow.end()));
  std::unique_lock<std::shared_mutex> lock(pin.mu);
  for (std::size_t b = 0; b < todo.size() && pin.rows.size() < kMaxPinned; ++b)
    pin.rows.try_emplace(key_of(*todo[b]), std::make_unique<const OddRow>(std::move(rows[b])));
}

ProjPoint msm_vartime(const Bn254Scalar* scalars, const Bn254Point* points, std::size_t n) {
  return msm_with(scalars, points, n, Engine::automatic);
}

ProjPoint msm_vartime_straus(const Bn254Scalar* scalars, const Bn254Point* points, std::size_t n) {
  return msm_with(scalars, points, n, Engine::straus);
}

ProjPoint msm_vartime_pippenger(const Bn254Scalar* scalars, const Bn254Point* points, std::size_t n) {
  return msm_with(scalars, points, n, Engine::pippenger);
}

std::size_t vartime_cache_size() {
  CallerCache& cache = caller_cache();
  std::lock_guard<std::mutex> lock(cache.mu);
  return cache.rows.size();
}

Bn254Point Bn254Point::scalar_mul_vartime(const Bn254Scalar& k) const {
  return msm_vartime(&k, this, 1).to_affine_vartime("scalar_mul");
}

}  // namespace vemo::curve
