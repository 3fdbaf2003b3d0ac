// Line editing at a terminal: history per kind of prompt, Tab completion of file names.
#include "line_editor.h"

#ifndef DRELK_HAVE_LINE_EDITING

bool startLineEditor() { return false; }
bool lineEditorStarted() { return false; }
void stopLineEditor() {}
EditResult editLine(const char *, LineKind, const volatile bool *, const char **, size_t *) {
  return EditResult::End;
}

#else

#include <dirent.h>
#include <fcntl.h>
#include <histedit.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "command_text.h"
#include "fd_io.h"
#include "terminal.h"

namespace {

EditLine *editor = nullptr;
HistoryW *histories[3] = {};
const char *currentPrompt = "";
LineKind currentKind = LineKind::Choice;
const volatile bool *interruptFlag = nullptr;
std::string listState;  // line and cursor where one more Tab lists the names
std::string lineBytes;  // the last line read, as bytes

// A byte that is no character of the locale travels through the editor as a
// lone low surrogate: no decoder ever yields one, the editor shows it as an
// escape, and it turns back into the very same byte.
const wchar_t strayByteBase = 0xDC00;

bool isStrayByte(wchar_t c) { return c >= strayByteBase && c <= strayByteBase + 0xFF; }

// Bytes read from the terminal and not yet handed to the editor.
std::string pendingBytes;

// Takes one more byte from the terminal into pendingBytes; false at the end
// of input, or when an interrupt stops the wait.
bool readByte() {
  char c;
  if (readSome(STDIN_FILENO, &c, 1, interruptFlag) != 1)
    return false;
  pendingBytes += c;
  return true;
}

// Decodes the character at the start of bytes; the number of bytes it takes,
// 0 when more bytes could complete it, or -1 when its first byte is stray.
int decodeOne(const std::string &bytes, wchar_t *out) {
  mbstate_t state = {};
  size_t n = mbrtowc(out, bytes.data(), bytes.size(), &state);
  if (n == static_cast<size_t>(-2))
    return 0;
  if (n == static_cast<size_t>(-1) || n == 0 || isStrayByte(*out))
    return -1;
  return static_cast<int>(n);
}

// The editor's reader: one character per call, a stray byte as itself.
int readCharacter(EditLine *, wchar_t *out) {
  for (;;) {
    if (pendingBytes.empty() && !readByte())
      return interruptFlag != nullptr && *interruptFlag ? -1 : 0;
    int n = decodeOne(pendingBytes, out);
    // An incomplete sequence waits for its next byte; one that never comes
    // leaves the first byte stray and the rest for the next call.
    if (n == 0 && pendingBytes.size() < MB_LEN_MAX && readByte())
      continue;
    if (n <= 0) {
      if (interruptFlag != nullptr && *interruptFlag)
        return -1;
      *out = strayByteBase + static_cast<unsigned char>(pendingBytes[0]);
      n = 1;
    }
    pendingBytes.erase(0, static_cast<size_t>(n));
    return 1;
  }
}

// bytes as the editor's characters.
std::wstring toWide(const std::string &bytes) {
  std::wstring wide;
  for (size_t at = 0; at < bytes.size();) {
    wchar_t c;
    int n = decodeOne(bytes.substr(at, MB_LEN_MAX), &c);
    if (n <= 0) {
      c = strayByteBase + static_cast<unsigned char>(bytes[at]);
      n = 1;
    }
    wide += c;
    at += static_cast<size_t>(n);
  }
  return wide;
}

// The editor's characters as the bytes they came from.
std::string toBytes(const wchar_t *text, size_t length) {
  std::string bytes;
  char encoded[MB_LEN_MAX];
  for (size_t i = 0; i < length; i++) {
    mbstate_t state = {};
    size_t n;
    if (isStrayByte(text[i]))
      bytes += static_cast<char>(text[i] - strayByteBase);
    else if ((n = wcrtomb(encoded, text[i], &state)) != static_cast<size_t>(-1))
      bytes.append(encoded, n);
  }
  return bytes;
}

wchar_t *promptText(EditLine *) {
  static std::wstring wide;
  wide = toWide(currentPrompt);
  return const_cast<wchar_t *>(wide.c_str());
}

// The line and the cursor's place in it.
std::string stateOf(const LineInfoW *li) {
  return toBytes(li->buffer, static_cast<size_t>(li->lastchar - li->buffer)) + '\0' +
         std::to_string(li->cursor - li->buffer);
}

// Names in folder that begin with start, sorted; folders end in '/'. Hidden
// names only when start asks for them.
std::vector<std::string> namesStartingWith(const std::string &folder, const std::string &start) {
  std::vector<std::string> names;
  DIR *dir = opendir(folder.empty() ? "." : expandTilde(folder).c_str());
  if (dir == nullptr)
    return names;
  while (const struct dirent *entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == ".." || name.compare(0, start.size(), start) != 0)
      continue;
    if (name[0] == '.' && (start.empty() || start[0] != '.'))
      continue;
    struct stat st;
    if (fstatat(dirfd(dir), entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode))
      name += '/';
    names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

// Writes text on the terminal, past the editor's own buffered output.
void show(const std::string &text) {
  fflush(stdout);
  writeAll(STDOUT_FILENO, text.data(), text.size());
}

// Beyond this many names, a listing asks first.
const size_t namesShownWithoutAsking = 100;

// Asks whether to list count names; reads the one key that answers.
bool confirmListing(size_t count) {
  show("\nDisplay all " + std::to_string(count) + " possibilities? (y or n)");
  wchar_t key = 0;
  int got = readCharacter(editor, &key);
  return got == 1 && (key == L'y' || key == L'Y' || key == L' ');
}

// Lists names below the line being edited, in columns across the terminal,
// each shown so that no byte of it can act on the terminal.
void listNames(const std::vector<std::string> &names) {
  std::vector<std::string> shown;
  size_t width = 0;
  for (const std::string &name : names) {
    shown.push_back(visibleName(name.c_str()));
    width = std::max(width, shown.back().size());
  }
  width += 2;
  size_t columns = 80;
  struct winsize ws;
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0)
    columns = ws.ws_col;
  size_t perRow = std::max<size_t>(1, columns / width);
  size_t rows = (shown.size() + perRow - 1) / perRow;
  std::string text = "\n";
  for (size_t r = 0; r < rows; r++) {
    for (size_t c = 0; c < perRow; c++) {
      size_t i = c * rows + r;
      if (i >= shown.size())
        break;
      bool last = c + 1 == perRow || i + rows >= shown.size();
      text += shown[i];
      if (!last)
        text.append(width - shown[i].size(), ' ');
    }
    text += '\n';
  }
  show(text);
}

// Tab at a file prompt: the whole line before the cursor is one name, so what
// completes it is inserted as it is, blanks and quotes included, with no
// trailing blank. Several names: their common start now, the list on the next Tab.
unsigned char completeFileName(EditLine *el, int) {
  if (currentKind != LineKind::FileName)
    return CC_ERROR;
  const LineInfoW *li = el_wline(el);
  std::string typed = toBytes(li->buffer, static_cast<size_t>(li->cursor - li->buffer));
  size_t slash = typed.rfind('/');
  std::string folder = slash == std::string::npos ? "" : typed.substr(0, slash + 1);
  std::string start = slash == std::string::npos ? typed : typed.substr(slash + 1);
  std::vector<std::string> names = namesStartingWith(folder, start);
  if (names.empty())
    return CC_ERROR;

  std::string common = names[0];
  for (const std::string &name : names) {
    size_t n = 0;
    while (n < common.size() && n < name.size() && common[n] == name[n])
      n++;
    common.resize(n);
  }
  if (common.size() > start.size()) {
    if (el_winsertstr(el, toWide(common.substr(start.size())).c_str()) != 0)
      return CC_ERROR;
    listState = names.size() > 1 ? stateOf(el_wline(el)) : "";
    return CC_REFRESH;
  }
  if (names.size() == 1)
    return CC_NORM;
  if (stateOf(li) == listState) {
    if (names.size() <= namesShownWithoutAsking || confirmListing(names.size()))
      listNames(names);
    else
      show("\n");
    return CC_REDISPLAY;
  }
  listState = stateOf(li);
  return CC_ERROR;
}

}  // namespace

bool startLineEditor() {
  // Everything the editor shows goes to standard output, its complaints included.
  editor = el_init("drelk", stdin, stdout, stdout);
  if (editor == nullptr)
    return false;
  el_wset(editor, EL_EDITOR, L"emacs");
  el_wset(editor, EL_SIGNAL, 1);  // an interrupt at a prompt leaves the terminal as it was
  el_wset(editor, EL_PROMPT, promptText);
  el_wset(editor, EL_GETCFN, readCharacter);
  HistEventW event;
  for (HistoryW *&h : histories) {
    h = history_winit();
    history_w(h, &event, H_SETSIZE, 500);
    history_w(h, &event, H_SETUNIQUE, 1);
  }
  // The wide calls: the narrow EL_ADDFN copies the two names and never frees them.
  el_wset(editor, EL_ADDFN, L"drelk-complete", L"Complete a file name", completeFileName);
  el_wset(editor, EL_BIND, L"^I", L"drelk-complete", nullptr);
  el_source(editor, nullptr);
  return true;
}

bool lineEditorStarted() { return editor != nullptr; }

void stopLineEditor() {
  if (editor != nullptr)
    el_end(editor);
  editor = nullptr;
  for (HistoryW *&h : histories) {
    if (h != nullptr)
      history_wend(h);
    h = nullptr;
  }
}

EditResult editLine(const char *prompt, LineKind kind, const volatile bool *interrupted, const char **line,
                    size_t *length) {
  currentPrompt = prompt;
  currentKind = kind;
  interruptFlag = interrupted;
  listState.clear();
  HistoryW *h = histories[static_cast<int>(kind)];
  el_wset(editor, EL_HIST, history_w, h);

  // The editor writes through stdio, which takes EAGAIN for an error: a
  // terminal left non-blocking is set back to blocking, as shells do.
  int flags = fcntl(STDOUT_FILENO, F_GETFL);
  if (flags != -1 && (flags & O_NONBLOCK))
    fcntl(STDOUT_FILENO, F_SETFL, flags & ~O_NONBLOCK);

  int count = 0;
  const wchar_t *text = el_wgets(editor, &count);
  interruptFlag = nullptr;
  if (interrupted != nullptr && *interrupted) {
    pendingBytes.clear();
    return EditResult::Interrupted;
  }
  if (text == nullptr || count <= 0 || text[count - 1] != L'\n')
    return EditResult::End;
  size_t n = static_cast<size_t>(count) - 1;
  if (n > 0) {
    // Kept wide, so that a recalled line still holds its stray bytes.
    HistEventW event;
    history_w(h, &event, H_ENTER, std::wstring(text, n).c_str());
  }
  lineBytes = toBytes(text, n);
  *line = lineBytes.data();
  *length = lineBytes.size();
  return EditResult::Line;
}

#endif
