// Behaviour cases kept as data, one folder each under tests/cases/, in a
// folder of their area (tests/cases/AREA/NAME/; README.md there says how
// to add one). A case is a folder that holds in or keys:
//   in        the file the editor is started on (it is named t.txt)
//   keys      what is typed from the start (in insert mode), in the notation
//             of harness/key_notation.h
//   out       optional: the text afterwards, as Update writes it; when
//             missing, the text must be unchanged from in
//   screen    optional: rows that must show, "N|text" (trailing blanks left
//             out), as Screen::dump() prints them; row 2 holds the message
//             and the status at its right end
//   cursor    optional: "ROW COL", where the cursor stands on the screen
//   bells     optional: how many times the bell rang since the start
//   size      optional: "COLSxROWS" (80x25 when missing)
//   utf8      optional, empty: the locale's character set is UTF-8 (the C
//             locale when missing)
//   capacity  optional: the bytes of the line store (1 MiB when missing)
//   given/    optional: files put in the directory before the start
//   files/    optional: files the directory must hold afterwards, each with
//             exactly this content
//   exits     optional, empty: the keys end the editor's run; without it
//             the editor must read every key and go on
// A bug report becomes a test by adding a folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "harness/key_notation.h"
#include "harness/session.h"
#include "store/files.h"
#include "store/store.h"

namespace fs = std::filesystem;

static std::string slurp(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The cases as AREA/NAME, found at any depth; a case's own folders
// (given/, files/) are not looked into.
static std::vector<std::string> case_names()
{
    std::vector<std::string> names;
    fs::path root(PYM_CASES_DIR);
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it)
        if (it->is_directory() && (fs::exists(it->path() / "in") || fs::exists(it->path() / "keys"))) {
            names.push_back(fs::relative(it->path(), root));
            it.disable_recursion_pending();
        }
    std::sort(names.begin(), names.end());
    return names;
}

// The text as Update would write it now.
static std::string text_as_written()
{
    write_range(".as-written", text_begin, written_end());
    std::string s = slurp(".as-written");
    fs::remove(".as-written");
    return s;
}

class Case : public SessionTest, public ::testing::WithParamInterface<std::string> {
protected:
    fs::path dir() const { return fs::path(PYM_CASES_DIR) / GetParam(); }
    bool has(const char* name) const { return fs::exists(dir() / name); }

    // The files of given/ in the current directory.
    void give_files()
    {
        if (!has("given"))
            return;
        for (const auto& e : fs::directory_iterator(dir() / "given"))
            create_file(e.path().filename(), slurp(e.path()));
    }

    // True when the keys ended the run.
    bool run_keys()
    {
        int cols = 80, rows = 25;
        uint32_t capacity = 0x100000;
        if (has("size")) {
            EXPECT_EQ(sscanf(slurp(dir() / "size").c_str(), "%dx%d", &cols, &rows), 2) << "size is COLSxROWS";
        }
        if (has("capacity"))
            capacity = uint32_t(std::stoul(slurp(dir() / "capacity")));
        use_character_set(has("utf8"));
        open(slurp(dir() / "in"), cols, rows, capacity);
        for (const KeyPiece& piece : parse_key_notation(slurp(dir() / "keys"))) {
            type(piece.bytes);
            if (piece.lone_escape)
                pause();
            if (piece.cols > 0)
                resize(piece.cols, piece.rows);
        }
        return run(command_loop);
    }

    void expect_screen()
    {
        std::istringstream rows(slurp(dir() / "screen"));
        for (std::string line; std::getline(rows, line);) {
            size_t bar = line.find('|');
            ASSERT_NE(bar, std::string::npos) << "screen lines are N|text: " << line;
            int r = std::stoi(line.substr(0, bar));
            EXPECT_EQ(screen().row(r), line.substr(bar + 1)) << "row " << r << "\n" << screen().dump();
        }
    }

    void expect_cursor()
    {
        int row = 0, col = 0;
        ASSERT_EQ(sscanf(slurp(dir() / "cursor").c_str(), "%d %d", &row, &col), 2) << "cursor is ROW COL";
        EXPECT_EQ(screen().cursor_row(), row) << screen().dump();
        EXPECT_EQ(screen().cursor_col(), col) << screen().dump();
    }

    void expect_files()
    {
        for (const auto& e : fs::directory_iterator(dir() / "files")) {
            std::string name = e.path().filename();
            EXPECT_TRUE(fs::exists(name)) << name << " is missing";
            EXPECT_EQ(read_file(name), slurp(e.path())) << name;
        }
    }
};

TEST_P(Case, KeysGiveTheTextAndScreen)
{
    give_files();
    bool ended = run_keys();
    EXPECT_EQ(ended, has("exits")) << (ended ? "the keys ended the run" : "the run went on") << "\n"
                                   << screen().dump();
    EXPECT_EQ(text_as_written(), slurp(dir() / (has("out") ? "out" : "in")));
    if (has("screen"))
        expect_screen();
    if (has("cursor"))
        expect_cursor();
    if (has("bells")) {
        EXPECT_EQ(screen().bells(), std::stoi(slurp(dir() / "bells"))) << screen().dump();
    }
    if (has("files"))
        expect_files();
}

INSTANTIATE_TEST_SUITE_P(Cases, Case, ::testing::ValuesIn(case_names()),
                         [](const auto& info) {
                             std::string name = info.param;
                             std::replace_if(name.begin(), name.end(), [](char c) { return !isalnum(c); }, '_');
                             return name;
                         });
