// Composing a tool's command text and reading back how the tool ended.
#ifndef DRELK_COMMAND_TEXT_H
#define DRELK_COMMAND_TEXT_H

#include <cstddef>
#include <string>

// Length of answer once quoted for sh: enclosed in single quotes, each ' as '\''.
size_t quotedLength(const char *answer);

// Builds "exec TOOL 'a1' 'a2' ..." in a buffer of exactly its length plus one.
// Returns nullptr when no memory can be had; the caller frees the result.
char *composeCommand(const char *tool, const char *const answers[], int count);

// The line that tells how a tool ended, from pclose()'s status, or "" when it succeeded.
std::string toolStatusLine(const char *tool, int status);

#endif
