// Behaviour cases kept as data, one folder each under tests/cases/:
//   in      the file the editor is started on
//   keys    what is typed from the start (in insert mode), in the notation
//           of harness/key_notation.h
//   out     the text afterwards, as Update writes it
//   screen  optional: rows that must show, "N|text" (trailing blanks left
//           out), as Screen::dump() prints them
//   size    optional: "COLSxROWS" (80x25 when missing)
// A bug report becomes a test by adding a folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "harness/key_notation.h"
#include "harness/session.h"

namespace fs = std::filesystem;

static std::string slurp(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

static std::vector<std::string> case_names()
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(PYM_CASES_DIR))
        if (e.is_directory())
            names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// The text as Update would write it now.
static std::string text_as_written()
{
    std::string s;
    for (const std::string& line : text_lines())
        s += line + (text_crlf ? "\r\n" : "\n");
    return s;
}

class Case : public SessionTest, public ::testing::WithParamInterface<std::string> {
protected:
    fs::path dir() const { return fs::path(PYM_CASES_DIR) / GetParam(); }

    void run_keys()
    {
        int cols = 80, rows = 25;
        if (fs::exists(dir() / "size")) {
            ASSERT_EQ(sscanf(slurp(dir() / "size").c_str(), "%dx%d", &cols, &rows), 2);
        }
        open(slurp(dir() / "in"), cols, rows);
        for (const KeyPiece& piece : parse_key_notation(slurp(dir() / "keys"))) {
            type(piece.bytes);
            if (piece.lone_escape)
                pause();
        }
        run(command_loop);
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
};

TEST_P(Case, KeysGiveTheTextAndScreen)
{
    run_keys();
    EXPECT_EQ(text_as_written(), slurp(dir() / "out"));
    if (fs::exists(dir() / "screen"))
        expect_screen();
}

INSTANTIATE_TEST_SUITE_P(Cases, Case, ::testing::ValuesIn(case_names()),
                         [](const auto& info) {
                             std::string name = info.param;
                             std::replace_if(name.begin(), name.end(), [](char c) { return !isalnum(c); }, '_');
                             return name;
                         });
