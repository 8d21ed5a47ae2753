#include "fixed_base.hpp"

#include <memory>
#include <mutex>
#include <vector>

#include "jacobian.hpp"
#include "point_key.hpp"
#include "row_cache.hpp"
#include "scalar_mul.hpp"
#include "window.hpp"

namespace vemo::curve {

namespace {

constexpr int kHalf = kRowLen;  // 16 entries per window
// Signed 5-bit digits of a scalar below r < 2^254: 51 windows cover bits
// 0..254, and the top window (bits 250..254) of a value below r is at most
// r >> 250 = 12, so with a carry of 1 it stays below 16 and nothing carries
// out.
constexpr int kWindows = 51;
constexpr std::size_t kMaxTables = 8;

struct Table {
  std::vector<AffineXY> entries;  // kWindows * kHalf
};

// The tables of recurring bases under the policy of row_cache.hpp; the
// bases are public, so looking them up may branch on them.
struct Cache {
  std::mutex mu;
  SecondSightCache<std::shared_ptr<const Table>> tables{kMaxTables};
};

Cache& cache() {
  static Cache c;
  return c;
}

std::shared_ptr<const Table> build_table(const Bn254Point& base) {
  auto t = std::make_shared<Table>();
  std::vector<ProjPoint> proj((std::size_t)kWindows * kHalf);
  ProjPoint b = ProjPoint::from_affine(base);
  for (int w = 0; w < kWindows; ++w) {
    ProjPoint* row = &proj[(std::size_t)w * kHalf];
    row[0] = b;
    for (int j = 1; j < kHalf; ++j) row[j] = row[j - 1].add(b);
    // next window's base: 32·b = 2·(16·b)
    b = row[kHalf - 1].dbl();
  }
  std::vector<Bn254Point> aff(proj.size());
  batch_to_affine(proj.data(), proj.size(), aff.data(), "table");
  t->entries.resize(aff.size());
  for (std::size_t i = 0; i < aff.size(); ++i) t->entries[i] = AffineXY{aff[i].x, aff[i].y};
  return t;
}

// The table for base, or null while the base has been seen only once. The
// base must not be the identity.
std::shared_ptr<const Table> table_for(const Bn254Point& base) {
  Cache& c = cache();
  const PointKey key = key_of(base);
  {
    std::lock_guard<std::mutex> lock(c.mu);
    if (auto* t = c.tables.find(key)) return *t;
    if (!c.tables.second_sight(key)) return nullptr;
  }
  auto t = build_table(base);  // outside the lock: a few hundred microseconds
  std::lock_guard<std::mutex> lock(c.mu);
  return c.tables.admit(key, std::move(t));  // keeps one when another thread built it meanwhile
}

void recode(const Bn254Scalar& k, int8_t digits[kWindows]) {
  const ct::Wiped<Limbs> raw(k.to_raw());  // as secret as k
  recode_signed5(*raw, kWindows, digits);
}

void add_window(ProjPoint& acc, const Table& t, int w, int8_t digit) {
  add_signed(acc, &t.entries[(std::size_t)w * kHalf], digit);
}

}  // namespace

// One base: before the addition at window w, acc = A·B with
// |A| < 16·32^w/31 < 32^w, and the entry is d·32^w·B, 0 < |d| <= 16. For
// w <= 49 both sides are below r/2 in size (16·32^49 = 2^249), so acc = ±entry
// would need A = ±d·32^w as integers, which |A| < 32^w rules out; only
// acc = identity remains, which the Jacobian addition handles by a masked
// move. So every window but the top one uses the cheaper Jacobian mixed
// addition; the top one, where the sizes reach r, the complete formula.
ProjPoint scalar_mul_fixed_proj(const Bn254Point& base, const Bn254Scalar& k) {
  if (base.infinity) return ProjPoint::identity();  // public: the base is the identity
  auto t = table_for(base);
  if (!t) return msm(&k, &base, 1);
  int8_t digits[kWindows];
  recode(k, digits);
  JacPoint acc;
  Bn254Point q{"table", {}, {}, false};
  for (int w = 0; w < kWindows - 1; ++w) {
    const u64 nonzero = lookup_signed(&t->entries[(std::size_t)w * kHalf], digits[w], q);
    jac_madd(acc, q, nonzero);
  }
  ProjPoint p = jac_to_proj(acc);
  add_window(p, *t, kWindows - 1, digits[kWindows - 1]);
  ct::wipe(digits, sizeof digits);
  return p;
}

Bn254Point scalar_mul_fixed(const Bn254Point& base, const Bn254Scalar& k) {
  return scalar_mul_fixed_proj(base, k).to_affine("scalar_mul");
}

ProjPoint double_scalar_mul_fixed_proj(const Bn254Point& A, const Bn254Scalar& a, const Bn254Point& B,
                                       const Bn254Scalar& b) {
  auto ta = A.infinity ? nullptr : table_for(A);
  auto tb = B.infinity ? nullptr : table_for(B);
  if (!ta || !tb) {
    const Bn254Scalar ks[2] = {a, b};
    const Bn254Point ps[2] = {A, B};
    return msm(ks, ps, 2);
  }
  int8_t da[kWindows], db[kWindows];
  recode(a, da);
  recode(b, db);
  ProjPoint acc = ProjPoint::identity();
  for (int w = 0; w < kWindows; ++w) {
    add_window(acc, *ta, w, da[w]);
    add_window(acc, *tb, w, db[w]);
  }
  ct::wipe(da, sizeof da);
  ct::wipe(db, sizeof db);
  return acc;
}

namespace {

// a·A + b·B for a = (-1)^neg · mag, mag <= 2^64 - 1, neg in {0, 1}: windows
// 0..12 cover bits 0..64; the top one (bits 60..63) is at most 15, plus a
// carry of 1 it is at most 16, the largest digit, so nothing carries out.
ProjPoint small_double_mul(const Bn254Point& A, u64 mag, u64 neg, const Bn254Point& B, const Bn254Scalar& b) {
  constexpr int kSmallWindows = 13;
  auto ta = A.infinity ? nullptr : table_for(A);
  auto tb = B.infinity ? nullptr : table_for(B);
  if (!ta || !tb) {
    // Only here is a needed as a scalar: (-1)^neg·mag by a masked negation.
    Bn254Scalar ks[2] = {Bn254Scalar::from_u64(mag), b};
    const Bn254Scalar negated = ks[0].neg();
    ks[0].fe.cmov(negated.fe, neg);
    const Bn254Point ps[2] = {A, B};
    const ProjPoint out = msm(ks, ps, 2);
    ct::wipe(ks, sizeof ks);
    return out;
  }
  int8_t da[kSmallWindows], db[kWindows];
  recode_signed5(Limbs{mag, 0, 0, 0}, kSmallWindows, da);
  for (int8_t& d : da) d = (int8_t)((d ^ -(int8_t)neg) + (int8_t)neg);
  recode(b, db);
  ProjPoint acc = ProjPoint::identity();
  for (int w = 0; w < kWindows; ++w) {
    if (w < kSmallWindows) add_window(acc, *ta, w, da[w]);  // public schedule
    add_window(acc, *tb, w, db[w]);
  }
  ct::wipe(da, sizeof da);
  ct::wipe(db, sizeof db);
  return acc;
}

}  // namespace

ProjPoint amount_scalar_mul_fixed_proj(const Bn254Point& A, std::int64_t a, const Bn254Point& B,
                                       const Bn254Scalar& b) {
  const u64 neg = (u64)a >> 63;
  const u64 mag = ((u64)a ^ (0 - neg)) + neg;  // |a| <= 2^63, as an unsigned value
  return small_double_mul(A, mag, neg, B, b);
}

ProjPoint u64_scalar_mul_fixed_proj(const Bn254Point& A, std::uint64_t a, const Bn254Point& B,
                                    const Bn254Scalar& b) {
  return small_double_mul(A, a, 0, B, b);
}

Bn254Point double_scalar_mul_fixed(const Bn254Point& A, const Bn254Scalar& a, const Bn254Point& B,
                                   const Bn254Scalar& b) {
  return double_scalar_mul_fixed_proj(A, a, B, b).to_affine("add_point");
}

}  // namespace vemo::curve
