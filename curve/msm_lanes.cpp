#include "msm_lanes.hpp"

#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "ct.hpp"
#include "glv.hpp"
#include "jacobian.hpp"
#include "point_key.hpp"
#include "row_cache.hpp"
#include "scalar_mul.hpp"
#include "window.hpp"

namespace vemo::curve {

namespace {

using lanes::Fe8;
using lanes::GlvBlock;
using lanes::Jac8;
using lanes::kGlvRowLen;

// The kernel reads msm's digits and rows: the same windows, the same row length.
static_assert(kGlvDigits == 2 * lanes::kGlvHalfWindows);
static_assert(kGlvRowLen == kRowLen);

// One point's row in lane form (five 52-bit limbs a value, as Fe8 holds
// them): entry e is (e + 1)·P.
struct LaneRow {
  u64 x[kGlvRowLen][5], bx[kGlvRowLen][5], y[kGlvRowLen][5];
};

}  // namespace

struct LaneRowKeep::Rows {
  std::unordered_map<PointKey, std::shared_ptr<const LaneRow>, PointKeyHash> map;
};

namespace {

// About 1.9 KiB a row (4 MiB in all): the generator vectors up to 512
// each, the generator pair and a few recurring points.
constexpr std::size_t kMaxRows = 2048;

struct RowCache {
  std::mutex mu;
  SecondSightCache<std::shared_ptr<const LaneRow>> rows{kMaxRows};
};

RowCache& row_cache() {
  static RowCache c;
  return c;
}

// The rows of public points (none the identity), with one batch inversion
// for all their entries; the lane form by the kernels' conversion, eight
// values at a time. Variable time.
std::vector<std::shared_ptr<LaneRow>> build_rows_vartime(const lanes::Kernels& k,
                                                         const std::vector<const Bn254Point*>& pts) {
  const std::size_t n = pts.size();
  std::vector<ProjPoint> proj(n * kGlvRowLen);
  for (std::size_t b = 0; b < n; ++b) {
    ProjPoint* t = &proj[b * kGlvRowLen];
    t[0] = ProjPoint::from_affine(*pts[b]);
    t[1] = t[0].dbl();
    for (int j = 2; j < kGlvRowLen; ++j) t[j] = t[j - 1].add_affine(*pts[b]);
  }
  std::vector<Bn254Point> aff(proj.size());
  batch_to_affine(proj.data(), proj.size(), aff.data(), "table");
  // Every value to convert, three per entry (x, beta·x, y), padded to eight.
  const Fp& beta = glv_beta();
  const std::size_t m = 3 * aff.size();
  std::vector<Fp> vals((m + 7) / 8 * 8, Fp::zero());
  for (std::size_t i = 0; i < aff.size(); ++i) {
    vals[3 * i] = aff[i].x;
    vals[3 * i + 1] = aff[i].x * beta;
    vals[3 * i + 2] = aff[i].y;
  }
  std::vector<std::shared_ptr<LaneRow>> rows(n);
  for (auto& r : rows) r = std::make_shared<LaneRow>();
  Fe8 fe;
  for (std::size_t at = 0; at < m; at += 8) {
    k.from_fp(&fe, &vals[at]);
    for (std::size_t i = 0; i < 8 && at + i < m; ++i) {
      const std::size_t v = at + i, entry = v / 3, coord = v % 3;
      LaneRow& row = *rows[entry / kGlvRowLen];
      const std::size_t e = entry % kGlvRowLen;
      u64* dst = coord == 0 ? row.x[e] : coord == 1 ? row.bx[e] : row.y[e];
      for (int j = 0; j < 5; ++j) dst[j] = fe.l[j][i];
    }
  }
  return rows;
}

// The rows of the points at index[0 .. m) (kNone for none; null rows for
// those and for the identity): cached ones first, the rest built together
// and offered to the cache, which admits a row on the second sight of its
// point. Variable time in the points, which are public.
constexpr std::size_t kNone = ~std::size_t{0};

std::vector<std::shared_ptr<const LaneRow>> rows_for(const lanes::Kernels& k, const Bn254Point* points,
                                                     const std::size_t* index, std::size_t m,
                                                     LaneRowKeep::Rows* keep) {
  std::vector<std::shared_ptr<const LaneRow>> rows(m);
  std::vector<std::size_t> missing;
  RowCache& cache = row_cache();
  {
    std::lock_guard<std::mutex> lock(cache.mu);
    for (std::size_t s = 0; s < m; ++s) {
      if (index[s] == kNone || points[index[s]].infinity) continue;
      const PointKey key = key_of(points[index[s]]);
      if (keep)
        if (auto it = keep->map.find(key); it != keep->map.end()) {
          rows[s] = it->second;
          continue;
        }
      if (auto* row = cache.rows.find(key))
        rows[s] = *row;
      else
        missing.push_back(s);
    }
  }
  if (missing.empty()) return rows;
  std::vector<const Bn254Point*> todo;
  std::vector<std::size_t> slot_of_todo(missing.size());  // a point met twice in one call is built once
  {
    std::unordered_map<PointKey, std::size_t, PointKeyHash> first;
    for (std::size_t b = 0; b < missing.size(); ++b) {
      const Bn254Point* p = &points[index[missing[b]]];
      auto [it, fresh] = first.try_emplace(key_of(*p), todo.size());
      if (fresh) todo.push_back(p);
      slot_of_todo[b] = it->second;
    }
  }
  auto built = build_rows_vartime(k, todo);  // outside the lock
  for (std::size_t b = 0; b < missing.size(); ++b) rows[missing[b]] = built[slot_of_todo[b]];
  std::lock_guard<std::mutex> lock(cache.mu);
  for (std::size_t b = 0; b < todo.size(); ++b) {
    const PointKey key = key_of(*todo[b]);
    if (keep) keep->map.emplace(key, built[b]);
    if (cache.rows.find(key)) continue;  // another sum admitted it meanwhile
    if (cache.rows.second_sight(key)) cache.rows.admit(key, built[b]);
  }
  return rows;
}

// Scratch reused by the passes of a thread: a pass's blocks are some
// hundred KiB, which fresh allocations would fault in every time. Passes
// longer than this many slots a lane use storage of their own, so a thread
// keeps at most about 1 MiB.
constexpr std::size_t kKeptScratchTerms = 64;

struct Scratch {
  std::vector<GlvBlock> blocks;
  std::vector<u64> digits;
};

Scratch& kept_scratch() {
  thread_local Scratch s;
  return s;
}

// One pass of the kernel: slot (t, lane), t < terms, holds the term
// index[8 t + lane] (kNone for none); out[lane] gets its lane's sum.
// Constant time in the scalars unless public_scalars (the variable-time
// kernel).
void lane_pass(const lanes::Kernels& k, bool public_scalars, const Bn254Scalar* scalars, const Bn254Point* points,
               const std::size_t* index, std::size_t terms, ProjPoint out[8], LaneRowKeep* keep) {
  const std::size_t m = 8 * terms;
  const auto rows = rows_for(k, points, index, m, keep ? &keep->rows() : nullptr);

  // The blocks: zeros where a slot has no point (no term, the identity).
  Scratch own;
  Scratch& sc = terms <= kKeptScratchTerms ? kept_scratch() : own;
  if (sc.blocks.size() < terms) sc.blocks.resize(terms);
  GlvBlock* blocks = sc.blocks.data();
  std::memset(static_cast<void*>(blocks), 0, terms * sizeof(GlvBlock));
  for (std::size_t s = 0; s < m; ++s) {
    if (!rows[s]) continue;  // public: no term, or the identity
    GlvBlock& b = blocks[s / 8];
    const std::size_t lane = s % 8;
    const LaneRow& r = *rows[s];
    for (int e = 0; e < kGlvRowLen; ++e)
      for (int j = 0; j < 5; ++j) {
        b.x[e].l[j][lane] = r.x[e][j];
        b.bx[e].l[j][lane] = r.bx[e][j];
        b.y[e].l[j][lane] = r.y[e][j];
      }
  }

  // The digits, lane by lane; zero for empty slots and for identity points
  // (a masked move: the digits are as secret as the scalars).
  sc.digits.assign(terms * kGlvDigits * 8, 0);
  u64* digits = sc.digits.data();
  std::int8_t d[kGlvDigits];
  for (std::size_t s = 0; s < m; ++s) {
    if (index[s] == kNone) continue;  // public: the layout
    glv_digits(scalars[index[s]], d);
    const u64 live = 0 - (u64)(1 ^ (u64)points[index[s]].infinity);
    u64* dst = &digits[(s / 8) * kGlvDigits * 8 + s % 8];
    for (int w = 0; w < kGlvDigits; ++w) dst[8 * w] = (u64)(std::int64_t)d[w] & live;
  }
  ct::wipe(d, sizeof d);

  Jac8 acc;
  (public_scalars ? k.glv_sums_vartime : k.glv_sums)(&acc, blocks, digits, terms);
  ct::wipe(digits, sc.digits.size() * sizeof(u64));

  Fp X[8], Y[8], Z[8];
  k.to_fp(X, &acc.X);
  k.to_fp(Y, &acc.Y);
  k.to_fp(Z, &acc.Z);
  ct::wipe(acc);
  for (int i = 0; i < 8; ++i) out[i] = jac_to_proj(JacPoint{X[i], Y[i], Z[i]});
  ct::wipe(X, sizeof X);
  ct::wipe(Y, sizeof Y);
  ct::wipe(Z, sizeof Z);
}

// Terms below this count go to msm: too few to fill the lanes.
constexpr std::size_t kMinLaneTerms = 8;

ProjPoint lane_msm(const lanes::Kernels& k, bool public_scalars, const Bn254Scalar* scalars,
                   const Bn254Point* points, std::size_t n, LaneRowKeep* keep) {
  if (n == 0) return ProjPoint::identity();
  // Term i in lane i % 8, slot i / 8.
  const std::size_t terms = (n + 7) / 8;
  std::vector<std::size_t> index(8 * terms, kNone);
  for (std::size_t i = 0; i < n; ++i) index[i] = i;
  ProjPoint part[8];
  lane_pass(k, public_scalars, scalars, points, index.data(), terms, part, keep);
  // The eight lane sums, added with the complete formula (each is as
  // secret as its scalars).
  ProjPoint sum = part[0];
  for (int i = 1; i < 8; ++i) sum = sum.add(part[i]);
  ct::wipe(part, sizeof part);
  return sum;
}

}  // namespace

LaneRowKeep::LaneRowKeep() : rows_(std::make_unique<Rows>()) {}
LaneRowKeep::~LaneRowKeep() = default;

ProjPoint msm_lanes_public_points(const lanes::Kernels& k, const Bn254Scalar* scalars, const Bn254Point* points,
                                  std::size_t n) {
  return lane_msm(k, false, scalars, points, n, nullptr);
}

ProjPoint msm_lanes_vartime(const lanes::Kernels& k, const Bn254Scalar* scalars, const Bn254Point* points,
                            std::size_t n, LaneRowKeep* keep) {
  return lane_msm(k, true, scalars, points, n, keep);
}

void msm_each_lanes_vartime(const lanes::Kernels& k, const Bn254Scalar* scalars, const Bn254Point* points,
                            std::size_t sums, std::size_t terms, ProjPoint* out, LaneRowKeep* keep) {
  // Sum s in lane s % 8 of pass s / 8, its terms in slots 0 .. terms - 1.
  std::vector<std::size_t> index(8 * terms);
  ProjPoint part[8];
  for (std::size_t first = 0; first < sums; first += 8) {
    for (std::size_t t = 0; t < terms; ++t)
      for (std::size_t lane = 0; lane < 8; ++lane) {
        const std::size_t s = first + lane;
        index[8 * t + lane] = s < sums ? s * terms + t : kNone;
      }
    lane_pass(k, true, scalars, points, index.data(), terms, part, keep);
    for (std::size_t lane = 0; lane < 8 && first + lane < sums; ++lane) out[first + lane] = part[lane];
  }
}

ProjPoint msm_public_points(const Bn254Scalar* scalars, const Bn254Point* points, std::size_t n) {
  if (n >= kMinLaneTerms)
    if (const lanes::Kernels* k = lanes::active()) return msm_lanes_public_points(*k, scalars, points, n);
  return msm(scalars, points, n);
}

std::size_t lane_rows_cached() {
  RowCache& cache = row_cache();
  std::lock_guard<std::mutex> lock(cache.mu);
  return cache.rows.size();
}

}  // namespace vemo::curve
