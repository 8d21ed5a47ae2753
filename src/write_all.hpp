// Writing a diagnostic text straight to a file descriptor, past Python's own
// buffered streams.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <string>

namespace vemo::py {

// Writes all of text to fd, retrying short and interrupted writes. A closed
// descriptor loses the text, nothing else.
inline void write_all(int fd, const std::string& text) {
  const char* p = text.data();
  std::size_t n = text.size();
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return;
    }
    p += w;
    n -= (std::size_t)w;
  }
}

}  // namespace vemo::py
