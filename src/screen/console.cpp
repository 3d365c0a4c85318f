/*
 * The console layer over an ECMA-48 terminal. Everything the editor shows
 * is collected here and sent with one write() before it waits for a key.
 * The sequences it sends:
 *
 *   ESC [ ? 1049 h / l      enter / leave the alternate screen
 *   ESC [ ? 2004 h / l      bracketed paste on / off
 *   ESC [ ? 1004 h / l      focus reports (ESC [ I, ESC [ O) on / off
 *   ESC [ ? u  ESC [ ? 2026 $ p  ESC [ ? 2027 $ p  ESC [ c
 *                           at each set-up, the questions: the kitty keyboard
 *                           protocol's flags, whether modes 2026 and 2027 are
 *                           known, and the device attributes, which every
 *                           terminal answers, last; no answer is waited for,
 *                           and neither these nor focus reports are asked for
 *                           when the keyboard is no terminal
 *   ESC [ > 1 u, ESC [ < u  the kitty keyboard protocol's "disambiguate escape
 *                           codes" pushed where the terminal answered the
 *                           question, popped at tear-down and hand-over
 *   ESC [ ? 2026 h / l      around each frame, where the terminal has
 *                           synchronized output (it reported mode 2026)
 *   ESC [ ? 2027 h / l      clusters drawn as one (grapheme_width_mode), where
 *                           the terminal has said it can
 *   ESC ] 52 ; c ; B64 BEL  the paste buffer to the clipboard (base64); inside
 *                           tmux also as ESC P tmux ; ESC ESC ] 52 ... BEL ESC \,
 *                           inside screen only as ESC P ... ESC \ in pieces
 *   ESC [ row ; col H       move the cursor (1-based; ESC [ row H for column 1)
 *   ESC [ 0 ; fg ; bg m     colours of a PC attribute byte (30-37/90-97 on
 *                           40-47/100-107); ESC [ 0 m at the end of a run
 *   ESC [ K                 blank the rest of the row in the current colours
 *   ESC [ top ; bottom r    scrolling region; ESC [ r resets it
 *   ESC D, ESC M            at the region's last / first row: scroll it up /
 *                           down by one row
 *   ESC [ M, ESC [ L        delete / insert the cursor's row: the rows below
 *                           it move up / down, the cheaper block move for a
 *                           band that reaches the last row
 *   ESC [ ? 25 h            cursor visible, at the end of a run
 *   BS                      one column left, when that is where we go
 *   BEL                     the bell
 *
 * Bytes outside 0x20-0x7E go out as the UTF-8 form of their code page 437
 * glyph, so every byte takes one cell and a file can never send a control
 * sequence of its own. In a UTF-8 locale a character (a grapheme cluster)
 * that starts with a printable code point goes out as itself, in the
 * cells its width says; every other byte keeps its glyph.
 *
 * The layer remembers what each cell of the terminal shows, so a cell, a
 * row or a status that already shows the same thing costs nothing: over
 * a slow line, only what changed goes out.
 */
#include "screen/console.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "screen/utf8.h"
#include "state/state.h"
#include "store/append.h"
#include "store/files.h"

static const char* const low_glyphs[32] = {
    " ", "☺", "☻", "♥", "♦", "♣", "♠", "•", "◘", "○", "◙", "♂", "♀", "♪", "♫", "☼",
    "►", "◄", "↕", "‼", "¶", "§", "▬", "↨", "↑", "↓", "→", "←", "∟", "↔", "▲", "▼",
};

static const char* const high_glyphs[129] = {
    "⌂",
    "Ç", "ü", "é", "â", "ä", "à", "å", "ç", "ê", "ë", "è", "ï", "î", "ì", "Ä", "Å",
    "É", "æ", "Æ", "ô", "ö", "ò", "û", "ù", "ÿ", "Ö", "Ü", "¢", "£", "¥", "₧", "ƒ",
    "á", "í", "ó", "ú", "ñ", "Ñ", "ª", "º", "¿", "⌐", "¬", "½", "¼", "¡", "«", "»",
    "░", "▒", "▓", "│", "┤", "╡", "╢", "╖", "╕", "╣", "║", "╗", "╝", "╜", "╛", "┐",
    "└", "┴", "┬", "├", "─", "┼", "╞", "╟", "╚", "╔", "╩", "╦", "╠", "═", "╬", "╧",
    "╨", "╤", "╥", "╙", "╘", "╒", "╓", "╫", "╪", "┘", "┌", "█", "▄", "▌", "▐", "▀",
    "α", "ß", "Γ", "π", "Σ", "σ", "µ", "τ", "Φ", "Θ", "Ω", "δ", "∞", "φ", "ε", "∩",
    "≡", "±", "≥", "≤", "⌠", "⌡", "÷", "≈", "°", "∙", "·", "√", "ⁿ", "²", "■", "\u00a0",
};

static std::string pending;        // output not yet written
static output_sink sink;           // tests: where output goes instead
static int out_fd = 1, in_fd = 0;
static int out_is_tty = -1;        // -1 until first asked
static bool set_up;                // raw mode and alternate screen are on
static bool input_raw;             // the input's settings were changed
static struct termios saved_termios, raw_termios;  // as found; raw mode
static int cur_col = 1, cur_row = 1;   // where the next output goes
static int term_col, term_row;         // where the terminal's cursor is; 0: unknown
static int term_attr = -1;             // attribute last sent; -1: none
static volatile sig_atomic_t keyboard_pushed;      // ESC [ > 1 u sent in this set-up
static volatile sig_atomic_t synchronized_frames;  // the terminal has mode 2026

// What a cell of the terminal shows; attr -1 when that is not known. A
// character of two to four bytes keeps them in ch, a longer one its number
// in long_characters; the cells after the first of a wide character have
// len 0.
struct cell {
    uint32_t ch;
    uint8_t len;
    uint8_t width;
    short attr;
    bool operator==(const cell& o) const { return ch == o.ch && len == o.len && attr == o.attr; }
};
const cell unknown_blank = {' ', 1, 1, -1};

// A cell as one number, for the loops that go over whole rows of cells.
static uint64_t bits(const cell& c)
{
    static_assert(sizeof(cell) == sizeof(uint64_t), "a cell is kept in 8 bytes");
    uint64_t x;
    memcpy(&x, &c, sizeof x);
    return x;
}
static std::vector<cell> shown;
static std::vector<int> shown_row;  // where each row of the terminal is kept in shown:
static int shown_cols, shown_rows;  // a scroll moves these, not the cells

// The characters of more than four bytes that cells show, each kept once.
static std::vector<std::string> long_characters;
static std::unordered_map<std::string, uint32_t> long_character_numbers;
const size_t most_long_characters = 4096;

static void forget_shown();

// The number of the character of len bytes at p in long_characters. A
// full table starts again, and the record of the cells with it.
static uint32_t long_character_number(const byte* p, int len)
{
    std::string s(reinterpret_cast<const char*>(p), size_t(len));
    auto found = long_character_numbers.find(s);
    if (found != long_character_numbers.end())
        return found->second;
    if (long_characters.size() >= most_long_characters) {
        long_characters.clear();
        long_character_numbers.clear();
        forget_shown();
    }
    long_characters.push_back(s);
    return long_character_numbers[s] = uint32_t(long_characters.size() - 1);
}

static void forget_shown()
{
    shown.assign(size_t(console_cols) * size_t(console_rows), unknown_blank);
    shown_row.resize(size_t(console_rows));
    for (int r = 0; r < console_rows; r++)
        shown_row[size_t(r)] = r;
    shown_cols = console_cols;
    shown_rows = console_rows;
}

// The cell at (col, row), or null outside the terminal.
static cell* shown_at(int col, int row)
{
    if (shown_cols != console_cols || shown_rows != console_rows) [[unlikely]]
        forget_shown();
    if (col < 1 || row < 1 || col > shown_cols || row > shown_rows)
        return nullptr;
    return &shown[size_t(shown_row[size_t(row - 1)]) * size_t(shown_cols) + size_t(col - 1)];
}

static bool is_terminal()
{
    if (sink)
        return true;
    if (out_is_tty < 0)
        out_is_tty = isatty(out_fd);
    return out_is_tty;
}

void forget_screen()
{
    term_col = term_row = 0;
    term_attr = -1;
    forget_shown();
}

void set_output_sink(output_sink s)
{
    sink = s;
    pending.clear();
    set_up = false;
    keyboard_pushed = 0;
    synchronized_frames = 0;
    term_col = term_row = 0;
    term_attr = -1;
    forget_shown();
}

void probe_console_size(int* cols, int* rows)
{
    struct winsize ws;
    if (!sink && ioctl(out_fd, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 && ws.ws_row > 0) {
        *cols = ws.ws_col;
        *rows = ws.ws_row;
    } else if (!sink) {
        *cols = 80;
        *rows = 25;
    }
}

/*
 * Raw mode: no echo, no line buffering, no signals or flow control from
 * keys, no CR/LF translation in either direction, 8-bit bytes. A stop
 * that comes while the settings are changed (SIGTTOU, for a run in the
 * background) interrupts the change: it is made again after it.
 */
static void make_input_raw()
{
    if (input_raw || sink || !isatty(in_fd) || tcgetattr(in_fd, &saved_termios) != 0)
        return;
    struct termios raw = saved_termios;
    raw.c_iflag &= ~(BRKINT | ICRNL | INLCR | IGNCR | INPCK | ISTRIP | IXON | IXOFF);
    raw.c_oflag &= ~OPOST;
    raw.c_cflag |= CS8;
    raw.c_lflag &= ~(ECHO | ICANON | IEXTEN | ISIG);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    raw_termios = raw;
    int done;
    while ((done = tcsetattr(in_fd, TCSADRAIN, &raw)) != 0 && errno == EINTR) {
    }
    input_raw = done == 0;
}

// The alternate screen and bracketed paste, at set-up and after a stop,
// and the terminal's own cluster widths where it has them.
static const char enter_sequence[] = "\x1b[?1049h\x1b[?2004h";
static const char clusters_on[] = "\x1b[?2027h";
/*
 * Then, where the keyboard is the terminal, so that what it sends back is
 * read and not left for the shell: focus reports on, and the questions,
 * asked at each set-up (the terminal may be another after a hand-over).
 * The device attributes come last: every terminal answers them, so that
 * one without the keyboard protocol answers too.
 */
static const char questions[] = "\x1b[?1004h\x1b[?u\x1b[?2026$p\x1b[?2027$p\x1b[c";
static bool keyboard_is_terminal;       // as found at the last set-up
static const char keyboard_push[] = "\x1b[>1u", keyboard_pop[] = "\x1b[<u";
static const char frame_begin[] = "\x1b[?2026h", frame_end[] = "\x1b[?2026l";

void setup_terminal()
{
    make_input_raw();           // the keyboard may be a terminal when the output is not
    if (set_up || !is_terminal())
        return;
    set_up = true;
    keyboard_is_terminal = sink || isatty(in_fd);
    pending.insert(0, keyboard_is_terminal ? questions : "");
    pending.insert(0, grapheme_width_mode ? clusters_on : "");
    pending.insert(0, enter_sequence);
    term_col = term_row = 0;
    term_attr = -1;
    forget_shown();
}

void use_keyboard_protocol()
{
    if (!set_up || keyboard_pushed)
        return;                 // an answer to a question asked again
    pending.append(keyboard_push);
    keyboard_pushed = 1;
}

bool keyboard_protocol_on()
{
    return keyboard_pushed != 0;
}

void use_synchronized_output()
{
    synchronized_frames = 1;
}

void set_grapheme_width_mode(bool on)
{
    if (bool(grapheme_width_mode) == on)
        return;
    grapheme_width_mode = on;
    if (set_up)
        pending.append(on ? clusters_on : "\x1b[?2027l");
    forget_screen();
}

// Sends n bytes to the terminal. At an abrupt end a terminal that reads
// nothing is given a moment, not a wait for ever; the descriptor's flags,
// which the shell shares, are put back.
static void write_all(int fd, const char* p, size_t n, bool abrupt = false)
{
    if (!abrupt) {
        write_fully(fd, p, n);
        return;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0)
        fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    write_fully(fd, p, n, 100);
    if (flags >= 0)
        fcntl(fd, F_SETFL, flags);
}

// Appends the characters of s at p; returns the end. Async-signal-safe.
static char* append(char* p, const char* s);

/*
 * Async-signal-safe: touches nothing but the terminal and a few flags.
 * A frame cut short by the signal is ended first; the keyboard protocol
 * is popped on the alternate screen, whose stack it was pushed on.
 */
void restore_terminal(bool abrupt)
{
    static const char leave[] = "\x1b[0m\x1b[?25h\x1b[?2004l\x1b[?1004l\x1b[?1049l";
    static const char clusters_off[] = "\x1b[?2027l";
    if (set_up && !sink) {
        char out[128];
        char* end = append(out, synchronized_frames ? frame_end : "");
        end = append(end, keyboard_pushed ? keyboard_pop : "");
        end = append(end, grapheme_width_mode ? clusters_off : "");
        end = append(end, leave);
        write_all(out_fd, out, size_t(end - out), abrupt);
    }
    if (input_raw)
        tcsetattr(in_fd, abrupt ? TCSANOW : TCSADRAIN, &saved_termios);
    input_raw = false;
    set_up = false;
    keyboard_pushed = 0;
    term_col = term_row = 0;
    term_attr = -1;
}

/*
 * A stop from outside: what the editor held of the terminal is handed
 * back, and taken again when the run goes on in the foreground. In the
 * background it is not touched: the next output or key read sets it up,
 * which stops the editor again until it is brought to the foreground.
 */
static volatile sig_atomic_t held_at_stop;     // held_screen | held_input
static constexpr int held_screen = 1, held_input = 2;

void release_terminal()
{
    held_at_stop = (set_up ? held_screen : 0) | (input_raw ? held_input : 0);
    restore_terminal(true);
}

static bool in_foreground()
{
    pid_t owner = tcgetpgrp(in_fd);
    if (owner < 0)
        owner = tcgetpgrp(out_fd);
    return owner < 0 || owner == getpgrp();
}

void retake_terminal()
{
    if (!in_foreground())
        return;
    int held = held_at_stop;
    held_at_stop = 0;
    if ((held & held_input) || input_raw)     // also after SIGSTOP: a shell may have reset it
        input_raw = tcsetattr(in_fd, TCSANOW, &raw_termios) == 0;
    if (held & held_screen) {
        if (!sink)
            write_all(out_fd, enter_sequence, sizeof enter_sequence - 1, true);
        if (!sink && grapheme_width_mode)
            write_all(out_fd, clusters_on, sizeof clusters_on - 1, true);
        if (!sink && keyboard_is_terminal)
            write_all(out_fd, questions, sizeof questions - 1, true);
        set_up = true;
    }
    term_col = term_row = 0;
    term_attr = -1;
}

/*
 * How many bytes at p (n > 0 of them) a plain line may send as they are:
 * printable ASCII, and a character of the locale that is no control. A C1
 * control (0x80-0x9F, raw or as UTF-8) is CSI and the like to some
 * terminals. 0 when the byte at p must be shown another way.
 */
static size_t plain_length(const byte* p, size_t n)
{
    if (*p >= 0x20 && *p < 0x7F)
        return 1;
    if (*p < 0xA0)
        return 0;
    if (!utf8_text)
        return 1;
    size_t len = size_t(sequence_length(p, p + n));
    return len > 1 && !(p[0] == 0xC2 && p[1] < 0xA0) ? len : 0;
}

// A byte that may not go out as itself: ^[ for ESC (a C0 control or
// DEL), \x9b for the rest. Returns the length written at out.
static size_t shown_safely(byte b, char* out)
{
    static const char hex[] = "0123456789abcdef";
    if (b < 0x20 || b == 0x7F) {
        out[0] = '^';
        out[1] = char(b ^ 0x40);
        return 2;
    }
    out[0] = '\\';
    out[1] = 'x';
    out[2] = hex[b >> 4];
    out[3] = hex[b & 15];
    return 4;
}

void put_plain_line(const char* s, bool abrupt)
{
    if (sink)
        return;
    size_t n = strlen(s), end = n;
    while (end > 0 && (s[end - 1] == '\n' || s[end - 1] == '\r'))
        end--;                  // the line end goes out as it is
    char out[512];
    size_t len = 0;
    auto put = [&](const char* p, size_t k) {
        if (len + k > sizeof out) {
            write_all(out_fd, out, len, abrupt);
            len = 0;
        }
        memcpy(out + len, p, k);
        len += k;
    };
    const byte* text = reinterpret_cast<const byte*>(s);
    for (size_t i = 0; i < end;) {
        size_t k = plain_length(text + i, end - i);
        char shown[4];
        if (k)
            put(s + i, k);
        else
            put(shown, shown_safely(text[i], shown));
        i += k ? k : 1;
    }
    put(s + end, n - end);
    write_all(out_fd, out, len, abrupt);
}

// ---- sending ------------------------------------------------------------

static void emit(const char* s, size_t n)
{
    if (!set_up)
        setup_terminal();
    pending.append(s, n);
}

static void emit(const char* s)
{
    emit(s, strlen(s));
}

static void send_attr()
{
    if (current_attr < 0 || current_attr == term_attr)
        return;
    static const int ansi[8] = {0, 4, 2, 6, 1, 5, 3, 7};   // PC order to ANSI
    int a = current_attr;
    char sgr[40] = "\x1b[0;";
    char* end = decimal_digits(sgr + 4, unsigned((a & 8 ? 90 : 30) + ansi[a & 7]));
    *end++ = ';';
    end = decimal_digits(end, unsigned((a & 0x80 ? 100 : 40) + ansi[(a >> 4) & 7]));
    *end++ = 'm';
    emit(sgr, size_t(end - sgr));
    term_attr = a;
}

static const char* glyph(byte b)
{
    return b < 0x20 ? low_glyphs[b] : high_glyphs[b - 0x7F];
}

/*
 * Moving right over a few cells that already show what they should, in the
 * colours in force, costs less by writing them again than by a cursor move.
 */
// Appends what a cell shows to out: a byte's glyph or a character's bytes.
static void cell_bytes(const cell& c, std::string& out)
{
    if (c.len > 4) {
        out.append(long_characters[c.ch]);
    } else if (c.len > 1) {
        for (int i = 0; i < c.len; i++)
            out.push_back(char(c.ch >> (8 * i)));
    } else if (c.ch >= 0x20 && c.ch < 0x7F) {
        out.push_back(char(c.ch));
    } else {
        out.append(glyph(byte(c.ch)));
    }
}

static bool rewrite_gap(int col, size_t move_cost)
{
    std::string cells;
    for (int c = term_col; c < col; c++) {
        cell* shown_cell = shown_at(c, term_row);
        if (!shown_cell || shown_cell->attr != term_attr || term_attr < 0 || shown_cell->len == 0)
            return false;
        if (c + shown_cell->width - 1 >= col)
            return false;       // its right part lies past the gap
        cell_bytes(*shown_cell, cells);
        c += shown_cell->width - 1;
        if (cells.size() >= move_cost)
            return false;
    }
    emit(cells.data(), cells.size());
    return true;
}

static char* append(char* p, const char* s)
{
    while (*s)
        *p++ = *s++;
    return p;
}

// Brings the terminal's cursor to where the next output goes.
static void send_cursor()
{
    int col = cur_col > console_cols ? console_cols : cur_col < 1 ? 1 : cur_col;
    int row = cur_row > console_rows ? console_rows : cur_row < 1 ? 1 : cur_row;
    if (term_row == row && term_col == col)
        return;
    if (term_row == row && term_col == col + 1) {
        emit("\b", 1);
    } else {
        char cup[40] = "\x1b[";
        char* end = decimal_digits(cup + 2, unsigned(row));
        if (col != 1) {
            *end++ = ';';
            end = decimal_digits(end, unsigned(col));
        }
        *end++ = 'H';
        bool near = term_row == row && term_col > 0 && term_col < col;
        if (!near || !rewrite_gap(col, size_t(end - cup)))
            emit(cup, size_t(end - cup));
    }
    term_row = row;
    term_col = col;
}

// Forgets the cells of the wide character whose part from col on is
// written over: its first cell and those up to col.
static void forget_left_part(int col, int row)
{
    cell* first = shown_at(col, row);
    for (int c = col - 1; first && first->len == 0 && c >= 1; c--) {
        cell* left = shown_at(c, row);
        bool head = left->len != 0;
        *left = unknown_blank;
        if (head)
            break;
    }
}

/*
 * Writing over part of a wide character takes the rest from the terminal
 * too: the record forgets it, so that it is drawn again when it is wanted.
 */
static void forget_broken_halves(int col, int width)
{
    forget_left_part(col, cur_row);
    for (int c = col + width;; c++) {
        cell* right = shown_at(c, cur_row);
        if (!right || right->len != 0)
            break;
        *right = unknown_blank;
    }
}

// Sends the bytes of cells columns wide at the cursor, in its colours.
static void send_cells(const char* bytes, size_t n, int columns)
{
    send_cursor();
    send_attr();
    emit(bytes, n);
    term_col += columns;
    if (term_col > console_cols)
        term_col = term_row = 0;    // the terminal waits to wrap: unknown
}

// Whether the n cells at c all show the rest of a wide character.
static bool all_tails(const cell* c, int n, const cell& tail)
{
    for (int i = 0; i < n; i++)
        if (!(c[i] == tail))
            return false;
    return true;
}

// Puts one cell (or the cells of a wide character) at the cursor: c says
// what it shows, bytes is how it goes out.
static void put_cell(const cell& c, const char* bytes, size_t n)
{
    bool on_row = cur_row >= 1 && cur_row <= console_rows;
    if (cur_col < 1 || cur_col + c.width - 1 > console_cols || !on_row) {
        if (c.width > 1 && on_row && cur_col >= 1 && cur_col <= console_cols) {
            int after = cur_col + c.width;
            while (cur_col <= console_cols)     // cut at the edge: blanks
                put_cell(cell{' ', 1, 1, short(current_attr)}, " ", 1);
            cur_col = after;
            return;
        }
        cur_col += c.width;     // a row never wraps onto the next, nor shows off the terminal
        return;
    }
    cell* here = shown_at(cur_col, cur_row);
    const cell tail = {0, 0, 0, short(current_attr)};
    if (here && *here == c && all_tails(here + 1, c.width - 1, tail)) {
        cur_col += c.width;
        return;
    }
    forget_broken_halves(cur_col, c.width);
    if (here) {
        *here = c;
        std::fill(here + 1, here + c.width, tail);
    }
    send_cells(bytes, n, c.width);
    cur_col += c.width;
}

static void put_glyph(byte b)
{
    if (!is_terminal()) {
        if (b >= 0x20 && b < 0x7F)
            pending.push_back(char(b));
        else
            pending.append(glyph(b));
        return;
    }
    cell c = {b, 1, 1, short(current_attr)};
    if (b >= 0x20 && b < 0x7F) {
        char ch = char(b);
        put_cell(c, &ch, 1);
    } else {
        const char* g = glyph(b);
        put_cell(c, g, strlen(g));
    }
}

// A character of len bytes that goes out as itself.
static void put_character(const byte* p, int len, int width)
{
    if (!is_terminal()) {
        pending.append(reinterpret_cast<const char*>(p), size_t(len));
        return;
    }
    uint32_t packed = 0;
    if (len > 4)
        packed = long_character_number(p, len);
    else
        for (int i = 0; i < len; i++)
            packed |= uint32_t(p[i]) << (8 * i);
    put_cell(cell{packed, uint8_t(len), uint8_t(width), short(current_attr)},
             reinterpret_cast<const char*>(p), size_t(len));
}

void goto_xy(int col, int row)
{
    cur_col = col;
    cur_row = row;
    current_attr = row >= first_text_row ? text_attr : header_attr;
}

/*
 * The record of the n cells at row takes the cells showing the bytes at s
 * (printable ASCII) in the colours of base, the cell of byte 0. Returns a
 * bit for each cell that showed something else: bit i for cell i, n at
 * most 64. Eight cells at a time where the machine has the instructions.
 */
static uint64_t record_ascii(cell* row, const char* s, int n, uint64_t base)
{
    uint64_t differs = 0;
    int i = 0;
#ifdef __SSE2__
    // the byte is the low half of its cell (x86 keeps the low bytes first)
    const __m128i zero = _mm_setzero_si128(), high = _mm_set1_epi32(int(base >> 32));
    // two cells made of two bytes, at row + j: bit j and j + 1 of the result
    auto record_two = [&](__m128i two, int j) {
        __m128i* at = reinterpret_cast<__m128i*>(row + j);
        __m128i same = _mm_cmpeq_epi32(_mm_loadu_si128(at), two);
        // a cell is the same when both its halves are
        same = _mm_and_si128(same, _mm_shuffle_epi32(same, _MM_SHUFFLE(2, 3, 0, 1)));
        _mm_storeu_si128(at, two);
        return uint64_t(unsigned(_mm_movemask_pd(_mm_castsi128_pd(same))) ^ 3u) << j;
    };
    for (; i + 8 <= n; i += 8) {
        __m128i bytes = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(s + i)), zero);
        __m128i lo = _mm_unpacklo_epi16(bytes, zero), hi = _mm_unpackhi_epi16(bytes, zero);
        differs |= record_two(_mm_unpacklo_epi32(lo, high), i) | record_two(_mm_unpackhi_epi32(lo, high), i + 2) |
                   record_two(_mm_unpacklo_epi32(hi, high), i + 4) | record_two(_mm_unpackhi_epi32(hi, high), i + 6);
    }
#endif
    // the cell showing byte b is base + b * unit, whatever the byte order
    const uint64_t unit = bits(cell{1, 0, 0, 0});
    for (; i < n; i++) {
        uint64_t c = base + uint64_t(byte(s[i])) * unit;
        differs |= uint64_t(bits(row[i]) != c) << i;
        memcpy(&row[i], &c, sizeof c);
    }
    return differs;
}

/*
 * Printable ASCII bytes on the cursor's row, in the current colours: the
 * cells that already show them cost nothing, and each stretch that does
 * not goes out in one piece (short gaps of equal cells within it too,
 * which costs less than a cursor move).
 */
static void put_ascii_run(const char* s, int n)
{
    if (cur_col < 1) {
        int skip = std::min(n, 1 - cur_col);
        s += skip;
        n -= skip;
        cur_col += skip;
    }
    if (n == 0 || cur_row < 1 || cur_row > console_rows || cur_col > console_cols) {
        cur_col += n;
        return;
    }
    int m = std::min(n, console_cols - cur_col + 1);
    cell* row = shown_at(cur_col, cur_row);
    const uint64_t base = bits(cell{0, 1, 1, short(current_attr)});
    int col0 = cur_col;
    auto send = [&](int from, int to) {
        cur_col = col0 + from;
        send_cells(s + from, size_t(to - from), to - from);
    };
    // a stretch runs from a cell that differs to the last that differs
    // before four equal cells in a row
    int stretch = -1, last = -1;
    auto take = [&](int first, int to) {    // cells first..to, none of four equal in a row
        if (stretch >= 0 && first - last > 4) {
            send(stretch, last + 1);
            stretch = -1;
        }
        if (stretch < 0)
            stretch = first;
        last = to;
    };
    forget_broken_halves(col0, m);
    for (int at = 0; at < m; at += 64) {
        int k = std::min(64, m - at);
        uint64_t differs = record_ascii(row + at, s + at, k, base);
        uint64_t equal = ~differs & (k == 64 ? ~0ULL : (1ULL << k) - 1);
        if (differs == 0)
            continue;
        if ((equal & equal >> 1 & equal >> 2 & equal >> 3) == 0) {   // the common case
            take(at + std::countr_zero(differs), at + 63 - std::countl_zero(differs));
            continue;
        }
        for (; differs; differs &= differs - 1) {
            int d = at + std::countr_zero(differs);
            take(d, d);
        }
    }
    if (stretch >= 0)
        send(stretch, last + 1);
    cur_col = col0 + n;
}

void put_ascii(const char* s, int n)
{
    if (is_terminal())
        put_ascii_run(s, n);
    else
        pending.append(s, size_t(n));
}

void put_string(const char* s)
{
    while (*s) {
        if (is_terminal() && byte(*s) >= 0x20 && byte(*s) < 0x7F) {
            const char* run = s;
            while (byte(*s) >= 0x20 && byte(*s) < 0x7F)
                s++;
            if (utf8_text && byte(*s) >= 0xC2)
                s--;            // the last may start a cluster
            if (s > run) {
                put_ascii_run(run, int(s - run));
                continue;
            }
        }
        byte b = byte(*s);
        const byte* p = reinterpret_cast<const byte*>(s);
        int len = character_length(p);
        if (utf8_text && (len > 1 || b >= 0xC2)) {
            int width = glyph_width(p, len);
            if (width) {
                put_character(p, len, width);
                s += len;
                continue;
            }
        }
        if (b == 7) {
            emit("\a", 1);
        } else if (b == 8) {
            if (!is_terminal())
                pending.push_back('\b');
            cur_col--;
        } else {
            put_glyph(b);
        }
        s++;
    }
}

// Whether the row already shows blanks in the current colours from the
// cursor on; makes it so in the record of what is shown.
static bool blank_already(int col, int row)
{
    bool blank = true;
    cell* first = shown_at(col, row);
    forget_left_part(col, row);     // the terminal erases a cut character whole
    if (!first)
        return true;
    const cell want = {' ', 1, 1, short(current_attr)};
    const uint64_t want_bits = bits(want);
    for (cell* c = first; c < first + (console_cols - col + 1); c++) {
        blank &= bits(*c) == want_bits;
        *c = want;
    }
    return blank;
}

void clear_to_eol()
{
    if (cur_col < 1)
        cur_col = 1;
    if (!is_terminal() || cur_col > console_cols || cur_row > console_rows ||
        blank_already(cur_col, cur_row))
        return;
    send_cursor();
    send_attr();
    if (cur_col < console_cols) {
        emit("\x1b[K");
    } else {                    // the last cell: a blank is shorter
        emit(" ", 1);
        term_col = term_row = 0;
    }
}

void clear_row(int row)
{
    goto_xy(1, row);
    clear_to_eol();
}

// Moves the record of rows top..bottom by one row, as the terminal did.
static void move_shown_rows(int top, int bottom, bool up)
{
    if (!shown_at(1, top) || !shown_at(1, bottom))
        return;
    auto first = shown_row.begin() + (top - 1), last = shown_row.begin() + bottom;
    if (up)
        std::rotate(first, first + 1, last);
    else
        std::rotate(first, last - 1, last);
    cell* vacated = shown_at(1, up ? bottom : top);
    std::fill(vacated, vacated + shown_cols, unknown_blank);
}

// Moves the rows top..bottom of the terminal by one: up when up is set.
static void scroll_band(int top, int bottom, bool up)
{
    if (!is_terminal() || top > console_rows)
        return;
    if (bottom > console_rows)
        bottom = console_rows;
    if (bottom <= top) {        // a band of one row just becomes blank
        clear_row(top);
        return;
    }
    char seq[48] = "\x1b[";
    char* end = decimal_digits(seq + 2, unsigned(top));
    if (bottom == console_rows) {   // the band reaches the bottom: delete or insert a row
        end = append(end, up ? "H\x1b[M" : "H\x1b[L");
    } else {                    // a region, and a line feed or reverse one at its edge
        *end++ = ';';
        end = decimal_digits(end, unsigned(bottom));
        end = append(end, "r\x1b[");
        end = decimal_digits(end, unsigned(up ? bottom : top));
        end = append(end, up ? "H\x1b" "D\x1b[r" : "H\x1bM\x1b[r");
    }
    emit(seq, size_t(end - seq));
    term_col = term_row = 0;
    move_shown_rows(top, bottom, up);
}

void scroll_up(int top, int bottom)
{
    scroll_band(top, bottom, true);
    goto_xy(1, bottom);
}

void scroll_down(int top, int last)
{
    int bottom = last < screen_rows ? last + 1 : screen_rows;
    scroll_band(top, bottom, false);
    goto_xy(1, top);
}

int console_row()
{
    return cur_row;
}

int console_column()
{
    return cur_col;
}

void flush_output()
{
    if (is_terminal() && set_up)
        send_cursor();
    if (pending.empty())
        return;
    if (synchronized_frames && set_up) {
        pending.insert(0, frame_begin);
        pending.append(frame_end);
    }
    if (sink)
        sink(pending.data(), pending.size());
    else
        write_all(out_fd, pending.data(), pending.size());
    pending.clear();
}

// ---- the clipboard ----------------------------------------------------------

// The bytes at p in base64, a NUL as LF.
static std::string base64_text(const byte* p, size_t n)
{
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((n + 2) / 3 * 4);
    auto at = [&](size_t i) { return uint32_t(i < n ? (p[i] ? p[i] : '\n') : 0); };
    for (size_t i = 0; i < n; i += 3) {
        uint32_t three = at(i) << 16 | at(i + 1) << 8 | at(i + 2);
        for (size_t k = 0; k < 4; k++)
            out.push_back(i + k <= n ? digits[(three >> (18 - 6 * k)) & 63] : '=');
    }
    return out;
}

enum class multiplexer { none, tmux, screen };

static multiplexer multiplexer_around()
{
    const char* tmux = getenv("TMUX");
    const char* sty = getenv("STY");
    const char* term = getenv("TERM");
    std::string_view name = term ? term : "";
    if ((tmux && *tmux) || name.starts_with("tmux"))
        return multiplexer::tmux;
    if ((sty && *sty) || name.starts_with("screen"))
        return multiplexer::screen;
    return multiplexer::none;
}

/*
 * Inside tmux the sequence goes twice: as it is, which tmux takes when its
 * set-clipboard is on (it passes it on and keeps a buffer), and through
 * its passthrough (allow-passthrough on), every ESC doubled. screen passes
 * on only its own string, of at most 768 bytes: the sequence goes in
 * pieces, which the terminal takes as one.
 */
void copy_to_clipboard(const unsigned char* p, size_t n)
{
    const size_t most = 1 << 20, screen_piece = 768 - 4;
    if (!is_terminal() || n == 0 || n > most)
        return;
    std::string osc = "\x1b]52;c;" + base64_text(p, n) + "\a";
    switch (multiplexer_around()) {
    case multiplexer::none:
        emit(osc.data(), osc.size());
        break;
    case multiplexer::tmux:
        emit(osc.data(), osc.size());
        emit("\x1bPtmux;\x1b");   // the one ESC of the sequence, doubled
        emit(osc.data(), osc.size());
        emit("\x1b\\");
        break;
    case multiplexer::screen:
        for (size_t at = 0; at < osc.size(); at += screen_piece) {
            emit("\x1bP");
            emit(osc.data() + at, std::min(screen_piece, osc.size() - at));
            emit("\x1b\\");
        }
        break;
    }
}
