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

#include "commands/help.h"
#include "commands/motion.h"
#include "commands/open_text.h"
#include "screen/console.h"
#include "screen/keyboard.h"
#include "screen/utf8.h"
#include "screen/window.h"
#include "session/hangup.h"
#include "session/session_file.h"
#include "store/files.h"
#include "store/store.h"


static void show_usage()
{
    put_plain_line("USAGE: pym [ file | + ]\r\n");
    exit(1);
}

// The session file at the end of a run: the status is shown on the way,
// as its line number is taken from it.
static void write_session_file()
{
    unsigned long column = (unsigned long)(cursor - line_start + 1);
    write_session_record(show_status(), column);
}

// The store starts at 1 MiB, or twice the start-up file rounded up to a
// power of two when that is larger, and halves while it cannot be had.
static uint32_t wanted_capacity(const char* name)
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
    uint32_t capacity = wanted_capacity(name);
    while (!allocate_store(capacity)) {
        capacity /= 2;
        if (capacity < 0x8000) {
            put_plain_line("PYM: not enough memory\n");
            exit(2);
        }
    }
    macro_play = nullptr;
    open_text(name);
    move_view(line - 1, 0);
    move_cursor_bytes(column - 1);
    command_loop();
    write_session_file();
}

int pym_main(int argc, char** argv)
{
    if (argc > 3)
        show_usage();
    find_program(argv[0]);
    use_locale_character_set();
    console_cols = 80;
    console_rows = 25;
    probe_console_size(&console_cols, &console_rows);
    view_only = argc == 3;
    start_name = default_name;
    long line = 1, column = 1;
    if (argc > 1) {
        if (argv[1][0] == '+')
            read_session_file(&line, &column);
        else
            start_name = argv[1];
    }
    install_hangup_handlers();
    run_session(start_name.c_str(), line, column);
    goto_xy(1, console_rows);
    clear_to_eol();
    flush_output();
    restore_terminal();
    return 0;
}
