/*
 * Turns what the terminal sends into key values: a byte per character key,
 * or 0 and a scan code for an extended key. Escape sequences follow the
 * ECMA-48 grammar (parameter bytes 0x30-0x3F, intermediates 0x20-0x2F, a
 * final byte 0x40-0x7E) so that an unknown one is consumed whole; a lone
 * ESC is told from the start of a sequence by waiting 50 ms for more.
 * A bracketed paste (ESC [ 200 ~ ... ESC [ 201 ~) is handed on whole as
 * key_paste, its bytes never decoded; a resize of the terminal, which
 * wakes a wait, as key_resize.
 */
#include "screen/keyboard.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <poll.h>
#include <string>
#include <unistd.h>

#include "screen/console.h"
#include "state/state.h"

static byte_source source;
static end_handler on_end;
static int queued[4];           // keys decoded but not yet returned
static int queued_count;
// Bytes read ahead of the decoder, in order: one that starts the next key
// after a sequence cut short, and what arrived while a command repeated.
// A pause of the input is kept among them as no_byte.
static std::deque<int> ahead;
const int no_byte = -1;
const int resize_byte = -3;     // from a test's source: the terminal was resized
static std::string paste;       // the bytes of the last paste
static bool input_over;         // the input ended inside a paste

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
    input_over = false;
}

void set_input_end_handler(end_handler h)
{
    on_end = h;
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
 * The next byte from the terminal; -1 when none came within timeout_ms,
 * -2 at the end of the input, and resize_byte when a wait for ever was
 * woken by a resize.
 */
static int read_terminal_byte(int timeout_ms)
{
    if (terminal.pos < terminal.len)
        return terminal.block[terminal.pos++];
    if (timeout_ms >= 0 && !wait_for_input(timeout_ms))
        return -1;
    for (;;) {
        ssize_t got = read(0, terminal.block, sizeof terminal.block);
        if (got > 0) {
            terminal.pos = 1;
            terminal.len = size_t(got);
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
        return -2;
    }
}

// The next byte; -1 after timeout_ms without one. The end of the input
// ends the run and does not come back.
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
        return timeout_ms < 0 ? resize_byte : -1;
    }
    if (b == -2)
        end_of_input();
    return b;
}

static int next_byte(int timeout_ms)
{
    while (!ahead.empty()) {
        int b = ahead.front();
        ahead.pop_front();
        if (b != no_byte)
            return b;
        if (timeout_ms >= 0)
            return -1;          // the pause a lone ESC is told by
    }
    return fresh_byte(timeout_ms);
}

static void push_back(int b)
{
    if (b >= 0)
        ahead.push_front(b);
}

static void queue_key(int key)
{
    queued[queued_count++] = key;
}

// The scan code for a final byte of CSI or SS3 without a number.
static int letter_scan_code(int final)
{
    switch (final) {
    case 'A': return scan_up;
    case 'B': return scan_down;
    case 'C': return scan_right;
    case 'D': return scan_left;
    case 'H': return scan_home;
    case 'F': return scan_end;
    case 'P': return scan_f1;
    case 'Q': return scan_f1 + 1;
    case 'R': return scan_f1 + 2;
    case 'S': return scan_f1 + 3;
    default: return 0;
    }
}

// The scan code for CSI number ~.
static int tilde_scan_code(int number)
{
    switch (number) {
    case 1: case 7: return scan_home;
    case 4: case 8: return scan_end;
    case 5: return scan_page_up;
    case 6: return scan_page_down;
    case 2: return scan_insert;
    case 3: return scan_delete;
    case 11: case 12: case 13: case 14: case 15: return scan_f1 + number - 11;    // F1-F5
    case 17: case 18: case 19: case 20: case 21: return scan_f1 + 5 + number - 17; // F6-F10
    case 23: return scan_f11;
    case 24: return scan_f12;
    default: return 0;
    }
}

// A CSI or SS3 sequence as read: its first two numbers and its final byte.
struct sequence {
    int params[2] = {0, 0};
    int count = 0;              // the ';' seen
    bool odd = false;           // private markers or intermediates
    int final = -1;             // -1: cut short
};

// Reads the parameter and intermediate bytes and the final byte, by the
// ECMA-48 grammar, starting with b. A byte that is none of them ends the
// sequence cut short and is kept for the next key.
static sequence read_sequence(int b)
{
    sequence q;
    for (; b >= 0x30 && b <= 0x3F; b = next_byte(50)) {
        if (b >= '0' && b <= '9') {
            if (q.count < 2 && q.params[q.count] < 10000)
                q.params[q.count] = q.params[q.count] * 10 + (b - '0');
        } else if (b == ';') {
            q.count++;
        } else {
            q.odd = true;
        }
    }
    for (; b >= 0x20 && b <= 0x2F; b = next_byte(50))
        q.odd = true;
    if (b >= 0x40 && b <= 0x7E)
        q.final = b;
    else
        push_back(b);
    return q;
}

// The scan code a whole sequence stands for, or 0 for none: keys with
// modifiers other than Shift, replies and unknown keys.
static int sequence_scan_code(const sequence& q, bool csi)
{
    int b = q.final;
    if (q.odd || (q.count >= 1 && q.params[1] > 2))
        return 0;
    if (b == '~')
        return csi ? tilde_scan_code(q.params[0]) : 0;
    if (csi && b >= 'P' && b <= 'S' && q.count == 0)
        return 0;               // only the shifted F1-F4 come as CSI 1 ; 2 P..S
    return letter_scan_code(b);
}

static void queue_extended(int scan)
{
    queue_key(0);
    queue_key(scan);
}

/*
 * Reads a paste up to its end marker, byte for byte as it comes: nothing
 * inside is decoded. The end of the input ends the paste there (and then
 * the run, at the next key).
 */
static int paste_byte()
{
    while (!ahead.empty()) {
        int b = ahead.front();
        ahead.pop_front();
        if (b >= 0)
            return b;
    }
    int b = source ? source(-1) : read_terminal_byte(-1);
    if (b == resize_byte)
        terminal_resized = 1;
    return b;
}

static void read_paste()
{
    static const std::string end_marker = "\x1b[201~";
    paste.clear();
    for (;;) {
        int b = paste_byte();
        if (b == -2) {
            input_over = true;
            break;
        }
        if (b < 0)
            continue;           // a resize or a pause: the paste goes on
        paste.push_back(char(b));
        if (b == '~' && paste.size() >= end_marker.size() &&
            paste.compare(paste.size() - end_marker.size(), end_marker.size(), end_marker) == 0) {
            paste.resize(paste.size() - end_marker.size());
            break;
        }
    }
    queue_key(key_paste);
}

const std::string& pasted_bytes()
{
    return paste;
}

/*
 * Reads the rest of a CSI or SS3 sequence and queues the key it stands
 * for, if any. A sequence cut short is dropped.
 */
static void decode_sequence(bool csi)
{
    int b = next_byte(50);
    if (csi && b == '[') {      // the Linux console's F1-F5: ESC [ [ A..E
        b = next_byte(50);
        if (b >= 'A' && b <= 'E')
            queue_extended(scan_f1 + b - 'A');
        else
            push_back(b);       // a key typed after a cut sequence is kept
        return;
    }
    sequence q = read_sequence(b);
    if (csi && q.final == '~' && q.count == 0 && !q.odd && q.params[0] == 200) {
        read_paste();
        return;
    }
    int scan = q.final < 0 ? 0 : sequence_scan_code(q, csi);
    if (scan)
        queue_extended(scan);
}

static void decode_key()
{
    setup_terminal();
    flush_output();
    if (input_over)
        end_of_input();
    int b = terminal_resized ? resize_byte : next_byte(-1);
    if (b == resize_byte) {
        terminal_resized = 0;
        queue_key(key_resize);
    } else if (b == key_delete_byte) {
        queue_key(key_backspace);
    } else if (b == 0) {
        // ^@ is no key: on a terminal an extended key comes only from a
        // sequence, so 0 (and 0xE0, which is text) never acts as its prefix
    } else if (b != key_escape) {
        queue_key(b);
    } else {
        int c = next_byte(50);
        if (c == '[' || c == 'O') {
            decode_sequence(c == '[');
        } else {
            queue_key(key_escape);
            push_back(c);
        }
    }
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
    static std::string recent;  // the last bytes looked at: inside a paste ^C is text
    static bool in_paste;
    bool interrupt = false;
    for (int b; (b = fresh_byte(0)) >= 0;) {
        recent = recent.substr(recent.size() > 5 ? recent.size() - 5 : 0) + char(b);
        if (recent == "\x1b[200~")
            in_paste = true;
        else if (recent == "\x1b[201~")
            in_paste = false;
        if (b == key_ctrl_c && !interrupt && !in_paste)
            interrupt = true;
        else
            ahead.push_back(b);
    }
    if (source && (ahead.empty() || ahead.back() != no_byte))
        ahead.push_back(no_byte);   // a test's queue paused here
    return interrupt;
}

int get_console_key()
{
    while (queued_count == 0)
        decode_key();
    int key = queued[0];
    for (int i = 1; i < queued_count; i++)
        queued[i - 1] = queued[i];
    queued_count--;
    return key;
}
