/*
 * Reading a file into the text. The text after the insertion point moves
 * up once, by the size of the file, and the lines are read into the room
 * this leaves; a file that turns out longer widens the room as it goes.
 * What room is left over is closed at the end.
 */
#include "store/files.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "store/identity.h"
#include "store/journal.h"
#include "store/store.h"

static progress_hook progress;

void set_progress_hook(progress_hook hook)
{
    progress = hook;
}

bool tell_progress(size_t done, size_t total)
{
    return !progress || progress(done, total);
}

// The file being read, taken in large blocks.
static struct {
    int fd = -1;
    byte block[1 << 16];
    size_t pos = 0, len = 0;
    size_t read = 0, size = 0;  // bytes read so far, of the size the file said
    off_t start = 0;            // where the bytes begin in the file
    size_t limit = 0;           // bytes that may be read in all
    size_t remaining = 0;       // bytes that may still be read
    content_hash hash;          // of the bytes read
    bool at_end = false;
    bool stopped = false;       // the user asked to stop
    int error = 0;              // errno of a failed read
    bool nul_bytes = false;
    long lf_lines = 0, crlf_lines = 0;
    bool keep_line_ends = false;    // a text opened: which lines end in CR LF
    std::vector<size_t> crlf_at;    // their NULs, once an LF line has come too
} input;

static byte* load_point;   // where the next line read goes
static byte* room_end;     // end of the free room at load_point: the text after it
static size_t tail_length; // the length of that text
static byte* insert_at;    // where the load began, as the text then stood
static byte* load_start;   // where the first line read went, as the text now stands
static size_t line_length; // what is stored at load_point of the line being read
static bool line_had_lf;   // the line just read ended with a LF

/*
 * Makes more room for a file longer than it said: the text after the room
 * moves up by as much room as has been filled (so a growing file costs a
 * few moves, not one per line), as far as the store's top, then the text
 * before it goes to the bottom. False when there is no more room to give.
 */
static bool widen_room()
{
    byte* top = store_top() - tail_length;
    if (room_end < top) {
        size_t grow = std::max<size_t>(size_t(room_end - load_start), 1 << 16);
        byte* end = room_end + std::min(grow, size_t(top - room_end));
        if (!make_writable(room_end, end + tail_length) &&
            !make_writable(room_end, (end = room_end + std::min<size_t>(1 << 12, size_t(top - room_end))) +
                                         tail_length))
            return false;
        move_bytes(end, room_end, tail_length);
        room_end = end;
        return true;
    }
    long delta = store_bottom() - text_begin;
    if (delta == 0 || !make_writable(store_bottom() - 2, text_begin))
        return false;
    move_bytes(store_bottom(), text_begin, size_t(load_point - text_begin) + line_length);
    shift_positions(text_begin, insert_at, delta);
    text_begin += delta;
    load_point += delta;
    load_start += delta;
    insert_at += delta;
    text_begin[-1] = text_begin[-2] = 0;
    return true;
}

// Reads up to n of the bytes still to come.
static ssize_t read_from_file(byte* p, size_t n)
{
    ssize_t got = read(input.fd, p, std::min(n, input.remaining));
    if (got > 0)
        input.remaining -= size_t(got);
    return got;
}

// Counts what was read; false when the user has asked to stop.
static bool count_read(const byte* p, size_t n)
{
    input.hash.add(p, n);
    input.read += n;
    if (!tell_progress(input.read, std::max(input.size, input.read)))
        input.stopped = true;
    return !input.stopped;
}

static bool fill_input()
{
    if (input.at_end || input.stopped)
        return false;
    for (;;) {
        ssize_t got = read_from_file(input.block, sizeof input.block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {         // a read error ends the load like the end, but is kept
            if (got < 0)
                input.error = errno;
            input.at_end = true;
            return false;
        }
        input.pos = 0;
        input.len = size_t(got);
        return count_read(input.block, size_t(got));
    }
}

/*
 * Copies the next line of the input to load_point, without its LF, keeping
 * its length in line_length as it goes. A NUL byte ends the line's text;
 * the bytes after it up to the LF are dropped (and the load says so).
 * Returns the length stored, -1 at the end of the input, or -2 when the
 * line does not fit in the store.
 */
static long get_line()
{
    line_length = 0;
    line_had_lf = false;
    bool seen_nul = false, any = false;
    for (;;) {
        if (input.pos == input.len && !fill_input())
            return any && !input.stopped ? long(line_length) : -1;
        any = true;
        byte* from = input.block + input.pos;
        size_t avail = input.len - input.pos;
        byte* lf = static_cast<byte*>(std::memchr(from, '\n', avail));
        size_t take = lf ? size_t(lf - from) : avail;
        input.pos += lf ? take + 1 : take;
        if (!seen_nul) {
            byte* nul = static_cast<byte*>(std::memchr(from, 0, take));
            size_t keep = nul ? size_t(nul - from) : take;
            seen_nul = nul != nullptr;
            while (keep > size_t(room_end - load_point) - line_length)
                if (!widen_room())
                    return -2;
            std::memcpy(load_point + line_length, from, keep);
            line_length += keep;
        }
        if (seen_nul)
            input.nul_bytes = true;
        if (lf) {
            line_had_lf = true;
            return long(line_length);
        }
    }
}

/*
 * A text being opened keeps which of its lines end in CR LF. While every
 * line so far has, nothing is listed (all CR LF is the common case, and
 * needs no list); the first LF line lists the NULs before it.
 */
static void note_line_end(bool cr, byte* nul)
{
    if (!input.keep_line_ends)
        return;
    bool listing = input.lf_lines > input.crlf_lines;
    if (cr && listing) {
        input.crlf_at.push_back(size_t(nul - load_start));
    } else if (!cr && !listing && input.crlf_lines > 0) {
        for (byte* p = load_start; p < nul; p++)
            if (*p == 0)
                input.crlf_at.push_back(size_t(p - load_start));
    }
}

/*
 * Reads one line into the room at load_point. Returns the bytes inserted
 * (the line and its NUL), 0 at the end of the file, -1 when it did not fit.
 */
static long read_line()
{
    long n = get_line();
    if (n == -1)
        return 0;
    bool cr = false;
    if (n >= 0) {
        cr = n > 0 && load_point[n - 1] == '\r';
        if (cr)
            n--;
        n++;
    }
    if (n >= 0 && load_point + n > room_end)
        widen_room();
    if (n < 0 || load_point + n > room_end)
        return -1;
    load_point[n - 1] = 0;
    if (line_had_lf) {
        note_line_end(cr, load_point + n - 1);
        input.lf_lines++;
        input.crlf_lines += cr;
    }
    load_point += n;
    return n;
}

// Opens path for a load: only a regular file, and never waiting on one
// that is not (a FIFO without a writer would block the open).
static int open_for_load(const char* path, file_result& r)
{
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        r.status = errno == EACCES || errno == EPERM ? file_status::unreadable : file_status::missing;
        r.error = errno;
        return -1;
    }
    struct stat st = {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        r.status = S_ISDIR(st.st_mode) ? file_status::directory : file_status::not_regular;
        close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// Reads up to n bytes at p; returns how many came, or -1 on an error.
static long read_fully(byte* p, size_t n)
{
    size_t got = 0;
    while (got < n) {
        ssize_t r = read_from_file(p + got, n - got);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return -1;
        if (r == 0)
            break;
        got += size_t(r);
    }
    return long(got);
}

/*
 * Copies the n bytes at from to to, each LF turned into a NUL; false when
 * they hold a CR or a NUL, which the line by line load deals with (to is
 * then partly written). Sixteen bytes at a time where the machine has the
 * instructions.
 */
static bool turn_line_ends(byte* to, const byte* from, size_t n)
{
    size_t i = 0;
#ifdef __SSE2__
    const __m128i lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r'), zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
        __m128i odd = _mm_or_si128(_mm_cmpeq_epi8(x, cr), _mm_cmpeq_epi8(x, zero));
        if (_mm_movemask_epi8(odd))
            return false;
        x = _mm_andnot_si128(_mm_cmpeq_epi8(x, lf), x);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), x);
    }
#endif
    for (; i < n; i++) {
        if (from[i] == '\r' || from[i] == 0)
            return false;
        to[i] = from[i] == '\n' ? 0 : from[i];
    }
    return true;
}

// Back at the first byte, as nothing had been read.
static void start_input_again()
{
    lseek(input.fd, input.start, SEEK_SET);
    input.remaining = input.limit;
    input.read = 0;
    input.hash = content_hash();
}

/*
 * The common file at memory speed: read a piece at a time into a small
 * buffer, each piece copied into the room with its line ends turned into
 * NULs. The buffer stays in the cache, and the room's pages are written
 * once, by the editor, not first by the system's copy and then again.
 * Only a file of exactly the size it said, with no CR and no NUL, goes
 * this way; false, with the file back at its start, sends any other to the
 * line by line load (and one the user stopped to no load at all).
 */
static bool load_whole(byte* pos, off_t size)
{
    size_t n = size_t(size), got = 0;
    byte piece[1 << 16];
    bool plain = true;
    while (plain && got < n) {
        size_t want = std::min(sizeof piece, n - got);
        plain = read_fully(piece, want) == long(want) && turn_line_ends(pos + got, piece, want);
        got += want;
        plain = plain && count_read(piece, want);
    }
    if (!plain || read_fully(piece, 1) != 0) {
        start_input_again();
        return false;
    }
    load_point = pos + n;
    if (pos[n - 1] != 0)
        *load_point++ = 0;      // the last line had no LF
    return true;
}

static void start_input(int fd, off_t start, off_t size, size_t limit, bool keep_line_ends)
{
    input.fd = fd;
    input.pos = input.len = 0;
    input.read = 0;
    input.size = size_t(size);
    input.start = start;
    input.limit = input.remaining = limit;
    input.hash = content_hash();
    input.at_end = input.stopped = false;
    input.error = 0;
    input.nul_bytes = false;
    input.lf_lines = input.crlf_lines = 0;
    input.keep_line_ends = keep_line_ends;
    input.crlf_at.clear();
}

/*
 * The room for the file at pos: the text after pos moves up by the size
 * the file says, and a NUL for a last line without a LF. Returns false
 * when the text cannot grow at all.
 */
static bool open_load_room(byte* pos, off_t size)
{
    size_t want = size_t(size) + 1;
    long offset = pos - text_begin;
    if (size_t(store_top() - text_end) < want)
        slide_text_to(store_bottom());
    insert_at = pos = text_begin + offset;
    tail_length = size_t(text_end - pos);
    size_t room = std::min(want, size_t(store_top() - text_end));
    if (!expect_bulk_write(pos, text_end + room))
        room = 0;
    if (!make_writable(pos, text_end + room))
        return false;
    room_end = pos + room;
    move_bytes(room_end, pos, tail_length);
    load_point = load_start = pos;
    return true;
}

// Reads every line into the room at pos; returns the last read_line result.
static long read_lines(byte* pos, off_t size)
{
    if (!open_load_room(pos, size))
        return -1;
    long result = 0;
    bool whole = size > 0 && room_end == load_start + size + 1;
    if (!whole || !load_whole(load_start, size)) {
        load_point = load_start;
        while ((result = read_line()) > 0) {
        }
    }
    input.fd = -1;
    return input.stopped ? -1 : result;
}

/*
 * Closes the room that is left, or all of it when the load is given up:
 * the text after it comes back down.
 */
static size_t close_load_room(bool keep)
{
    if (!keep)
        load_point = load_start;
    move_bytes(load_point, room_end, tail_length);
    shift_positions(insert_at + 1, text_end, load_point - insert_at);
    text_end = load_point + tail_length;
    return size_t(load_point - load_start);
}

static void report_input(file_result& r, long result)
{
    r.nul_bytes = input.nul_bytes;
    r.crlf = input.lf_lines > 0 && input.crlf_lines == input.lf_lines;
    if (input.stopped) {
        r.status = file_status::stopped;
    } else if (result < 0) {
        r.status = file_status::overflow;
    } else if (input.error) {
        r.status = file_status::unreadable;
        r.error = input.error;
    }
}

/*
 * Reads the bytes of fd from start (size of them expected, limit at most)
 * into the text at pos, as a file of them would be read.
 */
static void load_from(int fd, off_t start, off_t size, size_t limit, byte* pos, load_mode mode, file_result& r)
{
    change_scope change;
    keep_line_number_below(pos);
    size_t offset = size_t(pos - text_begin);
    journal_before_change(placeholder_line(), crlf_line_ends());
    start_input(fd, start, size, limit, mode == load_mode::open);
    long result = read_lines(pos, size);
    report_input(r, result);
    // a Get is whole or nothing; a text opened keeps what could be read
    size_t loaded = close_load_room(r.status == file_status::done || mode == load_mode::open);
    note_loaded(offset, loaded);
    if (mode == load_mode::open && !r.crlf && input.crlf_lines > 0)
        set_crlf_line_ends(std::move(input.crlf_at));
}

file_result load_file(const char* path, byte* pos, load_mode mode)
{
    file_result r;
    int fd = open_for_load(path, r);
    if (fd < 0)
        return r;
    struct stat st;
    off_t size = fstat(fd, &st) == 0 ? st.st_size : 0;
    load_from(fd, 0, size, SIZE_MAX, pos, mode, r);
    close(fd);
    r.identity = identify_file(path, false);
    if (r.status == file_status::done) {
        r.identity.hash = input.hash.value();
        r.identity.hashed = true;
    }
    return r;
}

file_result load_region(int fd, off_t start, off_t size, byte* pos)
{
    file_result r;
    lseek(fd, start, SEEK_SET);
    load_from(fd, start, size, size_t(size), pos, load_mode::open, r);
    return r;
}
