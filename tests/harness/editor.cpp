#include "harness/editor.h"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <unistd.h>

#include "screen/console.h"
#include "screen/keyboard.h"
#include "screen/window.h"
#include "commands/open_text.h"
#include "session/session.h"
#include "store/history.h"
#include "store/journal.h"
#include "store/store.h"

namespace {

std::unique_ptr<Screen> the_screen;
std::string sent;               // output not yet taken by the test
std::deque<int> keys;
const int pause_marker = -1;    // a timed read finds nothing here
const int resize_marker = -3;   // the terminal was resized: to the size below
std::deque<std::pair<int, int>> sizes;  // the sizes resizes give, in order

void apply_next_size()
{
    console_cols = sizes.front().first;
    console_rows = sizes.front().second;
    the_screen->resize(console_rows, console_cols);
    sizes.pop_front();
}

struct KeysRanOut {};

void to_screen(const char* data, size_t len)
{
    sent.append(data, len);
    the_screen->feed(std::string_view(data, len));
}

int from_queue(int timeout_ms)
{
    while (!keys.empty()) {
        int b = keys.front();
        keys.pop_front();
        if (b == resize_marker) {
            apply_next_size();
            return b;
        }
        if (b != pause_marker)
            return b;
        if (timeout_ms >= 0)
            return -1;
    }
    return timeout_ms >= 0 ? -1 : -2;
}

// Sizes the console and gives it a new screen to draw on.
void new_screen(int cols, int rows)
{
    console_cols = cols;
    console_rows = rows;
    the_screen = std::make_unique<Screen>(rows, cols);
    set_output_sink(to_screen);
    sent.clear();
}

}  // namespace

void use_store(uint32_t capacity)
{
    if (!allocate_store(capacity))
        abort();
    set_text({});
}

void set_text(const std::vector<std::string>& lines)
{
    text_begin = text_end = store_block + 2;
    if (!make_writable(store_block, store_top()))
        abort();
    set_crlf_line_ends({});
    set_placeholder_line(false);
    join_steps(false);
    for (const std::string& l : lines) {
        if (text_end + l.size() + 1 > text_begin + text_capacity)
            abort();
        std::memcpy(text_end, l.data(), l.size());
        text_end += l.size();
        *text_end++ = 0;
    }
    window_top = line_start = cursor = view_start = text_begin;
    window_bottom = text_end;
    selection_start = nullptr;
    forget_line_numbers();
}

std::vector<std::string> text_lines()
{
    std::vector<std::string> lines;
    for (byte* p = text_begin; p < text_end; p = next_line(p))
        lines.emplace_back(reinterpret_cast<char*>(p));
    return lines;
}

byte* line_at(int n)
{
    byte* p = text_begin;
    while (--n > 0)
        p = next_line(p);
    return p;
}

void use_character_set(bool utf8)
{
    ASSERT_NE(setlocale(LC_CTYPE, utf8 ? "C.UTF-8" : "C"), nullptr);
    utf8_text = utf8;
}

void EditorTest::SetUp()
{
    use_character_set(false);
    char templ[] = "/tmp/pym-test-XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    dir = templ;
    old_dir = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    // journals of the texts a test opens stay in its own directory
    setenv("XDG_STATE_HOME", (dir + "/.state").c_str(), 1);
    find_journal_directory();
    new_screen(80, 25);         // never the real terminal
    set_input_source(from_queue);
    set_input_end_handler([] { throw KeysRanOut(); });
    keys.clear();
    sizes.clear();
}

void EditorTest::TearDown()
{
    end_journal();
    use_character_set(false);
    set_output_sink(nullptr);
    set_input_source(nullptr);
    set_input_end_handler(nullptr);
    std::filesystem::current_path(old_dir);
    std::filesystem::remove_all(dir);
}

void EditorTest::open(const std::string& contents, int cols, int rows, uint32_t capacity,
                      const std::string& name)
{
    new_screen(cols, rows);
    view_only = 0;
    reset_run_state();
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
    return std::exchange(sent, std::string());
}

void EditorTest::type(std::string_view bytes)
{
    keys.insert(keys.end(), reinterpret_cast<const unsigned char*>(bytes.data()),
                reinterpret_cast<const unsigned char*>(bytes.data() + bytes.size()));
}

void EditorTest::press(Key k, int times)
{
    for (int i = 0; i < times; i++) {
        type(key_bytes(k));
        if (k == Key::Esc)
            pause();
    }
}

void EditorTest::pause()
{
    keys.push_back(pause_marker);
}

void EditorTest::resize(int cols, int rows)
{
    sizes.emplace_back(cols, rows);
    keys.push_back(resize_marker);
}

void EditorTest::paste(std::string_view bytes)
{
    type("\x1b[200~");
    type(bytes);
    type("\x1b[201~");
}

bool EditorTest::run(void (*fn)())
{
    bool returned = true;
    try {
        fn();
    } catch (const KeysRanOut&) {
        returned = false;
    }
    flush_output();
    if (const char* broken = broken_store_rule())
        ADD_FAILURE() << "the line store breaks its rule: " << broken;
    if (const char* broken = text_begin < text_end ? broken_window_rule() : nullptr)
        ADD_FAILURE() << "the window breaks its rule: " << broken;
    return returned;
}

void EditorTest::create_file(const std::string& name, const std::string& contents) const
{
    std::ofstream(name, std::ios::binary) << contents;
}

std::string EditorTest::read_file(const std::string& name) const
{
    std::ostringstream s;
    s << std::ifstream(name, std::ios::binary).rdbuf();
    return s.str();
}
