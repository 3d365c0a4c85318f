// The built editor stopped from outside (kill -TSTP, a shell's job control)
// and continued: stopped, the terminal is as the editor found it; going on,
// it is raw again and the screen whole. ^Z typed stays a key.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <string>
#include <thread>

#include "harness/pty.h"

namespace {

// The state letter of /proc/PID/stat: R, S, T (stopped) ...
char process_state(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t paren = stat.rfind(')');
    return paren == std::string::npos || paren + 2 >= stat.size() ? '?' : stat[paren + 2];
}

bool becomes_stopped(pid_t pid)
{
    for (int i = 0; i < 200; i++) {
        if (process_state(pid) == 'T')
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// The help viewer: the editor's one child.
pid_t child_of(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
    pid_t child = -1;
    in >> child;
    return child;
}

void expect_settings_as_found(const PtyEditor& pym, const char* when)
{
    struct termios now = pym.terminal_settings(), was = pym.initial_settings();
    EXPECT_EQ(now.c_lflag, was.c_lflag) << when;
    EXPECT_EQ(now.c_iflag, was.c_iflag) << when;
    EXPECT_EQ(now.c_oflag, was.c_oflag) << when;
    EXPECT_FALSE(pym.screen().alternate_screen()) << when;
    EXPECT_TRUE(pym.screen().cursor_visible()) << when;
}

void expect_raw(const PtyEditor& pym)
{
    EXPECT_EQ(pym.terminal_settings().c_lflag & (ECHO | ICANON | ISIG), 0u);
}

}  // namespace

class StopSignal : public ::testing::TestWithParam<int> {};

TEST_P(StopSignal, HandsTheTerminalBackAndTakesItAgainOnContinue)
{
    PtyEditor pym(12, 40);
    pym.run_as_job();
    pym.create_file("notes.txt", "one\ntwo\nthree\n");
    pym.start({"notes.txt"});
    pym.send("ab\x1a");         // ^Z typed is a key: the byte goes into the text
    ASSERT_TRUE(pym.wait_until([](const Screen& s) { return s.row(3) == "ab→one"; })) << pym.screen().dump();
    EXPECT_NE(process_state(pym.editor_pid()), 'T');
    std::string before = pym.screen().dump();
    int row = pym.screen().cursor_row(), col = pym.screen().cursor_col();

    pym.signal(GetParam());
    ASSERT_TRUE(becomes_stopped(pym.editor_pid()));
    pym.settle();
    expect_settings_as_found(pym, "stopped");

    pym.signal(SIGCONT);
    EXPECT_TRUE(pym.wait_until([&](const Screen& s) { return s.alternate_screen() && s.dump() == before; }))
        << pym.screen().dump();
    EXPECT_EQ(pym.screen().cursor_row(), row);
    EXPECT_EQ(pym.screen().cursor_col(), col);
    expect_raw(pym);
    pym.send("c");              // taken at once, without a line end
    EXPECT_TRUE(pym.wait_until([](const Screen& s) { return s.row(3) == "ab→cone"; })) << pym.screen().dump();

    pym.press(Key::Esc);
    pym.send("QU");
    ASSERT_TRUE(pym.wait_until([](const Screen& s) { return s.row(2) == "--"; }))
        << pym.screen().dump() << process_state(pym.editor_pid());
    pym.send("E");
    EXPECT_EQ(pym.wait_exit(), 0);
    EXPECT_EQ(pym.read_file("notes.txt"), "ab\x1a" "cone\ntwo\nthree\n");
    expect_settings_as_found(pym, "at the end");
}

INSTANTIATE_TEST_SUITE_P(Stop, StopSignal, ::testing::Values(SIGTSTP, SIGTTIN, SIGTTOU),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

// The help viewer, which holds the terminal meanwhile, stops along with
// the editor and hands the terminal back; both go on with SIGCONT.
TEST(Stop, WhileHelpIsShownTheViewerStopsToo)
{
    PtyEditor pym(12, 40);
    pym.run_as_job();
    pym.create_file("pym.hlp", "the help text\n");
    pym.create_file("notes.txt", "one\n");
    pym.start({"notes.txt"});
    pym.press(Key::F1);
    ASSERT_TRUE(pym.shows(3, "the help text")) << pym.screen().dump();
    pid_t viewer = child_of(pym.editor_pid());
    ASSERT_GT(viewer, 0);

    pym.signal(SIGTSTP);
    ASSERT_TRUE(becomes_stopped(pym.editor_pid()));
    EXPECT_TRUE(becomes_stopped(viewer));
    pym.settle();
    expect_settings_as_found(pym, "stopped");

    pym.signal(SIGCONT);
    EXPECT_TRUE(pym.wait_until([](const Screen& s) { return s.alternate_screen() && s.row(3) == "the help text"; }))
        << pym.screen().dump();
    expect_raw(pym);
    pym.send("q");
    ASSERT_TRUE(pym.shows(3, "one")) << pym.screen().dump();
    pym.press(Key::Esc);
    pym.send("qe");
    EXPECT_EQ(pym.wait_exit(), 0);
}
