// Drelk at a terminal: driven through a pseudo-terminal as a person would.
#include <fcntl.h>
#include <locale.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "drelk_harness.h"

namespace {

// drelk on the other side of a pseudo-terminal, in scratch's folder.
class Terminal {
 public:
  explicit Terminal(Scratch &scratch, const std::vector<std::string> &extraEnv = {}, bool nonBlocking = false) {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
      return;
    // Everything the child needs is made here: after fork it only redirects and execs.
    std::string slave = ptsname(master);
    std::string errPath = scratch.root + "/stderr";
    // HOME points at the scratch folder so that no ~/.editrc of the user's applies.
    std::vector<std::string> env = drelkEnvironment(scratch, {"HOME=" + scratch.root, "TERM=xterm"}),
                             args = {DRELK_BINARY};
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char *> argv = pointersTo(args), envp = pointersTo(env);
    struct winsize size = {24, 80, 0, 0};
    pid = fork();
    if (pid == 0) {
      setsid();
      int tty = open(slave.c_str(), O_RDWR);
#ifdef TIOCSCTTY
      ioctl(tty, TIOCSCTTY, 0);  // where opening it did not make it the controlling terminal already
#endif
      int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ioctl(tty, TIOCSWINSZ, &size);
      if (tty < 0 || err < 0 || dup2(tty, 0) < 0 || dup2(tty, 1) < 0 || dup2(err, 2) < 0 ||
          chdir(scratch.work.c_str()) != 0)
        _exit(120);
      if (nonBlocking)
        fcntl(0, F_SETFL, fcntl(0, F_GETFL) | O_NONBLOCK);
      close(master);
      close(tty);
      close(err);
      execve(DRELK_BINARY, argv.data(), envp.data());
      _exit(123);
    }
  }
  ~Terminal() {
    if (pid > 0 && !exited) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
    }
    if (master >= 0)
      close(master);
  }
  bool ready() const { return pid > 0; }

  void type(const std::string &keys) {
    ASSERT_EQ(write(master, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }

  // Reads the screen until text shows after what was waited for before. After
  // a prompt, also waits until the line editor has the terminal in its own
  // mode: keys typed a moment earlier would meet the terminal's line
  // discipline instead (a Ctrl-D there can be lost in the switch).
  bool waitFor(const std::string &text) {
    if (!waitForText(text))
      return false;
#ifdef DRELK_HAVE_LINE_EDITING
    if (text.size() >= 4 && text.compare(text.size() - 4, 4, "--> ") == 0) {
      for (int i = 0; i < 5000; i++) {
        struct termios t;
        if (tcgetattr(master, &t) == 0 && !(t.c_lflag & ICANON))
          return true;
        usleep(1000);
      }
      return false;
    }
#endif
    return true;
  }

  // Waits for prompt, then types keys at it.
  bool answer(const std::string &prompt, const std::string &keys) {
    if (!waitFor(prompt))
      return false;
    type(keys);
    return true;
  }

  bool waitForText(const std::string &text) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
      size_t found = screen.find(text, seen);
      if (found != std::string::npos) {
        seen = found + text.size();
        return true;
      }
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0)
        return false;
      struct pollfd p = {master, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left.count())) <= 0)
        continue;
      char buffer[4096];
      ssize_t n = read(master, buffer, sizeof buffer);
      if (n <= 0)
        return false;  // drelk has gone: EIO on the master
      screen.append(buffer, static_cast<size_t>(n));
    }
  }

  // Waits for drelk to end; its wait status, or -1 when it does not.
  int finish() {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!exited && std::chrono::steady_clock::now() < deadline) {
      char buffer[4096];
      struct pollfd p = {master, POLLIN, 0};
      ssize_t n = poll(&p, 1, 10) > 0 ? read(master, buffer, sizeof buffer) : 0;
      if (n > 0)
        screen.append(buffer, static_cast<size_t>(n));
      else
        usleep(1000);  // a closed terminal polls ready at once
      exited = waitpid(pid, &status, WNOHANG) == pid;
    }
    return exited ? status : -1;
  }

  std::string screen;

 private:
  int master = -1;
  pid_t pid = -1;
  int status = 0;
  bool exited = false;
  size_t seen = 0;
};

class AtATerminal : public ::testing::Test {
 protected:
  void SetUp() override { start(); }
  void start(const std::vector<std::string> &env = {}, bool nonBlocking = false) {
    terminal = std::make_unique<Terminal>(scratch, env, nonBlocking);
    if (!terminal->ready())
      GTEST_SKIP() << "no pseudo-terminal here";
    ASSERT_TRUE(terminal->waitFor("Enter option --> "));
  }
  void leave() {
    terminal->type("z\r");
    EXPECT_TRUE(terminal->waitFor("Thank you for choosing Drelk."));
    int status = terminal->finish();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  Scratch scratch;
  std::unique_ptr<Terminal> terminal;
};

// Line editing needs drelk built with libedit.
class Editing : public AtATerminal {
 protected:
  void SetUp() override {
#ifndef DRELK_HAVE_LINE_EDITING
    GTEST_SKIP() << "drelk was built without libedit (Debian: libedit-dev)";
#endif
    AtATerminal::SetUp();
  }
};

// Typed and completed bytes reach the tool exactly, in each locale.
class EditingIn : public AtATerminal, public ::testing::WithParamInterface<const char *> {
 protected:
  void SetUp() override {
#ifndef DRELK_HAVE_LINE_EDITING
    GTEST_SKIP() << "drelk was built without libedit (Debian: libedit-dev)";
#endif
    locale_t locale = newlocale(LC_CTYPE_MASK, GetParam(), static_cast<locale_t>(0));
    if (locale == static_cast<locale_t>(0))
      GTEST_SKIP() << "no " << GetParam() << " locale here (Debian: locales, then localedef)";
    freelocale(locale);
    start({std::string("LC_ALL=") + GetParam()});
  }
};

TEST_P(EditingIn, BytesThatAreNoCharacterReachTheToolAsTyped) {
  terminal->type("2\r");
  ASSERT_TRUE(terminal->answer("Enter file --> ", "caf\xe9.sav\r"));
  EXPECT_TRUE(terminal->waitFor("Marquenisto [caf\xe9.sav]\r\n")) << terminal->screen;
  terminal->type("2\r");
  ASSERT_TRUE(terminal->answer("Enter file --> ", "\xe2\x82\xac\xc3(\xff\r"));
  EXPECT_TRUE(terminal->waitFor("Marquenisto [\xe2\x82\xac\xc3(\xff]\r\n")) << terminal->screen;
  leave();
}

TEST_P(EditingIn, TabCompletesANameThatIsNoTextAsItIs) {
  scratch.file("caf\xe9 \x01.sav", "");
  terminal->type("2\r");
  ASSERT_TRUE(terminal->answer("Enter file --> ", "caf\t\r"));
  EXPECT_TRUE(terminal->waitFor("Marquenisto [caf\xe9 \x01.sav]\r\n")) << terminal->screen;
  leave();
}

TEST_P(EditingIn, RecalledLineKeepsItsBytes) {
  terminal->type("2\r");
  ASSERT_TRUE(terminal->answer("Enter file --> ", "\xe9t\xe9\r"));
  ASSERT_TRUE(terminal->waitFor("Marquenisto [\xe9t\xe9]\r\n")) << terminal->screen;
  terminal->type("2\r");
  ASSERT_TRUE(terminal->answer("Enter file --> ", "\x1b[A\r"));
  EXPECT_TRUE(terminal->waitFor("Marquenisto [\xe9t\xe9]\r\n")) << terminal->screen;
  leave();
}

INSTANTIATE_TEST_SUITE_P(Locale, EditingIn, ::testing::Values("C", "C.UTF-8", "en_US.ISO-8859-1"),
                         [](const ::testing::TestParamInfo<const char *> &info) {
                           std::string name = info.param;
                           return name == "C" ? "c" : name == "C.UTF-8" ? "utf8" : "latin1";
                         });

TEST_F(Editing, TabCompletesANameWithBlanksIntoOneArgument) {
  scratch.file("my save file.sav", "");
  scratch.file("other.sav", "");
  terminal->type("2\r");
  ASSERT_TRUE(terminal->answer("Enter file --> ", "my\t\r"));
  EXPECT_TRUE(terminal->waitFor("Marquenisto [my save file.sav]\r\n")) << terminal->screen;
  leave();
}

TEST_F(Editing, SecondTabListsTheCandidates) {
  scratch.file("slot1.sav", "");
  scratch.file("slot2.sav", "");
  terminal->type("2\r");
  ASSERT_TRUE(terminal->answer("Enter file --> ", "sl\t\t"));
  EXPECT_TRUE(terminal->waitFor("slot1.sav  slot2.sav")) << terminal->screen;
  terminal->type("2\t\r");
  EXPECT_TRUE(terminal->waitFor("Marquenisto [slot2.sav]\r\n")) << terminal->screen;
  leave();
}

TEST_F(Editing, UpRecallsTheLastFileNameNotTheMenuChoice) {
  terminal->type("2\r");
  ASSERT_TRUE(terminal->answer("Enter file --> ", "slot1.sav\r"));
  ASSERT_TRUE(terminal->waitFor("Marquenisto [slot1.sav]\r\n"));
  // Up at the menu brings back the choice 2; Up at the file prompt, the file.
  ASSERT_TRUE(terminal->answer("Enter option --> ", "\x1b[A\r"));
  ASSERT_TRUE(terminal->answer("Enter file --> ", "\x1b[A\r")) << terminal->screen;
  EXPECT_TRUE(terminal->waitFor("Marquenisto [slot1.sav]\r\n")) << terminal->screen;
  leave();
}

TEST_F(Editing, TabCompletesNoFileNameAtAValuePrompt) {
  scratch.file("pc.sav", "");
  terminal->type("A\r");
  for (const char *prompt : {"Enter file --> ", "Enter file --> "})
    ASSERT_TRUE(terminal->answer(prompt, "f\r"));
  for (const char *prompt : {"Enter value --> ", "Enter value --> "})
    ASSERT_TRUE(terminal->answer(prompt, "p\t\r"));
  EXPECT_TRUE(terminal->waitFor("Trevolandix [f] [f] [p] [p]\r\n")) << terminal->screen;
  leave();
}

TEST_F(Editing, ManyCandidatesAskBeforeTheyAreListed) {
  for (int i = 0; i < 150; i++)
    scratch.file("f" + std::to_string(1000 + i), "");
  terminal->type("2\r");
  ASSERT_TRUE(terminal->answer("Enter file --> ", "f\t\t"));
  ASSERT_TRUE(terminal->waitFor("Display all 150 possibilities? (y or n)")) << terminal->screen;
  terminal->type("n");
  ASSERT_TRUE(terminal->waitFor("Enter file --> f1"));
  EXPECT_EQ(terminal->screen.find("f1149"), std::string::npos) << "listed after a no";
  terminal->type("\t");  // the line is as it was: one Tab asks again
  ASSERT_TRUE(terminal->waitFor("Display all 150 possibilities? (y or n)")) << terminal->screen;
  terminal->type("y");
  EXPECT_TRUE(terminal->waitFor("f1149")) << terminal->screen;
  terminal->type("000\r");
  EXPECT_TRUE(terminal->waitFor("Marquenisto [f1000]\r\n")) << terminal->screen;
  leave();
}

TEST_F(Editing, TabCompletesAfterATildePrefix) {
  scratch.file("../mine.sav", "");
  terminal->type("2\r");
  ASSERT_TRUE(terminal->answer("Enter file --> ", "~/mi\t\r"));
  EXPECT_TRUE(terminal->waitFor("Will convert ~/mine.sav\r\nMarquenisto [" + scratch.root + "/mine.sav]\r\n"))
      << terminal->screen;
  leave();
}

TEST_F(Editing, TabListShowsControlBytesEscaped) {
  scratch.file("s\x1b[2Jone.sav", "");
  scratch.file("s\rtwo.sav", "");
  terminal->type("2\r");
  ASSERT_TRUE(terminal->answer("Enter file --> ", "s\t\t"));
  EXPECT_TRUE(terminal->waitFor("s\\rtwo.sav       s\\033[2Jone.sav\r\n")) << terminal->screen;
  EXPECT_EQ(terminal->screen.find("\x1b[2J"), std::string::npos) << "a name drove the terminal";
  terminal->type("\x15x\r");  // Ctrl-U clears the line
  ASSERT_TRUE(terminal->waitFor("Marquenisto [x]\r\n")) << terminal->screen;
  leave();
}

TEST_F(AtATerminal, ListingShowsControlBytesEscaped) {
  scratch.file("\x1b[2J\x1b[31mred\r.sav", "");
  terminal->type("0\r");
  EXPECT_TRUE(terminal->waitFor("File Listing\r\n\\033[2J\\033[31mred\\r.sav\r\n")) << terminal->screen;
  EXPECT_EQ(terminal->screen.find("\x1b[2J"), std::string::npos) << "a name drove the terminal";
  leave();
}

TEST_F(AtATerminal, ToolLeavingTheTerminalRawGarblesNothing) {
  scratch.tool("Hollimbrix", "stty raw -echo\nprintf 'progress 100%%\\r'\n");
  terminal->type("6\r");
  ASSERT_TRUE(terminal->answer("Enter file --> ", "x\r"));
  // The tool's \r stays; Drelk starts on a fresh line, and its line ends are \r\n again.
  EXPECT_TRUE(terminal->waitFor("progress 100%\r\r\nExecution complete\r\n0    File Save Files\r\n"))
      << terminal->screen;
  ASSERT_TRUE(terminal->waitFor("Enter option --> "));
  terminal->type("8\r");
  EXPECT_TRUE(terminal->waitFor("8\r\nThe save editor is not available.\r\n")) << "echo not restored: "
                                                                               << terminal->screen;
  leave();
}

TEST_F(AtATerminal, OutputWithoutAFinalLineEndIsFollowedOnAFreshLine) {
  scratch.tool("Hollimbrix", "printf 'no line end'\n");
  terminal->type("6\r");
  ASSERT_TRUE(terminal->answer("Enter file --> ", "x\r"));
  EXPECT_TRUE(terminal->waitFor("no line end\r\nExecution complete\r\n")) << terminal->screen;
  leave();
}

TEST_F(AtATerminal, CtrlCAtAQuestionAbandonsTheOperation) {
  terminal->type("3\r");
  ASSERT_TRUE(terminal->answer("Enter file --> ", "a.proto\r"));
  ASSERT_TRUE(terminal->answer("Enter file --> ", "half"));
  terminal->type("\x03");
  ASSERT_TRUE(terminal->waitFor("0    File Save Files")) << terminal->screen;
  ASSERT_TRUE(terminal->waitFor("Enter option --> "));
  EXPECT_EQ(terminal->screen.find("Quobrenatil ["), std::string::npos) << "the tool ran";
  EXPECT_EQ(terminal->screen.find("Will convert"), std::string::npos);
  leave();
}

TEST_F(AtATerminal, CtrlCEndsAWaitForOutputHeldByALeftoverProcess) {
  scratch.tool("Hollimbrix", "sleep 5 &\necho started\nexit 4\n");
  terminal->type("6\r");
  ASSERT_TRUE(terminal->answer("Enter file --> ", "x\r"));
  ASSERT_TRUE(terminal->waitFor("started\r\n"));
  usleep(100 * 1000);
  terminal->type("\x03");
  EXPECT_TRUE(terminal->waitFor("\r\nStopped waiting for Hollimbrix's output.\r\n"
                                "Hollimbrix exited with status 4.\r\nExecution complete\r\n"))
      << terminal->screen;
  ASSERT_TRUE(terminal->waitFor("Enter option --> "));
  leave();
}

TEST_F(AtATerminal, CtrlCStopsTheToolAndTheMenuComesBack) {
  scratch.tool("Hollimbrix", "echo started\nexec sleep 30\n");
  terminal->type("6\r");
  ASSERT_TRUE(terminal->answer("Enter file --> ", "x\r"));
  ASSERT_TRUE(terminal->waitFor("started\r\n"));
  terminal->type("\x03");
  EXPECT_TRUE(terminal->waitFor("Hollimbrix was ended by signal 2 (Interrupt).\r\nExecution complete\r\n"))
      << terminal->screen;
  EXPECT_TRUE(terminal->waitFor("Enter option --> "));
  leave();
}

TEST_F(AtATerminal, CtrlDAtTheMenuSaysFarewellOnAFreshLine) {
  terminal->type("\x04");
  ASSERT_TRUE(terminal->waitFor("\nThank you for choosing Drelk.\r\n")) << terminal->screen;
  int status = terminal->finish();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(terminal->screen.rfind("Enter option --> Thank"), std::string::npos);
}

// Left non-blocking by whoever started Drelk, the terminal is waited on.
TEST(NonBlockingTerminal, IsWaitedOnNotTakenForTheEnd) {
  Scratch scratch;
  Terminal terminal(scratch, {}, true);
  if (!terminal.ready())
    GTEST_SKIP() << "no pseudo-terminal here";
  ASSERT_TRUE(terminal.waitFor("Enter option --> "));
  usleep(200 * 1000);
  terminal.type("2\r");
  ASSERT_TRUE(terminal.waitFor("Enter file --> ")) << terminal.screen;
  usleep(200 * 1000);
  terminal.type("x\r");
  EXPECT_TRUE(terminal.waitFor("Marquenisto [x]\r\n")) << terminal.screen;
  ASSERT_TRUE(terminal.waitFor("Enter option --> "));
  terminal.type("z\r");
  EXPECT_TRUE(terminal.waitFor("Thank you for choosing Drelk."));
  int status = terminal.finish();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
