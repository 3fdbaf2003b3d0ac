// Running one command text through the shell with its output relayed to ours.
#include "tool_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "console.h"
#include "tool_operations.h"

// Waits until fd can take more output; for a standard output left non-blocking.
static void waitWritable(int fd) {
  struct pollfd p = {fd, POLLOUT, 0};
  while (poll(&p, 1, -1) < 0 && errno == EINTR) {
  }
}

// Writes all of data to fd, however the kernel splits it.
static bool writeAll(int fd, const char *data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        waitWritable(fd);
        continue;
      }
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Lets a pipe hold 1 MiB where the system allows it, so that the tool and
// whoever reads us run ahead in larger strides: fewer wake-ups per megabyte.
// Leaves anything that is not a pipe, or a pipe already as large, alone.
static void growPipe(int fd) {
#ifdef F_SETPIPE_SZ
  int size = fcntl(fd, F_GETPIPE_SZ);
  if (size > 0 && size < (1 << 20))
    fcntl(fd, F_SETPIPE_SZ, 1 << 20);
#else
  (void)fd;
#endif
}

// A piece this large means the tool writes faster than a small pipe drains:
// only then is growing its pipe worth the system calls.
static const ssize_t bulkPiece = 32 * 1024;

enum class Relayed { AllOfIt, CannotSplice, OutputFailed };

#ifdef __linux__
// Moves the tool's output to ours inside the kernel, without copying it
// through Drelk. Says CannotSplice, having moved nothing, where our standard
// output takes no splice (a terminal, a file opened for appending).
static Relayed spliceRelay(int from) {
  bool moved = false, grown = false;
  for (;;) {
    ssize_t n = splice(from, nullptr, STDOUT_FILENO, nullptr, 1 << 20, SPLICE_F_MOVE);
    if (n > 0) {
      if (n >= bulkPiece && !grown) {
        growPipe(from);
        grown = true;
      }
      moved = true;
      continue;
    }
    if (n == 0)
      return Relayed::AllOfIt;
    if (errno == EINTR)
      continue;
    if (errno == EAGAIN) {
      waitWritable(STDOUT_FILENO);
      continue;
    }
    if (!moved && (errno == EINVAL || errno == ENOSYS))
      return Relayed::CannotSplice;
    return Relayed::OutputFailed;
  }
}
#endif

// Copies the tool's output to ours, each piece as soon as it is read.
static Relayed copyRelay(int from) {
  bool grown = false;
  for (;;) {
    ssize_t n = read(from, myLine, sizeof myLine);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return Relayed::AllOfIt;  // end of output, or a pipe we can't read any more
    if (n >= bulkPiece && !grown) {
      growPipe(from);
      grown = true;
    }
    if (!writeAll(STDOUT_FILENO, myLine, static_cast<size_t>(n)))
      return Relayed::OutputFailed;
  }
}

static void relay(int from) {
  Relayed result = Relayed::CannotSplice;
#ifdef __linux__
  result = spliceRelay(from);
#endif
  if (result == Relayed::CannotSplice)
    result = copyRelay(from);
  // Nobody reads us any more; closing the pipe ends the tool's writes.
  if (result == Relayed::OutputFailed)
    outputBroken = true;
}

// Stands in for an interrupt while a tool runs. Being a handler, not SIG_IGN,
// it is reset to the default in the tool when the shell is started.
static void waitForTool(int) {}

bool runCommand(const char *command, int *status) {
  flushOutput();  // our own lines must come before the tool's

  // At a terminal, Ctrl-C and Ctrl-\ while a tool runs are the tool's: as with
  // system(), Drelk waits on and comes back to the menu.
  bool atTerminal = isatty(STDIN_FILENO);
  struct sigaction waiting = {}, savedInterrupt, savedQuit;
  if (atTerminal) {
    waiting.sa_handler = waitForTool;
    sigemptyset(&waiting.sa_mask);
    sigaction(SIGINT, &waiting, &savedInterrupt);
    sigaction(SIGQUIT, &waiting, &savedQuit);
  }

  fp = popen(command, "r");
  bool ran = fp != nullptr;
  if (ran) {
    static bool outputGrown = false;  // our standard output stays what it is for the whole run
    if (!outputGrown) {
      growPipe(STDOUT_FILENO);
      outputGrown = true;
    }
    relay(fileno(fp));
    *status = pclose(fp);
    fp = nullptr;
  }

  if (atTerminal) {
    sigaction(SIGINT, &savedInterrupt, nullptr);
    sigaction(SIGQUIT, &savedQuit, nullptr);
  }
  return ran;
}
