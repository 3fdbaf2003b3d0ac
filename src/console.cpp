// Reading the user's lines and writing Drelk's own text on standard output.
#include "console.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

bool inputEnded = false;
bool outputBroken = false;

LineResult readLine(const char *prompt, char *buffer, size_t maxChars, size_t *length) {
  writeText(prompt);
  flushOutput();

  // One byte at a time: stdio would read ahead and swallow lines that a tool
  // run later is meant to read from the same standard input.
  size_t stored = 0;
  bool tooLong = false;
  for (;;) {
    char c;
    ssize_t n = read(STDIN_FILENO, &c, 1);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0) {
      buffer[0] = '\0';
      if (length != nullptr)
        *length = 0;
      inputEnded = true;
      return LineResult::End;
    }
    if (c == '\n')
      break;
    if (stored < maxChars)
      buffer[stored++] = c;
    else
      tooLong = true;
  }
  buffer[stored] = '\0';
  if (length != nullptr)
    *length = stored;
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
