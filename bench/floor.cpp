/*
 * The floor: the least a terminal program can cost per key in this
 * benchmark. It edits nothing and reads no file; it takes the terminal as
 * an editor does (raw mode, the alternate screen, bracketed paste), draws
 * a status row, and answers every read with one write of a reply the size
 * of a one-line scroll, until ^Q. Its CPU is what the pty read, the write
 * and the sleep between keys cost on this machine: no editor can go below
 * it, and a target under it cannot be met by any change to an editor.
 */
#include <cstring>
#include <termios.h>
#include <unistd.h>

namespace {

void put(const char* s)
{
    size_t n = strlen(s);
    while (n > 0) {
        ssize_t put = write(1, s, n);
        if (put <= 0)
            return;
        s += put;
        n -= size_t(put);
    }
}

} // namespace

int main()
{
    struct termios saved, raw;
    if (tcgetattr(0, &saved) != 0)
        return 1;
    raw = saved;
    cfmakeraw(&raw);
    tcsetattr(0, TCSADRAIN, &raw);
    put("\x1b[?1049h\x1b[?2004h\x1b[H\x1b[2J\x1b[2;60HLine 1    Col 1\x1b[3H");
    // a line scrolled in at the bottom, the status row, the cursor back
    const char* reply =
        "\x1b[3H\x1b[M\x1b[25Hquod erat demonstrandum, et cetera, ad infinitum, ceteris paribus"
        "\x1b[2;65H2    \x1b[24H";
    static char block[1 << 16];
    for (;;) {
        ssize_t got = read(0, block, sizeof block);
        if (got <= 0 || memchr(block, 'Q' & 0x1f, size_t(got)))
            break;
        put(reply);
    }
    put("\x1b[?2004l\x1b[?1049l");
    tcsetattr(0, TCSADRAIN, &saved);
    return 0;
}
