#include "workloads.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sys/stat.h>

#include "textgen.h"

static void write_file(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    if (!out) {
        fprintf(stderr, "cannot write %s\n", path.c_str());
        exit(1);
    }
}

static long scaled(long count, double scale)
{
    return std::max(1L, std::lround(double(count) * scale));
}

// the Downs (and Rights) of the down and UTF-8 workloads
static const long down_count = 3000;

DataFiles make_data_files(double scale)
{
    char templ[] = "/tmp/pym-bench-XXXXXX";
    if (!mkdtemp(templ)) {
        perror("mkdtemp");
        exit(1);
    }
    DataFiles d;
    d.dir = templ;
    mkdir((d.dir + "/home").c_str(), 0700);

    GeneratedText small = generate_text(1000000, 1, 60);
    write_file(d.dir + "/small.txt", small.bytes);
    d.small_lines = small.lines;
    d.small_marker = small.marker_line;

    GeneratedText huge = generate_text(64u << 20, 2);
    write_file(d.dir + "/huge.txt", huge.bytes);
    d.huge_lines = huge.lines;

    write_file(d.dir + "/base.txt", generate_text(16u << 20, 3).bytes);
    write_file(d.dir + "/long.txt", generate_long_line(200000, 4));

    // the 1 MB text again with the common word in it: same generator and seed
    write_file(d.dir + "/alpha.txt", generate_text(1000000, 1, 0, common_word).bytes);
    write_file(d.dir + "/log.txt", generate_text(18000000, 7).bytes);
    GeneratedText paste = generate_text(1u << 20, 6);
    d.paste = paste.bytes;
    d.paste_lines = paste.lines;
    // Right xN from the start of the line the Downs reach stays on it
    const long downs = scaled(down_count, scale);
    write_file(d.dir + "/utf8.txt",
               generate_utf8_text(1000000, 5, downs + 1, size_t(downs) + 1000));
    return d;
}

static void repeat(std::vector<Op>& ops, const std::string& action, long n)
{
    for (long i = 0; i < n; i++)
        ops.push_back({action, ""});
}

std::vector<Workload> make_workloads(const DataFiles& d, double scale)
{
    auto n = [scale](long count) { return scaled(count, scale); };
    const long downs = n(down_count), pages = n(600), at_end = n(5000), at_start = n(2000);
    const long lefts = n(500), finds = n(20), escapes = n(30), replays = n(20000);
    std::string typing_end = generate_typing(size_t(at_end));
    std::string typing_start = generate_typing(size_t(at_start));
    long crs_end = long(typing_end.size()) / 60, crs_start = long(typing_start.size()) / 60;

    std::vector<Workload> w;
    w.push_back({"open 1MB", "small.txt", {}, false, 0, 0});

    Workload down{"down 1MB", "small.txt", {}, false, downs + 1, downs + 1};
    repeat(down.ops, "down", downs);
    w.push_back(down);

    // a page is 15 to 24 lines, whatever the editor makes it
    Workload page{"pgdn 1MB", "small.txt", {}, false, pages * 15, pages * 24 + 1};
    repeat(page.ops, "page_down", pages);
    w.push_back(page);

    // the editors differ in whether the empty line after the last newline
    // is a line: one more or not
    w.push_back({"type end 1MB", "small.txt", {{"to_text_end", "", true}, {"type", typing_end}}, true,
                 d.small_lines + crs_end, d.small_lines + crs_end + 1});
    w.push_back({"type start 1MB", "small.txt", {{"type", typing_start}}, true,
                 crs_start + 1, crs_start + 1});

    Workload left{"end+left long", "long.txt", {{"end", ""}}, false, 1, 1};
    repeat(left.ops, "left", lefts);
    w.push_back(left);

    Workload find{"find 1MB", "small.txt", {{"find", find_marker}}, false, d.small_marker,
                  d.small_marker};
    for (long i = 1; i < finds; i++) {
        find.ops.push_back({"top", ""});
        find.ops.push_back({"find_again", ""});
    }
    w.push_back(find);

    w.push_back({"open 64MB", "huge.txt", {}, false, 0, 0});
    Workload down64{"down 64MB", "huge.txt", {}, false, downs + 1, downs + 1};
    repeat(down64.ops, "down", downs);
    w.push_back(down64);
    w.push_back({"type end 64MB", "huge.txt", {{"to_text_end", "", true}, {"type", typing_end}}, true,
                 d.huge_lines + crs_end, d.huge_lines + crs_end + 1});
    w.push_back({"type start 64MB", "huge.txt", {{"type", typing_start}}, true, crs_start + 1,
                 crs_start + 1});

    w.push_back({"get 1MB in 16MB", "base.txt", {{"get", "small.txt"}}, true, 0, 0});

    // the editors leave the cursor at different matches: no line to check
    Workload replace{"replace 1MB", "alpha.txt", {{"replace", common_word, false, "omega"}}, true};
    w.push_back(replace);

    // from the end of the text, the pages as for pgdn
    Workload pgup{"pgup 1MB", "small.txt", {{"to_text_end", "", true}}, false,
                  std::max(1L, d.small_lines - pages * 24 - 1),
                  std::max(1L, d.small_lines + 1 - pages * 15)};
    repeat(pgup.ops, "page_up", pages);
    w.push_back(pgup);

    // the pasted text ends with a line end: the cursor is at the start of
    // the line that was the first
    w.push_back({"paste 1MB", "small.txt", {{"paste", d.paste}}, true, d.paste_lines + 1,
                 d.paste_lines + 1});

    // after the undo no replacement is left: a find of it from the top
    // fails and the cursor stays on line 1
    Workload undo{"undo replace 1MB", "alpha.txt",
                  {{"replace", common_word, true, "omega"},
                   {"undo", ""},
                   {"top", "", true},
                   {"find", "omega", true}},
                  true, 1, 1, "undo_all"};
    w.push_back(undo);

    // a macro of one edit, a character at the line's start and Down,
    // recorded and replayed (set-up), then the replay undone in one step;
    // then (set-up) the top, a find of the character, which finds the one
    // the recording typed on line 1, and a find again, which must fail
    const std::string mark = "#";
    Workload macro{"undo macro 18MB", "log.txt",
                   {{"record", "", true},
                    {"line_start", "", true},
                    {"type", mark, true},
                    {"down", "", true},
                    {"end_record", "", true},
                    {"replay", std::to_string(replays), true},
                    {"undo", ""},
                    {"top", "", true},
                    {"find", mark, true},
                    {"find_again", "", true}},
                   true, 1, 1, "undo_replay"};
    w.push_back(macro);

    Workload utf8{"utf8 mixed", "utf8.txt", {}, false, downs + 1, downs + 1, "utf8"};
    repeat(utf8.ops, "down", downs);
    repeat(utf8.ops, "right", downs);
    w.push_back(utf8);

    // from typing to the command menu with ESC and back (set-up), on a
    // terminal that answers nothing (a lone ESC byte) and on one with the
    // kitty keyboard protocol (ESC [ 27 u once the editor turned it on)
    for (bool kitty : {false, true}) {
        Workload esc{kitty ? "esc kitty keys" : "esc", "small.txt", {}, false, 0, 0};
        esc.kitty_keyboard = kitty;
        esc.latency = true;
        for (long i = 0; i < escapes; i++) {
            esc.ops.push_back({"escape", ""});
            esc.ops.push_back({"insert", "", true});
        }
        w.push_back(esc);
    }
    return w;
}
