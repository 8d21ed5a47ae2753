// The odd-multiple rows of the variable-time sums (msm_vartime.cpp) and the
// two stores that keep them, which never share space:
// - pinned rows, for the library's own generators (the generator vectors
//   of range proofs, the generator pair): built once by pin_vartime_tables
//   and kept for the process, so no stream of caller points can push them
//   out;
// - a bounded cache of the rows of caller points that recur (a busy
//   account's key, a custom generator pair), under the second-sight policy
//   of row_cache.hpp.
// Everything here is public data and variable time.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "point.hpp"

namespace vemo::curve {

// The affine odd multiples P, 3P, …, (2^(w−1) − 1)P of a point P (not the
// identity), for a width-w NAF, with beta·x kept beside x so that the
// lambda half of a term needs no multiplication per digit.
struct OddRow {
  int width;
  std::vector<Fp> x, bx, y;
};

// The rows for the points of one sum: row(a) serves pts[a]. Thread-safe.
class SumRows {
 public:
  // Looks up every point, the pinned rows first, then the cache (one lock
  // each for the whole sum); a point found in neither is missing.
  explicit SumRows(const std::vector<const Bn254Point*>& pts);
  SumRows(const SumRows&) = delete;
  SumRows& operator=(const SumRows&) = delete;

  // How many points have no stored row.
  std::size_t missing() const { return missing_.size(); }
  // Builds the missing rows (narrow, with one batch inversion) and offers
  // each to the cache, which admits it on the second sight of its point.
  void build_missing();
  // The row of pts[a]; every point has one after build_missing.
  const OddRow& row(std::size_t a) const { return *rows_[a]; }

 private:
  const std::vector<const Bn254Point*>& pts_;
  std::vector<const OddRow*> rows_;                  // null while missing
  std::vector<std::shared_ptr<const OddRow>> keep_;  // cached rows, alive for this sum even if evicted
  std::vector<std::size_t> missing_;
  std::vector<OddRow> fresh_;  // built for this sum
};

// Pins wide rows for points used in sum after sum (msm_vartime.hpp's
// pin_vartime_tables), and how many rows the caller cache holds
// (vartime_cache_size). Thread-safe.
void pin_rows(const Bn254Point* points, std::size_t n);
std::size_t cached_rows();

}  // namespace vemo::curve
