// Constant-time sums in lanes: secret scalars over public points (the
// generator vectors of a range proof), eight terms at a time in the lane
// engine (lanes/lanes.hpp).
//
// The terms are dealt to the eight lanes (term i to lane i mod 8), and every
// lane runs the schedule of msm (scalar_mul.cpp) over its own terms with its
// own accumulator: the GLV halves in signed 5-bit windows, one chain of
// doublings, each window's entry found by scanning the whole row with
// masks, the mixed additions complete by masks. The eight lane sums are
// then added with the complete projective formula. The result is the same
// point as msm's.
//
// Constant time in the scalars. The points are public: their rows (the
// affine multiples 1..16 and beta·x) are built in variable time and kept
// between calls under the second-sight policy of row_cache.hpp, looked up
// by value.
#pragma once

#include <cstddef>
#include <memory>

#include "lanes/lanes.hpp"
#include "point.hpp"
#include "scalar.hpp"

namespace vemo::curve {

// Rows a caller keeps for the length of one task (a proof's own points,
// which the cache would take in only on their second sight and so build
// twice): the sums given it look there first and leave every row they
// build there. Not thread-safe: one task, one thread.
class LaneRowKeep {
 public:
  LaneRowKeep();
  ~LaneRowKeep();
  LaneRowKeep(const LaneRowKeep&) = delete;
  LaneRowKeep& operator=(const LaneRowKeep&) = delete;
  struct Rows;
  Rows& rows() { return *rows_; }

 private:
  std::unique_ptr<Rows> rows_;
};

// Sum of scalars[i]·points[i], i < n, through the kernels k; identity
// points add nothing, n = 0 gives the identity. Constant time in the
// scalars; the points must be public.
ProjPoint msm_lanes_public_points(const lanes::Kernels& k, const Bn254Scalar* scalars, const Bn254Point* points,
                                  std::size_t n);

// The same sum for public scalars too, by the faster variable-time kernel.
ProjPoint msm_lanes_vartime(const lanes::Kernels& k, const Bn254Scalar* scalars, const Bn254Point* points,
                            std::size_t n, LaneRowKeep* keep = nullptr);
// Many small sums of public scalars and points side by side, one a lane:
// out[s] = sum over t < terms of scalars[s·terms + t]·points[s·terms + t],
// for s < sums. Variable time.
void msm_each_lanes_vartime(const lanes::Kernels& k, const Bn254Scalar* scalars, const Bn254Point* points,
                            std::size_t sums, std::size_t terms, ProjPoint* out, LaneRowKeep* keep = nullptr);

// The same sum by the active lanes when they are on and the sum has enough
// terms to fill them, otherwise by msm. Constant time in the scalars; the
// points must be public.
ProjPoint msm_public_points(const Bn254Scalar* scalars, const Bn254Point* points, std::size_t n);

// Rows held by the cache (bounded), for tests.
std::size_t lane_rows_cached();

}  // namespace vemo::curve
