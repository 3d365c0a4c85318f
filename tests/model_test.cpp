// Random editing sessions checked against a small model of the text: typing
// (tabs, ^Q literals, line splits with auto-indent on and off), cursor
// motion, Backspace, Delete, ^Y and Buffer/Delete/Copy ranges, then Update.
// The file written must hold exactly the model's lines. In the tall window
// the text always fits, so the window starts at the first line and the page
// keys and the second and third presses of Home and End go to the first or
// last line; in the short one, whose window scrolls, those keys are left out.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "harness/editor.h"
#include "store/history.h"
#include "session/session.h"

namespace {

const int tall = 50;            // 48 text rows, more than the text ever has
const size_t max_lines = 40;
const std::string lone_esc = "\x1b";    // a piece that is a lone ESC key

struct Action {
    std::vector<std::string> pieces;    // keys; lone_esc is pressed with a pause
    std::string what;
};

// The text as its lines joined by NULs, as the store holds them, the
// cursor as a position in it, the goal column of vertical moves, and the
// settings and the buffer that the keys change.
struct Model {
    std::string text;
    size_t pos = 0;
    int goal = 0;
    int last_key = 0, prev_key = 0;     // for the press count of Home and End
    bool insert = true, indent = true, delete_to_buffer = true;
    std::string paste;

    size_t start_of(size_t p) const
    {
        size_t nul = p ? text.rfind('\0', p - 1) : std::string::npos;
        return nul == std::string::npos ? 0 : nul + 1;
    }
    size_t end_of(size_t p) const { return std::min(text.find('\0', p), text.size()); }
    size_t lines() const { return size_t(std::count(text.begin(), text.end(), '\0')) + 1; }
    size_t line_of(size_t p) const { return size_t(std::count(text.begin(), text.begin() + long(p), '\0')); }
    size_t line_at(size_t n) const
    {
        size_t p = 0;
        while (n-- > 0)
            p = end_of(p) + 1;
        return p;
    }
    int width(size_t from, size_t to) const
    {
        int col = 0;
        for (size_t i = from; i < to; i++)
            col += text[i] == '\t' ? 8 - col % 8 : 1;
        return col;
    }
    // In the line from s: the first byte whose cells reach past the goal,
    // or the line end.
    size_t land(size_t s) const
    {
        size_t p = s;
        while (p < end_of(s) && width(s, p + 1) <= goal)
            p++;
        return p;
    }
    void set_goal() { goal = width(start_of(pos), pos); }
    // A motion or deletion key: it moves the press count of Home and End on.
    void handled(int code) { prev_key = last_key; last_key = code; }

    // In exchange mode a character overwrites, except at the line end.
    void type(char c)
    {
        if (!insert && pos < end_of(pos))
            text[pos++] = c;
        else
            text.insert(pos++, 1, c);
        set_goal();
        last_key = 0;
    }
    void split()
    {
        size_t s = start_of(pos);
        size_t lead = indent ? std::min(text.find_first_not_of(" \t", s), text.size()) - s : 0;
        text.insert(pos, '\0' + text.substr(s, lead));
        pos += 1 + lead;
        set_goal();
        last_key = 0;
    }
    // Removes the bytes between a and b; the cursor goes to the lower.
    // An empty range changes nothing, the goal included.
    void remove(size_t a, size_t b)
    {
        if (a == b)
            return;
        pos = std::min(a, b);
        text.erase(pos, std::max(a, b) - pos);
        set_goal();
    }
    void delete_line()
    {
        size_t s = start_of(pos), e = end_of(pos);
        if (e < text.size())
            e++;                        // the line with its end
        else if (s > 0)
            s--;                        // the last line with the end before it
        remove(s, e);
        handled(25);
    }
    void horizontal(int d)
    {
        if (d > 0 ? pos < text.size() : pos > 0)
            pos += size_t(d);
        set_goal();
        handled(d > 0 ? 77 : 75);
    }
    void vertical(long d, int code)
    {
        pos = land(line_at(size_t(std::clamp(long(line_of(pos)) + d, 0L, long(lines()) - 1))));
        handled(code);
    }
    void home_or_end(bool home)
    {
        int code = home ? 2 : 5;
        if (last_key != code) {
            goal = home ? 0 : 30000;
            pos = land(start_of(pos));
        } else {
            pos = land(line_at(home ? 0 : lines() - 1));
            if (prev_key == code)
                code = 0;               // a fourth press is a first again
        }
        handled(code);
    }
    void copy()
    {
        if (paste.empty())
            return;
        text.insert(pos, paste);        // the cursor stays on the first byte copied
        set_goal();
    }
};

// Appends one random motion key to a and applies it to m. Unless the text
// fits the window, no page key and no second press of Home or End: where
// those go depends on the window.
void random_motion(std::mt19937& rng, Model& m, Action& a, bool arrows_only, bool fits)
{
    static const Key keys[] = {Key::Left, Key::Right, Key::Up, Key::Down, Key::Home,
                               Key::End, Key::PageUp, Key::PageDown};
    static const char* names[] = {" Left", " Right", " Up", " Down", " Home", " End", " PgUp", " PgDn"};
    unsigned i = rng() % (arrows_only ? 4 : fits ? 8 : 6);
    if (!fits && ((i == 4 && m.last_key == 2) || (i == 5 && m.last_key == 5)))
        i = rng() % 4;
    Key k = keys[i];
    a.pieces.push_back(key_bytes(k));
    a.what += names[i];
    switch (k) {
    case Key::Left: m.horizontal(-1); break;
    case Key::Right: m.horizontal(1); break;
    case Key::Up: m.vertical(-1, 72); break;
    case Key::Down: m.vertical(1, 80); break;
    case Key::Home: m.home_or_end(true); break;
    case Key::End: m.home_or_end(false); break;
    case Key::PageUp: m.vertical(-1000, 73); break;
    default: m.vertical(1000, 81); break;
    }
}

// A command of the command loop, left with ESC and entered again with i.
Action command(std::vector<std::string> keys, std::string what, Model& m)
{
    keys.insert(keys.begin(), lone_esc);
    keys.push_back("i");
    m.last_key = 0;
    m.insert = true;
    return {keys, what};
}

// One random action, applied to the model as it is made.
Action random_action(std::mt19937& rng, Model& m, bool fits)
{
    static const std::string letters = "abcdefghijklmnopqrstuvwxyz";
    unsigned r = rng() % 100;
    if (r < 36) {
        char c = letters[rng() % letters.size()];
        if (r < 6)
            c = ' ';
        else if (r < 11)
            c = '\t';
        else if (r < 13)
            c = char((0xC0 + rng() % 32) | 1);  // a byte above 127, never 0xE0
        m.type(c);
        return {{std::string(1, c)}, "type " + std::to_string(byte(c))};
    }
    if (r < 42) {
        char c = char(1 + rng() % 31);
        m.type(c);
        return {{"\x11", c == 27 ? lone_esc : std::string(1, c)}, "^Q " + std::to_string(c)};
    }
    if (r < 50 && (m.lines() < max_lines || !fits)) {
        m.split();
        return {{"\r"}, "Enter"};
    }
    if (r < 70) {
        Action a{{}, "motion"};
        random_motion(rng, m, a, false, fits);
        return a;
    }
    if (r < 72) {
        m.insert = !m.insert;
        m.last_key = 0;
        return {{r % 2 ? key_bytes(Key::Insert) : "\x16"}, "Insert key"};
    }
    if (r < 77) {
        m.remove(m.pos, m.pos > 0 ? m.pos - 1 : 0);
        m.handled(8);
        return {{"\x7f"}, "Backspace"};
    }
    if (r < 80) {
        m.remove(m.pos, std::min(m.pos + 1, m.text.size()));
        m.handled(83);
        return {{key_bytes(Key::Delete)}, "Delete"};
    }
    if (r < 82) {
        m.delete_line();
        return {{"\x19"}, "^Y"};
    }
    if (r < 88) {
        bool buffer = r < 86;
        std::string letter = buffer ? (rng() % 2 ? "B" : "b") : (rng() % 2 ? "D" : "d");
        Action a{{letter}, buffer ? "Buffer" : "Delete"};
        size_t start = m.pos;
        for (int n = int(rng() % 5); n > 0; n--)
            random_motion(rng, m, a, rng() % 4 != 0, fits);
        a.pieces.push_back(letter);
        size_t lo = std::min(start, m.pos), hi = std::max(start, m.pos);
        if (buffer || m.delete_to_buffer)
            m.paste = m.text.substr(lo, hi - lo);
        if (!buffer)
            m.remove(start, m.pos);
        return command(a.pieces, a.what, m);
    }
    if (r < 96) {
        size_t breaks = size_t(std::count(m.paste.begin(), m.paste.end(), '\0'));
        if (fits && m.lines() + breaks > max_lines)
            return command({}, "ESC i", m);
        m.copy();
        return command({"C"}, "Copy", m);
    }
    if (r < 99) {
        m.indent = !m.indent;
        return command({"S", "I", "Y"}, "toggle auto-indent", m);
    }
    m.delete_to_buffer = !m.delete_to_buffer;
    return command({"S", "D", "Y"}, "toggle Delete to buffer", m);
}

std::string random_text(std::mt19937& rng)
{
    static const std::string bytes = "  \t\tabcxyz.;";
    std::string text;
    for (int n = int(rng() % 8); n > 0; n--) {
        for (int k = int(rng() % 60); k > 0; k--)
            text += bytes[rng() % bytes.size()];
        text += '\n';
    }
    return text;
}

// A seed and the window's height.
class ModelRun : public EditorTest, public ::testing::WithParamInterface<std::tuple<unsigned, int>> {
protected:
    void feed(const std::vector<Action>& actions, size_t count)
    {
        for (size_t i = 0; i < count; i++)
            for (const std::string& p : actions[i].pieces)
                p == lone_esc ? press(Key::Esc) : type(p);
    }
    // Whether the editor, given the first count actions, holds the
    // model's text with the cursor where the model has it.
    bool agrees(const std::string& text, const std::vector<Action>& actions, size_t count,
                const Model& m)
    {
        open(text, 80, std::get<1>(GetParam()));
        feed(actions, count);
        run(command_loop);
        return std::string(text_begin, text_end - 1) == m.text && cursor - text_begin == long(m.pos);
    }
};

TEST_P(ModelRun, TheFileWrittenHoldsWhatTheModelSays)
{
    std::mt19937 rng(std::get<0>(GetParam()));
    bool fits = std::get<1>(GetParam()) == tall;
    std::string text = random_text(rng);
    Model m;
    m.text = text.empty() ? std::string(1, '\0') : text.substr(0, text.size() - 1);
    std::replace(m.text.begin(), m.text.end(), '\n', '\0');
    std::vector<Action> actions;
    std::vector<Model> after;           // the model after each action
    size_t keys = 0;
    while (keys < 2000) {
        actions.push_back(random_action(rng, m, fits));
        after.push_back(m);
        for (const std::string& p : actions.back().pieces)
            keys += p.size();
    }

    open(text, 80, std::get<1>(GetParam()));
    feed(actions, actions.size());
    press(Key::Esc);
    type("QUE");
    ASSERT_TRUE(run(command_loop)) << "the run ends after Update";
    std::string expected = m.text + "\n";
    std::replace(expected.begin(), expected.end(), '\0', '\n');
    EXPECT_EQ(read_file("t.txt"), expected);
    if (!HasFailure())
        return;

    // Find the first action after which the editor and the model differ.
    size_t good = 0, bad = actions.size();
    while (bad - good > 1) {
        size_t mid = (good + bad) / 2;
        (agrees(text, actions, mid, after[mid - 1]) ? good : bad) = mid;
    }
    const Model& want = after[bad - 1];
    std::string recent;
    for (size_t i = bad > 8 ? bad - 8 : 0; i < bad; i++)
        recent += " [" + actions[i].what + "]";
    agrees(text, actions, bad, want);
    ADD_FAILURE() << "the editor and the model part after action " << bad << ":" << recent
                  << "\n" << screen().dump();
    EXPECT_EQ(cursor - text_begin, long(want.pos));
    EXPECT_EQ(std::string(text_begin, text_end - 1), want.text);
}

// The text as it stands, NULs and all.
std::string whole_text()
{
    return std::string(text_begin, text_end);
}

// Random editing with U and ^R among the keys: whatever happened, undoing
// everything gives the text as opened, byte for byte, and redoing
// everything the newest text; the store and the window keep their rules
// after every single undo and redo (the harness checks each run).
TEST_P(ModelRun, UndoingEverythingGivesTheOpenedTextAndRedoingTheLast)
{
    std::mt19937 rng(std::get<0>(GetParam()) + 100);
    bool fits = std::get<1>(GetParam()) == tall;
    std::string text = random_text(rng);
    Model m;
    m.text = text.empty() ? std::string(1, '\0') : text.substr(0, text.size() - 1);
    std::replace(m.text.begin(), m.text.end(), '\n', '\0');
    std::vector<Action> actions;
    for (size_t keys = 0; keys < 1500;) {
        if (rng() % 20 == 0)
            actions.push_back(command({rng() % 3 ? "U" : "\x12"}, "undo or redo", m));
        else
            actions.push_back(random_action(rng, m, fits));
        for (const std::string& p : actions.back().pieces)
            keys += p.size();
    }
    open(text, 80, std::get<1>(GetParam()));
    std::string opened = whole_text();
    feed(actions, actions.size());
    press(Key::Esc);
    type("99999\x12");                  // to the newest text there is
    run(command_loop);
    std::string last = whole_text();
    int undos = 0;
    for (press(Key::Esc), type("U"), run(command_loop); whole_text() != opened && undos < 5000; undos++) {
        press(Key::Esc);
        type("U");
        run(command_loop);
    }
    EXPECT_EQ(whole_text(), opened) << "after " << undos << " undos";
    press(Key::Esc);
    type("99999\x12");
    run(command_loop);
    EXPECT_EQ(whole_text(), last);
    EXPECT_EQ(bool(modified), whole_text() != opened || !at_saved_text());
}

INSTANTIATE_TEST_SUITE_P(Seeds, ModelRun, ::testing::Combine(::testing::Values(1u, 2u, 3u, 4u, 5u),
                                                             ::testing::Values(tall, 10)));

}  // namespace
