// Reading the user's lines and writing Drelk's own text on standard output.
#include "console.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

bool inputEnded = false;
bool outputBroken = false;

// Reads up to a line end, keeping at most maxChars characters. One byte at a
// time: stdio would read ahead and swallow lines that a tool run later is
// meant to read from the same standard input.
static bool readPlainLine(char *buffer, size_t maxChars, size_t *stored, bool *tooLong) {
  for (;;) {
    char c;
    ssize_t n = read(STDIN_FILENO, &c, 1);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    if (c == '\n')
      return true;
    if (*stored < maxChars)
      buffer[(*stored)++] = c;
    else
      *tooLong = true;
  }
}

LineResult readLine(const char *prompt, LineKind kind, char *buffer, size_t maxChars, size_t *length) {
  static const bool editing = startLineEditor();
  size_t stored = 0;
  bool tooLong = false, gotLine;
  if (editing) {
    flushOutput();
    const char *line;
    size_t lineLength;
    gotLine = editLine(prompt, kind, &line, &lineLength);
    if (gotLine) {
      stored = lineLength < maxChars ? lineLength : maxChars;
      tooLong = lineLength > maxChars;
      memcpy(buffer, line, stored);
    }
  } else {
    writeText(prompt);
    flushOutput();
    gotLine = readPlainLine(buffer, maxChars, &stored, &tooLong);
  }

  if (!gotLine) {
    stored = 0;
    inputEnded = true;
    // Ctrl-D leaves the cursor after the prompt; what follows starts a line of its own.
    if (isatty(STDIN_FILENO))
      writeText("\n");
  }
  buffer[stored] = '\0';
  if (length != nullptr)
    *length = stored;
  if (!gotLine)
    return LineResult::End;
  return tooLong ? LineResult::TooLong : LineResult::Line;
}

void writeLine(const char *text) {
  fputs(text, stdout);
  putchar('\n');
}

void writeText(const char *text) { fputs(text, stdout); }

void writeBytes(const char *data, size_t size) { fwrite(data, 1, size, stdout); }

void flushOutput() {
  if (fflush(stdout) != 0 || ferror(stdout))
    outputBroken = true;
}
