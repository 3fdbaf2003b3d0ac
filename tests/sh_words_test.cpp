// The in-process reading of command texts, pinned against a real sh, and the
// composed commands read back to exactly the tool and the answers.
#include "sh_words.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "command_text.h"

namespace {

std::string everyByteButNul() {
  std::string all;
  for (int c = 1; c < 256; c++)
    all += static_cast<char>(c);
  return all;
}

const std::vector<std::vector<std::string>> answerSets = {
    {"slot1.sav"},
    {""},
    {"", "b"},
    {"my save file.sav", "it's"},
    {"'", "''", "'\\''"},
    {"$(touch pwned)", "`touch pwned`", "${HOME}", "$HOME"},
    {"a;b", "a|b", "a&b", "a>b", "a<b", "*", "?", "[a]", "~", "#x", "x=y"},
    {"\\", "\\'", "\t", "\r", "-n", "--", "-rf /"},
    {"\"double\"", "line\nbreak", "\xff\xfe\x80", "trailing\\"},
    {everyByteButNul()},
};

// Runs text with a fake Marquenisto that prints each argument and a NUL.
std::vector<std::string> argumentsFromRealSh(const std::string &text) {
  char folder[] = "/tmp/drelk-sh.XXXXXX";
  EXPECT_NE(mkdtemp(folder), nullptr);
  std::string tool = std::string(folder) + "/Marquenisto";
  std::ofstream(tool) << "#!/bin/sh\nprintf '%s\\0' \"$@\"\n";
  chmod(tool.c_str(), 0755);
  std::vector<std::string> args = nulSeparatedOutput("PATH='" + std::string(folder) + "':$PATH; " + text);
  unlink(tool.c_str());
  rmdir(folder);
  return args;
}

class ReadBack : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(ReadBack, GivesExactlyTheToolAndTheAnswers) {
  std::vector<const char *> answers;
  for (const std::string &a : GetParam())
    answers.push_back(a.c_str());
  char *text = composeCommand("Marquenisto", answers.data(), static_cast<int>(answers.size()));
  ASSERT_NE(text, nullptr);
  std::vector<std::string> words;
  ASSERT_TRUE(splitShellWords(text, &words)) << text;
  std::vector<std::string> expected = {"exec", "Marquenisto"};
  expected.insert(expected.end(), GetParam().begin(), GetParam().end());
  EXPECT_EQ(words, expected);
  EXPECT_EQ(argumentsFromRealSh(text), GetParam()) << "real sh read it otherwise";
  free(text);
}

INSTANTIATE_TEST_SUITE_P(Answers, ReadBack, ::testing::ValuesIn(answerSets));

// What the reader itself accepts must be what sh does with it.
TEST(ShellWords, AgreeWithRealShOnHandWrittenTexts) {
  for (std::string text : {"exec Marquenisto a\\ b 'c d'e", "exec Marquenisto '' \\' x\\\\y",
                           "exec Marquenisto 'a'\\''b'", "exec Marquenisto a\\\nb"}) {
    std::vector<std::string> words;
    ASSERT_TRUE(splitShellWords(text, &words)) << text;
    words.erase(words.begin(), words.begin() + 2);
    EXPECT_EQ(argumentsFromRealSh(text), words) << text;
  }
}

TEST(ShellWords, RefuseWhatTheShellWouldActOn) {
  std::vector<std::string> words;
  for (const char *text : {"exec T $x", "exec T a;b", "exec T `id`", "exec T 'open", "exec T \"q\"", "exec T *"})
    EXPECT_FALSE(splitShellWords(text, &words)) << text;
}

}  // namespace
