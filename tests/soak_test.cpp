// Ten thousand operations in one drelk: descriptors, memory and child
// processes stay as they were after the first thousand.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "drelk_harness.h"

namespace {

struct Figures {
  long descriptors = -1, residentKiB = -1, children = -1;
};

long countEntries(const std::string &folder) {
  DIR *dir = opendir(folder.c_str());
  if (dir == nullptr)
    return -1;
  long n = 0;
  while (const struct dirent *e = readdir(dir))
    n += e->d_name[0] != '.';
  closedir(dir);
  return n;
}

// What /proc says of pid: open descriptors, resident memory, live children.
Figures figuresOf(pid_t pid) {
  Figures f;
  std::string proc = "/proc/" + std::to_string(pid);
  f.descriptors = countEntries(proc + "/fd");
  std::ifstream status(proc + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0)
      f.residentKiB = std::stol(line.substr(6));
  f.children = 0;
  DIR *all = opendir("/proc");
  while (const struct dirent *e = all ? readdir(all) : nullptr) {
    if (e->d_name[0] < '0' || e->d_name[0] > '9')
      continue;
    std::ifstream stat(std::string("/proc/") + e->d_name + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    size_t close = text.rfind(')');
    if (close == std::string::npos)
      continue;
    std::istringstream rest(text.substr(close + 2));
    char state;
    long parent;
    if (rest >> state >> parent && parent == pid)
      f.children++;
  }
  if (all)
    closedir(all);
  return f;
}

class Soak : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access("/proc/self/fd", F_OK) != 0)
      GTEST_SKIP() << "no /proc here to read the figures from";
    // The cheapest tool there is, so that ten thousand runs stay quick.
    ASSERT_EQ(symlink("/bin/echo", (scratch.bin + "/Wystrenoculam").c_str()) == 0 ||
                  (unlink((scratch.bin + "/Wystrenoculam").c_str()) == 0 &&
                   symlink("/bin/echo", (scratch.bin + "/Wystrenoculam").c_str()) == 0),
              true);
    int in[2], out[2];
    ASSERT_EQ(pipe(in), 0);
    ASSERT_EQ(pipe(out), 0);
    // Everything the child needs is made here: after fork it only redirects and execs.
    std::vector<std::string> env = drelkEnvironment(scratch), args = {DRELK_BINARY};
    std::vector<char *> argv = pointersTo(args), envp = pointersTo(env);
    pid = fork();
    if (pid == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      close(in[0]), close(in[1]), close(out[0]), close(out[1]);
      if (chdir(scratch.work.c_str()) != 0)
        _exit(121);
      execve(DRELK_BINARY, argv.data(), envp.data());
      _exit(123);
    }
    close(in[0]);
    close(out[1]);
    toDrelk = in[1];
    fromDrelk = out[0];
  }
  void TearDown() override {
    if (toDrelk >= 0)
      close(toDrelk);
    if (fromDrelk >= 0)
      close(fromDrelk);
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }

  // Runs n operations and waits until drelk waits at the menu again.
  void operations(int n) {
    std::string input;
    for (int i = 0; i < n; i++)
      input += "7\nslot.proto\n";
    std::thread writer([&] { ASSERT_EQ(write(toDrelk, input.data(), input.size()), static_cast<ssize_t>(input.size())); });
    const std::string done = "Execution complete\n" + menu;
    std::string tail;
    int completed = 0;
    char buffer[65536];
    while (completed < n) {
      ssize_t got = read(fromDrelk, buffer, sizeof buffer);
      ASSERT_GT(got, 0) << "drelk's output ended after " << completed << " operations";
      tail.append(buffer, static_cast<size_t>(got));
      for (size_t at; (at = tail.find(done)) != std::string::npos;) {
        completed++;
        tail.erase(0, at + done.size());
      }
      if (tail.size() > done.size())
        tail.erase(0, tail.size() - done.size());
    }
    writer.join();
  }

  Scratch scratch;
  pid_t pid = -1;
  int toDrelk = -1, fromDrelk = -1;
};

TEST_F(Soak, TenThousandOperationsGrowNoDescriptorsMemoryOrChildren) {
  operations(1000);
  Figures warm = figuresOf(pid);
  operations(9000);
  Figures late = figuresOf(pid);
  printf("after 1,000 operations: %ld descriptors, %ld KiB resident, %ld children\n", warm.descriptors,
         warm.residentKiB, warm.children);
  printf("after 10,000 operations: %ld descriptors, %ld KiB resident, %ld children\n", late.descriptors,
         late.residentKiB, late.children);

  EXPECT_EQ(late.descriptors, warm.descriptors);
  EXPECT_EQ(warm.children, 0);
  EXPECT_EQ(late.children, 0);
#ifndef DRELK_SANITIZED  // a sanitizer's quarantine holds freed memory on purpose
  EXPECT_LE(late.residentKiB, warm.residentKiB + 64) << "resident memory grew";
#endif

  ASSERT_EQ(write(toDrelk, "z\n", 2), 2);
  int status;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  pid = -1;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
