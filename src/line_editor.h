// Line editing at a terminal: history per kind of prompt, Tab completion of file names.
#ifndef DRELK_LINE_EDITOR_H
#define DRELK_LINE_EDITOR_H

#include <cstddef>

// What a line answers; each kind keeps a history of its own.
enum class LineKind { Choice, FileName, Value };

enum class EditResult { Line, End, Interrupted };

// Starts the line editor, when Drelk was built with one. Called once, and
// only when a person sits at a terminal. Returns whether it started.
bool startLineEditor();
// Whether it did.
bool lineEditorStarted();
// Gives the terminal back as the editor found it.
void stopLineEditor();

// Reads one line through the editor, showing prompt. On Line, *line points to
// the bytes as typed (line end cut off, valid until the next call) and
// *length holds their number. Interrupted once *interrupted is set by a
// signal handler while the editor waits for a key.
EditResult editLine(const char *prompt, LineKind kind, const volatile bool *interrupted, const char **line,
                    size_t *length);

#endif
