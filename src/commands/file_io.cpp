#include "commands/file_io.h"

#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <utility>

#include "prompts/message.h"
#include "prompts/input.h"
#include "prompts/read_key.h"
#include "screen/console.h"
#include "screen/keyboard.h"
#include "screen/window.h"
#include "store/history.h"
#include "store/journal.h"

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

static long progress_delay_ms = 500;

void set_progress_delay(long ms)
{
    progress_delay_ms = ms;
}

static long ms_since(const struct timespec& t, const struct timespec& now)
{
    return (now.tv_sec - t.tv_sec) * 1000 + (now.tv_nsec - t.tv_nsec) / 1000000;
}

static bool show_progress(size_t done, size_t total)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    bool long_enough = ms_since(long_work.start, now) >= progress_delay_ms;
    if (!long_enough || ms_since(long_work.shown, now) < 100)
        return !(long_work.stoppable && long_enough && interrupt_typed());
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

static bool text_incomplete;    // the text lacks part of the file it was opened from
static bool changed_on_disk_seen;   // coming back to the window found the file changed
static bool notices_welcome;        // the command loop or insert mode waits for a key

/*
 * The file the text was last read from or written to, as it was then:
 * a save to it first looks whether another program has been at it.
 */
static file_identity own_file;

// An existing file may be replaced only when the user says so.
static bool may_replace(const char* path)
{
    struct stat st;
    return lstat(path, &st) != 0 || ask_yes_no("--> '%s' exists. Overwrite ? ", path);
}

bool put_range(const char* path, byte* lo, byte* hi)
{
    if (!may_replace(path))
        return false;
    return report_write(path, write_with_progress(path, lo, hi, false));
}

void note_opened_file(const char* path, const file_result& r)
{
    text_incomplete = r.nul_bytes || r.status == file_status::overflow ||
                      r.status == file_status::stopped || r.status == file_status::unreadable;
    text_crlf = r.crlf;
    own_file = r.identity;
    if (r.status == file_status::missing)
        own_file.hash = empty_hash();
    else if (!own_file.hashed)
        own_file = identify_file(path, true);
    own_file.hashed = true;
}

void note_file_as_it_is(const char* path)
{
    text_incomplete = false;
    own_file = identify_file(path, true);
    if (!own_file.exists)
        own_file.hash = empty_hash();
    own_file.hashed = true;
}

const file_identity& opened_file()
{
    return own_file;
}

// Whether path names the text's own file.
static bool is_own_file(const char* path)
{
    return absolute_path(path) == absolute_path(file_name.c_str());
}

/*
 * Whether the file at path is as the text last saw it: the same file,
 * unchanged, or with the same contents (a touch changes nothing that
 * matters). A file deleted, or swapped for a symbolic link, has changed.
 */
static bool unchanged_on_disk(const char* path)
{
    file_identity now = identify_file(path, false);
    if (!own_file.exists && !now.exists)
        return true;
    if (!now.exists || now.symlink != own_file.symlink)
        return false;
    if (own_file.exists && same_file_unchanged(now, own_file))
        return true;
    now = identify_file(path, true);
    return now.hashed && now.hash == own_file.hash;
}

bool file_changed_on_disk()
{
    return !file_name.empty() && !unchanged_on_disk(file_name.c_str());
}

/*
 * Update and "&" (and Write to the text's own name): a file changed by
 * another program since, or read only in part, is overwritten only when
 * the user says so. Written, the text is unmodified and its journal goes.
 */
static bool save_own_file(const char* path)
{
    if (!unchanged_on_disk(path) && !ask_yes_no("--> '%s' was changed by another program. Overwrite ? ", path))
        return false;
    if (text_incomplete && own_file.exists && !ask_yes_no("--> text is incomplete. Overwrite ? ", ""))
        return false;
    file_result r = write_with_progress(path, nullptr, nullptr, true);
    if (!report_write(path, r))
        return false;
    own_file = r.identity;
    note_text_saved();
    journal_text_saved(absolute_path(path));
    return true;
}

bool save_text(const char* path)
{
    if (is_own_file(path))
        return save_own_file(path);
    if (!may_replace(path))
        return false;
    return report_write(path, write_with_progress(path, nullptr, nullptr, true));
}

void say_pending_notices()
{
    if (std::exchange(changed_on_disk_seen, false)) {
        show_message("--> '%s' was changed by another program%c", file_name.c_str(), key_bell);
        show_status();          // it may come in the middle of typing
        place_cursor();
    }
    if (const char* why = take_journal_trouble()) {
        show_message("--> no recovery journal: %s", why);
        show_status();
        place_cursor();
    }
}

void look_at_file_on_disk()
{
    changed_on_disk_seen = !view_only && file_changed_on_disk();
    if (notices_welcome)
        say_pending_notices();
}

int read_key_with_notices()
{
    notices_welcome = true;
    int key = read_key();
    notices_welcome = false;
    return key;
}
