// Whether a person sits at a terminal, and keeping that terminal sane.
#ifndef DRELK_TERMINAL_H
#define DRELK_TERMINAL_H

#include <string>

// Decides, once at start, whether a person sits at a terminal: standard input
// and standard output both terminals. Everything that behaves differently
// there asks personAtTerminal().
void decidePersonAtTerminal();
bool personAtTerminal();

// Remembers the terminal's modes and the standard descriptors' flags, so that
// a tool that leaves the terminal raw or a descriptor non-blocking can't
// garble what follows. Both do nothing away from a terminal.
void saveTerminalModes();
void restoreTerminalModes();

// name as it can be shown on a terminal: bytes that are not printable
// characters in the current locale, and the backslash, as C escapes
// ("\033", "\r", "\\"); printable characters as they are.
std::string visibleName(const char *name);

#endif
