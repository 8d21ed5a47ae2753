// The AVX-512 IFMA lane layer: the same interface as PortableLayer
// (layer_portable.hpp), one 512-bit register of eight 64-bit lanes, the
// multiply-adds by vpmadd52luq / vpmadd52huq.
//
// Every function carries the target attribute itself: the build has no
// global -m flag, and only code reached after the run-time check
// (dispatch.cpp) executes these instructions. Include this header only in
// the translation unit that instantiates the engine for it (engine_ifma.cpp),
// inside its target region. Constant time: the instructions used here run
// in a time independent of their operands.
#pragma once

#include <cstdint>

#include <immintrin.h>

#define VEMO_LANES_IFMA_TARGET "avx512f,avx512ifma,avx512vl"
#define VEMO_LANES_IFMA_FN __attribute__((target(VEMO_LANES_IFMA_TARGET), always_inline)) static inline

namespace vemo::curve::lanes {

struct IfmaLayer {
  using u64 = std::uint64_t;
  static constexpr int kLanes = 8;
  using V = __m512i;

  VEMO_LANES_IFMA_FN V zero() { return _mm512_setzero_si512(); }
  VEMO_LANES_IFMA_FN V set1(u64 x) { return _mm512_set1_epi64((long long)x); }
  VEMO_LANES_IFMA_FN V load(const u64* p) { return _mm512_loadu_si512((const void*)p); }
  VEMO_LANES_IFMA_FN void store(u64* p, V a) { _mm512_storeu_si512((void*)p, a); }
  VEMO_LANES_IFMA_FN V add(V a, V b) { return _mm512_add_epi64(a, b); }
  VEMO_LANES_IFMA_FN V sub(V a, V b) { return _mm512_sub_epi64(a, b); }
  VEMO_LANES_IFMA_FN V and_(V a, V b) { return _mm512_and_si512(a, b); }
  VEMO_LANES_IFMA_FN V or_(V a, V b) { return _mm512_or_si512(a, b); }
  VEMO_LANES_IFMA_FN V xor_(V a, V b) { return _mm512_xor_si512(a, b); }
  template <int k>
  VEMO_LANES_IFMA_FN V srli(V a) {
    return _mm512_srli_epi64(a, k);
  }
  template <int k>
  VEMO_LANES_IFMA_FN V srai(V a) {
    return _mm512_srai_epi64(a, k);
  }
  VEMO_LANES_IFMA_FN V madd52lo(V acc, V a, V b) { return _mm512_madd52lo_epu64(acc, a, b); }
  VEMO_LANES_IFMA_FN V madd52hi(V acc, V a, V b) { return _mm512_madd52hi_epu64(acc, a, b); }
};

}  // namespace vemo::curve::lanes
