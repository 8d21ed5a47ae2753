#include "random.hpp"

#include <errno.h>
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

namespace vemo::curve {

namespace {

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

bool fill_random(void* buf, std::size_t n) {
  unsigned char* p = static_cast<unsigned char*>(buf);
  while (n > 0) {
    ssize_t got = getrandom(p, n, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      if (errno == ENOSYS) return from_urandom(p, n);
      return false;
    }
    p += got;
    n -= (std::size_t)got;
  }
  return true;
}

}  // namespace vemo::curve
