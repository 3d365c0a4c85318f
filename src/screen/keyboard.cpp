/*
 * Turns what the terminal sends into key values: a byte per character key,
 * or 0 and a scan code for an extended key. Escape sequences follow the
 * ECMA-48 grammar (parameter bytes 0x30-0x3F, intermediates 0x20-0x2F, a
 * final byte 0x40-0x7E) so that an unknown one is consumed whole; a lone
 * ESC is told from the start of a sequence by waiting 50 ms for more.
 */
#include "screen/keyboard.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <poll.h>
#include <unistd.h>

#include "screen/console.h"

static byte_source source;
static end_handler on_end;
static int queued[4];           // keys decoded but not yet returned
static int queued_count;
// Bytes read ahead of the decoder, in order: one that starts the next key
// after a sequence cut short, and what arrived while a command repeated.
// A pause of the input is kept among them as no_byte.
static std::deque<int> ahead;
const int no_byte = -1;

void set_input_source(byte_source s)
{
    source = s;
    queued_count = 0;
    ahead.clear();
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

static int read_terminal_byte(int timeout_ms)
{
    if (timeout_ms >= 0 && !wait_for_input(timeout_ms))
        return -1;
    unsigned char b;
    for (;;) {
        ssize_t got = read(0, &b, 1);
        if (got == 1)
            return b;
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
static int fresh_byte(int timeout_ms)
{
    int b = source ? source(timeout_ms) : read_terminal_byte(timeout_ms);
    if (b == -2) {
        if (on_end)
            on_end();
        std::exit(0);
    }
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
    case 'A': return 72;
    case 'B': return 80;
    case 'C': return 77;
    case 'D': return 75;
    case 'H': return 71;
    case 'F': return 79;
    case 'P': return 59;
    case 'Q': return 60;
    case 'R': return 61;
    case 'S': return 62;
    default: return 0;
    }
}

// The scan code for CSI number ~.
static int tilde_scan_code(int number)
{
    switch (number) {
    case 1: case 7: return 71;
    case 4: case 8: return 79;
    case 5: return 73;
    case 6: return 81;
    case 2: return 82;
    case 3: return 83;
    case 11: case 12: case 13: case 14: case 15: return 59 + number - 11;
    case 17: case 18: case 19: case 20: case 21: return 64 + number - 17;
    case 23: return 133;
    case 24: return 134;
    default: return 0;
    }
}

/*
 * Reads the rest of a CSI or SS3 sequence and queues the key it stands
 * for, if any. A sequence cut short is dropped.
 */
static void decode_sequence(bool csi)
{
    int params[2] = {0, 0}, count = 0;
    bool odd = false;           // private markers or intermediates
    int b = next_byte(50);
    if (csi && b == '[') {      // the Linux console's F1-F5: ESC [ [ A..E
        b = next_byte(50);
        if (b >= 'A' && b <= 'E') {
            queue_key(0);
            queue_key(59 + b - 'A');
        } else {
            push_back(b);       // a key typed after a cut sequence is kept
        }
        return;
    }
    for (; b >= 0x30 && b <= 0x3F; b = next_byte(50)) {
        if (b >= '0' && b <= '9') {
            if (count < 2 && params[count] < 10000)
                params[count] = params[count] * 10 + (b - '0');
        } else if (b == ';') {
            count++;
        } else {
            odd = true;
        }
    }
    for (; b >= 0x20 && b <= 0x2F; b = next_byte(50))
        odd = true;
    if (b < 0x40 || b > 0x7E) {
        push_back(b);
        return;
    }
    int modifier = count >= 1 ? params[1] : 0;
    if (odd || modifier > 2)
        return;
    int scan = b == '~' ? (csi ? tilde_scan_code(params[0]) : 0) : letter_scan_code(b);
    if (!csi && (b == 'P' || b == 'Q' || b == 'R' || b == 'S'))
        scan = letter_scan_code(b);
    else if (csi && b >= 'P' && b <= 'S' && count == 0)
        scan = 0;               // only the shifted F1-F4 come as CSI 1 ; 2 P..S
    if (scan) {
        queue_key(0);
        queue_key(scan);
    }
}

static void decode_key()
{
    setup_terminal();
    flush_output();
    int b = next_byte(-1);
    if (b == 127) {
        queue_key(8);
    } else if (b == 0) {
        // ^@ is no key: on a terminal an extended key comes only from a
        // sequence, so 0 (and 0xE0, which is text) never acts as its prefix
    } else if (b != 27) {
        queue_key(b);
    } else {
        int c = next_byte(50);
        if (c == '[' || c == 'O') {
            decode_sequence(c == '[');
        } else {
            queue_key(27);
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
    bool interrupt = false;
    for (int b; (b = fresh_byte(0)) >= 0;) {
        if (b == 3 && !interrupt)
            interrupt = true;
        else
            ahead.push_back(b);
    }
    if (source)
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
