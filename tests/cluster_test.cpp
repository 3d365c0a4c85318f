// Grapheme clusters in a UTF-8 text, as a user meets them: a letter with a
// combining accent, a family of emoji joined by U+200D, a flag, a heart
// with U+FE0F. Each is one step, one Delete and one exchange, drawn as its
// bytes in the cells a terminal without cluster support gives it, or in
// its own width where the terminal draws clusters as one (mode 2027).
#include <gtest/gtest.h>

#include "harness/session.h"
#include "screen/console.h"
#include "screen/window.h"

namespace {

const std::string e_acute = "e\xCC\x81";
const std::string family = "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7";
const std::string flag = "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7";
const std::string heart = "\xE2\x9D\xA4\xEF\xB8\x8F";
const std::string clusters[] = {e_acute, family, flag, heart};

class Clusters : public SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        use_character_set(true);
    }
    void TearDown() override
    {
        set_grapheme_width_mode(false);
        SessionTest::TearDown();
    }
    // The text's first line.
    std::string first_line() { return text_lines().at(0); }
};

// "a", e + U+0301, "b", the family, "c", the flag, "d", the heart, "e".
const std::string mixed = "a" + e_acute + "b" + family + "c" + flag + "d" + heart + "e";

TEST_F(Clusters, RightAndLeftStepOverWholeClustersToTheirColumns)
{
    struct { bool own_width; std::vector<int> cols; } modes[] = {
        {false, {1, 2, 3, 4, 10, 11, 13, 14, 15, 16}},   // 6 cells for the family
        {true, {1, 2, 3, 4, 6, 7, 9, 10, 12, 13}},       // 2 for it, 2 for the heart
    };
    for (const auto& m : modes) {
        set_grapheme_width_mode(m.own_width);
        open(mixed + "\n");
        if (!m.own_width) {
            EXPECT_EQ(row(3), mixed) << "the text goes out as its bytes";
        }
        for (size_t i = 1; i < m.cols.size(); i++) {
            keys(right);
            expect_at(1, m.cols[i], 3);
        }
        for (size_t i = m.cols.size() - 1; i-- > 0;) {
            keys(left);
            expect_at(1, m.cols[i], 3);
        }
    }
}

TEST_F(Clusters, DeleteAndBackspaceRemoveAWholeCluster)
{
    for (bool own_width : {false, true}) {
        set_grapheme_width_mode(own_width);
        for (const std::string& c : clusters) {
            open("x" + c + "y\n");
            keys(right + del);
            EXPECT_EQ(first_line(), "xy") << c;
            expect_at(1, 2, 3);
            EXPECT_EQ(row(3), "xy");

            open("x" + c + "y\n");
            keys(right + right + "\b");
            EXPECT_EQ(first_line(), "xy") << c;
            expect_at(1, 2, 3);
        }
    }
    open("e\t\xCC\x81x\n");     // the tab goes: the mark joins the e
    keys(right + del);
    EXPECT_EQ(first_line(), e_acute + "x");
    EXPECT_EQ(row(3), e_acute + "x");
    expect_at(1, 2, 3);
}

TEST_F(Clusters, ExchangeModeOverwritesAWholeClusterAndAMarkOverwritesNothing)
{
    for (const std::string& c : clusters) {
        open(c + "y\n");
        keys("XZ");
        EXPECT_EQ(first_line(), "Zy") << c;
        EXPECT_EQ(row(3), "Zy");
    }
    open("ab\n");
    keys("X" + e_acute + "\xC3\xA9");   // e, a combining acute on it, then é over the b
    EXPECT_EQ(first_line(), e_acute + "\xC3\xA9");
    EXPECT_EQ(row(3), e_acute + "\xC3\xA9");
    expect_at(1, 3, 3);
}

TEST_F(Clusters, TypingNextToAMarkJoinsItAndTheCursorGoesAfterTheCluster)
{
    open("\xCC\x81x\n");        // a mark alone at the line's start shows its bytes' glyphs
    EXPECT_EQ(row(3), "╠üx");
    keys("Ie");
    EXPECT_EQ(first_line(), e_acute + "x");
    EXPECT_EQ(row(3), e_acute + "x");
    expect_at(1, 2, 3);

    open("e\n");
    keys(end + "I" + family.substr(0, 4) + "\xE2\x80\x8D");
    expect_at(1, 4, 3);         // e, then the man and the joiner
    keys(end + "I" + family.substr(7));
    EXPECT_EQ(first_line(), "e" + family);
    EXPECT_EQ(row(3), "e" + family);
    expect_at(1, 8, 3);
}

TEST_F(Clusters, APromptTakesAndErasesWholeClusters)
{
    const std::string typed = "Fe\xCC\x81" + family;    // e, then its accent
    struct { std::string backspaces, shown; int col; } runs[] = {
        {"", e_acute + family, 17}, {"\b", e_acute, 11}, {"\b\b", "", 10},
    };
    for (const auto& r : runs) {
        open("text\n");
        keys(typed + r.backspaces);
        EXPECT_EQ(message(), "--find: \"" + r.shown);
        EXPECT_EQ(screen().cursor_col(), r.col) << r.backspaces.size();
    }
}

// A line shown from a later column (the cursor's line scrolled sideways):
// a cluster the left edge cuts shows as blanks, one the right edge would
// cut is left out for blanks and the continuation mark.
TEST_F(Clusters, ALineScrolledSidewaysCutsClustersAtTheEdgesIntoBlanks)
{
    std::string cursor_line = std::string(100, 'a');
    std::string cut_left = std::string(68, 'b') + family + std::string(10, 'c');
    std::string cut_right = std::string(75, 'd') + family + "tail";
    open(cursor_line + "\n" + cut_left + "\n" + cut_right + "\n");
    EXPECT_EQ(row(5), std::string(75, 'd') + "   »");
    keys(std::string("80") + right);    // the view jumps 71 columns
    EXPECT_EQ(screen().text(2, 60, 21), status(1, 81));
    EXPECT_EQ(row(3), std::string(29, 'a'));
    EXPECT_EQ(row(4), "   " + std::string(10, 'c'));

    set_grapheme_width_mode(true);
    open(cursor_line + "\n" + cut_left + "\n" + cut_right + "\n");
    EXPECT_NE(take_output().find(family + "t\xC2\xBB"), std::string::npos) << "a family of two cells fits";
    keys(std::string("80") + right);
    EXPECT_EQ(screen().text(2, 60, 21), status(1, 81));
    EXPECT_EQ(row(4), std::string(9, 'c'));
}

// A match's end (its start, backward) inside a cluster: the cursor stands
// after the cluster, and Again goes on from the match, finding each match
// once.
TEST_F(Clusters, FindInsideAClusterStandsAfterItAndAgainGoesOnFromTheMatch)
{
    const std::string mark = "\xCC\x81";
    struct { std::string text, keys; std::vector<int> cols; } runs[] = {
        // two marks on the e, one on the x
        {"e" + mark + mark + "x" + mark, "F" + mark + "\r", {2, 2, 3, 3}},
        {"a" + e_acute + "x" + mark, end + "-" + mark + "\r", {4, 3, 3}},
        {family + family, "F\xF0\x9F\x91\xA9\r", {7, 13, 13}},     // the woman
    };
    for (const auto& r : runs) {
        for (size_t again = 0; again < r.cols.size(); again++) {
            open(r.text + "\n");
            keys(r.keys + std::string(again, 'A'));
            expect_at(1, r.cols[again], 3);
            bool last = again + 1 == r.cols.size();
            EXPECT_EQ(message().find("can't find") != std::string::npos, last) << again << " " << message();
        }
    }
}

// A replacement that joins the character after it: Again replaces on from
// its end, not from the cursor after the joined cluster.
TEST_F(Clusters, AgainAfterAReplaceGoesOnFromTheReplacementsEnd)
{
    const std::string mark = "\xCC\x81";
    open("e" + mark + mark + "x" + mark + "\n");
    keys("R" + mark + "\r!\r");
    EXPECT_EQ(first_line(), "e!" + mark + "x" + mark);
    expect_at(1, 3, 3);         // after the ! and the mark it took
    open("e" + mark + mark + "x" + mark + "\n");
    keys("R" + mark + "\r!\rA");
    EXPECT_EQ(first_line(), "e!!x" + mark);
    expect_at(1, 4, 3);
}

// Where the terminal has said it draws clusters as one, the editor turns
// that on, again at each set-up after the terminal was handed back.
TEST_F(Clusters, TheClusterModeIsTurnedOnInTheTerminalAtEverySetUp)
{
    open("x\n");
    take_output();
    set_grapheme_width_mode(true);
    EXPECT_EQ(take_output().rfind("\x1b[?2027h", 0), 0u);
    restore_terminal();
    put_string("y");
    flush_output();
    EXPECT_EQ(take_output().rfind("\x1b[?1049h\x1b[?2004h\x1b[?2027h", 0), 0u);
    set_grapheme_width_mode(false);
    EXPECT_EQ(take_output().rfind("\x1b[?2027l", 0), 0u);
}

TEST_F(Clusters, TheCLocaleStillTakesEveryByteAsACharacter)
{
    use_character_set(false);
    open(e_acute + flag + "\n");
    EXPECT_EQ(row(3), "e╠ü≡ƒç½≡ƒç╖");
    for (int col = 2; col <= 11; col++) {
        keys(right);
        expect_at(1, col, 3);
    }
    keys(left + del);
    EXPECT_EQ(first_line(), e_acute + flag.substr(0, 6) + flag.substr(7));
}

// The terminal's answer that it knows mode 2027 (set or reset) turns the
// mode on and draws the whole screen again in the clusters' own widths;
// an answer that it does not know it, or any answer in the C locale,
// changes nothing.
TEST_F(Clusters, ATerminalThatReportsMode2027HasItTurnedOnAndTheScreenDrawnAgain)
{
    open(mixed + "\nsecond\n");
    keys(right + right + right + right);
    expect_at(1, 10, 3);        // after the family of 6 cells
    take_output();
    keys("\x1b[?2027;0$y");
    EXPECT_EQ(take_output().find("\x1b[?2027h"), std::string::npos);
    expect_at(1, 10, 3);

    keys("\x1b[?2027;2$y");
    std::string out = take_output();
    EXPECT_NE(out.find("\x1b[?2027h"), std::string::npos);
    EXPECT_TRUE(grapheme_width_mode);
    EXPECT_NE(out.find("second"), std::string::npos) << "the text is drawn again";
    expect_at(1, 6, 3);         // the family takes its own 2 cells
    keys("\x1b[?2027;1$y" + right);
    expect_at(1, 7, 3);
    EXPECT_EQ(take_output().find("second"), std::string::npos) << "drawn again once";

    set_grapheme_width_mode(false);
    use_character_set(false);
    open(mixed + "\n");
    take_output();
    keys("\x1b[?2027;1$y");
    EXPECT_EQ(take_output().find("\x1b[?2027h"), std::string::npos);
    EXPECT_FALSE(grapheme_width_mode);
}

}  // namespace
