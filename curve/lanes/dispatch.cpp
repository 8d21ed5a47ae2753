// The run-time choice of the lane layer (lanes.hpp) and the batch
// operations that go through it. Compiled for the baseline instruction set:
// it decides whether the IFMA kernels may run, so it must run anywhere.
#if defined(__x86_64__)
#include <cpuid.h>
#endif

#include <cstdlib>
#include <cstring>

#include "curve/lanes/lanes.hpp"

namespace vemo::curve::lanes {

#if defined(__x86_64__)
const Kernels& ifma_kernels_unchecked();  // engine_ifma.cpp
#endif

namespace {

#if defined(__x86_64__)
// XCR0: which register state the operating system saves on a context
// switch. xgetbv is valid only when CPUID says OSXSAVE.
std::uint64_t xcr0() {
  std::uint32_t lo, hi;
  asm volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
  return ((std::uint64_t)hi << 32) | lo;
}

bool detect_ifma() {
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
  if (!(c & bit_OSXSAVE)) return false;
  if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
  const bool avx512f = b & (1u << 16), ifma = b & (1u << 21), vl = b & (1u << 31);
  if (!(avx512f && ifma && vl)) return false;
  // SSE (1), AVX (2), opmask (5), upper halves of zmm0-15 (6), zmm16-31 (7).
  constexpr std::uint64_t kZmmState = (1u << 1) | (1u << 2) | (1u << 5) | (1u << 6) | (1u << 7);
  return (xcr0() & kZmmState) == kZmmState;
}
#else
bool detect_ifma() { return false; }
#endif

Mode choose() {
  const char* env = std::getenv("VEMO_LANES");
  const bool ifma = cpu_has_ifma();
  if (env == nullptr || *env == '\0' || std::strcmp(env, "ifma") == 0) return ifma ? Mode::Ifma : Mode::Off;
  if (std::strcmp(env, "portable") == 0) return Mode::Portable;
  return Mode::Off;
}

}  // namespace

bool cpu_has_ifma() {
  static const bool has = detect_ifma();
  return has;
}

const Kernels* ifma_kernels() {
#if defined(__x86_64__)
  if (cpu_has_ifma()) return &ifma_kernels_unchecked();
#endif
  return nullptr;
}

Mode selected() {
  static const Mode m = choose();
  return m;
}

const char* mode_name(Mode m) {
  switch (m) {
    case Mode::Ifma:
      return "ifma";
    case Mode::Portable:
      return "portable";
    case Mode::Off:
      break;
  }
  return "off";
}

const Kernels* active() {
  switch (selected()) {
    case Mode::Ifma:
      return ifma_kernels();
    case Mode::Portable:
      return &portable_kernels();
    case Mode::Off:
      break;
  }
  return nullptr;
}

void sqrt_candidates(const Kernels& k, Fp* out, const Fp* in, std::size_t n) {
  // Sixteen at a time; a short tail is padded with zeros (whose root is 0)
  // and the padding's results dropped. The count is public.
  Fe8 a[2], r[2];
  Fp buf[16];
  for (std::size_t i = 0; i < n; i += 16) {
    const std::size_t m = n - i < 16 ? n - i : 16;
    for (std::size_t j = 0; j < 16; ++j) buf[j] = j < m ? in[i + j] : Fp::zero();
    if (m > 8) {
      k.from_fp(&a[0], buf);
      k.from_fp(&a[1], buf + 8);
      k.sqrt_candidate16(r, a);
      k.to_fp(buf, &r[0]);
      k.to_fp(buf + 8, &r[1]);
    } else {
      k.from_fp(&a[0], buf);
      k.sqrt_candidate(&r[0], &a[0]);
      k.to_fp(buf, &r[0]);
    }
    for (std::size_t j = 0; j < m; ++j) out[i + j] = buf[j];
  }
}

}  // namespace vemo::curve::lanes
