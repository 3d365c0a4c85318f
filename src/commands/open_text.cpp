#include "commands/open_text.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "commands/file_io.h"
#include "commands/motion.h"
#include "prompts/input.h"
#include "prompts/menu.h"
#include "prompts/message.h"
#include "screen/console.h"
#include "screen/window.h"
#include "store/files.h"
#include "store/history.h"
#include "store/journal.h"
#include "store/rescue.h"
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
 * The journals other editors keep of the file. One whose editor still
 * runs (here, or anywhere on another host) means the file is being edited:
 * the user edits it beside that one, or views it. One whose editor is gone
 * holds unsaved changes, offered for recovery: taken, they are the text
 * (true, with the cursor at *cursor); declined, they go to NAME.save. A
 * journal without changes, or one dealt with, goes.
 */
namespace {

struct journal_choice {
    bool beside = false;        // another editor runs: this one keeps a journal beside its own
    bool recovered = false;
    size_t cursor = 0;
    std::string saved_in;       // where declined changes went
};

bool edit_anyway(const char* path, const found_journal& f)
{
    char question[600];
    if (f.this_host)
        snprintf(question, sizeof question, "--> '%.400s' is being edited by process %lu. Edit anyway ? ", path, f.pid);
    else
        snprintf(question, sizeof question, "--> '%.300s' is being edited by process %lu on %.100s. Edit anyway ? ",
                 path, f.pid, f.host.c_str());
    return ask_yes_no("%s", question);
}

bool recover_this(const found_journal& f)
{
    char when[40];
    struct tm t;
    strftime(when, sizeof when, "%Y-%m-%d %H:%M", localtime_r(&f.last_change, &t));
    return ask_yes_no("--> unsaved changes from %s found. Recover ? ", when);
}

// A declined recovery: the text it holds goes to NAME.save.
bool save_declined(const char* path, const found_journal& f, journal_choice& c)
{
    size_t ignored;
    if (!recover_text(f, &ignored))
        return false;
    const char* saved = rescue_text(path);
    if (saved)
        c.saved_in = saved;
    return saved != nullptr;
}

journal_choice look_for_journals(const char* path, const std::string& file)
{
    journal_choice c;
    std::vector<found_journal> found = find_journals(file);
    std::sort(found.begin(), found.end(),
              [](const found_journal& a, const found_journal& b) { return a.last_change > b.last_change; });
    for (const found_journal& f : found) {
        if (f.running) {
            if (!c.beside && !view_only && !edit_anyway(path, f))
                view_only = 1;
            c.beside = true;
            continue;
        }
        if (f.has_changes && !c.recovered && recover_this(f)) {
            c.recovered = recover_text(f, &c.cursor);
            if (!c.recovered)
                continue;       // unreadable: kept for a later look
        } else if (f.has_changes && !save_declined(path, f, c)) {
            continue;           // nowhere to save it: the journal stays
        }
        remove_journal(f);
    }
    return c;
}

// Without a journal the first change says so (take_journal_trouble).
void start_own_journal(const std::string& file, const journal_choice& c, const file_result& loaded)
{
    if (view_only)
        return;
    bool as_read = !c.recovered && loaded.status == file_status::done && !loaded.nul_bytes;
    std::string why;
    if (start_journal(file, as_read ? &opened_file() : nullptr, c.beside, &why) && c.recovered)
        keep_text_in_journal(placeholder_line(), crlf_line_ends());
}

bool recovered;

// The cursor where the recovered text's last change was.
void place_recovered_cursor(size_t at)
{
    byte* p = text_begin + at;
    byte* line = line_start_of(p);
    move_view(long(line_number_of(line)) - 1, 0);
    move_cursor_bytes(p - line);
}

}  // namespace

bool text_was_recovered()
{
    return recovered;
}

/*
 * Replaces the text by the file at path, or by the unsaved text a journal
 * of it kept, when the user takes that. Nothing loaded (a new or empty
 * file) leaves a text of two empty lines.
 */
void open_text(const char* path)
{
    take_console_size();
    end_journal();
    struct stat st;
    size_t expected = stat(path, &st) == 0 && S_ISREG(st.st_mode) ? size_t(st.st_size) : 0;
    empty_text(expected);
    window_top = window_bottom = line_start = cursor = view_start = text_begin;
    reset_text_settings();
    show_menu_line("PYM 0.5");
    file_name = path;
    std::string file = absolute_path(path);
    journal_choice c = view_only ? journal_choice() : look_for_journals(path, file);
    file_result loaded;
    if (c.recovered) {
        note_file_as_it_is(path);
        show_message("--> '%s' recovered", path);
    } else {
        empty_text(expected);
        loaded = load_with_progress(path, text_begin, load_mode::open);
        show_load_status(loaded);
        note_opened_file(path, loaded);
        if (!c.saved_in.empty())
            show_message("--> unsaved changes saved in '%s'", c.saved_in.c_str());
    }
    fill_empty_text();
    window_top = window_bottom = line_start = cursor = view_start = text_begin;
    redraw_window(text_begin, first_text_row);
    clear_history();
    place_cursor_at(1, first_text_row);
    reset_menu(view_only ? view_menu : full_menu);
    start_own_journal(file, c, loaded);
    recovered = c.recovered;
    if (recovered) {
        note_text_unsaved();
        place_recovered_cursor(c.cursor);
    }
}
