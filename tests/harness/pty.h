// Runs the built editor in a pseudo-terminal of a chosen size, as a user
// would: in a fresh directory of its own, with TERM=xterm-256color (and the
// C locale unless a test chooses another). The
// child is killed and the directory removed at destruction.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <termios.h>
#include <utility>
#include <vector>

#include "harness/keys.h"
#include "harness/screen.h"

class PtyEditor {
public:
    explicit PtyEditor(int rows = 25, int cols = 80);
    ~PtyEditor();
    PtyEditor(const PtyEditor&) = delete;
    PtyEditor& operator=(const PtyEditor&) = delete;

    const std::string& dir() const { return dir_; }
    void create_file(const std::string& name, const std::string& contents) const;
    std::optional<std::string> read_file(const std::string& name) const;

    // The locale the editor starts in (LC_ALL); "C" unless set before start().
    void use_locale(const std::string& name) { locale_ = name; }
    // An address-space limit for the editor (RLIMIT_AS, as ulimit -v); set
    // before start(). 0: none.
    void limit_address_space(size_t bytes) { address_limit_ = bytes; }
    // Before start(): runs this program instead of the built editor (a copy
    // of it elsewhere), with name=value in its environment.
    void use_program(const std::string& path) { program_ = path; }
    static std::string built_editor();  // the program the build made
    // Before start(): runs the editor as a shell with job control does, in
    // a process group of its own in the terminal's foreground, under a
    // parent in the terminal's session, so that a stop from outside stops
    // it (the kernel drops a stop sent to a process group without one).
    void run_as_job() { as_job_ = true; }
    pid_t editor_pid() const { return editor_; }
    void set_environment(const std::string& name, const std::string& value)
    {
        environment_.emplace_back(name, value);
    }
    // Before start(): runs in the directory of another editor's test (and
    // with its journals), which that one removes; as the user uid.
    void share_directory(const PtyEditor& other);
    void run_as_user(uid_t uid) { user_ = uid; }
    // Before start(): the terminal answers each time the editor (or a
    // program it runs) sends query, as a terminal with that feature would.
    // Without this it answers nothing, as a bare pseudo-terminal.
    void answer(const std::string& query, const std::string& reply)
    {
        answers_.push_back({query, reply, 0});
    }
    // Starts pym with these arguments and waits until its output settles.
    void start(const std::vector<std::string>& args);
    void send(std::string_view bytes);
    void press(Key k, int times = 1);   // an Esc is followed by a pause
    // Reads output until none came for quiet_ms, or timeout_ms passed.
    void settle(int quiet_ms = 150, int timeout_ms = 5000);
    // Reads output until ready(screen) holds; returns whether it did.
    bool wait_until(const std::function<bool(const Screen&)>& ready, int timeout_ms = 5000);
    // Reads output until row shows text from column col on.
    bool shows(int row, const std::string& text, int col = 1);

    const Screen& screen() const { return screen_; }
    const std::string& output() const { return output_; }  // every byte so far
    // The terminal's settings now, and as they were before the start.
    struct termios terminal_settings() const;
    const struct termios& initial_settings() const { return initial_; }

    void hang_up();                     // closes the terminal's master side
    // Gives the terminal a new size, as a window drag does: the editor
    // gets SIGWINCH from the kernel.
    void resize(int rows, int cols);
    void signal(int sig);               // to the editor
    // The exit code, 128 + the signal that ended it, or -1 on timeout.
    // Without read_output the terminal is not read meanwhile, as a
    // terminal that has stopped taking output.
    int wait_exit(int timeout_ms = 5000, bool read_output = true);

private:
    bool read_some(int timeout_ms);     // false when nothing came
    void answer_queries();

    struct Answer {
        std::string query, reply;
        size_t seen;                    // output before this is answered
    };
    std::vector<Answer> answers_;

    Screen screen_;
    std::string output_, dir_, locale_ = "C", program_ = built_editor();
    std::vector<std::pair<std::string, std::string>> environment_;
    size_t address_limit_ = 0;
    std::string own_dir_;               // the directory this one removes
    uid_t user_ = uid_t(-1);
    struct termios initial_;
    int master_ = -1;
    pid_t pid_ = -1;                    // the editor, or the parent of its job
    pid_t editor_ = -1;
    bool as_job_ = false;
    int status_ = -1;                   // the wait status once reaped
    bool closed_ = false;               // every handle on the editor's side is gone
};
