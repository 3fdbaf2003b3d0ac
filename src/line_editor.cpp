// Line editing at a terminal: history per kind of prompt, Tab completion of file names.
#include "line_editor.h"

#ifndef DRELK_LINE_EDITING

bool startLineEditor() { return false; }
bool editLine(const char *, LineKind, const char **, size_t *) { return false; }

#else

#include <dirent.h>
#include <histedit.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

EditLine *editor = nullptr;
History *histories[3] = {};
const char *currentPrompt = "";
LineKind currentKind = LineKind::Choice;
std::string listState;  // line and cursor where one more Tab lists the names

char *promptText(EditLine *) { return const_cast<char *>(currentPrompt); }

// The line and the cursor's place in it.
std::string stateOf(const LineInfo *li) {
  return std::string(li->buffer, li->lastchar) + '\0' + std::to_string(li->cursor - li->buffer);
}

// Names in folder that begin with start, sorted; folders end in '/'. Hidden
// names only when start asks for them.
std::vector<std::string> namesStartingWith(const std::string &folder, const std::string &start) {
  std::vector<std::string> names;
  DIR *dir = opendir(folder.empty() ? "." : folder.c_str());
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

// Lists names below the line being edited, in columns across the terminal.
void listNames(const std::vector<std::string> &names) {
  size_t width = 0;
  for (const std::string &name : names)
    width = std::max(width, name.size());
  width += 2;
  size_t columns = 80;
  struct winsize ws;
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0)
    columns = ws.ws_col;
  size_t perRow = std::max<size_t>(1, columns / width);
  size_t rows = (names.size() + perRow - 1) / perRow;
  fputc('\n', stdout);
  for (size_t r = 0; r < rows; r++) {
    for (size_t c = 0; c < perRow; c++) {
      size_t i = c * rows + r;
      if (i >= names.size())
        break;
      bool last = c + 1 == perRow || i + rows >= names.size();
      fputs(names[i].c_str(), stdout);
      for (size_t pad = names[i].size(); !last && pad < width; pad++)
        fputc(' ', stdout);
    }
    fputc('\n', stdout);
  }
  fflush(stdout);
}

// Tab at a file prompt: the whole line before the cursor is one name, so what
// completes it is inserted as it is, blanks and quotes included, with no
// trailing blank. Several names: their common start now, the list on the next Tab.
unsigned char completeFileName(EditLine *el, int) {
  if (currentKind != LineKind::FileName)
    return CC_ERROR;
  const LineInfo *li = el_line(el);
  std::string typed(li->buffer, li->cursor);
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
    if (el_insertstr(el, common.c_str() + start.size()) != 0)
      return CC_ERROR;
    listState = names.size() > 1 ? stateOf(el_line(el)) : "";
    return CC_REFRESH;
  }
  if (names.size() == 1)
    return CC_NORM;
  if (stateOf(li) == listState) {
    listNames(names);
    return CC_REDISPLAY;
  }
  listState = stateOf(li);
  return CC_ERROR;
}

void stopLineEditor() {
  if (editor != nullptr)
    el_end(editor);
  for (History *h : histories)
    if (h != nullptr)
      history_end(h);
}

}  // namespace

bool startLineEditor() {
  if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO))
    return false;
  setlocale(LC_CTYPE, "");  // so the editor takes the terminal's multibyte names
  // Everything the editor shows goes to standard output, its complaints included.
  editor = el_init("drelk", stdin, stdout, stdout);
  if (editor == nullptr)
    return false;
  el_set(editor, EL_EDITOR, "emacs");
  el_set(editor, EL_SIGNAL, 1);  // an interrupt at a prompt leaves the terminal as it was
  el_set(editor, EL_PROMPT, promptText);
  HistEvent event;
  for (History *&h : histories) {
    h = history_init();
    history(h, &event, H_SETSIZE, 500);
    history(h, &event, H_SETUNIQUE, 1);
  }
  // The wide calls: the narrow EL_ADDFN copies the two names and never frees them.
  el_wset(editor, EL_ADDFN, L"drelk-complete", L"Complete a file name", completeFileName);
  el_wset(editor, EL_BIND, L"^I", L"drelk-complete", nullptr);
  el_source(editor, nullptr);
  atexit(stopLineEditor);
  return true;
}

bool editLine(const char *prompt, LineKind kind, const char **line, size_t *length) {
  currentPrompt = prompt;
  currentKind = kind;
  listState.clear();
  History *h = histories[static_cast<int>(kind)];
  el_set(editor, EL_HIST, history, h);

  int count = 0;
  const char *text = el_gets(editor, &count);
  if (text == nullptr || count <= 0 || text[count - 1] != '\n')
    return false;
  size_t n = static_cast<size_t>(count) - 1;
  if (n > 0) {
    HistEvent event;
    history(h, &event, H_ENTER, std::string(text, n).c_str());
  }
  *line = text;
  *length = n;
  return true;
}

#endif
