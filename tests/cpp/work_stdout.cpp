// write_stdout for the work functions linked without Python (the
// constant-time check and the C++ tests): the module's own version takes
// the interpreter lock around the same writes.
#include <unistd.h>

#include <cerrno>

#include "src/work.hpp"

namespace vemo::py::work {

void write_stdout(const std::string& text) {
  const char* p = text.data();
  std::size_t n = text.size();
  while (n > 0) {
    ssize_t w = ::write(1, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return;
    }
    p += w;
    n -= (std::size_t)w;
  }
}

}  // namespace vemo::py::work
