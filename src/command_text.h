// Composing a tool's command text from the answers.
#ifndef DRELK_COMMAND_TEXT_H
#define DRELK_COMMAND_TEXT_H

#include <cstddef>
#include <string>

// Length of answer once quoted for sh: enclosed in single quotes, each ' as '\''.
size_t quotedLength(const char *answer);

// Builds "exec TOOL 'a1' 'a2' ..." in a buffer of exactly its length plus one.
// Returns nullptr when no memory can be had; the caller frees the result.
char *composeCommand(const char *tool, const char *const answers[], int count);

// name with a leading tilde-prefix replaced as sh replaces it: "~" and "~/..."
// by HOME, "~user" and "~user/..." by that user's home folder. Anything else,
// and a tilde-prefix with no such user or no HOME, stays as it is.
std::string expandTilde(const std::string &name);

#endif
