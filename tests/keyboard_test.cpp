// What the key decoder makes of the bytes an xterm sends.
#include <gtest/gtest.h>

#include "harness/editor.h"
#include "screen/keyboard.h"

using Keys = std::vector<int>;

static Keys got;

static void read_keys()
{
    for (;;)
        got.push_back(get_console_key());
}

class KeyDecoder : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        open("");
    }

    Keys decode(const std::string& bytes)
    {
        got.clear();
        type(bytes);
        EXPECT_FALSE(run(read_keys));
        return got;
    }
};

TEST_F(KeyDecoder, TurnsSequencesIntoScanCodes)
{
    const std::pair<const char*, int> table[] = {
        {"\x1b[A", 72}, {"\x1bOA", 72}, {"\x1b[B", 80}, {"\x1bOB", 80},
        {"\x1b[C", 77}, {"\x1bOC", 77}, {"\x1b[D", 75}, {"\x1bOD", 75},
        {"\x1b[H", 71}, {"\x1bOH", 71}, {"\x1b[1~", 71}, {"\x1b[7~", 71},
        {"\x1b[F", 79}, {"\x1bOF", 79}, {"\x1b[4~", 79}, {"\x1b[8~", 79},
        {"\x1b[5~", 73}, {"\x1b[6~", 81}, {"\x1b[2~", 82}, {"\x1b[3~", 83},
        {"\x1bOP", 59}, {"\x1b[11~", 59}, {"\x1b[[A", 59},
        {"\x1bOQ", 60}, {"\x1bOR", 61}, {"\x1bOS", 62}, {"\x1b[15~", 63},
        {"\x1b[17~", 64}, {"\x1b[21~", 68}, {"\x1b[[E", 63},
        {"\x1b[23~", 133}, {"\x1b[24~", 134},
        {"\x1b[1;2A", 72}, {"\x1b[5;2~", 73}, {"\x1b[1;2P", 59},
    };
    for (auto [bytes, scan] : table)
        EXPECT_EQ(decode(bytes), (Keys{0, scan})) << "for ESC" << bytes + 1;
}

TEST_F(KeyDecoder, ConsumesOtherSequencesWhole)
{
    EXPECT_EQ(decode("\x1b[1;5Aa"), Keys{'a'}) << "Ctrl+Up";
    EXPECT_EQ(decode("\x1b[?1;2cb"), Keys{'b'}) << "a terminal's reply";
    EXPECT_EQ(decode("\x1b[99~\x1b[Zc"), Keys{'c'});
    EXPECT_EQ(decode("\x1b[P"), Keys{}) << "F1 comes as ESC O P";
    EXPECT_EQ(decode("\x1b[1\r"), Keys{13}) << "a key that cuts a sequence short is kept";
    EXPECT_EQ(decode("\x1b[[x"), Keys{'x'});
    EXPECT_EQ(decode("x\x1b[1;2Sy"), (Keys{'x', 0, 62, 'y'}));
}

TEST_F(KeyDecoder, TellsALoneEscapeByThePauseAfterIt)
{
    type("\x1b");
    pause();
    type("[A");
    got.clear();
    run(read_keys);
    EXPECT_EQ(got, (Keys{27, '[', 'A'}));

    EXPECT_EQ(decode("\x1bx"), (Keys{27, 'x'})) << "Alt+x";
    EXPECT_EQ(decode("\x1b\x1b[B"), (Keys{27, 0, 80}));
    type("\x1b[");
    pause();
    EXPECT_EQ(decode("q"), Keys{'q'}) << "a sequence cut short is dropped";
}

TEST_F(KeyDecoder, PassesOtherBytesThrough)
{
    EXPECT_EQ(decode(std::string("\x7f\x08\r\n\x03\x11\x13\x1a", 8)),
              (Keys{8, 8, 13, 10, 3, 17, 19, 26}));
    // ^@ is no key, and a raw 0xE0 is text, never the extended prefix
    EXPECT_EQ(decode(std::string("\0\xe0\xff", 3)), (Keys{0xE0, 0xFF}));
}
