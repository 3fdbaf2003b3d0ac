// Line editing at a terminal: history per kind of prompt, Tab completion of file names.
#ifndef DRELK_LINE_EDITOR_H
#define DRELK_LINE_EDITOR_H

#include <cstddef>

// What a line answers; each kind keeps a history of its own.
enum class LineKind { Choice, FileName, Value };

// Starts the line editor when Drelk was built with one and a person sits at a
// terminal (standard input and output both terminals). Returns whether it did.
bool startLineEditor();

// Reads one line through the editor, showing prompt. On success *line points
// to the text (line end cut off, valid until the next call) and *length holds
// its length. Returns false at end of input.
bool editLine(const char *prompt, LineKind kind, const char **line, size_t *length);

#endif
