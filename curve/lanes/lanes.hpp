// The 8-lane field and group engine: arithmetic modulo p and the Jacobian
// formulas of jacobian.hpp on eight independent elements or points at once.
//
// The algorithms are written once (engine.inc) over a small lane layer with
// two implementations: AVX-512 IFMA (layer_ifma.hpp: vpmadd52luq/huq on
// 512-bit registers) and a portable one (layer_portable.hpp: eight uint64
// lanes emulating those instructions exactly), which runs on every machine.
// Both give the same values for every input.
//
// Which one the library uses is decided once per process (selected()):
// - the IFMA layer when the processor has AVX-512F, AVX-512VL and
//   AVX-512IFMA (CPUID) and the operating system saves the 512-bit state
//   (XGETBV), and the environment does not say otherwise;
// - none (the scalar code, exactly as on a machine without AVX-512) when the
//   processor lacks them;
// - the environment variable VEMO_LANES, read once, overrides:
//     VEMO_LANES=off       never use the lanes: the scalar paths everywhere;
//     VEMO_LANES=portable  use the lanes through the portable layer (slow: it
//                          exists to run every caller through the same
//                          algorithms on any machine, and for valgrind,
//                          which cannot execute AVX-512);
//     VEMO_LANES=ifma      (or unset) the IFMA layer when the processor has
//                          it, else off.
//   Any other value counts as off.
//
// Memory form. Fe8 holds eight lane elements, limb j of lane i at l[j][i]:
// five limbs below 2^52 for an integer a standing for a 2^-260 mod p, with
// a below 2p for every value the engine makes (engine.inc states the bounds
// of each operation). The conversions take and give the field type's values
// (Fp, canonical). Every kernel here is constant time in the values.
#pragma once

#include <cstddef>
#include <cstdint>

#include "curve/field.hpp"

namespace vemo::curve::lanes {

struct alignas(64) Fe8 {
  std::uint64_t l[5][8];
};
struct Jac8 {
  Fe8 X, Y, Z;
};

// The rows of eight points side by side, for the constant-time sums in
// lanes (curve/msm_lanes.hpp): entry e is (e + 1)·P_i in lane i, affine, its
// x, beta·x (the lambda half's point) and y. A lane whose point is absent
// holds zeros, and its digits are zero.
constexpr int kGlvRowLen = 16;
constexpr int kGlvHalfWindows = 26;
struct GlvBlock {
  Fe8 x[kGlvRowLen], bx[kGlvRowLen], y[kGlvRowLen];
};

// The kernels of one layer. Outputs may alias inputs.
struct Kernels {
  const char* name;  // "ifma" or "portable"
  void (*from_fp)(Fe8* out, const Fp* in8);
  void (*to_fp)(Fp* out8, const Fe8* in);
  void (*mul)(Fe8* out, const Fe8* a, const Fe8* b);
  void (*sqr)(Fe8* out, const Fe8* a);
  void (*add)(Fe8* out, const Fe8* a, const Fe8* b);
  void (*sub)(Fe8* out, const Fe8* a, const Fe8* b);
  void (*neg)(Fe8* out, const Fe8* a);
  void (*reduce)(Fe8* out, const Fe8* a);
  // a^((p+1)/4) lane by lane: the square root of a wherever a has one.
  void (*sqrt_candidate)(Fe8* out, const Fe8* a);
  // The same for 16 elements (two Fe8), the products of the two halves
  // interleaved.
  void (*sqrt_candidate16)(Fe8* out2, const Fe8* a2);
  void (*jac_dbl)(Jac8* out, const Jac8* p);
  // p + (x2, y2), (x2, y2) affine and not the identity, any p: the values
  // of jac_madd_vartime, the excluded cases by masks.
  void (*jac_madd)(Jac8* out, const Jac8* p, const Fe8* x2, const Fe8* y2);
  // p + q, any p and q: the values of jac_add_vartime.
  void (*jac_add)(Jac8* out, const Jac8* p, const Jac8* q);
  // Throughput probe for the benchmark: n rounds of x = x * y on four
  // independent Fe8 (32 products a round).
  void (*mul_chain4)(Fe8* x4, const Fe8* y, std::size_t n);
  // Lane i of out gets sum over t < terms of the signed 5-bit windows of
  // both GLV halves on the rows of blocks[t], lane i:
  //   sum_w 32^w (d[t][w][i]·P_t,i + d[t][26 + w][i]·lambda P_t,i),
  // digits d[t][w][i] = digits[(52 t + w)·8 + i], each in [-16, 16] as a
  // two's complement 64-bit value (the half's sign folded in). One chain of
  // doublings for all terms; every entry of a row is scanned by masks and
  // the mixed additions take their exceptional cases by masks, so no branch
  // or memory index depends on the digits. Jacobian result.
  void (*glv_sums)(Jac8* out, const GlvBlock* blocks, const std::uint64_t* digits, std::size_t terms);
  // The same sums for public digits and points: faster, variable time.
  void (*glv_sums_vartime)(Jac8* out, const GlvBlock* blocks, const std::uint64_t* digits, std::size_t terms);
};

const Kernels& portable_kernels();
// The IFMA kernels, or nullptr when this processor or its operating system
// cannot run them (whatever VEMO_LANES says).
const Kernels* ifma_kernels();
bool cpu_has_ifma();

enum class Mode { Off, Portable, Ifma };
// The process's choice (see above), made on the first call.
Mode selected();
const char* mode_name(Mode m);
// The kernels callers use, or nullptr when the lanes are off.
const Kernels* active();

// ---- batch operations on field values, any count, through given kernels ----

// out[i] = in[i]^((p+1)/4), for i < n. Constant time in the values.
void sqrt_candidates(const Kernels& k, Fp* out, const Fp* in, std::size_t n);

}  // namespace vemo::curve::lanes
