// Names as a terminal is shown them: no byte of a name may act on it.
#include <gtest/gtest.h>

#include <clocale>

#include "terminal.h"

namespace {

struct NameCase {
  const char *name;
  const char *locale;
  std::string bytes;
  std::string shown;
};

class Visible : public ::testing::TestWithParam<NameCase> {};

TEST_P(Visible, EscapesWhatIsNoPrintableCharacter) {
  const NameCase &c = GetParam();
  if (setlocale(LC_CTYPE, c.locale) == nullptr)
    GTEST_SKIP() << "no " << c.locale << " locale here";
  EXPECT_EQ(visibleName(c.bytes.c_str()), c.shown);
  setlocale(LC_CTYPE, "C");
}

INSTANTIATE_TEST_SUITE_P(
    Table, Visible,
    ::testing::Values(
        NameCase{"plain_name_unchanged", "C", "slot1.sav", "slot1.sav"},
        NameCase{"clear_screen_escape", "C", "\x1b[2Jx.sav", "\\033[2Jx.sav"},
        NameCase{"colour_code", "C", "\x1b[31mred.sav", "\\033[31mred.sav"},
        NameCase{"carriage_return_and_tab", "C", "a\rb\tc.sav", "a\\rb\\tc.sav"},
        NameCase{"line_end_bell_and_delete", "C", "a\nb\a\x7f", "a\\nb\\a\\177"},
        NameCase{"backslash_doubled_so_escapes_stay_unambiguous", "C", "a\\033", "a\\\\033"},
        NameCase{"high_bytes_in_the_c_locale", "C", "caf\xe9.sav", "caf\\351.sav"},
        NameCase{"utf8_letters_shown", "C.UTF-8", "caf\xc3\xa9.sav", "caf\xc3\xa9.sav"},
        NameCase{"latin1_byte_in_utf8_escaped", "C.UTF-8", "caf\xe9.sav", "caf\\351.sav"},
        NameCase{"c1_control_escaped_in_utf8", "C.UTF-8", "a\xc2\x9b" "2Jb", "a\\302\\2332Jb"},
        NameCase{"lone_csi_byte_escaped_in_utf8", "C.UTF-8", "a\x9b" "2J", "a\\2332J"},
        NameCase{"truncated_sequence_escaped", "C.UTF-8", "a\xe2\x82", "a\\342\\202"}),
    [](const ::testing::TestParamInfo<NameCase> &info) { return info.param.name; });

}  // namespace
