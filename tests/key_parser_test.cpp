// What the key parser makes of the bytes a terminal sends, without an
// editor: tables of byte sequences and the keys they give.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "screen/key_parser.h"
#include "state/key_codes.h"

namespace {

using Keys = std::vector<int>;
const int paste_start = key_paste;  // how a paste's start shows in Keys

const unsigned char* bytes_of(const std::string& s)
{
    return reinterpret_cast<const unsigned char*>(s.data());
}

size_t parse(const std::string& s, bool paused, parsed_key* k)
{
    return parse_key(bytes_of(s), s.size(), paused, k, false);
}

// The keys bytes give when nothing more comes after them, as the reader
// takes them: 0 and the scan code for an extended key, Esc before an Alt
// key. With kitty, as after the terminal was told to disambiguate keys.
Keys keys_of(const std::string& bytes, bool kitty = false)
{
    Keys keys;
    for (size_t at = 0; at < bytes.size();) {
        parsed_key k;
        size_t used = parse_key(bytes_of(bytes) + at, bytes.size() - at, false, &k, kitty);
        if (used == 0)
            used = parse_key(bytes_of(bytes) + at, bytes.size() - at, true, &k, kitty);
        if (used == 0 || used > bytes.size() - at) {
            ADD_FAILURE() << "took " << used << " of " << bytes.size() - at;
            break;
        }
        at += used;
        if (k.after_escape)
            keys.push_back(key_escape);
        if (k.kind == key_kind::byte)
            keys.push_back(k.value);
        else if (k.kind == key_kind::extended)
            keys.insert(keys.end(), {0, k.value});
        else if (k.kind == key_kind::paste_start)
            keys.push_back(paste_start);
    }
    return keys;
}

struct Row {
    const char* bytes;
    Keys keys;
};

void expect_rows(const std::vector<Row>& rows, bool kitty = false)
{
    for (const Row& r : rows)
        EXPECT_EQ(keys_of(r.bytes, kitty), r.keys) << "for ESC" << r.bytes + 1 << (kitty ? " (kitty)" : "");
}

// Every key of the terminal's table, the same with Shift, and keys that
// other modifiers make no key, or that are an Esc and a key.
const std::vector<Row> terminal_table = {
    {"\x1b[A", {0, scan_up}}, {"\x1bOA", {0, scan_up}},
    {"\x1b[B", {0, scan_down}}, {"\x1bOB", {0, scan_down}},
    {"\x1b[C", {0, scan_right}}, {"\x1bOC", {0, scan_right}},
    {"\x1b[D", {0, scan_left}}, {"\x1bOD", {0, scan_left}},
    {"\x1b[H", {0, scan_home}}, {"\x1bOH", {0, scan_home}},
    {"\x1b[1~", {0, scan_home}}, {"\x1b[7~", {0, scan_home}},
    {"\x1b[F", {0, scan_end}}, {"\x1bOF", {0, scan_end}},
    {"\x1b[4~", {0, scan_end}}, {"\x1b[8~", {0, scan_end}},
    {"\x1b[5~", {0, scan_page_up}}, {"\x1b[6~", {0, scan_page_down}},
    {"\x1b[2~", {0, scan_insert}}, {"\x1b[3~", {0, scan_delete}},
    {"\x1bOP", {0, scan_f1}}, {"\x1b[11~", {0, scan_f1}}, {"\x1b[[A", {0, scan_f1}},
    {"\x1bOQ", {0, scan_f1 + 1}}, {"\x1b[12~", {0, scan_f1 + 1}}, {"\x1b[[B", {0, scan_f1 + 1}},
    {"\x1bOR", {0, scan_f1 + 2}}, {"\x1b[13~", {0, scan_f1 + 2}}, {"\x1b[[C", {0, scan_f1 + 2}},
    {"\x1bOS", {0, scan_f1 + 3}}, {"\x1b[14~", {0, scan_f1 + 3}}, {"\x1b[[D", {0, scan_f1 + 3}},
    {"\x1b[15~", {0, scan_f1 + 4}}, {"\x1b[[E", {0, scan_f1 + 4}},
    {"\x1b[17~", {0, scan_f1 + 5}}, {"\x1b[18~", {0, scan_f1 + 6}}, {"\x1b[19~", {0, scan_f1 + 7}},
    {"\x1b[20~", {0, scan_f1 + 8}}, {"\x1b[21~", {0, scan_f1 + 9}},
    {"\x1b[23~", {0, scan_f11}}, {"\x1b[24~", {0, scan_f12}},
    {"\x1b[1;2A", {0, scan_up}}, {"\x1b[1;2B", {0, scan_down}},
    {"\x1b[1;2C", {0, scan_right}}, {"\x1b[1;2D", {0, scan_left}},
    {"\x1b[1;2H", {0, scan_home}}, {"\x1b[1;2F", {0, scan_end}},
    {"\x1b[1;2P", {0, scan_f1}}, {"\x1b[1;2Q", {0, scan_f1 + 1}},
    {"\x1b[1;2R", {0, scan_f1 + 2}}, {"\x1b[1;2S", {0, scan_f1 + 3}},
    {"\x1b[5;2~", {0, scan_page_up}}, {"\x1b[3;2~", {0, scan_delete}},
    {"\x1b[15;2~", {0, scan_f1 + 4}}, {"\x1b[24;2~", {0, scan_f12}},
    {"\x1b[1;1A", {0, scan_up}},    // modifier 1: none
    {"\x1b[1;5Aa", {'a'}}, {"\x1b[1;3Ca", {'a'}}, {"\x1b[5;5~b", {'b'}},   // other modifiers
    {"\x1b[99~\x1b[Ze", {'e'}},
    {"\x1bx", {key_escape, 'x'}}, {"\x1b\x1b[B", {key_escape, 0, scan_down}},
    {"\x7f\x08\r\n\x03\x11\x13\x1a",
     {key_backspace, key_backspace, key_enter, 10, key_ctrl_c, key_ctrl_q, 19, 26}},
};

}  // namespace

// The keys of the terminal's table, Shift included, and keys around them.
TEST(KeyParser, TurnsEachSequenceOfTheTerminalTableIntoItsKey)
{
    expect_rows(terminal_table);
}

TEST(KeyParser, TakesOtherSequencesWholeAsNoKey)
{
    expect_rows({
        {"\x1b[1;5Aa", {'a'}},          // Ctrl+Up
        {"\x1b[1;3Ca", {'a'}},          // Alt+Right
        {"\x1b[5;5~b", {'b'}},
        {"\x1b[?1;2cb", {'b'}},         // a terminal's reply
        {"\x1b[?2026;1$yc", {'c'}},     // a reply with an intermediate
        {"\x1b[>1;2;3cd", {'d'}},
        {"\x1b[99~\x1b[Ze", {'e'}},
        {"\x1b[1:2Af", {'f'}},          // a sub-parameter
        {"\x1b[P", {}},                 // F1 comes as ESC O P
        {"\x1bO5~", {}},                // SS3 has no number keys
        {"\x1bOx", {}},
        {"\x1b[I\x1b[O", {}},           // focus in and out
        {"\x1b[201~", {}},              // an end of paste without its start
    });
}

TEST(KeyParser, GivesASequenceItsPartsByTheGrammar)
{
    parsed_key k;
    EXPECT_EQ(parse("\x1b[?2026;1$yx", false, &k), 11u);
    EXPECT_EQ(k.kind, key_kind::mode_report);
    EXPECT_EQ(k.value, 2026);
    EXPECT_EQ(k.sequence.introducer, '[');
    EXPECT_EQ(k.sequence.private_marker, '?');
    EXPECT_EQ(k.sequence.param_count, 2);
    EXPECT_EQ(k.sequence.params[0], 2026);
    EXPECT_EQ(k.sequence.params[1], 1);
    EXPECT_EQ(k.sequence.intermediate_count, 1);
    EXPECT_EQ(k.sequence.intermediates[0], '$');
    EXPECT_EQ(k.sequence.final, 'y');

    EXPECT_EQ(parse("\x1b[;5u", false, &k), 5u);
    EXPECT_EQ(k.sequence.param_count, 2) << "an empty number is 0";
    EXPECT_EQ(k.sequence.params[0], 0);
    EXPECT_EQ(k.sequence.params[1], 5);
    EXPECT_EQ(k.sequence.private_marker, 0);

    EXPECT_EQ(parse("\x1bOA", false, &k), 3u);
    EXPECT_EQ(k.sequence.introducer, 'O');
    EXPECT_EQ(k.sequence.param_count, 0);
    EXPECT_EQ(k.sequence.final, 'A');

    EXPECT_EQ(parse("\x1b[1;2;3;4;5;6;7;8;9;10m", false, &k), 23u);
    EXPECT_EQ(k.sequence.param_count, 10);
    EXPECT_EQ(k.sequence.params[7], 8) << "the first numbers are kept";
}

TEST(KeyParser, WantsMoreBytesUntilASequenceIsWholeAndThenDropsItCut)
{
    for (std::string whole : {"\x1b[A", "\x1bOP", "\x1b[24~", "\x1b[1;2A", "\x1b[[E", "\x1b[?2026;1$y", "\x1b[200~",
                              "\x1b[27u", "\x1b[?0u", "\x1b[99;5u"}) {
        for (size_t n = 1; n < whole.size(); n++) {
            std::string cut = whole.substr(0, n);
            parsed_key k;
            EXPECT_EQ(parse(cut, false, &k), 0u) << "ESC" << cut.substr(1) << " is not yet whole";
            size_t used = parse(cut, true, &k);
            if (n == 1) {
                EXPECT_EQ(used, 1u);
                EXPECT_EQ(k.kind, key_kind::byte) << "a lone ESC is the Esc key";
                EXPECT_EQ(k.value, key_escape);
            } else {
                EXPECT_EQ(used, n) << "ESC" << cut.substr(1) << " is dropped whole";
                EXPECT_EQ(k.kind, key_kind::none);
            }
        }
    }
    // a byte that fits no part of a sequence cuts it short and is a key
    expect_rows({
        {"\x1b[1\r", {key_enter}},
        {"\x1b[1;\x1b[B", {0, scan_down}},
        {"\x1b[[x", {'x'}},
        {"\x1bO\x7f", {key_backspace}},
        {"\x1b[?1$2y", {'2', 'y'}},     // a number after an intermediate
    });
}

TEST(KeyParser, EscFollowedByAByteThatStartsNoSequenceIsEscAndThatKey)
{
    expect_rows({
        {"\x1bx", {key_escape, 'x'}},
        {"\x1b\x1b[B", {key_escape, 0, scan_down}},
        {"\x1b\x1b", {key_escape, key_escape}},
        {"\x1b\r", {key_escape, key_enter}},
    });
    parsed_key k;
    EXPECT_EQ(parse("\x1bx", false, &k), 1u) << "Esc is decided without waiting";
}

TEST(KeyParser, PassesOtherBytesThrough)
{
    EXPECT_EQ(keys_of(std::string("\x7f\x08\r\n\x03\x11\x13\x1a", 8)),
              (Keys{key_backspace, key_backspace, key_enter, 10, key_ctrl_c, key_ctrl_q, 19, 26}));
    // ^@ is no key, and a raw 0xE0 is text, never the extended prefix
    EXPECT_EQ(keys_of(std::string("a\0\xe0\xff", 4)), (Keys{'a', 0xE0, 0xFF}));
    parsed_key k;
    EXPECT_EQ(parse(std::string("\0", 1), false, &k), 1u);
    EXPECT_EQ(parse("", true, &k), 0u);
}

TEST(KeyParser, FindsThePasteStartMarkerAndNoMore)
{
    parsed_key k;
    EXPECT_EQ(parse("\x1b[200~\x1b[A", false, &k), 6u) << "what follows is the paste's";
    EXPECT_EQ(k.kind, key_kind::paste_start);
    expect_rows({
        {"\x1b[200;2~", {}},
        {"\x1b[?200~", {}},
    });
}

// The answers to the questions of the set-up, whichever way keys come.
TEST(KeyParser, TakesTheTerminalsAnswersAsRepliesNeverAsKeys)
{
    for (bool kitty : {false, true}) {
        parsed_key k;
        EXPECT_EQ(parse_key(bytes_of("\x1b[?1u"), 5, false, &k, kitty), 5u);
        EXPECT_EQ(k.kind, key_kind::keyboard_flags);
        EXPECT_EQ(k.value, 1);
        EXPECT_EQ(parse_key(bytes_of("\x1b[?2027;2$y"), 11, false, &k, kitty), 11u);
        EXPECT_EQ(k.kind, key_kind::mode_report);
        EXPECT_EQ(k.value, 2027);
        EXPECT_EQ(k.sequence.params[1], 2);
        EXPECT_EQ(parse_key(bytes_of("\x1b[I"), 3, false, &k, kitty), 3u);
        EXPECT_EQ(k.kind, key_kind::focus_in);
        for (const char* none : {"\x1b[O", "\x1b[?62;22c", "\x1b[?u", "\x1b[?1;2u", "\x1b[?2026$y",
                                 "\x1b[2026;1$y", "\x1b[1I"}) {
            EXPECT_EQ(parse_key(bytes_of(none), strlen(none), false, &k, kitty), strlen(none));
            EXPECT_EQ(k.kind, key_kind::none) << "ESC" << none + 1;
        }
    }
}

// Under the kitty keyboard protocol's "disambiguate escape codes": the
// keys of the terminal's table come as before, F1-F4 may come as CSI P-S.
TEST(KeyParser, WithTheKittyProtocolEveryKeyOfTheTableGivesWhatItGaveBefore)
{
    expect_rows(terminal_table, true);
    expect_rows({
        {"\x1b[P", {0, scan_f1}}, {"\x1b[Q", {0, scan_f1 + 1}},
        {"\x1b[R", {0, scan_f1 + 2}}, {"\x1b[S", {0, scan_f1 + 3}},
        {"\x1b[1;129A", {0, scan_up}},         // Num Lock counts for nothing
        {"\x1b[1;66D", {0, scan_left}},        // Caps Lock and Shift
        {"\x1b[3;65~", {0, scan_delete}},
        {"\x1b[1;5P", {}}, {"\x1b[1;9A", {}},  // Ctrl+F1, Super+Up
    }, true);
}

// The keys the protocol sends as ESC [ code ; modifiers u give the byte
// they give without it, Alt the Esc key first; the others are no key.
TEST(KeyParser, WithTheKittyProtocolKeysAsCsiUGiveTheirBytes)
{
    expect_rows({
        {"\x1b[27u", {key_escape}}, {"\x1b[27;2u", {key_escape}}, {"\x1b[27;5u", {key_escape}},
        {"\x1b[27;3u", {key_escape, key_escape}},
        {"\x1b[97;5u", {key_ctrl_a}}, {"\x1b[99;5u", {key_ctrl_c}}, {"\x1b[122;5u", {26}},
        {"\x1b[113;5u", {key_ctrl_q}}, {"\x1b[115;5u", {19}}, {"\x1b[104;5u", {key_backspace}},
        {"\x1b[105;5u", {key_tab}}, {"\x1b[109;5u", {key_enter}},
        {"\x1b[91;5u", {key_escape}}, {"\x1b[51;5u", {key_escape}}, {"\x1b[92;5u", {28}},
        {"\x1b[93;5u", {29}}, {"\x1b[54;5u", {30}}, {"\x1b[47;5u", {31}}, {"\x1b[56;5u", {key_backspace}},
        {"\x1b[49;5u", {'1'}}, {"\x1b[59;5u", {';'}},     // Ctrl leaves these as they are
        {"\x1b[32;5u", {}}, {"\x1b[50;5u", {}},             // a NUL is no key
        {"\x1b[120;3u", {key_escape, 'x'}}, {"\x1b[120;4u", {key_escape, 'X'}},
        {"\x1b[97;7u", {key_escape, key_ctrl_a}}, {"\x1b[46;3u", {key_escape, '.'}},
        {"\x1b[32;3u", {key_escape, ' '}},
        {"\x1b[97;69u", {key_ctrl_a}}, {"\x1b[99;133u", {key_ctrl_c}},   // lock keys
        {"\x1b[13;5u", {key_enter}}, {"\x1b[13;2u", {key_enter}}, {"\x1b[13;3u", {key_escape, key_enter}},
        {"\x1b[9;5u", {key_tab}}, {"\x1b[9;3u", {key_escape, key_tab}},
        {"\x1b[127;5u", {key_backspace}}, {"\x1b[127;3u", {key_escape, key_backspace}},
        {"\x1b[57399u", {'0'}}, {"\x1b[57408u", {'9'}}, {"\x1b[57409u", {'.'}},
        {"\x1b[57413u", {'+'}}, {"\x1b[57414u", {key_enter}}, {"\x1b[57416u", {','}},
        {"\x1b[57417u", {0, scan_left}}, {"\x1b[57418u", {0, scan_right}},
        {"\x1b[57419u", {0, scan_up}}, {"\x1b[57420u", {0, scan_down}},
        {"\x1b[57421u", {0, scan_page_up}}, {"\x1b[57422u", {0, scan_page_down}},
        {"\x1b[57423u", {0, scan_home}}, {"\x1b[57424u", {0, scan_end}},
        {"\x1b[57425u", {0, scan_insert}}, {"\x1b[57426u", {0, scan_delete}},
        {"\x1b[57419;2u", {0, scan_up}},
    }, true);
    // no byte without the protocol either, or one that depends on the layout
    expect_rows({
        {"\x1b[9;2ua", {'a'}},            // Shift+Tab: ESC [ Z
        {"\x1b[97;6ub", {'b'}},           // Ctrl+Shift+a
        {"\x1b[49;4uc", {'c'}},           // Shift+Alt+1
        {"\x1b[97;9ud", {'d'}}, {"\x1b[97;17u", {}}, {"\x1b[97;33u", {}},   // Super, Hyper, Meta
        {"\x1b[57419;5u", {}}, {"\x1b[57427~", {}}, {"\x1b[E", {}},          // Ctrl+keypad Up, keypad 5
        {"\x1b[57376u", {}}, {"\x1b[57441u", {}}, {"\x1b[233;3u", {}},      // F13, Shift, Alt+é
        {"\x1b[97;5:1u", {}}, {"\x1b[;5u", {}}, {"\x1b[0u", {}},
    }, true);
}

// Without the protocol those sequences are no key, as they always were.
TEST(KeyParser, WithoutTheKittyProtocolItsSequencesAreNoKey)
{
    expect_rows({
        {"\x1b[27ua", {'a'}}, {"\x1b[97;5ub", {'b'}}, {"\x1b[120;3u", {}}, {"\x1b[57414u", {}},
        {"\x1b[P", {}}, {"\x1b[R", {}}, {"\x1b[1;129A", {}}, {"\x1b[1;66D", {}},
    });
}
