// What a character is in a UTF-8 text: the well-formed sequences, the
// boundaries found backward, and the cells each kind takes.
#include <gtest/gtest.h>

#include <string>

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

TEST(Utf8, WidthsFollowWcwidthAndUnshowableCharactersTakeACellPerByte)
{
    use_character_set(true);
    EXPECT_EQ(character_cells(bytes("\xC3\xA9"), 2), 1);
    EXPECT_EQ(character_cells(bytes("\xE6\x97\xA5"), 3), 2);
    EXPECT_EQ(character_cells(bytes("\xF0\x9F\x98\x80"), 4), 2);
    EXPECT_EQ(glyph_width(bytes("\xCC\x81"), 2), 0) << "a combining mark";
    EXPECT_EQ(character_cells(bytes("\xCC\x81"), 2), 2);
    EXPECT_EQ(character_cells(bytes("\xC2\x85"), 2), 2) << "an unprintable code point";
    use_character_set(false);
}
