// The operating system's random source: getrandom, falling back to
// /dev/urandom when the system call is unavailable (ENOSYS). There is no
// weaker fallback: when no bytes come, fill_random returns false and every
// caller reports it as a panic.
#pragma once

#include <sys/types.h>

#include <cstddef>

namespace vemo::curve {

// Fills all n bytes. Short reads and interrupted calls (EINTR) are retried
// until the buffer is full; any other failure returns false.
[[nodiscard]] bool fill_random(void* buf, std::size_t n);

// Test seam, not reachable from Python: replaces the getrandom call (same
// contract: bytes written or -1 with errno set). nullptr restores the
// system call. Tests use it to simulate failures, short reads and EINTR,
// and the constant-time check to mark every drawn byte secret.
using RandomSource = ssize_t (*)(void* buf, std::size_t n, unsigned flags);
void set_random_source_for_testing(RandomSource source);

}  // namespace vemo::curve
