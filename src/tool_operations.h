// The tool operations: ask for files, run one external tool, relay its output.
#ifndef DRELK_TOOL_OPERATIONS_H
#define DRELK_TOOL_OPERATIONS_H

#include <cstddef>
#include <string>

#include "line_editor.h"
#include "tool_runner.h"

// Longest answer in bytes, line end not counted.
constexpr size_t answerMaxChars = 1023;

struct Question {
  const char *text;  // the question line
  LineKind kind;     // a file name or a value: its prompt, history and completion
  char *answer;      // where the answer is kept
};

// The texts and the tool of one operation.
struct ToolOperation {
  const char *title;
  int questionCount;
  Question questions[4];
  const char *echoFormat;  // each %s stands for the next answer, in order
  const char *tool;
  const char *failureLine;
};

// Puts one question and reads the answer into buffer. Returns false when no
// answer came (end of input, Ctrl-C, or an answer too long, which it reports).
bool askAnswer(const char *question, LineKind kind, char *buffer);

// Asks the operation's questions, runs its tool and relays what it prints.
void runToolOperation(const ToolOperation &operation);

// What Drelk says of how a tool ended, line ends included: nothing when it
// succeeded. onPath matters only for the shell's own statuses 126 and 127;
// atTerminal puts the line after an interrupt's ^C on a line of its own.
std::string toolEndText(const char *tool, const ToolEnd &end, ToolOnPath onPath, bool atTerminal);

void exportSave();
void importSave();
void exportProfile();
void importProfile();
void showSaveInfo();
void showProfileInfo();
void convertSavePlatform();

#endif
