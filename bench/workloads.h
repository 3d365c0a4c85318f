// The workloads: what is done to which file, in terms of the actions the
// editors' key maps define.
#pragma once

#include <string>
#include <vector>

struct Op {
    std::string action;
    std::string arg;            // for type, find and get
    // a move that only sets the workload up: its keys count in the run's
    // CPU and wall time but not in the per-key figures
    bool setup = false;
};

struct Workload {
    std::string name;
    std::string file;           // one of the generated files
    std::vector<Op> ops;
    bool changes = false;       // the text is modified: quit without saving
    // the cursor's line afterwards must be in [check_lo, check_hi]; 0: none
    long check_lo = 0, check_hi = 0;
};

struct DataFiles {
    std::string dir;
    long small_lines = 0, small_marker = 0;     // the 1,000,000-byte text
    long huge_lines = 0;                        // the 64 MiB text
};

// Writes the texts into a new directory under /tmp.
DataFiles make_data_files();
// scale multiplies every key count (1 = the workloads as documented).
std::vector<Workload> make_workloads(const DataFiles& d, double scale);
