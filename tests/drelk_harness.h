// Runs the built drelk in a scratch folder with fake tools on PATH.
#ifndef DRELK_TESTS_HARNESS_H
#define DRELK_TESTS_HARNESS_H

#include <functional>
#include <string>
#include <vector>

extern const char *const toolNames[7];

// The twelve menu lines and the prompt, as Drelk writes them before each choice.
inline const std::string menu =
    "0    File Save Files\n"
    "1    Find Protobuf Files\n"
    "2    Convert Save to Protobuf Format\n"
    "3    Convert Protobuf Format to Save\n"
    "4    Convert Profile to Protobuf Format\n"
    "5    Convert Protobuf Format to Profile\n"
    "6    Get Save Information\n"
    "7    Get Profile Information\n"
    "8    Start Save Editor\n"
    "9    Start Profile Editor\n"
    "A    Convert Saves Between Platforms\n"
    "Z    Exit\n"
    "Enter option --> ";

inline const std::string farewell = "Thank you for choosing Drelk.\n";

// Each question of an operation as Drelk writes it, with the prompt of its kind.
inline std::string askFile(const std::string &question) { return question + "\nEnter file --> "; }
inline std::string askValue(const std::string &question) { return question + "\nEnter value --> "; }

// A scratch folder: work/ is Drelk's current folder, bin/ holds the fake tools.
class Scratch {
 public:
  Scratch();
  ~Scratch();
  Scratch(const Scratch &) = delete;
  Scratch &operator=(const Scratch &) = delete;

  // Writes a fake tool: body is sh code. Every tool starts as one that prints
  // its name and each argument in brackets.
  void tool(const std::string &name, const std::string &body, int mode = 0755);
  void removeTool(const std::string &name);
  void file(const std::string &name, const std::string &content);
  std::string read(const std::string &name) const;

  std::string root, work, bin;
};

// Where drelk's standard output goes: each takes another path through the relay.
enum class Output { File, AppendingFile, Pipe, DevFull, Closed };

struct RunOptions {
  bool stdinFromFile = false;         // a regular file instead of a pipe
  bool stdinClosed = false;           // drelk starts with no standard input at all
  bool feedSlowly = false;            // the input comes a line at a time, with pauses
  bool nonBlockingInput = false;      // drelk's standard input is left non-blocking
  bool nonBlockingOutput = false;     // so is its standard output
  bool readSlowly = false;            // with Output::Pipe: the reader takes small sips, with pauses
  Output output = Output::File;
  bool unreadableFolder = false;      // the current folder can't be listed
  bool ignoreSigpipe = false;         // drelk starts with SIGPIPE ignored
  bool ignoreSigchld = false;         // drelk starts with SIGCHLD ignored
  int openFileLimit = 0;              // when set, drelk may hold no more descriptors than this
  std::string closeOutputAfter;       // with Output::Pipe: the reader goes away once this shows
  std::vector<std::string> args;      // extra arguments to drelk
  std::vector<std::string> env;       // extra environment for drelk
  // Called while drelk runs, with a function that waits for text in its output.
  std::function<void(const std::function<bool(const std::string &)> &)> whileRunning;
};

struct RunResult {
  std::string out, err;
  int status = -1;  // wait status
};

// The environment drelk runs with: the fake tools first on PATH, the C
// locale, and the sanitizers' options when the suite runs under them.
std::vector<std::string> drelkEnvironment(const Scratch &scratch, const std::vector<std::string> &extra = {});
// argv- or envp-style pointers into strings, ending in a null pointer.
std::vector<char *> pointersTo(std::vector<std::string> &strings);

RunResult runDrelk(Scratch &scratch, const std::string &input, const RunOptions &options = {});

// The expected text of one tool operation, from its title to "Execution complete";
// questions as askFile() and askValue() write them.
std::string operation(const std::string &title, const std::vector<std::string> &questions,
                      const std::string &echo, const std::string &toolOutput,
                      const std::string &statusLine = "");

#endif
