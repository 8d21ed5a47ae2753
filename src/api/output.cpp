#include "output.hpp"

#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace vemo::api {

namespace {

void write_alone(const std::string& text) { write_all(1, text); }

// Set at import, read by every printing call: atomic, so a second
// extension installing the same writer races with no reader.
std::atomic<StdoutWriter> g_writer{&write_alone};

}  // namespace

void write_all(int fd, const std::string& text) {
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

void write_stdout(const std::string& text) { g_writer.load(std::memory_order_acquire)(text); }

void set_stdout_writer(StdoutWriter writer) {
  g_writer.store(writer ? writer : &write_alone, std::memory_order_release);
}

}  // namespace vemo::api
