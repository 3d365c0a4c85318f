// What the editor asks of a terminal at set-up and uses where it answers:
// the kitty keyboard protocol (an Esc without a wait), synchronized output
// around each frame, the system clipboard and focus reports; and a
// terminal that answers nothing, which sees no difference.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <thread>

#include "harness/pty.h"
#include "harness/session.h"

namespace {

using namespace std::chrono;

const std::string questions = "\x1b[?u\x1b[?2026$p\x1b[?2027$p\x1b[c";
const std::string push = "\x1b[>1u", pop = "\x1b[<u";
const std::string frame_begin = "\x1b[?2026h", frame_end = "\x1b[?2026l";
const std::string esc_key = "\x1b[27u";     // Esc under the keyboard protocol
const char menu_start[] = "<space> <curs> Again";

size_t count(const std::string& s, const std::string& part)
{
    size_t n = 0;
    for (size_t at = s.find(part); at != std::string::npos; at = s.find(part, at + 1))
        n++;
    return n;
}

// The environment variable as it was, put back at the end of the scope.
class Environment {
public:
    explicit Environment(const char* name) : name_(name)
    {
        if (const char* v = getenv(name))
            old_ = v;
    }
    ~Environment()
    {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }
    void set(const char* value) { value ? setenv(name_, value, 1) : unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> old_;
};

class TerminalFeatures : public SessionTest {
protected:
    // Nothing around the editor but the terminal.
    Environment tmux{"TMUX"}, sty{"STY"}, term{"TERM"};
    void SetUp() override
    {
        SessionTest::SetUp();
        tmux.set(nullptr);
        sty.set(nullptr);
        term.set("xterm-256color");
    }
    // The OSC 52 sequence that gives the clipboard this base64 text.
    static std::string clipboard(const std::string& base64) { return "\x1b]52;c;" + base64 + "\a"; }
};

// ---- synchronized output ----------------------------------------------------

TEST_F(TerminalFeatures, FramesAreWrappedOnlyAfterTheTerminalReportsMode2026)
{
    for (const char* answer : {"", "\x1b[?2026;0$y", "\x1b[?2026;4$y", "\x1b[?2027;1$y", "\x1b[?2026;1$p"}) {
        open("one\ntwo\n");
        keys(answer + down + up);
        EXPECT_EQ(count(take_output(), frame_begin), 0u) << "after ESC" << answer + std::min<size_t>(1, strlen(answer));
    }
    for (const char* answer : {"\x1b[?2026;1$y", "\x1b[?2026;2$y"}) {
        open("one\ntwo\n");
        keys(answer);
        take_output();
        keys(down + up + "Q");
        std::string out = take_output();
        EXPECT_GE(count(out, frame_begin), 4u) << "ESC, Down, Up and Q: a frame each";
        EXPECT_EQ(count(out, frame_end), count(out, frame_begin));
        EXPECT_EQ(out.rfind(frame_begin, 0), 0u) << "each frame starts with it";
        EXPECT_TRUE(out.ends_with(frame_end)) << "and ends with its end";
        for (size_t at = 0; (at = out.find(frame_begin, at)) != std::string::npos; at++)
            EXPECT_LT(out.find(frame_end, at), out.find(frame_begin, at + 1)) << "no frame begins inside another";
    }
}

// ---- the clipboard ----------------------------------------------------------

// Buffer and Delete give the terminal's clipboard what they put in the
// paste buffer, a line end as LF; nothing goes when nothing was buffered.
TEST_F(TerminalFeatures, BufferAndDeleteGiveTheClipboardWhatTheyBuffered)
{
    open("one\ntwo\nthree\n");
    take_output();
    keys("B" + down + right + "B");
    EXPECT_NE(take_output().find(clipboard("b25lCnQ=")), std::string::npos) << "one LF t";
    open("one\ntwo\nthree\n");
    take_output();
    keys("D" + down + "D");
    EXPECT_EQ(text_lines(), (std::vector<std::string>{"two", "three"}));
    EXPECT_NE(take_output().find(clipboard("b25lCg==")), std::string::npos) << "one LF";

    for (auto [text, base64] : {std::pair{"x", "eA=="}, {"xy", "eHk="}, {"xyz", "eHl6"}, {"xyzw", "eHl6dw=="}}) {
        open(std::string(text) + "\n");
        take_output();
        keys("B" + end + "B");
        EXPECT_NE(take_output().find(clipboard(base64)), std::string::npos) << text;
    }

    open("one\n");
    take_output();
    keys("BB" + right + "DD");
    EXPECT_EQ(count(take_output(), "\x1b]52"), 0u) << "an empty range buffers nothing";
    open(std::string(40000, 'a') + "\n");
    take_output();
    keys("B" + end + "B");
    EXPECT_EQ(message(), "--can't buffer");
    EXPECT_EQ(count(take_output(), "\x1b]52"), 0u);
    keys("SDY");                        // Delete no longer fills the paste buffer
    take_output();
    keys("D" + left + "D");
    EXPECT_EQ(text_lines()[0].size(), 39999u);
    EXPECT_EQ(count(take_output(), "\x1b]52"), 0u);
}

// Inside tmux the sequence goes as it is (for set-clipboard on) and
// through tmux's passthrough, its ESC doubled (for allow-passthrough on).
TEST_F(TerminalFeatures, InsideTmuxTheClipboardSequenceAlsoGoesThroughThePassthrough)
{
    for (auto [tmux_var, term_name] : {std::pair<const char*, const char*>{"/tmp/tmux-1/default,7,0", "screen"},
                                       {nullptr, "tmux-256color"}}) {
        tmux.set(tmux_var);
        term.set(term_name);
        open("one\n");
        take_output();
        keys("B" + end + "B");
        std::string out = take_output();
        EXPECT_NE(out.find(clipboard("b25l") + "\x1bPtmux;\x1b" + clipboard("b25l") + "\x1b\\"), std::string::npos)
            << term_name;
    }
}

// screen passes on strings of at most 768 bytes: the sequence goes in
// pieces, each its own ESC P ... ESC \, which together make it.
TEST_F(TerminalFeatures, InsideScreenTheClipboardSequenceGoesInPiecesScreenPassesOn)
{
    term.set("screen.xterm-256color");
    open(std::string(2000, 'q') + "\n");
    take_output();
    keys("B" + end + "B");
    std::string out = take_output(), joined;
    size_t pieces = 0;
    for (size_t at = 0; (at = out.find("\x1bP", at)) != std::string::npos; pieces++) {
        size_t close = out.find("\x1b\\", at);
        ASSERT_NE(close, std::string::npos);
        EXPECT_LE(close + 2 - at, 768u);
        joined += out.substr(at + 2, close - at - 2);
        at = close + 2;
    }
    std::string base64;
    for (int i = 0; i < 2000 / 3; i++)
        base64 += "cXFx";
    EXPECT_EQ(joined, clipboard(base64 + "cXE="));
    EXPECT_EQ(pieces, 4u);
    EXPECT_EQ(count(out, "\x1b]52"), 1u) << "only through screen";
}

// ---- focus and the questions ----------------------------------------------

TEST_F(TerminalFeatures, TheSetUpAsksOnceAndTurnsOnFocusReports)
{
    open("one\n");
    keys(down);
    std::string out = take_output();
    EXPECT_EQ(out.find("\x1b[?1049h\x1b[?2004h\x1b[?1004h" + questions), 0u) << out;
    EXPECT_EQ(count(out, questions), 1u);
    EXPECT_EQ(count(out, push), 0u);
}

// ---- in a pseudo-terminal ---------------------------------------------------

// A terminal with the kitty keyboard protocol: it answers the question.
void answers_keyboard_question(PtyEditor& pym)
{
    pym.answer("\x1b[?u", "\x1b[?0u");
}

bool becomes_stopped(pid_t pid)
{
    for (int i = 0; i < 200; i++) {
        std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
        std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        size_t paren = stat.rfind(')');
        if (paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] == 'T')
            return true;
        std::this_thread::sleep_for(milliseconds(10));
    }
    return false;
}

bool output_has(PtyEditor& pym, const std::string& part, size_t times = 1)
{
    return pym.wait_until([&](const Screen&) { return count(pym.output(), part) >= times; });
}

/*
 * ESC [ 27 u is the Esc key as it arrives: the command menu is drawn
 * without the 50 ms a lone ESC waits. Of five presses the quickest must
 * take less than half of that, which no wait allows and a busy machine
 * still meets.
 */
TEST(KeyboardProtocol, EscOpensTheCommandMenuWithoutWaiting)
{
    PtyEditor pym(10, 80);
    answers_keyboard_question(pym);
    pym.create_file("notes.txt", "one\n");
    pym.start({"notes.txt"});
    ASSERT_TRUE(output_has(pym, push)) << "the protocol is turned on";
    pym.settle(50);
    auto quickest = milliseconds::max();
    for (int i = 0; i < 5; i++) {
        auto sent = steady_clock::now();
        pym.send(esc_key);
        ASSERT_TRUE(pym.shows(1, menu_start)) << pym.screen().dump();
        quickest = std::min(quickest, duration_cast<milliseconds>(steady_clock::now() - sent));
        pym.send("I");
        ASSERT_TRUE(pym.wait_until([](const Screen& s) { return !s.row(1).starts_with(menu_start); }));
    }
    EXPECT_LT(quickest.count(), 25);
    pym.send("ab" + esc_key + "QEY");
    EXPECT_EQ(pym.wait_exit(), 0);
}

// A terminal that answers nothing is asked once and used as before: no
// protocol, no frames wrapped, and the kitty sequences are no keys.
TEST(KeyboardProtocol, ATerminalThatAnswersNothingIsUsedAsBefore)
{
    PtyEditor pym(10, 80);
    pym.create_file("notes.txt", "one\n");
    pym.start({"notes.txt"});
    ASSERT_TRUE(pym.shows(3, "one"));
    EXPECT_EQ(count(pym.output(), questions), 1u) << "asked at the set-up";
    pym.send("a" + esc_key + "\x1b[97;5ub");
    ASSERT_TRUE(pym.shows(3, "abone"));
    pym.press(Key::Esc);
    ASSERT_TRUE(pym.shows(1, menu_start)) << "a lone ESC, after its pause";
    pym.send("QEY");
    EXPECT_EQ(pym.wait_exit(), 0);
    for (const std::string& never : {push, pop, frame_begin, std::string("\x1b[?2027h")})
        EXPECT_EQ(count(pym.output(), never), 0u);
}

// Each push has its pop before the alternate screen is left (the two
// screens keep stacks of their own): at the exit, at the help viewer's
// hand-over, at a stop and at an abrupt end. Every set-up asks again.
TEST(KeyboardProtocol, IsPoppedAtEveryTearDownAndPushedAgainAfter)
{
    PtyEditor pym(10, 60);
    answers_keyboard_question(pym);
    pym.create_file("pym.hlp", "the help text\n");
    pym.create_file("notes.txt", "one\n");
    pym.start({"notes.txt"});
    ASSERT_TRUE(output_has(pym, push));
    pym.send(esc_key);
    pym.press(Key::F1);
    ASSERT_TRUE(pym.shows(3, "the help text")) << pym.screen().dump();
    std::string out = pym.output();
    size_t handed = out.find("\x1b[?1049l");
    ASSERT_NE(handed, std::string::npos);
    EXPECT_NE(out.rfind(pop, handed), std::string::npos) << "popped before the hand-over";
    EXPECT_GT(out.rfind(pop, handed), out.find(push));
    pym.send("q");
    ASSERT_TRUE(pym.shows(3, "one")) << pym.screen().dump();
    EXPECT_TRUE(output_has(pym, questions, 3)) << "the editor, the viewer, the editor again";
    EXPECT_TRUE(output_has(pym, push, 3));
    pym.send("QE");
    EXPECT_EQ(pym.wait_exit(), 0);
    out = pym.output();
    EXPECT_EQ(count(out, pop), count(out, push));
    EXPECT_LT(out.rfind(pop), out.rfind("\x1b[?1049l"));
    EXPECT_GT(out.rfind(pop), out.rfind(push));
}

TEST(KeyboardProtocol, IsPoppedAtAStopAndPushedAgainOnContinue)
{
    PtyEditor pym(10, 60);
    pym.run_as_job();
    answers_keyboard_question(pym);
    pym.create_file("notes.txt", "one\n");
    pym.start({"notes.txt"});
    ASSERT_TRUE(output_has(pym, push));
    pym.signal(SIGTSTP);
    ASSERT_TRUE(output_has(pym, pop));
    EXPECT_LT(pym.output().rfind(pop), pym.output().rfind("\x1b[?1049l"));
    ASSERT_TRUE(becomes_stopped(pym.editor_pid()));
    pym.signal(SIGCONT);
    EXPECT_TRUE(output_has(pym, questions, 2));
    EXPECT_TRUE(output_has(pym, push, 2));
    pym.send("x" + esc_key);
    ASSERT_TRUE(pym.shows(1, menu_start)) << pym.screen().dump();

    pym.signal(SIGTERM);
    EXPECT_EQ(pym.wait_exit(), 128 + SIGTERM);
    EXPECT_EQ(count(pym.output(), pop), 2u) << "an abrupt end pops too";
    EXPECT_LT(pym.output().rfind(pop), pym.output().rfind("\x1b[?1049l"));
}

// Focus reports go on at set-up and off at tear-down; the reports are no
// keys.
TEST(FocusReports, AreTurnedOnAndOffAndTheirReportsAreNoKeys)
{
    PtyEditor pym(10, 60);
    pym.create_file("notes.txt", "one\n");
    pym.start({"notes.txt"});
    EXPECT_NE(pym.output().find("\x1b[?1004h"), std::string::npos);
    pym.send("a\x1b[Ob\x1b[Ic");
    ASSERT_TRUE(pym.shows(3, "abcone"));
    pym.press(Key::Esc);
    pym.send("QEY");
    EXPECT_EQ(pym.wait_exit(), 0);
    EXPECT_GT(pym.output().rfind("\x1b[?1004l"), pym.output().rfind("\x1b[?1004h"));
}

}  // namespace
