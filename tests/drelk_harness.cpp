// Runs the built drelk in a scratch folder with fake tools on PATH.
#include "drelk_harness.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
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
  std::error_code error;
  std::filesystem::permissions(work, std::filesystem::perms::owner_all, error);
  std::filesystem::remove_all(root, error);
  if (error)
    fprintf(stderr, "could not remove %s: %s\n", root.c_str(), error.message().c_str());
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
  bool fed = !options.stdinFromFile && !options.stdinClosed;
  if (fed)
    check(pipe(feed) == 0, "pipe");
  int drain[2] = {-1, -1};
  if (options.output == Output::Pipe)
    check(pipe(drain) == 0, "pipe");

  // Everything the child needs is made here: after fork it only redirects and execs.
  std::vector<std::string> env = drelkEnvironment(scratch, options.env), args = {DRELK_BINARY};
  args.insert(args.end(), options.args.begin(), options.args.end());
  std::vector<char *> argv = pointersTo(args), envp = pointersTo(env);
  const char *outTarget = options.output == Output::DevFull ? "/dev/full" : outPath.c_str();
  int outFlags = options.output == Output::DevFull ? O_WRONLY
                 : O_WRONLY | O_CREAT | O_TRUNC | (options.output == Output::AppendingFile ? O_APPEND : 0);
  int top = static_cast<int>(std::min(sysconf(_SC_OPEN_MAX), 4096L));
  // The folder is unreadable to drelk's user: that may be one that can't
  // reach the binary either, so it is opened now and run from the descriptor.
  int binary = options.unreadableFolder ? open(DRELK_BINARY, O_RDONLY | O_CLOEXEC) : -1;
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;

  pid_t pid = fork();
  check(pid >= 0, "fork");
  if (pid == 0) {
    int in = options.stdinFromFile ? open(inPath.c_str(), O_RDONLY) : fed ? feed[0] : -1;
    int out = options.output == Output::Pipe ? drain[1] : options.output == Output::Closed ? -1
                                                        : open(outTarget, outFlags, 0644);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (err < 0 || dup2(err, 2) < 0)
      _exit(120);
    if (in >= 0 ? dup2(in, 0) < 0 : (close(0), !options.stdinClosed))
      _exit(120);
    if (out >= 0 ? dup2(out, 1) < 0 : (close(1), options.output != Output::Closed))
      _exit(120);
    if (options.nonBlockingInput)
      fcntl(0, F_SETFL, fcntl(0, F_GETFL) | O_NONBLOCK);
    if (options.nonBlockingOutput)
      fcntl(1, F_SETFL, fcntl(1, F_GETFL) | O_NONBLOCK);
    if (chdir(scratch.work.c_str()) != 0)
      _exit(121);
    if (options.unreadableFolder) {
      chmod(".", 0);
      // Permissions bind root only once it is somebody else.
      if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
        _exit(122);
    }
    if (options.ignoreSigpipe)
      sigaction(SIGPIPE, &ignore, nullptr);
    if (options.ignoreSigchld)
      sigaction(SIGCHLD, &ignore, nullptr);
    // drelk gets the standard three and nothing of ours.
    for (int fd = 3; fd < top; fd++)
      if (fd != binary)
        close(fd);
    if (options.openFileLimit > 0) {
      struct rlimit limit = {static_cast<rlim_t>(options.openFileLimit), static_cast<rlim_t>(options.openFileLimit)};
      setrlimit(RLIMIT_NOFILE, &limit);
    }
    if (binary >= 0)
      fexecve(binary, argv.data(), envp.data());
    else
      execve(DRELK_BINARY, argv.data(), envp.data());
    _exit(123);
  }
  if (binary >= 0)
    close(binary);

  if (fed) {
    close(feed[0]);
    // Fed from a thread so that a large input can't block us against drelk.
    std::thread writer([fd = feed[1], input, slowly = options.feedSlowly] {
      // A reader gone is an EPIPE here, for this thread alone.
      sigset_t pipeSignal;
      sigemptyset(&pipeSignal);
      sigaddset(&pipeSignal, SIGPIPE);
      pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
      size_t done = 0;
      while (done < input.size()) {
        size_t size = input.size() - done;
        if (slowly) {
          std::this_thread::sleep_for(std::chrono::milliseconds(30));
          size = input.find('\n', done) + 1 - done;
        }
        ssize_t n = write(fd, input.data() + done, size);
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
    collector = std::thread([fd = drain[0], outPath, marker = options.closeOutputAfter,
                             slowly = options.readSlowly] {
      int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      char buffer[65536];
      std::string seen;
      for (;;) {
        if (slowly)
          std::this_thread::sleep_for(std::chrono::microseconds(200));
        ssize_t n = ::read(fd, buffer, slowly ? 4096 : sizeof buffer);
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
    text += q;
  text += echo + toolOutput;
  if (!statusLine.empty())
    text += statusLine + "\n";
  return text + "Execution complete\n";
}
