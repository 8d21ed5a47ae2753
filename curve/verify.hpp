// Checks of the invariants the curve headers state, for the checking build.
//
// VEMO_VERIFY_CHECK(cond, invariant) aborts with the file, the line, the
// invariant in words and the condition's text when cond is false. It is
// compiled in only when VEMO_VERIFY is 1 (meson -Dverify=true, which the
// sanitizer build turns on). Otherwise the condition is still type-checked
// but never evaluated (sizeof), so the check costs nothing and cannot go
// stale unnoticed.
//
// The checks may branch on secret values: the checking build is for finding
// broken invariants, not for timing. The constant-time check runs on the
// normal build, where every check is compiled out.
#pragma once

#ifndef VEMO_VERIFY
#define VEMO_VERIFY 0
#endif

#if VEMO_VERIFY
#include <cstdio>
#include <cstdlib>

namespace vemo::verify {

[[noreturn]] inline void fail(const char* file, int line, const char* invariant, const char* cond) {
  std::fprintf(stderr, "vemo: invariant violated at %s:%d: %s (%s)\n", file, line, invariant, cond);
  std::fflush(stderr);
  std::abort();
}

}  // namespace vemo::verify

#define VEMO_VERIFY_CHECK(cond, invariant) \
  ((cond) ? (void)0 : ::vemo::verify::fail(__FILE__, __LINE__, invariant, #cond))
#else
#define VEMO_VERIFY_CHECK(cond, invariant) ((void)sizeof((cond) ? 1 : 0))
#endif
