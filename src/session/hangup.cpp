/*
 * A hang-up, SIGTERM, SIGQUIT, the end of the input or a crash ends the
 * run at once. A modified text is first written beside its file as
 * NAME.save (NAME.save.1, ... when that exists), never over the file
 * itself; the session file is written and the terminal handed back. The
 * handlers use only open, write, close, tcsetattr and the like: the line
 * store can be written out with write() alone.
 */
#include "session/hangup.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "screen/console.h"
#include "screen/keyboard.h"
#include "session/session.h"
#include "state/state.h"
#include "store/files.h"
#include "store/store.h"

volatile pid_t help_viewer;

// Appends s to the buffer at *p, which ends at end. Async-signal-safe.
static void append(char** p, char* end, const char* s)
{
    while (*s && *p < end - 1)
        *(*p)++ = *s++;
    **p = 0;
}

static void append_number(char** p, char* end, unsigned long n)
{
    char digits[24];
    int i = sizeof digits - 1;
    digits[i] = 0;
    do
        digits[--i] = char('0' + n % 10);
    while ((n /= 10) && i > 0);
    append(p, end, digits + i);
}

// The text as Update writes it: every NUL becomes a newline.
static bool write_text(int fd)
{
    byte block[8192];
    size_t len = 0;
    for (const byte* p = text_begin; p < text_end; p++) {
        block[len++] = *p ? *p : '\n';
        if (len == sizeof block) {
            if (!write_fully(fd, block, len))
                return false;
            len = 0;
        }
    }
    return write_fully(fd, block, len);
}

bool emergency_save()
{
    if (!modified || !text_begin || text_end <= text_begin)
        return true;
    char name[4200];
    const char* base = file_name.c_str();
    if (!*base || strcmp(base, default_name) == 0 || strlen(base) > 4096)
        base = "pym";
    for (unsigned n = 0; n < 1000; n++) {
        char* p = name;
        append(&p, name + sizeof name, base);
        append(&p, name + sizeof name, ".save");
        if (n > 0) {
            append(&p, name + sizeof name, ".");
            append_number(&p, name + sizeof name, n);
        }
        int fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return false;
        bool ok = write_text(fd);
        return close(fd) == 0 && ok;
    }
    return false;
}

// The session file, as at a normal end, without formatting functions.
static void write_session_record()
{
    if (!text_begin || !line_start)
        return;
    int fd = open("pym.l", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return;
    char record[4200];
    char* p = record;
    char* end = record + sizeof record;
    append(&p, end, start_name.c_str());
    append(&p, end, " ");
    append_number(&p, end, line_number_of(line_start));
    append(&p, end, " ");
    append_number(&p, end, (unsigned long)(cursor - line_start + 1));
    append(&p, end, "\n");
    write_fully(fd, reinterpret_cast<const byte*>(record), size_t(p - record));
    close(fd);
}

void end_run_abruptly(int code)
{
    if (help_viewer > 0)
        kill(help_viewer, SIGTERM);
    emergency_save();
    write_session_record();
    restore_terminal();
    _exit(code);
}

static void on_hangup(int sig)
{
    end_run_abruptly(128 + sig);
}

static void on_crash(int sig)
{
    restore_terminal();
    emergency_save();
    signal(sig, SIG_DFL);
    raise(sig);
}

static void on_input_end()
{
    end_run_abruptly(0);
}

void install_hangup_handlers()
{
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sigfillset(&sa.sa_mask);
    sa.sa_handler = on_hangup;
    for (int sig : {SIGHUP, SIGTERM, SIGQUIT})
        sigaction(sig, &sa, nullptr);
    sa.sa_handler = on_crash;
    sa.sa_flags = SA_RESETHAND;
    for (int sig : {SIGSEGV, SIGBUS, SIGABRT, SIGFPE})
        sigaction(sig, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
    set_input_end_handler(on_input_end);
}
