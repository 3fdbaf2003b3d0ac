// The tool operations: ask for files, run one external tool, relay its output.
#include "tool_operations.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "command_text.h"
#include "console.h"
#include "tool_runner.h"

static const char filePrompt[] = "Enter file --> ";
static const char valuePrompt[] = "Enter value --> ";

enum OperationIndex {
  ExportSave,
  ImportSave,
  ExportProfile,
  ImportProfile,
  ShowSaveInfo,
  ShowProfileInfo,
  ConvertSavePlatform,
};

static const ToolOperation toolOperations[] = {
    {"Save to Protobuf", 1,
     {{"Please specify a filename.", filePrompt, filename}},
     "Will convert %s\n", "Marquenisto", "Failed to execute Marquenisto!"},
    {"Protobuf to Save", 2,
     {{"Please specify a protobuf file.", filePrompt, filename},
      {"Please specify the original file.", filePrompt, filename2}},
     "Will convert %s\n", "Quobrenatil", "Failed to execute Quobrenatil!"},
    {"Profile to Protobuf", 1,
     {{"Please specify a filename.", filePrompt, filename}},
     "Will convert %s\n", "Kelvadrosimune", "Failed to execute Kelvadrosimune!"},
    {"Protobuf to Profile", 2,
     {{"Please specify a protobuf file.", filePrompt, filename},
      {"Please specify the original file.", filePrompt, filename2}},
     "Will convert %s\n", "Zandrumevolask", "Failed to execute Zandrumevolask!"},
    {"View Save Information", 1,
     {{"Please specify protobuf file.", filePrompt, filename}},
     "Will process %s\n", "Hollimbrix", "Failed to execute Hollimbrix"},
    {"View Profile Information", 1,
     {{"Please specify protobuf file.", filePrompt, filename}},
     "Will process %s\n", "Wystrenoculam", "Failed to execute Wystrenoculam!"},
    {"Convert Save", 4,
     {{"Please specify the input save file.", filePrompt, filename},
      {"Please specify the output save file.", filePrompt, filename2},
      {"Please specify the input platform code (see manual).", valuePrompt, pcIn},
      {"Please specify the output platform code (see manual).", valuePrompt, pcOut}},
     "Will convert %s to %s\n", "Trevolandix", "Failed to execute Trevolandix!"},
};

bool askAnswer(const char *question, const char *prompt, char *buffer) {
  writeLine(question);
  LineKind kind = strcmp(prompt, filePrompt) == 0 ? LineKind::FileName : LineKind::Value;
  switch (readLine(prompt, kind, buffer, answerMaxChars)) {
    case LineResult::Line:
      return true;
    case LineResult::TooLong:
      writeLine("Answer too long: at most 1023 characters.");
      return false;
    case LineResult::End:
      break;
  }
  return false;
}

// Writes format with the answers in place of its %s, as plain text.
static void writeEcho(const char *format, const char *const answers[], int count) {
  int next = 0;
  for (const char *p = format; *p != '\0'; p++) {
    if (p[0] == '%' && p[1] == 's' && next < count) {
      writeText(answers[next++]);
      p++;
    } else {
      writeBytes(p, 1);
    }
  }
}

void runToolOperation(const ToolOperation &operation) {
  writeLine(operation.title);
  const char *answers[4];
  for (int i = 0; i < operation.questionCount; i++) {
    const Question &q = operation.questions[i];
    if (!askAnswer(q.text, q.prompt, q.answer))
      return;
    answers[i] = q.answer;
  }
  writeEcho(operation.echoFormat, answers, operation.questionCount);

  command = composeCommand(operation.tool, answers, operation.questionCount);
  int status = 0;
  bool ran = command != nullptr && runCommand(command, &status);
  free(command);
  command = nullptr;
  if (!ran) {
    writeLine(operation.failureLine);
    return;
  }
  std::string statusLine = toolStatusLine(operation.tool, status);
  // At a terminal the interrupt's ^C is still on the tool's last line.
  if (status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == SIGINT && isatty(STDOUT_FILENO))
    writeText("\n");
  if (!statusLine.empty())
    writeLine(statusLine.c_str());
  writeLine("Execution complete");
}

void exportSave() { runToolOperation(toolOperations[ExportSave]); }
void importSave() { runToolOperation(toolOperations[ImportSave]); }
void exportProfile() { runToolOperation(toolOperations[ExportProfile]); }
void importProfile() { runToolOperation(toolOperations[ImportProfile]); }
void showSaveInfo() { runToolOperation(toolOperations[ShowSaveInfo]); }
void showProfileInfo() { runToolOperation(toolOperations[ShowProfileInfo]); }
void convertSavePlatform() { runToolOperation(toolOperations[ConvertSavePlatform]); }
