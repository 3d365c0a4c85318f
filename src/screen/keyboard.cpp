/*
 * The key reader: reads what the terminal sends and hands it to parse_key
 * (key_parser.h) a byte at a time until the bytes make a key. It owns
 * what the parser must not: the waits (a lone ESC is told from the start
 * of a sequence by 50 ms without a byte), a resize that wakes a wait, the
 * look-ahead for ^C, and the bracketed paste, whose bytes are never
 * parsed: it is handed on whole as key_paste.
 *
 * A paste whose end marker does not come: after a second without a byte
 * key_paste_stalled says so, and from then on a lone ESC ends the paste as
 * the marker would; every other byte is still the paste. While the bytes
 * of a paste are held here, a signal that ends the run waits (see
 * holding_paste): the wait it wakes ends the paste, which is handed on, so
 * that it is in the text before the emergency save.
 */
#include "screen/keyboard.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <poll.h>
#include <new>
#include <string>
#include <unistd.h>

#include "screen/console.h"
#include "screen/key_parser.h"
#include "state/state.h"

static byte_source source;
static end_handler on_end;
static int queued[4];           // keys decoded but not yet returned
static int queued_count;
// Bytes read ahead of the decoder, in order: what arrived while a command
// repeated. A pause of the input is kept among them as no_byte.
static std::deque<int> ahead;
const int no_byte = -1;         // none came within the wait
const int input_end = -2;
const int resize_byte = -3;     // the terminal was resized (also from a test's source)
const int signal_byte = -4;     // a signal that ends the run waits for the paste
const int escape_wait_ms = 50;  // a lone ESC: nothing after it for this long
const int paste_stall_ms = 1000;    // a paste without a byte for this long has stalled
// Bytes read that make no key yet, or that followed the last key.
static std::string pending;
static bool input_over;         // the input ended inside a paste

// The paste being read, or the last one.
static struct {
    std::string bytes;
    bool open = false;          // its end has not come
    bool stalled = false;       // a second passed without a byte: a lone ESC ends it
    bool lost = false;          // too large for memory: read on to its end, kept no more
} paste;
// From a paste's start marker until the key after it is asked for, when
// the paste has had its chance to reach the text.
static volatile sig_atomic_t paste_held;

// What the terminal sent, read in blocks: a paste of a megabyte is not a
// million reads.
static struct {
    unsigned char block[1 << 16];
    size_t pos = 0, len = 0;
} terminal;

void set_input_source(byte_source s)
{
    source = s;
    queued_count = 0;
    ahead.clear();
    pending.clear();
    input_over = false;
    paste.open = paste.stalled = false;
    paste_held = 0;
}

void set_input_end_handler(end_handler h)
{
    on_end = h;
}

bool holding_paste()
{
    return paste_held != 0;
}

// Waits up to timeout_ms (for ever when negative) for a byte; false when
// none came.
static bool wait_for_input(int timeout_ms)
{
    struct pollfd p = {0, POLLIN, 0};
    int ready;
    while ((ready = poll(&p, 1, timeout_ms)) < 0 && errno == EINTR) {
    }
    return ready != 0;
}

/*
 * Work that waits for the user to pause: done after a second without
 * input. A timer, armed when there is such work and not on every key,
 * interrupts the wait for a key; it finds either a second without input
 * since the last (the work is done) or a key since (it is armed for the
 * rest of the second). Typing costs no system call for it.
 */
static bool (*idle_due)();
static void (*idle_work)();
const long idle_ms = 1000;
static timer_t idle_timer;
static bool idle_timer_made, idle_timer_armed;
static volatile sig_atomic_t idle_timer_rang;
static struct timespec last_input;  // when the terminal last sent something

void set_idle_work(bool (*due)(), void (*work)())
{
    idle_due = due;
    idle_work = work;
    if (due && !idle_timer_made) {
        struct sigevent ev = {};
        ev.sigev_notify = SIGEV_SIGNAL;
        ev.sigev_signo = SIGALRM;
        idle_timer_made = timer_create(CLOCK_MONOTONIC, &ev, &idle_timer) == 0;
    }
}

void note_idle_timer()
{
    idle_timer_rang = 1;
}

static long ms_since_input()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return (now.tv_sec - last_input.tv_sec) * 1000 + (now.tv_nsec - last_input.tv_nsec) / 1000000;
}

static void arm_idle_timer(long ms)
{
    struct itimerspec when = {};
    when.it_value.tv_sec = ms / 1000;
    when.it_value.tv_nsec = (ms % 1000) * 1000000 + 1;
    idle_timer_armed = timer_settime(idle_timer, 0, &when, nullptr) == 0;
}

// Before a wait for ever, and when the timer rang: the work, when its
// second has passed, else the timer set for the rest of it.
static void look_at_idle_work()
{
    if (idle_timer_rang) {
        idle_timer_rang = 0;
        idle_timer_armed = false;
    }
    if (!idle_timer_made || !idle_due || !idle_due() || idle_timer_armed)
        return;
    long quiet = ms_since_input();
    if (quiet >= idle_ms)
        idle_work();
    else
        arm_idle_timer(idle_ms - quiet);
}

/*
 * The next byte from the terminal; no_byte when none came within
 * timeout_ms, input_end at the end of the input, and resize_byte when a
 * wait for ever was woken by a resize.
 */
static int read_terminal_byte(int timeout_ms)
{
    if (terminal.pos < terminal.len)
        return terminal.block[terminal.pos++];
    if (timeout_ms >= 0 && !wait_for_input(timeout_ms))
        return no_byte;
    for (;;) {
        if (timeout_ms < 0)
            look_at_idle_work();
        ssize_t got = read(0, terminal.block, sizeof terminal.block);
        if (got > 0) {
            terminal.pos = 1;
            terminal.len = size_t(got);
            clock_gettime(CLOCK_MONOTONIC_COARSE, &last_input);
            return terminal.block[0];
        }
        if (got < 0 && errno == EINTR && terminal_resized && timeout_ms < 0)
            return resize_byte;
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && errno == EAGAIN) {   // a terminal left non-blocking
            wait_for_input(-1);
            continue;
        }
        return input_end;
    }
}

/*
 * A byte of a paste from the terminal, as read_terminal_byte gives it, or
 * signal_byte when a signal that ends the run waits. Any wait goes in
 * slices of a second, so that a signal landing just before one is not
 * missed for long, and a resize wakes it.
 */
static int read_terminal_paste_byte(int timeout_ms)
{
    if (terminal.pos < terminal.len)
        return terminal.block[terminal.pos++];
    struct pollfd p = {0, POLLIN, 0};
    for (int left = timeout_ms;;) {
        if (deferred_signal)
            return signal_byte;
        int slice = left < 0 || left > paste_stall_ms ? paste_stall_ms : left;
        int ready = poll(&p, 1, slice);
        if (ready > 0 || (ready < 0 && errno != EINTR))
            return read_terminal_byte(-1);
        if (ready < 0 && terminal_resized)
            return resize_byte;
        if (ready == 0 && left >= 0 && (left -= slice) <= 0)
            return no_byte;
    }
}

// The end of the input ends the run and does not come back.
static void end_of_input()
{
    if (on_end)
        on_end();
    std::exit(0);
}

static int fresh_byte(int timeout_ms)
{
    int b = source ? source(timeout_ms) : read_terminal_byte(timeout_ms);
    if (b == resize_byte) {
        terminal_resized = 1;
        return timeout_ms < 0 ? resize_byte : no_byte;
    }
    if (b == input_end)
        end_of_input();
    return b;
}

// A byte read ahead; no_byte at a pause when timeout_ms allows no wait,
// and none_ahead when they have run out.
const int none_ahead = -5;
static int ahead_byte(int timeout_ms)
{
    while (!ahead.empty()) {
        int b = ahead.front();
        ahead.pop_front();
        if (b != no_byte || timeout_ms >= 0)
            return b;           // a pause is what a lone ESC is told by
    }
    return none_ahead;
}

// The next byte; no_byte after timeout_ms without one.
static int next_byte(int timeout_ms)
{
    int b = ahead_byte(timeout_ms);
    return b != none_ahead ? b : fresh_byte(timeout_ms);
}

static void queue_key(int key)
{
    queued[queued_count++] = key;
}

static void begin_paste()
{
    paste.bytes.clear();
    paste.lost = false;
    paste.open = true;
    paste.stalled = false;
    paste_held = 1;
}

static size_t parse_pending(bool paused, parsed_key* k)
{
    return parse_key(reinterpret_cast<const unsigned char*>(pending.data()), pending.size(), paused, k,
                     keyboard_protocol_on());
}

/*
 * The terminal's answer about a mode it was asked of at set-up (DECRPM):
 * 1 set or 2 reset, both a mode it knows. Synchronized output (2026) then
 * wraps each frame; clusters drawn as one (2027) are turned on in a UTF-8
 * text and the screen drawn again in their widths.
 */
static void take_mode_report(int mode, int setting)
{
    if (setting != 1 && setting != 2)
        return;
    if (mode == 2026) {
        use_synchronized_output();
    } else if (mode == 2027 && utf8_text && !grapheme_width_mode) {
        set_grapheme_width_mode(true);
        queue_key(key_redraw);
    }
}

/*
 * Reads until the bytes make a key, no key or a paste's start, waiting up
 * to 50 ms for each further byte of a sequence, and queues what they make.
 */
static void decode_bytes()
{
    parsed_key k;
    size_t used;
    while ((used = parse_pending(false, &k)) == 0) {
        int b = next_byte(pending.empty() ? -1 : escape_wait_ms);
        if (b == resize_byte) {
            terminal_resized = 0;
            queue_key(key_resize);
            return;
        }
        if (b < 0) {            // nothing more came: the bytes there are decide
            used = parse_pending(true, &k);
            break;
        }
        pending.push_back(char(b));
    }
    pending.erase(0, used);
    if (k.after_escape)
        queue_key(key_escape);
    switch (k.kind) {
    case key_kind::byte: queue_key(k.value); break;
    case key_kind::extended: queue_key(0); queue_key(k.value); break;
    case key_kind::paste_start: begin_paste(); break;
    case key_kind::keyboard_flags: use_keyboard_protocol(); break;
    case key_kind::mode_report: take_mode_report(k.value, k.sequence.params[1]); break;
    case key_kind::focus_in: queue_key(key_focus_in); break;
    case key_kind::none: break;
    }
}

/*
 * The next byte of a paste: what followed its start marker first. Pauses
 * count here, as the wait for a stalled paste.
 */
static int paste_byte(int timeout_ms)
{
    if (!pending.empty()) {
        int b = static_cast<unsigned char>(pending[0]);
        pending.erase(0, 1);
        return b;
    }
    int b = ahead_byte(timeout_ms);
    if (b != none_ahead)
        return b;
    if (deferred_signal)
        return signal_byte;
    b = source ? source(timeout_ms) : read_terminal_paste_byte(timeout_ms);
    if (b == resize_byte)
        terminal_resized = 1;
    return b;
}

/*
 * A paste larger than memory allows is read on to its end, so that none
 * of it turns into keys, but only its last bytes are kept, to find the end
 * marker among them.
 */
static void keep_paste_bytes(const char* p, size_t n)
{
    try {
        paste.bytes.append(p, n);
    } catch (const std::bad_alloc&) {
        std::string().swap(paste.bytes);
        paste.lost = true;
        paste.bytes.append(p + (n > 8 ? n - 8 : 0), n > 8 ? 8 : n);
    }
    if (paste.lost && paste.bytes.size() > 8)
        paste.bytes.erase(0, paste.bytes.size() - 8);
}

static void keep_paste_byte(char b)
{
    keep_paste_bytes(&b, 1);
}

/*
 * The bulk of a paste needs no look: what the terminal sent, up to the
 * next ESC or '~' (where the end marker may begin or end), is taken whole.
 * False when there is no such stretch at hand.
 */
static bool took_plain_paste_bytes()
{
    if (source || !pending.empty() || !ahead.empty() || deferred_signal || terminal.pos >= terminal.len)
        return false;
    const unsigned char* from = terminal.block + terminal.pos;
    size_t n = terminal.len - terminal.pos;
    const void* esc = std::memchr(from, 0x1b, n);
    if (esc)
        n = size_t(static_cast<const unsigned char*>(esc) - from);
    const void* tilde = std::memchr(from, '~', n);
    if (tilde)
        n = size_t(static_cast<const unsigned char*>(tilde) - from);
    if (n == 0)
        return false;
    keep_paste_bytes(reinterpret_cast<const char*>(from), n);
    terminal.pos += n;
    return true;
}

// Takes the end marker off the paste when its last byte has just come.
static bool took_end_marker()
{
    static const std::string end_marker = "\x1b[201~";
    std::string& s = paste.bytes;
    if (s.size() < end_marker.size() || s.back() != '~' ||
        s.compare(s.size() - end_marker.size(), end_marker.size(), end_marker) != 0)
        return false;
    s.resize(s.size() - end_marker.size());
    return true;
}

/*
 * After an ESC in a stalled paste: true when it is the Esc key, a lone
 * ESC or, under the keyboard protocol, ESC [ 27 u. Otherwise the ESC and
 * what was read of that sequence are kept as the paste's, and next is
 * the byte after them, not yet looked at.
 */
static bool escape_ends_paste(int* next)
{
    std::string seen = "\x1b";
    *next = paste_byte(escape_wait_ms);
    if (*next == no_byte)
        return true;
    if (keyboard_protocol_on()) {
        for (const char* rest = "[27u"; *next == *rest; rest++) {
            if (!rest[1])
                return true;
            seen.push_back(*rest);
            *next = paste_byte(escape_wait_ms);
        }
    }
    for (char c : seen)
        keep_paste_byte(c);
    return false;
}

/*
 * Reads on in the paste, byte for byte as it comes: nothing inside is
 * decoded. It ends at its end marker, at the Esc key once it has stalled,
 * at the end of the input or at a signal that ends the run, and is then
 * queued as key_paste. A second without a byte queues key_paste_stalled
 * (once), a resize returns to say so; the paste goes on after either.
 */
static void read_paste()
{
    int next = no_byte;         // the byte after an ESC, not yet looked at
    for (;;) {
        if (next == no_byte && took_plain_paste_bytes())
            continue;
        int b = next != no_byte ? next : paste_byte(paste.stalled ? -1 : paste_stall_ms);
        next = no_byte;
        if (b == no_byte) {
            paste.stalled = true;
            queue_key(key_paste_stalled);
            return;
        }
        if (b == resize_byte)
            return;
        if (b == input_end || b == signal_byte) {
            input_over = true;
            break;
        }
        if (b == key_escape && paste.stalled) {
            if (escape_ends_paste(&next))
                break;
            continue;           // kept: no end marker ends in an ESC or [27
        }
        keep_paste_byte(char(b));
        if (took_end_marker())
            break;
    }
    paste.open = false;
    if (paste.lost)
        paste.bytes.clear();
    queue_key(key_paste);
}

const std::string& pasted_bytes()
{
    return paste.bytes;
}

std::string& paste_to_take()
{
    return paste.bytes;
}

bool paste_too_large()
{
    return paste.lost;
}

static void decode_key()
{
    setup_terminal();
    flush_output();
    if (input_over)
        end_of_input();
    if (terminal_resized) {
        terminal_resized = 0;
        queue_key(key_resize);
    } else if (paste.open) {
        read_paste();
    } else {
        decode_bytes();
    }
}

/*
 * Once the key after a paste is asked for, or a long command looks at the
 * input, the paste has had its chance to reach the text: a signal that
 * waited for it ends the run now.
 */
static void let_paste_go()
{
    if (!paste_held || paste.open)
        return;
    paste_held = 0;
    if (deferred_signal && !store_busy && end_deferred)
        end_deferred(deferred_signal);
}

/*
 * How many of the last bytes looked at make a ^C: the byte itself, or
 * under the keyboard protocol its sequence (ESC [ 99 ; 5 u); 0 for none.
 */
static size_t interrupt_length(const std::string& recent)
{
    if (recent.back() == key_ctrl_c) {
        // after ^Q (an odd number of them) it is a ^C to put in the text
        size_t quotes = 0;
        for (size_t i = recent.size() - 1; i-- > 0 && recent[i] == key_ctrl_q;)
            quotes++;
        return quotes % 2 ? 0 : 1;
    }
    size_t start = recent.rfind("\x1b[");
    if (!keyboard_protocol_on() || recent.back() != 'u' || start == std::string::npos)
        return 0;
    parsed_key k;
    size_t length = recent.size() - start;
    size_t used = parse_key(reinterpret_cast<const unsigned char*>(recent.data() + start), length,
                            false, &k, true);
    bool ctrl_c = k.kind == key_kind::byte && k.value == key_ctrl_c && !k.after_escape;
    return used == length && ctrl_c ? length : 0;
}

/*
 * Takes in what has been typed without waiting, at most every few
 * milliseconds; true when it holds a ^C, which is dropped. Everything
 * else stays, in order, for the keys that follow.
 */
bool interrupt_typed()
{
    static struct timespec last;
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    long ms = (now.tv_sec - last.tv_sec) * 1000 + (now.tv_nsec - last.tv_nsec) / 1000000;
    if (ms >= 0 && ms < 5)
        return false;
    last = now;
    let_paste_go();
    static std::string recent;  // the last bytes looked at: inside a paste ^C is text
    static bool in_paste;
    if (ahead.empty()) {        // what it saw has been read, a paste ended or not
        recent.clear();
        in_paste = false;
    }
    bool interrupt = false;
    for (int b; (b = fresh_byte(0)) >= 0;) {
        recent = recent.substr(recent.size() > 15 ? recent.size() - 15 : 0) + char(b);
        if (recent.ends_with("\x1b[200~"))
            in_paste = true;
        else if (recent.ends_with("\x1b[201~"))
            in_paste = false;
        size_t length = interrupt || in_paste ? 0 : interrupt_length(recent);
        interrupt = interrupt || length > 0;
        if (length == 0)
            ahead.push_back(b);
        for (size_t i = 1; i < length && !ahead.empty(); i++)
            ahead.pop_back();   // the rest of the ^C's sequence
    }
    if (source && (ahead.empty() || ahead.back() != no_byte))
        ahead.push_back(no_byte);   // a test's queue paused here
    return interrupt;
}

int get_console_key()
{
    let_paste_go();
    while (queued_count == 0)
        decode_key();
    int key = queued[0];
    for (int i = 1; i < queued_count; i++)
        queued[i - 1] = queued[i];
    queued_count--;
    return key;
}
