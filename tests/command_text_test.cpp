// Composing command texts and reading back how a tool ended.
#include "command_text.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <vector>

namespace {

struct ComposeCase {
  const char *name;
  const char *tool;
  std::vector<const char *> answers;
  const char *expected;
};

class Compose : public ::testing::TestWithParam<ComposeCase> {};

TEST_P(Compose, QuotesEveryAnswerAsOneShellWord) {
  const ComposeCase &c = GetParam();
  char *text = composeCommand(c.tool, c.answers.data(), static_cast<int>(c.answers.size()));
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, c.expected);
  free(text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Compose,
    ::testing::Values(
        ComposeCase{"plain_name", "Marquenisto", {"slot1.sav"}, "exec Marquenisto 'slot1.sav'"},
        ComposeCase{"two_answers_keep_their_order", "Quobrenatil", {"a", "b"},
                    "exec Quobrenatil 'a' 'b'"},
        ComposeCase{"empty_answers_keep_their_places", "Quobrenatil", {"", "b"},
                    "exec Quobrenatil '' 'b'"},
        ComposeCase{"single_quote_closes_escapes_and_reopens", "Hollimbrix", {"it's"},
                    "exec Hollimbrix 'it'\\''s'"},
        ComposeCase{"only_quotes", "Hollimbrix", {"''"}, "exec Hollimbrix ''\\'''\\'''"},
        ComposeCase{"shell_syntax_stays_inside_quotes", "Marquenisto", {"$(id) `id` ;|&>*~\\\t"},
                    "exec Marquenisto '$(id) `id` ;|&>*~\\\t'"},
        ComposeCase{"four_answers", "Trevolandix", {"in.sav", "out.sav", "pc", "ps4"},
                    "exec Trevolandix 'in.sav' 'out.sav' 'pc' 'ps4'"},
        ComposeCase{"no_answers", "Marquenisto", {}, "exec Marquenisto"}),
    [](const ::testing::TestParamInfo<ComposeCase> &info) { return info.param.name; });

TEST(ComposeLength, IsExactlyTheTextPlusItsTerminator) {
  const char *answers[] = {"a'b", ""};
  char *text = composeCommand("Quobrenatil", answers, 2);
  ASSERT_NE(text, nullptr);
  // The buffer is sized from quotedLength; both must agree with the text written.
  EXPECT_EQ(strlen(text), strlen("exec Quobrenatil") + 1 + quotedLength("a'b") + 1 + quotedLength(""));
  free(text);
}

struct StatusCase {
  const char *name;
  int status;
  const char *expected;
};

class Status : public ::testing::TestWithParam<StatusCase> {};

TEST_P(Status, NamesHowTheToolEnded) {
  EXPECT_EQ(toolStatusLine("Hollimbrix", GetParam().status), GetParam().expected);
}

// Wait statuses as the kernel encodes them: exit code in the second byte, signal in the first.
INSTANTIATE_TEST_SUITE_P(
    Table, Status,
    ::testing::Values(StatusCase{"success_says_nothing", 0, ""},
                      StatusCase{"not_found", 127 << 8, "Hollimbrix was not found."},
                      StatusCase{"not_executable", 126 << 8, "Hollimbrix could not be run."},
                      StatusCase{"exit_status", 3 << 8, "Hollimbrix exited with status 3."},
                      StatusCase{"exit_255", 255 << 8, "Hollimbrix exited with status 255."},
                      StatusCase{"killed", SIGKILL, "Hollimbrix was ended by signal 9 (Killed)."},
                      StatusCase{"interrupted", SIGINT,
                                 "Hollimbrix was ended by signal 2 (Interrupt)."},
                      StatusCase{"core_dumped", SIGSEGV | 0x80,
                                 "Hollimbrix was ended by signal 11 (Segmentation fault)."},
                      StatusCase{"status_unknown", -1, ""}),
    [](const ::testing::TestParamInfo<StatusCase> &info) { return info.param.name; });

}  // namespace
