// What the key decoder makes of the bytes an xterm sends.
#include <gtest/gtest.h>

#include <unistd.h>

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

static const std::pair<const char*, int> scan_table[] = {
    {"\x1b[A", scan_up}, {"\x1bOA", scan_up}, {"\x1b[B", scan_down}, {"\x1bOB", scan_down},
    {"\x1b[C", scan_right}, {"\x1bOC", scan_right}, {"\x1b[D", scan_left}, {"\x1bOD", scan_left},
    {"\x1b[H", scan_home}, {"\x1bOH", scan_home}, {"\x1b[1~", scan_home}, {"\x1b[7~", scan_home},
    {"\x1b[F", scan_end}, {"\x1bOF", scan_end}, {"\x1b[4~", scan_end}, {"\x1b[8~", scan_end},
    {"\x1b[5~", scan_page_up}, {"\x1b[6~", scan_page_down}, {"\x1b[2~", scan_insert}, {"\x1b[3~", scan_delete},
    {"\x1bOP", scan_f1}, {"\x1b[11~", scan_f1}, {"\x1b[[A", scan_f1},
    {"\x1bOQ", scan_f1 + 1}, {"\x1bOR", scan_f1 + 2}, {"\x1bOS", scan_f1 + 3}, {"\x1b[15~", scan_f1 + 4},
    {"\x1b[17~", scan_f1 + 5}, {"\x1b[21~", scan_f1 + 9}, {"\x1b[[E", scan_f1 + 4},
    {"\x1b[23~", scan_f11}, {"\x1b[24~", scan_f12},
    {"\x1b[1;2A", scan_up}, {"\x1b[5;2~", scan_page_up}, {"\x1b[1;2P", scan_f1},
};

TEST_F(KeyDecoder, TurnsSequencesIntoScanCodes)
{
    for (auto [bytes, scan] : scan_table)
        EXPECT_EQ(decode(bytes), (Keys{0, scan})) << "for ESC" << bytes + 1;
}

static size_t count(const std::string& s, const std::string& part)
{
    size_t n = 0;
    for (size_t at = s.find(part); at != std::string::npos; at = s.find(part, at + 1))
        n++;
    return n;
}

/*
 * Until the terminal answers the kitty keyboard protocol's question the
 * editor asks nothing of it and its sequences are no key. Once it has,
 * "disambiguate escape codes" goes on, once however often the answer
 * comes; Esc arrives as ESC [ 27 u and is the Esc key as it comes, and
 * every other key gives what it gave.
 */
TEST_F(KeyDecoder, AfterTheKeyboardProtocolsAnswerEscIsAKeyAsItComes)
{
    take_output();
    EXPECT_EQ(decode("\x1b[?62;22c\x1b[27ua\x1b[97;5u\x1b[P"), Keys{'a'}) << "no answer: as before";
    EXPECT_EQ(count(take_output(), "\x1b[>1u"), 0u);

    EXPECT_EQ(decode("\x1b[?0u\x1b[27u"), Keys{key_escape});
    EXPECT_EQ(count(take_output(), "\x1b[>1u"), 1u);
    EXPECT_EQ(decode("\x1b[?1u\x1b[?0ux\x1b[120;3u\x1b[97;5u\x1b[P"),
              (Keys{'x', key_escape, 'x', key_ctrl_a, 0, scan_f1}))
        << "the answers to a question asked again";
    EXPECT_EQ(count(take_output(), "\x1b[>1u"), 0u);

    for (auto [bytes, scan] : scan_table)
        EXPECT_EQ(decode(bytes), (Keys{0, scan})) << "for ESC" << bytes + 1;
    EXPECT_EQ(decode(std::string("\x7f\x08\r\x1bx\x1b\x1b[B", 9)),
              (Keys{key_backspace, key_backspace, key_enter, key_escape, 'x', key_escape, 0, scan_down}));
    type("\x1b");
    pause();
    EXPECT_EQ(decode("[A"), (Keys{key_escape, '[', 'A'})) << "a lone ESC byte is still Esc after a pause";
}

TEST_F(KeyDecoder, ConsumesOtherSequencesWhole)
{
    EXPECT_EQ(decode("\x1b[1;5Aa"), Keys{'a'}) << "Ctrl+Up";
    EXPECT_EQ(decode("\x1b[?1;2cb"), Keys{'b'}) << "a terminal's reply";
    EXPECT_EQ(decode("\x1b[99~\x1b[Zc"), Keys{'c'});
    EXPECT_EQ(decode("\x1b[P"), Keys{}) << "F1 comes as ESC O P";
    EXPECT_EQ(decode("\x1b[1\r"), Keys{13}) << "a key that cuts a sequence short is kept";
    EXPECT_EQ(decode("\x1b[[x"), Keys{'x'});
    EXPECT_EQ(decode("x\x1b[1;2Sy"), (Keys{'x', 0, scan_f1 + 3, 'y'}));
}

TEST_F(KeyDecoder, TellsALoneEscapeByThePauseAfterIt)
{
    type("\x1b");
    pause();
    type("[A");
    got.clear();
    run(read_keys);
    EXPECT_EQ(got, (Keys{key_escape, '[', 'A'}));

    EXPECT_EQ(decode("\x1bx"), (Keys{key_escape, 'x'})) << "Alt+x";
    EXPECT_EQ(decode("\x1b\x1b[B"), (Keys{key_escape, 0, scan_down}));
    type("\x1b[");
    pause();
    EXPECT_EQ(decode("q"), Keys{'q'}) << "a sequence cut short is dropped";
}

TEST_F(KeyDecoder, PassesOtherBytesThrough)
{
    EXPECT_EQ(decode(std::string("\x7f\x08\r\n\x03\x11\x13\x1a", 8)),
              (Keys{key_backspace, key_backspace, key_enter, 10, key_ctrl_c, key_ctrl_q, 19, 26}));
    // ^@ is no key, and a raw 0xE0 is text, never the extended prefix
    EXPECT_EQ(decode(std::string("\0\xe0\xff", 3)), (Keys{0xE0, 0xFF}));
}

// A paste whose end marker does not come: a pause says so, and from then
// on a lone ESC ends it; an ESC with a byte right after it is still text.
TEST_F(KeyDecoder, EndsAStalledPasteAtALoneEscape)
{
    type("\x1b[200~a\x1b" "b");
    pause();
    type("c\x1b" "d\x1b[A");
    press(Key::Esc);
    EXPECT_EQ(decode("x"), (Keys{key_paste_stalled, key_paste, 'x'}));
    EXPECT_EQ(pasted_bytes(), "a\x1b" "bc\x1b" "d\x1b[A");

    type("\x1b[200~one");
    pause();
    EXPECT_EQ(decode("two\x1b[201~y"), (Keys{key_paste_stalled, key_paste, 'y'}))
        << "the end marker still ends it";
    EXPECT_EQ(pasted_bytes(), "onetwo");
}

TEST_F(KeyDecoder, HandsOnAPasteCutByTheEndOfTheInput)
{
    EXPECT_EQ(decode("\x1b[200~abc"), (Keys{key_paste_stalled, key_paste}));
    EXPECT_EQ(pasted_bytes(), "abc");
}

// The screen is drawn again at once, and the paste goes on.
TEST_F(KeyDecoder, SaysThatTheTerminalWasResizedDuringAPaste)
{
    type("\x1b[200~ab");
    resize(40, 10);
    EXPECT_EQ(decode("c\x1b[201~"), (Keys{key_resize, key_paste}));
    EXPECT_EQ(pasted_bytes(), "abc");
}

// ^C is text in a paste that a long command sees begin; once the decoder
// has read that paste, even one a lone ESC ended, ^C stops commands again.
TEST_F(KeyDecoder, CtrlCStopsCommandsAgainAfterAStalledPasteEnded)
{
    auto look_at_input = [] {
        usleep(10000);          // it looks at most every few milliseconds
        return interrupt_typed();
    };
    type("\x1b[200~P\x03");
    pause();
    EXPECT_FALSE(look_at_input()) << "a ^C in a paste is text";
    press(Key::Esc);
    EXPECT_EQ(decode(""), (Keys{key_paste_stalled, key_paste}));
    EXPECT_EQ(pasted_bytes(), "P\x03");
    type("\x03");
    EXPECT_TRUE(look_at_input());
}

// A ^C typed after ^Q, to be put in the text, does not stop a long command
// that looks ahead at it; after ^Q ^Q (a ^Q in the text) it does.
TEST_F(KeyDecoder, AQuotedCtrlCTypedAheadIsTextNotAStop)
{
    type("a\x11\x03" "b");
    usleep(10000);
    EXPECT_FALSE(interrupt_typed());
    EXPECT_EQ(decode(""), (Keys{'a', key_ctrl_q, key_ctrl_c, 'b'}));
    type("\x11\x11\x03");
    usleep(10000);
    EXPECT_TRUE(interrupt_typed());
    EXPECT_EQ(decode(""), (Keys{key_ctrl_q, key_ctrl_q}));
}

// Under the keyboard protocol ^C comes as ESC [ 99 ; 5 u: it stops a long
// command as the byte does, and the keys around it are kept.
TEST_F(KeyDecoder, CtrlCAsTheKeyboardProtocolSendsItStopsCommands)
{
    EXPECT_EQ(decode("\x1b[?0u"), Keys{});
    type("ab\x1b[99;5ucd");
    usleep(10000);
    EXPECT_TRUE(interrupt_typed());
    EXPECT_EQ(decode(""), (Keys{'a', 'b', 'c', 'd'}));
    type("\x1b[99;5u");
    usleep(10000);
    EXPECT_TRUE(interrupt_typed()) << "a sequence of its own, not only after other keys";
}

// Under the keyboard protocol the Esc key that ends a stalled paste is
// ESC [ 27 u; what only begins like it is still the paste's.
TEST_F(KeyDecoder, WithTheKeyboardProtocolItsEscEndsAStalledPaste)
{
    EXPECT_EQ(decode("\x1b[?0u"), Keys{});
    type("\x1b[200~a\x1b[27u");
    pause();
    type("b\x1b[2x\x1b[27\x1b[27u");
    EXPECT_EQ(decode("y"), (Keys{key_paste_stalled, key_paste, 'y'}));
    EXPECT_EQ(pasted_bytes(), "a\x1b[27ub\x1b[2x\x1b[27");
}

// A terminal's window getting the focus back is said to the editor; losing
// it, and the other answers to the set-up's questions, are no keys.
TEST_F(KeyDecoder, SaysThatTheFocusCameBack)
{
    EXPECT_EQ(decode("\x1b[Ia\x1b[Ob\x1b[?62;22c\x1b[?2026;0$y\x1b[I"), (Keys{key_focus_in, 'a', 'b', key_focus_in}));
}
