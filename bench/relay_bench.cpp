// Measures Drelk's relay against plain pipelines on the same data, in one run:
// throughput, first-byte latency, peak resident memory, per-operation cost.
// Prints one table; exits non-zero only when something could not be measured.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void die(const std::string &what) {
  fprintf(stderr, "relay_bench: %s: %s\n", what.c_str(), strerror(errno));
  exit(2);
}

double now() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// The latency tool: stamps the moment before it writes a partial line.
int latencyTool(const char *stampFile) {
  double t0 = now();
  if (write(STDOUT_FILENO, "50%\r", 4) != 4)
    return 1;
  FILE *f = fopen(stampFile, "w");
  if (f == nullptr)
    return 1;
  fprintf(f, "%.9f\n", t0);
  fclose(f);
  usleep(30000);
  return write(STDOUT_FILENO, "100%\n", 5) == 5 ? 0 : 1;
}

std::string drelk, work, bin;

void writeFile(const std::string &path, const std::string &content, mode_t mode = 0644) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  out.close();
  if (!out || chmod(path.c_str(), mode) != 0)
    die("write " + path);
}

// N MiB of 100-byte lines, or of one line with no line end.
void makeData(const std::string &path, size_t mib, bool lines) {
  std::string block;
  while (block.size() < (1 << 20)) {
    std::string line(99, static_cast<char>('a' + block.size() / 100 % 26));
    block += line + (lines ? '\n' : 'x');
  }
  block.resize(1 << 20);
  if (lines)
    block.back() = '\n';
  FILE *f = fopen(path.c_str(), "wb");
  if (f == nullptr)
    die("create " + path);
  for (size_t i = 0; i < mib; i++)
    if (fwrite(block.data(), 1, block.size(), f) != block.size())
      die("write " + path);
  if (fclose(f) != 0)
    die("close " + path);
}

pid_t spawn(const std::vector<std::string> &args, int in, int out) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (in >= 0)
    posix_spawn_file_actions_adddup2(&actions, in, 0);
  if (out >= 0)
    posix_spawn_file_actions_adddup2(&actions, out, 1);
  std::vector<char *> argv;
  for (const std::string &a : args)
    argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid;
  int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    errno = rc;
    die("spawn " + args[0]);
  }
  return pid;
}

int waitFor(pid_t pid) {
  int status;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR)
      die("waitpid");
  return status;
}

// Seconds taken by one sh command line.
double timeShell(const std::string &command) {
  double start = now();
  int status = waitFor(spawn({"/bin/sh", "-c", command}, -1, -1));
  double elapsed = now() - start;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    errno = 0;
    die("command failed: " + command);
  }
  return elapsed;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Runs a and b alternately; medians of their times.
std::pair<double, double> alternate(const std::string &a, const std::string &b, int runs) {
  std::vector<double> ta, tb;
  for (int i = 0; i < runs; i++) {
    ta.push_back(timeShell(a));
    tb.push_back(timeShell(b));
  }
  return {median(ta), median(tb)};
}

// A drelk whose standard input we write and whose standard output we read.
struct Live {
  pid_t pid = -1;
  int toDrelk = -1, fromDrelk = -1;
  std::string seen;  // output kept until the marker it waits for
};

Live startDrelk(bool terminal) {
  int in[2];
  if (pipe(in) != 0)
    die("pipe");
  int readEnd, writeEnd;
  if (terminal) {
    readEnd = posix_openpt(O_RDWR | O_NOCTTY);
    if (readEnd < 0 || grantpt(readEnd) != 0 || unlockpt(readEnd) != 0)
      die("pseudo-terminal");
    writeEnd = open(ptsname(readEnd), O_RDWR | O_NOCTTY);
    if (writeEnd < 0)
      die("pseudo-terminal");
    struct termios t;
    tcgetattr(writeEnd, &t);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tcsetattr(writeEnd, TCSANOW, &t);
  } else {
    int out[2];
    if (pipe(out) != 0)
      die("pipe");
    readEnd = out[0];
    writeEnd = out[1];
  }
  fcntl(in[1], F_SETFD, FD_CLOEXEC);
  fcntl(readEnd, F_SETFD, FD_CLOEXEC);
  Live live;
  live.pid = spawn({drelk}, in[0], writeEnd);
  close(in[0]);
  close(writeEnd);
  live.toDrelk = in[1];
  live.fromDrelk = readEnd;
  return live;
}

void send(Live &live, const std::string &text) {
  if (write(live.toDrelk, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
    die("write to drelk");
}

// Reads drelk's output until marker appears; returns the time it did.
double waitForText(Live &live, const std::string &marker) {
  static char buffer[1 << 16];
  for (;;) {
    size_t found = live.seen.find(marker);
    if (found != std::string::npos) {
      live.seen.erase(0, found + marker.size());
      return now();
    }
    if (live.seen.size() > marker.size())
      live.seen.erase(0, live.seen.size() - marker.size());
    ssize_t n = read(live.fromDrelk, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0) {
      errno = 0;
      die("drelk's output ended before \"" + marker + "\"");
    }
    double at = now();
    live.seen.append(buffer, static_cast<size_t>(n));
    if (live.seen.find(marker) != std::string::npos) {
      live.seen.erase(0, live.seen.find(marker) + marker.size());
      return at;
    }
  }
}

void finish(Live &live) {
  send(live, "z\n");
  close(live.toDrelk);
  char buffer[4096];
  while (read(live.fromDrelk, buffer, sizeof buffer) > 0) {
  }
  close(live.fromDrelk);
  waitFor(live.pid);
}

// Microseconds from the tool's write of a partial line to its arrival: median and worst.
std::pair<double, double> latency(bool terminal, int samples) {
  Live live = startDrelk(terminal);
  std::vector<double> delays;
  for (int i = 0; i < samples; i++) {
    std::string stamp = work + "/stamp" + std::to_string(i);
    send(live, "6\n" + stamp + "\n");
    double arrived = waitForText(live, "50%\r");
    waitForText(live, "Execution complete\n");
    std::ifstream in(stamp);
    double written = 0;
    if (!(in >> written)) {
      errno = 0;
      die("no stamp from the latency tool");
    }
    delays.push_back((arrived - written) * 1e6);
  }
  finish(live);
  return {median(delays), *std::max_element(delays.begin(), delays.end())};
}

// Peak resident memory of drelk, in KiB, after relaying the given bytes; -1 without /proc.
long peakResident(long long bytes, bool terminal) {
  Live live = startDrelk(terminal);
  send(live, "4\n" + std::to_string(bytes) + "\n");
  waitForText(live, "Execution complete\n");
  std::ifstream status("/proc/" + std::to_string(live.pid) + "/status");
  std::string line;
  long kib = -1;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0)
      kib = std::stol(line.substr(6));
  finish(live);
  return kib;
}

struct OperationCost {
  double drelk, shellLoop, direct;  // seconds for n operations
  double drelkCpu;                  // CPU seconds spent in drelk itself, tools not counted
  double popenCpu;                  // the same for a bare popen() loop running the command
};

// CPU time a live process has used so far, in seconds; below 0 without /proc.
double cpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/schedstat");
  double ns = -1e9;
  in >> ns;
  return ns / 1e9;
}

// Seconds for n operations in one drelk; for a shell loop running the same
// command with sh -c n times; and for n sh -c spawned straight from here.
OperationCost perOperation(int n, int runs) {
  std::string input;
  for (int i = 0; i < n; i++)
    input += "7\nslot.proto\n";
  writeFile(work + "/ops.in", input + "z\n");
  int null = open("/dev/null", O_WRONLY);
  std::string loop = "i=0; while [ $i -lt " + std::to_string(n) +
                     " ]; do sh -c \"exec Wystrenoculam 'slot.proto'\"; i=$((i+1)); done > /dev/null";
  std::vector<double> ta, tb, tc;
  for (int r = 0; r < runs; r++) {
    tc.push_back(timeShell(loop));
    int in = open((work + "/ops.in").c_str(), O_RDONLY);
    double start = now();
    waitFor(spawn({drelk}, in, null));
    ta.push_back(now() - start);
    close(in);
    start = now();
    for (int i = 0; i < n; i++)
      waitFor(spawn({"/bin/sh", "-c", "exec Wystrenoculam 'slot.proto'"}, -1, null));
    tb.push_back(now() - start);
  }
  close(null);

  // Drelk's own CPU time, output to /dev/null as above: the last operation's
  // tool leaves a mark, and drelk is then idle at the menu.
  int in[2];
  if (pipe(in) != 0)
    die("pipe");
  fcntl(in[1], F_SETFD, FD_CLOEXEC);
  null = open("/dev/null", O_WRONLY);
  pid_t pid = spawn({drelk}, in[0], null);
  close(in[0]);
  std::string marked = input.substr(0, input.size() - strlen("slot.proto\n")) + "last\n";
  if (write(in[1], marked.data(), marked.size()) != static_cast<ssize_t>(marked.size()))
    die("write to drelk");
  while (access("last.done", F_OK) != 0)
    usleep(1000);
  usleep(100000);
  double cpu = cpuSeconds(pid);
  close(in[1]);
  waitFor(pid);

  // A bare popen() loop here, for comparison.
  struct timespec t0, t1;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t0);
  char buffer[4096];
  for (int i = 0; i < n; i++) {
    FILE *p = popen("exec Wystrenoculam 'slot.proto'", "r");
    if (p == nullptr)
      die("popen");
    ssize_t got;
    while ((got = read(fileno(p), buffer, sizeof buffer)) > 0)
      if (write(null, buffer, static_cast<size_t>(got)) != got)
        die("write");
    pclose(p);
  }
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t1);
  close(null);
  double popenCpu = static_cast<double>(t1.tv_sec - t0.tv_sec) + static_cast<double>(t1.tv_nsec - t0.tv_nsec) / 1e9;
  return {median(ta), median(tc), median(tb), cpu, popenCpu};
}

std::string firstLineOf(const std::string &path, const std::string &key) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) {
      size_t colon = line.find(':');
      return colon == std::string::npos ? line : line.substr(colon + 2);
    }
  return "unknown";
}

std::string quote(const std::string &s) { return "'" + s + "'"; }

}  // namespace

int main(int argc, char **argv) {
  if (argc == 3 && strcmp(argv[1], "--latency-tool") == 0)
    return latencyTool(argv[2]);

  size_t mib = 400;
  int runs = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (strcmp(argv[i], "--drelk") == 0)
      drelk = argv[i + 1];
    else if (strcmp(argv[i], "--mb") == 0)
      mib = std::stoul(argv[i + 1]);
    else if (strcmp(argv[i], "--runs") == 0)
      runs = std::stoi(argv[i + 1]);
  }
  if (drelk.empty() || access(drelk.c_str(), X_OK) != 0) {
    fprintf(stderr, "usage: relay_bench --drelk PATH [--mb N] [--runs R]\n");
    return 2;
  }
  // Where this program is, for the latency tool: from /proc where there is one.
  char self[4096];
  ssize_t selfLength = readlink("/proc/self/exe", self, sizeof self - 1);
  if (selfLength > 0)
    self[selfLength] = '\0';
  else if (realpath(argv[0], self) == nullptr)
    die("cannot tell where relay_bench is");
  if (drelk[0] != '/')
    drelk = std::string(getcwd(nullptr, 0)) + "/" + drelk;

  const char *tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/drelk-bench.XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) == nullptr)
    die("mkdtemp");
  work = name.data();
  bin = work + "/bin";
  mkdir(bin.c_str(), 0755);
  if (chdir(work.c_str()) != 0)
    die("chdir");
  writeFile(bin + "/Marquenisto", "#!/bin/sh\nexec cat \"$1\"\n", 0755);
  writeFile(bin + "/Hollimbrix", "#!/bin/sh\nexec " + quote(self) + " --latency-tool \"$1\"\n", 0755);
  writeFile(bin + "/Kelvadrosimune", "#!/bin/sh\nexec head -c \"$1\" /dev/zero\n", 0755);
  writeFile(bin + "/Wystrenoculam",
            "#!/bin/sh\necho \"Profile information in $1\"\n[ \"$1\" != last ] || : > last.done\n", 0755);
  std::string path = bin + ":" + (getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin");
  setenv("PATH", path.c_str(), 1);
  signal(SIGPIPE, SIG_IGN);

  fprintf(stderr, "relay_bench: writing %zu MiB twice in %s ...\n", mib, work.c_str());
  makeData("lines.dat", mib, true);
  makeData("oneline.dat", mib, false);
  writeFile("lines.in", "2\nlines.dat\nz\n");
  writeFile("oneline.in", "2\noneline.dat\nz\n");

  struct Row {
    std::string what;
    double drelk, baseline;
    std::string baselineName, goal;
    double limit;
  };
  std::vector<Row> rows;
  double mb = static_cast<double>(mib) * 1048576.0 / 1e6;
  for (const char *data : {"lines", "oneline"}) {
    std::string file = std::string(data) + ".dat", in = std::string(data) + ".in";
    std::string label = std::string(data) == "lines" ? "100-byte lines" : "one long line";
    fprintf(stderr, "relay_bench: throughput, %s ...\n", label.c_str());
    auto devnull = alternate(quote(drelk) + " < " + in + " > /dev/null", "cat " + file + " | cat > /dev/null", runs);
    rows.push_back({label + " -> /dev/null", devnull.first, devnull.second, "cat F \\| cat", "<= 1.0", 1.0});
    auto piped = alternate(quote(drelk) + " < " + in + " | cat > /dev/null",
                           "cat " + file + " | cat | cat > /dev/null", runs);
    rows.push_back({label + " -> pipe", piped.first, piped.second, "cat F \\| cat \\| cat", "<= 0.8", 0.8});
  }
  fprintf(stderr, "relay_bench: latency, memory, per-operation cost ...\n");
  auto pipeLatency = latency(false, 20);
  auto ttyLatency = latency(true, 20);
  long rss10 = peakResident(10LL * 1000 * 1000, false);
  long rss1g = peakResident(1000LL * 1000 * 1000, false);
  long rssTty = peakResident(10LL * 1000 * 1000, true);
  auto ops = perOperation(1000, runs);

  struct utsname u;
  uname(&u);
  printf("Drelk relay benchmark: %s %s %s, %ld cores, %s\n", u.sysname, u.release, u.machine,
         sysconf(_SC_NPROCESSORS_ONLN), firstLineOf("/proc/cpuinfo", "model name").c_str());
  printf("data: %zu MiB per run, medians of %d alternating runs\n\n", mib, runs);
  printf("| relay throughput | Drelk MB/s | baseline | baseline MB/s | time ratio | goal |\n");
  printf("|---|---:|---|---:|---:|---|\n");
  for (const Row &r : rows)
    printf("| %s | %.0f | `%s` | %.0f | %.2f | %s %s |\n", r.what.c_str(), mb / r.drelk, r.baselineName.c_str(),
           mb / r.baseline, r.drelk / r.baseline, r.goal.c_str(), r.drelk / r.baseline <= r.limit ? "met" : "MISSED");
  printf("\n| other | figure | goal |\n|---|---:|---|\n");
  printf("| partial line to a pipe, median / worst of 20 | %.0f / %.0f us | < 1000 us %s |\n", pipeLatency.first,
         pipeLatency.second, pipeLatency.second < 1000 ? "met" : "MISSED");
  printf("| partial line to a terminal, median / worst of 20 | %.0f / %.0f us | < 1000 us %s |\n",
         ttyLatency.first, ttyLatency.second, ttyLatency.second < 1000 ? "met" : "MISSED");
  bool flat = rss1g <= rss10 + 64;
  if (rss10 < 0 || rss1g < 0 || rssTty < 0) {
    printf("| peak RSS | skipped: no /proc/PID/status here | |\n");
  } else {
    printf("| peak RSS relaying 10 MB / 1 GB to a pipe | %ld / %ld KiB | <= 4096 KiB, flat %s |\n", rss10, rss1g,
           rss1g <= 4096 && flat ? "met" : "MISSED");
    printf("| peak RSS relaying 10 MB to a terminal | %ld KiB | <= 4096 KiB %s |\n", rssTty,
           rssTty <= 4096 ? "met" : "MISSED");
  }
  printf("| 1,000 operations: Drelk / shell loop of `sh -c` | %.3f / %.3f s (%.2f ms / op) | ratio %.2f, <= 1.0 %s |\n",
         ops.drelk, ops.shellLoop, ops.drelk, ops.drelk / ops.shellLoop,
         ops.drelk / ops.shellLoop <= 1.0 ? "met" : "MISSED");
  printf("| 1,000 operations: Drelk / `sh -c` spawned directly | %.3f / %.3f s | ratio %.2f (for reference) |\n",
         ops.drelk, ops.direct, ops.drelk / ops.direct);
  if (ops.drelkCpu < 0)
    printf("| CPU time per operation | skipped: no /proc/PID/schedstat here | |\n");
  else
    printf("| CPU time per operation: Drelk itself / a bare `popen` loop | %.0f / %.0f us | (for reference) |\n",
           ops.drelkCpu * 1e6 / 1000, ops.popenCpu * 1e6 / 1000);

  std::string cleanup = "rm -rf " + quote(work);
  if (system(cleanup.c_str()) != 0)
    fprintf(stderr, "relay_bench: could not remove %s\n", work.c_str());
  return 0;
}
