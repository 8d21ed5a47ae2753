// Panic: the error value for a condition the caller cannot recover from
// inside the library (an assertion, missing randomness, a malformed proof
// structure). It carries the exact text the module boundary reports.
#pragma once

#include <string>

namespace vemo {

struct Panic {
  std::string message;
};

inline Panic randomness_unavailable() {
  return Panic{"the operating system's random source failed: getrandom (or /dev/urandom where getrandom is "
               "unavailable) gave no random bytes"};
}

}  // namespace vemo
