// The portable lane layer: eight 64-bit lanes in a plain array, with the
// 52-bit multiply-adds emulated exactly (the low 52 bits of each operand
// multiplied, the low or high 52 bits of the 104-bit product added to the
// accumulator, modulo 2^64). It runs on every machine, so the lane
// algorithms (engine.inc) are tested everywhere, and it is the path the
// constant-time check runs: straight-line code, no branch or index on lane
// values.
#pragma once

#include <cstdint>

namespace vemo::curve::lanes {

struct PortableLayer {
  using u64 = std::uint64_t;
  static constexpr int kLanes = 8;
  struct V {
    u64 l[8];
  };

  static inline V zero() { return V{}; }
  static inline V set1(u64 x) {
    V r;
    for (int i = 0; i < 8; ++i) r.l[i] = x;
    return r;
  }
  static inline V load(const u64* p) {
    V r;
    for (int i = 0; i < 8; ++i) r.l[i] = p[i];
    return r;
  }
  static inline void store(u64* p, const V& a) {
    for (int i = 0; i < 8; ++i) p[i] = a.l[i];
  }
  static inline V add(const V& a, const V& b) {
    V r;
    for (int i = 0; i < 8; ++i) r.l[i] = a.l[i] + b.l[i];
    return r;
  }
  static inline V sub(const V& a, const V& b) {
    V r;
    for (int i = 0; i < 8; ++i) r.l[i] = a.l[i] - b.l[i];
    return r;
  }
  static inline V and_(const V& a, const V& b) {
    V r;
    for (int i = 0; i < 8; ++i) r.l[i] = a.l[i] & b.l[i];
    return r;
  }
  static inline V or_(const V& a, const V& b) {
    V r;
    for (int i = 0; i < 8; ++i) r.l[i] = a.l[i] | b.l[i];
    return r;
  }
  static inline V xor_(const V& a, const V& b) {
    V r;
    for (int i = 0; i < 8; ++i) r.l[i] = a.l[i] ^ b.l[i];
    return r;
  }
  template <int k>
  static inline V srli(const V& a) {
    V r;
    for (int i = 0; i < 8; ++i) r.l[i] = a.l[i] >> k;
    return r;
  }
  // Arithmetic shift: the sign bit is copied in (GCC's >> on signed values
  // is arithmetic; C++20 defines it so).
  template <int k>
  static inline V srai(const V& a) {
    V r;
    for (int i = 0; i < 8; ++i) r.l[i] = (u64)((std::int64_t)a.l[i] >> k);
    return r;
  }
  // acc + low 52 bits of (a mod 2^52)(b mod 2^52), lane by lane.
  static inline V madd52lo(const V& acc, const V& a, const V& b) {
    constexpr u64 M = (1ULL << 52) - 1;
    V r;
    for (int i = 0; i < 8; ++i) {
      const unsigned __int128 pr = (unsigned __int128)(a.l[i] & M) * (b.l[i] & M);
      r.l[i] = acc.l[i] + ((u64)pr & M);
    }
    return r;
  }
  // acc + bits 52..103 of (a mod 2^52)(b mod 2^52), lane by lane.
  static inline V madd52hi(const V& acc, const V& a, const V& b) {
    constexpr u64 M = (1ULL << 52) - 1;
    V r;
    for (int i = 0; i < 8; ++i) {
      const unsigned __int128 pr = (unsigned __int128)(a.l[i] & M) * (b.l[i] & M);
      r.l[i] = acc.l[i] + (u64)(pr >> 52);
    }
    return r;
  }
};

}  // namespace vemo::curve::lanes
