// Running one command text through sh with its output relayed to ours.
#ifndef DRELK_TOOL_RUNNER_H
#define DRELK_TOOL_RUNNER_H

#include <sys/types.h>

#include <cstddef>

// A tool started through sh: the read end of its output and the shell's
// process (which becomes the tool, as the command execs it).
struct ToolPipe {
  int fd = -1;
  pid_t pid = -1;
  int status = 0;
  bool collected = false;  // the status is in hand already
};

// How a tool ended, decoded from its wait status.
struct ToolEnd {
  enum Kind { Exited, Signaled, Unknown } kind = Unknown;
  int number = 0;  // the exit status, or the signal
};

// How a relay came to its end.
struct Relayed {
  enum Kind {
    OutputEnded,    // the tool's output reached its end (or could no longer be read)
    OutputFailed,   // our standard output takes no more
    StoppedWaiting  // at a terminal, Ctrl-C after the tool ended while its output was still held open
  } kind = OutputEnded;
  bool midLine = false;  // what came last was not a line end (known at a terminal)
};

// Starts sh -c command with its standard output on a pipe; false when no
// pipe or no child could be had.
bool startCommand(const char *command, ToolPipe *tool);

// Copies everything the tool writes to our standard output, each piece as
// soon as it comes, through buffer. At a terminal Ctrl-C belongs to the tool;
// once the tool has ended, it also ends a wait for output that a process the
// tool left behind holds open.
Relayed relayOutput(ToolPipe *tool, char *buffer, size_t size);

// Closes the pipe and collects how the tool ended.
ToolEnd finishCommand(ToolPipe *tool);

// Whether sh would find an executable named name on PATH.
enum class ToolOnPath { Missing, NotExecutable, Executable };
ToolOnPath lookUpTool(const char *name);

#endif
