/*
 * Writing the text, or a range of it, to a file. The old contents of the
 * file survive any failure: the new ones go to a temporary file renamed
 * over it, or, where that cannot be, in place after their room is taken.
 */
#include "store/files.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "store/store.h"

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

// Where the text goes, in blocks: a file being saved, or the emergency
// file. The first failure is kept.
struct text_output {
    int fd;
    byte* block;
    size_t size;
    size_t len = 0;
    bool failed = false;
    int patience_ms = -1;
    size_t done = 0, total = 0; // for the progress of a long save
    bool report = false;
    content_hash* hash = nullptr;   // of what is written, when wanted
};

static void flush_block(text_output& o)
{
    if (o.hash)
        o.hash->add(o.block, o.len);
    if (!o.failed && !write_fully(o.fd, o.block, o.len, o.patience_ms))
        o.failed = true;
    o.done += o.len;
    o.len = 0;
    if (o.report)
        tell_progress(o.done, o.total);
}

static void put_bytes(text_output& o, const byte* p, size_t n)
{
    while (n) {
        if (o.len == o.size)
            flush_block(o);
        size_t take = std::min(n, o.size - o.len);
        std::memcpy(o.block + o.len, p, take);
        o.len += take;
        p += take;
        n -= take;
    }
}

/*
 * Which lines end in CR LF: every one in a text read so, else those of
 * a text of mixed line ends, walked in step with the writing.
 */
struct line_ends {
    const std::vector<size_t>& crlf = crlf_line_ends();
    size_t next = 0;

    explicit line_ends(const byte* from)
    {
        next = size_t(std::lower_bound(crlf.begin(), crlf.end(), size_t(from - text_begin)) - crlf.begin());
    }
    // Whether the line whose NUL is at nul ends in CR LF.
    bool crlf_at(const byte* nul)
    {
        size_t at = size_t(nul - text_begin);
        while (next < crlf.size() && crlf[next] < at)
            next++;
        return text_crlf || (next < crlf.size() && crlf[next] == at);
    }
};

// The NUL that ends the line holding p.
static const byte* line_end_of(const byte* p)
{
    const byte* nul = static_cast<const byte*>(std::memchr(p, 0, size_t(text_end - p)));
    return nul ? nul : text_end - 1;
}

/*
 * Writes lo..hi a line at a time: the bytes up to the line's NUL or hi,
 * whichever comes first, and the line's end. A range that stops inside a
 * line ends it with that line's end.
 */
static void put_text_range(text_output& o, const byte* lo, const byte* hi)
{
    line_ends ends(lo);
    for (const byte* p = lo; p < hi;) {
        const byte* nul = static_cast<const byte*>(std::memchr(p, 0, size_t(hi - p)));
        const byte* end = nul ? nul : hi;
        put_bytes(o, p, size_t(end - p));
        bool crlf = ends.crlf_at(nul ? nul : line_end_of(hi));
        put_bytes(o, reinterpret_cast<const byte*>("\r\n") + !crlf, crlf ? 2 : 1);
        p = nul ? nul + 1 : hi;
    }
    flush_block(o);
}

// The bytes that writing lo..hi produces: every piece gets its line end.
static off_t output_length(const byte* lo, const byte* hi)
{
    if (hi <= lo)
        return 0;
    size_t nuls = count_nuls(lo, hi);
    size_t pieces = nuls + (hi[-1] != 0);
    size_t crlf = pieces;
    if (!text_crlf) {
        const std::vector<size_t>& all = crlf_line_ends();
        auto from = std::lower_bound(all.begin(), all.end(), size_t(lo - text_begin));
        auto to = std::lower_bound(all.begin(), all.end(), size_t(hi - text_begin));
        crlf = size_t(to - from);
        if (hi[-1] != 0 && line_ends_in_crlf(size_t(line_end_of(hi) - text_begin)))
            crlf++;
    }
    return off_t(size_t(hi - lo) - nuls + pieces + crlf);
}

bool write_whole_text(int fd)
{
    byte block[8192];
    text_output o{fd, block, sizeof block};
    o.patience_ms = 1000;
    put_text_range(o, text_begin, written_end());
    return !o.failed;
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
    bool failed = false;        // a write of the contents failed
    content_hash hash;          // of the contents written
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
    bool ok = !t.failed;
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

static byte save_block[1 << 16];

static bool write_text_range(int fd, byte* lo, byte* hi, write_target& t)
{
    text_output o{fd, save_block, sizeof save_block};
    o.patience_ms = 1000;
    o.total = size_t(t.length);
    o.report = true;
    t.hash = content_hash();
    o.hash = &t.hash;
    put_text_range(o, lo, hi);
    t.failed = o.failed;
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
    if (!ok) {
        r.status = file_status::write_failed;
        return r;
    }
    r.identity = identify_file(path, false);
    r.identity.hash = target.hash.value();
    r.identity.hashed = true;
    return r;
}

file_result write_file(const char* path)
{
    return write_range(path, text_begin, written_end());
}
