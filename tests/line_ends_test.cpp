// Files come back as they went in: a new or empty file gains no line, and
// in a file whose lines end both in CR LF and in LF each line keeps its own
// ending, also the lines a split, a join, a paste or a Get make.
#include <gtest/gtest.h>

#include "commands/open_text.h"
#include "harness/session.h"

namespace {

class LineEnds : public SessionTest {
protected:
    // Opens a file that does not exist yet.
    void open_new(const std::string& name)
    {
        open("");
        open_text(name.c_str());
    }
    // The keys, then Update; what the file holds afterwards.
    std::string saved_after(const std::string& k, const std::string& name = "t.txt")
    {
        keys(k + "\x1bQU\x1b");
        return read_file(name);
    }
};

TEST_F(LineEnds, AnUntouchedNewOrEmptyTextIsWrittenAsNothing)
{
    open_new("new.txt");
    EXPECT_EQ(saved_after("", "new.txt"), "");
    open("");
    EXPECT_EQ(saved_after(""), "") << "an empty file stays empty";
    open("");
    EXPECT_EQ(saved_after("QU\x1b" + down + up), "") << "moving over the second line does not make it real";
}

TEST_F(LineEnds, TheLineTheCursorStandsOnIsRealTheOneBelowItIsNot)
{
    open_new("1.txt");
    EXPECT_EQ(saved_after("ia\rb", "1.txt"), "a\nb\n");
    open_new("2.txt");
    EXPECT_EQ(saved_after("ia\r", "2.txt"), "a\n\n");
    open_new("3.txt");
    EXPECT_EQ(saved_after(down + "ix", "3.txt"), "\nx\n") << "a line typed on is real";
    open_new("4.txt");
    EXPECT_EQ(saved_after(down + "ix" + std::string("\b"), "4.txt"), "\n\n") << "and stays real";
}

TEST_F(LineEnds, UndoBringsThePlaceholderBackWithTheRest)
{
    open_new("new.txt");
    EXPECT_EQ(saved_after(down + "ixy\x1bU", "new.txt"), "");
    EXPECT_EQ(saved_after("\x12", "new.txt"), "\nxy\n") << "and redo makes the line real again";
}

TEST_F(LineEnds, AMixedFileEditedOnOneLineChangesOnThatLineOnly)
{
    const std::string mixed = "one\r\ntwo\nthree\r\nfour\nfive\r\n";
    open(mixed);
    EXPECT_EQ(saved_after(down + down + "iX"), "one\r\ntwo\nXthree\r\nfour\nfive\r\n");
    open(mixed);
    EXPECT_EQ(saved_after(down + "D" + down + "D"), "one\r\nthree\r\nfour\nfive\r\n");
    open(mixed);
    EXPECT_EQ(saved_after(down + "D" + down + "DU"), mixed) << "undo gives every ending back";
}

TEST_F(LineEnds, ASplitTakesItsLinesEndingAndAJoinKeepsTheLowerOnes)
{
    const std::string mixed = "one\r\ntwo\nthree\r\n";
    open(mixed);
    EXPECT_EQ(saved_after(right + right + "i\r"), "on\r\ne\r\ntwo\nthree\r\n");
    open(mixed);
    EXPECT_EQ(saved_after(down + right + "i\r"), "one\r\nt\nwo\nthree\r\n");
    open(mixed);
    EXPECT_EQ(saved_after(end + del), "onetwo\nthree\r\n") << "the lower line's LF";
    open(mixed);
    EXPECT_EQ(saved_after(down + end + del), "one\r\ntwothree\r\n") << "the lower line's CR LF";
}

TEST_F(LineEnds, PastedAndGottenLinesEndAsTheLineTheyAreMadeIn)
{
    const std::string mixed = "one\r\ntwo\n";
    open(mixed);
    paste("a\nb\r\nc");
    EXPECT_EQ(saved_after(""), "a\r\nb\r\ncone\r\ntwo\n");
    create_file("in.txt", "x\ny\r\n");
    open(mixed);
    EXPECT_EQ(saved_after(down + "Gin.txt\r"), "one\r\nx\ny\ntwo\n");
}

TEST_F(LineEnds, PutWritesEachLineWithItsOwnEnding)
{
    open("one\r\ntwo\nthree\r\n");
    keys(right + "P" + down + down + right + "Pout.txt\r");
    EXPECT_EQ(read_file("out.txt"), "ne\r\ntwo\nth\r\n");
}

}  // namespace

namespace {

TEST_F(LineEnds, UndoAndRedoOfAManyChangeStepKeepEveryLineEnd)
{
    std::string mixed;
    for (int i = 0; i < 30; i++)
        mixed += "line " + std::to_string(i) + (i % 3 ? "\r\n" : "\n");
    open(mixed);
    // a macro that splits a line and joins the next: its replay is one step
    std::string recorded = saved_after("MYi\rx" + std::string("\x1b") + end + del + down + "M");
    std::string after = saved_after("9y");
    EXPECT_NE(after, recorded);
    EXPECT_EQ(saved_after("U"), recorded) << "undo gives every ending back";
    EXPECT_EQ(saved_after("\x12"), after) << "and redo the macro's";
}

}  // namespace
