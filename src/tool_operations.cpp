// The tool operations: ask for files, run one external tool, relay its output.
#include "tool_operations.h"

#include <signal.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "command_text.h"
#include "console.h"
#include "program_state.h"
#include "terminal.h"

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
     {{"Please specify a filename.", LineKind::FileName, filename}},
     "Will convert %s\n", "Marquenisto", "Failed to execute Marquenisto!"},
    {"Protobuf to Save", 2,
     {{"Please specify a protobuf file.", LineKind::FileName, filename},
      {"Please specify the original file.", LineKind::FileName, filename2}},
     "Will convert %s\n", "Quobrenatil", "Failed to execute Quobrenatil!"},
    {"Profile to Protobuf", 1,
     {{"Please specify a filename.", LineKind::FileName, filename}},
     "Will convert %s\n", "Kelvadrosimune", "Failed to execute Kelvadrosimune!"},
    {"Protobuf to Profile", 2,
     {{"Please specify a protobuf file.", LineKind::FileName, filename},
      {"Please specify the original file.", LineKind::FileName, filename2}},
     "Will convert %s\n", "Zandrumevolask", "Failed to execute Zandrumevolask!"},
    {"View Save Information", 1,
     {{"Please specify protobuf file.", LineKind::FileName, filename}},
     "Will process %s\n", "Hollimbrix", "Failed to execute Hollimbrix"},
    {"View Profile Information", 1,
     {{"Please specify protobuf file.", LineKind::FileName, filename}},
     "Will process %s\n", "Wystrenoculam", "Failed to execute Wystrenoculam!"},
    {"Convert Save", 4,
     {{"Please specify the input save file.", LineKind::FileName, filename},
      {"Please specify the output save file.", LineKind::FileName, filename2},
      {"Please specify the input platform code (see manual).", LineKind::Value, pcIn},
      {"Please specify the output platform code (see manual).", LineKind::Value, pcOut}},
     "Will convert %s to %s\n", "Trevolandix", "Failed to execute Trevolandix!"},
};

bool askAnswer(const char *question, LineKind kind, char *buffer) {
  writeLine(question);
  const char *prompt = kind == LineKind::Value ? "Enter value --> " : "Enter file --> ";
  switch (readLine(prompt, kind, buffer, answerMaxChars)) {
    case LineResult::Line:
      return true;
    case LineResult::TooLong:
      writeLine("Answer too long: at most 1023 bytes.");
      return false;
    case LineResult::End:
    case LineResult::Interrupted:
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

// Signal names of Drelk's own, the same on every system.
static const struct {
  int number;
  const char *name;
} signalNames[] = {
    {SIGHUP, "Hangup"},
    {SIGINT, "Interrupt"},
    {SIGQUIT, "Quit"},
    {SIGILL, "Illegal instruction"},
    {SIGTRAP, "Trace/breakpoint trap"},
    {SIGABRT, "Aborted"},
    {SIGBUS, "Bus error"},
    {SIGFPE, "Floating point exception"},
    {SIGKILL, "Killed"},
    {SIGUSR1, "User defined signal 1"},
    {SIGSEGV, "Segmentation fault"},
    {SIGUSR2, "User defined signal 2"},
    {SIGPIPE, "Broken pipe"},
    {SIGALRM, "Alarm clock"},
    {SIGTERM, "Terminated"},
    {SIGXCPU, "CPU time limit exceeded"},
    {SIGXFSZ, "File size limit exceeded"},
    {SIGVTALRM, "Virtual timer expired"},
    {SIGPROF, "Profiling timer expired"},
    {SIGSYS, "Bad system call"},
};

std::string toolEndText(const char *tool, const ToolEnd &end, ToolOnPath onPath, bool atTerminal) {
  std::string line = tool;
  switch (end.kind) {
    case ToolEnd::Unknown:
      return "";  // the status could not be collected; there is nothing to tell
    case ToolEnd::Exited:
      if (end.number == 0)
        return "";
      // 127 and 126 are the shell's words only when it could not find or run the tool.
      if (end.number == 127 && onPath != ToolOnPath::Executable)
        return line + " was not found.\n";
      if (end.number == 126 && onPath == ToolOnPath::NotExecutable)
        return line + " could not be run.\n";
      return line + " exited with status " + std::to_string(end.number) + ".\n";
    case ToolEnd::Signaled:
      break;
  }
  line += " was ended by signal " + std::to_string(end.number);
  for (const auto &known : signalNames)
    if (known.number == end.number) {
      line += std::string(" (") + known.name + ")";
      break;
    }
  // At a terminal the interrupt's ^C is still on the tool's last line.
  return (end.number == SIGINT && atTerminal ? "\n" : "") + line + ".\n";
}

void runToolOperation(const ToolOperation &operation) {
  writeLine(operation.title);
  const char *answers[4];
  std::string expanded[4];
  const char *arguments[4];
  for (int i = 0; i < operation.questionCount; i++) {
    const Question &q = operation.questions[i];
    if (!askAnswer(q.text, q.kind, q.answer))
      return;
    answers[i] = q.answer;
    // A file name may start with ~ or ~user, as it could in the shell.
    expanded[i] = q.kind == LineKind::FileName ? expandTilde(q.answer) : q.answer;
    arguments[i] = expanded[i].c_str();
  }
  writeEcho(operation.echoFormat, answers, operation.questionCount);

  // Nothing runs unless all that Drelk said so far has reached its reader.
  if (!flushOutput())
    return;
  command = composeCommand(operation.tool, arguments, operation.questionCount);
  saveTerminalModes();
  bool started = command != nullptr && startCommand(command, &fp);
  free(command);
  command = nullptr;
  if (!started) {
    writeLine(operation.failureLine);
    return;
  }
  Relayed relayed = relayOutput(&fp, myLine, sizeof myLine);
  ToolEnd end = finishCommand(&fp);
  restoreTerminalModes();
  if (relayed.kind == Relayed::OutputFailed) {
    noteOutputFailed();
    return;
  }
  // At a terminal Drelk's own lines start on a fresh line, whatever the tool
  // left, and after the ^C that ended a held relay.
  bool lineLeftOpen = personAtTerminal() && (relayed.midLine || relayed.kind == Relayed::StoppedWaiting);
  if (lineLeftOpen)
    writeText("\n");
  if (relayed.kind == Relayed::StoppedWaiting)
    writeText((std::string("Stopped waiting for ") + operation.tool + "'s output.\n").c_str());
  ToolOnPath onPath = end.kind == ToolEnd::Exited && (end.number == 126 || end.number == 127)
                          ? lookUpTool(operation.tool)
                          : ToolOnPath::Executable;
  writeText(toolEndText(operation.tool, end, onPath, personAtTerminal() && !lineLeftOpen).c_str());
  writeLine("Execution complete");
}

void exportSave() { runToolOperation(toolOperations[ExportSave]); }
void importSave() { runToolOperation(toolOperations[ImportSave]); }
void exportProfile() { runToolOperation(toolOperations[ExportProfile]); }
void importProfile() { runToolOperation(toolOperations[ImportProfile]); }
void showSaveInfo() { runToolOperation(toolOperations[ShowSaveInfo]); }
void showProfileInfo() { runToolOperation(toolOperations[ShowProfileInfo]); }
void convertSavePlatform() { runToolOperation(toolOperations[ConvertSavePlatform]); }
