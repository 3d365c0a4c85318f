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
    // Makes the text these lines where text_begin stands now.
    static void set_text_at_begin(const Lines& lines)
    {
        text_end = text_begin;
        for (const std::string& l : lines) {
            std::memcpy(text_end, l.c_str(), l.size() + 1);
            text_end += l.size() + 1;
        }
    }
    // Inserts n bytes of '+' at p.
    static byte* open_filled(byte* p, long n)
    {
        std::string plus(size_t(n), '+');
        return insert_bytes(p, reinterpret_cast<const byte*>(plus.data()), plus.size());
    }
};

TEST_F(LineStore, FindsLineStartsAndEndsWithoutPassingTheTextsStart)
{
    std::memset(store_block, 0x55, text_capacity + 2);
    use_store(16);
    EXPECT_EQ(text_begin, store_block + 2);
    EXPECT_EQ(store_block[0] | store_block[1], 0) << "the two bytes before the text";

    set_text({"ab", "", "cd"});     // a b 0 | 0 | c d 0
    byte *first = line_at(1), *empty = line_at(2), *last = line_at(3);
    EXPECT_EQ(empty, text_begin + 3);
    EXPECT_EQ(line_start_of(first), first);
    EXPECT_EQ(line_start_of(first + 2), first) << "a line's NUL belongs to it";
    EXPECT_EQ(line_start_of(empty), empty);
    EXPECT_EQ(line_start_of(last + 1), last);
    EXPECT_EQ(next_line(first + 2), empty);
    EXPECT_EQ(next_line(empty), last);
    EXPECT_EQ(next_line(last + 2), text_end);
    EXPECT_EQ(prev_line(last), empty);
    EXPECT_EQ(prev_line(empty), first);
    set_text({"", "x"});
    EXPECT_EQ(prev_line(text_begin + 1), text_begin);
}

TEST_F(LineStore, MovesOverlappingBytesAndCopiesRanges)
{
    byte buf[9] = "12345678";
    move_bytes(buf + 2, buf, 5);
    EXPECT_STREQ((char*)buf, "12123458");
    move_bytes(buf, buf + 3, 5);
    EXPECT_STREQ((char*)buf, "23458458");
    move_bytes(buf, buf + 1, 0);
    EXPECT_STREQ((char*)buf, "23458458");

    byte out[4] = {};
    EXPECT_EQ(copy_bytes(buf, buf + 3, out), out + 3);
    EXPECT_STREQ((char*)out, "234");
    EXPECT_EQ(copy_bytes(buf + 2, buf + 1, out), out);
}

TEST_F(LineStore, OpensRoomUpToExactlyTheCapacity)
{
    set_text({"ab", "cd"});                 // 6 of 16 bytes
    EXPECT_EQ(open_filled(text_begin + 1, 10), text_begin + 11);
    EXPECT_EQ(text_lines(), (Lines{"a++++++++++b", "cd"}));
    EXPECT_EQ(text_end, text_begin + 16);
    EXPECT_EQ(modified, 1);

    modified = 0;
    EXPECT_EQ(open_room(text_end - 1, 1), nullptr);
    EXPECT_EQ(open_room(text_begin, 0), nullptr);
    EXPECT_EQ(open_room(text_begin, -3), nullptr);
    EXPECT_EQ(text_lines(), (Lines{"a++++++++++b", "cd"}));
    EXPECT_EQ(text_end, text_begin + 16);
    EXPECT_EQ(modified, 0);
}

TEST_F(LineStore, OpeningRoomKeepsTheWindowOnItsLines)
{
    set_text({"a", "b", "c", "d"});         // the window shows b and c
    window_top = line_at(2);
    window_bottom = line_at(4);
    open_filled(line_at(2), 2);             // in the window's first line
    EXPECT_EQ(window_top, line_at(2));
    open_filled(line_at(3) + 1, 1);         // in its last line
    EXPECT_EQ(window_bottom, line_at(4));
    open_filled(line_at(1), 3);             // above it
    EXPECT_EQ(text_lines(), (Lines{"+++a", "++b", "c+", "d"}));
    EXPECT_EQ(window_top, line_at(2));
    EXPECT_EQ(window_bottom, line_at(4));
}

TEST_F(LineStore, RemovesRangesGivenInEitherOrder)
{
    set_text({"abc", "def", "ghi"});
    remove_range(line_at(2) + 1, line_at(2) + 1);
    EXPECT_EQ(modified, 0) << "an empty range changes nothing";
    remove_range(line_at(2) + 2, line_at(1) + 1);
    EXPECT_EQ(text_lines(), (Lines{"af", "ghi"}));
    EXPECT_EQ(modified, 1);

    set_text({"abc", "def", "ghi"});
    remove_range(line_at(1) + 1, line_at(2) + 2);
    EXPECT_EQ(text_lines(), (Lines{"af", "ghi"}));
    EXPECT_EQ(text_end, text_begin + 7);

    remove_range(text_begin + 2, text_begin + 3);   // a line end alone
    EXPECT_EQ(text_lines(), (Lines{"afghi"}));
    EXPECT_EQ(text_end, text_begin + 6);

    set_text({"", ""});
    remove_range(text_begin, text_begin + 1);
    EXPECT_EQ(text_lines(), (Lines{""}));
    EXPECT_EQ(text_end, text_begin + 1);
}

TEST_F(LineStore, RemovingKeepsTheWindowOnItsLines)
{
    set_text({"a", "bcd", "e", "f"});
    window_bottom = line_at(4);
    remove_range(line_at(2), line_at(2) + 2);           // "bc" goes
    EXPECT_EQ(window_top, text_begin);
    EXPECT_EQ(*window_bottom, 'f');

    window_top = line_at(3);
    remove_range(line_at(1), line_at(2));               // "a" and its end
    EXPECT_EQ(*window_top, 'e');
    EXPECT_EQ(*window_bottom, 'f');

    set_text({"a", "b", "c", "d"});
    window_top = window_bottom = line_at(2);
    remove_range(line_at(1) + 1, line_at(2) + 1);       // "a" and "b" join
    EXPECT_EQ(text_lines(), (Lines{"a", "c", "d"}));
    EXPECT_EQ(*window_top, 'c') << "the line that followed the range";
    EXPECT_EQ(*window_bottom, 'c');
}

// A text placed with room on both sides grows at its start by moving the
// lines before the insertion down, taking the positions kept there along;
// when neither side has room left, the text slides to make it.
TEST_F(LineStore, GrowsDownwardsNearItsStartAndSlidesWhenRoomIsSplit)
{
    empty_text(4);                      // 16 bytes: 6 free below, 6 above
    byte* start = text_begin;
    set_text_at_begin({"ab", "c"});     // a b 0 c 0
    window_top = line_start = text_begin;
    cursor = text_begin + 1;
    byte* second = line_at(2);
    window_bottom = text_end;

    byte* after = open_filled(cursor, 2);
    EXPECT_EQ(text_begin, start - 2) << "the start moved down, not the rest up";
    EXPECT_EQ(after, text_begin + 3);
    EXPECT_EQ(cursor, text_begin + 1) << "the cursor is on the room";
    EXPECT_EQ(line_start, text_begin);
    EXPECT_EQ(line_at(2), second) << "the lines after did not move";
    EXPECT_EQ(text_begin[-1] | text_begin[-2], 0);
    EXPECT_EQ(text_lines(), (Lines{"a++b", "c"}));

    open_filled(text_end - 1, 4);       // 4 free below, 6 above: the end grows
    open_filled(line_at(2), 5);         // 4 below, 2 above: the text slides first
    EXPECT_EQ(text_begin, store_block + 2);
    EXPECT_EQ(text_end, store_block + 2 + 16);
    EXPECT_EQ(text_lines(), (Lines{"a++b", "+++++c++++"}));
    EXPECT_EQ(window_top, text_begin);
    EXPECT_EQ(open_room(text_begin, 1), nullptr) << "the store is full";
}

// Moves over many lines at once land where as many single steps would.
TEST_F(LineStore, LongLineMovesAgreeWithSingleSteps)
{
    use_store(4096);
    std::vector<std::string> lines;
    unsigned seed = 7;
    for (int i = 0; i < 400; i++) {
        seed = seed * 1103515245 + 12345;
        lines.push_back(std::string((seed >> 16) % 3 == 0 ? 0 : (seed >> 8) % 20, 'x'));
    }
    set_text(lines);
    for (int from : {1, 2, 50, 200, 399, 400}) {
        for (long n : {0L, 1L, 2L, 7L, 63L, 64L, 65L, 150L, 399L, 1000L}) {
            byte* p = line_at(from);
            long steps = 0;
            for (; steps < n && p < text_end; steps++)
                p = next_line(p);
            long moved;
            EXPECT_EQ(lines_forward(line_at(from), n, &moved), p) << from << " +" << n;
            EXPECT_EQ(moved, steps);
            p = line_at(from);
            for (steps = 0; steps < n && p > text_begin; steps++)
                p = prev_line(p);
            EXPECT_EQ(lines_back(line_at(from), n, &moved), p) << from << " -" << n;
            EXPECT_EQ(moved, steps);
        }
    }
    EXPECT_EQ(count_nuls(text_begin, text_end), 400u);
}

// Every string in every place: the first match, as a byte-by-byte search
// finds it, from every start and up to every end near the needle's edges.
TEST(FindBytes, FindsTheFirstMatchAsAPlainSearchDoes)
{
    unsigned seed = 11;
    auto next = [&] { return (seed = seed * 1103515245 + 12345) >> 16; };
    for (int round = 0; round < 300; round++) {
        std::string text(size_t(next() % 90), '\0');
        for (char& c : text)
            c = "ab\0"[next() % 3];
        std::string needle(size_t(1 + next() % 6), 'a');
        for (char& c : needle)
            c = "ab"[next() % 2];
        auto* hay = reinterpret_cast<byte*>(text.data());
        for (size_t from = 0; from <= text.size(); from += 1 + next() % 5)
            for (size_t to = from; to <= text.size(); to++) {
                byte* expected = nullptr;
                for (size_t i = from; !expected && i + needle.size() <= to; i++)
                    if (text.compare(i, needle.size(), needle) == 0)
                        expected = hay + i;
                ASSERT_EQ(find_bytes(hay + from, hay + to, needle.data(), needle.size()), expected)
                    << "'" << needle << "' in [" << from << ", " << to << ") of round " << round;
            }
    }
}
