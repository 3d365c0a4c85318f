/*
 * Runs PYM, nano and vim side by side on the same workloads in an 80x25
 * pseudo-terminal, one key at a time, and prints what each cost: CPU
 * (user + system from wait4), wall time, terminal output, write() calls
 * and CPU per key (from /proc/PID/io and /proc/PID/schedstat around each
 * key) and peak resident memory (VmHWM). Every figure is the median of
 * the runs. See README.md.
 */
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "editors.h"
#include "process.h"
#include "terminal.h"
#include "workloads.h"

namespace {

struct Options {
    std::string pym = "pym";
    std::string base;           // the "base" editor: another build of PYM
    std::string floor;          // the floor program, beside this one
    int runs = 3;
    double scale = 1;
    std::vector<std::string> editors = default_editors();
    std::string only;           // workload names containing this
    std::string skip;           // but not those containing this
    std::vector<std::string> names;     // only these workloads, by their whole name
    // only the set-up moves of each workload: what its own keys cost is
    // then the difference from a whole run (bench/callgrind)
    bool setup_only = false;
    bool verbose = false;
    int trace = 0;              // steps whose output is shown
};

// One editor on one workload, once.
struct RunResult {
    bool ok = true;             // started, ended, no step timed out
    std::string problem;
    double cpu_s = 0, wall_s = 0;
    double rss_mib = 0;
    uint64_t bytes = 0;         // all terminal output, start to end
    // the workload's own keys: not start-up, set-up moves, mode changes,
    // the cursor check or quitting
    long keys = 0;
    uint64_t key_bytes = 0, key_writes = 0, key_cpu_ns = 0;
    double median_key_bytes = 0, max_key_bytes = 0;
    double max_char_bytes = NAN;    // most for one typed printable character
    uint64_t max_step_writes = 0;
    double max_step_cpu_ms = 0, max_step_wall_ms = 0;
    long cursor_line = -1;      // as the editor showed it after the workload
    bool check_ok = true;
    bool paste_typed = false;   // a paste went as typed keys, not bracketed
    // for each key that must draw (a lone ESC): from its bytes written to
    // the first byte of output, ms
    std::vector<double> first_output_ms;
};

// A step of an action, ready to send.
struct Step {
    std::vector<std::string> tokens;
    bool need_output = false;
    bool counted = true;        // one of the workload's own keys
    const std::string* paste = nullptr;     // a paste of this text: one key
};

std::vector<std::string> tokenize(const std::string& s)
{
    std::vector<std::string> tokens;
    for (size_t i = 0; i < s.size();) {
        // "<M->>" is Alt and >
        size_t from = s.compare(i, 3, "<M-") == 0 ? i + 4 : i + 2;
        size_t close = s[i] == '<' ? s.find('>', from) : std::string::npos;
        size_t len = close == std::string::npos ? 1 : close + 1 - i;
        tokens.push_back(s.substr(i, len));
        i += len;
    }
    return tokens;
}

void expand(const Action& a, const Op& op, bool counted, std::vector<Step>& out)
{
    for (const std::string& s : a.steps) {
        if (s == "{}" || s == "{2}") {
            for (char c : s == "{}" ? op.arg : op.arg2)
                out.push_back({{std::string(1, c)}, false, counted});
        } else if (s == "{paste}") {
            out.push_back({{"<paste>"}, false, counted, &op.arg});
        } else {
            std::vector<std::string> t = tokenize(s);
            out.push_back({t, t.size() == 1 && t[0] == "<esc>", counted});
        }
    }
}

// The steps of a list of ops, with the mode changes they need.
std::vector<Step> plan(const EditorKeys& e, const std::vector<Op>& ops, Mode& mode)
{
    std::vector<Step> steps;
    for (const Op& op : ops) {
        auto it = e.actions.find(op.action);
        if (it == e.actions.end()) {
            fprintf(stderr, "%s has no key map for %s\n", e.name.c_str(), op.action.c_str());
            exit(1);
        }
        const Action& a = it->second;
        if (e.starts != Mode::none && a.needs != Mode::none && a.needs != mode) {
            const Action& change = a.needs == Mode::command ? e.to_command : e.to_typing;
            expand(change, Op{}, false, steps);
            mode = a.needs;
        }
        expand(a, op, !op.setup, steps);
        if (a.leaves != Mode::none)
            mode = a.leaves;
    }
    return steps;
}

std::string step_bytes(Terminal& term, const Step& s, bool* typed = nullptr)
{
    if (s.paste) {
        bool bracketed;
        std::string b = term.paste_bytes(*s.paste, bracketed);
        if (typed)
            *typed = !bracketed;
        return b;
    }
    std::string b;
    for (const std::string& t : s.tokens)
        b += term.key_bytes(t);
    return b;
}

long shown_line(const Terminal& term, const EditorKeys& e)
{
    std::regex re(e.where_pattern);
    for (int r = e.where_first_row; r <= e.where_last_row; r++) {
        std::smatch m;
        std::string row = term.row(r);
        if (std::regex_search(row, m, re))
            return std::atol(m[1].str().c_str());
    }
    return -1;
}

const int step_timeout_ms = 60000;
// a paste that goes as typed keys takes an editor long
const int paste_timeout_ms = 1800000;

std::string escaped(const std::string& s)
{
    std::string out;
    for (unsigned char c : s) {
        if (c == 0x1b) {
            out += "\\e";
        } else if (c < 0x20 || c == 0x7f) {
            char buf[8];
            snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        } else {
            out += char(c);
        }
    }
    return out;
}

RunResult run_one(const Options& opt, const DataFiles& data, const EditorKeys& e,
                  const Workload& w)
{
    RunResult r;
    Terminal term(25, 80, w.kitty_keyboard);
    std::vector<std::string> argv;
    for (const std::string& a : e.command)
        argv.push_back(a == "{pym}"     ? opt.pym
                       : a == "{base}"  ? opt.base
                       : a == "{floor}" ? opt.floor
                       : a == "{file}"  ? w.file
                                        : a);
    // a journal left by a run that did not end would be offered for
    // recovery: every run starts without one
    std::error_code ec;
    for (const auto& j : std::filesystem::directory_iterator(data.dir + "/home/pym", ec))
        std::filesystem::remove(j.path(), ec);
    EditorProcess p(term, argv, data.dir, data.dir + "/home");
    if (!p.wait_started(120000)) {
        r.ok = false;
        r.problem = "did not start";
        return r;
    }

    Mode mode = e.starts;
    std::vector<Op> ops = w.ops;
    if (opt.setup_only)
        std::erase_if(ops, [](const Op& op) { return !op.setup; });
    std::vector<Step> steps = plan(e, ops, mode);
    std::vector<double> per_key_bytes;
    int traced = 0;
    for (const Step& s : steps) {
        bool typed = false;
        std::string bytes = step_bytes(term, s, &typed);
        r.paste_typed = r.paste_typed || typed;
        StepCost c = p.step(bytes, s.need_output, s.paste ? paste_timeout_ms : step_timeout_ms);
        if (traced < opt.trace) {
            traced++;
            std::string sent = escaped(bytes);
            if (sent.size() > 200)
                sent = sent.substr(0, 200) + "... (" + std::to_string(bytes.size()) + " bytes)";
            fprintf(stderr, "%s %s step %d%s: %s -> %llu bytes, %llu writes, %.3f ms CPU\n  %s\n",
                    e.name.c_str(), w.name.c_str(), traced, s.counted ? "" : " (not counted)",
                    sent.c_str(), (unsigned long long)c.bytes,
                    (unsigned long long)c.writes, c.cpu_ns / 1e6,
                    escaped(p.step_output()).c_str());
        }
        if (s.counted) {
            long n = long(s.tokens.size());
            r.keys += n;
            for (long i = 0; i < n; i++)
                per_key_bytes.push_back(double(c.bytes) / double(n));
            r.key_bytes += c.bytes;
            r.key_writes += c.writes;
            r.key_cpu_ns += c.cpu_ns;
            r.max_step_writes = std::max(r.max_step_writes, c.writes);
            r.max_step_cpu_ms = std::max(r.max_step_cpu_ms, c.cpu_ns / 1e6);
            r.max_step_wall_ms = std::max(r.max_step_wall_ms, c.wall_us / 1e3);
            if (s.need_output)
                r.first_output_ms.push_back(c.first_output_us / 1e3);
            const std::string& t = s.tokens[0];
            if (n == 1 && t.size() == 1 && t[0] >= 0x20 && t[0] < 0x7f && w.name.rfind("type", 0) == 0)
                r.max_char_bytes = std::isnan(r.max_char_bytes)
                                       ? double(c.bytes)
                                       : std::max(r.max_char_bytes, double(c.bytes));
        }
        if (c.timed_out || p.exited()) {
            r.ok = false;
            r.problem = c.timed_out ? "a key timed out" : "ended early";
            break;
        }
    }
    if (!per_key_bytes.empty()) {
        std::sort(per_key_bytes.begin(), per_key_bytes.end());
        r.median_key_bytes = per_key_bytes[per_key_bytes.size() / 2];
        r.max_key_bytes = per_key_bytes.back();
    }

    if (w.check_lo > 0 && r.ok && !e.where_pattern.empty() && !opt.setup_only) {
        std::vector<Step> where = plan(e, {{"where", ""}}, mode);
        for (const Step& s : where)
            p.step(step_bytes(term, s), true, step_timeout_ms);
        r.cursor_line = shown_line(term, e);
        r.check_ok = r.cursor_line >= w.check_lo && r.cursor_line <= w.check_hi;
        if (!r.check_ok || opt.verbose)
            fprintf(stderr, "%s %s: cursor on line %ld, expected %ld..%ld\n%s", e.name.c_str(),
                    w.name.c_str(), r.cursor_line, w.check_lo, w.check_hi, term.dump().c_str());
    } else if (opt.verbose) {
        fprintf(stderr, "%s %s:\n%s", e.name.c_str(), w.name.c_str(), term.dump().c_str());
    }

    // before the quit keys: an editor whose undo left the text unchanged
    // ends at the first
    long peak_kib = p.peak_rss_kib();
    std::vector<Step> quit = plan(e, {{w.changes ? "quit_changed" : "quit", ""}}, mode);
    for (size_t i = 0; i + 1 < quit.size() && !p.exited(); i++)
        p.step(step_bytes(term, quit[i]), quit[i].need_output, step_timeout_ms);
    ExitInfo x = p.finish(quit.empty() ? "" : step_bytes(term, quit.back()), 30000);
    if (x.status == -1) {
        r.ok = false;
        r.problem = "did not quit";
        return r;
    }
    if (!WIFEXITED(x.status) || WEXITSTATUS(x.status) != 0) {
        r.ok = false;
        r.problem = "exit status " + std::to_string(x.status);
    }
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
    r.cpu_s = seconds(x.usage.ru_utime) + seconds(x.usage.ru_stime);
    r.wall_s = x.wall_s;
    if (opt.verbose)
        fprintf(stderr, "%s %s: user %.4f s, system %.4f s\n", e.name.c_str(), w.name.c_str(),
                seconds(x.usage.ru_utime), seconds(x.usage.ru_stime));
    // ru_maxrss would do, but Linux carries the high-water mark of the
    // process before its exec (a copy of this benchmark) into it
    r.rss_mib = double(peak_kib) / 1024.0;
    if (opt.verbose)
        fprintf(stderr, "%s %s: VmHWM %ld KiB, ru_maxrss %ld KiB\n", e.name.c_str(),
                w.name.c_str(), peak_kib, x.usage.ru_maxrss);
    r.bytes = p.bytes_out();
    return r;
}

// ---- results ----------------------------------------------------------------

double median(std::vector<double> v)
{
    if (v.empty())
        return NAN;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Figures {
    double cpu_s, wall_s, kib_out, bytes_per_key, max_key_bytes, max_char_bytes, writes_per_key,
        max_writes, ms_per_key, max_ms, rss_mib;
    double first_output_ms, max_first_output_ms;    // keys that must draw: median, most
    int runs_ok, runs, checks_failed, pastes_typed;
    std::string not_applicable;     // why the editor was left out, or empty
};

Figures summarize(const std::vector<RunResult>& rs)
{
    auto med = [&rs](auto f) {
        std::vector<double> v;
        for (const RunResult& r : rs)
            if (r.ok)
                v.push_back(f(r));
        return median(v);
    };
    Figures f;
    f.cpu_s = med([](const RunResult& r) { return r.cpu_s; });
    f.wall_s = med([](const RunResult& r) { return r.wall_s; });
    f.kib_out = med([](const RunResult& r) { return r.bytes / 1024.0; });
    f.bytes_per_key = med([](const RunResult& r) { return r.keys ? r.median_key_bytes : NAN; });
    f.max_key_bytes = med([](const RunResult& r) { return r.keys ? r.max_key_bytes : NAN; });
    f.max_char_bytes = med([](const RunResult& r) { return r.max_char_bytes; });
    f.writes_per_key =
        med([](const RunResult& r) { return r.keys ? double(r.key_writes) / r.keys : NAN; });
    f.max_writes = med([](const RunResult& r) { return r.keys ? double(r.max_step_writes) : NAN; });
    f.ms_per_key =
        med([](const RunResult& r) { return r.keys ? r.key_cpu_ns / 1e6 / r.keys : NAN; });
    f.max_ms = med([](const RunResult& r) { return r.keys ? r.max_step_cpu_ms : NAN; });
    f.rss_mib = med([](const RunResult& r) { return r.rss_mib; });
    f.first_output_ms = med([](const RunResult& r) { return median(r.first_output_ms); });
    f.max_first_output_ms = med([](const RunResult& r) {
        return r.first_output_ms.empty() ? NAN
                                         : *std::max_element(r.first_output_ms.begin(), r.first_output_ms.end());
    });
    f.runs = int(rs.size());
    f.runs_ok = 0;
    f.checks_failed = 0;
    f.pastes_typed = 0;
    for (const RunResult& r : rs) {
        f.runs_ok += r.ok;
        f.checks_failed += !r.check_ok;
        f.pastes_typed += r.paste_typed;
    }
    return f;
}

std::string fmt(double v, int decimals)
{
    if (std::isnan(v))
        return "-";
    char buf[32];
    snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

std::string ratio(double pym, double best)
{
    if (std::isnan(pym) || std::isnan(best))
        return "-";
    if (best == 0)
        return pym == 0 ? "1.00" : "inf";
    return fmt(pym / best, 2);
}

void print_row(const std::vector<std::string>& cells)
{
    static const int widths[] = {-16, -5, 8, 7, 8, 6, 6, 6, 5, 7, 7, 7, 0};
    for (size_t i = 0; i < cells.size(); i++) {
        int w = widths[i];
        if (w < 0)
            printf("%-*s ", -w, cells[i].c_str());
        else if (w > 0)
            printf("%*s ", w, cells[i].c_str());
        else
            printf("%s", cells[i].c_str());
    }
    printf("\n");
}

// The lowest of one figure over the editors after the first (PYM), the
// floor left out, and which editor had it; -1 when none has it.
template <class Get>
std::pair<double, int> best_other(const std::vector<Figures>& figs,
                                  const std::vector<const EditorKeys*>& editors, Get get)
{
    double best = NAN;
    int who = -1;
    for (size_t e = 1; e < figs.size(); e++) {
        double v = editors[e]->reference ? NAN : get(figs[e]);
        if (!std::isnan(v) && (std::isnan(best) || v < best)) {
            best = v;
            who = int(e);
        }
    }
    return {best, who};
}

// PYM's targets, each judged on the medians above.
void print_targets(const std::vector<Workload>& workloads,
                   const std::vector<std::vector<Figures>>& figs,
                   const std::vector<const EditorKeys*>& editors)
{
    auto find = [&](const std::string& name) -> const std::vector<Figures>* {
        for (size_t i = 0; i < workloads.size(); i++)
            if (workloads[i].name == name)
                return &figs[i];
        return nullptr;
    };
    auto editor = [&](const std::string& name) -> int {
        for (size_t e = 1; e < editors.size(); e++)
            if (editors[e]->name == name)
                return int(e);
        return -1;
    };
    auto verdict = [](bool ok) { return ok ? "met   " : "MISSED"; };
    // a figure of a run whose cursor check failed is not of the work asked
    auto checked = [](const Figures& f) { return f.checks_failed ? ", cursor check failed" : ""; };
    printf("\nTargets for PYM (medians):\n");
    for (size_t i = 0; i < workloads.size(); i++) {
        auto [best, who] =
            best_other(figs[i], editors, [](const Figures& f) { return f.cpu_s; });
        const Figures& f = figs[i][0];
        if (who < 0 || std::isnan(f.cpu_s) || workloads[i].latency)
            continue;
        double r = f.cpu_s / best;
        // a target below the floor is out of any editor's reach
        std::string floor;
        if (int fl = editor("floor"); fl > 0 && !std::isnan(figs[i][size_t(fl)].cpu_s))
            floor = "; the floor " + fmt(figs[i][size_t(fl)].cpu_s / best, 2) + " x";
        printf("  %s CPU at most half the best other: %-16s %s x %s%s%s\n",
               verdict(r <= 0.5 && !f.checks_failed), workloads[i].name.c_str(), fmt(r, 2).c_str(),
               editors[size_t(who)]->name.c_str(), checked(f), floor.c_str());
    }
    for (size_t i = 0; i < workloads.size(); i++) {
        const Figures& f = figs[i][0];
        if (std::isnan(f.writes_per_key))
            continue;
        printf("  %s one write() per key:             %-16s %s per key, most %s\n",
               verdict(f.writes_per_key <= 1.0 && f.max_writes <= 1), workloads[i].name.c_str(),
               fmt(f.writes_per_key, 2).c_str(), fmt(f.max_writes, 0).c_str());
    }
    for (const char* name : {"down 1MB", "down 64MB"})
        if (const std::vector<Figures>* f = find(name))
            printf("  %s one-line scroll <= 130 bytes:    %-16s median %s, most %s\n",
                   verdict((*f)[0].max_key_bytes <= 130), name,
                   fmt((*f)[0].bytes_per_key, 0).c_str(), fmt((*f)[0].max_key_bytes, 0).c_str());
    for (const char* name : {"type end 1MB", "type end 64MB"})
        if (const std::vector<Figures>* f = find(name))
            printf("  %s typed character <= 60 bytes:     %-16s median %s, most %s\n",
                   verdict((*f)[0].max_char_bytes <= 60), name,
                   fmt((*f)[0].bytes_per_key, 0).c_str(), fmt((*f)[0].max_char_bytes, 0).c_str());
    if (const std::vector<Figures>* f = find("open 64MB")) {
        int dte = editor("dte");
        if (dte > 0 && !std::isnan((*f)[size_t(dte)].cpu_s)) {
            double r = (*f)[0].cpu_s / (*f)[size_t(dte)].cpu_s;
            printf("  %s 64 MiB open: <= half dte's CPU:  %s s, %s x dte\n", verdict(r <= 0.5),
                   fmt((*f)[0].cpu_s, 3).c_str(), fmt(r, 2).c_str());
        }
        double r = (*f)[0].rss_mib / 64;
        printf("  %s 64 MiB open: <= 1.1 x its size:  %s MiB resident, %s x\n", verdict(r <= 1.1),
               fmt((*f)[0].rss_mib, 1).c_str(), fmt(r, 2).c_str());
    }
    for (const char* name : {"down 64MB", "type end 64MB", "type start 64MB"})
        if (const std::vector<Figures>* f = find(name))
            printf("  %s 64 MiB: every key < 16 ms CPU:   %-16s most %s ms\n",
                   verdict((*f)[0].max_ms < 16), name, fmt((*f)[0].max_ms, 2).c_str());
    if (const std::vector<Figures>* f = find("get 1MB in 16MB"))
        printf("  %s Get of 1 MB into 16 MiB < 0.2 s: the Get key %s ms CPU\n",
               verdict((*f)[0].max_ms < 200), fmt((*f)[0].max_ms, 1).c_str());
    if (const std::vector<Figures>* f = find("paste 1MB"))
        printf("  %s paste of 1 MiB < 0.1 s CPU:      the paste %s ms CPU%s%s\n",
               verdict((*f)[0].max_ms < 100 && !(*f)[0].checks_failed),
               fmt((*f)[0].max_ms, 1).c_str(), (*f)[0].pastes_typed ? ", as typed keys" : "",
               checked((*f)[0]));
    if (const std::vector<Figures>* f = find("esc kitty keys")) {
        std::string before;
        if (const std::vector<Figures>* legacy = find("esc"))
            before = "; answering nothing " + fmt((*legacy)[0].first_output_ms, 1) + " ms";
        printf("  %s ESC to the menu < 1 ms, kitty keys: median %s ms, most %s%s\n",
               verdict((*f)[0].first_output_ms < 1), fmt((*f)[0].first_output_ms, 3).c_str(),
               fmt((*f)[0].max_first_output_ms, 3).c_str(), before.c_str());
    }
    if (const std::vector<Figures>* f = find("undo replace 1MB"))
        printf("  %s undo of the replace < 20 ms CPU: the undo key %s ms CPU%s\n",
               verdict((*f)[0].max_ms < 20 && !(*f)[0].checks_failed),
               fmt((*f)[0].max_ms, 2).c_str(), checked((*f)[0]));
    if (const std::vector<Figures>* f = find("undo macro 18MB"))
        printf("  %s undo of a replayed macro < 0.1 s: the undo key %s ms CPU%s\n",
               verdict((*f)[0].max_ms < 100 && !(*f)[0].checks_failed),
               fmt((*f)[0].max_ms, 2).c_str(), checked((*f)[0]));
    // the 1 MB texts; the paste makes one of 2 MB
    double rss = 0;
    for (size_t i = 0; i < workloads.size(); i++)
        if ((workloads[i].file == "small.txt" || workloads[i].file == "alpha.txt") &&
            workloads[i].name != "paste 1MB" && !std::isnan(figs[i][0].rss_mib))
            rss = std::max(rss, figs[i][0].rss_mib);
    if (rss > 0)
        printf("  %s 1 MB file: < 4 MiB resident:     most %s MiB\n", verdict(rss < 4),
               fmt(rss, 2).c_str());
}

// PYM beside base, another build of it: each figure as the median and the
// lowest and highest of the runs, so that a change is judged against the
// runs' own spread. A ratio is starred where even PYM's lowest run is above
// base's highest.
void print_beside_base(const std::vector<Workload>& workloads,
                       const std::vector<std::vector<std::vector<RunResult>>>& results,
                       const std::vector<const EditorKeys*>& editors)
{
    size_t pym = editors.size(), base = editors.size();
    for (size_t e = 0; e < editors.size(); e++) {
        if (editors[e]->name == "pym")
            pym = e;
        if (editors[e]->name == "base")
            base = e;
    }
    if (pym == editors.size() || base == editors.size())
        return;
    struct Range {
        double median = NAN, low = NAN, high = NAN;
    };
    auto range = [](const std::vector<RunResult>& rs, auto get) {
        std::vector<double> v;
        for (const RunResult& r : rs)
            if (r.ok && !std::isnan(get(r)))
                v.push_back(get(r));
        Range g;
        if (!v.empty())
            g = {median(v), *std::min_element(v.begin(), v.end()), *std::max_element(v.begin(), v.end())};
        return g;
    };
    auto cell = [](const Range& g, int decimals) -> std::string {
        if (std::isnan(g.median))
            return "-";
        return fmt(g.median, decimals) + " (" + fmt(g.low, decimals) + "-" + fmt(g.high, decimals) + ")";
    };
    auto compare = [](const Range& p, const Range& b) {
        return ratio(p.median, b.median) + (p.low > b.high ? "*" : " ");
    };
    auto cpu = [](const RunResult& r) { return r.cpu_s; };
    auto per_key = [](const RunResult& r) { return r.keys ? r.key_cpu_ns / 1e6 / double(r.keys) : NAN; };
    printf("\nPYM beside base: median (lowest-highest) of the runs; *: PYM's lowest above base's highest\n");
    printf("%-16s %-22s %-22s %6s  %-22s %-22s %6s\n", "workload", "pym CPU s", "base CPU s", "ratio",
           "pym ms/key", "base ms/key", "ratio");
    for (size_t w = 0; w < workloads.size(); w++) {
        Range pc = range(results[w][pym], cpu), bc = range(results[w][base], cpu);
        Range pk = range(results[w][pym], per_key), bk = range(results[w][base], per_key);
        if (std::isnan(pc.median) || std::isnan(bc.median))
            continue;
        printf("%-16s %-22s %-22s %6s  %-22s %-22s %6s\n", workloads[w].name.c_str(),
               cell(pc, 3).c_str(), cell(bc, 3).c_str(), compare(pc, bc).c_str(),
               cell(pk, 4).c_str(), cell(bk, 4).c_str(),
               std::isnan(pk.median) ? "-" : compare(pk, bk).c_str());
    }
}

// Why editor e cannot run workload w, or "" when it can.
std::string not_applicable(const EditorKeys& e, const Workload& w)
{
    auto lacking = [&e](const std::string& what) -> std::string {
        auto it = e.lacks.find(what);
        return it != e.lacks.end() ? it->second : "";
    };
    if (!w.needs.empty() && !lacking(w.needs).empty())
        return lacking(w.needs);
    for (const Op& op : w.ops) {
        if (!lacking(op.action).empty())
            return lacking(op.action);
        if (!e.actions.count(op.action))
            return "no key map for " + op.action;
    }
    return "";
}

void usage()
{
    fprintf(stderr,
            "usage: pym-bench [--pym PATH] [--base PATH] [--runs N] [--scale F] [--editors a,b,c]\n"
            "                 [--only TEXT] [--skip TEXT] [--workload NAME] [--setup-only]\n"
            "                 [--verbose] [--trace N]\n"
            "  --base PATH another PYM build, measured as the editor \"base\"\n"
            "  --scale F   multiplies every key count (default 1: the documented workloads)\n"
            "  --only TEXT runs only the workloads whose name contains TEXT\n"
            "  --skip TEXT leaves out the workloads whose name contains TEXT\n"
            "  --workload NAME  runs this workload (the whole name; may be repeated)\n"
            "  --setup-only     sends only each workload's set-up moves, not its own keys\n"
            "  --verbose   shows the screen after each workload\n"
            "  --trace N   shows the keys and output of the first N steps of each run\n");
    exit(2);
}

std::vector<std::string> split(const std::string& s)
{
    std::vector<std::string> v;
    size_t start = 0;
    for (size_t comma; (comma = s.find(',', start)) != std::string::npos; start = comma + 1)
        v.push_back(s.substr(start, comma - start));
    v.push_back(s.substr(start));
    return v;
}

} // namespace

int main(int argc, char** argv)
{
    Options opt;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                usage();
            return argv[++i];
        };
        if (a == "--pym")
            opt.pym = std::filesystem::absolute(value());
        else if (a == "--base")
            opt.base = std::filesystem::absolute(value());
        else if (a == "--runs")
            opt.runs = std::max(1, atoi(value().c_str()));
        else if (a == "--scale")
            opt.scale = atof(value().c_str());
        else if (a == "--editors")
            opt.editors = split(value());
        else if (a == "--only")
            opt.only = value();
        else if (a == "--skip")
            opt.skip = value();
        else if (a == "--workload")
            opt.names.push_back(value());
        else if (a == "--setup-only")
            opt.setup_only = true;
        else if (a == "--verbose")
            opt.verbose = true;
        else if (a == "--trace")
            opt.trace = atoi(value().c_str());
        else
            usage();
    }
    if (opt.scale <= 0)
        usage();

    std::vector<const EditorKeys*> editors;
    for (const std::string& name : opt.editors) {
        const EditorKeys* found = nullptr;
        for (const EditorKeys& e : editor_key_maps())
            if (e.name == name)
                found = &e;
        if (!found) {
            fprintf(stderr, "no key map for %s\n", name.c_str());
            return 2;
        }
        if (name == "base" && opt.base.empty()) {
            fprintf(stderr, "base needs --base PATH: left out\n");
            continue;
        }
        if (name == "floor") {
            opt.floor = std::filesystem::read_symlink("/proc/self/exe").parent_path() / "pym-bench-floor";
            if (access(opt.floor.c_str(), X_OK) != 0) {
                fprintf(stderr, "%s is missing: the floor left out\n", opt.floor.c_str());
                continue;
            }
        }
        if (name != "pym" && name != "base" && name != "floor" && system(("command -v " + name + " >/dev/null").c_str()) != 0) {
            fprintf(stderr, "%s is not installed: left out\n", name.c_str());
            continue;
        }
        editors.push_back(found);
    }
    const bool with_pym = !editors.empty() && editors[0]->name == "pym";

    double t0 = now_s();
    fprintf(stderr, "generating the texts...\n");
    DataFiles data = make_data_files(opt.scale);
    std::vector<Workload> all = make_workloads(data, opt.scale), workloads;
    for (const Workload& w : all)
        if ((opt.only.empty() || w.name.find(opt.only) != std::string::npos) &&
            (opt.skip.empty() || w.name.find(opt.skip) == std::string::npos) &&
            (opt.names.empty() || std::find(opt.names.begin(), opt.names.end(), w.name) != opt.names.end()))
            workloads.push_back(w);

    // results[workload][editor]: the runs, interleaved so that a noisy
    // moment of the machine does not fall on one editor only, and each run
    // starts with another editor, so that no editor always comes first or
    // always follows the same one (memory that an editor has just freed is
    // cheaper for the next one to take)
    std::vector<std::vector<std::vector<RunResult>>> results(
        workloads.size(), std::vector<std::vector<RunResult>>(editors.size()));
    for (int run = 0; run < opt.runs; run++) {
        size_t first = size_t(run) * editors.size() / size_t(opt.runs);
        for (size_t wi = 0; wi < workloads.size(); wi++) {
            for (size_t k = 0; k < editors.size(); k++) {
                size_t ei = (first + k) % editors.size();
                if (!not_applicable(*editors[ei], workloads[wi]).empty())
                    continue;
                double s = now_s();
                RunResult r = run_one(opt, data, *editors[ei], workloads[wi]);
                fprintf(stderr, "run %d  %-16s %-5s cpu %7.3f s  wall %7.2f s  (%.1f s)  %ld keys%s%s\n",
                        run + 1, workloads[wi].name.c_str(), editors[ei]->name.c_str(), r.cpu_s,
                        r.wall_s, now_s() - s, r.keys, r.ok ? "" : "  FAILED: ",
                        r.ok ? "" : r.problem.c_str());
                results[wi][ei].push_back(r);
            }
        }
    }
    std::filesystem::remove_all(data.dir);

    printf("Medians of %d runs; 80x25 pty; %ld CPUs online; key counts x%g\n\n", opt.runs,
           sysconf(_SC_NPROCESSORS_ONLN), opt.scale);
    print_row({"workload", "ed", "CPU s", "wall s", "KiB out", "B/key", "B max", "wr/key", "max",
               "ms/key", "max ms", "RSS MiB", "notes"});
    std::vector<std::vector<Figures>> figs(workloads.size());
    for (size_t wi = 0; wi < workloads.size(); wi++) {
        for (size_t ei = 0; ei < editors.size(); ei++) {
            Figures f = summarize(results[wi][ei]);
            f.not_applicable = not_applicable(*editors[ei], workloads[wi]);
            figs[wi].push_back(f);
            std::string note;
            if (!f.not_applicable.empty())
                note += " n/a: " + f.not_applicable;
            if (f.runs_ok < f.runs)
                note += " " + std::to_string(f.runs - f.runs_ok) + " run(s) failed";
            if (f.checks_failed)
                note += " cursor check failed " + std::to_string(f.checks_failed) + "x";
            if (f.pastes_typed)
                note += " not bracketed: typed";
            if (!std::isnan(f.first_output_ms))
                note += " ESC to output " + fmt(f.first_output_ms, 3) + " ms, most " +
                        fmt(f.max_first_output_ms, 3);
            print_row({workloads[wi].name, editors[ei]->name, fmt(f.cpu_s, 3), fmt(f.wall_s, 2),
                       fmt(f.kib_out, 1), fmt(f.bytes_per_key, 0), fmt(f.max_key_bytes, 0),
                       fmt(f.writes_per_key, 2), fmt(f.max_writes, 0), fmt(f.ms_per_key, 3),
                       fmt(f.max_ms, 2), fmt(f.rss_mib, 1), note});
        }
        if (editors.size() > 1 && with_pym) {
            const std::vector<Figures>& fw = figs[wi];
            auto r = [&](auto get) { return ratio(get(fw[0]), best_other(fw, editors, get).first); };
            auto cpu = [](const Figures& f) { return f.cpu_s; };
            auto rss = [](const Figures& f) { return f.rss_mib; };
            std::string note;
            if (int who = best_other(fw, editors, cpu).second; who > 0)
                note += " best CPU " + editors[size_t(who)]->name;
            if (int who = best_other(fw, editors, rss).second; who > 0)
                note += ", RSS " + editors[size_t(who)]->name;
            print_row({"", "ratio", r(cpu), r([](const Figures& f) { return f.wall_s; }),
                       r([](const Figures& f) { return f.kib_out; }),
                       r([](const Figures& f) { return f.bytes_per_key; }),
                       r([](const Figures& f) { return f.max_key_bytes; }),
                       r([](const Figures& f) { return f.writes_per_key; }),
                       r([](const Figures& f) { return f.max_writes; }),
                       r([](const Figures& f) { return f.ms_per_key; }),
                       r([](const Figures& f) { return f.max_ms; }), r(rss), note});
        }
        printf("\n");
    }
    printf("ratio: PYM's figure over the best (lowest) of the others; notes: which was best.\n");
    printf("floor: not an editor, never the best: answers each key with one write of a\n"
           "reply, edits nothing; what a key costs any program here (floor.cpp).\n");
    printf("B/key, B max: terminal bytes of one key, median and most; wr/key: write() calls\n"
           "per key, max: most in one key; ms/key, max ms: CPU per key, mean and most.\n"
           "Start-up, set-up moves, mode changes, the cursor check and quitting count in\n"
           "CPU s, wall s and KiB out only. A paste is one key; n/a: the editor cannot.\n");
    if (with_pym)
        print_targets(workloads, figs, editors);
    print_beside_base(workloads, results, editors);
    fprintf(stderr, "whole benchmark: %.0f s\n", now_s() - t0);
    return 0;
}
