// Constant-time helpers: masks, conditional move and swap, wiping.
//
// A "flag" is 0 or 1; a "mask" is 0 or all ones. Flags are read through a
// volatile copy so the optimiser cannot turn a mask back into a branch.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vemo::ct {

using u64 = std::uint64_t;

// 0 -> 0, 1 -> all ones. The volatile read keeps the compiler from
// recovering the boolean and branching on it.
inline u64 mask_from_flag(u64 flag) {
  volatile u64 f = flag;
  return 0 - f;
}

// 1 if x == 0 else 0, without a branch.
inline u64 is_zero_flag(u64 x) { return 1 ^ ((x | (0 - x)) >> 63); }

inline u64 eq_flag(u64 a, u64 b) { return is_zero_flag(a ^ b); }

// Sets dst to src when flag is 1; leaves it when flag is 0.
inline void cmov(u64* dst, const u64* src, std::size_t n, u64 flag) {
  const u64 m = mask_from_flag(flag);
  for (std::size_t i = 0; i < n; ++i) dst[i] ^= m & (dst[i] ^ src[i]);
}

// Swaps a and b when flag is 1.
inline void cswap(u64* a, u64* b, std::size_t n, u64 flag) {
  const u64 m = mask_from_flag(flag);
  for (std::size_t i = 0; i < n; ++i) {
    const u64 t = m & (a[i] ^ b[i]);
    a[i] ^= t;
    b[i] ^= t;
  }
}

// Clears memory in a way the compiler may not elide.
inline void wipe(void* p, std::size_t n) {
  volatile unsigned char* q = static_cast<volatile unsigned char*>(p);
  for (std::size_t i = 0; i < n; ++i) q[i] = 0;
}

template <class T>
inline void wipe(T& v) {
  wipe(static_cast<void*>(&v), sizeof(T));
}

// Holds a secret temporary and wipes it when it goes out of scope, on every
// path out (early returns included). For plain values: scalars, limb arrays,
// digit buffers.
template <class T>
class Wiped {
 public:
  Wiped() : v_{} {}
  explicit Wiped(const T& v) : v_(v) {}
  Wiped(const Wiped&) = delete;
  Wiped& operator=(const Wiped&) = delete;
  ~Wiped() { wipe(v_); }
  T& operator*() { return v_; }
  const T& operator*() const { return v_; }
  T* operator->() { return &v_; }
  const T* operator->() const { return &v_; }

 private:
  T v_;
};

// Declassification: the point where bytes derived from secrets become public
// (a published commitment, a proof's response, a comparison whose outcome
// the caller learns anyway). It does nothing unless a checker installs a
// hook: the constant-time check under valgrind tells memcheck that these
// bytes may steer branches from here on, so any branch or index on a secret
// before that point is reported.
using DeclassifyHook = void (*)(const void* p, std::size_t n);
inline DeclassifyHook declassify_hook = nullptr;

inline void declassify(const void* p, std::size_t n) {
  if (declassify_hook != nullptr) declassify_hook(p, n);
}

template <class T>
inline void declassify(const T& v) {
  declassify(static_cast<const void*>(&v), sizeof(T));
}

}  // namespace vemo::ct
