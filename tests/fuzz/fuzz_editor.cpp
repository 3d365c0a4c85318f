/*
 * Runs the editor core on an arbitrary text and an arbitrary key stream,
 * with a store of a few KiB so that the full-store paths run, on screens
 * from 1x1 to 132x50, and checks the store's and the window's invariants
 * before every key is read. An input may also land a hang-up in the middle
 * of a change of the text: the emergency file must then hold the whole
 * text, as Update would write it.
 *
 * Among the keys, a 0 byte and the byte after it stand for a resize of
 * the terminal (a 0 is no key on a terminal); pastes come as the terminal
 * brackets them.
 *
 * Input layout: byte 0 chooses the screen size, view mode and where the
 * cursor starts; byte 1 the width of a tiny screen, the locale (bit 4: a
 * UTF-8 text or a C one) and when a hang-up comes; byte 2 the length of the text (scaled); then the text, then the
 * keys.
 *
 * File names typed at prompts come from the fuzzer, so every file call the
 * editor makes is wrapped (see the link options): names holding a slash
 * are refused and everything happens in a private directory.
 */
#include <algorithm>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <string>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "commands/motion.h"
#include "screen/console.h"
#include "screen/keyboard.h"
#include "screen/window.h"
#include "session/hangup.h"
#include "commands/open_text.h"
#include "session/session.h"
#include "state/state.h"
#include "store/history.h"
#include "store/journal.h"
#include "store/store.h"
#include "store/undo.h"

// ---- every file call stays in the private directory ---------------------

static bool editor_running;     // the fuzzer's own file calls pass freely
static char state_dir[256];     // where the journals go: the one place outside

static bool refused(const char* path)
{
    return editor_running && path && strchr(path, '/') != nullptr &&
           strncmp(path, state_dir, strlen(state_dir)) != 0;
}

extern "C" {
int __real_open(const char* path, int flags, ...);
int __wrap_open(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    mode_t mode = va_arg(args, mode_t);
    va_end(args);
    if (refused(path)) {
        errno = EACCES;
        return -1;
    }
    return __real_open(path, flags, mode);
}
int __real_stat(const char* path, struct stat* st);
int __wrap_stat(const char* path, struct stat* st)
{
    if (refused(path)) {
        errno = EACCES;
        return -1;
    }
    return __real_stat(path, st);
}
int __real_rename(const char* from, const char* to);
int __wrap_rename(const char* from, const char* to)
{
    // the temporary file is made as "./.pym-save-XXXXXX"
    if (refused(to) || (refused(from) && strncmp(from, "./", 2) != 0)) {
        errno = EACCES;
        return -1;
    }
    return __real_rename(from, to);
}
// Without the resolved name the save's temporary file stays beside the
// name as typed, in the private directory.
char* __real_realpath(const char* path, char* resolved);
char* __wrap_realpath(const char* path, char* resolved)
{
    if (!editor_running)
        return __real_realpath(path, resolved);
    errno = EACCES;
    return nullptr;
}
int __real_system(const char* command);
int __wrap_system(const char* command)
{
    return editor_running ? -1 : __real_system(command);
}
}

// ---- the editor on a buffer of keys ----------------------------------------

static const uint8_t* keys;
static size_t keys_left;
struct keys_ran_out {};         // thrown when the input ends, unwinding the editor
static bool run_over;           // a hang-up ended the run: the next key ends the input

static void discard_output(const char*, size_t) {}

static void check(bool ok, const char* what)
{
    if (!ok) {
        fprintf(stderr, "invariant broken: %s\n", what);
        abort();
    }
}

static void check_store()
{
    const char* broken = broken_store_rule();
    check(broken == nullptr, broken);
}

static void check_invariants()
{
    check_store();
    check(text_begin < text_end, "the text has a line");
    const char* broken = broken_window_rule();
    check(broken == nullptr, broken);
    check(paste_end >= paste_buffer && paste_end - paste_buffer < paste_size, "paste buffer");
    check(!selection_start || (selection_start >= text_begin && selection_start < text_end),
          "selection start in the text");
}

static int next_key_byte(int timeout_ms)
{
    if (timeout_ms == 0)
        return -1;              // nothing is typed while a command repeats
    if (run_over)
        throw keys_ran_out();
    check_invariants();
    if (keys_left == 0)
        return -2;
    if (keys[0] == 0 && keys_left >= 2) {  // 0 and a byte: a resize to a size it gives
        console_cols = 1 + keys[1] % 160;
        console_rows = 1 + (keys[1] * 7) % 60;
        keys += 2;
        keys_left -= 2;
        return -3;
    }
    keys_left--;
    return *keys++;
}

static void end_of_keys()
{
    throw keys_ran_out();
}

// ---- a hang-up in the middle of a change ----------------------------------

static long moves_until_hangup;     // 0: none comes

static void count_move()
{
    if (moves_until_hangup == 0 || --moves_until_hangup > 0)
        return;
    check(store_busy > 0, "every block move is part of a bracketed change");
    ending_signal(SIGHUP);              // as if the signal came now
    check(deferred_signal == SIGHUP, "a hang-up in mid-change waits");
}

// The bytes Update would write for the text as it stands: each line with
// its own end, the empty text's placeholder line left out.
static std::string text_as_written()
{
    std::string s;
    const std::vector<size_t>& crlf = crlf_line_ends();
    for (const byte* p = text_begin; p < written_end(); p++) {
        size_t at = size_t(p - text_begin);
        bool cr = text_crlf || std::binary_search(crlf.begin(), crlf.end(), at);
        s += *p ? std::string(1, char(*p)) : cr ? std::string("\r\n") : std::string("\n");
    }
    return s;
}

static void check_saved_text(int)
{
    sigset_t all;
    sigfillset(&all);
    sigprocmask(SIG_UNBLOCK, &all, nullptr);
    check_store();              // the window may be mid-way, the text is whole
    if (modified) {
        FILE* f = fopen("text.save", "rb");
        check(f != nullptr, "the emergency file was made");
        std::string saved;
        for (int c; (c = fgetc(f)) != EOF;)
            saved += char(c);
        fclose(f);
        check(saved == text_as_written(), "the emergency file holds the whole text");
    }
    remove("text.save");
    deferred_signal = 0;
    run_over = true;
}

static void end_deferred_run(int sig)
{
    end_run_abruptly(128 + sig);
}

static void reset_state(uint8_t config, uint8_t extra)
{
    static const int sizes[4][2] = {{24, 6}, {80, 25}, {132, 50}, {40, 4}};
    if ((config & 7) < 4) {
        console_cols = sizes[config & 3][0];
        console_rows = sizes[config & 3][1];
    } else {                    // 1, 2 or 3 rows (or 4), 1 to 20 columns
        console_cols = 1 + (extra & 31) % 20;
        console_rows = (config & 7) - 3;
    }
    view_only = (config >> 3) & 1;
    utf8_text = (extra >> 4) & 1;
    if (!setlocale(LC_CTYPE, utf8_text ? "C.UTF-8" : "C"))
        abort();
    moves_until_hangup = (extra >> 5) * 3;
    reset_run_state();
}

// ---- undo and redo of everything --------------------------------------------

static std::string opened_text;     // the text as open_text left it
static unsigned opened_generation;  // and the history that began then

static std::string whole_text()
{
    return std::string(reinterpret_cast<char*>(text_begin), size_t(text_end - text_begin));
}

static void note_opened_text()
{
    opened_text = whole_text();
    opened_generation = history_generation();
}

/*
 * Whatever the keys did, the recovery journal rebuilds the text byte for
 * byte: its line ends, and the empty text's placeholder line, included.
 * Read from a copy, as the journal goes with the text.
 */
static void check_journal()
{
    std::string path = journal_path();
    if (path.empty())
        return;
    std::string text = whole_text(), copy = std::string(state_dir) + "/copy.pymj";
    std::vector<size_t> crlf = crlf_line_ends();
    bool placeholder = placeholder_line(), all_crlf = text_crlf;
    FILE* in = fopen(path.c_str(), "rb");
    FILE* out = fopen(copy.c_str(), "wb");
    check(in && out, "the journal can be read");
    for (int c; (c = fgetc(in)) != EOF;)
        fputc(c, out);
    fclose(in);
    fclose(out);
    end_journal();
    found_journal f;
    f.path = copy;
    size_t cursor_at;
    if (recover_text(f, &cursor_at)) {
        check(whole_text() == text, "the journal rebuilds the text");
        check(crlf_line_ends() == crlf && bool(text_crlf) == all_crlf, "and its line ends");
        check(placeholder_line() == placeholder, "and the empty text's placeholder");
    } else {
        check(history_generation() != opened_generation || text == opened_text, "a journal without a base: no change");
    }
    remove(copy.c_str());
}

// Whatever the keys did, undoing every step gives the text as opened and
// redoing every step the newest text, with the store whole at each step.
static void check_undo_and_redo()
{
    if (history_generation() != opened_generation)
        return;                 // Init opened another text
    size_t where;
    while (redo_step(&where) == undo_result::done)
        check_store();
    std::string newest = whole_text();
    undo_result r;
    while ((r = undo_step(&where)) == undo_result::done)
        check_store();
    if (r == undo_result::nothing)
        check(whole_text() == opened_text, "undoing everything gives the text as opened");
    while (redo_step(&where) == undo_result::done)
        check_store();
    if (r == undo_result::nothing)
        check(whole_text() == newest, "redoing everything gives the newest text");
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char dir[] = "/tmp/pym-fuzz-XXXXXX";
    if (!mkdtemp(dir) || chdir(dir) != 0)
        abort();
    snprintf(state_dir, sizeof state_dir, "%s/.state", dir);
    setenv("XDG_STATE_HOME", state_dir, 1);
    find_journal_directory();
    allocate_store(4096);
    set_output_sink(discard_output);
    set_input_source(next_key_byte);
    set_input_end_handler(end_of_keys);
    after_move = count_move;
    end_deferred = end_deferred_run;
    instead_of_exit = check_saved_text;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    uint8_t config = data[0], extra = data[1];
    size_t text_len = std::min<size_t>(size - 3, size_t(data[2]) * 24);
    FILE* f = fopen("text", "wb");
    if (!f)
        abort();
    fwrite(data + 3, 1, text_len, f);
    fclose(f);
    keys = data + 3 + text_len;
    keys_left = size - 3 - text_len;

    reset_state(config, extra);
    set_input_source(next_key_byte);
    start_name = "text";
    editor_running = true;
    run_over = false;
    try {
        open_text("text");
        note_opened_text();
        move_view(long(config >> 4), 0);
        move_cursor_chars(long(config >> 6));
        command_loop();
    } catch (const keys_ran_out&) {
    }
    bool hung_up = run_over;
    moves_until_hangup = 0;
    deferred_signal = 0;
    store_busy = 0;             // a run ended by the hang-up left in mid-change
    editor_running = false;
    if (!hung_up) {
        check_invariants();
        check_undo_and_redo();
        check_journal();
    }
    end_journal();
    return 0;
}
