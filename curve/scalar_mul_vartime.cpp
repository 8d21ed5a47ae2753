// Variable-time multiplication for public scalars and points: single
// multiplications by public scalars and multi-scalar sums in verification.
//
// Straus' method over the GLV split: every term becomes two halves below
// 2^132 (k1 on P, k2 on lambda P = (beta x, y)), each half is written in
// width-5 NAF (odd digits in [-15, 15], at most one non-zero digit in five),
// and one shared chain of doublings adds the affine odd multiples named by
// the digits. Jacobian coordinates with the a = 0 formulas keep doublings
// and mixed additions cheap; their special cases (identity, equal or
// opposite points) are handled by branches, which is why this code is for
// public data only.
#include <array>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "point.hpp"

namespace vemo::curve {

void glv_split(const Bn254Scalar& k, Limbs& k1, u64& neg1, Limbs& k2, u64& neg2);

namespace {

struct Jac {
  Fp X, Y, Z;  // (X/Z^2, Y/Z^3); Z = 0 is the identity
  bool inf = true;
};

// dbl-2009-l
Jac dbl(const Jac& p) {
  if (p.inf) return p;
  const Fp A = p.X.square(), B = p.Y.square(), C = B.square();
  Fp D = (p.X + B).square() - A - C;
  D = D + D;
  const Fp E = A + A + A, F = E.square();
  Jac r;
  r.X = F - D - D;
  Fp C8 = C + C;
  C8 = C8 + C8;
  C8 = C8 + C8;
  r.Y = E * (D - r.X) - C8;
  const Fp yz = p.Y * p.Z;
  r.Z = yz + yz;
  r.inf = false;
  return r;
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

constexpr int kW = 5;
constexpr int kOdd = 1 << (kW - 2);  // odd multiples 1, 3, ..., 15
constexpr int kBits = 134;           // halves are below 2^132; the NAF may be one digit longer

// Width-5 NAF of a non-negative integer below 2^192.
void wnaf(Limbs k, int8_t out[kBits]) {
  for (int i = 0; i < kBits; ++i) {
    int8_t d = 0;
    if (k[0] & 1) {
      int v = (int)(k[0] & ((1u << kW) - 1));
      if (v >= (1 << (kW - 1))) v -= (1 << kW);
      d = (int8_t)v;
      // k -= v
      Limbs t{(u64)(v < 0 ? -v : v), 0, 0, 0};
      if (v > 0)
        limbs::sub(k, k, t);
      else
        limbs::add(k, k, t);
    }
    out[i] = d;
    for (int j = 0; j < 4; ++j) k[j] = (k[j] >> 1) | (j < 3 ? k[j + 1] << 63 : 0);
  }
}

using OddMultiples = std::array<Bn254Point, kOdd>;

// Odd-multiple tables of public points seen in more than one sum, bounded:
// when either map outgrows its cap it is cleared and refills with the points
// in current use.
constexpr std::size_t kMaxCachedTables = 4096;  // 2 MiB of affine points
constexpr std::size_t kMaxSeenOnce = 4 * kMaxCachedTables;

using Key = std::array<u64, 8>;
struct KeyHash {
  std::size_t operator()(const Key& k) const { return (std::size_t)(k[0] ^ (k[1] * 0x9e3779b97f4a7c15ULL) ^ k[4]); }
};
Key key_of(const Bn254Point& p) {
  Key k;
  for (int i = 0; i < 4; ++i) {
    k[(std::size_t)i] = p.x.l[(std::size_t)i];
    k[(std::size_t)i + 4] = p.y.l[(std::size_t)i];
  }
  return k;
}

struct TableCache {
  std::mutex mu;
  std::unordered_map<Key, std::shared_ptr<const OddMultiples>, KeyHash> tables;
  std::unordered_set<Key, KeyHash> seen_once;
};

TableCache& table_cache() {
  static TableCache c;
  return c;
}

// Keeps the freshly built rows of points seen for the second time.
void remember(const Bn254Point* points, const std::vector<std::size_t>& live, const std::vector<std::size_t>& missing,
              const std::vector<OddMultiples>& fresh) {
  if (missing.empty()) return;
  TableCache& cache = table_cache();
  std::lock_guard<std::mutex> lock(cache.mu);
  for (std::size_t b = 0; b < missing.size(); ++b) {
    const Key k = key_of(points[live[missing[b]]]);
    if (cache.seen_once.erase(k)) {
      if (cache.tables.size() >= kMaxCachedTables) cache.tables.clear();
      cache.tables.emplace(k, std::make_shared<const OddMultiples>(fresh[b]));
    } else {
      if (cache.seen_once.size() >= kMaxSeenOnce) cache.seen_once.clear();
      cache.seen_once.insert(k);
    }
  }
}

}  // namespace

ProjPoint msm_vartime(const Bn254Scalar* scalars, const Bn254Point* points, std::size_t n) {
  // Terms with a zero scalar or the identity contribute nothing.
  std::vector<std::size_t> live;
  live.reserve(n);
  for (std::size_t i = 0; i < n; ++i)
    if (!points[i].infinity && !scalars[i].is_zero()) live.push_back(i);
  const std::size_t t = live.size();
  if (t == 0) return ProjPoint::identity();

  // Odd multiples of every live point, affine. Points that come back again
  // and again (the generator vectors of range proofs) find theirs cached;
  // the rest are built here and normalised in one batch.
  std::vector<const OddMultiples*> rows(t, nullptr);
  std::vector<std::shared_ptr<const OddMultiples>> keep;  // holds cached rows for the call
  std::vector<std::size_t> missing;
  {
    TableCache& cache = table_cache();
    std::lock_guard<std::mutex> lock(cache.mu);
    for (std::size_t a = 0; a < t; ++a) {
      auto it = cache.tables.find(key_of(points[live[a]]));
      if (it != cache.tables.end()) {
        keep.push_back(it->second);
        rows[a] = it->second.get();
      } else {
        missing.push_back(a);
      }
    }
  }
  std::vector<Jac> jt(missing.size() * kOdd);
  for (std::size_t b = 0; b < missing.size(); ++b) {
    const Bn254Point& p = points[live[missing[b]]];
    Jac* row = &jt[b * kOdd];
    row[0] = Jac{p.x, p.y, Fp::one(), false};
    const Jac two = dbl(row[0]);
    for (int j = 1; j < kOdd; ++j) row[j] = add(row[j - 1], two);
  }
  std::vector<ProjPoint> proj(jt.size());
  for (std::size_t i = 0; i < jt.size(); ++i) proj[i] = to_proj(jt[i]);
  std::vector<Bn254Point> built(jt.size());
  batch_to_affine(proj.data(), proj.size(), built.data(), "table");
  std::vector<OddMultiples> fresh(missing.size());
  for (std::size_t b = 0; b < missing.size(); ++b) {
    for (int j = 0; j < kOdd; ++j) fresh[b][(std::size_t)j] = built[b * kOdd + (std::size_t)j];
    rows[missing[b]] = &fresh[b];
  }
  remember(points, live, missing, fresh);

  // Digits of both halves of every term.
  std::vector<int8_t> digits(2 * t * kBits);
  std::vector<u64> negs(2 * t);
  for (std::size_t a = 0; a < t; ++a) {
    Limbs k1, k2;
    u64 n1, n2;
    glv_split(scalars[live[a]], k1, n1, k2, n2);
    wnaf(k1, &digits[(2 * a) * kBits]);
    wnaf(k2, &digits[(2 * a + 1) * kBits]);
    negs[2 * a] = n1;
    negs[2 * a + 1] = n2;
  }
  int top = kBits - 1;
  while (top >= 0) {
    bool any = false;
    for (std::size_t h = 0; h < 2 * t && !any; ++h) any = digits[h * kBits + (std::size_t)top] != 0;
    if (any) break;
    --top;
  }

  const Fp beta = glv_beta();
  Jac acc;
  for (int bit = top; bit >= 0; --bit) {
    acc = dbl(acc);
    for (std::size_t h = 0; h < 2 * t; ++h) {
      const int d = digits[h * kBits + (std::size_t)bit];
      if (d == 0) continue;
      const Bn254Point& e = (*rows[h / 2])[(std::size_t)((d < 0 ? -d : d) - 1) / 2];
      const Fp x = (h % 2) ? e.x * beta : e.x;
      const bool negate = (d < 0) != (negs[h] != 0);
      acc = madd(acc, x, negate ? -e.y : e.y);
    }
  }
  return to_proj(acc);
}

Bn254Point Bn254Point::scalar_mul_vartime(const Bn254Scalar& k) const {
  return msm_vartime(&k, this, 1).to_affine_vartime("scalar_mul");
}

}  // namespace vemo::curve
