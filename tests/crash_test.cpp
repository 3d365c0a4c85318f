// Random sessions of the built editor (typing, pastes, Replace, Buffer and
// Copy, Delete, Get, undo and redo) killed with SIGKILL at random moments.
// What a new start recovers must be what a twin run, given a prefix of the
// same keys, writes with Update: a prefix no shorter than the keys whose
// effect was on the screen when the kill came. PYM_CRASH_RUNS sets how
// many sessions (25 unless set), PYM_CRASH_SEED the first one's seed.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <random>
#include <thread>

#include "harness/pty.h"

using namespace std::chrono;

namespace {

const std::string base_text = [] {
    std::string t;
    const char* words[] = {"red", "green", "blue", "stone", "river", "cloud"};
    for (int i = 0; i < 60; i++)
        t += std::string(words[i % 6]) + " line " + std::to_string(i) + " of the " + words[(i * 7) % 6] + "\n";
    return t;
}();
const std::string other_text = "gotten one\ngotten two\n";

std::string pasted(const std::string& text)
{
    return "\x1b[200~" + text + "\x1b[201~";
}

// The keys of one action, in pieces that a prefix may end after: a paste
// or an escape sequence is never cut.
using action = std::vector<std::string>;

action bytes_of(const std::string& s)
{
    action a;
    for (char c : s)
        a.emplace_back(1, c);
    return a;
}

action operator+(action a, const action& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

action random_action(std::mt19937& r)
{
    const char* words[] = {"red", "green", "blue", "stone", "river", "cloud", "line"};
    auto pick = [&](int n) { return int(r() % unsigned(n)); };
    std::string word = words[pick(7)];
    switch (pick(10)) {
    case 0: return bytes_of("i" + word + " ") + bytes_of(pick(2) ? "\r" : "") + bytes_of("\x1b");
    case 1: return bytes_of("X" + word) + bytes_of("\x1b");
    case 2: return {pasted(word + "\n" + words[pick(7)] + " pasted\n")};
    case 3: return bytes_of("99R" + word + "\r" + std::string(words[pick(7)]) + "X\r");
    case 4: return bytes_of("B") + action{"\x1b[B", "\x1b[B"} + bytes_of("B3C");
    case 5: return bytes_of("D") + action{"\x1b[B"} + bytes_of("D");
    case 6: return bytes_of("Gother.txt\r");
    case 7: return bytes_of(pick(2) ? "U" : "2U");
    case 8: return bytes_of("\x12");
    default: return {pick(2) ? "\x1b[B" : "\x1b[A", "\x1b[C"};
    }
}

std::string joined(const std::vector<action>& actions, size_t whole, size_t pieces_of_next)
{
    std::string keys;
    for (size_t i = 0; i < whole; i++)
        for (const std::string& p : actions[i])
            keys += p;
    if (whole < actions.size())
        for (size_t j = 0; j < pieces_of_next; j++)
            keys += actions[whole][j];
    return keys;
}

void give_files(PtyEditor& pym)
{
    pym.create_file("t.txt", base_text);
    pym.create_file("other.txt", other_text);
}

// What the text is after these keys, as Update writes it: whatever they
// left open (insert mode, a prompt, a selection) ESC closes first.
std::string twin_text(const std::string& keys)
{
    PtyEditor twin;
    give_files(twin);
    twin.start({"t.txt"});
    twin.send(keys);
    twin.press(Key::Esc);
    twin.press(Key::Esc);
    twin.send("QUE");
    if (twin.wait_exit(20000) != 0)
        return "(the twin did not end)\n" + twin.screen().dump();
    return twin.read_file("t.txt").value_or("(no file)");
}

std::string recovered_text(const PtyEditor& killed)
{
    PtyEditor again;
    again.share_directory(killed);
    again.start({"t.txt"});
    bool offered = again.wait_until(
        [](const Screen& s) { return s.row(2).find(" found. Recover ? ") != std::string::npos; }, 2000);
    if (offered) {
        again.send("y");
        again.settle(50);
    }
    again.press(Key::Esc);
    again.send("QUE");
    if (again.wait_exit(20000) != 0)
        return "(the recovered editor did not end)\n" + again.screen().dump();
    return again.read_file("t.txt").value_or("(no file)");
}

// The keys as they can be read in a failure's message.
std::string readable(const std::string& keys)
{
    std::string out;
    for (unsigned char c : keys) {
        if (c == 0x1b)
            out += "<Esc>";
        else if (c < 0x20)
            out += "^" + std::string(1, char(c + 0x40));
        else
            out += char(c);
    }
    return out;
}

int env_number(const char* name, int otherwise)
{
    const char* v = getenv(name);
    return v && *v ? atoi(v) : otherwise;
}

}  // namespace

TEST(CrashConsistency, WhatIsRecoveredIsWhatAPrefixOfTheKeysWouldHaveSaved)
{
    int runs = env_number("PYM_CRASH_RUNS", 25);
    unsigned first_seed = unsigned(env_number("PYM_CRASH_SEED", 1));
    for (unsigned seed = first_seed; seed < first_seed + unsigned(runs); seed++) {
        std::mt19937 r(seed);
        std::vector<action> actions(3 + r() % 10);
        for (action& a : actions)
            a = random_action(r);
        size_t kill_at = r() % actions.size();
        int delay_us = int(r() % 4000);

        PtyEditor pym;
        give_files(pym);
        pym.start({"t.txt"});
        pym.press(Key::Esc);
        for (size_t i = 0; i < kill_at; i++) {
            pym.send(joined({actions[i]}, 1, 0));
            pym.settle(40);
        }
        pym.send(joined({actions[kill_at]}, 1, 0));
        std::this_thread::sleep_for(microseconds(delay_us));
        pym.signal(SIGKILL);
        ASSERT_EQ(pym.wait_exit(), 128 + SIGKILL) << "seed " << seed;
        std::string got = recovered_text(pym);

        // the escape that left insert mode at the start comes first
        std::vector<action> all = {bytes_of("\x1b")};
        all.insert(all.end(), actions.begin(), actions.end());
        size_t done = kill_at + 1, pieces = all[done].size();
        bool matched = false;
        std::vector<size_t> tries = {pieces, 0};
        for (size_t j = pieces; j-- > 1;)
            tries.push_back(j);
        std::string last;
        for (size_t j : tries) {
            last = twin_text(joined(all, done, j));
            if (last == got) {
                matched = true;
                break;
            }
        }
        EXPECT_TRUE(matched) << "seed " << seed << ": killed " << delay_us << " us into action " << kill_at
                             << " of " << actions.size() << "\nkeys: " << readable(joined(all, done, pieces))
                             << "\nrecovered:\n" << got << "\nlast twin:\n" << last;
    }
}
