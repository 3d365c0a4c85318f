#include "harness/editor.h"

#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "screen/console.h"
#include "screen/keyboard.h"
#include "screen/window.h"
#include "session/session.h"
#include "store/store.h"

namespace {

std::unique_ptr<Screen> the_screen;
std::string sent;               // output not yet taken by the test
std::deque<int> keys;
const int pause_marker = -1;    // a timed read finds nothing here

struct KeysRanOut {};

void to_screen(const char* data, size_t len)
{
    sent.append(data, len);
    if (the_screen)
        the_screen->feed(std::string_view(data, len));
}

int from_queue(int timeout_ms)
{
    while (!keys.empty()) {
        int b = keys.front();
        keys.pop_front();
        if (b != pause_marker)
            return b;
        if (timeout_ms >= 0)
            return -1;
    }
    return timeout_ms >= 0 ? -1 : -2;
}

[[noreturn]] void keys_ran_out()
{
    throw KeysRanOut();
}

}  // namespace

void use_store(uint32_t capacity)
{
    std::free(store_block);
    store_block = nullptr;
    if (!allocate_store(capacity))
        abort();
    window_top = window_bottom = line_start = cursor = view_start = text_begin;
    selection_start = nullptr;
}

void set_text(const std::vector<std::string>& lines)
{
    text_end = text_begin;
    for (const std::string& l : lines) {
        if (text_end + l.size() + 1 > text_begin + text_capacity)
            abort();
        std::memcpy(text_end, l.data(), l.size());
        text_end += l.size();
        *text_end++ = 0;
    }
    window_top = line_start = cursor = view_start = text_begin;
    window_bottom = text_end;
    forget_line_numbers();
}

std::vector<std::string> text_lines()
{
    std::vector<std::string> lines;
    for (byte* p = text_begin; p < text_end;) {
        byte* nul = static_cast<byte*>(std::memchr(p, 0, size_t(text_end - p)));
        if (!nul) {
            lines.push_back(std::string(p, text_end) + "<no NUL>");
            break;
        }
        lines.emplace_back(p, nul);
        p = nul + 1;
    }
    return lines;
}

byte* line_at(int n)
{
    byte* p = text_begin;
    while (--n > 0)
        p = next_line(p);
    return p;
}

void EditorTest::SetUp()
{
    char templ[] = "/tmp/pym-test-XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    dir = templ;
    old_dir = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    set_input_source(from_queue);
    set_input_end_handler(keys_ran_out);
    keys.clear();
}

void EditorTest::TearDown()
{
    set_output_sink(nullptr);
    set_input_source(nullptr);
    set_input_end_handler(nullptr);
    the_screen.reset();
    std::filesystem::current_path(old_dir);
    std::filesystem::remove_all(dir);
}

void EditorTest::open(const std::string& contents, int cols, int rows, uint32_t capacity,
                      const std::string& name)
{
    console_cols = cols;
    console_rows = rows;
    the_screen = std::make_unique<Screen>(rows, cols);
    set_output_sink(to_screen);
    sent.clear();
    view_only = 0;
    macro_record = macro_play = macro_current = nullptr;
    macro_repeats = 0;
    last_search = last_key = prev_key = mode_key = 0;
    repeat_count = 1;
    use_store(capacity);
    create_file(name, contents);
    open_text(name.c_str());
    flush_output();
}

void EditorTest::show_lines(const std::vector<std::string>& lines)
{
    set_text(lines);
    goal_column = 0;
    redraw_window(text_begin, 3);
    place_cursor_at(1, 3);
    flush_output();
}

Screen& EditorTest::screen()
{
    flush_output();
    return *the_screen;
}

std::string EditorTest::take_output()
{
    flush_output();
    std::string out;
    out.swap(sent);
    return out;
}

void EditorTest::type(std::string_view bytes)
{
    for (char c : bytes)
        keys.push_back(static_cast<unsigned char>(c));
}

void EditorTest::press(Key k, int times)
{
    for (int i = 0; i < times; i++) {
        type(key_bytes(k));
        if (k == Key::Esc)
            keys.push_back(pause_marker);
    }
}

bool EditorTest::run(void (*fn)())
{
    try {
        fn();
    } catch (const KeysRanOut&) {
        flush_output();
        return false;
    }
    flush_output();
    return true;
}

void EditorTest::create_file(const std::string& name, const std::string& contents) const
{
    std::ofstream(name, std::ios::binary) << contents;
}

std::string EditorTest::read_file(const std::string& name) const
{
    std::ifstream in(name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}
