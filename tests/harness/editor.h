// Runs the editor inside the test process: what the console layer sends
// goes into a Screen, keys come from a queue the test fills. All editor
// state is global, so each test opens its text afresh through open().
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "harness/keys.h"
#include "harness/screen.h"
#include "state/state.h"

// Gives the line store capacity bytes, freeing the block it had.
void use_store(uint32_t capacity);
// Makes the text these lines (any bytes but NUL), without drawing.
void set_text(const std::vector<std::string>& lines);
// The text's lines, each without its NUL.
std::vector<std::string> text_lines();
// The start of line n (1-based).
byte* line_at(int n);

class EditorTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Sizes the console, gives the store capacity bytes and opens a file of
    // the test's directory (the current directory) holding contents.
    void open(const std::string& contents, int cols = 80, int rows = 25,
              uint32_t capacity = 0x100000, const std::string& name = "t.txt");
    // Replaces the text by these lines and draws the window from the first.
    void show_lines(const std::vector<std::string>& lines);

    // What the console layer has sent, drawn.
    Screen& screen();
    // The bytes sent since the last call.
    std::string take_output();

    // Queues keys for the editor's next reads.
    void type(std::string_view bytes);
    void press(Key k, int times = 1);
    // Runs fn until it returns (true) or has read every queued key (false).
    bool run(void (*fn)());

    void create_file(const std::string& name, const std::string& contents) const;
    std::string read_file(const std::string& name) const;

    std::string dir;        // the test's own directory
private:
    std::string old_dir;
};
