#include "session/session.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "commands/file_io.h"
#include "commands/help.h"
#include "commands/motion.h"
#include "commands/open_text.h"
#include "keys/keys.h"
#include "prompts/read_key.h"
#include "screen/console.h"
#include "screen/keyboard.h"
#include "screen/utf8.h"
#include "screen/window.h"
#include "session/hangup.h"
#include "session/session_file.h"
#include "store/files.h"
#include "store/journal.h"
#include "store/store.h"


static void show_usage()
{
    put_plain_line("USAGE: pym [ file | + ]\r\n");
    exit(1);
}

// pym --help: the command lines and the keys a first run needs, on one
// screen; the help file has the rest.
static void show_summary()
{
    static const char* const lines[] = {
        "USAGE: pym [ file | + ]",
        "  pym FILE       edit FILE (a new text when it does not exist)",
        "  pym +          the file, line and column of the last run (pym.l)",
        "  pym            the unnamed text",
        "  pym FILE x     view FILE without changing it",
        "  pym -- FILE    edit FILE, even when its name starts with - or +",
        "  pym --help     this summary;  pym --version  the version",
        "",
        "Keys (letters in either case)",
        "  typing         the editor starts in insert mode: typed text goes in",
        "  ESC            the command menu; I insert mode again, X exchange mode",
        "  arrows, PgUp, PgDn, Home, End   move",
        "  Del, Backspace delete a character",
        "  F  -  A        find forward, find backward, again",
        "  R              replace one string by another",
        "  B ... B        copy a range into the paste buffer (D ... D: delete it)",
        "  C              insert the paste buffer at the cursor",
        "  U  ^R          undo, redo",
        "  Q U  Q W       update (save), write to another file",
        "  Q E  &         exit (asks when the text has changed); update and exit",
        "  H  F1          the help screen (Q leaves it)",
    };
    for (const char* line : lines) {
        put_plain_line(line);
        put_plain_line("\n");
    }
    exit(0);
}

static void show_version()
{
    put_plain_line("pym " PYM_VERSION "\n");
    exit(0);
}

// The session file at the end of a run: the status is shown on the way,
// as its line number is taken from it.
static void write_session_file()
{
    unsigned long column = (unsigned long)(cursor - line_start + 1);
    write_session_record(show_status(), column);
}

/*
 * The figure the load messages show as the store's size: 1 MiB, or twice
 * the start-up file rounded up to a power of two when that is larger. The
 * text itself grows as far as the machine's memory allows.
 */
static uint32_t shown_capacity(const char* name)
{
    uint64_t capacity = 0x100000;
    struct stat st;
    if (stat(name, &st) == 0 && S_ISREG(st.st_mode)) {
        while (capacity < uint64_t(st.st_size) * 2 && capacity < 0x80000000u)
            capacity *= 2;
    }
    return uint32_t(capacity);
}

void run_session(const char* name, long line, long column)
{
    size_t reserve = store_size_for_machine();
    while (!allocate_store(reserve)) {
        reserve /= 2;
        if (reserve < 0x8000) {
            put_plain_line("PYM: not enough memory\n");
            exit(2);
        }
    }
    text_capacity = std::min<uint32_t>(shown_capacity(name), text_capacity);
    stop_replay();
    open_text(name);
    if (!text_was_recovered()) {
        move_view(line - 1, 0);
        move_cursor_bytes(column - 1);
    }
    command_loop();
    write_session_file();
    end_journal();              // a run that ends normally leaves no journal
}

/*
 * The command line: --help or --version as the first word answers and
 * ends the run; a first word "--" only says that the next one is a file
 * name, even one that starts with "-" or "+". What follows it means what
 * it would mean alone: one word to edit, a second for view mode.
 */
int pym_main(int argc, char** argv)
{
    char** words = argv + 1;
    int count = argc - 1;
    bool name_follows = count > 0 && strcmp(words[0], "--") == 0;
    if (count > 0 && strcmp(words[0], "--help") == 0)
        show_summary();
    if (count > 0 && strcmp(words[0], "--version") == 0)
        show_version();
    if (name_follows) {
        words++;
        count--;
    }
    if (count > 2)
        show_usage();
    find_program(argv[0]);
    use_locale_character_set();
    console_cols = 80;
    console_rows = 25;
    probe_console_size(&console_cols, &console_rows);
    view_only = count == 2;
    start_name = default_name;
    long line = 1, column = 1;
    if (count > 0) {
        if (words[0][0] == '+' && !name_follows)
            read_session_file(&line, &column);
        else
            start_name = words[0];
    }
    install_hangup_handlers();
    find_journal_directory();
    set_idle_work(journal_flush_due, flush_journal);
    set_focus_work(look_at_file_on_disk);
    run_session(start_name.c_str(), line, column);
    goto_xy(1, console_rows);
    clear_to_eol();
    flush_output();
    restore_terminal();
    return 0;
}
