#include "random.hpp"

#include <errno.h>
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

namespace vemo::curve {

namespace {

ssize_t system_getrandom(void* buf, std::size_t n, unsigned flags) { return getrandom(buf, n, flags); }

RandomSource g_source = system_getrandom;

bool from_urandom(unsigned char* p, std::size_t n) {
  int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  while (n > 0) {
    ssize_t got = read(fd, p, n);
    if (got < 0) {
      if (errno == EINTR) continue;
      close(fd);
      return false;
    }
    if (got == 0) {
      close(fd);
      return false;
    }
    p += got;
    n -= (std::size_t)got;
  }
  close(fd);
  return true;
}

}  // namespace

void set_random_source_for_testing(RandomSource source) { g_source = source ? source : system_getrandom; }

bool fill_random(void* buf, std::size_t n) {
  unsigned char* p = static_cast<unsigned char*>(buf);
  while (n > 0) {
    ssize_t got = g_source(p, n, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      if (errno == ENOSYS) return from_urandom(p, n);
      return false;
    }
    // A source that makes no progress would otherwise spin for ever.
    if (got == 0 || (std::size_t)got > n) return false;
    p += got;
    n -= (std::size_t)got;
  }
  return true;
}

}  // namespace vemo::curve
