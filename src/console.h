// Reading the user's lines and writing Drelk's own text on standard output.
#ifndef DRELK_CONSOLE_H
#define DRELK_CONSOLE_H

#include <cstddef>

#include "line_editor.h"

enum class LineResult {
  Line,         // a whole line, its line end cut off
  TooLong,      // a line longer than the bound, consumed whole; only its start is kept
  End,          // end of input (or a read error) before a line end: nothing to act on
  Interrupted,  // Ctrl-C at a question, at a terminal: the answer is abandoned
};

// Shows prompt, then reads one line of at most maxChars bytes into buffer
// (zero-terminated, maxChars + 1 bytes). Reads nothing past the line end, so a
// tool started afterwards gets the rest of standard input. *length, when given,
// receives the number of bytes stored. At a terminal the line can be edited,
// with a history for each kind of line, and Ctrl-C abandons any line but a
// menu choice.
LineResult readLine(const char *prompt, LineKind kind, char *buffer, size_t maxChars,
                    size_t *length = nullptr);

// True once standard input has ended (or could not be read).
bool inputEnded();
// Forgets an ended input and a failed output, for a dialogue started afresh in
// the same process (the fuzz target does so for each input).
void resetConsole();

// Writes text followed by a line end.
void writeLine(const char *text);
// Writes text as it is.
void writeText(const char *text);
// Writes size bytes of data as they are.
void writeBytes(const char *data, size_t size);
// Pushes out what Drelk has written so far; false when it could not all go out.
bool flushOutput();
// Records that standard output failed elsewhere (in a tool's relay).
void noteOutputFailed();
// True once standard output has failed: closed, full or without a reader.
bool outputBroken();

#endif
