// The hash to curve's map (hash_to_curve.hpp: SvdW) for many inputs at
// once, the square roots sixteen at a time in lanes: generator derivation
// maps hundreds of independent values.
//
// Public inputs and outputs: variable time.
#pragma once

#include <cstddef>

#include "curve/lanes/lanes.hpp"
#include "curve/point.hpp"

namespace vemo::curve::lanes {

// out[i] = SvdW::map_to_curve_g1_unchecked(u[i]) for i < n: the same points,
// the candidate roots of each stage taken together (first every gx1, then
// gx2 where gx1 had none, then gx3 for what remains).
void map_to_curve_batch_vartime(const Kernels& k, const Fp* u, std::size_t n, Bn254Point* out);

}  // namespace vemo::curve::lanes
