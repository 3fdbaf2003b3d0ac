// Reading the user's lines and writing Drelk's own text on standard output.
#include "console.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "fd_io.h"
#include "terminal.h"

// Drelk's own text waits here until a read or a tool needs it on the console.
static char pending[8192];
static size_t pendingLength = 0;
static bool broken = false;
static bool ended = false;

bool inputEnded() { return ended; }

void resetConsole() {
  ended = broken = false;
  pendingLength = 0;
}

bool flushOutput() {
  if (!broken && pendingLength > 0 && !writeAll(STDOUT_FILENO, pending, pendingLength))
    broken = true;
  pendingLength = 0;
  return !broken;
}

void noteOutputFailed() { broken = true; }

bool outputBroken() { return broken; }

void writeBytes(const char *data, size_t size) {
  if (pendingLength + size > sizeof pending) {
    flushOutput();
    if (size > sizeof pending) {
      if (!broken && !writeAll(STDOUT_FILENO, data, size))
        broken = true;
      return;
    }
  }
  memcpy(pending + pendingLength, data, size);
  pendingLength += size;
}

void writeText(const char *text) { writeBytes(text, strlen(text)); }

void writeLine(const char *text) {
  writeText(text);
  writeBytes("\n", 1);
}

static volatile bool interrupted = false;
static void noteInterrupt(int) { interrupted = true; }

// Reads up to a line end, keeping at most maxChars bytes. One byte at a
// time: reading ahead would swallow lines that a tool run later is meant to
// read from the same standard input.
static LineResult readPlainLine(char *buffer, size_t maxChars, size_t *stored, const volatile bool *stop) {
  bool tooLong = false;
  for (;;) {
    char c;
    ssize_t n = readSome(STDIN_FILENO, &c, 1, stop);
    if (n < 0 && stop != nullptr && *stop)
      return LineResult::Interrupted;
    if (n <= 0)
      return LineResult::End;
    if (c == '\n')
      return tooLong ? LineResult::TooLong : LineResult::Line;
    if (*stored < maxChars)
      buffer[(*stored)++] = c;
    else
      tooLong = true;
  }
}

LineResult readLine(const char *prompt, LineKind kind, char *buffer, size_t maxChars, size_t *length) {
  size_t stored = 0;
  LineResult result = LineResult::End;
  if (flushOutput()) {
    // At a terminal Ctrl-C abandons a question; at the menu it ends Drelk.
    bool abandonable = personAtTerminal() && kind != LineKind::Choice;
    const volatile bool *stop = abandonable ? &interrupted : nullptr;
    struct sigaction catching = {}, saved;
    interrupted = false;
    if (abandonable) {
      catching.sa_handler = noteInterrupt;  // no SA_RESTART: the read must return
      sigemptyset(&catching.sa_mask);
      sigaction(SIGINT, &catching, &saved);
    }
    if (lineEditorStarted()) {
      const char *line;
      size_t lineLength;
      switch (editLine(prompt, kind, stop, &line, &lineLength)) {
        case EditResult::Line:
          stored = lineLength < maxChars ? lineLength : maxChars;
          memcpy(buffer, line, stored);
          result = lineLength > maxChars ? LineResult::TooLong : LineResult::Line;
          break;
        case EditResult::Interrupted:
          result = LineResult::Interrupted;
          break;
        case EditResult::End:
          break;
      }
    } else {
      writeText(prompt);
      if (flushOutput())
        result = readPlainLine(buffer, maxChars, &stored, stop);
    }
    if (abandonable)
      sigaction(SIGINT, &saved, nullptr);
  }

  if (result == LineResult::End)
    ended = true;
  if (result == LineResult::End || result == LineResult::Interrupted) {
    stored = 0;
    // Ctrl-D or Ctrl-C leaves the cursor on the prompt's line; what follows starts a line of its own.
    if (personAtTerminal())
      writeText("\n");
  }
  buffer[stored] = '\0';
  if (length != nullptr)
    *length = stored;
  return result;
}
