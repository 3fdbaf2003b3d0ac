// Drelk: the menu loop, the file listing and the program state.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstring>

#include "console.h"
#include "line_editor.h"
#include "program_state.h"
#include "terminal.h"
#include "tool_operations.h"

int32_t loopContinue = 1;
char input[256];
char filename[2048];
char filename2[2048];
char pcIn[2048];
char pcOut[2048];
char *command = nullptr;
ToolPipe fp;
char myLine[65536];

// Longest choice line, line end not counted.
static const size_t choiceMaxChars = 255;
static size_t inputLength = 0;

static const char *const menuLines[] = {
    "0    File Save Files",
    "1    Find Protobuf Files",
    "2    Convert Save to Protobuf Format",
    "3    Convert Protobuf Format to Save",
    "4    Convert Profile to Protobuf Format",
    "5    Convert Protobuf Format to Profile",
    "6    Get Save Information",
    "7    Get Profile Information",
    "8    Start Save Editor",
    "9    Start Profile Editor",
    "A    Convert Saves Between Platforms",
    "Z    Exit",
};

// Writes the twelve menu lines; the prompt "Enter option --> " is shown by
// the read of the choice, so that a line editor can redraw it.
void drawMainMenu() {
  for (const char *line : menuLines)
    writeLine(line);
}

// True when name ends in extension, compared without regard to case.
static bool hasExtension(const char *name, const char *extension) {
  size_t nameLength = strlen(name), extensionLength = strlen(extension);
  return nameLength >= extensionLength &&
         strcasecmp(name + nameLength - extensionLength, extension) == 0;
}

// True when the entry is a regular file, or a link to one.
static bool isRegularFile(DIR *dir, const struct dirent *entry) {
#ifdef DT_REG
  if (entry->d_type == DT_REG)
    return true;
  if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
    return false;
#endif
  struct stat st;
  return fstatat(dirfd(dir), entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
}

// Lists the files of directory whose names end in extension.
void listDirectory(const char *directory, const char *extension) {
  DIR *dir = opendir(directory);
  if (dir == nullptr) {
    writeLine("Failed to list files.");
    return;
  }
  writeLine("File Listing");
  while (const struct dirent *entry = readdir(dir)) {
    if (!hasExtension(entry->d_name, extension) || !isRegularFile(dir, entry))
      continue;
    // A name is data: on a terminal none of its bytes may act as a control.
    if (personAtTerminal())
      writeLine(visibleName(entry->d_name).c_str());
    else
      writeLine(entry->d_name);
  }
  closedir(dir);
}

// True when the last choice line is exactly key.
static bool chose(const char *key) {
  return inputLength == strlen(key) && memcmp(input, key, inputLength) == 0;
}

// Gives each of the standard three that came closed a harmless stand-in, so
// that no pipe or folder Drelk opens later can take its number. Returns
// false when standard output was closed: nothing Drelk says could be seen.
static bool openStandardDescriptors() {
  bool outputOpen = true;
  for (int fd = 0; fd <= 2; fd++) {
    if (fcntl(fd, F_GETFD) != -1)
      continue;
    if (fd == STDOUT_FILENO)
      outputOpen = false;
    int null = open("/dev/null", O_RDWR);
    if (null >= 0 && null != fd) {
      dup2(null, fd);
      close(null);
    }
  }
  return outputOpen;
}

int main(int, char **) {
  if (!openStandardDescriptors())
    return 1;
  // Collecting the tool's status needs SIGCHLD at its default, whatever we inherited.
  signal(SIGCHLD, SIG_DFL);
  decidePersonAtTerminal();
  if (personAtTerminal()) {
    setlocale(LC_CTYPE, "");  // the terminal's own characters, for editing and for showing names
    if (startLineEditor())
      atexit(stopLineEditor);
  }

  while (loopContinue == 1) {
    drawMainMenu();
    LineResult result = readLine("Enter option --> ", LineKind::Choice, input, choiceMaxChars, &inputLength);
    if (result == LineResult::TooLong)
      continue;
    if (result != LineResult::Line)
      break;
    if (chose("z") || chose("Z"))
      loopContinue = 0;
    else if (chose("0"))
      listDirectory(".", ".sav");
    else if (chose("1"))
      listDirectory(".", ".proto");
    else if (chose("2"))
      exportSave();
    else if (chose("3"))
      importSave();
    else if (chose("4"))
      exportProfile();
    else if (chose("5"))
      importProfile();
    else if (chose("6"))
      showSaveInfo();
    else if (chose("7"))
      showProfileInfo();
    else if (chose("A") || chose("a"))
      convertSavePlatform();
    else if (chose("8"))
      writeLine("The save editor is not available.");
    else if (chose("9"))
      writeLine("The profile editor is not available.");

    if (inputEnded() || outputBroken())
      break;
  }
  if (!outputBroken())
    writeLine("Thank you for choosing Drelk.");
  return flushOutput() ? 0 : 1;
}
