// The variable-time engine (msm_vartime.hpp): sums of public scalars
// times public points, for verification and batch verification.
//
// Every term is first split by GLV into two halves below 2^132 (k1 on P,
// k2 on lambda P = (beta x, y)). Two engines then sum the halves:
// - Straus, for the sums of one proof (up to a few hundred terms): each
//   half in width-5 NAF (odd digits in [-15, 15], at most one non-zero
//   digit in five) and one shared chain of doublings adding the affine odd
//   multiples named by the digits, from the rows of msm_rows.hpp;
// - Pippenger, for the large sums of batch verification: signed windows of
//   c bits, one bucket per digit magnitude, the buckets summed by the
//   running-sum trick. A bucket's points are first added pairwise in
//   affine rounds that share one inversion; where the lane engine is on
//   (lanes/lanes.hpp), a round's additions run eight at a time in lanes.
//   The windows' running sums are independent of each other: in lanes,
//   eight windows side by side; without, all windows at once in affine
//   rounds sharing one inversion;
// - a pinned fixed base (pin_fixed_base_vartime), for the single products
//   k·B of bases every verification meets: every 8-bit window multiple of
//   B stored, one mixed addition per digit and no doubling.
// Jacobian coordinates with the a = 0 formulas (jacobian.hpp) keep
// doublings and mixed additions cheap; their special cases (identity,
// equal or opposite points) are handled by branches, which is why this
// code is for public data only.
#include "msm_vartime.hpp"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "glv.hpp"
#include "jacobian.hpp"
#include "lanes/batch_affine.hpp"
#include "msm_rows.hpp"

namespace vemo::curve {

namespace {

constexpr int kBits = 134;  // halves are below 2^132; the NAF may be one digit longer

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

JacPoint pippenger(const std::vector<Halves>& halves, const std::vector<const Bn254Point*>& pts);

// Above this many points without a row, building the rows costs more than
// Pippenger's whole sum: a Straus call that meets so many hands over.
constexpr std::size_t kFreshForPippenger = 48;

JacPoint straus(const std::vector<Halves>& halves, const std::vector<const Bn254Point*>& pts, bool may_hand_over) {
  const std::size_t t = pts.size();
  // Rows: stored ones first; a call that meets many fresh points hands over
  // before building any.
  SumRows rows(pts);
  if (may_hand_over && rows.missing() >= kFreshForPippenger) return pippenger(halves, pts);
  rows.build_missing();

  // Digits of both halves of every term.
  std::vector<int8_t> digits(2 * t * kBits);
  for (std::size_t a = 0; a < t; ++a) {
    wnaf(halves[a].k[0], rows.row(a).width, &digits[(2 * a) * kBits]);
    wnaf(halves[a].k[1], rows.row(a).width, &digits[(2 * a + 1) * kBits]);
  }
  int top = kBits - 1;
  while (top >= 0) {
    bool any = false;
    for (std::size_t h = 0; h < 2 * t && !any; ++h) any = digits[h * kBits + (std::size_t)top] != 0;
    if (any) break;
    --top;
  }

  JacPoint acc;
  for (int bit = top; bit >= 0; --bit) {
    acc = jac_dbl_vartime(acc);
    for (std::size_t h = 0; h < 2 * t; ++h) {
      const int d = digits[h * kBits + (std::size_t)bit];
      if (d == 0) continue;
      const OddRow& row = rows.row(h / 2);
      const std::size_t j = (std::size_t)((d < 0 ? -d : d) - 1) / 2;
      const bool negate = (d < 0) != (halves[h / 2].neg[h % 2] != 0);
      acc = jac_madd_vartime(acc, (h % 2) ? row.bx[j] : row.x[j], negate ? -row.y[j] : row.y[j]);
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

// From this many additions in a round, the round runs in lanes where the
// lane engine is on: below it, the lane batches are mostly padding.
constexpr std::size_t kLanePairsFrom = 16;

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
    std::vector<Fp> rx, ry, xa, xb, ya;
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
      // The sums of the pairs that do not cancel, in order (rx[q], ry[q]).
      const std::size_t m = num.size();
      rx.resize(m);
      ry.resize(m);
      if (const lanes::Kernels* k = lanes::active(); k && m >= kLanePairsFrom) {
        // Eight additions at a time in lanes (lanes/batch_affine.hpp).
        xa.clear();
        xb.clear();
        ya.clear();
        for (const Pair& pr : pairs)
          if (!pr.cancel) {
            xa.push_back(x[pr.at]);
            xb.push_back(x[pr.at + 1]);
            ya.push_back(y[pr.at]);
          }
        lanes::affine_sums_vartime(*k, num.data(), den.data(), xa.data(), xb.data(), ya.data(), m, rx.data(),
                                   ry.data());
      } else {
        batch_inverse_vartime(den);
        for (std::size_t p = 0, q = 0; p < pairs.size(); ++p) {
          if (pairs[p].cancel) continue;
          const std::uint32_t a = pairs[p].at;
          const Fp lambda = num[q] * den[q];
          rx[q] = lambda.square() - x[a] - x[a + 1];
          ry[q] = lambda * (x[a] - rx[q]) - y[a];
          ++q;
        }
      }
      // Each bucket keeps its pair sums, then its odd point, at its front.
      for (std::size_t j = 0, p = 0, q = 0; j < len.size(); ++j) {
        std::uint32_t kept = 0;
        for (std::uint32_t i = 0; i + 1 < len[j]; i += 2, ++p) {
          if (pairs[p].cancel) continue;
          x[start[j] + kept] = rx[q];
          y[start[j] + kept] = ry[q];
          ++q;
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

// The reduced buckets (one point each, or none) of several windows, slot l
// holding one window's nb buckets: what both ways of taking the running sums
// below start from.
class WindowSlots {
 public:
  WindowSlots(std::size_t nb, std::size_t windows)
      : nb_(nb), x_(windows * nb), y_(windows * nb), present_(windows * nb) {}

  // Slot l takes the reduced buckets of wb.
  void take(std::size_t l, const WindowBuckets& wb) {
    for (std::size_t j = 0; j < nb_; ++j) {
      const bool here = wb.len[j] != 0;
      present_[l * nb_ + j] = here;
      if (here) {
        x_[l * nb_ + j] = wb.x[wb.start[j]];
        y_[l * nb_ + j] = wb.y[wb.start[j]];
      }
    }
  }

 protected:
  std::size_t nb_;
  std::vector<Fp> x_, y_;
  std::vector<char> present_;
};

// The reduced buckets of up to eight windows, and their running sums
// Σ (j + 1)·bucket[j] computed side by side in lanes, one window a lane:
// the sums of different windows are independent, so eight chains of
// additions cost about one chain's time in IFMA lanes. The lane formulas
// give the values of jac_madd_vartime and jac_add_vartime.
class LaneWindows : public WindowSlots {
 public:
  explicit LaneWindows(std::size_t nb) : WindowSlots(nb, 8) {}

  // out[l] for the lanes l < used; the others are padding (empty buckets).
  void running_sums(const lanes::Kernels& k, std::size_t used, JacPoint* out) const {
    const Fp zero = Fp::zero(), one = Fp::one();
    Fp X[8], Y[8], Z[8];
    for (int l = 0; l < 8; ++l) {
      X[l] = zero;
      Y[l] = one;
      Z[l] = zero;
    }
    lanes::Jac8 running, sum, q;
    k.from_fp(&running.X, X);
    k.from_fp(&running.Y, Y);
    k.from_fp(&running.Z, Z);
    sum = running;
    for (std::size_t j = nb_; j-- > 0;) {
      bool all = true;
      for (std::size_t l = 0; l < 8; ++l) {
        if (l < used && present_[l * nb_ + j]) {
          X[l] = x_[l * nb_ + j];
          Y[l] = y_[l * nb_ + j];
          Z[l] = one;
        } else {
          X[l] = zero;
          Y[l] = one;
          Z[l] = zero;
          all = false;
        }
      }
      k.from_fp(&q.X, X);
      k.from_fp(&q.Y, Y);
      if (all) {
        k.jac_madd(&running, &running, &q.X, &q.Y);
      } else {
        // An empty bucket is the identity, which only the full addition takes.
        k.from_fp(&q.Z, Z);
        k.jac_add(&running, &running, &q);
      }
      k.jac_add(&sum, &sum, &running);
    }
    k.to_fp(X, &sum.X);
    k.to_fp(Y, &sum.Y);
    k.to_fp(Z, &sum.Z);
    for (std::size_t l = 0; l < used; ++l) out[l] = JacPoint{X[l], Y[l], Z[l]};
  }

};

// The running sums of several windows at once, without lanes, in affine
// coordinates: step j of every window (running += bucket[j], then
// sum += running) is independent of the other windows' steps, so all of
// them share one inversion. The two additions of a step are pipelined: one
// round adds bucket[j] to running and the previous running to sum, so a
// round is one inversion for up to twice as many additions as windows
// (about six multiplications each, against the eleven and sixteen of the
// Jacobian mixed and full additions).
class AffineWindows : public WindowSlots {
 public:
  AffineWindows(std::size_t nb, std::size_t windows) : WindowSlots(nb, windows) {}

  // out[l] = Σ (j + 1)·bucket_l[j] for the slots l < used.
  void running_sums(std::size_t used, JacPoint* out) {
    struct Affine {
      Fp x, y;
      bool inf = true;
    };
    std::vector<Affine> run(used), sum(used), next_run(used), next_sum(used);
    // One addition of a round: *dst = a + b.
    struct Op {
      const Affine* a;
      Fp bx, by;
      Affine* dst;
    };
    std::vector<Op> ops;
    std::vector<Fp> num, den;
    std::vector<std::size_t> sloped;  // the ops that need a slope
    ops.reserve(2 * used);
    for (std::size_t j = nb_ + 1; j-- > 0;) {
      // Round j: running += bucket[j - 1] (j ≥ 1), sum += running (j ≤ nb − 1).
      ops.clear();
      for (std::size_t l = 0; l < used; ++l) {
        next_run[l] = run[l];
        next_sum[l] = sum[l];
        if (j >= 1 && present_[l * nb_ + j - 1])
          ops.push_back(Op{&run[l], x_[l * nb_ + j - 1], y_[l * nb_ + j - 1], &next_run[l]});
        if (j <= nb_ - 1 && !run[l].inf) ops.push_back(Op{&sum[l], run[l].x, run[l].y, &next_sum[l]});
      }
      num.clear();
      den.clear();
      sloped.clear();
      for (std::size_t q = 0; q < ops.size(); ++q) {
        const Op& op = ops[q];
        const Affine& a = *op.a;
        if (a.inf) {
          *op.dst = Affine{op.bx, op.by, false};
        } else if (a.x == op.bx) {
          if (!(a.y == op.by)) {
            *op.dst = Affine{};  // opposite points
          } else {
            // Doubling: λ = 3x² / 2y (y ≠ 0: the group has odd order).
            const Fp xx = a.x.square();
            num.push_back(xx + xx + xx);
            den.push_back(a.y + a.y);
            sloped.push_back(q);
          }
        } else {
          num.push_back(op.by - a.y);
          den.push_back(op.bx - a.x);
          sloped.push_back(q);
        }
      }
      batch_inverse_vartime(den);
      for (std::size_t i = 0; i < sloped.size(); ++i) {
        const Op& op = ops[sloped[i]];
        const Affine& a = *op.a;
        const Fp lambda = num[i] * den[i];
        Affine r;
        r.x = lambda.square() - a.x - op.bx;
        r.y = lambda * (a.x - r.x) - a.y;
        r.inf = false;
        *op.dst = r;
      }
      std::swap(run, next_run);
      std::swap(sum, next_sum);
    }
    for (std::size_t l = 0; l < used; ++l)
      out[l] = sum[l].inf ? JacPoint{} : JacPoint{sum[l].x, sum[l].y, Fp::one()};
  }

};

JacPoint pippenger(const std::vector<Halves>& halves, const std::vector<const Bn254Point*>& pts) {
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

  // Each window's sum Σ (j + 1)·bucket[j], then Horner over the windows.
  std::vector<JacPoint> window_sum((std::size_t)windows);
  WindowBuckets wb;
  // Sorts the window's points into their buckets and sums each bucket to
  // at most one point; false when the window has no non-zero digit.
  auto fill = [&](int w) {
    const int32_t* dw = &digits[(std::size_t)w * nh];
    // Counting sort of the window's points by bucket.
    wb.len.assign(nb, 0);
    std::size_t live = 0;
    for (std::size_t h = 0; h < nh; ++h)
      if (dw[h] != 0) {
        ++wb.len[(std::size_t)(dw[h] < 0 ? -dw[h] : dw[h]) - 1];
        ++live;
      }
    if (live == 0) return false;
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
    return true;
  };
  if (const lanes::Kernels* k = lanes::active()) {
    // The running sums of eight windows side by side, one window a lane.
    LaneWindows group(nb);
    std::size_t in_group = 0;
    int members[8];
    for (int w = 0; w < windows; ++w) {
      if (fill(w)) {
        group.take(in_group, wb);
        members[in_group++] = w;
      }
      if (in_group == 8 || (w == windows - 1 && in_group != 0)) {
        JacPoint sums[8];
        group.running_sums(*k, in_group, sums);
        for (std::size_t l = 0; l < in_group; ++l) window_sum[(std::size_t)members[l]] = sums[l];
        in_group = 0;
      }
    }
  } else {
    // Every window's running sums together, sharing their inversions.
    AffineWindows all(nb, (std::size_t)windows);
    std::size_t used = 0;
    std::vector<int> members;
    for (int w = 0; w < windows; ++w) {
      if (!fill(w)) continue;
      all.take(used++, wb);
      members.push_back(w);
    }
    std::vector<JacPoint> sums(used);
    all.running_sums(used, sums.data());
    for (std::size_t l = 0; l < used; ++l) window_sum[(std::size_t)members[l]] = sums[l];
  }
  JacPoint acc;
  for (int w = windows - 1; w >= 0; --w) {
    for (int i = 0; i < c; ++i) acc = jac_dbl_vartime(acc);
    acc = jac_add_vartime(acc, window_sum[(std::size_t)w]);
  }
  return acc;
}

// ---- the dispatch ------------------------------------------------------------

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
  JacPoint acc;
  if (!pts.empty()) {
    const bool use_pippenger =
        engine == Engine::pippenger || (engine == Engine::automatic && pts.size() >= kPippengerFrom);
    acc = use_pippenger ? pippenger(halves, pts) : straus(halves, pts, engine == Engine::automatic);
  }
  for (const auto& [p, negate] : direct) acc = jac_madd_vartime(acc, p->x, negate ? -p->y : p->y);
  return jac_to_proj(acc);
}

}  // namespace

ProjPoint msm_vartime(const Bn254Scalar* scalars, const Bn254Point* points, std::size_t n) {
  return msm_with(scalars, points, n, Engine::automatic);
}

ProjPoint msm_vartime_straus(const Bn254Scalar* scalars, const Bn254Point* points, std::size_t n) {
  return msm_with(scalars, points, n, Engine::straus);
}

ProjPoint msm_vartime_pippenger(const Bn254Scalar* scalars, const Bn254Point* points, std::size_t n) {
  return msm_with(scalars, points, n, Engine::pippenger);
}

// ---- pinned fixed bases -------------------------------------------------------

namespace {

// A base whose multiples are taken again and again with public scalars (the
// transcript's y·G of every range proof, the argument's u = x_u·g): every
// window multiple of the base is stored, so k·B is one mixed addition per
// 8-bit signed digit of each GLV half and no doubling at all (about a third
// of a Straus chain's 132 doublings and 34 additions).
constexpr int kFixedBits = 8;
constexpr std::size_t kFixedPerWindow = std::size_t{1} << (kFixedBits - 1);  // digits 1 .. 128
// Halves are below 2^132: 17 windows of 8 bits leave the top one below
// 2^4 + 1, so the last carry is always absorbed.
constexpr int kFixedWindows = 17;
constexpr std::size_t kFixedPinnedMax = 4;

struct alignas(64) FixedEntry {
  Fp x, y;  // one cache line a lookup
};
struct FixedTable {
  Fp px, py;                     // the base
  std::vector<FixedEntry> mult;  // [w·128 + j] = (j + 1)·2^(8w)·B, affine
};

std::mutex g_fixed_mutex;
std::vector<std::shared_ptr<const FixedTable>> g_fixed;  // guarded by g_fixed_mutex

std::shared_ptr<const FixedTable> build_fixed_table(const Bn254Point& base) {
  const std::size_t n = (std::size_t)kFixedWindows * kFixedPerWindow;
  std::vector<JacPoint> jac(n);
  JacPoint b{base.x, base.y, Fp::one()};  // 2^(8w)·B
  for (int w = 0; w < kFixedWindows; ++w) {
    JacPoint* row = &jac[(std::size_t)w * kFixedPerWindow];
    row[0] = b;
    for (std::size_t j = 1; j < kFixedPerWindow; ++j) row[j] = jac_add_vartime(row[j - 1], b);
    b = jac_dbl_vartime(row[kFixedPerWindow - 1]);  // 256·2^(8w)·B
  }
  // No entry is the identity: every multiple is below 2^136 < r and B has
  // order r. One inversion for all of them.
  std::vector<Fp> zi(n);
  for (std::size_t i = 0; i < n; ++i) zi[i] = jac[i].Z;
  batch_inverse(zi.data(), n);
  auto t = std::make_shared<FixedTable>();
  t->px = base.x;
  t->py = base.y;
  t->mult.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const Fp zz = zi[i].square();
    t->mult[i].x = jac[i].X * zz;
    t->mult[i].y = jac[i].Y * zz * zi[i];
  }
  return t;
}

std::shared_ptr<const FixedTable> find_fixed_table(const Bn254Point& p) {
  if (p.infinity) return nullptr;
  std::lock_guard<std::mutex> lock(g_fixed_mutex);
  for (const auto& t : g_fixed)
    if (t->px == p.x && t->py == p.y) return t;
  return nullptr;
}

JacPoint fixed_mul_vartime(const FixedTable& t, const Bn254Scalar& k) {
  const Halves h = split(k);
  JacPoint acc;
  const Fp beta = glv_beta();
  for (int half = 0; half < 2; ++half) {
    const Limbs& m = h.k[half];
    int64_t carry = 0;
    for (int w = 0; w < kFixedWindows; ++w) {
      int64_t v = (int64_t)bits_at(m, w * kFixedBits, kFixedBits) + carry;
      carry = v > (int64_t)kFixedPerWindow ? 1 : 0;
      v -= carry << kFixedBits;
      if (v == 0) continue;
      const std::size_t at = (std::size_t)w * kFixedPerWindow + (std::size_t)(v < 0 ? -v : v) - 1;
      const bool negate = (v < 0) != (h.neg[half] != 0);
      // The lambda half adds λ·P = (β·x, y).
      const FixedEntry& e = t.mult[at];
      acc = jac_madd_vartime(acc, half ? e.x * beta : e.x, negate ? -e.y : e.y);
    }
  }
  return acc;
}

}  // namespace

bool pin_fixed_base_vartime(const Bn254Point& base) {
  if (base.infinity) return false;
  if (find_fixed_table(base)) return true;
  {
    std::lock_guard<std::mutex> lock(g_fixed_mutex);
    if (g_fixed.size() >= kFixedPinnedMax) return false;
  }
  // Built outside the lock (about a millisecond); a racing pin of the same
  // base keeps the first table.
  auto table = build_fixed_table(base);
  std::lock_guard<std::mutex> lock(g_fixed_mutex);
  for (const auto& t : g_fixed)
    if (t->px == base.x && t->py == base.y) return true;
  if (g_fixed.size() >= kFixedPinnedMax) return false;
  g_fixed.push_back(std::move(table));
  return true;
}

Bn254Point Bn254Point::scalar_mul_vartime(const Bn254Scalar& k) const {
  if (const auto table = find_fixed_table(*this))
    return jac_to_proj(fixed_mul_vartime(*table, k)).to_affine_vartime("scalar_mul");
  return msm_vartime(&k, this, 1).to_affine_vartime("scalar_mul");
}

void pin_vartime_tables(const Bn254Point* points, std::size_t n) { pin_rows(points, n); }

std::size_t vartime_cache_size() { return cached_rows(); }

}  // namespace vemo::curve
