// Whole transcripts of drelk sessions: scripted input, fake tools on PATH,
// the complete standard output compared byte for byte.
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <functional>
#include <string>
#include <vector>

#include "drelk_harness.h"

namespace {

struct Transcript {
  const char *name;
  std::string input;
  std::string expected;
  std::function<void(Scratch &)> setup = nullptr;
  std::string stderrHas = "";  // empty: drelk's stderr must stay empty
  RunOptions options = {};
  std::function<void(Scratch &)> after = nullptr;
};

const std::string saveTitle = "Save to Protobuf";
const std::string askFilename = askFile("Please specify a filename.");
const std::string askProtobuf = askFile("Please specify protobuf file.");
const std::vector<std::string> askTwo = {askFile("Please specify a protobuf file."),
                                         askFile("Please specify the original file.")};
const std::vector<std::string> askFour = {
    askFile("Please specify the input save file."), askFile("Please specify the output save file."),
    askValue("Please specify the input platform code (see manual)."),
    askValue("Please specify the output platform code (see manual).")};

std::string exportSave(const std::string &answer, const std::string &output) {
  return operation(saveTitle, {askFilename}, "Will convert " + answer + "\n", output);
}

// Listings come in the directory's own order; sort each one so cases can name them.
std::string sortListings(const std::string &out) {
  std::string result;
  size_t at = 0;
  const std::string heading = "File Listing\n";
  for (;;) {
    size_t found = out.find(heading, at);
    if (found == std::string::npos)
      return result + out.substr(at);
    size_t start = found + heading.size();
    size_t end = out.find(menu.substr(0, 10), start);
    if (end == std::string::npos)
      end = out.size();
    std::vector<std::string> names;
    for (size_t p = start; p < end;) {
      size_t nl = out.find('\n', p);
      names.push_back(out.substr(p, nl + 1 - p));
      p = nl + 1;
    }
    std::sort(names.begin(), names.end());
    result += out.substr(at, start - at);
    for (const std::string &n : names)
      result += n;
    at = end;
  }
}

void listingFiles(Scratch &s) {
  for (const char *name : {"slot1.sav", "SLOT2.SAV", "notes.txt", "a.proto", "B.Proto", "sav"})
    s.file(name, "x");
  mkdir((s.work + "/folder.sav").c_str(), 0755);
  if (symlink("slot1.sav", (s.work + "/link.sav").c_str()) != 0 ||
      symlink("missing", (s.work + "/dangling.sav").c_str()) != 0)
    FAIL() << "symlink";
}

const std::string hostile =
    "my save; touch pwned $(touch pwned) `touch pwned` | & > * ~ \\ \t -n 'q' \"dq\" \xff\xfe.sav";

void nothingPwned(Scratch &s) {
  EXPECT_NE(access((s.work + "/pwned").c_str(), F_OK), 0) << "the shell acted on an answer";
}

RunOptions stdinFromFile() {
  RunOptions o;
  o.stdinFromFile = true;
  return o;
}

RunOptions unreadableFolder() {
  RunOptions o;
  o.unreadableFolder = true;
  return o;
}

RunOptions outputTo(Output output) {
  RunOptions o;
  o.output = output;
  return o;
}

RunOptions withFileLimit(int limit) {
  RunOptions o;
  o.openFileLimit = limit;  // the standard three and one more: no room for a pipe's two ends
  return o;
}

RunOptions withArgs(std::vector<std::string> args) {
  RunOptions o;
  o.args = std::move(args);
  return o;
}

RunOptions withEnv(std::vector<std::string> env) {
  RunOptions o;
  o.env = std::move(env);
  return o;
}

RunOptions nonBlockingInputFedSlowly() {
  RunOptions o;
  o.nonBlockingInput = true;
  o.feedSlowly = true;
  return o;
}

RunOptions nonBlockingOutputReadSlowly() {
  RunOptions o;
  o.output = Output::Pipe;
  o.nonBlockingOutput = true;
  o.readSlowly = true;
  return o;
}

RunOptions sigchldIgnored() {
  RunOptions o;
  o.ignoreSigchld = true;
  return o;
}

RunOptions stdinClosed() {
  RunOptions o;
  o.stdinClosed = true;
  return o;
}

std::string homeOf(const char *user) {
  const struct passwd *entry = getpwnam(user);
  return entry != nullptr ? entry->pw_dir : "";
}

std::string repeated(const std::string &text, int times) {
  std::string all;
  while (times-- > 0)
    all += text;
  return all;
}

// Keeps test logs readable: a case prints as its name.
void PrintTo(const Transcript &t, std::ostream *os) { *os << t.name; }

class Session : public ::testing::TestWithParam<Transcript> {};

// Runs one transcript case, with extra options on top of its own.
void expectTranscript(const Transcript &t, const std::function<void(Scratch &, RunOptions &)> &adjust = nullptr) {
  Scratch scratch;
  if (t.setup)
    t.setup(scratch);
  RunOptions options = t.options;
  if (adjust)
    adjust(scratch, options);
  RunResult r = runDrelk(scratch, t.input, options);
  std::string out = t.name == std::string("listings") ? sortListings(r.out) : r.out;
  EXPECT_EQ(out, t.expected);
  ASSERT_TRUE(WIFEXITED(r.status)) << "status " << r.status;
  EXPECT_EQ(WEXITSTATUS(r.status), 0);
  if (t.stderrHas.empty())
    EXPECT_EQ(r.err, "");
  else
    EXPECT_NE(r.err.find(t.stderrHas), std::string::npos) << r.err;
  if (t.after)
    t.after(scratch);
}

TEST_P(Session, WritesExactlyTheExpectedTranscript) { expectTranscript(GetParam()); }

#ifdef DRELK_HAVE_FAULTS_LIBRARY
// The same table while read, write, splice and poll fail with EINTR or move
// fewer bytes than asked, now and then, inside drelk. (Built where the
// library can be preloaded: Linux, and no sanitizers, which must load first.)
class SessionUnderFaults : public Session {};

TEST_P(SessionUnderFaults, StaysByteExact) {
  std::string library = FAULTS_LIBRARY;
  std::string log = testing::TempDir() + "drelk-faults-" + std::to_string(getpid());
  unlink(log.c_str());
  expectTranscript(GetParam(), [&](Scratch &scratch, RunOptions &o) {
    // A copy in the scratch folder, which any user can reach: drelk may run as
    // nobody, and the build may lie in a folder only its owner can enter.
    std::string copy = scratch.root + "/libdrelk_faults.so";
    std::filesystem::copy_file(library, copy);
    o.env.push_back("LD_PRELOAD=" + copy);
    o.env.push_back("DRELK_FAULTS_SEED=" + std::to_string(std::hash<std::string>()(GetParam().name) % 100000));
    o.env.push_back("DRELK_FAULTS_LOG=" + log);
  });
  std::ifstream in(log);
  long faults = 0;
  in >> faults;
  unlink(log.c_str());
  EXPECT_GT(faults, 0) << "no fault was injected";
}
#endif

const std::string a1023(1023, 'a'), a1024(1024, 'a');

std::string bytesOneTo255ButLineEnd() {
  std::string all;
  for (int c = 1; c < 256; c++)
    if (c != '\n')
      all += static_cast<char>(c);
  return all;
}
const std::string everyByte = bytesOneTo255ButLineEnd();

// NUL bytes, a carriage return, a line far longer than any buffer, no last line end.
void relayingTool(Scratch &s) {
  s.tool("Hollimbrix", "printf 'a\\000b\\r\\n'\nhead -c 200000 /dev/zero | tr '\\000' x\necho\nprintf 'no line end'\n");
}
const std::string relayedTranscript =
    menu +
    operation("View Save Information", {askProtobuf}, "Will process x\n",
              std::string("a\0b\r\n", 5) + std::string(200000, 'x') + "\n" + "no line end") +
    menu + farewell;

const Transcript transcripts[] = {
    // Menu keys and what they do.
    {"z_exits_with_the_farewell", "z\n", menu + farewell},
    {"upper_case_Z_exits_too", "Z\n", menu + farewell},
    {"non_keys_redraw_the_menu_silently", " 2\n2 \n02\nz \n\n2\r\nb\nzz\nz\n",
     menu + menu + menu + menu + menu + menu + menu + menu + menu + farewell},
    {"choice_8_has_no_editor", "8\n9\nz\n",
     menu + "The save editor is not available.\n" + menu +
         "The profile editor is not available.\n" + menu + farewell},
    {"arguments_are_ignored", "z\n", menu + farewell, nullptr, "", withArgs({"--help", "9"})},

    // Each operation, with the arguments its tool receives.
    {"choice_2_exports_a_save", "2\nslot1.sav\nz\n",
     menu + exportSave("slot1.sav", "Marquenisto [slot1.sav]\n") + menu + farewell},
    {"choice_3_imports_a_save", "3\na.proto\nb.sav\nz\n",
     menu + operation("Protobuf to Save", askTwo, "Will convert a.proto\n", "Quobrenatil [a.proto] [b.sav]\n") +
         menu + farewell},
    {"choice_4_exports_a_profile", "4\np.profile\nz\n",
     menu + operation("Profile to Protobuf", {askFilename}, "Will convert p.profile\n", "Kelvadrosimune [p.profile]\n") +
         menu + farewell},
    {"choice_5_imports_a_profile", "5\np.proto\np.profile\nz\n",
     menu + operation("Protobuf to Profile", askTwo, "Will convert p.proto\n",
                      "Zandrumevolask [p.proto] [p.profile]\n") + menu + farewell},
    {"choice_6_shows_save_information", "6\ns.proto\nz\n",
     menu + operation("View Save Information", {askProtobuf}, "Will process s.proto\n",
                      "Hollimbrix [s.proto]\n") + menu + farewell},
    {"choice_7_shows_profile_information", "7\np.proto\nz\n",
     menu + operation("View Profile Information", {askProtobuf}, "Will process p.proto\n",
                      "Wystrenoculam [p.proto]\n") + menu + farewell},
    {"choice_A_converts_between_platforms", "A\nin.sav\nout.sav\npc\nps4\nz\n",
     menu + operation("Convert Save", askFour, "Will convert in.sav to out.sav\n",
                      "Trevolandix [in.sav] [out.sav] [pc] [ps4]\n") + menu + farewell},
    {"choice_a_converts_between_platforms", "a\nin.sav\nout.sav\npc\nps4\nz\n",
     menu + operation("Convert Save", askFour, "Will convert in.sav to out.sav\n",
                      "Trevolandix [in.sav] [out.sav] [pc] [ps4]\n") + menu + farewell},
    {"operations_follow_each_other", "2\nx\n6\ny\nz\n",
     menu + exportSave("x", "Marquenisto [x]\n") + menu +
         operation("View Save Information", {askProtobuf}, "Will process y\n",
                   "Hollimbrix [y]\n") + menu + farewell},

    // Answers reach the tool as one argument each, byte for byte.
    {"empty_answer_is_an_empty_argument", "2\n\nz\n", menu + exportSave("", "Marquenisto []\n") + menu + farewell},
    {"empty_first_answer_keeps_the_second_in_place", "3\n\nb\nz\n",
     menu + operation("Protobuf to Save", askTwo, "Will convert \n", "Quobrenatil [] [b]\n") + menu + farewell},
    {"empty_platform_codes_keep_their_places", "A\na\n\n\nd\nz\n",
     menu + operation("Convert Save", askFour, "Will convert a to \n", "Trevolandix [a] [] [] [d]\n") + menu +
         farewell},
    {"hostile_name_reaches_the_tool_untouched", "2\n" + hostile + "\nz\n",
     menu + exportSave(hostile, "Marquenisto [" + hostile + "]\n") + menu + farewell, nullptr, "", {},
     nothingPwned},
    {"hostile_names_in_every_answer", "A\n'$HOME'\n-rf *\n`id`\n\"$(id)\"\nz\n",
     menu + operation("Convert Save", askFour, "Will convert '$HOME' to -rf *\n",
                      "Trevolandix ['$HOME'] [-rf *] [`id`] [\"$(id)\"]\n") + menu + farewell},
    {"answer_of_1023_characters_reaches_the_tool_whole", "2\n" + a1023 + "\nz\n",
     menu + exportSave(a1023, "Marquenisto [" + a1023 + "]\n") + menu + farewell},
    {"four_answers_of_1023_characters_reach_the_tool_whole",
     "A\n" + a1023 + "\n" + std::string(1023, 'b') + "\n" + std::string(1023, 'c') + "\n" +
         std::string(1023, 'd') + "\nz\n",
     menu + operation("Convert Save", askFour, "Will convert " + a1023 + " to " + std::string(1023, 'b') + "\n",
                      "Trevolandix [" + a1023 + "] [" + std::string(1023, 'b') + "] [" +
                          std::string(1023, 'c') + "] [" + std::string(1023, 'd') + "]\n") +
         menu + farewell},

    // Over-long lines are consumed whole and never leak into the next read.
    {"answer_over_1023_characters_is_refused", "2\n" + a1024 + "\nz\n",
     menu + saveTitle + "\n" + askFilename + "Answer too long: at most 1023 bytes.\n" + menu +
         farewell},
    {"refused_first_answer_skips_the_second_question", "3\n" + a1024 + "\nz\n",
     menu + "Protobuf to Save\n" + askTwo[0] + "Answer too long: at most 1023 bytes.\n" +
         menu + farewell},
    {"choice_over_255_characters_matches_nothing", std::string(300, 'x') + "6\nz\n", menu + menu + farewell},
    {"choice_of_255_characters_matches_nothing", std::string(254, ' ') + "2\nz\n", menu + menu + farewell},

    // End of input ends the program with the farewell and status 0.
    {"end_of_input_at_the_menu_says_farewell", "", menu + farewell},
    {"choice_cut_off_by_end_of_input_is_not_acted_on", "2", menu + farewell},
    {"end_of_input_after_an_operation_says_farewell", "2\nx\n",
     menu + exportSave("x", "Marquenisto [x]\n") + menu + farewell},
    {"end_of_input_at_a_question_runs_no_tool", "3\na\n",
     menu + "Protobuf to Save\n" + askTwo[0] + askTwo[1] + farewell},
    {"answer_cut_off_by_end_of_input_runs_no_tool", "2\nslot1",
     menu + saveTitle + "\n" + askFilename + farewell},

    // How a tool ended is told before "Execution complete".
    {"missing_tool_is_reported", "2\nx\nz\n",
     menu + operation(saveTitle, {askFilename}, "Will convert x\n", "", "Marquenisto was not found.") + menu + farewell,
     [](Scratch &s) { s.removeTool("Marquenisto"); }, "not found"},
    {"tool_that_is_not_executable_is_reported", "2\nx\nz\n",
     menu + operation(saveTitle, {askFilename}, "Will convert x\n", "", "Marquenisto could not be run.") + menu +
         farewell,
     [](Scratch &s) { s.tool("Marquenisto", "echo never\n", 0644); }, "Permission denied"},
    {"exit_status_is_reported", "6\nx\nz\n",
     menu + operation("View Save Information", {askProtobuf}, "Will process x\n", "partial\n",
                      "Hollimbrix exited with status 3.") + menu + farewell,
     [](Scratch &s) { s.tool("Hollimbrix", "echo partial\nexit 3\n"); }},
    {"death_by_signal_is_reported", "6\nx\nz\n",
     menu + operation("View Save Information", {askProtobuf}, "Will process x\n", "",
                      "Hollimbrix was ended by signal 9 (Killed).") + menu + farewell,
     [](Scratch &s) { s.tool("Hollimbrix", "kill -9 $$\n"); }},
    {"tool_stderr_bypasses_the_relay", "2\nx\nz\n",
     menu + exportSave("x", "out\n") + menu + farewell,
     [](Scratch &s) { s.tool("Marquenisto", "echo oops >&2\necho out\n"); }, "oops"},

    {"pipe_that_cannot_be_made_gives_the_failure_line", "2\nx\n6\ny\nz\n",
     menu + saveTitle + "\n" + askFilename + "Will convert x\nFailed to execute Marquenisto!\n" + menu +
         "View Save Information\nPlease specify protobuf file.\nEnter file --> Will process y\n"
         "Failed to execute Hollimbrix\n" + menu + farewell,
     nullptr, "", withFileLimit(4)},
    {"tool_writing_only_to_stderr_relays_nothing", "2\nx\nz\n", menu + exportSave("x", "") + menu + farewell,
     [](Scratch &s) { s.tool("Marquenisto", "echo 'only on stderr' >&2\n"); }, "only on stderr"},
    {"tool_closing_its_output_early_is_waited_for", "2\nx\nz\n",
     menu + exportSave("x", "first\n") + menu + farewell,
     [](Scratch &s) { s.tool("Marquenisto", "echo first\nexec >&-\nsleep 0.2\necho 'still here' >&2\n"); },
     "still here"},
    {"megabytes_without_a_line_end_arrive_whole", "6\nx\nz\n",
     menu + operation("View Save Information", {askProtobuf}, "Will process x\n",
                      std::string(5 << 20, 'x')) + menu + farewell,
     [](Scratch &s) { s.tool("Hollimbrix", "head -c 5242880 /dev/zero | tr '\\000' x\n"); }},
    {"name_of_every_byte_but_the_line_end_reaches_the_tool", "2\n" + everyByte + "\nz\n",
     menu + exportSave(everyByte, "Marquenisto [" + everyByte + "]\n") + menu + farewell},

    // The relay copies bytes exactly.
    {"relay_is_exact_into_a_file", "6\nx\nz\n", relayedTranscript, relayingTool},
    {"relay_is_exact_into_a_pipe", "6\nx\nz\n", relayedTranscript, relayingTool, "", outputTo(Output::Pipe)},
    {"relay_is_exact_into_an_appending_file", "6\nx\nz\n", relayedTranscript, relayingTool, "",
     outputTo(Output::AppendingFile)},
    {"tool_reads_the_next_line_from_a_pipe", "2\nx\nhello there\nz\n",
     menu + exportSave("x", "tool read [hello there]\n") + menu + farewell,
     [](Scratch &s) { s.tool("Marquenisto", "read line\necho \"tool read [$line]\"\n"); }},
    {"tool_reads_the_next_line_from_a_file", "2\nx\nhello there\nz\n",
     menu + exportSave("x", "tool read [hello there]\n") + menu + farewell,
     [](Scratch &s) { s.tool("Marquenisto", "read line\necho \"tool read [$line]\"\n"); }, "", stdinFromFile()},

    // Standard input and output as the user's environment hands them over.
    {"non_blocking_input_is_waited_on_not_taken_for_its_end", "2\nx\n6\ny\nz\n",
     menu + exportSave("x", "Marquenisto [x]\n") + menu +
         operation("View Save Information", {askProtobuf}, "Will process y\n", "Hollimbrix [y]\n") + menu + farewell,
     nullptr, "", nonBlockingInputFedSlowly()},
    {"non_blocking_output_read_slowly_loses_nothing", "6\nx\n" + repeated("0\n", 300) + "z\n",
     menu + operation("View Save Information", {askProtobuf}, "Will process x\n", std::string(3 << 20, 'x')) +
         repeated(menu + "File Listing\n", 300) + menu + farewell,
     [](Scratch &s) { s.tool("Hollimbrix", "head -c 3145728 /dev/zero | tr '\\000' x\n"); }, "",
     nonBlockingOutputReadSlowly()},
    {"sigchld_ignored_at_start_still_reports_the_status", "6\nx\nz\n",
     menu + operation("View Save Information", {askProtobuf}, "Will process x\n", "partial\n",
                      "Hollimbrix exited with status 3.") + menu + farewell,
     [](Scratch &s) { s.tool("Hollimbrix", "echo partial\nexit 3\n"); }, "", sigchldIgnored()},
    {"closed_input_is_the_end_of_input", "", menu + farewell, nullptr, "", stdinClosed()},

    // A file name's tilde-prefix is replaced as sh would; values and the echo keep it.
    {"tilde_prefixes_in_file_names_are_expanded", "3\n~/a.proto\n~\nA\n~root/x\n~no-such-user-here/y\n~\n~/v\nz\n",
     menu + operation("Protobuf to Save", askTwo, "Will convert ~/a.proto\n",
                      "Quobrenatil [/home/ada/a.proto] [/home/ada]\n") + menu +
         operation("Convert Save", askFour, "Will convert ~root/x to ~no-such-user-here/y\n",
                   "Trevolandix [" + homeOf("root") + "/x] [~no-such-user-here/y] [~] [~/v]\n") + menu + farewell,
     nullptr, "", withEnv({"HOME=/home/ada"})},
    {"tilde_without_home_stays_as_typed", "2\n~/x.sav\nz\n", menu + exportSave("~/x.sav", "Marquenisto [~/x.sav]\n") +
     menu + farewell},
    {"quoted_tilde_is_an_ordinary_name", "2\n'~'/x\nz\n",
     menu + exportSave("'~'/x", "Marquenisto ['~'/x]\n") + menu + farewell, nullptr, "", withEnv({"HOME=/home/ada"})},

    // "Not found" and "could not be run" only when the shell could not find or run the tool.
    {"found_tool_exiting_127_is_not_reported_missing", "6\nx\nz\n",
     menu + operation("View Save Information", {askProtobuf}, "Will process x\n", "",
                      "Hollimbrix exited with status 127.") + menu + farewell,
     [](Scratch &s) { s.tool("Hollimbrix", "exit 127\n"); }},
    {"found_tool_exiting_126_is_not_reported_unrunnable", "6\nx\nz\n",
     menu + operation("View Save Information", {askProtobuf}, "Will process x\n", "",
                      "Hollimbrix exited with status 126.") + menu + farewell,
     [](Scratch &s) { s.tool("Hollimbrix", "exit 126\n"); }},

    // Listings.
    {"listing_into_a_file_keeps_control_bytes_exact", "0\nz\n",
     menu + "File Listing\n\x1b[2J\rx.sav\n" + menu + farewell,
     [](Scratch &s) { s.file("\x1b[2J\rx.sav", ""); }},
    {"listings", "0\n1\nz\n",
     menu + "File Listing\nSLOT2.SAV\nlink.sav\nslot1.sav\n" + menu + "File Listing\nB.Proto\na.proto\n" + menu +
         farewell,
     listingFiles},
    {"listing_of_a_folder_without_matches_is_the_heading_alone", "0\nz\n", menu + "File Listing\n" + menu + farewell,
     [](Scratch &s) { s.file("readme.txt", ""); }},
    {"unreadable_folder_fails_to_list", "0\n1\nz\n",
     menu + "Failed to list files.\n" + menu + "Failed to list files.\n" + menu + farewell, nullptr, "",
     unreadableFolder()},
};

INSTANTIATE_TEST_SUITE_P(Drelk, Session, ::testing::ValuesIn(transcripts),
                         [](const ::testing::TestParamInfo<Transcript> &info) { return info.param.name; });
#ifdef DRELK_HAVE_FAULTS_LIBRARY
INSTANTIATE_TEST_SUITE_P(Drelk, SessionUnderFaults, ::testing::ValuesIn(transcripts),
                         [](const ::testing::TestParamInfo<Transcript> &info) { return info.param.name; });
#endif

// A partial line must reach the console while the tool is still running.
// Drelk's output can't be written: closed, or a full device. Drelk runs no
// tool and ends with status 1, before it acts on any choice.
struct Unwritable {
  const char *name;
  Output output;
};

void PrintTo(const Unwritable &u, std::ostream *os) { *os << u.name; }

class UnwritableOutput : public ::testing::TestWithParam<Unwritable> {};

TEST_P(UnwritableOutput, RunsNothingAndEndsWithStatus1) {
  Scratch scratch;
  scratch.tool("Marquenisto", "touch ran\n");
  RunResult r = runDrelk(scratch, "2\nx\n2\ny\nz\n", outputTo(GetParam().output));
  ASSERT_TRUE(WIFEXITED(r.status)) << r.status;
  EXPECT_EQ(WEXITSTATUS(r.status), 1);
  EXPECT_NE(access((scratch.work + "/ran").c_str(), F_OK), 0) << "a tool ran with nobody to see it";
  EXPECT_EQ(r.err, "");
}

INSTANTIATE_TEST_SUITE_P(Output, UnwritableOutput,
                         ::testing::Values(Unwritable{"closed", Output::Closed},
                                           Unwritable{"full", Output::DevFull}),
                         [](const ::testing::TestParamInfo<Unwritable> &info) { return info.param.name; });

// Whoever reads drelk goes away: at the menu, or in the middle of a tool's
// endless output. drelk ends at once, by SIGPIPE or, with SIGPIPE ignored, with
// status 1; it never hangs, never spins, never says goodbye to nobody.
struct Reader {
  const char *name;
  std::string input;
  std::string closeAfter;
  bool ignoreSigpipe;
};

void PrintTo(const Reader &r, std::ostream *os) { *os << r.name; }

class ReaderGone : public ::testing::TestWithParam<Reader> {};

TEST_P(ReaderGone, EndsDrelk) {
  Scratch scratch;
  scratch.tool("Hollimbrix", "exec yes\n");
  RunOptions options = outputTo(Output::Pipe);
  options.closeOutputAfter = GetParam().closeAfter;
  options.ignoreSigpipe = GetParam().ignoreSigpipe;
  std::string input;
  for (int i = 0; i < 1000; i++)
    input += GetParam().input;
  RunResult r = runDrelk(scratch, input + "z\n", options);
  if (GetParam().ignoreSigpipe) {
    ASSERT_TRUE(WIFEXITED(r.status)) << r.status;
    EXPECT_EQ(WEXITSTATUS(r.status), 1);
  } else {
    ASSERT_TRUE(WIFSIGNALED(r.status)) << r.status;
    EXPECT_EQ(WTERMSIG(r.status), SIGPIPE);
  }
  if (GetParam().closeAfter == "File Save Files\n") {
    EXPECT_EQ(r.err, "");  // in a relay, the tool may complain of the broken pipe too
  }
}

INSTANTIATE_TEST_SUITE_P(
    Output, ReaderGone,
    ::testing::Values(Reader{"at_the_menu", "0\n", "File Save Files\n", false},
                      Reader{"at_the_menu_with_sigpipe_ignored", "0\n", "File Save Files\n", true},
                      Reader{"during_a_relay", "6\nx\n", "y\ny\n", false},
                      Reader{"during_a_relay_with_sigpipe_ignored", "6\nx\n", "y\ny\n", true}),
    [](const ::testing::TestParamInfo<Reader> &info) { return info.param.name; });

// The folder drelk works in is removed under it; the menu goes on.
TEST(Folder, RemovedWhileDrelkRunsListsNothingAndTheMenuGoesOn) {
  Scratch scratch;
  scratch.file("slot1.sav", "");
  scratch.tool("Marquenisto", "rm -rf \"$PWD\"\n");
  RunResult r = runDrelk(scratch, "2\nx\n0\n1\nz\n");
  std::string before = menu + exportSave("x", "") + menu;
  std::string empty = before + "File Listing\n" + menu + "File Listing\n" + menu + farewell;
  std::string failed = before + "Failed to list files.\n" + menu + "Failed to list files.\n" + menu + farewell;
  EXPECT_TRUE(r.out == empty || r.out == failed) << r.out;
  EXPECT_TRUE(WIFEXITED(r.status) && WEXITSTATUS(r.status) == 0) << r.status;
}

class PartialLine : public ::testing::TestWithParam<Output> {};

TEST_P(PartialLine, ShowsBeforeTheToolFinishes) {
  Scratch scratch;
  scratch.tool("Hollimbrix", "printf '50%%\\r'\nwhile [ ! -e go ]; do sleep 0.01; done\nprintf '100%%\\n'\n");
  RunOptions options = outputTo(GetParam());
  bool seen = false;
  options.whileRunning = [&](const std::function<bool(const std::string &)> &waitFor) {
    seen = waitFor("Will process x\n50%\r");
    scratch.file("go", "");
  };
  RunResult r = runDrelk(scratch, "6\nx\nz\n", options);
  EXPECT_TRUE(seen) << "the partial line was held back";
  EXPECT_EQ(r.out, menu +
                       operation("View Save Information", {askProtobuf}, "Will process x\n",
                                 "50%\r100%\n") +
                       menu + farewell);
}

INSTANTIATE_TEST_SUITE_P(Relay, PartialLine,
                         ::testing::Values(Output::File, Output::AppendingFile, Output::Pipe),
                         [](const ::testing::TestParamInfo<Output> &info) {
                           return info.param == Output::File ? "file"
                                  : info.param == Output::Pipe ? "pipe" : "appending_file";
                         });

}  // namespace

namespace {

// The demo's stand-in tools, driven through drelk as a user would.
class StandIns : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char *name : toolNames)
      scratch.tool(name, std::string("exec '") + STANDIN_BIN + "/" + name + "' \"$@\"\n");
    for (const char *sample : {"slot1.sav", "player.profile"})
      scratch.file(sample, readSample(sample));
  }
  static std::string readSample(const std::string &name) {
    std::ifstream in(std::string(SAMPLES_DIR) + "/" + name, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
  }
  Scratch scratch;
};

TEST_F(StandIns, SaveRoundTripGivesBackTheSameBytes) {
  RunResult r = runDrelk(scratch, "2\nslot1.sav\n3\nslot1.proto\ncopy.sav\n1\n6\nslot1.proto\nz\n");
  EXPECT_EQ(scratch.read("copy.sav"), scratch.read("slot1.sav"));
  EXPECT_NE(r.out.find("File Listing\nslot1.proto\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  player: Ada\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.err, "");
}

TEST_F(StandIns, ProfileRoundTripGivesBackTheSameBytes) {
  RunResult r = runDrelk(scratch, "4\nplayer.profile\n5\nplayer.proto\ncopy.profile\n7\nplayer.proto\nz\n");
  EXPECT_EQ(scratch.read("copy.profile"), scratch.read("player.profile"));
  EXPECT_NE(r.out.find("  difficulty: hard\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.err, "");
}

TEST_F(StandIns, PlatformConversionRewritesThePlatform) {
  RunResult r = runDrelk(scratch, "A\nslot1.sav\nmoved.sav\npc\nps4\nA\nslot1.sav\nx.sav\nps5\npc\nz\n");
  EXPECT_NE(scratch.read("moved.sav").find("platform=ps4\n"), std::string::npos);
  EXPECT_NE(r.out.find("Trevolandix exited with status 1.\n"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("slot1.sav is not a ps5 save"), std::string::npos) << r.err;
}

TEST_F(StandIns, MissingInputFileIsRefused) {
  RunResult r = runDrelk(scratch, "2\nnope.sav\nz\n");
  EXPECT_NE(r.out.find("Marquenisto exited with status 1.\n"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("Marquenisto: nope.sav: No such file or directory"), std::string::npos) << r.err;
}

}  // namespace
