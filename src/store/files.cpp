#include "store/files.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "prompts/prompts.h"
#include "store/store.h"

// ---- reading ------------------------------------------------------------

// The file being read, taken in large blocks.
static struct {
    int fd = -1;
    byte block[1 << 16];
    size_t pos = 0, len = 0;
    bool at_end = false;
} input;

static byte* load_point;   // where the next line read goes
static byte* room_end;     // end of the free room at load_point: the text after it
static size_t tail_length; // the length of that text
static byte* insert_at;    // where the load began, as the text then stood
static size_t line_length; // what is stored at load_point of the line being read

/*
 * Makes more room for a file longer than it said: the text after the room
 * goes to the top of the store, then the text before it to the bottom.
 * Returns false when there is no more room to give.
 */
static bool widen_room()
{
    byte* top = store_top() - tail_length;
    if (room_end < top) {
        move_bytes(top, room_end, tail_length);
        room_end = top;
        return true;
    }
    long delta = store_bottom() - text_begin;
    if (delta == 0)
        return false;
    move_bytes(store_bottom(), text_begin, size_t(load_point - text_begin) + line_length);
    shift_positions(text_begin, insert_at, delta);
    text_begin += delta;
    load_point += delta;
    text_begin[-1] = text_begin[-2] = 0;
    return true;
}

static bool fill_input()
{
    if (input.at_end)
        return false;
    for (;;) {
        ssize_t got = read(input.fd, input.block, sizeof input.block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {         // a read error ends the load like the end
            input.at_end = true;
            return false;
        }
        input.pos = 0;
        input.len = size_t(got);
        return true;
    }
}

/*
 * Copies the next line of the input to load_point, without its LF, keeping
 * its length in line_length as it goes. A NUL byte
 * ends the line's text; the bytes after it up to the LF are dropped.
 * Returns the length stored, -1 at the end of the input, or -2 when the
 * line does not fit in the store.
 */
static long get_line()
{
    line_length = 0;
    bool seen_nul = false, any = false;
    for (;;) {
        if (input.pos == input.len && !fill_input())
            return any ? long(line_length) : -1;
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
        if (lf)
            return long(line_length);
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
    if (n >= 0) {
        if (n > 0 && load_point[n - 1] == '\r')
            n--;
        n++;
    }
    if (n >= 0 && load_point + n > room_end)
        widen_room();
    if (n < 0 || load_point + n > room_end) {
        show_message("--> buffer overflow (%u)%c", text_capacity, 7);
        return -1;
    }
    load_point[n - 1] = 0;
    load_point += n;
    return n;
}

/*
 * The text after pos moves up once, by the size of the file, and the
 * lines are read into the room this leaves; a file that turns out longer
 * (or of no known size) pushes that text on to the top of the store. What
 * room is left over is closed at the end.
 */
int load_file(const char* path, byte* pos)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        show_message("--> can't open '%s'", path);
        return 1;
    }
    show_message("--> reading '%s'", path);
    keep_line_number_below(pos);
    input.fd = fd;
    input.pos = input.len = 0;
    input.at_end = false;

    struct stat st;
    bool sized = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    long offset = pos - text_begin;
    if (!sized || store_top() - text_end < st.st_size)
        slide_text_to(store_bottom());
    insert_at = pos = text_begin + offset;
    tail_length = size_t(text_end - pos);
    byte* top = store_top() - tail_length;
    room_end = sized && st.st_size < top - pos ? pos + st.st_size : top;
    move_bytes(room_end, pos, tail_length);
    load_point = pos;
    long result;
    while ((result = read_line()) > 0) {
    }
    move_bytes(load_point, room_end, tail_length);
    shift_positions(insert_at + 1, text_end, load_point - insert_at);
    text_end = load_point + tail_length;
    close(fd);
    input.fd = -1;
    modified = 1;
    return result < 0 ? -1 : 0;
}

// ---- writing ------------------------------------------------------------

// The file being written, sent in large blocks; the first failure is kept.
static struct {
    int fd = -1;
    byte block[1 << 16];
    size_t len = 0;
    bool failed = false;
} output;

bool write_fully(int fd, const byte* p, size_t n)
{
    while (n) {
        ssize_t put = write(fd, p, n);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        p += put;
        n -= size_t(put);
    }
    return true;
}

static void flush_block()
{
    if (!output.failed && !write_fully(output.fd, output.block, output.len))
        output.failed = true;
    output.len = 0;
}

static void put_bytes(const byte* p, size_t n)
{
    while (n) {
        if (output.len == sizeof output.block)
            flush_block();
        size_t take = std::min(n, sizeof output.block - output.len);
        std::memcpy(output.block + output.len, p, take);
        output.len += take;
        p += take;
        n -= take;
    }
}

/*
 * Writes the bytes from p up to the line's NUL or hi, whichever comes
 * first, and a newline. Returns where the next piece starts.
 */
static byte* write_line(byte* p, byte* hi)
{
    byte* nul = static_cast<byte*>(std::memchr(p, 0, size_t(hi - p)));
    byte* end = nul ? nul : hi;
    put_bytes(p, size_t(end - p));
    static const byte newline = '\n';
    put_bytes(&newline, 1);
    return nul ? nul + 1 : hi;
}

/*
 * Where the new contents go. An existing regular file with one link, in a
 * directory we may write, is replaced through a temporary file renamed
 * over it, so that a failed write leaves the old contents; a symbolic link
 * is followed to the file it names. Anything else is written in place.
 */
struct write_target {
    std::string final_path;     // the file that ends up holding the text
    std::string temp_path;      // empty when writing in place
    bool refused = false;       // the temporary file could not replace it
};

static std::string directory_of(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

static int open_in_place(const char* path, write_target& t)
{
    t.final_path = path;
    t.temp_path.clear();
    return open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

/*
 * A temporary file beside the one named (a symbolic link is followed),
 * with its permission bits and owner, or -1 when that cannot be had.
 */
static int open_temporary(const char* path, const struct stat& st, write_target& t)
{
    char resolved[PATH_MAX];
    t.final_path = realpath(path, resolved) ? resolved : path;
    std::string temp = directory_of(t.final_path) + "/.pym-save-XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0)
        return -1;
    if (fchmod(fd, st.st_mode & 07777) == 0 && fchown(fd, st.st_uid, st.st_gid) == 0) {
        t.temp_path = temp;
        return fd;
    }
    close(fd);
    unlink(temp.c_str());
    return -1;
}

static int open_target(const char* path, write_target& t)
{
    struct stat st;
    // a file we may not write stays as it is: the open in place refuses
    if (stat(path, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1 &&
        access(path, W_OK) == 0) {
        int fd = open_temporary(path, st, t);
        if (fd >= 0)
            return fd;
    }
    return open_in_place(path, t);
}

static bool finish_target(int fd, write_target& t)
{
    bool ok = !output.failed;
    if (ok && !t.temp_path.empty() && fsync(fd) != 0)
        ok = false;
    if (close(fd) != 0)
        ok = false;
    if (!t.temp_path.empty()) {
        if (ok && rename(t.temp_path.c_str(), t.final_path.c_str()) != 0) {
            ok = false;
            t.refused = errno == EPERM || errno == EACCES || errno == EBUSY || errno == EXDEV;
        }
        if (!ok)
            unlink(t.temp_path.c_str());
    }
    return ok;
}

static bool write_text_range(int fd, byte* lo, byte* hi, write_target& t)
{
    output.fd = fd;
    output.len = 0;
    output.failed = false;
    for (byte* p = lo; p < hi;)
        p = write_line(p, hi);
    flush_block();
    output.fd = -1;
    return finish_target(fd, t);
}

int write_range(const char* path, byte* lo, byte* hi)
{
    write_target target;
    int fd = open_target(path, target);
    if (fd < 0) {
        show_message("--> can't open '%s'", path);
        return 1;
    }
    show_message("--> writing to '%s'", path);
    bool ok = write_text_range(fd, lo, hi, target);
    if (!ok && target.refused) {    // a sticky directory, say: write in place
        fd = open_in_place(path, target);
        ok = fd >= 0 && write_text_range(fd, lo, hi, target);
    }
    if (!ok) {
        show_message("--> can't write '%s'%c", path, 7);
        return 1;
    }
    clear_message_line();
    return 0;
}

int write_file(const char* path)
{
    int result = write_range(path, text_begin, text_end);
    if (result == 0)
        modified = 0;
    return result;
}
