// The recovery journal in the built editor: a SIGKILL at any moment loses
// nothing that was on the screen, whatever became of the file; a second
// editor on a file is asked about; nothing on disk is overwritten unasked.
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "harness/pty.h"

namespace fs = std::filesystem;
using namespace std::chrono;

namespace {

const std::string original = "alpha\nbeta\ngamma\n";

std::string pasted(const std::string& text)
{
    return "\x1b[200~" + text + "\x1b[201~";
}

// The journals the editor keeps in the test's directory.
std::vector<std::string> journals(const PtyEditor& pym)
{
    std::vector<std::string> names;
    fs::path dir = fs::path(pym.dir()) / ".state" / "pym";
    if (fs::exists(dir))
        for (const auto& e : fs::directory_iterator(dir))
            names.push_back(e.path().filename());
    return names;
}

// Starts the editor on notes.txt, which holds the original text.
void start_on_notes(PtyEditor& pym)
{
    pym.create_file("notes.txt", original);
    pym.start({"notes.txt"});
}

bool status_is(PtyEditor& pym, int line, int col)
{
    char s[40];
    snprintf(s, sizeof s, "  Line %-4d Col %-5d", line, col);
    return pym.shows(2, s, 60);
}

void kill_editor(PtyEditor& pym)
{
    pym.signal(SIGKILL);
    ASSERT_EQ(pym.wait_exit(), 128 + SIGKILL);
}

// Starts an editor on name in the directory of before, which was killed;
// it asks about the unsaved changes.
void start_after(PtyEditor& again, const PtyEditor& before, const std::string& name)
{
    again.share_directory(before);
    again.start({name});
    ASSERT_TRUE(again.wait_until([](const Screen& s) {
        return s.row(2).find("----> unsaved changes from ") == 0 && s.row(2).find(" found. Recover ? (y/n)") != std::string::npos;
    })) << again.screen().dump();
}

// Answers yes, saves and exits: what the recovered text is.
std::string recovered(PtyEditor& again, const std::string& name)
{
    again.send("y");
    again.settle(60);
    again.press(Key::Esc);
    again.send("QUE");
    EXPECT_EQ(again.wait_exit(10000), 0) << again.screen().dump();
    return again.read_file(name).value_or("(no file)");
}

// Sends keys that would overwrite name: the editor asks (row 2 shows
// question), N answers, and the file holds what it held.
void overwrite_refused(PtyEditor& pym, const std::string& keys, const std::string& question,
                       const std::string& name)
{
    std::optional<std::string> before = pym.read_file(name);
    pym.send(keys);
    ASSERT_TRUE(pym.shows(2, question)) << pym.screen().dump();
    pym.send("n");
    EXPECT_EQ(pym.read_file(name), before);
}

}  // namespace

TEST(Journal, TypedTextComesBackAfterAKillWithTheCursorAtTheLastChange)
{
    PtyEditor pym;
    start_on_notes(pym);
    pym.send("one ");
    pym.press(Key::Down);
    pym.send("two\rthree");
    ASSERT_TRUE(status_is(pym, 3, 6)) << pym.screen().dump();
    kill_editor(pym);
    EXPECT_EQ(pym.read_file("notes.txt"), original) << "the file itself is untouched";
    ASSERT_EQ(journals(pym).size(), 1u);
    EXPECT_EQ(journals(pym)[0].rfind("%tmp%pym-pty-", 0), 0u) << "named after the file's path";

    PtyEditor again;
    start_after(again, pym, "notes.txt");
    again.send("y");
    ASSERT_TRUE(status_is(again, 3, 6)) << "where the last change was\n" << again.screen().dump();
    EXPECT_EQ(again.screen().row(3), "one alpha");
    again.press(Key::Esc);
    again.send("Q");
    ASSERT_TRUE(again.shows(2, "----> 'notes.txt' * ")) << "recovered, the text is modified\n" << again.screen().dump();
    again.send("UE");
    EXPECT_EQ(again.wait_exit(), 0);
    EXPECT_EQ(again.read_file("notes.txt"), "one alpha\nbetatwo\nthree\ngamma\n");
    EXPECT_TRUE(journals(again).empty()) << "a normal end leaves no journal";
}

TEST(Journal, APasteComesBackWholeEvenWhenTheFileWasChangedOrDeletedSince)
{
    for (bool deleted : {false, true}) {
        PtyEditor pym;
        start_on_notes(pym);
        std::string paste;
        for (int i = 0; i < 2000; i++)
            paste += "pasted line " + std::to_string(i) + "\n";
        pym.send(pasted(paste));
        ASSERT_TRUE(status_is(pym, 2001, 1)) << pym.screen().dump();
        kill_editor(pym);
        if (deleted)
            fs::remove(pym.dir() + "/notes.txt");
        else
            pym.create_file("notes.txt", "something else entirely\n");

        PtyEditor again;
        start_after(again, pym, "notes.txt");
        EXPECT_EQ(recovered(again, "notes.txt"), paste + original) << (deleted ? "deleted" : "changed");
    }
}

TEST(Journal, NoPutsTheUnsavedTextInNameSaveAndOpensTheFileAsItIs)
{
    PtyEditor pym;
    start_on_notes(pym);
    pym.send("kept ");
    ASSERT_TRUE(status_is(pym, 1, 6));
    kill_editor(pym);

    PtyEditor again;
    start_after(again, pym, "notes.txt");
    again.send("n");
    ASSERT_TRUE(again.shows(2, "----> unsaved changes saved in 'notes.txt.save'")) << again.screen().dump();
    EXPECT_EQ(again.screen().row(3), "alpha");
    EXPECT_EQ(again.read_file("notes.txt.save"), "kept " + original);
    EXPECT_EQ(journals(again).size(), 1u) << "only the new editor's own";
    again.press(Key::Esc);
    again.send("QE");
    EXPECT_EQ(again.wait_exit(), 0);
    EXPECT_TRUE(journals(again).empty());
}

TEST(Journal, NoJournalIsLeftAfterUpdateAfterExitOrAfterAnUnchangedRun)
{
    PtyEditor pym;
    start_on_notes(pym);
    EXPECT_EQ(journals(pym).size(), 1u) << "made when the text is opened for editing";
    pym.send("x");
    ASSERT_TRUE(status_is(pym, 1, 2));
    pym.press(Key::Esc);
    pym.send("QU");
    ASSERT_TRUE(pym.shows(2, "--   ")) << pym.screen().dump();
    EXPECT_TRUE(journals(pym).empty()) << "the text is in its file";
    pym.press(Key::Esc);
    pym.send("iy");
    ASSERT_TRUE(status_is(pym, 1, 3));
    EXPECT_EQ(journals(pym).size(), 1u) << "a new change, a new journal";
    pym.press(Key::Esc);
    pym.send("QEy");
    EXPECT_EQ(pym.wait_exit(), 0);
    EXPECT_TRUE(journals(pym).empty()) << "Exit ignoring the change";
    EXPECT_EQ(pym.read_file("notes.txt"), "x" + original);

    PtyEditor view;
    view.share_directory(pym);
    view.start({"notes.txt", "r"});
    EXPECT_TRUE(journals(view).empty()) << "viewing keeps none";
}

TEST(Journal, ASecondEditorIsAskedAboutAndNoViewsTheFile)
{
    PtyEditor first;
    start_on_notes(first);

    PtyEditor second;
    second.share_directory(first);
    second.start({"notes.txt"});
    std::string question =
        "----> 'notes.txt' is being edited by process " + std::to_string(first.editor_pid()) + ". Edit anyway ? (y/n)";
    ASSERT_TRUE(second.shows(2, question)) << second.screen().dump();
    second.send("n");
    ASSERT_TRUE(second.shows(1, "<curs> Again Find Jump Put Quit @")) << "view mode\n" << second.screen().dump();
    second.send("Q");
    EXPECT_EQ(second.wait_exit(), 0);

    PtyEditor third;
    third.share_directory(first);
    third.start({"notes.txt"});
    ASSERT_TRUE(third.shows(2, question)) << third.screen().dump();
    third.send("y");
    ASSERT_TRUE(third.shows(1, "INSERT: <curs> Ins - exchange")) << third.screen().dump();
    EXPECT_EQ(journals(third).size(), 2u) << "a journal of its own, beside the other";
    first.send("from the first ");
    third.send("from the third ");
    ASSERT_TRUE(status_is(third, 1, 16));
    kill_editor(third);
    first.press(Key::Esc);
    first.send("QU");
    ASSERT_TRUE(first.shows(2, "--   ")) << first.screen().dump();
    first.send("E");
    EXPECT_EQ(first.wait_exit(), 0);

    // the third editor's work is offered, and saved beside the file on N
    PtyEditor fourth;
    start_after(fourth, first, "notes.txt");
    fourth.send("n");
    ASSERT_TRUE(fourth.shows(2, "----> unsaved changes saved in 'notes.txt.save'")) << fourth.screen().dump();
    EXPECT_EQ(fourth.read_file("notes.txt.save"), "from the third " + original);
    EXPECT_EQ(fourth.read_file("notes.txt"), "from the first " + original);
}

TEST(Journal, UpdateAsksBeforeOverwritingAFileAnotherProgramChanged)
{
    PtyEditor pym;
    start_on_notes(pym);
    pym.send("mine ");
    ASSERT_TRUE(status_is(pym, 1, 6));

    // a touch alone asks nothing
    std::string path = pym.dir() + "/notes.txt";
    struct timespec later[2] = {{0, UTIME_NOW}, {0, UTIME_NOW}};
    utimensat(AT_FDCWD, path.c_str(), later, 0);
    pym.press(Key::Esc);
    pym.send("QU");
    ASSERT_TRUE(pym.shows(2, "--   ")) << pym.screen().dump();
    EXPECT_EQ(pym.read_file("notes.txt"), "mine " + original);

    // a second writer: asked, and N writes nothing
    pym.press(Key::Esc);
    pym.send("iagain ");
    ASSERT_TRUE(status_is(pym, 1, 12));
    pym.create_file("notes.txt", "theirs\n");
    pym.press(Key::Esc);
    pym.send("QU");
    ASSERT_TRUE(pym.shows(2, "----> 'notes.txt' was changed by another program. Overwrite ? (y/n)")) << pym.screen().dump();
    pym.send("n");
    ASSERT_TRUE(pym.shows(1, "QUIT: Exit Update Write Init")) << "the Quit menu stays open";
    EXPECT_EQ(pym.read_file("notes.txt"), "theirs\n");
    pym.press(Key::Esc);
    pym.send("&y");
    ASSERT_TRUE(pym.shows(2, "----> 'notes.txt' was changed by another program. Overwrite ? (y/n)")) << pym.screen().dump();
    pym.send("y");
    EXPECT_EQ(pym.wait_exit(), 0);
    EXPECT_EQ(pym.read_file("notes.txt"), "mine again " + original);
}

TEST(Journal, AFileSwappedForASymbolicLinkIsAChange)
{
    PtyEditor pym;
    pym.create_file("private.txt", "not for the editor\n");
    start_on_notes(pym);
    pym.send("x");
    ASSERT_TRUE(status_is(pym, 1, 2));
    std::string dir = pym.dir();
    fs::remove(dir + "/notes.txt");
    fs::create_symlink(dir + "/private.txt", dir + "/notes.txt");
    pym.press(Key::Esc);
    overwrite_refused(pym, "QU", "----> 'notes.txt' was changed by another program. Overwrite ? (y/n)", "private.txt");
    EXPECT_EQ(pym.read_file("private.txt"), "not for the editor\n");
}

TEST(Journal, WriteElsewhereLeavesTheTextModifiedAndAsksBeforeReplacingAFile)
{
    PtyEditor pym;
    pym.create_file("abc.txt", "someone's file\n");
    start_on_notes(pym);
    pym.send("x");
    pym.press(Key::Esc);
    overwrite_refused(pym, "QWabc.txt\r", "----> 'abc.txt' exists. Overwrite ? (y/n)", "abc.txt");
    EXPECT_EQ(pym.read_file("abc.txt"), "someone's file\n");
    pym.send("Wcopy.txt\r");
    ASSERT_TRUE(pym.shows(2, "--   ")) << pym.screen().dump();
    EXPECT_EQ(pym.read_file("copy.txt"), "x" + original);
    pym.send("E");
    ASSERT_TRUE(pym.shows(2, "----> ignore the changes ? (y/n)")) << "notes.txt never got the change\n"
                                                                  << pym.screen().dump();
    pym.send("n");
    pym.press(Key::Esc);
    pym.press(Key::Esc);
    overwrite_refused(pym, "PPabc.txt\r", "----> 'abc.txt' exists. Overwrite ? (y/n)", "abc.txt");
    EXPECT_EQ(pym.read_file("abc.txt"), "someone's file\n");
}

// A journal directory that is a symbolic link or another user's is not
// used; with no other place either, the first change says so once, and
// editing goes on.
TEST(Journal, WithoutAUsableDirectoryTheFirstChangeSaysSoAndEditingGoesOn)
{
    for (const char* kind : {"link", "other owner", "read-only"}) {
        PtyEditor pym;
        pym.create_file("notes.txt", original);
        std::string state = pym.dir() + "/state", real = pym.dir() + "/elsewhere";
        fs::create_directories(real + "/pym");
        fs::create_directories(state);
        if (std::string(kind) == "link") {
            fs::create_directory_symlink(real + "/pym", state + "/pym");
        } else {
            fs::create_directory(state + "/pym");
            ASSERT_EQ(chown((state + "/pym").c_str(), std::string(kind) == "other owner" ? 65534 : 0, 0), 0);
        }
        if (std::string(kind) == "read-only") {
            if (geteuid() != 0)
                GTEST_SKIP() << "needs root to run the editor as another user";
            chmod(pym.dir().c_str(), 0777);
            chmod(state.c_str(), 0777);
            ASSERT_EQ(chown((state + "/pym").c_str(), 65534, 65534), 0);
            chmod((state + "/pym").c_str(), 0500);
            chmod((pym.dir() + "/notes.txt").c_str(), 0666);
            pym.run_as_user(65534);
        }
        pym.set_environment("XDG_STATE_HOME", state);
        pym.set_environment("TMPDIR", "/proc/self");    // no fallback either
        pym.start({"notes.txt"});
        pym.send("ab");
        ASSERT_TRUE(pym.shows(2, "----> no recovery journal: ")) << kind << "\n" << pym.screen().dump();
        pym.send("c");
        ASSERT_TRUE(status_is(pym, 1, 4)) << kind;
        pym.press(Key::Esc);
        pym.send("QU");
        ASSERT_TRUE(pym.shows(2, "--   ")) << kind << "\n" << pym.screen().dump();
        EXPECT_EQ(pym.read_file("notes.txt"), "abc" + original) << kind;
        EXPECT_TRUE(fs::is_empty(real + "/pym")) << kind;
    }
}

namespace {

// Sends keys and kills the editor after delay_us, whether or not the keys
// have had their effect; what a new start recovers of it.
std::string recovered_after_kill(PtyEditor& pym, const std::string& name, const std::string& keys, int delay_us)
{
    pym.send(keys);
    std::this_thread::sleep_for(microseconds(delay_us));
    pym.signal(SIGKILL);
    EXPECT_EQ(pym.wait_exit(), 128 + SIGKILL);
    PtyEditor again;
    again.share_directory(pym);
    again.start({name});
    if (!again.wait_until([](const Screen& s) { return s.row(2).find(" found. Recover ? ") != std::string::npos; }))
        return "(nothing to recover)";
    return recovered(again, name);
}

}  // namespace

// A kill that lands while a Replace of 7,000 matches or its undo runs
// gives back the text as it was before the command, or as after it.
TEST(Journal, AKillDuringAReplaceOfSevenThousandMatchesOrItsUndoLosesNothing)
{
    std::string text, replaced;
    for (int i = 0; i < 7000; i++) {
        text += "a needle in line " + std::to_string(i) + "\n";
        replaced += "a pin in line " + std::to_string(i) + "\n";
    }
    const std::string replace = "9999Rneedle\rpin\r";
    for (int delay : {0, 2000, 20000}) {
        PtyEditor pym;
        pym.create_file("hay.txt", text);
        pym.start({"hay.txt"});
        pym.send("x");
        ASSERT_TRUE(status_is(pym, 1, 2));
        pym.press(Key::Esc);
        std::string got = recovered_after_kill(pym, "hay.txt", replace, delay);
        EXPECT_TRUE(got == "x" + text || got == "x" + replaced) << "killed " << delay << " us into the Replace";
    }
    for (int delay : {0, 2000, 20000}) {
        PtyEditor pym;
        pym.create_file("hay.txt", text);
        pym.start({"hay.txt"});
        pym.press(Key::Esc);
        pym.send(replace);
        ASSERT_TRUE(pym.wait_until([](const Screen& s) { return s.row(3).rfind("a pin", 0) == 0; })) << pym.screen().dump();
        std::string got = recovered_after_kill(pym, "hay.txt", "U", delay);
        EXPECT_TRUE(got == text || got == replaced) << "killed " << delay << " us into the undo";
    }
}

// A journal without unsaved changes (an editor killed before the first)
// is no lock and no recovery: a new start takes the file without a word.
// One of an editor on another host (a shared home) is a lock, named so.
TEST(Journal, AnEmptyJournalIsDroppedAndAnotherHostsIsALock)
{
    PtyEditor pym;
    start_on_notes(pym);
    kill_editor(pym);
    ASSERT_EQ(journals(pym).size(), 1u);

    PtyEditor again;
    again.share_directory(pym);
    again.start({"notes.txt"});
    EXPECT_TRUE(again.shows(1, "INSERT: <curs> Ins - exchange")) << again.screen().dump();
    EXPECT_EQ(again.screen().row(2).find("?"), std::string::npos) << again.screen().dump();
    again.send("x");
    ASSERT_TRUE(status_is(again, 1, 2));
    std::string journal = again.dir() + "/.state/pym/" + journals(again)[0];
    kill_editor(again);
    {
        std::fstream f(journal, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(16);            // the host's name, after the magic and the process number
        f.write("elsewhere", 10);
    }
    PtyEditor third;
    third.share_directory(pym);
    third.start({"notes.txt"});
    ASSERT_TRUE(third.wait_until([](const Screen& s) {
        return s.row(2).find(" on elsewhere. Edit anyway ?") != std::string::npos;
    })) << third.screen().dump();
    third.send("n");
    EXPECT_TRUE(third.shows(1, "<curs> Again Find Jump Put Quit @")) << third.screen().dump();
}

// Coming back to the editor's window (a terminal that reports focus) looks
// at the file: a change by another program is said on row 2 at once; the
// window coming back with the file as it was says nothing.
TEST(Journal, RegainingTheFocusSaysWhenTheFileWasChanged)
{
    PtyEditor pym;
    start_on_notes(pym);
    pym.send("x");
    ASSERT_TRUE(status_is(pym, 1, 2));
    pym.send("\x1b[O\x1b[I");
    pym.settle(100);
    EXPECT_EQ(pym.screen().row(2).find("changed"), std::string::npos) << pym.screen().dump();
    pym.send("\x1b[O");
    pym.create_file("notes.txt", "theirs\n");
    pym.send("\x1b[I");
    ASSERT_TRUE(pym.shows(2, "----> 'notes.txt' was changed by another program")) << pym.screen().dump();
    EXPECT_TRUE(status_is(pym, 1, 2)) << "the status stays";
}

// Past twice the text's size (and 16 MiB), the journal starts afresh from
// a copy of the text: it stays bounded, and still gives the text back.
TEST(Journal, ALongJournalStartsAfreshAndStillGivesTheTextBack)
{
    PtyEditor pym;
    start_on_notes(pym);
    std::string paste;
    for (int i = 0; paste.size() < (4 << 20); i++)
        paste += "pasted line " + std::to_string(i) + "\n";
    pym.press(Key::Esc);
    pym.send(pasted(paste));
    std::string lines = std::to_string(std::count(paste.begin(), paste.end(), '\n') + 1);
    ASSERT_TRUE(pym.wait_until([&](const Screen& s) { return s.row(2).find("Line " + lines + " ") != std::string::npos; }, 20000))
        << pym.screen().dump();
    for (int i = 0; i < 5; i++) {
        pym.send("U");
        ASSERT_TRUE(pym.wait_until([](const Screen& s) { return s.row(3) == "alpha"; }, 20000)) << pym.screen().dump();
        pym.send("\x12");
        ASSERT_TRUE(pym.wait_until([](const Screen& s) { return s.row(3) == "pasted line 0"; }, 20000))
            << pym.screen().dump();
    }
    ASSERT_EQ(journals(pym).size(), 1u);
    auto size = fs::file_size(pym.dir() + "/.state/pym/" + journals(pym)[0]);
    EXPECT_LT(size, uintmax_t(16 << 20)) << "five redos of 4 MiB would make more than 20";
    kill_editor(pym);
    PtyEditor again;
    start_after(again, pym, "notes.txt");
    EXPECT_TRUE(recovered(again, "notes.txt") == paste + original);
}
