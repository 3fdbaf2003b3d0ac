// Reading the user's lines and writing Drelk's own text on standard output.
#ifndef DRELK_CONSOLE_H
#define DRELK_CONSOLE_H

#include <cstddef>

#include "line_editor.h"

enum class LineResult {
  Line,     // a whole line, its line end cut off
  TooLong,  // a line longer than the bound, consumed whole; only its start is kept
  End,      // end of input (or a read error) before a line end: nothing to act on
};

// Set once standard input has ended; the menu loop then says goodbye.
extern bool inputEnded;
// Set once standard output can no longer be written; the program then stops.
extern bool outputBroken;

// Shows prompt, then reads one line of at most maxChars characters into buffer
// (zero-terminated, maxChars + 1 bytes). Reads nothing past the line end, so a
// tool started afterwards gets the rest of standard input. *length, when given,
// receives the number of characters stored. At a terminal the line can be
// edited, with a history for each kind of line.
LineResult readLine(const char *prompt, LineKind kind, char *buffer, size_t maxChars,
                    size_t *length = nullptr);

// Writes text followed by a line end.
void writeLine(const char *text);
// Writes text as it is.
void writeText(const char *text);
// Writes size bytes of data as they are.
void writeBytes(const char *data, size_t size);
// Pushes out what Drelk has written so far.
void flushOutput();

#endif
