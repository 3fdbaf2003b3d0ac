// Composing a tool's command text and reading back how the tool ended.
#include "command_text.h"

#include <sys/wait.h>

#include <cstdlib>
#include <cstring>

size_t quotedLength(const char *answer) {
  size_t length = 2;
  for (const char *p = answer; *p != '\0'; p++)
    length += (*p == '\'') ? 4 : 1;
  return length;
}

// Copies answer into out as one sh word; returns the end of what was written.
static char *appendQuoted(char *out, const char *answer) {
  *out++ = '\'';
  for (const char *p = answer; *p != '\0'; p++) {
    if (*p == '\'') {
      memcpy(out, "'\\''", 4);
      out += 4;
    } else {
      *out++ = *p;
    }
  }
  *out++ = '\'';
  return out;
}

char *composeCommand(const char *tool, const char *const answers[], int count) {
  // "exec" lets the shell become the tool, so pclose() sees the tool's own
  // status: a signal that kills the tool is reported as that signal.
  static const char prefix[] = "exec ";
  size_t length = sizeof prefix - 1 + strlen(tool);
  for (int i = 0; i < count; i++)
    length += 1 + quotedLength(answers[i]);

  char *text = static_cast<char *>(malloc(length + 1));
  if (text == nullptr)
    return nullptr;
  char *out = text;
  memcpy(out, prefix, sizeof prefix - 1);
  out += sizeof prefix - 1;
  memcpy(out, tool, strlen(tool));
  out += strlen(tool);
  for (int i = 0; i < count; i++) {
    *out++ = ' ';
    out = appendQuoted(out, answers[i]);
  }
  *out = '\0';
  return text;
}

std::string toolStatusLine(const char *tool, int status) {
  if (status == -1)
    return "";  // the status could not be collected; there is nothing to tell
  std::string line = tool;
  if (WIFEXITED(status)) {
    int code = WEXITSTATUS(status);
    if (code == 0)
      return "";
    if (code == 127)
      return line + " was not found.";
    if (code == 126)
      return line + " could not be run.";
    return line + " exited with status " + std::to_string(code) + ".";
  }
  if (WIFSIGNALED(status)) {
    int sig = WTERMSIG(status);
    const char *name = strsignal(sig);
    line += " was ended by signal " + std::to_string(sig);
    if (name != nullptr && *name != '\0')
      line += std::string(" (") + name + ")";
    return line + ".";
  }
  return "";
}
