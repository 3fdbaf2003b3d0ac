// Reading and writing a descriptor in whatever mode it was handed to us.
#include "fd_io.h"

#include <poll.h>
#include <signal.h>
#include <sys/select.h>
#include <unistd.h>

#include <cerrno>

bool waitReady(int fd, short events) {
  struct pollfd p = {fd, events, 0};
  return poll(&p, 1, -1) >= 0 || errno != EINTR;
}

// Waits until fd has something to read or a signal sets *stop, whichever
// comes first. Signals are held while *stop is looked at and let in only
// inside pselect, so that one arriving just before the wait still ends it.
static bool waitReadableUnlessStopped(int fd, const volatile bool *stop) {
  sigset_t all, before;
  sigfillset(&all);
  sigprocmask(SIG_BLOCK, &all, &before);
  if (!*stop) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(fd, &readable);
    pselect(fd + 1, &readable, nullptr, nullptr, nullptr, &before);
  }
  // A handler that passed the signal on (as the line editor's does) has its
  // second delivery here, as the signals are let in again.
  sigprocmask(SIG_SETMASK, &before, nullptr);
  return !*stop;
}

ssize_t readSome(int fd, void *buffer, size_t size, const volatile bool *stop) {
  for (;;) {
    if (stop != nullptr && fd < FD_SETSIZE && !waitReadableUnlessStopped(fd, stop)) {
      errno = EINTR;
      return -1;
    }
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
