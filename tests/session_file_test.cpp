// The session file pym.l through the built editor: a name with blanks
// reopens exactly, and records edited by hand.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

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
