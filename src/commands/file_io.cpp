#include "commands/file_io.h"

#include <cstring>
#include <sys/stat.h>

#include "prompts/message.h"
#include "prompts/input.h"

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
    default: break;
    }
}

int report_write(const char* path, const file_result& r)
{
    switch (r.status) {
    case file_status::done: clear_message_line(); return 0;
    case file_status::not_regular: show_message("--> '%s' is not a regular file%c", path, key_bell); break;
    case file_status::no_room:
        show_message("--> can't write '%s': %s%c", path, strerror(r.error), key_bell);
        break;
    case file_status::write_failed: show_message("--> can't write '%s'%c", path, key_bell); break;
    default: show_message("--> can't open '%s'", path); break;
    }
    return 1;
}

int put_range(const char* path, byte* lo, byte* hi)
{
    return report_write(path, write_range(path, lo, hi));
}

void note_opened_file(const char* path, const file_result& r)
{
    text_incomplete = r.nul_bytes || r.status == file_status::overflow ||
                      r.status == file_status::unreadable;
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

int save_text(const char* path)
{
    if (text_incomplete && is_opened_file(path) &&
        !ask_yes_no("--> text is incomplete. Overwrite ? ", ""))
        return 1;
    return report_write(path, write_file(path));
}
