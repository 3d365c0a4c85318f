// Runs the editor inside the test process: what the console layer sends is
// drawn on a Screen, keys come from a queue the test fills. All editor state
// is global, so each test opens its text afresh with open().
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "harness/keys.h"
#include "harness/screen.h"
#include "state/state.h"

// Gives the line store capacity bytes (the old block is freed).
void use_store(uint32_t capacity);
// Makes the text these lines (any bytes but NUL), without drawing; the
// window and the cursor go to its start.
void set_text(const std::vector<std::string>& lines);
std::vector<std::string> text_lines();
byte* line_at(int n);       // start of line n, from 1

// Text in a UTF-8 locale (utf8) or in the C locale, as start-up would
// choose it from the environment.
void use_character_set(bool utf8);

class EditorTest : public ::testing::Test {
protected:
    // A fresh directory, which is the current directory during the test.
    void SetUp() override;
    void TearDown() override;

    // Sizes the console and the Screen, gives the store capacity bytes and
    // opens the file name holding contents.
    void open(const std::string& contents, int cols = 80, int rows = 25,
              uint32_t capacity = 0x100000, const std::string& name = "t.txt");
    // Replaces the text by these lines and draws the window from the first.
    void show_lines(const std::vector<std::string>& lines);

    Screen& screen();               // flushes the console layer first
    std::string take_output();      // the bytes sent since the last call

    void type(std::string_view bytes);
    void press(Key k, int times = 1);
    void pause();                   // longer than the lone-ESC wait
    // The terminal takes a new size; the editor hears of it at its next
    // wait for a key (after the keys typed so far).
    void resize(int cols, int rows);
    // Keys pasted with the terminal's brackets.
    void paste(std::string_view bytes);
    // Runs fn until it returns (true) or has read every queued key (false).
    bool run(void (*fn)());

    void create_file(const std::string& name, const std::string& contents) const;
    std::string read_file(const std::string& name) const;

    std::string dir;
private:
    std::string old_dir;
};
