/*
 * The commands of the command loop in one table: dispatch() runs a key's
 * row, and view mode's blocked_keys are gathered from the rows it refuses.
 * The functions here only hand the loop's count and key to the commands,
 * which live in commands/.
 */
#include "session/command_table.h"

#include <array>
#include <utility>

#include "commands/file_io.h"
#include "commands/help.h"
#include "commands/insert.h"
#include "commands/macros.h"
#include "commands/menus.h"
#include "commands/paste_buffer.h"
#include "commands/terminal_paste.h"
#include "commands/search.h"
#include "commands/shared_keys.h"
#include "commands/undo_redo.h"
#include "keys/keys.h"
#include "prompts/input.h"
#include "prompts/menu.h"
#include "prompts/read_key.h"
#include "screen/keyboard.h"
#include "screen/window.h"

// A command that takes neither the key nor the count.
template <void (*act)()>
static int plain(int)
{
    act();
    return 0;
}

// A command that takes the count: undo and redo.
template <void (*act)(long)>
static int counted(int)
{
    act(repeat_count);
    return 0;
}

// Insert mode (1) or exchange mode (0).
template <int insert>
static int enter_mode(int)
{
    insert_mode(insert);
    return 0;
}

// Y and Z: the replay of their register.
template <byte* reg>
static int replay(int)
{
    replay_command(reg);
    return 0;
}

// CR: the text moves up under the cursor, which goes to its line's start.
static int enter_key(int)
{
    goal_column = 0;
    refresh();
    move_view(0, repeat_count);
    last_key = 0;
    return 0;
}

static int next_menu_segment(int)
{
    advance_menu();
    show_menu_segment();
    return 0;
}

// The cursor and page keys, Home, End, F1, Ins and Del: the extended prefix.
static int extended_key(int key)
{
    handle_special_key(key);
    if (mode_key)
        insert_mode(1);
    return 0;
}

static int again(int)
{
    again_command(last_search, repeat_count);
    return 0;
}

// Copy runs repeat_count times, counting it down; once a copy is refused,
// so is every further one.
static int copy(int)
{
    for (; repeat_count > 0; repeat_count--)
        if (!copy_command() || repetition_interrupted())
            repeat_count = 1;
    show_status();
    return 0;
}

static int find(int key)
{
    prompt_find(repeat_count);
    last_search = key;
    return 0;
}

static int reverse_find(int)
{
    prompt_reverse_find(repeat_count);
    last_search = '-';
    return 0;
}

// Goes to the line of the count: line 1 without one.
static int jump(int)
{
    long line = show_status();
    move_view(long(repeat_count) - line, 0);
    return 0;
}

// The Quit menu's result is the next command key, or 0 to end the run;
// a viewing run ends at once.
static int quit(int)
{
    int next = view_only ? 0 : quit_menu();
    return next == 0 ? end_of_run : next;
}

static int replace(int)
{
    prompt_replace(repeat_count, query_flag);
    last_search = query_flag ? 'R' : 'r';
    return 0;
}

static int update_and_exit(int)
{
    if (ask_yes_no("Update & Exit ? ", "") && save_text(file_name.c_str()) && !modified)
        return end_of_run;
    return 0;
}

static int paste(int)
{
    insert_paste(paste_to_take());
    return 0;
}

using enum in_view_mode;

// The rows with a menu word come in the full menu's order.
static constexpr command rows[] = {
    {{key_enter}, "", allowed, enter_key},
    {{key_escape}, "", allowed, plain<show_menu_segment>},
    {{' '}, "<space>", allowed, next_menu_segment},
    {{extended_prefix}, "<curs>", allowed, extended_key},
    {{'A', 'a'}, "Again", allowed, again},
    {{'B', 'b'}, "Buffer", refused, plain<buffer_command>},
    {{'C', 'c'}, "Copy", refused, copy},
    {{'D', 'd'}, "Delete", refused, plain<delete_command>},
    {{'X', 'x'}, "eXchange", refused, enter_mode<0>},
    {{'F', 'f'}, "Find", allowed, find},
    {{'-'}, "-find", refused, reverse_find},
    {{'G', 'g'}, "Get", refused, plain<get_command>},
    {{'I', 'i', key_ctrl_v}, "Insert", refused, enter_mode<1>},
    {{'J', 'j'}, "Jump", allowed, jump},
    {{'M', 'm'}, "Macro", refused, plain<macro_command>},
    {{'P', 'p'}, "Put", allowed, plain<put_command>},
    {{'Q', 'q'}, "Quit", allowed, quit},
    {{'R', 'r'}, "Replace", refused, replace},
    {{'S', 's'}, "Set", refused, plain<set_menu>},
    {{'Y', 'y'}, "Y", refused, replay<macro_y>},
    {{'Z', 'z'}, "Z", refused, replay<macro_z>},
    {{'&'}, "&", refused, update_and_exit},
    {{'@'}, "@", allowed, plain<redraw_all>},
    {{'H', 'h'}, "<F1>=Help", refused, plain<show_help>},
    {{'U', 'u'}, "", bell, counted<undo_command>},
    {{key_ctrl_r}, "", bell, counted<redo_command>},
    {{key_paste}, "", bell, paste},
    // keys view mode refuses that run no command of their own: "?" is
    // read with the count, the others go to the shared keys
    {{'<', '?'}, "", refused, nullptr},
    {{key_backspace, key_ctrl_y}, "", refused, nullptr},
};

// Every key a row may hold: the bytes and the decoder's keys beyond them.
const int key_limit = 0x200;
static_assert(key_paste_stalled < key_limit);

// True when no key stands in two rows.
static constexpr bool keys_unique()
{
    std::array<bool, key_limit> seen{};
    for (const command& c : rows)
        for (int k : c.keys)
            if (k != 0 && std::exchange(seen[k], true))
                return false;
    return true;
}
static_assert(keys_unique(), "a key runs one command");

// The keys view mode turns into ESC before anything else sees them.
static constexpr auto blocked_keys = [] {
    std::array<bool, key_limit> blocked{};
    for (const command& c : rows)
        for (int k : c.keys)
            if (k != 0 && c.in_view == refused)
                blocked[k] = true;
    return blocked;
}();

// Each key's row, found by the key.
static constexpr auto row_of_key = [] {
    std::array<const command*, key_limit> row{};
    for (const command& c : rows)
        for (int k : c.keys)
            if (k != 0)
                row[k] = &c;
    return row;
}();

const command* command_of(int key)
{
    return key >= 0 && key < key_limit ? row_of_key[key] : nullptr;
}

bool blocked_key(int key)
{
    return key >= 0 && key < key_limit && blocked_keys[key];
}

std::span<const command> command_rows()
{
    return rows;
}
