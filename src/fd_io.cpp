// Reading and writing a descriptor in whatever mode it was handed to us.
#include "fd_io.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

bool waitReady(int fd, short events) {
  struct pollfd p = {fd, events, 0};
  return poll(&p, 1, -1) >= 0 || errno != EINTR;
}

ssize_t readSome(int fd, void *buffer, size_t size, const volatile bool *stop) {
  for (;;) {
    ssize_t n = read(fd, buffer, size);
    if (n >= 0)
      return n;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      // Left non-blocking by whoever shares it: wait rather than take it for an end.
      if (waitReady(fd, POLLIN) || stop == nullptr || !*stop)
        continue;
      errno = EINTR;
      return -1;
    }
    if (errno != EINTR || (stop != nullptr && *stop))
      return -1;
  }
}

bool writeAll(int fd, const void *data, size_t size) {
  const char *p = static_cast<const char *>(data);
  while (size > 0) {
    ssize_t n = write(fd, p, size);
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK)
        waitReady(fd, POLLOUT);
      else if (errno != EINTR)
        return false;
      continue;
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}
