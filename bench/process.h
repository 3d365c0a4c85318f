// One editor run in a pseudo-terminal, with what the kernel tells about
// it: the forkpty/read part of the test harness's PtyEditor, for any
// command line, plus the /proc counters the benchmark reads.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/types.h>
#include <vector>

#include "terminal.h"

// What /proc says about the process at one moment.
struct ProcSample {
    uint64_t rchar = 0;     // bytes it has read (terminal and files)
    uint64_t syscw = 0;     // write-class system calls it has made
    uint64_t cpu_ns = 0;    // time it has run on a CPU
    char state = '?';       // R running, S sleeping, D disk wait, Z ...
    // asleep on something else than the terminal: reading a pipe from a
    // child (an editor inserting a command's output) or waiting for one
    bool waits_on_other = false;
};

// What handling one step cost, seen from outside.
struct StepCost {
    uint64_t bytes = 0;     // terminal output
    uint64_t writes = 0;    // write() calls (syscw)
    uint64_t cpu_ns = 0;
    uint64_t wall_us = 0;
    // from the step's bytes written to the first byte of output; 0: none
    uint64_t first_output_us = 0;
    bool timed_out = false;
};

struct ExitInfo {
    int status = -1;        // the wait status; -1 when it had to be killed
    struct rusage usage = {};
    double wall_s = 0;      // from fork to exit
};

class EditorProcess {
public:
    EditorProcess(Terminal& term, const std::vector<std::string>& argv, const std::string& dir,
                  const std::string& home);
    ~EditorProcess();
    EditorProcess(const EditorProcess&) = delete;
    EditorProcess& operator=(const EditorProcess&) = delete;

    // Waits for the first screen: output, then the editor asleep and
    // nothing more for settle_ms. Returns false on timeout.
    bool wait_started(int timeout_ms, int settle_ms = 100);

    // Sends the bytes of one step and waits until the editor has read them
    // all and is asleep again with its output here. When need_output is
    // set it also waits for some output (a lone ESC: the editor sleeps
    // while it waits to tell it from a sequence).
    StepCost step(std::string_view bytes, bool need_output, int timeout_ms);

    // Sends the last bytes and waits for the editor to end.
    ExitInfo finish(std::string_view bytes, int timeout_ms);

    ProcSample sample() const;
    // The peak resident set of the program now running (VmHWM), in KiB.
    long peak_rss_kib() const;
    uint64_t bytes_out() const { return bytes_out_; }
    // The output of the last step.
    const std::string& step_output() const { return step_output_; }
    bool exited() const { return exited_; }

private:
    bool read_output(long timeout_us);      // true when something came
    void send(std::string_view bytes);
    bool reap(int options);

    Terminal& term_;
    int master_ = -1;
    pid_t pid_ = -1;
    bool exited_ = false;
    bool hung_up_ = false;
    int status_ = -1;
    struct rusage usage_ = {};
    uint64_t bytes_out_ = 0;
    std::string step_output_;
    double started_ = 0, ended_ = 0;
    double output_came_ = 0;    // when the last read found output waiting
};

double now_s();
