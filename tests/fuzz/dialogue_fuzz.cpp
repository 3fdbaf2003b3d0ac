// Fuzzes the whole dialogue: arbitrary bytes are the user's input, and the
// command runner is replaced by one that checks every command text composed.
// The property: sh reads each one back to exactly "exec", one of the seven
// tools, and the answers the dialogue took, byte for byte (a file name's
// leading tilde-prefix replaced, as sh would).
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../sh_words.h"
#include "command_text.h"
#include "console.h"
#include "program_state.h"
#include "tool_operations.h"
#include "tool_runner.h"

int drelkMain(int argc, char **argv);

namespace {

struct Tool {
  const char *name;
  std::vector<const char *> answers;
  size_t fileNames;  // how many of the answers, from the first, are file names
};

const Tool tools[] = {
    {"Marquenisto", {filename}, 1},    {"Quobrenatil", {filename, filename2}, 2},
    {"Kelvadrosimune", {filename}, 1}, {"Zandrumevolask", {filename, filename2}, 2},
    {"Hollimbrix", {filename}, 1},     {"Wystrenoculam", {filename}, 1},
    {"Trevolandix", {filename, filename2, pcIn, pcOut}, 2},
};

std::string fakeTools;  // a folder of tools that print their arguments, each with a NUL
unsigned long commandsSeen = 0;

[[noreturn]] void fail(const char *what, const char *text) {
  fprintf(stderr, "dialogue_fuzz: %s: [%s]\n", what, text);
  abort();
}

// Runs text through a real sh with the fake tools and returns their arguments.
std::vector<std::string> argumentsFromRealSh(const char *text) {
  return nulSeparatedOutput("PATH='" + fakeTools + "'; " + text);
}

}  // namespace

// Stands in for the real runner: checks the command and makes up how the tool ended.
bool startCommand(const char *command, ToolPipe *) {
  std::vector<std::string> words;
  if (!splitShellWords(command, &words))
    fail("the shell would act on part of the command", command);
  if (words.size() < 2 || words[0] != "exec")
    fail("the command does not exec a tool", command);
  const Tool *tool = nullptr;
  for (const Tool &t : tools)
    if (words[1] == t.name)
      tool = &t;
  if (tool == nullptr)
    fail("unknown tool", command);
  if (words.size() != 2 + tool->answers.size())
    fail("wrong number of arguments", command);
  for (size_t i = 0; i < tool->answers.size(); i++) {
    std::string expected = i < tool->fileNames ? expandTilde(tool->answers[i]) : tool->answers[i];
    if (words[2 + i] != expected)
      fail("an argument differs from its answer", command);
    if (strlen(tool->answers[i]) > answerMaxChars)
      fail("an answer over the bound", command);
  }
  // A sample goes through a real sh as well.
  if (commandsSeen++ % 512 == 0) {
    std::vector<std::string> args = argumentsFromRealSh(command);
    args.insert(args.begin(), {"exec", tool->name});
    if (args != words)
      fail("real sh reads the command otherwise", command);
  }
  return true;
}

Relayed relayOutput(ToolPipe *, char *, size_t) { return Relayed(); }

ToolEnd finishCommand(ToolPipe *) {
  static const ToolEnd ends[] = {
      {ToolEnd::Exited, 0}, {ToolEnd::Exited, 127}, {ToolEnd::Exited, 126}, {ToolEnd::Exited, 3},
      {ToolEnd::Signaled, 9}, {ToolEnd::Unknown, 0}};
  return ends[commandsSeen % 6];
}

ToolOnPath lookUpTool(const char *) { return static_cast<ToolOnPath>(commandsSeen % 3); }

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  char folder[] = "/tmp/drelk-fuzz.XXXXXX";
  if (mkdtemp(folder) == nullptr)
    abort();
  fakeTools = folder;
  for (const Tool &t : tools) {
    std::string path = fakeTools + "/" + t.name;
    FILE *f = fopen(path.c_str(), "w");
    fputs("#!/bin/sh\nprintf '%s\\0' \"$@\"\n", f);
    fclose(f);
    chmod(path.c_str(), 0755);
  }
  mkdir((fakeTools + "/work").c_str(), 0755);
  for (const char *name : {"slot1.sav", "SLOT2.SAV", "a.proto", "notes.txt"})
    close(open((fakeTools + "/work/" + name).c_str(), O_WRONLY | O_CREAT, 0644));
  if (chdir((fakeTools + "/work").c_str()) != 0)
    abort();
  int null = open("/dev/null", O_WRONLY);
  dup2(null, STDOUT_FILENO);  // the dialogue's own text goes nowhere
  close(null);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > 60000)
    return 0;  // keeps the input within one pipe's buffer
  int feed[2];
  if (pipe(feed) != 0)
    abort();
  if (size > 0 && write(feed[1], data, size) != static_cast<ssize_t>(size))
    abort();
  close(feed[1]);
  dup2(feed[0], STDIN_FILENO);
  close(feed[0]);

  loopContinue = 1;
  resetConsole();
  char name[] = "drelk";
  char *argv[] = {name, nullptr};
  drelkMain(1, argv);
  fflush(stdout);
  return 0;
}
