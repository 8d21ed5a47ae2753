// Rounds of independent affine additions through the lane engine: the
// pairwise bucket sums of Pippenger's method (msm_vartime.cpp), where every
// addition of a round shares one inversion.
//
// For public data (sums being verified): variable time in the count only;
// the lane arithmetic itself is constant time.
#pragma once

#include <cstddef>

#include "curve/lanes/lanes.hpp"

namespace vemo::curve::lanes {

// For i < m, with lambda = num[i] / den[i] (every den[i] non-zero):
//   rx[i] = lambda^2 - xa[i] - xb[i],  ry[i] = lambda (xa[i] - rx[i]) - ya[i],
// the chord (or tangent) sum of (xa, ya) and (xb, .) when num and den are
// its slope's parts. The inversions share one scalar inversion: eight
// interleaved chains of prefix products in lanes, then the eight chain
// totals inverted together. The same values as the scalar computation.
void affine_sums_vartime(const Kernels& k, const Fp* num, const Fp* den, const Fp* xa, const Fp* xb, const Fp* ya,
                         std::size_t m, Fp* rx, Fp* ry);

}  // namespace vemo::curve::lanes
