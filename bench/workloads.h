// The workloads: what is done to which file, in terms of the actions the
// editors' key maps define.
#pragma once

#include <string>
#include <vector>

struct Op {
    std::string action;
    std::string arg;            // for type, find, get, replace and paste
    // a move that only sets the workload up: its keys count in the run's
    // CPU and wall time but not in the per-key figures
    bool setup = false;
    std::string arg2;           // replace: the replacement
};

struct Workload {
    std::string name;
    std::string file;           // one of the generated files
    std::vector<Op> ops;
    bool changes = false;       // the text is modified: quit without saving
    // the cursor's line afterwards must be in [check_lo, check_hi]; 0: none
    long check_lo = 0, check_hi = 0;
    std::string needs;          // what the editor must handle, e.g. "utf8"
    // the terminal has the kitty keyboard protocol: it answers its question
    // and sends Esc as ESC [ 27 u while the editor has it turned on
    bool kitty_keyboard = false;
    // what counts is how soon a key is answered (the notes' ESC to output),
    // not the CPU, which is mostly the start: no CPU target
    bool latency = false;
};

struct DataFiles {
    std::string dir;
    long small_lines = 0, small_marker = 0;     // the 1,000,000-byte text
    long huge_lines = 0;                        // the 64 MiB text
    std::string paste;                          // 1 MiB to paste
    long paste_lines = 0;
};

// Writes the texts into a new directory under /tmp; scale as below (the
// UTF-8 text has its long line where the Downs end).
DataFiles make_data_files(double scale);
// scale multiplies every key count (1 = the workloads as documented).
std::vector<Workload> make_workloads(const DataFiles& d, double scale);
