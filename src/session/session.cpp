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
#include "commands/motion.h"
#include "prompts/prompts.h"
#include "screen/console.h"
#include "screen/keyboard.h"
#include "screen/window.h"
#include "session/hangup.h"
#include "session/session_file.h"
#include "store/files.h"
#include "store/store.h"

static const char help_file[] = "pym.hlp";
static std::string program_path;   // this editor's own executable
static std::string program_to_run; // how to start it again; empty if unknown

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
    move_cursor_chars(column - 1);
    command_loop();
    write_session_file();
}

/*
 * Replaces the text by the file at path: every per-file setting is reset,
 * the file is loaded and the window drawn from its first line.
 */
void open_text(const char* path)
{
    take_console_size();
    struct stat st;
    empty_text(stat(path, &st) == 0 && S_ISREG(st.st_mode) ? size_t(st.st_size) : 0);
    window_top = window_bottom = line_start = cursor = view_start = text_begin;
    selection_start = nullptr;
    paste_buffer[0] = 0;
    paste_end = paste_buffer;
    count_entry = 0;
    query_flag = 0;
    auto_indent = 1;
    delete_to_buffer = 1;
    header_attr = 0x71;
    text_attr = 0x1F;
    show_menu_line("PYM 0.5");
    file_name = path;
    file_result loaded = load_file(path, text_begin);
    report_load(path, loaded);
    note_opened_file(path, loaded);
    if (loaded.status == file_status::missing)
        print_formatted(" /new ! %u free", text_capacity);
    else if (loaded.status == file_status::done && !loaded.nul_bytes)
        print_formatted(" %u/%u chars", unsigned(text_end - text_begin), text_capacity);
    if (text_end == text_begin) {
        text_begin[0] = text_begin[1] = 0;
        text_end = text_begin + 2;
    }
    tab_width = 8;
    show_controls = 0;
    goal_column = 0;
    redraw_window(text_begin, 3);
    modified = 0;
    place_cursor_at(1, 3);
    reset_menu(view_only ? view_menu : full_menu);
}

// The help file: in the current directory, else where it was installed,
// beside the program (PREFIX/bin/pym finds PREFIX/share/pym/pym.hlp).
static std::string find_help_file()
{
    std::string candidates[3] = {help_file, "", ""};
    size_t slash = program_path.rfind('/');
    if (slash != std::string::npos) {
        std::string bin = program_path.substr(0, slash);
        size_t up = bin.rfind('/');
        std::string prefix = up == std::string::npos ? "." : bin.substr(0, up);
        candidates[1] = prefix + "/share/pym/" + help_file;
    }
#ifdef PYM_DATA_DIR
    candidates[2] = std::string(PYM_DATA_DIR) + "/" + help_file;
#endif
    for (const std::string& c : candidates)
        if (!c.empty() && access(c.c_str(), F_OK) == 0)
            return c;
    return "";
}

static std::string shell_quoted(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

/*
 * Runs a command through the shell and waits for it. The editor's signal
 * handlers stay in place meanwhile, so a hang-up still saves the text;
 * the viewer is ended along with the editor then.
 */
static int run_command(const std::string& command)
{
    pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        signal(SIGPIPE, SIG_DFL);
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    help_viewer = pid;
    int status;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            status = -1;
            break;
        }
    }
    help_viewer = 0;
    return status;
}

/*
 * Runs this editor in view mode on the help file, with the terminal
 * handed back as we found it, then draws the whole screen again. Once the
 * terminal has been handed over its screen is gone, so it is redrawn even
 * when the viewer failed.
 */
void show_help()
{
    std::string help = find_help_file();
    if (help.empty() || program_to_run.empty()) {
        show_message("--> help not available");
        return;
    }
    flush_output();
    restore_terminal();
    int status = run_command(shell_quoted(program_to_run) + " " + shell_quoted(help) + " r");
    setup_terminal();
    redraw_all();
    if (status != 0)
        show_message("--> help not available");
}

void redraw_all()
{
    forget_screen();
    redraw_window(window_top, 3);
    show_menu_line(nullptr);
    show_message("%s", "");
    show_status();
}

/*
 * The program that is running: its installed path, for finding the help
 * file beside it; and for running it, a name that still reaches it when
 * the file has been replaced since. Never a search of PATH.
 */
static void find_program(const char* argv0)
{
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n > 0) {
        path[n] = 0;
        program_path = path;
        program_to_run = "/proc/" + std::to_string(getpid()) + "/exe";
    } else if (strchr(argv0, '/')) {
        program_path = program_to_run = argv0;
    }
}

int pym_main(int argc, char** argv)
{
    if (argc > 3)
        show_usage();
    find_program(argv[0]);
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
