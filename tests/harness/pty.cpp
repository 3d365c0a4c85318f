#include "harness/pty.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono;

static int ms_since(steady_clock::time_point t)
{
    return int(duration_cast<milliseconds>(steady_clock::now() - t).count());
}

PtyEditor::PtyEditor(int rows, int cols) : screen_(rows, cols)
{
    char templ[] = "/tmp/pym-pty-XXXXXX";
    int m, s;
    // a fresh terminal's settings: cooked, with echo
    if (!mkdtemp(templ) || openpty(&m, &s, nullptr, nullptr, nullptr) != 0 ||
        tcgetattr(s, &initial_) != 0)
        abort();
    dir_ = own_dir_ = templ;
    close(m);
    close(s);
}

void PtyEditor::share_directory(const PtyEditor& other)
{
    std::filesystem::remove_all(own_dir_);
    own_dir_.clear();
    dir_ = other.dir_;
}

std::string PtyEditor::built_editor()
{
    return PYM_BINARY;
}

PtyEditor::~PtyEditor()
{
    if (pid_ > 0 && status_ < 0) {
        if (editor_ != pid_)
            kill(editor_, SIGKILL);
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    hang_up();
    // a help viewer the editor ended may still be writing its session file
    std::error_code ec;
    for (int i = 0; i < 50 && !own_dir_.empty() && (std::filesystem::remove_all(own_dir_, ec), ec); i++)
        std::this_thread::sleep_for(milliseconds(20));
}

void PtyEditor::create_file(const std::string& name, const std::string& contents) const
{
    std::ofstream(dir_ + "/" + name, std::ios::binary) << contents;
}

std::optional<std::string> PtyEditor::read_file(const std::string& name) const
{
    std::ifstream in(dir_ + "/" + name, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

/*
 * In the terminal's session leader: starts the editor in a process group
 * of its own, gives that group the terminal, says the editor's process id
 * on report and waits, ending as the editor ends.
 */
[[noreturn]] static void run_job(const std::string& program, char* const* argv, int report)
{
    pid_t editor = fork();
    if (editor == 0) {
        setpgid(0, 0);
        ::signal(SIGTTOU, SIG_IGN);     // a group not yet in the foreground takes it
        tcsetpgrp(0, getpid());
        ::signal(SIGTTOU, SIG_DFL);
        execv(program.c_str(), argv);
        _exit(127);
    }
    setpgid(editor, editor);
    if (write(report, &editor, sizeof editor) != sizeof editor)
        _exit(127);
    int status = 0;
    while (waitpid(editor, &status, 0) < 0 && errno == EINTR) {
    }
    _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
}

void PtyEditor::start(const std::vector<std::string>& args)
{
    struct termios settings = initial_;
    struct winsize size = {};
    size.ws_row = (unsigned short)screen_.rows();
    size.ws_col = (unsigned short)screen_.cols();
    int report[2] = {-1, -1};
    if (as_job_ && pipe2(report, O_CLOEXEC) != 0)
        abort();
    pid_ = forkpty(&master_, nullptr, &settings, &size);
    if (pid_ < 0)
        abort();
    if (pid_ == 0) {
        std::vector<char*> argv = {const_cast<char*>("pym")};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        setenv("TERM", "xterm-256color", 1);
        unsetenv("LINES");
        unsetenv("COLUMNS");
        setenv("LC_ALL", locale_.c_str(), 1);
        // the editor's recovery journals stay in the test's directory
        setenv("XDG_STATE_HOME", (dir_ + "/.state").c_str(), 1);
        if (address_limit_) {
            struct rlimit limit = {address_limit_, address_limit_};
            setrlimit(RLIMIT_AS, &limit);
        }
        for (const auto& [name, value] : environment_)
            setenv(name.c_str(), value.c_str(), 1);
        if (chdir(dir_.c_str()) != 0)
            _exit(127);
        if (user_ != uid_t(-1) && (setgid(user_) != 0 || setuid(user_) != 0))
            _exit(126);
        if (as_job_)
            run_job(program_, argv.data(), report[1]);
        execv(program_.c_str(), argv.data());
        _exit(127);
    }
    editor_ = pid_;
    if (as_job_) {
        close(report[1]);
        if (read(report[0], &editor_, sizeof editor_) != sizeof editor_)
            abort();
        close(report[0]);
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    wait_until([this](const Screen&) { return !output_.empty(); });
    settle();
}

/*
 * Writes as the terminal takes it, reading the editor's output meanwhile
 * (an editor blocked on its output reads no input), and gives up when the
 * editor is gone or takes nothing for a minute.
 */
void PtyEditor::send(std::string_view bytes)
{
    auto last = steady_clock::now();
    while (!bytes.empty() && master_ >= 0 && ms_since(last) < 60000) {
        ssize_t put = write(master_, bytes.data(), std::min<size_t>(bytes.size(), 1 << 16));
        if (put > 0) {
            bytes.remove_prefix(size_t(put));
            last = steady_clock::now();
            continue;
        }
        if (put < 0 && errno != EINTR && errno != EAGAIN)
            return;
        struct pollfd p = {master_, POLLOUT, 0};
        poll(&p, 1, 20);
        read_some(0);
        int status;
        if (status_ < 0 && waitpid(pid_, &status, WNOHANG) == pid_) {
            status_ = status;
            return;
        }
    }
}

void PtyEditor::press(Key k, int times)
{
    for (int i = 0; i < times; i++) {
        send(key_bytes(k));
        if (k == Key::Esc)
            std::this_thread::sleep_for(milliseconds(120));
    }
}

bool PtyEditor::read_some(int timeout_ms)
{
    struct pollfd p = {master_, POLLIN, 0};
    if (master_ < 0 || poll(&p, 1, timeout_ms) <= 0)
        return false;
    char buf[8192];
    ssize_t got = read(master_, buf, sizeof buf);
    if (got <= 0) {
        closed_ = got == 0 || errno == EIO;
        return false;
    }
    output_.append(buf, size_t(got));
    screen_.feed(std::string_view(buf, size_t(got)));
    answer_queries();
    return true;
}

void PtyEditor::answer_queries()
{
    for (Answer& a : answers_) {
        for (size_t at; (at = output_.find(a.query, a.seen)) != std::string::npos;) {
            a.seen = at + a.query.size();
            std::string_view reply = a.reply;
            while (!reply.empty()) {
                ssize_t put = write(master_, reply.data(), reply.size());
                if (put > 0)
                    reply.remove_prefix(size_t(put));
                else if (put < 0 && errno != EINTR && errno != EAGAIN)
                    break;
            }
        }
    }
}

void PtyEditor::settle(int quiet_ms, int timeout_ms)
{
    auto start = steady_clock::now();
    while (ms_since(start) < timeout_ms && read_some(quiet_ms)) {
    }
}

bool PtyEditor::wait_until(const std::function<bool(const Screen&)>& ready, int timeout_ms)
{
    auto start = steady_clock::now();
    while (!ready(screen_)) {
        if (ms_since(start) >= timeout_ms || (!read_some(20) && closed_))
            return ready(screen_);
    }
    return true;
}

bool PtyEditor::shows(int row, const std::string& text, int col)
{
    return wait_until([&](const Screen& s) { return s.text(row, col, int(text.size())) == text; });
}

struct termios PtyEditor::terminal_settings() const
{
    struct termios t = {};
    tcgetattr(master_, &t);
    return t;
}

void PtyEditor::resize(int rows, int cols)
{
    struct winsize size = {};
    size.ws_row = (unsigned short)rows;
    size.ws_col = (unsigned short)cols;
    screen_.resize(rows, cols);
    ioctl(master_, TIOCSWINSZ, &size);
}

void PtyEditor::hang_up()
{
    if (master_ >= 0)
        close(master_);
    master_ = -1;
}

void PtyEditor::signal(int sig)
{
    if (editor_ > 0 && status_ < 0)
        kill(editor_, sig);
}

int PtyEditor::wait_exit(int timeout_ms, bool read_output)
{
    auto start = steady_clock::now();
    while (status_ < 0 && ms_since(start) < timeout_ms) {
        if (!read_output || !read_some(20))
            std::this_thread::sleep_for(milliseconds(5));
        int status;
        if (waitpid(pid_, &status, WNOHANG) == pid_)
            status_ = status;
    }
    while (read_some(0)) {
    }
    if (status_ < 0)
        return -1;
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : 128 + WTERMSIG(status_);
}
