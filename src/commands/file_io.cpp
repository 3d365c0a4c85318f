#include "commands/file_io.h"

#include <cstring>
#include <ctime>
#include <sys/stat.h>

#include "prompts/message.h"
#include "prompts/input.h"
#include "screen/console.h"
#include "screen/keyboard.h"

void report_load(const char* path, const file_result& r)
{
    switch (r.status) {
    case file_status::done:
        if (r.nul_bytes)
            show_message("--> '%s' holds NUL bytes that cannot be kept%c", path, key_bell);
        else
            show_message("--> reading '%s'", path);
        break;
    case file_status::missing: show_message("--> can't open '%s'", path); break;
    case file_status::unreadable:
        show_message("--> can't read '%s': %s%c", path, strerror(r.error), key_bell);
        break;
    case file_status::not_regular: show_message("--> '%s' is not a regular file%c", path, key_bell); break;
    case file_status::directory: show_message("--> '%s' is a directory%c", path, key_bell); break;
    case file_status::overflow: show_message("--> buffer overflow (%u)%c", text_capacity, key_bell); break;
    case file_status::stopped: show_message("--> reading '%s' interrupted%c", path, key_bell); break;
    default: break;
    }
}

/*
 * A load or a save that takes longer than half a second shows how far it
 * has come on row 2, a few times a second; ^C stops a load.
 */
static struct {
    const char* what;           // "reading" or "writing to"
    const char* path;
    bool stoppable;
    struct timespec start, shown;
} long_work;

static long ms_since(const struct timespec& t, const struct timespec& now)
{
    return (now.tv_sec - t.tv_sec) * 1000 + (now.tv_nsec - t.tv_nsec) / 1000000;
}

static bool show_progress(size_t done, size_t total)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (ms_since(long_work.start, now) < 500 || ms_since(long_work.shown, now) < 100)
        return !(long_work.stoppable && ms_since(long_work.start, now) >= 500 && interrupt_typed());
    long_work.shown = now;
    show_message("--> %s '%s' %zu/%zu", long_work.what, long_work.path, done, total);
    flush_output();
    return !(long_work.stoppable && interrupt_typed());
}

static void start_long_work(const char* what, const char* path, bool stoppable)
{
    long_work.what = what;
    long_work.path = path;
    long_work.stoppable = stoppable;
    clock_gettime(CLOCK_MONOTONIC, &long_work.start);
    long_work.shown = long_work.start;
    long_work.shown.tv_sec -= 1;
    set_progress_hook(show_progress);
}

file_result load_with_progress(const char* path, byte* pos, load_mode mode)
{
    start_long_work("reading", path, true);
    file_result r = load_file(path, pos, mode);
    set_progress_hook(nullptr);
    report_load(path, r);
    return r;
}

// Writes with the progress of a long save shown.
static file_result write_with_progress(const char* path, byte* lo, byte* hi, bool whole)
{
    start_long_work("writing to", path, false);
    file_result r = whole ? write_file(path) : write_range(path, lo, hi);
    set_progress_hook(nullptr);
    return r;
}

bool report_write(const char* path, const file_result& r)
{
    switch (r.status) {
    case file_status::done: clear_message_line(); return true;
    case file_status::not_regular: show_message("--> '%s' is not a regular file%c", path, key_bell); break;
    case file_status::no_room:
        show_message("--> can't write '%s': %s%c", path, strerror(r.error), key_bell);
        break;
    case file_status::write_failed: show_message("--> can't write '%s'%c", path, key_bell); break;
    default: show_message("--> can't open '%s'", path); break;
    }
    return false;
}

bool put_range(const char* path, byte* lo, byte* hi)
{
    return report_write(path, write_with_progress(path, lo, hi, false));
}

void note_opened_file(const char* path, const file_result& r)
{
    text_incomplete = r.nul_bytes || r.status == file_status::overflow ||
                      r.status == file_status::stopped || r.status == file_status::unreadable;
    text_crlf = r.crlf;
    struct stat st;
    loaded_device = loaded_inode = 0;
    if (stat(path, &st) == 0) {
        loaded_device = st.st_dev;
        loaded_inode = st.st_ino;
    }
}

// Whether path names the file the text was opened from.
static bool is_opened_file(const char* path)
{
    struct stat st;
    return stat(path, &st) == 0 && st.st_dev == loaded_device && st.st_ino == loaded_inode;
}

bool save_text(const char* path)
{
    if (text_incomplete && is_opened_file(path) &&
        !ask_yes_no("--> text is incomplete. Overwrite ? ", ""))
        return false;
    return report_write(path, write_with_progress(path, nullptr, nullptr, true));
}
