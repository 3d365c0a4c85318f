#include "commands/open_text.h"

#include <sys/stat.h>

#include "commands/file_io.h"
#include "prompts/menu.h"
#include "prompts/message.h"
#include "screen/console.h"
#include "screen/window.h"
#include "store/files.h"
#include "store/history.h"
#include "store/store.h"

// What every text starts with: no paste buffer, no count, the settings of
// the Set menu and the colours as they are at start-up.
static void reset_text_settings()
{
    selection_start = nullptr;
    paste_buffer[0] = 0;
    paste_end = paste_buffer;
    count_entry = 0;
    query_flag = 0;
    auto_indent = 1;
    delete_to_buffer = 1;
    header_attr = 0x71;
    text_attr = 0x1F;
    tab_width = 8;
    show_controls = 0;
    goal_column = 0;
}

// Row 2 after a load's message: the size, or that the file is new.
static void show_load_status(const file_result& loaded)
{
    if (loaded.status == file_status::missing)
        print_formatted(" /new ! %u free", text_capacity);
    else if (loaded.status == file_status::done && !loaded.nul_bytes)
        print_formatted(" %u/%u chars", unsigned(text_end - text_begin), text_capacity);
}

/*
 * Replaces the text by the file at path. Nothing loaded (a new or empty
 * file) leaves a text of two empty lines.
 */
void open_text(const char* path)
{
    take_console_size();
    struct stat st;
    empty_text(stat(path, &st) == 0 && S_ISREG(st.st_mode) ? size_t(st.st_size) : 0);
    window_top = window_bottom = line_start = cursor = view_start = text_begin;
    reset_text_settings();
    show_menu_line("PYM 0.5");
    file_name = path;
    file_result loaded = load_with_progress(path, text_begin, load_mode::open);
    show_load_status(loaded);
    note_opened_file(path, loaded);
    fill_empty_text();
    redraw_window(text_begin, first_text_row);
    clear_history();
    place_cursor_at(1, first_text_row);
    reset_menu(view_only ? view_menu : full_menu);
}
