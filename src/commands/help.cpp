#include "commands/help.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "prompts/menu.h"
#include "prompts/message.h"
#include "prompts/read_key.h"
#include "screen/console.h"
#include "screen/window.h"
#include "store/journal.h"
#include "store/files.h"

#include "help_text.h"          // builtin_help, made from pym.hlp

static const char help_file[] = "pym.hlp";
static std::string program_path;   // this editor's own executable
static std::string program_to_run; // how to start it again; empty if unknown

// The help file: in the current directory, else where it was installed,
// beside the program (PREFIX/bin/pym finds PREFIX/share/pym/pym.hlp).
static std::string find_help_file()
{
    std::string candidates[2] = {help_file, ""};
    size_t slash = program_path.rfind('/');
    if (slash != std::string::npos) {
        std::string bin = program_path.substr(0, slash);
        size_t up = bin.rfind('/');
        std::string prefix = up == std::string::npos ? "." : bin.substr(0, up);
        candidates[1] = prefix + "/share/pym/" + help_file;
    }
    for (const std::string& c : candidates)
        if (!c.empty() && access(c.c_str(), F_OK) == 0)
            return c;
    return "";
}

/*
 * Where no help file is installed, the viewer is shown the built-in text
 * as DIR/pym.hlp, in a directory of our own (mode 0700) made under
 * $TMPDIR or /tmp, which goes when the viewer is done. The names are kept
 * in fixed arrays so that a signal handler can remove them.
 */
static char copy_dir[4096], copy_file[4200];
static volatile sig_atomic_t copy_made;

void remove_help_copy()
{
    if (!copy_made)
        return;
    copy_made = 0;
    unlink(copy_file);
    rmdir(copy_dir);
}

static std::string write_help_copy()
{
    const char* tmp = getenv("TMPDIR");
    std::string dir = std::string(tmp && tmp[0] ? tmp : "/tmp") + "/pym-XXXXXX";
    if (dir.size() >= sizeof copy_dir)
        return "";
    strcpy(copy_dir, dir.c_str());
    if (!mkdtemp(copy_dir))
        return "";
    snprintf(copy_file, sizeof copy_file, "%s/%s", copy_dir, help_file);
    copy_made = 1;
    int fd = open(copy_file, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    bool written = fd >= 0 && write_fully(fd, builtin_help, sizeof builtin_help);
    if (fd >= 0 && close(fd) != 0)
        written = false;
    if (!written) {
        remove_help_copy();
        return "";
    }
    return copy_file;
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
 * the viewer is ended along with the editor then, and stopped and
 * continued with it. The command starts with exec, so that the process
 * waited for is the viewer itself, not a shell that would take those
 * signals in its place.
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
    std::string help;
    if (!program_to_run.empty()) {
        help = find_help_file();
        if (help.empty())
            help = write_help_copy();
    }
    if (help.empty()) {
        show_message("--> help not available");
        return;
    }
    flush_output();
    flush_journal();            // the viewer may take a while
    restore_terminal();
    int status = run_command("exec " + shell_quoted(program_to_run) + " " + shell_quoted(help) + " r");
    remove_help_copy();
    setup_terminal();
    take_new_size();            // the terminal may have been resized meanwhile
    redraw_all();
    if (status != 0)
        show_message("--> help not available");
}

void redraw_all()
{
    forget_screen();
    redraw_window(window_top, first_text_row);
    redraw_menu_line();         // as last shown, paged for the width now
    show_message("%s", "");
    show_status();
}

/*
 * The program that is running: its installed path, for finding the help
 * file beside it; and for running it, a name that still reaches it when
 * the file has been replaced since. Never a search of PATH.
 */
void find_program(const char* argv0)
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
