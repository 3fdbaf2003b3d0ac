// Runs the built drelk in a scratch folder with fake tools on PATH.
#include "drelk_harness.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

const char *const toolNames[7] = {"Marquenisto",   "Quobrenatil", "Kelvadrosimune",
                                  "Zandrumevolask", "Hollimbrix",  "Wystrenoculam",
                                  "Trevolandix"};


static void check(bool ok, const std::string &what) {
  if (!ok)
    throw std::runtime_error(what + ": " + strerror(errno));
}

static void writeWhole(const std::string &path, const std::string &content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  out.close();
  check(static_cast<bool>(out), "write " + path);
}

static std::string readWhole(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

Scratch::Scratch() {
  const char *tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/drelk-test.XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  check(mkdtemp(name.data()) != nullptr, "mkdtemp");
  root = name.data();
  work = root + "/work";
  bin = root + "/bin";
  check(mkdir(work.c_str(), 0755) == 0 && mkdir(bin.c_str(), 0755) == 0, "mkdir");
  chmod(root.c_str(), 0755);
  for (const char *name : toolNames)
    tool(name, "printf '%s' \"${0##*/}\"\nfor a do printf ' [%s]' \"$a\"; done\nprintf '\\n'\n");
}

Scratch::~Scratch() {
  chmod(work.c_str(), 0755);
  std::string command = "rm -rf '" + root + "'";
  if (system(command.c_str()) != 0)
    fprintf(stderr, "could not remove %s\n", root.c_str());
}

void Scratch::tool(const std::string &name, const std::string &body, int mode) {
  std::string path = bin + "/" + name;
  writeWhole(path, "#!/bin/sh\n" + body);
  check(chmod(path.c_str(), static_cast<mode_t>(mode)) == 0, "chmod " + path);
}

void Scratch::removeTool(const std::string &name) { unlink((bin + "/" + name).c_str()); }

void Scratch::file(const std::string &name, const std::string &content) {
  writeWhole(work + "/" + name, content);
}

std::string Scratch::read(const std::string &name) const { return readWhole(work + "/" + name); }

std::vector<std::string> drelkEnvironment(const Scratch &scratch, const std::vector<std::string> &extra) {
  std::vector<std::string> env = {"PATH=" + scratch.bin + ":/usr/bin:/bin", "LC_ALL=C"};
  for (const char *name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
    if (const char *value = getenv(name))
      env.push_back(std::string(name) + "=" + value);
  env.insert(env.end(), extra.begin(), extra.end());
  return env;
}

std::vector<char *> pointersTo(std::vector<std::string> &strings) {
  std::vector<char *> pointers;
  for (std::string &s : strings)
    pointers.push_back(&s[0]);
  pointers.push_back(nullptr);
  return pointers;
}

RunResult runDrelk(Scratch &scratch, const std::string &input, const RunOptions &options) {
  std::string inPath = scratch.root + "/stdin", outPath = scratch.root + "/stdout",
              errPath = scratch.root + "/stderr";
  writeWhole(inPath, input);

  int feed[2] = {-1, -1};
  if (!options.stdinFromFile)
    check(pipe(feed) == 0, "pipe");
  int drain[2] = {-1, -1};
  if (options.output == Output::Pipe)
    check(pipe(drain) == 0, "pipe");

  pid_t pid = fork();
  check(pid >= 0, "fork");
  if (pid == 0) {
    int in = options.stdinFromFile ? open(inPath.c_str(), O_RDONLY) : feed[0];
    int out = options.output == Output::Pipe
                  ? drain[1]
                  : open(outPath.c_str(),
                         O_WRONLY | O_CREAT | O_TRUNC | (options.output == Output::AppendingFile ? O_APPEND : 0),
                         0644);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0)
      _exit(120);
    if (chdir(scratch.work.c_str()) != 0)
      _exit(121);
    if (options.unreadableFolder) {
      chmod(".", 0);
      // Permissions bind root only once it is somebody else.
      if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
        _exit(122);
    }
    if (options.ignoreSigpipe)
      signal(SIGPIPE, SIG_IGN);
    // drelk gets the standard three and nothing of ours.
    for (int fd = 3, top = static_cast<int>(sysconf(_SC_OPEN_MAX)); fd < top && fd < 4096; fd++)
      close(fd);
    if (options.openFileLimit > 0) {
      struct rlimit limit = {static_cast<rlim_t>(options.openFileLimit), static_cast<rlim_t>(options.openFileLimit)};
      setrlimit(RLIMIT_NOFILE, &limit);
    }
    std::vector<std::string> env = drelkEnvironment(scratch), args = {DRELK_BINARY};
    args.insert(args.end(), options.args.begin(), options.args.end());
    execve(DRELK_BINARY, pointersTo(args).data(), pointersTo(env).data());
    _exit(123);
  }

  if (!options.stdinFromFile) {
    close(feed[0]);
    // Fed from a thread so that a large input can't block us against drelk.
    std::thread writer([fd = feed[1], input] {
      signal(SIGPIPE, SIG_IGN);
      size_t done = 0;
      while (done < input.size()) {
        ssize_t n = write(fd, input.data() + done, input.size() - done);
        if (n < 0 && errno == EINTR)
          continue;
        if (n <= 0)
          break;
        done += static_cast<size_t>(n);
      }
      close(fd);
    });
    writer.detach();
  }

  // With a pipe, what drelk writes is collected into the output file as it comes.
  std::thread collector;
  if (options.output == Output::Pipe) {
    close(drain[1]);
    collector = std::thread([fd = drain[0], outPath, marker = options.closeOutputAfter] {
      int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      char buffer[65536];
      std::string seen;
      for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
          continue;
        if (n <= 0 || write(out, buffer, static_cast<size_t>(n)) != n)
          break;
        if (!marker.empty() && (seen += std::string(buffer, static_cast<size_t>(n))).find(marker) != std::string::npos)
          break;  // and close our end while drelk still writes
      }
      close(out);
      close(fd);
    });
  }

  using clock = std::chrono::steady_clock;
  auto deadline = clock::now() + std::chrono::seconds(30);
  if (options.whileRunning) {
    options.whileRunning([&](const std::string &text) {
      while (clock::now() < deadline) {
        if (readWhole(outPath).find(text) != std::string::npos)
          return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      return false;
    });
  }

  RunResult result;
  for (;;) {
    pid_t done = waitpid(pid, &result.status, WNOHANG);
    if (done == pid)
      break;
    if (clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &result.status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (collector.joinable())
    collector.join();
  result.out = readWhole(outPath);
  result.err = readWhole(errPath);
  return result;
}

std::string operation(const std::string &title, const std::vector<std::string> &questions,
                      const std::string &echo, const std::string &toolOutput,
                      const std::string &statusLine) {
  std::string text = title + "\n";
  for (const std::string &q : questions)
    text += q + "\n" + (q.find("platform code") != std::string::npos ? "Enter value --> " : "Enter file --> ");
  text += echo + toolOutput;
  if (!statusLine.empty())
    text += statusLine + "\n";
  return text + "Execution complete\n";
}
