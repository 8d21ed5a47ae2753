// The lane engine over the portable layer: the path of every machine
// without IFMA that asks for the lanes (VEMO_LANES=portable), of the tests
// on every machine, and of the constant-time check under valgrind.
#include <array>
#include <cstdint>

#include "curve/lanes/consts.hpp"
#include "curve/lanes/lanes.hpp"
#include "curve/lanes/layer_portable.hpp"

namespace vemo::curve::lanes {
namespace portable_impl {
#include "curve/lanes/engine.inc"
}  // namespace portable_impl

static_assert(sizeof(Fp) == 32, "an Fp is its four limbs");

const Kernels& portable_kernels() {
  static constexpr Kernels k = portable_impl::KernelSet<PortableLayer>::table("portable");
  return k;
}

}  // namespace vemo::curve::lanes
