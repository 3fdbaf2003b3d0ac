// Whether a person sits at a terminal, and keeping that terminal sane.
#include "terminal.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <cwctype>

static bool atTerminal = false;

void decidePersonAtTerminal() { atTerminal = isatty(STDIN_FILENO) && isatty(STDOUT_FILENO); }

bool personAtTerminal() { return atTerminal; }

static struct termios savedModes;
static bool modesSaved = false;
static int savedFlags[2] = {-1, -1};

void saveTerminalModes() {
  if (!atTerminal)
    return;
  modesSaved = tcgetattr(STDIN_FILENO, &savedModes) == 0;
  for (int fd : {STDIN_FILENO, STDOUT_FILENO})
    savedFlags[fd] = fcntl(fd, F_GETFL);
}

void restoreTerminalModes() {
  if (!atTerminal)
    return;
  // TCSADRAIN, not TCSAFLUSH: what the user typed ahead stays to be read.
  if (modesSaved)
    tcsetattr(STDIN_FILENO, TCSADRAIN, &savedModes);
  for (int fd : {STDIN_FILENO, STDOUT_FILENO})
    if (savedFlags[fd] != -1 && fcntl(fd, F_GETFL) != savedFlags[fd])
      fcntl(fd, F_SETFL, savedFlags[fd]);
}

// The escape for one byte, as a C string would write it.
static void appendEscaped(std::string &out, unsigned char c) {
  static const char letters[] = "\aa\bb\tt\nn\vv\ff\rr";
  const char *at = c != 0 ? strchr(letters, c) : nullptr;
  if (at != nullptr && (at - letters) % 2 == 0) {
    out += '\\';
    out += at[1];
    return;
  }
  char octal[5];
  snprintf(octal, sizeof octal, "\\%03o", c);
  out += octal;
}

std::string visibleName(const char *name) {
  std::string out;
  size_t left = strlen(name);
  mbstate_t state = {};
  while (left > 0) {
    wchar_t wc;
    size_t n = mbrtowc(&wc, name, left, &state);
    if (n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2) || n == 0 || !iswprint(wc) ||
        (n == 1 && *name == '\\')) {
      // Not a character, or one that would act on the terminal: its byte, escaped.
      if (*name == '\\')
        out += "\\\\";
      else
        appendEscaped(out, static_cast<unsigned char>(*name));
      state = mbstate_t();
      name++;
      left--;
      continue;
    }
    out.append(name, n);
    name += n;
    left -= n;
  }
  return out;
}
