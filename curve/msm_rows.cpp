#include "msm_rows.hpp"

#include <algorithm>
#include <iterator>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>

#include "glv.hpp"
#include "jacobian.hpp"
#include "point_key.hpp"
#include "row_cache.hpp"

namespace vemo::curve {

namespace {

// Window widths of the NAF: 5 (odd multiples 1 … 15) for caller points,
// 7 (1 … 63) for the most used pinned generators, whose larger rows are
// built once and cut the additions per half from about 22 to about 17.
constexpr int kW = 5;
constexpr int kWideW = 7;

// Rows of width w for points, built together with one batch inversion.
std::vector<OddRow> build_rows(const Bn254Point* const* points, std::size_t n, int w) {
  const std::size_t kOdd = std::size_t{1} << (w - 2);
  std::vector<ProjPoint> proj(n * kOdd);
  for (std::size_t b = 0; b < n; ++b) {
    const Bn254Point& p = *points[b];
    JacPoint cur{p.x, p.y, Fp::one()};
    const JacPoint two = jac_dbl_vartime(cur);
    proj[b * kOdd] = jac_to_proj(cur);
    for (std::size_t j = 1; j < kOdd; ++j) {
      cur = jac_add_vartime(cur, two);
      proj[b * kOdd + j] = jac_to_proj(cur);
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

// Pinned rows: never evicted, so raw pointers into the map stay valid for
// the process.
constexpr std::size_t kMaxPinned = (1u << 14) + 64;  // the generator cache's bound, with room for pairs
constexpr std::size_t kWidePinned = 1024;            // about 3 MiB of wide rows

struct Pinned {
  std::shared_mutex mu;
  std::unordered_map<PointKey, std::unique_ptr<const OddRow>, PointKeyHash> rows;
};

Pinned& pinned() {
  static Pinned p;
  return p;
}

// Caller points: rows admitted on second sight, least recently used out.
constexpr std::size_t kMaxCachedRows = 4096;  // about 3 MiB of rows

struct CallerCache {
  std::mutex mu;
  SecondSightCache<std::shared_ptr<const OddRow>> rows{kMaxCachedRows};
};

CallerCache& caller_cache() {
  static CallerCache c;
  return c;
}

}  // namespace

SumRows::SumRows(const std::vector<const Bn254Point*>& pts) : pts_(pts), rows_(pts.size(), nullptr) {
  const std::size_t t = pts.size();
  {
    Pinned& pin = pinned();
    std::shared_lock<std::shared_mutex> lock(pin.mu);
    if (!pin.rows.empty())
      for (std::size_t a = 0; a < t; ++a) {
        auto it = pin.rows.find(key_of(*pts[a]));
        if (it != pin.rows.end()) rows_[a] = it->second.get();
      }
  }
  CallerCache& cache = caller_cache();
  std::lock_guard<std::mutex> lock(cache.mu);
  for (std::size_t a = 0; a < t; ++a) {
    if (rows_[a]) continue;
    if (auto* row = cache.rows.find(key_of(*pts[a]))) {
      keep_.push_back(*row);
      rows_[a] = row->get();
    } else {
      missing_.push_back(a);
    }
  }
}

void SumRows::build_missing() {
  if (missing_.empty()) return;
  std::vector<const Bn254Point*> to_build(missing_.size());
  for (std::size_t b = 0; b < missing_.size(); ++b) to_build[b] = pts_[missing_[b]];
  fresh_ = build_rows(to_build.data(), to_build.size(), kW);
  for (std::size_t b = 0; b < missing_.size(); ++b) rows_[missing_[b]] = &fresh_[b];
  CallerCache& cache = caller_cache();
  std::lock_guard<std::mutex> lock(cache.mu);
  for (std::size_t b = 0; b < missing_.size(); ++b) {
    const PointKey k = key_of(*to_build[b]);
    if (cache.rows.find(k)) continue;  // another sum admitted it meanwhile
    if (cache.rows.second_sight(k)) cache.rows.admit(k, std::make_shared<const OddRow>(fresh_[b]));
  }
  missing_.clear();
}

void pin_rows(const Bn254Point* points, std::size_t n) {
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

std::size_t cached_rows() {
  CallerCache& cache = caller_cache();
  std::lock_guard<std::mutex> lock(cache.mu);
  return cache.rows.size();
}

}  // namespace vemo::curve
