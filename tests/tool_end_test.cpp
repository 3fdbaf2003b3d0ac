// The line Drelk writes about how a tool ended.
#include <gtest/gtest.h>
#include <signal.h>

#include "tool_operations.h"

namespace {

struct EndCase {
  const char *name;
  ToolEnd end;
  ToolOnPath onPath;
  bool atTerminal;
  const char *expected;
};

class Ending : public ::testing::TestWithParam<EndCase> {};

TEST_P(Ending, IsWordedTheSameOnEverySystem) {
  const EndCase &c = GetParam();
  EXPECT_EQ(toolEndText("Hollimbrix", c.end, c.onPath, c.atTerminal), c.expected);
}

const ToolOnPath found = ToolOnPath::Executable;

INSTANTIATE_TEST_SUITE_P(
    Table, Ending,
    ::testing::Values(
        EndCase{"success_says_nothing", {ToolEnd::Exited, 0}, found, false, ""},
        EndCase{"status_unknown_says_nothing", {ToolEnd::Unknown, 0}, found, false, ""},
        EndCase{"exit_status", {ToolEnd::Exited, 3}, found, false, "Hollimbrix exited with status 3.\n"},
        EndCase{"exit_255", {ToolEnd::Exited, 255}, found, false, "Hollimbrix exited with status 255.\n"},
        EndCase{"not_on_path", {ToolEnd::Exited, 127}, ToolOnPath::Missing, false, "Hollimbrix was not found.\n"},
        EndCase{"only_unrunnable_on_path_is_not_found", {ToolEnd::Exited, 127}, ToolOnPath::NotExecutable, false,
                "Hollimbrix was not found.\n"},
        EndCase{"found_tool_exiting_127", {ToolEnd::Exited, 127}, found, false,
                "Hollimbrix exited with status 127.\n"},
        EndCase{"not_executable", {ToolEnd::Exited, 126}, ToolOnPath::NotExecutable, false,
                "Hollimbrix could not be run.\n"},
        EndCase{"found_tool_exiting_126", {ToolEnd::Exited, 126}, found, false,
                "Hollimbrix exited with status 126.\n"},
        EndCase{"killed", {ToolEnd::Signaled, SIGKILL}, found, false, "Hollimbrix was ended by signal 9 (Killed).\n"},
        EndCase{"segmentation_fault", {ToolEnd::Signaled, SIGSEGV}, found, false,
                "Hollimbrix was ended by signal 11 (Segmentation fault).\n"},
        EndCase{"aborted", {ToolEnd::Signaled, SIGABRT}, found, false, "Hollimbrix was ended by signal 6 (Aborted).\n"},
        EndCase{"broken_pipe", {ToolEnd::Signaled, SIGPIPE}, found, false,
                "Hollimbrix was ended by signal 13 (Broken pipe).\n"},
        EndCase{"terminated", {ToolEnd::Signaled, SIGTERM}, found, false,
                "Hollimbrix was ended by signal 15 (Terminated).\n"},
        EndCase{"signal_outside_the_table_by_number", {ToolEnd::Signaled, 63}, found, false,
                "Hollimbrix was ended by signal 63.\n"},
        EndCase{"interrupt_away_from_a_terminal", {ToolEnd::Signaled, SIGINT}, found, false,
                "Hollimbrix was ended by signal 2 (Interrupt).\n"},
        EndCase{"interrupt_at_a_terminal_leaves_the_caret_line", {ToolEnd::Signaled, SIGINT}, found, true,
                "\nHollimbrix was ended by signal 2 (Interrupt).\n"}),
    [](const ::testing::TestParamInfo<EndCase> &info) { return info.param.name; });

}  // namespace
