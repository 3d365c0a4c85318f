// The session file pym.l through the built editor: a name with blanks
// reopens exactly, records edited by hand, and editors that end together
// in one directory.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "harness/child.h"
#include "harness/pty.h"

namespace {

// Thirty lines, "NAME line 1" to "NAME line 30": the first row tells the files apart.
std::string lines_of(const std::string& name)
{
    std::string text;
    for (int i = 1; i <= 30; i++)
        text += name + " line " + std::to_string(i) + "\n";
    return text;
}

std::string status(const Screen& s)
{
    return s.text(2, 60, 21);
}

// Starts "pym +" over this session file, among files of these names.
void resume(PtyEditor& pym, const std::string& record, const std::vector<std::string>& names)
{
    for (const std::string& name : names)
        pym.create_file(name, lines_of(name));
    pym.create_file("pym.l", record);
    pym.start({"+"});
}

}  // namespace

// "my" may be someone else's file: "my notes.txt" must not open it.
TEST(SessionFile, ANameWithBlanksReopensAtItsLineAndColumn)
{
    PtyEditor first(25, 80);
    first.create_file("my notes.txt", lines_of("notes"));
    first.start({"my notes.txt"});
    first.press(Key::Down, 2);
    first.press(Key::Right, 3);
    ASSERT_TRUE(first.wait_until([](const Screen& s) { return status(s) == "  Line 3    Col 4    "; }))
        << first.screen().dump();
    first.press(Key::Esc);
    first.send("qe");
    ASSERT_EQ(first.wait_exit(), 0);
    std::optional<std::string> record = first.read_file("pym.l");
    ASSERT_EQ(record, "my notes.txt 3 4\n");

    PtyEditor again(25, 80);
    again.create_file("my", "someone else's file\n");
    resume(again, *record, {"my notes.txt"});
    EXPECT_EQ(again.screen().row(3), "my notes.txt line 1") << again.screen().dump();
    EXPECT_EQ(status(again.screen()), "  Line 3    Col 4    ");
    EXPECT_EQ(again.screen().cursor_row(), 5);
    EXPECT_EQ(again.screen().cursor_col(), 4);
    again.press(Key::Esc);
    again.send("qe");
    EXPECT_EQ(again.wait_exit(), 0);
    EXPECT_EQ(again.read_file("pym.l"), "my notes.txt 3 4\n");
    EXPECT_EQ(again.read_file("my"), "someone else's file\n");
}

// The line and the column are taken from the end of the first line, the
// name from what is before them; without two numbers there, as many as
// there are, and the rest is the name.
TEST(SessionFile, RecordsEditedByHandAreReadFromTheirEnd)
{
    struct {
        const char* record;
        const char* name;       // the file whose first line row 3 shows
        const char* status;
    } cases[] = {
        {"notes.txt  12 5\n", "notes.txt ", "  Line 12   Col 5    "},
        {"notes.txt 12 5\r\nother 2 2\n", "notes.txt", "  Line 12   Col 5    "},
        {"notes.txt 7\n", "notes.txt", "  Line 7    Col 1    "},
        {"my notes.txt\n", "my notes.txt", "  Line 1    Col 1    "},
        {"chapter 9 4 2\n", "chapter 9", "  Line 4    Col 2    "},
    };
    for (const auto& c : cases) {
        PtyEditor pym(25, 80);
        resume(pym, c.record, {"notes.txt", "notes.txt ", "my", "my notes.txt", "chapter", "chapter 9"});
        EXPECT_EQ(pym.screen().row(3), std::string(c.name) + " line 1") << c.record;
        EXPECT_EQ(status(pym.screen()), c.status) << c.record;
    }
}

// A session file the user may not write is neither read nor replaced
// (the directory would allow a rename over it); a symbolic link stays a
// link, and what it names is not written.
TEST(SessionFile, AReadOnlySessionFileOrALinkIsLeftAsItIs)
{
    PtyEditor pym(25, 80);
    const std::string record = "notes.txt 5 5\n";
    pym.create_file("notes.txt", lines_of("notes"));
    pym.create_file("pym.l", record);
    const std::string session = pym.dir() + "/pym.l";
    ASSERT_EQ(chmod(session.c_str(), 0444), 0);
    ASSERT_EQ(chmod(pym.dir().c_str(), 0777), 0);
    // root may write anything: the run is nobody's
    int code = in_child([&] {
        if (!become_nobody())
            return 99;
        pym.start({"+"});
        bool defaults = pym.screen().row(2).find("can't open") != std::string::npos;
        pym.press(Key::Esc);
        pym.send("qe");
        return pym.wait_exit() == 0 ? defaults ? 0 : 2 : 1;
    });
    EXPECT_EQ(code, 0) << "1: the run did not end; 2: the record was read";
    EXPECT_EQ(pym.read_file("pym.l"), record);
    struct stat st;
    ASSERT_EQ(lstat(session.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);

    PtyEditor linked(25, 80);
    linked.create_file("victim", "precious\n");
    ASSERT_EQ(symlink("victim", (linked.dir() + "/pym.l").c_str()), 0);
    linked.start({"notes.txt"});
    linked.press(Key::Esc);
    linked.send("qe");
    EXPECT_EQ(linked.wait_exit(), 0);
    EXPECT_EQ(linked.read_file("victim"), "precious\n");
    ASSERT_EQ(lstat((linked.dir() + "/pym.l").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

// No temporary file can be made in a directory the user may not write:
// a session file there that the user may write takes the record in place.
TEST(SessionFile, AWritableSessionFileInALockedDirectoryIsStillRewritten)
{
    PtyEditor pym(25, 80);
    pym.create_file("notes.txt", lines_of("notes"));
    pym.create_file("pym.l", "an-old-record-longer-than-the-new-one.txt 5 5\n");
    ASSERT_EQ(chmod((pym.dir() + "/pym.l").c_str(), 0666), 0);
    ASSERT_EQ(chmod(pym.dir().c_str(), 0755), 0);
    int code = in_child([&] {
        if (geteuid() != 0 || !become_nobody())
            return 99;
        pym.start({"notes.txt"});
        pym.press(Key::Esc);
        pym.send("qe");
        return pym.wait_exit();
    });
    if (code == 99)
        GTEST_SKIP() << "only root can lock the test's own directory against it";
    EXPECT_EQ(code, 0);
    EXPECT_EQ(pym.read_file("pym.l"), "notes.txt 1 1\n");
}

namespace {

// The built editor with its input and output pipes, not a terminal: it
// draws its first screen as plain text and ends, writing pym.l, when its
// input ends.
pid_t start_plain(const std::string& dir, const std::string& name, int input, int* output)
{
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return -1;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(input, 0);
        dup2(out[1], 1);
        dup2(out[1], 2);
        setenv("TERM", "xterm-256color", 1);
        setenv("LC_ALL", "C", 1);
        if (chdir(dir.c_str()) == 0)
            execl(PYM_BINARY, "pym", name.c_str(), (char*)nullptr);
        _exit(127);
    }
    close(out[1]);
    *output = out[0];
    return pid;
}

// Reads fd until the menu, drawn last before the first key is read, came.
bool wait_for_menu(int fd)
{
    std::string seen;
    char buf[4096];
    struct pollfd p = {fd, POLLIN, 0};
    while (seen.find("INSERT:") == std::string::npos) {
        if (poll(&p, 1, 5000) <= 0)
            return false;
        ssize_t got = read(fd, buf, sizeof buf);
        if (got <= 0)
            return false;
        seen.append(buf, size_t(got));
    }
    return true;
}

// Runs one editor on each name, all reading one pipe, and ends their
// input at once, when every one waits for a key. False when one did not
// start or end as it should.
bool end_together(const std::string& dir, const std::vector<std::string>& names)
{
    int input[2];
    if (pipe2(input, O_CLOEXEC) != 0)
        return false;
    std::vector<pid_t> pids;
    std::vector<int> outputs;
    bool ready = true;
    for (const std::string& name : names) {
        int out = -1;
        pids.push_back(start_plain(dir, name, input[0], &out));
        outputs.push_back(out);
    }
    for (int out : outputs)
        ready = wait_for_menu(out) && ready;
    close(input[0]);
    close(input[1]);
    bool ended = true;
    for (pid_t pid : pids) {
        int status = 0;
        ended = waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0 && ended;
    }
    for (int out : outputs)
        close(out);
    return ready && ended;
}

}  // namespace

// Two records written at once: the file ends holding one of them whole,
// never one cut to the length of the other or followed by its tail.
TEST(SessionFile, TwoEditorsEndingTogetherLeaveOneWholeRecord)
{
    PtyEditor place;                    // never started: a directory of its own
    const std::string short_record = "a.txt 1 1\n";
    const std::string long_record = "a-longer-name-than-the-other.txt 1 1\n";
    const std::string old_record = "an-old-record-longer-than-either-of-the-new-ones.txt 123 45\n";
    int wrong = 0;
    std::string example;
    for (int run = 0; run < 200; run++) {
        place.create_file("pym.l", old_record);
        ASSERT_TRUE(end_together(place.dir(), {"a.txt", "a-longer-name-than-the-other.txt"})) << "run " << run;
        std::string now = place.read_file("pym.l").value_or("(none)");
        if (now != short_record && now != long_record) {
            wrong++;
            example = now;
        }
    }
    EXPECT_EQ(wrong, 0) << "pym.l held, for example: " << example;
}
