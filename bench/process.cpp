#include "process.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

double now_s()
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

EditorProcess::EditorProcess(Terminal& term, const std::vector<std::string>& argv,
                             const std::string& dir, const std::string& home)
    : term_(term)
{
    struct winsize size = {};
    size.ws_row = (unsigned short)term.rows();
    size.ws_col = (unsigned short)term.cols();
    // a fresh terminal's settings: cooked, with echo
    int m, s;
    struct termios cooked;
    if (openpty(&m, &s, nullptr, nullptr, nullptr) != 0 || tcgetattr(s, &cooked) != 0)
        abort();
    close(m);
    close(s);
    started_ = now_s();
    pid_ = forkpty(&master_, nullptr, &cooked, &size);
    if (pid_ < 0)
        abort();
    if (pid_ == 0) {
        if (chdir(dir.c_str()) != 0)
            _exit(127);
        setenv("TERM", "xterm-256color", 1);
        setenv("HOME", home.c_str(), 1);
        // PYM's recovery journals in HOME/pym, not in the user's
        setenv("XDG_STATE_HOME", home.c_str(), 1);
        // every workload in a UTF-8 locale: the same screen for ASCII texts,
        // and the mixed-script text shown as text
        setenv("LANG", "C.UTF-8", 1);
        setenv("LC_ALL", "C.UTF-8", 1);
        unsetenv("LINES");
        unsetenv("COLUMNS");
        unsetenv("VIMINIT");
        unsetenv("EXINIT");
        unsetenv("TMUX");
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

EditorProcess::~EditorProcess()
{
    if (!exited_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0)
        close(master_);
}

bool EditorProcess::reap(int options)
{
    if (exited_)
        return true;
    int status;
    struct rusage ru;
    pid_t r = wait4(pid_, &status, options, &ru);
    if (r != pid_)
        return false;
    ended_ = now_s();
    exited_ = true;
    status_ = status;
    usage_ = ru;
    return true;
}

bool EditorProcess::read_output(long timeout_us)
{
    if (hung_up_)
        return false;
    struct pollfd p = {master_, POLLIN, 0};
    struct timespec t = {timeout_us / 1000000, (timeout_us % 1000000) * 1000};
    if (ppoll(&p, 1, &t, nullptr) <= 0)
        return false;
    output_came_ = now_s();
    bool any = false;
    char buf[65536];
    for (;;) {
        ssize_t got = read(master_, buf, sizeof buf);
        if (got > 0) {
            any = true;
            bytes_out_ += uint64_t(got);
            step_output_.append(buf, size_t(got));
            term_.feed(std::string_view(buf, size_t(got)));
            std::string replies = term_.take_replies();
            if (!replies.empty())
                send(replies);
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && errno == EAGAIN)
            break;
        hung_up_ = true;        // EIO: the editor's side is all closed
        break;
    }
    return any;
}

void EditorProcess::send(std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t put = write(master_, bytes.data(), bytes.size());
        if (put < 0 && (errno == EINTR || errno == EAGAIN)) {
            read_output(1000);  // the editor may be blocked on its output
            continue;
        }
        if (put <= 0)
            return;
        bytes.remove_prefix(size_t(put));
    }
}

static bool read_file(const std::string& path, char* buf, size_t size)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    ssize_t got = read(fd, buf, size - 1);
    close(fd);
    if (got <= 0)
        return false;
    buf[got] = 0;
    return true;
}

ProcSample EditorProcess::sample() const
{
    ProcSample s;
    if (exited_)
        return s;
    std::string base = "/proc/" + std::to_string(pid_) + "/";
    char buf[4096];
    if (read_file(base + "stat", buf, sizeof buf)) {
        const char* p = strrchr(buf, ')');
        if (p && p[1] == ' ')
            s.state = p[2];
    }
    if (read_file(base + "io", buf, sizeof buf)) {
        for (char* line = strtok(buf, "\n"); line; line = strtok(nullptr, "\n")) {
            unsigned long long v;
            if (sscanf(line, "rchar: %llu", &v) == 1)
                s.rchar = v;
            else if (sscanf(line, "syscw: %llu", &v) == 1)
                s.syscw = v;
        }
    }
    if (read_file(base + "schedstat", buf, sizeof buf))
        s.cpu_ns = strtoull(buf, nullptr, 10);
    if (s.state == 'S' && read_file(base + "syscall", buf, sizeof buf)) {
        // the system call it sleeps in and its first argument
        long nr = strtol(buf, nullptr, 10);
        const char* space = strchr(buf, ' ');
        long arg0 = space ? strtol(space + 1, nullptr, 16) : 0;
        if (nr == SYS_wait4 || nr == SYS_waitid) {
            s.waits_on_other = true;
        } else if ((nr == SYS_read || nr == SYS_readv) && arg0 > 2) {
            char link[256];
            ssize_t n = readlink((base + "fd/" + std::to_string(arg0)).c_str(), link,
                                 sizeof link - 1);
            link[n > 0 ? n : 0] = 0;
            s.waits_on_other = strncmp(link, "/dev/pts/", 9) != 0 && strncmp(link, "/dev/tty", 8) != 0;
        }
    }
    return s;
}

long EditorProcess::peak_rss_kib() const
{
    char buf[8192];
    if (exited_ || !read_file("/proc/" + std::to_string(pid_) + "/status", buf, sizeof buf))
        return -1;
    const char* p = strstr(buf, "VmHWM:");
    return p ? strtol(p + 6, nullptr, 10) : -1;
}

bool EditorProcess::wait_started(int timeout_ms, int settle_ms)
{
    double deadline = now_s() + timeout_ms / 1000.0;
    bool seen = false;
    while (now_s() < deadline && !hung_up_) {
        if (read_output(seen ? long(settle_ms) * 1000 : 5000)) {
            seen = true;
            continue;
        }
        if (seen && sample().state == 'S')
            return true;
        if (reap(WNOHANG))
            return false;
    }
    return false;
}

/*
 * A step is handled when the editor has read every byte of it (its rchar
 * grew by at least their number), sleeps (state S: it is blocked reading
 * the next key, since its output is drained as it comes), and no more
 * output comes for a moment. While it computes it is R; a step that
 * needs output waits out the editor's pause after a lone ESC too. An
 * editor asleep on a pipe or a child (running a command for its output)
 * is not done either.
 */
StepCost EditorProcess::step(std::string_view bytes, bool need_output, int timeout_ms)
{
    StepCost cost;
    ProcSample before = sample();
    uint64_t out_before = bytes_out_;
    step_output_.clear();
    double t0 = now_s();
    send(bytes);
    bool seen = false;
    long wait_us = 50;      // grows while the editor computes
    for (;;) {
        if (read_output(wait_us)) {
            if (!seen)
                cost.first_output_us = uint64_t((output_came_ - t0) * 1e6);
            seen = true;
            wait_us = 50;
            continue;
        }
        wait_us = wait_us < 2000 ? wait_us * 2 : 2000;
        ProcSample s = sample();
        bool consumed = s.rchar - before.rchar >= bytes.size();
        if (consumed && s.state == 'S' && !s.waits_on_other && (seen || !need_output)) {
            // output written just before the editor slept may still be on
            // its way through the pty
            if (read_output(300)) {
                seen = true;
                continue;
            }
            ProcSample again = sample();
            if (again.state == 'S' && !again.waits_on_other)
                break;
        }
        if (reap(WNOHANG) || hung_up_)
            break;
        if (now_s() - t0 > timeout_ms / 1000.0) {
            cost.timed_out = true;
            break;
        }
    }
    ProcSample after = sample();
    cost.bytes = bytes_out_ - out_before;
    cost.writes = after.syscw - before.syscw;
    cost.cpu_ns = after.cpu_ns - before.cpu_ns;
    cost.wall_us = uint64_t((now_s() - t0) * 1e6);
    return cost;
}

ExitInfo EditorProcess::finish(std::string_view bytes, int timeout_ms)
{
    send(bytes);
    double deadline = now_s() + timeout_ms / 1000.0;
    while (!reap(WNOHANG)) {
        if (now_s() > deadline) {
            kill(pid_, SIGKILL);
            reap(0);
            status_ = -1;
            break;
        }
        if (!read_output(2000) && hung_up_)
            reap(0);
    }
    while (read_output(1000)) {
    }
    ExitInfo e;
    e.status = status_;
    e.usage = usage_;
    e.wall_s = ended_ - started_;
    return e;
}
