// The tool operations: ask for files, run one external tool, relay its output.
#ifndef DRELK_TOOL_OPERATIONS_H
#define DRELK_TOOL_OPERATIONS_H

#include <cstdint>
#include <cstdio>

// Program state, shared by the menu loop and the operations.
extern int32_t loopContinue;
extern char input[256];
extern char filename[2048];
extern char filename2[2048];
extern char pcIn[2048];
extern char pcOut[2048];
extern char *command;
extern FILE *fp;
extern char myLine[65536];

// Longest answer, line end not counted.
constexpr size_t answerMaxChars = 1023;

struct Question {
  const char *text;    // the question line
  const char *prompt;  // "Enter file --> " or "Enter value --> "
  char *answer;        // where the answer is kept
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
// answer came (end of input, or an answer too long, which it reports).
bool askAnswer(const char *question, const char *prompt, char *buffer);

// Asks the operation's questions, runs its tool and relays what it prints.
void runToolOperation(const ToolOperation &operation);

void exportSave();
void importSave();
void exportProfile();
void importProfile();
void showSaveInfo();
void showProfileInfo();
void convertSavePlatform();

#endif
