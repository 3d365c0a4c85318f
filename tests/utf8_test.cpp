// What a character is in a UTF-8 text: the well-formed sequences, the
// boundaries found backward, and the cells each kind takes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness/editor.h"
#include "screen/utf8.h"

static const byte* bytes(const std::string& s)
{
    return reinterpret_cast<const byte*>(s.c_str());
}

TEST(Utf8, OnlyWellFormedSequencesAreCharacters)
{
    struct { std::string s; int len; } cases[] = {
        {"\xC3\xA9", 2}, {"\xE2\x80\x94", 3}, {"\xF0\x9F\x98\x80", 4}, {"\xF4\x8F\xBF\xBF", 4},
        {"\xC0\xAF", 1},            // overlong
        {"\xC1\xBF", 1},
        {"\xE0\x80\xAF", 1},        // overlong, three bytes
        {"\xF0\x80\x80\xAF", 1},
        {"\xED\xA0\x80", 1},        // a surrogate
        {"\xF4\x90\x80\x80", 1},    // past U+10FFFF
        {"\xF5\x80\x80\x80", 1},
        {"\xE6\x97", 1},            // cut short by the end of the line
        {"\xE6\x97x", 1},
        {"\x80", 1}, {"\xFF", 1}, {"a", 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sequence_length(bytes(c.s)), c.len) << testing::PrintToString(c.s);
    std::string cut = "\xF0\x9F\x98\x80";
    EXPECT_EQ(sequence_length(bytes(cut), bytes(cut) + 3), 1) << "no byte past end is read";
}

TEST(Utf8, BoundariesAreFoundBackwardFromAnyByte)
{
    use_character_set(true);
    // a, é, a lone continuation byte, 😀, a truncated sequence, z
    std::string line = "a\xC3\xA9\x80\xF0\x9F\x98\x80\xE6\x97z";
    const byte* s = bytes(line);
    const int starts[] = {0, 1, 1, 3, 4, 4, 4, 4, 8, 9, 10};
    for (size_t i = 0; i < line.size(); i++)
        EXPECT_EQ(character_start(s, s + i) - s, starts[i]) << "byte " << i;
    EXPECT_EQ(previous_character(s, s + 8) - s, 4);
    EXPECT_EQ(previous_character(s, s + 4) - s, 3);
    use_character_set(false);
    EXPECT_EQ(character_start(s, s + 2) - s, 2) << "in the C locale every byte is a character";
}

TEST(Utf8, UnshowableCharactersTakeACellPerByte)
{
    use_character_set(true);
    EXPECT_EQ(character_cells(bytes("\xC3\xA9"), 2), 1);
    EXPECT_EQ(character_cells(bytes("\xE6\x97\xA5"), 3), 2);
    EXPECT_EQ(character_cells(bytes("\xF0\x9F\x98\x80"), 4), 2);
    EXPECT_EQ(glyph_width(bytes("\xCC\x81"), 2), 0) << "a combining mark";
    EXPECT_EQ(character_cells(bytes("\xCC\x81"), 2), 2);
    EXPECT_EQ(character_cells(bytes("\xC2\x85"), 2), 2) << "an unprintable code point";
    EXPECT_EQ(character_cells(bytes("\xCD\xB8"), 2), 2) << "an unassigned code point";
    use_character_set(false);
}

const std::string e_acute = "e\xCC\x81";
const std::string family = "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7";
const std::string flag = "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7";
const std::string heart = "\xE2\x9D\xA4\xEF\xB8\x8F";
const std::string thumb_dark = "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBF";  // a thumb and a skin tone
const std::string mark = "\xCC\x81";

TEST(Utf8, ACharacterIsAGraphemeCluster)
{
    use_character_set(true);
    std::string marks;
    for (int i = 0; i < 40; i++)
        marks += mark;
    struct { std::string s; int len; } cases[] = {
        {e_acute + "x", 3}, {family + "x", 18}, {flag + flag, 8}, {heart + "x", 6},
        {thumb_dark, 8}, {"a\xE2\x80\x8D\xF0\x9F\x98\x80", 4},  // a joiner after a letter joins no emoji
        {mark + mark, 2},               // a mark with nothing before it stands alone
        {"\xE0\xB5\x8E" "a", 4},        // a prepended letter takes the letter after it
        {"ab", 1}, {"a\xC3\xA9", 1}, {"\t" + mark, 1}, {"e\xCC", 1}, {"\xFF" + mark, 1},
        {"a" + marks, 63},              // cut at 64 bytes, at a code point
    };
    for (const auto& c : cases)
        EXPECT_EQ(character_length(bytes(c.s)), c.len) << testing::PrintToString(c.s);
    std::string cut = e_acute;
    EXPECT_EQ(character_length(bytes(cut), bytes(cut) + 2), 1) << "no byte past end is read";
    use_character_set(false);
    EXPECT_EQ(character_length(bytes(family)), 1);
}

// Without cluster support a terminal draws each code point in its own
// width; with it (mode 2027) the cluster as one.
TEST(Utf8, AClusterTakesItsCharactersWidthsOrItsOwn)
{
    use_character_set(true);
    struct { std::string s; int sum, own; } cases[] = {
        {e_acute, 1, 1}, {family, 6, 2}, {flag, 2, 2}, {heart, 1, 2}, {thumb_dark, 4, 2},
        {"\xE2\x8C\x9A\xEF\xB8\x8E", 2, 1},      // a watch asked for as text
        {"\xE6\x97\xA5" + mark, 2, 2},
    };
    for (const auto& c : cases) {
        int len = int(c.s.size());
        EXPECT_EQ(character_cells(bytes(c.s), len), c.sum) << testing::PrintToString(c.s);
        grapheme_width_mode = 1;
        EXPECT_EQ(character_cells(bytes(c.s), len), c.own) << testing::PrintToString(c.s);
        grapheme_width_mode = 0;
    }
    use_character_set(false);
}

// The characters a walk from the line's start finds, by their first byte.
static std::vector<bool> starts_walked(const std::string& line)
{
    std::vector<bool> starts(line.size() + 1);
    for (size_t i = 0; i <= line.size(); i += size_t(character_length(bytes(line) + i)))
        starts[i] = true;
    return starts;
}

// Boundaries found backward from any byte agree with a walk from the
// line's start, for text mixing every kind of character: runs of flags
// need the count of those before them, an emoji after a joiner the emoji
// before that.
TEST(Utf8, BoundariesFoundBackwardAgreeWithAWalkForward)
{
    use_character_set(true);
    const char* pieces[] = {
        "a", " ", "\t", "\x01", "\xC3\xA9", "\xCC\x81", "\xE2\x80\x8D", "\xEF\xB8\x8F",
        "\xF0\x9F\x91\xA8", "\xF0\x9F\x87\xAB", "\xF0\x9F\x87\xB7", "\xF0\x9F\x8F\xBB",
        "\xE0\xB5\x8E", "\xE1\x84\x80", "\xE1\x85\xA1", "\xEA\xB0\x80", "\xE0\xA4\x95",
        "\xE0\xA5\x8D", "\xE2\x9D\xA4", "\xFF", "\x80", "\xE6\x97",
    };
    const int n = int(sizeof pieces / sizeof *pieces);
    unsigned seed = 11;
    auto next = [&] { return (seed = seed * 1103515245 + 12345) >> 16; };
    std::string marks;
    for (int i = 0; i < 50; i++)
        marks += mark;
    std::vector<std::string> lines = {
        std::string(5, 'x') + flag + flag + "\xF0\x9F\x87\xAB" + flag + "z",
        "a" + marks + "b" + family + family,
    };
    for (int k = 0; k < 40; k++) {
        std::string line;
        for (int i = 0; i < 200; i++)
            line += pieces[next() % n];
        lines.push_back(line);
    }
    for (const std::string& line : lines) {
        std::vector<bool> starts = starts_walked(line);
        const byte* s = bytes(line);
        size_t start = 0;
        for (size_t i = 0; i < line.size(); i++) {
            if (starts[i])
                start = i;
            ASSERT_EQ(character_start(s, s + i) - s, long(start)) << "byte " << i << " of " << testing::PrintToString(line);
            if (starts[i] && i > 0) {
                ASSERT_TRUE(starts[size_t(previous_character(s, s + i) - s)]);
            }
        }
    }
    use_character_set(false);
}
