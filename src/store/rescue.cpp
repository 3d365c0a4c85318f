/*
 * Saving the text where nothing is overwritten: NAME.save beside its file
 * (or NAME.save.N when that is taken), else pym.save in the current
 * directory, in $HOME, in $TMPDIR or /tmp. For the end of a run nobody
 * asked for, and for a recovered text the user did not take. Uses only
 * async-signal-safe calls.
 */
#include "store/rescue.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "store/append.h"
#include "store/files.h"

// Where an emergency file may go when it cannot go beside the text's file;
// read at start-up, since the environment is no place for a signal handler.
static char home_dir[4096], temp_dir[4096];

// Tries base + ".save", then ".save.1" and on; a name that is taken is
// never written. True when one of them now holds the whole text.
static bool save_as(const char* base, char* name, size_t size)
{
    for (unsigned n = 0; n < 1000; n++) {
        char* p = name;
        append(&p, name + size, base);
        append(&p, name + size, ".save");
        if (n > 0) {
            append(&p, name + size, ".");
            append_number(&p, name + size, n);
        }
        int fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return false;
        bool ok = write_whole_text(fd);
        if (close(fd) != 0)
            ok = false;
        if (!ok)
            unlink(name);       // a partial file would look like a saved text
        return ok;
    }
    return false;
}

// "DIR/pym" for a fallback directory, or "" when there is none.
static void fallback_base(char* out, size_t size, const char* dir)
{
    out[0] = 0;
    if (!dir[0])
        return;
    char* p = out;
    append(&p, out + size, dir);
    append(&p, out + size, "/pym");
}

static void keep_directory(char* out, size_t size, const char* dir)
{
    out[0] = 0;
    if (dir && dir[0] && strlen(dir) < size)
        strcpy(out, dir);
}

void find_rescue_directories()
{
    keep_directory(home_dir, sizeof home_dir, getenv("HOME"));
    const char* tmp = getenv("TMPDIR");
    keep_directory(temp_dir, sizeof temp_dir, tmp && tmp[0] ? tmp : "/tmp");
}

const char* rescue_text(const char* file)
{
    static char name[4200];
    bool named = *file && strcmp(file, default_name) != 0 && strlen(file) < 4096;
    if (named && save_as(file, name, sizeof name))
        return name;
    if (save_as("pym", name, sizeof name))
        return name;
    char base[4200];
    for (const char* dir : {home_dir, temp_dir}) {
        fallback_base(base, sizeof base, dir);
        if (base[0] && save_as(base, name, sizeof name))
            return name;
    }
    return nullptr;
}
