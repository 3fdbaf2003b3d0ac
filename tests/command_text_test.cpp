// Composing command texts: quoting, and the tilde-prefix of a file name.
#include "command_text.h"

#include <gtest/gtest.h>

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

struct TildeCase {
  const char *name;
  const char *answer;
  const char *expected;  // $HOME is /home/ada, root's home /root
};

class Tilde : public ::testing::TestWithParam<TildeCase> {
 protected:
  void SetUp() override { setenv("HOME", "/home/ada", 1); }
};

TEST_P(Tilde, ExpandsALeadingTildePrefixAsShDoes) {
  EXPECT_EQ(expandTilde(GetParam().answer), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Tilde,
    ::testing::Values(TildeCase{"alone", "~", "/home/ada"},
                      TildeCase{"before_a_slash", "~/saves/slot1.sav", "/home/ada/saves/slot1.sav"},
                      TildeCase{"a_user", "~root", "/root"},
                      TildeCase{"a_user_before_a_slash", "~root/x.sav", "/root/x.sav"},
                      TildeCase{"no_such_user_stays", "~nobody-here-at-all/x", "~nobody-here-at-all/x"},
                      TildeCase{"only_at_the_start", "a/~/b", "a/~/b"},
                      TildeCase{"not_after_a_blank", " ~/x", " ~/x"},
                      TildeCase{"nothing_else_is_expanded", "~/$HOME/*", "/home/ada/$HOME/*"},
                      TildeCase{"empty", "", ""}),
    [](const ::testing::TestParamInfo<TildeCase> &info) { return info.param.name; });

TEST(TildeWithoutHome, StaysAsTyped) {
  unsetenv("HOME");
  EXPECT_EQ(expandTilde("~/x.sav"), "~/x.sav");
}

}  // namespace
