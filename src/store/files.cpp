#include "store/files.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <poll.h>

#include "store/history.h"
#include "store/store.h"

// ---- reading ------------------------------------------------------------

// The file being read, taken in large blocks.
static struct {
    int fd = -1;
    byte block[1 << 16];
    size_t pos = 0, len = 0;
    bool at_end = false;
    int error = 0;              // errno of a failed read
    bool nul_bytes = false;
    long lf_lines = 0, crlf_lines = 0;
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
    load_start += delta;
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
        if (got <= 0) {         // a read error ends the load like the end, but is kept
            if (got < 0)
                input.error = errno;
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
        if (seen_nul)
            input.nul_bytes = true;
        if (lf) {
            line_had_lf = true;
            return long(line_length);
        }
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
        bool cr = n > 0 && load_point[n - 1] == '\r';
        if (cr)
            n--;
        if (line_had_lf) {
            input.lf_lines++;
            input.crlf_lines += cr;
        }
        n++;
    }
    if (n >= 0 && load_point + n > room_end)
        widen_room();
    if (n < 0 || load_point + n > room_end)
        return -1;
    load_point[n - 1] = 0;
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
static long read_fully(int fd, byte* p, size_t n)
{
    size_t got = 0;
    while (got < n) {
        ssize_t r = read(fd, p + got, n - got);
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

/*
 * The common file at memory speed: read a piece at a time into a small
 * buffer, each piece copied into the room with its line ends turned into
 * NULs. The buffer stays in the cache, and the room's pages are written
 * once, by the editor, not first by the system's copy and then again.
 * Only a file of exactly the size it said, with no CR and no NUL, goes
 * this way; false, with the file back at its start, sends any other to the
 * line by line load.
 */
static bool load_whole(int fd, byte* pos, off_t size)
{
    size_t n = size_t(size), got = 0;
    byte piece[1 << 16];
    bool plain = true;
    while (plain && got < n) {
        size_t want = std::min(sizeof piece, n - got);
        plain = read_fully(fd, piece, want) == long(want) && turn_line_ends(pos + got, piece, want);
        got += want;
    }
    if (!plain || read_fully(fd, piece, 1) != 0) {
        lseek(fd, 0, SEEK_SET);
        return false;
    }
    load_point = pos + n;
    if (pos[n - 1] != 0)
        *load_point++ = 0;      // the last line had no LF
    return true;
}

// Reads every line into the room at pos; returns the last read_line result.
static long read_lines(int fd, byte* pos, off_t size)
{
    input.fd = fd;
    input.pos = input.len = 0;
    input.at_end = false;
    input.error = 0;
    input.nul_bytes = false;
    input.lf_lines = input.crlf_lines = 0;
    long offset = pos - text_begin;
    if (store_top() - text_end < size)
        slide_text_to(store_bottom());
    insert_at = pos = text_begin + offset;
    // the file goes in at pos and the text after it moves up by its size
    expect_bulk_write(pos, size < store_top() - text_end ? text_end + size : store_top());
    tail_length = size_t(text_end - pos);
    byte* top = store_top() - tail_length;
    bool whole = size > 0 && size < top - pos;     // room for a last NUL too
    room_end = whole ? pos + size + 1 : size < top - pos ? pos + size : top;
    move_bytes(room_end, pos, tail_length);
    load_point = load_start = pos;
    long result = 0;
    if (!whole || !load_whole(fd, pos, size)) {
        load_point = pos;
        while ((result = read_line()) > 0) {
        }
    }
    move_bytes(load_point, room_end, tail_length);
    shift_positions(insert_at + 1, text_end, load_point - insert_at);
    text_end = load_point + tail_length;
    input.fd = -1;
    record_insert(load_start, size_t(load_point - load_start));
    return result;
}

/*
 * The text after pos moves up once, by the size of the file, and the
 * lines are read into the room this leaves; a file that turns out longer
 * pushes that text on to the top of the store. What room is left over is
 * closed at the end.
 */
file_result load_file(const char* path, byte* pos)
{
    file_result r;
    int fd = open_for_load(path, r);
    if (fd < 0)
        return r;
    struct stat st;
    off_t size = fstat(fd, &st) == 0 ? st.st_size : 0;
    change_scope change;
    keep_line_number_below(pos);
    long result = read_lines(fd, pos, size);
    close(fd);
    modified = 1;
    r.nul_bytes = input.nul_bytes;
    r.crlf = input.lf_lines > 0 && input.crlf_lines == input.lf_lines;
    if (result < 0) {
        r.status = file_status::overflow;
    } else if (input.error) {
        r.status = file_status::unreadable;
        r.error = input.error;
    }
    return r;
}

// ---- writing ------------------------------------------------------------

bool write_fully(int fd, const void* data, size_t n, int patience_ms)
{
    const char* p = static_cast<const char*>(data);
    while (n) {
        ssize_t put = write(fd, p, n);
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0 && errno == EAGAIN) {   // left non-blocking, or a device
            struct pollfd ready = {fd, POLLOUT, 0};
            if (poll(&ready, 1, patience_ms) == 0)
                return false;
            continue;
        }
        if (put <= 0)
            return false;
        p += put;
        n -= size_t(put);
    }
    return true;
}

// The file being written, sent in large blocks; the first failure is kept.
static struct {
    int fd = -1;
    byte block[1 << 16];
    size_t len = 0;
    bool failed = false;
} output;

static void flush_block()
{
    if (!output.failed && !write_fully(output.fd, output.block, output.len, 1000))
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

static const byte* line_end() { return reinterpret_cast<const byte*>(text_crlf ? "\r\n" : "\n"); }
static size_t line_end_length() { return text_crlf ? 2 : 1; }

/*
 * Writes the bytes from p up to the line's NUL or hi, whichever comes
 * first, and a line end. Returns where the next piece starts.
 */
static byte* write_line(byte* p, byte* hi)
{
    byte* nul = static_cast<byte*>(std::memchr(p, 0, size_t(hi - p)));
    byte* end = nul ? nul : hi;
    put_bytes(p, size_t(end - p));
    put_bytes(line_end(), line_end_length());
    return nul ? nul + 1 : hi;
}

// The bytes that writing lo..hi produces: every piece gets a line end.
static off_t output_length(byte* lo, byte* hi)
{
    if (hi <= lo)
        return 0;
    size_t nuls = count_nuls(lo, hi);
    size_t pieces = nuls + (hi[-1] != 0);
    return off_t(size_t(hi - lo) - nuls + pieces * line_end_length());
}

/*
 * Where the new contents go. An existing regular file with one link, in a
 * directory we may write, is replaced through a temporary file renamed
 * over it, so that a failed write leaves the old contents; a symbolic link
 * is followed to the file it names. Anything else, and a file whose
 * attributes the new one cannot be given, is written in place, after the
 * room for the new contents has been taken.
 */
struct write_target {
    std::string final_path;     // the file that ends up holding the text
    std::string temp_path;      // empty when writing in place
    bool regular = true;        // false: a character device, written as it comes
    bool created = false;       // the open in place made the file
    bool refused = false;       // the temporary file could not replace it, or not with all it had
    off_t length = 0;           // what is to be written
    mode_t mode = 0;            // the file's permission bits, set again after the write
};

static char save_in_progress[4096];   // the temporary file, for a hang-up to remove

const char* unfinished_save()
{
    return save_in_progress[0] ? save_in_progress : nullptr;
}

static void note_temporary(const std::string& path)
{
    snprintf(save_in_progress, sizeof save_in_progress, "%s", path.c_str());
}

static std::string directory_of(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

/*
 * The room for length bytes, taken before the old contents are touched,
 * so that a full disk refuses the write instead of cutting the file. Where
 * the file system cannot reserve, zeros past the old end take the room.
 */
static bool reserve_room(int fd, off_t length, off_t size, file_result& r)
{
    if (length <= size || fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, length) == 0)
        return true;
    if (errno == EOPNOTSUPP || errno == ENOSYS) {
        int e = posix_fallocate(fd, size, length - size);
        if (e == 0)
            return true;
        errno = e;
    }
    r.status = file_status::no_room;
    r.error = errno;
    if (ftruncate(fd, size) != 0) {
        // nothing more to undo: the old bytes were not touched
    }
    return false;
}

static int open_in_place(const char* path, write_target& t, file_result& r)
{
    t.final_path = path;
    t.temp_path.clear();
    struct stat before;
    t.created = stat(path, &before) != 0;
    // never a wait: a FIFO without a reader refuses at once (ENXIO)
    int fd = open(path, O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        r.status = errno == ENXIO ? file_status::not_regular : file_status::missing;
        return -1;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISCHR(st.st_mode))) {
        close(fd);
        r.status = file_status::not_regular;
        return -1;
    }
    t.regular = S_ISREG(st.st_mode);
    t.mode = st.st_mode & 07777;
    if (t.regular) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        if (!reserve_room(fd, t.length, st.st_size, r)) {
            close(fd);
            if (t.created)
                unlink(path);
            return -1;
        }
    }
    return fd;
}

// The attribute of an ACL: how the file system keeps who else may do what.
static const char acl_attribute[] = "system.posix_acl_access";

/*
 * Reads a list of attribute names or an attribute's value through get,
 * which tells the size it needs when given no room; tries again when it
 * grew in between. False when it cannot be read (errno says why).
 */
template <class Get>
static bool read_attribute(Get get, std::string& out)
{
    for (int tries = 0; tries < 4; tries++) {
        ssize_t size = get(nullptr, 0);
        if (size < 0)
            return false;
        out.resize(size_t(size));
        ssize_t got = size > 0 ? get(out.data(), out.size()) : 0;
        if (got >= 0) {
            out.resize(size_t(got));
            return true;
        }
        if (errno != ERANGE)
            return false;
    }
    return false;
}

// Gives the file at fd the attribute name of path; true when it then has
// it, given or already there (a security label the system gave it, say).
static bool copy_attribute(const char* path, const char* name, int fd)
{
    std::string value, has;
    if (!read_attribute([&](char* p, size_t n) { return getxattr(path, name, p, n); }, value))
        return false;
    if (fsetxattr(fd, name, value.data(), value.size(), 0) == 0)
        return true;
    return read_attribute([&](char* p, size_t n) { return fgetxattr(fd, name, p, n); }, has) && has == value;
}

/*
 * Gives the file at fd every extended attribute of path: user ones, the
 * ACL, and whatever else there is. An ACL the new file took from its
 * directory's default one, which path lacks, goes. False when the new
 * file cannot be given them all.
 */
static bool copy_attributes(const char* path, int fd)
{
    std::string names;
    if (!read_attribute([&](char* p, size_t n) { return listxattr(path, p, n); }, names))
        return errno == ENOTSUP;        // a file system without attributes
    bool has_acl = false;
    for (size_t i = 0; i < names.size(); i += strlen(names.c_str() + i) + 1) {
        const char* name = names.c_str() + i;
        has_acl = has_acl || strcmp(name, acl_attribute) == 0;
        if (!copy_attribute(path, name, fd))
            return false;
    }
    return has_acl || fremovexattr(fd, acl_attribute) == 0 || errno == ENODATA || errno == ENOTSUP;
}

/*
 * A temporary file beside the one named (a symbolic link is followed),
 * with its owner, or -1 when that cannot be had. The mode and the rest
 * follow the text (see keep_old_attributes).
 */
static int open_temporary(const char* path, const struct stat& st, write_target& t)
{
    char resolved[PATH_MAX];
    t.final_path = realpath(path, resolved) ? resolved : path;
    std::string temp = directory_of(t.final_path) + "/.pym-save-XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0)
        return -1;
    note_temporary(temp);
    if (fchown(fd, st.st_uid, st.st_gid) == 0) {
        t.temp_path = temp;
        t.mode = st.st_mode & 07777;
        return fd;
    }
    close(fd);
    unlink(temp.c_str());
    save_in_progress[0] = 0;
    return -1;
}

static int open_target(const char* path, write_target& t, file_result& r)
{
    struct stat st;
    bool exists = stat(path, &st) == 0;
    if (exists && !S_ISREG(st.st_mode) && !S_ISCHR(st.st_mode) && !S_ISDIR(st.st_mode)) {
        r.status = file_status::not_regular;
        return -1;
    }
    // a file we may not write stays as it is: the open in place refuses
    if (exists && S_ISREG(st.st_mode) && st.st_nlink == 1 && access(path, W_OK) == 0) {
        int fd = open_temporary(path, st, t);
        if (fd >= 0)
            return fd;
    }
    return open_in_place(path, t, r);
}

/*
 * A write clears set-user and set-group bits unless the writer is
 * privileged (and file capabilities always), so the mode is set after it.
 * A temporary file then takes the old file's extended attributes, its
 * ACL among them: after the mode, whose group bits the ACL's mask sets.
 * When one cannot be given, the temporary file is refused and the write
 * goes in place, which keeps them all.
 */
static bool keep_old_attributes(int fd, write_target& t)
{
    if (t.temp_path.empty()) {
        if ((t.mode & 06000) && fchmod(fd, t.mode) != 0) {
            // only the owner may set the bits again; the text is written
        }
        return true;
    }
    if (fchmod(fd, t.mode) == 0 && copy_attributes(t.final_path.c_str(), fd))
        return true;
    t.refused = true;
    return false;
}

static bool finish_target(int fd, write_target& t)
{
    bool ok = !output.failed;
    if (ok && t.temp_path.empty() && t.regular && ftruncate(fd, t.length) != 0)
        ok = false;
    if (ok && t.regular && !keep_old_attributes(fd, t))
        ok = false;
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
        save_in_progress[0] = 0;
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

file_result write_range(const char* path, byte* lo, byte* hi)
{
    file_result r;
    write_target target;
    target.length = output_length(lo, hi);
    int fd = open_target(path, target, r);
    if (fd < 0)
        return r;
    bool ok = write_text_range(fd, lo, hi, target);
    if (!ok && target.refused) {    // a sticky directory, an ACL: write in place
        fd = open_in_place(path, target, r);
        if (fd < 0)
            return r;
        ok = write_text_range(fd, lo, hi, target);
    }
    if (!ok)
        r.status = file_status::write_failed;
    return r;
}

file_result write_file(const char* path)
{
    file_result r = write_range(path, text_begin, text_end);
    if (r.status == file_status::done) {
        modified = 0;
        note_text_saved();
    }
    return r;
}
