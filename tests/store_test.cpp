// The line store's primitives, on stores small enough to run out of room.
#include <gtest/gtest.h>

#include <cstring>

#include "harness/editor.h"
#include "store/store.h"

using Lines = std::vector<std::string>;

class LineStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        use_store(16);
        modified = 0;
    }
};

TEST_F(LineStore, KeepsTwoZeroBytesBeforeTheText)
{
    std::memset(store_block, 0x55, text_capacity + 2);
    use_store(16);
    EXPECT_EQ(text_begin, store_block + 2);
    EXPECT_EQ(text_end, text_begin);
    EXPECT_EQ(store_block[0], 0);
    EXPECT_EQ(store_block[1], 0);
    set_text({"ab", "cd"});
    EXPECT_EQ(line_start_of(text_begin + 1), text_begin);
}

TEST_F(LineStore, FindsLineStartsAndEnds)
{
    set_text({"ab", "", "cd"});     // a b 0 0 c d 0
    byte* first = text_begin;
    byte* empty = text_begin + 3;
    byte* last = text_begin + 4;
    EXPECT_EQ(line_start_of(first), first);
    EXPECT_EQ(line_start_of(first + 2), first) << "a line's NUL belongs to it";
    EXPECT_EQ(line_start_of(empty), empty);
    EXPECT_EQ(line_start_of(last + 1), last);
    EXPECT_EQ(next_line(first), empty);
    EXPECT_EQ(next_line(first + 2), empty);
    EXPECT_EQ(next_line(empty), last);
    EXPECT_EQ(next_line(last + 2), text_end);
    EXPECT_EQ(prev_line(last), empty) << "the line before is empty";
    EXPECT_EQ(prev_line(empty), first);

    set_text({"", "x"});
    EXPECT_EQ(prev_line(text_begin + 1), text_begin);
}

TEST_F(LineStore, MovesOverlappingBytesAndCopiesRanges)
{
    byte buf[8] = {'1', '2', '3', '4', '5', '6', '7', '8'};
    move_bytes(buf + 2, buf, 5);
    EXPECT_EQ(std::string(buf, buf + 8), "12123458");
    move_bytes(buf, buf + 3, 5);
    EXPECT_EQ(std::string(buf, buf + 8), "23458458");
    move_bytes(buf, buf + 1, 0);
    EXPECT_EQ(buf[0], '2');

    byte out[4] = {};
    const byte src[] = "xyz";
    EXPECT_EQ(copy_bytes(src, src + 3, out), out + 3);
    EXPECT_EQ(std::string(out, out + 3), "xyz");
    EXPECT_EQ(copy_bytes(src + 2, src + 1, out), out);
}

TEST_F(LineStore, OpensRoomUpToExactlyTheCapacity)
{
    set_text({"ab", "cd"});                 // 6 of 16 bytes
    byte* gap_end = open_room(text_begin + 1, 10);
    ASSERT_EQ(gap_end, text_begin + 11);
    EXPECT_EQ(text_end, text_begin + 16);
    EXPECT_EQ(modified, 1);
    std::memset(text_begin + 1, '-', 10);
    EXPECT_EQ(text_lines(), (Lines{"a----------b", "cd"}));

    modified = 0;
    std::string before(text_begin, text_end);
    EXPECT_EQ(open_room(text_end - 1, 1), nullptr);
    EXPECT_EQ(open_room(text_begin, 0), nullptr);
    EXPECT_EQ(open_room(text_begin, -3), nullptr);
    EXPECT_EQ(std::string(text_begin, text_end), before);
    EXPECT_EQ(text_end, text_begin + 16);
    EXPECT_EQ(modified, 0);
}

TEST_F(LineStore, OpeningRoomKeepsTheWindowOnItsLines)
{
    set_text({"a", "b", "c", "d"});         // the window shows b and c
    window_top = line_at(2);
    window_bottom = line_at(4);

    std::memset(open_room(line_at(2), 2) - 2, '+', 2);     // in the window's first line
    EXPECT_EQ(window_top, line_at(2));
    EXPECT_EQ(window_bottom, line_at(4));
    std::memset(open_room(line_at(3) + 1, 1) - 1, '+', 1); // in its last line
    EXPECT_EQ(window_bottom, line_at(4));
    EXPECT_EQ(window_bottom, text_begin + 9);
    std::memset(open_room(line_at(1), 3) - 3, '+', 3);     // above the window
    EXPECT_EQ(window_top, line_at(2));
    EXPECT_EQ(window_top, text_begin + 5);
    EXPECT_EQ(window_bottom, line_at(4));
    EXPECT_EQ(text_lines(), (Lines{"+++a", "++b", "c+", "d"}));
}

TEST_F(LineStore, RemovesRangesGivenInEitherOrder)
{
    set_text({"abc", "def", "ghi"});
    remove_range(line_at(2) + 1, line_at(2) + 1);
    EXPECT_EQ(modified, 0) << "an empty range changes nothing";

    remove_range(line_at(2) + 2, line_at(1) + 1);   // b c NUL d
    EXPECT_EQ(text_lines(), (Lines{"af", "ghi"}));
    EXPECT_EQ(modified, 1);

    set_text({"abc", "def", "ghi"});
    remove_range(line_at(1) + 1, line_at(2) + 2);
    EXPECT_EQ(text_lines(), (Lines{"af", "ghi"}));
    EXPECT_EQ(text_end, text_begin + 7);
}

TEST_F(LineStore, RemovingALineEndJoinsTheLines)
{
    set_text({"ab", "cd"});
    remove_range(text_begin + 2, text_begin + 3);
    EXPECT_EQ(text_lines(), (Lines{"abcd"}));
    EXPECT_EQ(text_end, text_begin + 5);

    set_text({"", ""});
    remove_range(text_begin, text_begin + 1);
    EXPECT_EQ(text_lines(), (Lines{""}));
    EXPECT_EQ(text_end, text_begin + 1);
}

TEST_F(LineStore, RemovingKeepsTheWindowOnItsLines)
{
    set_text({"a", "bcd", "e", "f"});
    window_top = line_at(1);
    window_bottom = line_at(4);
    remove_range(line_at(2), line_at(2) + 2);           // "bc" goes
    EXPECT_EQ(window_top, text_begin);
    EXPECT_EQ(window_bottom, line_at(4));
    EXPECT_EQ(text_lines(), (Lines{"a", "d", "e", "f"}));

    window_top = line_at(3);
    window_bottom = line_at(4);
    remove_range(line_at(1), line_at(2));               // "a" and its end
    EXPECT_EQ(window_top, line_at(2));
    EXPECT_EQ(*window_top, 'e');
    EXPECT_EQ(window_bottom, line_at(3));
    EXPECT_EQ(*window_bottom, 'f');
}
