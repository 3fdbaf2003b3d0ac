// Composing a tool's command text from the answers.
#include "command_text.h"

#include <pwd.h>

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

std::string expandTilde(const std::string &name) {
  if (name.empty() || name[0] != '~')
    return name;
  size_t slash = name.find('/');
  std::string user = name.substr(1, slash == std::string::npos ? std::string::npos : slash - 1);
  const char *home = nullptr;
  if (user.empty()) {
    home = getenv("HOME");
  } else {
    const struct passwd *entry = getpwnam(user.c_str());
    if (entry != nullptr)
      home = entry->pw_dir;
  }
  if (home == nullptr)
    return name;
  return home + (slash == std::string::npos ? std::string() : name.substr(slash));
}
