// The lane engine over the AVX-512 IFMA layer. Everything the engine
// defines is compiled inside a target region (below), so it may use
// AVX-512 while the rest of the library keeps the baseline instruction
// set; the headers before the region are compiled as everywhere else.
// Nothing here runs before dispatch.cpp has checked the processor and the
// operating system (ifma_kernels()).
#if defined(__x86_64__)
#include <array>
#include <cstdint>

#include "curve/lanes/consts.hpp"
#include "curve/lanes/lanes.hpp"
#include "curve/lanes/layer_ifma.hpp"

namespace vemo::curve::lanes {

// Every function the engine defines is compiled for the IFMA features:
// g++ by a target region, clang (the fuzz build) by an attribute applied to
// every function of the region.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f,avx512ifma,avx512vl"))), apply_to = function)
#else
#pragma GCC push_options
// g++ 12 reports the shift intrinsics' deliberately undefined pass-through
// operand (_mm512_undefined_epi32, under an all-ones mask, so never read)
// as used uninitialized.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
// The same features as VEMO_LANES_IFMA_TARGET (a pragma takes no macro).
#pragma GCC target("avx512f,avx512ifma,avx512vl")
#endif
namespace ifma_impl {
#include "curve/lanes/engine.inc"
}  // namespace ifma_impl
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC diagnostic pop
#pragma GCC pop_options
#endif

// The table holds function pointers only, built at compile time (a
// constexpr local): making it runs no AVX-512. dispatch.cpp hands it out
// after its check.
const Kernels& ifma_kernels_unchecked() {
  static constexpr Kernels k = ifma_impl::KernelSet<IfmaLayer>::table("ifma");
  return k;
}

}  // namespace vemo::curve::lanes
#endif  // __x86_64__
