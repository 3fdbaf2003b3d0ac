// A preload library for the fault-injection run: inside drelk (and nowhere
// else: not in sh, not in the tools) read, write, splice and poll now and
// then fail with EINTR or move fewer bytes than asked, pseudo-randomly from
// the seed in DRELK_FAULTS_SEED. The number of faults made is appended to
// the file DRELK_FAULTS_LOG names, when drelk ends.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace {

bool active = false;
unsigned long state = 0;
unsigned long faults = 0;

// The next number of a small linear congruential sequence.
unsigned long next() {
  state = state * 6364136223846793005UL + 1442695040888963407UL;
  return state >> 33;
}

enum Fault { None, Interrupt, Short };

// Whether the next call is to fail, and how. The first call of each kind
// always fails, so that even a short session meets a fault.
Fault draw(bool canShorten, bool *first) {
  if (!active)
    return None;
  if (*first) {
    *first = false;
    faults++;
    return Interrupt;
  }
  switch (next() % 6) {
    case 0:
      faults++;
      return Interrupt;
    case 1:
      if (!canShorten)
        return None;
      faults++;
      return Short;
    default:
      return None;
  }
}

// Fewer bytes than asked, never none.
size_t shorter(size_t size) { return size > 1 ? 1 + next() % (size - 1) : size; }

template <typename T>
T real(const char *name) {
  return reinterpret_cast<T>(dlsym(RTLD_NEXT, name));
}

__attribute__((constructor)) void start() {
  const char *seed = getenv("DRELK_FAULTS_SEED");
  active = seed != nullptr && strcmp(program_invocation_short_name, "drelk") == 0;
  if (active)
    state = strtoul(seed, nullptr, 10);
}

__attribute__((destructor)) void report() {
  const char *log = getenv("DRELK_FAULTS_LOG");
  if (!active || log == nullptr)
    return;
  int fd = open(log, O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (fd < 0)
    return;
  char line[32];
  int n = snprintf(line, sizeof line, "%lu\n", faults);
  active = false;  // the report itself goes out whole
  if (write(fd, line, static_cast<size_t>(n)) < 0) {
  }
  close(fd);
}

}  // namespace

// Runs call with size, or with fewer bytes, or fails it with EINTR, as drawn.
template <typename Call>
ssize_t faulty(bool *first, size_t size, Call call) {
  switch (draw(true, first)) {
    case Interrupt:
      errno = EINTR;
      return -1;
    case Short:
      return call(shorter(size));
    case None:
      break;
  }
  return call(size);
}

extern "C" {

ssize_t read(int fd, void *buffer, size_t size) {
  static auto realRead = real<ssize_t (*)(int, void *, size_t)>("read");
  static bool first = true;
  return faulty(&first, size, [&](size_t n) { return realRead(fd, buffer, n); });
}

ssize_t write(int fd, const void *data, size_t size) {
  static auto realWrite = real<ssize_t (*)(int, const void *, size_t)>("write");
  static bool first = true;
  return faulty(&first, size, [&](size_t n) { return realWrite(fd, data, n); });
}

ssize_t splice(int in, loff_t *inOffset, int out, loff_t *outOffset, size_t size, unsigned flags) {
  static auto realSplice = real<ssize_t (*)(int, loff_t *, int, loff_t *, size_t, unsigned)>("splice");
  static bool first = true;
  return faulty(&first, size, [&](size_t n) { return realSplice(in, inOffset, out, outOffset, n, flags); });
}

int poll(struct pollfd *fds, nfds_t count, int timeout) {
  static auto realPoll = real<int (*)(struct pollfd *, nfds_t, int)>("poll");
  static bool first = true;
  if (draw(false, &first) == Interrupt) {
    errno = EINTR;
    return -1;
  }
  return realPoll(fds, count, timeout);
}

}  // extern "C"
