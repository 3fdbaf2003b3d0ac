// Running one command text through sh with its output relayed to ours.
#include "tool_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "fd_io.h"
#include "terminal.h"

extern char **environ;

static volatile bool interrupted = false;
static void noteInterrupt(int) { interrupted = true; }
static struct sigaction savedInterrupt, savedQuit;

// At a terminal, Ctrl-C and Ctrl-\ while a tool runs are the tool's: as with
// system(), Drelk waits on and comes back to the menu. Being handlers, not
// SIG_IGN, they are reset to the default in the tool when it starts.
static void catchInterrupts() {
  interrupted = false;
  if (!personAtTerminal())
    return;
  struct sigaction catching = {};
  catching.sa_handler = noteInterrupt;  // no SA_RESTART: a waiting read must return
  sigemptyset(&catching.sa_mask);
  sigaction(SIGINT, &catching, &savedInterrupt);
  sigaction(SIGQUIT, &catching, &savedQuit);
}

static void releaseInterrupts() {
  if (!personAtTerminal())
    return;
  sigaction(SIGINT, &savedInterrupt, nullptr);
  sigaction(SIGQUIT, &savedQuit, nullptr);
}

bool startCommand(const char *command, ToolPipe *tool) {
  int ends[2];
  if (pipe(ends) != 0)
    return false;
  catchInterrupts();
  // Neither end may stay open in the tool beyond its standard output.
  fcntl(ends[0], F_SETFD, FD_CLOEXEC);
  fcntl(ends[1], F_SETFD, FD_CLOEXEC);
  posix_spawn_file_actions_t actions;
  bool spawned = false;
  if (posix_spawn_file_actions_init(&actions) == 0) {
    char sh[] = "sh", dashC[] = "-c";
    char *argv[] = {sh, dashC, const_cast<char *>(command), nullptr};
    spawned = posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO) == 0 &&
              posix_spawn(&tool->pid, "/bin/sh", &actions, nullptr, argv, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
  }
  close(ends[1]);
  if (!spawned) {
    close(ends[0]);
    releaseInterrupts();
    return false;
  }
  tool->fd = ends[0];
  tool->collected = false;
  return true;
}

// Lets a pipe hold 1 MiB where the system allows it, so that the tool and
// whoever reads us run ahead in larger strides: fewer wake-ups per megabyte.
// Leaves anything that is not a pipe, or a pipe already as large, alone.
static void growPipe(int fd) {
#ifdef DRELK_HAVE_PIPE_SIZE
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

#ifdef DRELK_HAVE_SPLICE
// Moves the tool's output to ours inside the kernel, without copying it
// through Drelk. Returns false, having moved nothing, where our standard
// output takes no splice (a terminal, a file opened for appending).
static bool spliceRelay(int from, Relayed *result) {
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
      return true;
    if (errno == EINTR)
      continue;
    if (errno == EAGAIN) {
      // Our output was left non-blocking: wait until both sides are ready.
      waitReady(STDOUT_FILENO, POLLOUT);
      waitReady(from, POLLIN);
      continue;
    }
    if (!moved && (errno == EINVAL || errno == ENOSYS))
      return false;
    result->kind = Relayed::OutputFailed;
    return true;
  }
}
#endif

// True once the tool has ended, its status then kept in tool.
static bool toolHasEnded(ToolPipe *tool) {
  if (!tool->collected)
    tool->collected = waitpid(tool->pid, &tool->status, WNOHANG) == tool->pid;
  return tool->collected;
}

// Copies the tool's output to ours, each piece as soon as it is read.
static void copyRelay(ToolPipe *tool, char *buffer, size_t size, Relayed *result) {
  bool grown = false, afterInterrupt = false;
  // Only at a terminal can Ctrl-C reach us here; elsewhere a read needs no watch on it.
  const volatile bool *stop = personAtTerminal() ? &interrupted : nullptr;
  for (;;) {
    if (interrupted)
      afterInterrupt = true;
    if (afterInterrupt) {
      // Ctrl-C came: wait no longer than until the tool has ended and its
      // output has nothing more to give.
      struct pollfd p = {tool->fd, POLLIN, 0};
      int ready = poll(&p, 1, toolHasEnded(tool) ? 0 : 50);
      if (ready == 0 && tool->collected) {
        result->kind = Relayed::StoppedWaiting;
        return;
      }
      if (ready <= 0)
        continue;
    }
    ssize_t n = readSome(tool->fd, buffer, size, afterInterrupt ? nullptr : stop);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return;  // end of output, or a pipe we can't read any more
    if (n >= bulkPiece && !grown) {
      growPipe(tool->fd);
      grown = true;
    }
    result->midLine = buffer[n - 1] != '\n';
    if (!writeAll(STDOUT_FILENO, buffer, static_cast<size_t>(n))) {
      result->kind = Relayed::OutputFailed;
      return;
    }
  }
}

Relayed relayOutput(ToolPipe *tool, char *buffer, size_t size) {
  static bool outputGrown = false;  // our standard output stays what it is for the whole run
  if (!outputGrown) {
    growPipe(STDOUT_FILENO);
    outputGrown = true;
  }
  Relayed result;
#ifdef DRELK_HAVE_SPLICE
  // A terminal takes no splice; there the relay also watches the line ends.
  if (!personAtTerminal() && spliceRelay(tool->fd, &result))
    return result;
#endif
  copyRelay(tool, buffer, size, &result);
  return result;
}

ToolEnd finishCommand(ToolPipe *tool) {
  close(tool->fd);
  tool->fd = -1;
  if (!tool->collected) {
    pid_t done;
    while ((done = waitpid(tool->pid, &tool->status, 0)) < 0 && errno == EINTR) {
    }
    tool->collected = done == tool->pid;
  }
  releaseInterrupts();
  ToolEnd end;
  if (tool->collected && WIFEXITED(tool->status)) {
    end.kind = ToolEnd::Exited;
    end.number = WEXITSTATUS(tool->status);
  } else if (tool->collected && WIFSIGNALED(tool->status)) {
    end.kind = ToolEnd::Signaled;
    end.number = WTERMSIG(tool->status);
  }
  tool->pid = -1;
  return end;
}

ToolOnPath lookUpTool(const char *name) {
  const char *path = getenv("PATH");
  std::string folders = path != nullptr ? path : "/usr/bin:/bin";
  ToolOnPath found = ToolOnPath::Missing;
  for (size_t at = 0;;) {
    size_t colon = folders.find(':', at);
    std::string folder = folders.substr(at, colon == std::string::npos ? std::string::npos : colon - at);
    std::string file = (folder.empty() ? "." : folder) + "/" + name;
    struct stat st;
    if (stat(file.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
      if (S_ISREG(st.st_mode) && access(file.c_str(), X_OK) == 0)
        return ToolOnPath::Executable;
      found = ToolOnPath::NotExecutable;
    }
    if (colon == std::string::npos)
      return found;
    at = colon + 1;
  }
}
