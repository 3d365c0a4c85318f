/*
 * A hang-up, a signal whose default is to end the process, the end of the
 * input or a crash ends the run at once. A modified text is first written
 * to an emergency file (see emergency_save), never over the file itself;
 * the session file is written and the terminal handed back. A stop from
 * outside hands the terminal back for as long as it lasts. The handlers
 * use only open, write, close, unlink, tcsetattr and the like: the line
 * store can be written out with write() alone. A signal that arrives
 * while the text is being changed waits until the change is over, so that
 * the emergency file never holds a half-moved text; one that arrives
 * while a paste is being read waits until the paste is in the text.
 */
#include "session/hangup.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "commands/help.h"
#include "screen/console.h"
#include "screen/keyboard.h"
#include "session/session_file.h"
#include "state/state.h"
#include "store/append.h"
#include "store/files.h"
#include "store/journal.h"
#include "store/rescue.h"
#include "store/store.h"

void (*instead_of_exit)(int code);

const char* emergency_save()
{
    if (!modified || !text_begin || text_end <= text_begin)
        return "";
    return rescue_text(file_name.c_str());
}

// Tells, on the terminal handed back, where the text went.
static void name_saved_file(const char* saved)
{
    if (saved && !saved[0])
        return;
    char line[4400];
    char* p = line;
    append(&p, line + sizeof line, saved ? "pym: the text is saved in " : "pym: the text could not be saved");
    if (saved)
        append(&p, line + sizeof line, saved);
    append(&p, line + sizeof line, "\n");
    put_plain_line(line, true);
}

void end_run_abruptly(int code)
{
    sigset_t all;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, nullptr);     // one ending is enough
    if (help_viewer > 0)
        kill(help_viewer, SIGTERM);
    remove_help_copy();
    if (const char* temp = unfinished_save())
        unlink(temp);
    const char* saved = emergency_save();
    leave_journal();            // it stays, beside the emergency file
    if (text_begin && line_start)
        write_session_record(line_number_of(line_start), (unsigned long)(cursor - line_start + 1));
    restore_terminal(true);
    name_saved_file(saved);
    if (instead_of_exit) {
        instead_of_exit(code);
        return;
    }
    _exit(code);
}

void ending_signal(int sig)
{
    if (store_busy || holding_paste()) {
        deferred_signal = sig;
        return;
    }
    end_run_abruptly(128 + sig);
}

/*
 * A stop from outside (SIGTSTP, SIGTTIN, SIGTTOU) hands the terminal back
 * as the help viewer's hand-over does, and then stops the editor for real:
 * the signal is raised again with its default action, which the kernel
 * drops in a process group that nobody could continue. When the run goes
 * on, the terminal is taken again and the key reader, woken as by a
 * resize, draws the whole screen. A stop that comes while the text is
 * being changed waits, as an ending does, until the change is over.
 */
static bool is_stop(int sig)
{
    return sig == SIGTSTP || sig == SIGTTIN || sig == SIGTTOU;
}

// What must be on disk before the editor stops: the recovery journal.
static void before_stop()
{
    flush_journal();
}

static void stop_now(int sig)
{
    sigset_t all, was, only;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &was);
    before_stop();
    if (help_viewer > 0)
        kill(help_viewer, sig);     // it hands its own terminal back
    release_terminal();
    struct sigaction stop = {}, ours;
    stop.sa_handler = SIG_DFL;
    sigaction(sig, &stop, &ours);
    raise(sig);
    sigemptyset(&only);
    sigaddset(&only, sig);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);  // stopped here until SIGCONT
    sigprocmask(SIG_BLOCK, &only, nullptr);
    sigaction(sig, &ours, nullptr);
    retake_terminal();
    terminal_resized = 1;
    sigprocmask(SIG_SETMASK, &was, nullptr);
}

static void stop_signal(int sig)
{
    if (store_busy) {
        if (!deferred_signal)       // an ending that waits comes first
            deferred_signal = sig;
        return;
    }
    stop_now(sig);
}

// Also after SIGSTOP, which nothing can catch: the terminal as the editor
// holds it, and the whole screen drawn again.
static void on_continue(int)
{
    if (help_viewer > 0)
        kill(help_viewer, SIGCONT);
    retake_terminal();
    terminal_resized = 1;
}

static void end_deferred_run(int sig)
{
    if (is_stop(sig)) {
        deferred_signal = 0;
        stop_now(sig);
        return;
    }
    end_run_abruptly(128 + sig);
}

static void on_crash(int sig)
{
    remove_help_copy();
    if (const char* temp = unfinished_save())
        unlink(temp);
    const char* saved = emergency_save();
    restore_terminal(true);
    name_saved_file(saved);
    signal(sig, SIG_DFL);
    raise(sig);
}

static void on_input_end()
{
    end_run_abruptly(0);
}

// A resize only says so: the key reader, woken, draws the screen again.
static void note_resize(int)
{
    terminal_resized = 1;
}

// SIGALRM from the key reader's idle timer says the user has paused; one
// sent from outside ends the run like the others.
static void on_alarm(int sig, siginfo_t* info, void*)
{
    if (info && info->si_code == SI_TIMER)
        note_idle_timer();
    else
        ending_signal(sig);
}

// Signals whose default is to end the process without a fault.
static const int ending_signals[] = {
    SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM,
    SIGPROF, SIGXCPU, SIGPWR, SIGIO, SIGSTKFLT,
};
static const int crash_signals[] = {SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL, SIGTRAP, SIGSYS};

void install_hangup_handlers()
{
    find_rescue_directories();
    end_deferred = end_deferred_run;

    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sigfillset(&sa.sa_mask);
    sa.sa_handler = ending_signal;
    for (int sig : ending_signals)
        sigaction(sig, &sa, nullptr);
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; sig++)
        sigaction(sig, &sa, nullptr);
    sa.sa_handler = note_resize;    // no SA_RESTART: the read is woken
    sigaction(SIGWINCH, &sa, nullptr);
    sa.sa_sigaction = on_alarm;
    sa.sa_flags = SA_SIGINFO;
    sigaction(SIGALRM, &sa, nullptr);
    sa.sa_flags = 0;
    sa.sa_handler = stop_signal;
    for (int sig : {SIGTSTP, SIGTTIN, SIGTTOU})
        sigaction(sig, &sa, nullptr);
    sa.sa_handler = on_continue;
    sigaction(SIGCONT, &sa, nullptr);
    sa.sa_handler = on_crash;
    sa.sa_flags = SA_RESETHAND;
    for (int sig : crash_signals)
        sigaction(sig, &sa, nullptr);
    // a write that fails says so instead of ending the run
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
    set_input_end_handler(on_input_end);
}
