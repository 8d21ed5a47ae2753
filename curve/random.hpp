// The operating system's random source: getrandom, falling back to
// /dev/urandom when the system call is unavailable. There is no weaker
// fallback: when neither yields bytes, fill_random returns false.
#pragma once

#include <cstddef>

namespace vemo::curve {

[[nodiscard]] bool fill_random(void* buf, std::size_t n);

}  // namespace vemo::curve
