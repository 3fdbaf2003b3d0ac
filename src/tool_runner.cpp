// Running one command text through the shell with its output relayed to ours.
#include "tool_runner.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "console.h"
#include "tool_operations.h"

// Writes all of data to fd, however the kernel splits it.
static bool writeAll(int fd, const char *data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Copies the tool's output to ours, each piece as soon as it is read.
static void relay(int from) {
  for (;;) {
    ssize_t n = read(from, myLine, sizeof myLine);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return;
    if (!writeAll(STDOUT_FILENO, myLine, static_cast<size_t>(n))) {
      // Nobody reads us any more. Closing the pipe ends the tool's writes.
      outputBroken = true;
      return;
    }
  }
}

bool runCommand(const char *command, int *status) {
  flushOutput();  // our own lines must come before the tool's
  fp = popen(command, "r");
  if (fp == nullptr)
    return false;
  relay(fileno(fp));
  *status = pclose(fp);
  fp = nullptr;
  return true;
}
