// The built editor ended from outside: a closed terminal, SIGHUP, SIGTERM,
// SIGQUIT and a crash. What was typed must reach NAME.save, the file
// itself must stay as it was, and the terminal must be handed back.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/resource.h>
#include <sys/time.h>

#include "commands/file_io.h"
#include "harness/child.h"
#include "harness/editor.h"
#include "harness/pty.h"
#include "harness/small_disk.h"
#include "session/hangup.h"
#include "session/session.h"
#include "store/files.h"
#include "store/store.h"

namespace {

const std::string original = "alpha\n\tbeta\n";
// After the keys of type_into(): letters, a tab, a literal ^C, a byte
// above 127 and a line split, as Update writes them.
const std::string typed = "Hi\t\x03\xe9\nnewalpha\n\tbeta\n";
const std::string leave_alternate_screen = "\x1b[?1049l";

std::set<std::string> files_in(const PtyEditor& pym)
{
    std::set<std::string> names;
    for (const auto& e : std::filesystem::recursive_directory_iterator(pym.dir()))
        if (e.is_regular_file() && std::filesystem::relative(e.path(), pym.dir()).string().rfind(".state/", 0) != 0)
            names.insert(std::filesystem::relative(e.path(), pym.dir()).string());
    return names;
}

// Starts the editor on name (holding the original text) and types into
// it, waiting until the editor has shown the last key.
void type_into(PtyEditor& pym, const std::string& name)
{
    pym.create_file(name, original);
    pym.start({name});
    pym.send("Hi\t\x11\x03\xe9\rnew");
    ASSERT_TRUE(pym.wait_until([](const Screen& s) {
        return s.row(4) == "newalpha" && s.text(2, 60, 21) == "  Line 2    Col 4    ";
    })) << pym.screen().dump();
}

// The echo and line editing a shell needs, and CR read as a newline.
void expect_terminal_sane(const PtyEditor& pym)
{
    struct termios now = pym.terminal_settings(), was = pym.initial_settings();
    EXPECT_EQ(now.c_lflag & (ECHO | ICANON), was.c_lflag & (ECHO | ICANON));
    EXPECT_EQ(now.c_iflag & ICRNL, was.c_iflag & ICRNL);
    EXPECT_FALSE(pym.screen().alternate_screen());
    // after leaving the alternate screen, at most the line naming the saved file
    size_t left = pym.output().rfind(leave_alternate_screen);
    ASSERT_NE(left, std::string::npos);
    std::string after = pym.output().substr(left + leave_alternate_screen.size());
    EXPECT_TRUE(after.empty() || (after.rfind("pym: the text is saved in ", 0) == 0 &&
                                  after.find('\n') == after.size() - 1))
        << after;
}

}  // namespace

TEST(HangUp, ClosingTheTerminalSavesTheTypedTextBesideTheFile)
{
    PtyEditor pym;
    type_into(pym, "notes.txt");
    pym.hang_up();
    EXPECT_NE(pym.wait_exit(), -1) << "the editor is gone";
    EXPECT_EQ(pym.read_file("notes.txt.save"), typed);
    EXPECT_EQ(pym.read_file("notes.txt"), original);
    EXPECT_EQ(pym.read_file("pym.l"), "notes.txt 2 4\n");
}

class EndingSignal : public ::testing::TestWithParam<int> {};

TEST_P(EndingSignal, SavesTheTextWritesTheSessionAndRestoresTheTerminal)
{
    PtyEditor pym;
    type_into(pym, "notes.txt");
    ASSERT_EQ(pym.terminal_settings().c_lflag & ECHO, 0u) << "the editor reads without echo";
    pym.signal(GetParam());
    EXPECT_EQ(pym.wait_exit(), 128 + GetParam());
    EXPECT_EQ(pym.read_file("notes.txt.save"), typed);
    EXPECT_EQ(pym.read_file("notes.txt"), original);
    EXPECT_EQ(pym.read_file("pym.l"), "notes.txt 2 4\n");
    expect_terminal_sane(pym);
}

// Help runs the editor again as a viewer and waits for it: the signal
// still ends this run, and the viewer goes with the terminal's owner.
TEST_P(EndingSignal, EndsTheRunWhileHelpIsShown)
{
    PtyEditor pym;
    pym.create_file("pym.hlp", "the help text\n");
    type_into(pym, "notes.txt");
    pym.press(Key::F1);
    ASSERT_TRUE(pym.wait_until([](const Screen& s) { return s.row(3) == "the help text"; }))
        << pym.screen().dump();
    pym.signal(GetParam());
    EXPECT_EQ(pym.wait_exit(2000), 128 + GetParam());
    EXPECT_EQ(pym.read_file("notes.txt.save"), typed);
}

// Every signal whose default would end the process ends the run as a
// hang-up does, the text saved first.
INSTANTIATE_TEST_SUITE_P(HangUp, EndingSignal,
                         ::testing::Values(SIGHUP, SIGTERM, SIGQUIT, SIGINT, SIGUSR1, SIGUSR2, SIGALRM,
                                           SIGVTALRM, SIGPROF, SIGXCPU, SIGPWR, SIGRTMIN + 2),
                         [](const auto& info) {
                             const char* name = sigabbrev_np(info.param);
                             return name ? std::string(name) : "RT" + std::to_string(info.param);
                         });

// A name that is taken is never written, not even through a link to the
// file itself.
TEST(HangUp, AnExistingSaveFileIsKeptAndTheNextNumberUsed)
{
    PtyEditor pym;
    std::filesystem::create_symlink("notes.txt", pym.dir() + "/notes.txt.save");
    type_into(pym, "notes.txt");
    pym.signal(SIGTERM);
    EXPECT_EQ(pym.wait_exit(), 128 + SIGTERM);
    EXPECT_EQ(pym.read_file("notes.txt"), original);
    EXPECT_EQ(pym.read_file("notes.txt.save.1"), typed);
}

TEST(HangUp, TheTextOpenedByInitIsSavedBesideItsOwnFile)
{
    PtyEditor pym;
    pym.create_file("notes.txt", original);
    pym.start({"notes.txt"});
    pym.press(Key::Esc);
    pym.send("QI");
    ASSERT_TRUE(pym.wait_until([](const Screen& s) { return s.contains("file:"); }));
    pym.send("other.txt\rxyz");
    ASSERT_TRUE(pym.wait_until([](const Screen& s) { return s.row(3) == "xyz"; }));
    pym.signal(SIGQUIT);
    EXPECT_EQ(pym.wait_exit(), 128 + SIGQUIT);
    EXPECT_EQ(pym.read_file("other.txt.save"), "xyz\n");
    EXPECT_EQ(files_in(pym), (std::set<std::string>{"notes.txt", "other.txt.save", "pym.l"}));
}

TEST(HangUp, TheSaveGoesIntoTheDirectoryOfTheFile)
{
    PtyEditor pym;
    std::filesystem::create_directory(pym.dir() + "/sub");
    type_into(pym, "sub/notes.txt");
    pym.signal(SIGHUP);
    EXPECT_EQ(pym.wait_exit(), 128 + SIGHUP);
    EXPECT_EQ(pym.read_file("sub/notes.txt.save"), typed);
    EXPECT_EQ(files_in(pym), (std::set<std::string>{"pym.l", "sub/notes.txt", "sub/notes.txt.save"}));
}

TEST(HangUp, TheDefaultNameSavesToPymSave)
{
    PtyEditor pym;
    pym.start({});
    pym.send("abc");
    ASSERT_TRUE(pym.wait_until([](const Screen& s) { return s.row(3) == "abc"; }));
    pym.signal(SIGTERM);
    EXPECT_EQ(pym.wait_exit(), 128 + SIGTERM);
    EXPECT_EQ(pym.read_file("pym.save"), "abc\n") << "the empty line under a new text is not written";
    EXPECT_EQ(files_in(pym), (std::set<std::string>{"pym.l", "pym.save"}));
}

// The line naming the saved file shows the name's control bytes as ^[ and
// \x9b: a file name cannot drive the terminal it is printed on (here,
// switch to the alternate screen or retitle the window). Characters of the
// locale stay as they are.
TEST(HangUp, TheLineNamingTheSavedFileShowsControlBytesSafely)
{
    const std::string sequences = "\x1b[?1049h\x1b]2;owned\x07\x7f";
    struct {
        const char* locale;
        std::string name, shown;
    } runs[] = {
        {"C", sequences + "\x9b" "caf\xc3\xa9", "^[[?1049h^[]2;owned^G^?\\x9bcaf\xc3\xa9"},
        // U+009B is CSI too, in UTF-8
        {"C.UTF-8", sequences + "\xc2\x9b" "caf\xc3\xa9\xff",
         "^[[?1049h^[]2;owned^G^?\\xc2\\x9bcaf\xc3\xa9\\xff"},
    };
    for (const auto& run : runs) {
        PtyEditor pym;
        pym.use_locale(run.locale);
        type_into(pym, run.name);
        pym.signal(SIGHUP);
        EXPECT_EQ(pym.wait_exit(), 128 + SIGHUP);
        EXPECT_EQ(pym.read_file(run.name + ".save"), typed) << run.locale;
        size_t left = pym.output().rfind(leave_alternate_screen);
        ASSERT_NE(left, std::string::npos);
        EXPECT_EQ(pym.output().substr(left + leave_alternate_screen.size()),
                  "pym: the text is saved in " + run.shown + ".save\r\n")
            << run.locale;
        EXPECT_FALSE(pym.screen().alternate_screen()) << run.locale;
    }
}

TEST(HangUp, AnUnmodifiedTextLeavesNoSaveFile)
{
    PtyEditor pym;
    pym.create_file("notes.txt", original);
    pym.start({"notes.txt"});
    pym.press(Key::Down);
    pym.press(Key::End);
    ASSERT_TRUE(pym.wait_until([](const Screen& s) { return s.text(2, 60, 21) == "  Line 2    Col 13   "; }));
    pym.hang_up();
    EXPECT_NE(pym.wait_exit(), -1);
    EXPECT_EQ(files_in(pym), (std::set<std::string>{"notes.txt", "pym.l"}));
    EXPECT_EQ(pym.read_file("pym.l"), "notes.txt 2 6\n") << "the column counts bytes";
}

TEST(HangUp, ATextAlreadyUpdatedLeavesNoSaveFile)
{
    PtyEditor pym;
    type_into(pym, "notes.txt");
    pym.press(Key::Esc);
    pym.send("QU");
    // the message line is cleared once the write is over
    ASSERT_TRUE(pym.wait_until([](const Screen& s) { return s.row(2) == "--"; })) << pym.screen().dump();
    ASSERT_EQ(pym.read_file("notes.txt"), typed);
    pym.signal(SIGTERM);
    EXPECT_EQ(pym.wait_exit(), 128 + SIGTERM);
    EXPECT_EQ(files_in(pym), (std::set<std::string>{"notes.txt", "pym.l"}));
}

// The bytes of a paste whose end marker has not come when the run ends
// are in the text the emergency file holds, where they would have gone:
// a hang-up before the paste stalls, a SIGTERM after.
TEST(HangUp, InTheMiddleOfAPasteSavesTheTextWithWhatArrived)
{
    for (bool stalled : {false, true}) {
        PtyEditor pym;
        pym.create_file("notes.txt", original);
        pym.start({"notes.txt"});
        pym.send("\x1b[200~pasted\rline ");
        if (stalled) {
            ASSERT_TRUE(pym.wait_until([](const Screen& s) { return s.contains("paste not ended"); }))
                << pym.screen().dump();
            pym.signal(SIGTERM);
            EXPECT_EQ(pym.wait_exit(), 128 + SIGTERM);
        } else {
            usleep(300000);     // read by the editor, still a paste
            pym.hang_up();
            EXPECT_NE(pym.wait_exit(), -1) << "the editor is gone";
        }
        EXPECT_EQ(pym.read_file("notes.txt.save"), "pasted\nline " + original) << "stalled: " << stalled;
        EXPECT_EQ(pym.read_file("notes.txt"), original);
    }
}

class CrashSignal : public ::testing::TestWithParam<int> {};

// A fault cannot be caused from outside without a bug to trigger, so the
// crash signals are delivered with kill(): the handler runs just as it
// would for a fault. No core file is wanted from it.
TEST_P(CrashSignal, SavesTheTextAndRestoresTheTerminal)
{
    struct rlimit no_core = {0, 0};
    ASSERT_EQ(setrlimit(RLIMIT_CORE, &no_core), 0);
    PtyEditor pym;
    type_into(pym, "notes.txt");
    pym.signal(GetParam());
    EXPECT_EQ(pym.wait_exit(), 128 + GetParam()) << "the run ends by the signal itself";
    EXPECT_EQ(pym.read_file("notes.txt.save"), typed);
    EXPECT_EQ(pym.read_file("notes.txt"), original);
    expect_terminal_sane(pym);
}

INSTANTIATE_TEST_SUITE_P(HangUp, CrashSignal, ::testing::Values(SIGSEGV, SIGBUS, SIGABRT, SIGFPE),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

// A name one step too long for the file system cannot take ".save": the
// text goes to pym.save in the current directory, and the line left on
// the terminal says so.
TEST(HangUp, ASaveThatCannotBeMadeBesideTheFileGoesToPymSave)
{
    PtyEditor pym;
    std::string name(250, 'n');
    type_into(pym, name + ".txt");
    pym.signal(SIGTERM);
    EXPECT_EQ(pym.wait_exit(), 128 + SIGTERM);
    EXPECT_EQ(pym.read_file("pym.save"), typed);
    EXPECT_NE(pym.output().find("pym: the text is saved in pym.save\r\n"), std::string::npos);
    expect_terminal_sane(pym);
}

// On a full disk neither NAME.save nor ./pym.save can be written: what was
// begun is removed, and the text lands in $HOME.
TEST(HangUp, OnAFullDiskTheSaveGoesToTheHomeDirectoryAndLeavesNoPartialFile)
{
    PtyEditor pym;
    SmallDisk disk(64, pym.dir());
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    char home[] = "/tmp/pym-home-XXXXXX";
    ASSERT_NE(mkdtemp(home), nullptr);
    std::string old_home = getenv("HOME") ? getenv("HOME") : "";
    setenv("HOME", home, 1);
    std::string big(20000, 'b');
    pym.create_file("notes.txt", big + "\n");
    disk.fill(4096);
    pym.start({"notes.txt"});
    setenv("HOME", old_home.c_str(), 1);
    pym.send("x");
    ASSERT_TRUE(pym.wait_until([](const Screen& s) { return s.text(2, 60, 21) == "  Line 1    Col 2    "; }));
    pym.signal(SIGTERM);
    EXPECT_EQ(pym.wait_exit(), 128 + SIGTERM);
    std::string saved = std::string(home) + "/pym.save";
    std::ifstream in(saved, std::ios::binary);
    std::stringstream got;
    got << in.rdbuf();
    EXPECT_EQ(got.str(), "x" + big + "\n");
    for (const std::string& f : files_in(pym))
        EXPECT_EQ(f.find(".save"), std::string::npos) << f << " was left behind";
    EXPECT_NE(pym.output().find("pym: the text is saved in " + saved), std::string::npos);
    std::filesystem::remove_all(home);
}

// A terminal that has stopped reading (the editor blocked in a write) does
// not keep a SIGTERM from ending the run.
TEST(HangUp, SigtermEndsTheRunWhenTheTerminalTakesNoOutput)
{
    PtyEditor pym;
    std::string text;
    for (int i = 0; i < 3000; i++)
        text += std::string(70, char('a' + i % 26)) + "\n";
    pym.create_file("long.txt", text);
    pym.start({"long.txt"});
    pym.press(Key::Esc);
    pym.settle();
    for (int i = 0; i < 120; i++) {
        pym.press(Key::PageDown);
        pym.press(Key::PageUp);
    }
    usleep(500000);             // the editor now waits for the terminal to take its output
    pym.signal(SIGTERM);
    EXPECT_EQ(pym.wait_exit(3000, false), 128 + SIGTERM);
}

// ---- in the test process, the run ended in a child ------------------------

class SignalInMidChange : public EditorTest {
protected:
    static void raise_once()
    {
        after_move = nullptr;
        raise(SIGTERM);
    }
    // Runs keys in a child whose first block move of the text meets a
    // SIGTERM; returns the exit code.
    int run_hit(const std::string& keys)
    {
        return in_child([&] {
            install_hangup_handlers();
            after_move = raise_once;
            press(Key::Esc);
            type(keys);
            run(command_loop);
            return 0;           // the signal never ended the run
        });
    }
};

TEST_F(SignalInMidChange, TheEmergencyFileHoldsTheWholeChangedText)
{
    struct Case {
        std::string keys, saved;
    } cases[] = {
        // the run ends once the change the signal met is over
        {"b" + std::string(key_bytes(Key::Down)) + "b3c", "one\none\ntwo\nthree\n"},
        {"iXY", "Xone\ntwo\nthree\n"},
        {"gother.txt\r", "o1\no2\none\ntwo\nthree\n"},
        {"9rt\rTTT\r", "one\nTTTwo\nTTThree\n"},   // every match in one change
    };
    for (const Case& c : cases) {
        open("one\ntwo\nthree\n", 80, 25, 4096);
        create_file("other.txt", "o1\no2");
        std::filesystem::remove("t.txt.save");
        EXPECT_EQ(run_hit(c.keys), 128 + SIGTERM) << c.keys;
        EXPECT_EQ(read_file("t.txt.save"), c.saved) << c.keys;
    }
}

// A stop waits for the change it meets, as an ending does, and then does
// not end the run. The child is in a session of its own, a process group
// that nobody could continue, so the kernel itself drops the stop.
TEST_F(SignalInMidChange, AStopWaitsForTheChangeAndTheRunGoesOn)
{
    open("one\ntwo\nthree\n", 80, 25, 4096);
    int code = in_child([this] {
        setsid();
        install_hangup_handlers();
        after_move = [] {
            after_move = nullptr;
            raise(SIGTSTP);
            if (deferred_signal != SIGTSTP)
                _exit(3);       // it was not kept for the end of the change
        };
        press(Key::Esc);
        type("iXY");
        run(command_loop);
        return deferred_signal == 0 && text_lines() == std::vector<std::string>{"XYone", "two", "three"} ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
}

// A hang-up while Update writes its temporary file removes that file.
TEST_F(SignalInMidChange, AHangUpDuringUpdateLeavesNoTemporaryFile)
{
    open("old\n", 80, 25, 80u << 20);
    int code = in_child([] {
        set_text({std::string(64u << 20, 'x')});
        modified = 1;
        install_hangup_handlers();
        struct itimerval soon = {{0, 0}, {0, 10000}};
        setitimer(ITIMER_REAL, &soon, nullptr);
        write_file("t.txt");
        return 0;
    });
    EXPECT_EQ(code, 128 + SIGALRM) << "the alarm came during the write";
    EXPECT_EQ(read_file("t.txt"), "old\n");
    for (const auto& e : std::filesystem::directory_iterator("."))
        EXPECT_EQ(e.path().filename().string().find(".pym-save-"), std::string::npos);
}

TEST_F(SignalInMidChange, ASaveBeyondTheFileSizeLimitFailsWithTheUsualMessage)
{
    open("old\n");
    int code = in_child([this] {
        install_hangup_handlers();
        struct rlimit limit = {100, 100};
        setrlimit(RLIMIT_FSIZE, &limit);
        set_text({std::string(5000, 'n')});
        modified = 1;
        return !save_text("t.txt") && screen().row(2) == "----> can't write 't.txt'" ? 0 : 1;
    });
    EXPECT_EQ(code, 0) << "SIGXFSZ did not end the run";
    EXPECT_EQ(read_file("t.txt"), "old\n");
}

TEST_F(SignalInMidChange, TheEmergencyFileOfACrLfTextHasCrLfLines)
{
    open("one\r\ntwo\r\n");
    modified = 1;
    std::string saved = emergency_save();
    EXPECT_EQ(saved, "t.txt.save");
    EXPECT_EQ(read_file("t.txt.save"), "one\r\ntwo\r\n");
}
