// The failure path of the real program at its console dialogue: end of input,
// signals at a prompt, a file in a missing directory, and the controls that
// redirect or reshape the diagnostic.

#include <csignal>
#include <span>

#include "tests/e2e/diagnostic_driver_support.hpp"
#include "tests/support/dialogue.hpp"

namespace {

using diagtest::Innermost;
using diagtest::is_plain_traceback;
using diagtest::split_first_line;
using testsupport::Child;
using testsupport::ChildOptions;
using testsupport::TempDir;

using testsupport::kNamePrompt;
const std::string& kDistancePrompt = testsupport::kDistanceAPrompt;

using testsupport::emodul_in;

::testing::AssertionResult is_emodul_traceback(std::string_view text) {
    return is_plain_traceback(text, Innermost::in_program, "emodul");
}

TEST(EmodulFailure, EndOfInputAtTheNamePrompt) {
    TempDir directory;
    const auto piped = testsupport::run_child(emodul_in(directory), "");
    EXPECT_EQ(piped.out, kNamePrompt);
    const auto [line, rest] = split_first_line(piped.err);
    EXPECT_EQ(line, "iodiag: severe (24): end-of-file during read, unit -4, file stdin\n");
    EXPECT_TRUE(is_emodul_traceback(rest));
    EXPECT_EQ(piped.exit_status, 24);

    // On a terminal the file is the terminal's device path.
    auto options = emodul_in(directory);
    options.stdin_kind = testsupport::StdinKind::terminal;
    Child child(options);
    ASSERT_TRUE(child.wait_for_output(kNamePrompt));
    child.close_stdin();
    const auto typed = child.finish();
    EXPECT_EQ(split_first_line(typed.err).first,
              "iodiag: severe (24): end-of-file during read, unit -4, file " +
                  child.terminal_path() + "\n");
    EXPECT_EQ(typed.exit_status, 24);
}

using diagtest::expect_end;
using diagtest::InterruptCase;

// The signals an operator can send at a prompt (an abort comes from inside).
const std::span<const InterruptCase> kPromptSignals(diagtest::kInterrupts, 3);

TEST(EmodulFailure, SignalsAtAPrompt) {
    for (const InterruptCase& c : kPromptSignals) {
        SCOPED_TRACE(c.line);
        {
            TempDir directory;
            Child child(emodul_in(directory));
            ASSERT_TRUE(child.wait_for_output(kNamePrompt));
            child.send_signal(c.signal_number);
            const auto result = child.finish();
            EXPECT_EQ(result.out, kNamePrompt);
            EXPECT_EQ(result.err, c.line);
            expect_end(result, c.exit_status);
        }
        {
            // Later in the dialogue, after the measurement file has been read.
            TempDir directory;
            directory.write_file("probe.txt", "1 2 1\n2 4 2\n");
            Child child(emodul_in(directory));
            ASSERT_TRUE(child.wait_for_output(kNamePrompt));
            child.write_stdin("probe.txt\n");
            ASSERT_TRUE(child.wait_for_output(kDistancePrompt));
            child.send_signal(c.signal_number);
            const auto result = child.finish();
            EXPECT_EQ(result.out, kNamePrompt + kDistancePrompt);
            EXPECT_EQ(result.err, c.line);
            expect_end(result, c.exit_status);
            EXPECT_EQ(directory.read_file("probe.txt"), "1 2 1\n2 4 2\n");
        }
    }
}

TEST(EmodulFailure, KeysTypedAtTheTerminalPrompt) {
    const std::pair<const char*, const InterruptCase*> cases[] = {
        {"\x03", &kPromptSignals[0]},
        {"\x1c", &kPromptSignals[2]},
    };
    for (const auto& [key, expected] : cases) {
        TempDir directory;
        auto options = emodul_in(directory);
        options.stdin_kind = testsupport::StdinKind::terminal;
        Child child(options);
        ASSERT_TRUE(child.wait_for_output(kNamePrompt));
        child.write_stdin(key);
        const auto result = child.finish();
        EXPECT_EQ(result.err, expected->line);
        expect_end(result, expected->exit_status);
    }
}

TEST(EmodulFailure, NameInAMissingDirectory) {
    TempDir directory;
    const auto result = testsupport::run_child(emodul_in(directory), "nodir/x.txt\n");
    const std::string lines =
        "iodiag: No such file or directory\n"
        "iodiag: severe (29): file not found, unit 10, file " +
        directory.path() + "/nodir/x.txt\n";
    ASSERT_EQ(result.err.substr(0, lines.size()), lines);
    EXPECT_TRUE(is_emodul_traceback(result.err.substr(lines.size())));
    EXPECT_EQ(result.exit_status, 29);
}

TEST(EmodulFailure, AbortTriggerAfterTheSevereLine) {
    TempDir directory;
    const auto result =
        testsupport::run_child(emodul_in(directory, {{"oldrt_dump_flag", "1"}}), "");
    const auto [line, rest] = split_first_line(result.err);
    EXPECT_EQ(line, "iodiag: severe (24): end-of-file during read, unit -4, file stdin\n");
    const std::string abort_line = "iodiag: error (76): IOT trap signal\n";
    ASSERT_GT(rest.size(), abort_line.size());
    EXPECT_TRUE(is_emodul_traceback(rest.substr(0, rest.size() - abort_line.size())));
    EXPECT_EQ(rest.substr(rest.size() - abort_line.size()), abort_line);
    EXPECT_EQ(result.signal, SIGABRT);
}

TEST(EmodulFailure, Unio0TakesTheDiagnosticOffTheTerminal) {
    TempDir directory;
    auto options = emodul_in(directory, {{"UNIO0", directory.file("errors.txt")}});
    options.stdin_kind = testsupport::StdinKind::terminal;
    Child child(options);
    ASSERT_TRUE(child.wait_for_output(kNamePrompt));
    child.close_stdin();
    const auto result = child.finish();
    EXPECT_EQ(result.err, "");
    const std::string text = directory.read_file("errors.txt");
    const auto [line, rest] = split_first_line(text);
    EXPECT_EQ(line, "iodiag: severe (24): end-of-file during read, unit -4, file " +
                        child.terminal_path() + "\n");
    EXPECT_TRUE(is_emodul_traceback(rest));
    EXPECT_EQ(result.exit_status, 24);
}

}  // namespace
