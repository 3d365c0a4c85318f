/*
 * A journal file: a header page, the base (a copy of the file the text was
 * read from, or the text itself), then the changes, each a record with a
 * checksum. The header says how far the changes go; it and the records'
 * end are written through shared mappings, so a record is in the page
 * cache, where no end of the process loses it, as soon as it is made.
 */
#include "store/journal.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <initializer_list>
#include <new>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include "store/journal_format.h"

namespace {

char directory[4096];           // where journals go, or "" when nowhere
char directory_trouble[256];    // why no directory could be used

struct journal {
    int fd = -1;
    char path[4200] = "";
    std::string file;           // the file whose text it keeps
    header* head = nullptr;     // the header, mapped
    byte* window = nullptr;     // the mapped end of the log
    uint64_t window_start = 0;  // its offset in the file
    size_t window_length = 0;
    bool base_made = false;
    bool map_records = true;    // false: records are written with pwrite
    bool dirty = false;
    bool broken = false;
    file_identity source;       // the file the text was read from, as it was
    bool source_valid = false;
    bool beside = false;
} j;

const char* trouble;            // why the journal stopped: said once
char missing[300];              // why no journal could be made, said at the first change
bool missing_said;              // said once a run
bool the_placeholder;           // the store's placeholder line, as it last said

void stop_journal(const char* why)
{
    if (!j.broken)
        trouble = why;
    j.broken = true;
}

// ---- names ---------------------------------------------------------------

/*
 * A journal is named after the file's absolute path: '/' becomes '%', a
 * '%' becomes "+%" and a '+' "++", so that two paths never share a name;
 * a name too long keeps the path's ends around a hash of the whole.
 */
std::string journal_name(const std::string& file)
{
    std::string name;
    for (char c : file) {
        if (c == '/')
            name += '%';
        else if (c == '%')
            name += "+%";
        else if (c == '+')
            name += "++";
        else
            name += c;
    }
    if (name.size() > 200) {
        content_hash h;
        h.add(reinterpret_cast<const byte*>(name.data()), name.size());
        char mark[40];
        snprintf(mark, sizeof mark, "+#%016llx+#", static_cast<unsigned long long>(h.value()));
        name = name.substr(0, 100) + mark + name.substr(name.size() - 80);
    }
    return name;
}

std::string beside_suffix()
{
    return "+" + std::to_string(getpid());
}

// A directory we may keep journals in: ours alone, no link.
bool usable_directory(const char* dir, const char** why)
{
    struct stat st;
    if (lstat(dir, &st) != 0) {
        *why = strerror(errno);
        return false;
    }
    if (S_ISLNK(st.st_mode)) {
        *why = "the directory is a symbolic link";
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        *why = "not a directory";
        return false;
    }
    if (st.st_uid != geteuid()) {
        *why = "the directory belongs to another user";
        return false;
    }
    if (st.st_mode & 022) {
        *why = "others may write in the directory";
        return false;
    }
    if (access(dir, W_OK | X_OK) != 0) {
        *why = strerror(errno);
        return false;
    }
    return true;
}

// Makes dir and the directories above it that are missing (mode 0700).
bool make_directories(const std::string& dir)
{
    for (size_t at = 1; at <= dir.size(); at++) {
        if (at < dir.size() && dir[at] != '/')
            continue;
        std::string part = dir.substr(0, at);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

bool try_directory(const std::string& dir, const char** why)
{
    if (dir.size() >= sizeof directory - 1) {
        *why = "the directory's name is too long";
        return false;
    }
    make_directories(dir);
    if (!usable_directory(dir.c_str(), why))
        return false;
    strcpy(directory, dir.c_str());
    return true;
}

// ---- writing ---------------------------------------------------------------

bool write_at(int fd, const void* p, size_t n, off_t at)
{
    const char* c = static_cast<const char*>(p);
    while (n) {
        ssize_t put = pwrite(fd, c, n, at);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        c += put;
        n -= size_t(put);
        at += put;
    }
    return true;
}

uint64_t round_up(uint64_t n, uint64_t to)
{
    return (n + to - 1) / to * to;
}

void drop_window()
{
    if (j.window)
        munmap(j.window, j.window_length);
    j.window = nullptr;
    j.window_length = 0;
}

/*
 * Maps the log's end from offset at on, its room taken first so that a
 * full disk is an error here and never a fault later. False when the
 * room cannot be had; records then go with pwrite.
 */
bool map_window(uint64_t at, size_t need)
{
    drop_window();
    uint64_t start = at / 4096 * 4096;
    size_t length = round_up(std::max(window_size, need + (at - start)), 4096);
    if (fallocate(j.fd, 0, off_t(start), off_t(length)) != 0) {
        if (errno == EOPNOTSUPP || errno == ENOSYS)
            j.map_records = false;
        else
            stop_journal(strerror(errno));
        return false;
    }
    void* m = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, j.fd, off_t(start));
    if (m == MAP_FAILED) {
        j.map_records = false;
        return false;
    }
    j.window = static_cast<byte*>(m);
    j.window_start = start;
    j.window_length = length;
    return true;
}

void note_last_change(size_t offset)
{
    struct timespec now;
    clock_gettime(CLOCK_REALTIME_COARSE, &now);
    j.head->last_change = now.tv_sec;
    j.head->last_offset = offset;
}

using record_piece = std::pair<const void*, size_t>;

// A record too large for the mapping, written with one call: its head and
// a few pieces as they are, many pieces gathered first.
template <typename Pieces>
bool write_record(const record& r, const Pieces& pieces, uint64_t at)
{
    size_t count = 0;
    for (const auto& piece : pieces)
        count += piece.second > 0;
    if (count < 16) {
        struct iovec parts[17] = {{const_cast<record*>(&r), sizeof r}};
        int n = 1;
        for (const auto& piece : pieces)
            if (piece.second)
                parts[n++] = {const_cast<void*>(piece.first), piece.second};
        size_t total = sizeof r + r.payload;
        ssize_t put = pwritev(j.fd, parts, n, off_t(at));
        if (put == ssize_t(total))
            return true;
        if (put < 0 && errno != EINTR)
            return false;
    }
    try {
        std::string all(reinterpret_cast<const char*>(&r), sizeof r);
        all.reserve(sizeof r + r.payload);
        for (const auto& piece : pieces)
            all.append(static_cast<const char*>(piece.first), piece.second);
        return write_at(j.fd, all.data(), all.size(), off_t(at));
    } catch (const std::bad_alloc&) {
        bool ok = write_at(j.fd, &r, sizeof r, off_t(at));     // no memory to gather them
        uint64_t put = at + sizeof r;
        for (const auto& piece : pieces) {
            ok = ok && write_at(j.fd, piece.first, piece.second, off_t(put));
            put += piece.second;
        }
        return ok;
    }
}

// Appends a record (its head, then the pieces of its payload) to the log.
template <typename Pieces>
void append_record(record r, const Pieces& pieces)
{
    if (j.broken || !j.head)
        return;
    r.payload = 0;
    for (const auto& p : pieces)
        r.payload += p.second;
    r.length = round_up(sizeof r + r.payload, 8);
    r.flags = the_placeholder ? placeholder_flag : 0;
    r.check = 0;
    record_check h;
    h.add(&r, sizeof r);
    for (const auto& p : pieces)
        h.add(p.first, p.second);
    r.check = h.value();
    uint64_t at = j.head->log_end;
    bool mapped = j.map_records && r.length <= largest_mapped_record &&
                  ((j.window && at >= j.window_start && at + r.length <= j.window_start + j.window_length) ||
                   map_window(at, r.length));
    if (mapped) {
        byte* p = j.window + (at - j.window_start);
        std::memcpy(p, &r, sizeof r);
        p += sizeof r;
        for (const auto& piece : pieces) {
            if (piece.second)
                std::memcpy(p, piece.first, piece.second);
            p += piece.second;
        }
    } else if (!j.broken && !write_record(r, pieces, at)) {
        return stop_journal(strerror(errno));
    }
    j.head->log_end = at + r.length;
    j.dirty = true;
}

// ---- the base --------------------------------------------------------------

// A copy of the source file, by the kernel (a reflink where it can).
bool copy_source(uint64_t at, uint64_t* length)
{
    int in = open(j.source_valid ? j.file.c_str() : "", O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    file_identity now = identify_file(j.file.c_str(), false);
    bool ok = same_file_unchanged(now, j.source);
    loff_t from = 0, to = loff_t(at);
    while (ok) {
        ssize_t n = copy_file_range(in, &from, j.fd, &to, 1 << 30, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0 && from == j.source.size;
            break;
        }
    }
    close(in);
    *length = uint64_t(from);
    return ok;
}

// The text itself, as the store holds it, and its CR LF line ends.
bool copy_text(uint64_t at, uint64_t* length, uint64_t* crlf, const std::vector<size_t>& ends)
{
    *length = uint64_t(text_end - text_begin);
    *crlf = ends.size();
    return write_at(j.fd, text_begin, *length, off_t(at)) &&
           write_at(j.fd, ends.data(), ends.size() * sizeof(size_t), off_t(at + *length));
}

void make_base(const std::vector<size_t>& ends)
{
    j.base_made = true;
    uint64_t length = 0, crlf = 0;
    uint32_t kind = file_copy;
    if (!j.source_valid || !copy_source(header_size, &length)) {
        kind = text_copy;
        if (!copy_text(header_size, &length, &crlf, ends))
            return stop_journal(strerror(errno));
    }
    j.head->base = kind;
    j.head->flags = (text_crlf ? all_crlf : 0) | (the_placeholder ? placeholder_flag : 0);
    j.head->base_length = length;
    j.head->base_crlf = crlf;
    j.head->log_start = j.head->log_end = round_up(header_size + length + crlf * sizeof(size_t), 4096);
    map_window(j.head->log_start, 0);
    j.dirty = true;
}

// ---- opening ------------------------------------------------------------------

void close_journal_file()
{
    drop_window();
    if (j.head)
        munmap(j.head, header_size);
    if (j.fd >= 0)
        close(j.fd);
    j.head = nullptr;
    j.fd = -1;
}

bool make_header(const char* path, std::string* why)
{
    int fd = open(path, O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 || fallocate(fd, 0, 0, header_size) != 0) {
        if (fd >= 0 && (errno == EOPNOTSUPP || errno == ENOSYS) && ftruncate(fd, header_size) == 0) {
            // a file system that reserves nothing: the header is written plainly
        } else {
            *why = strerror(errno);
            if (fd >= 0) {
                close(fd);
                unlink(path);
            }
            return false;
        }
    }
    void* m = mmap(nullptr, header_size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (m == MAP_FAILED) {
        *why = strerror(errno);
        close(fd);
        unlink(path);
        return false;
    }
    j.fd = fd;
    j.head = static_cast<header*>(m);
    std::memset(j.head, 0, sizeof(header));
    j.head->pid = uint64_t(getpid());
    gethostname(j.head->host, sizeof j.head->host - 1);
    snprintf(j.head->file, sizeof j.head->file, "%s", j.file.c_str());
    std::memcpy(j.head->magic, journal_magic, sizeof journal_magic);
    return true;
}

}  // namespace

// ---- the directory ---------------------------------------------------------------

void find_journal_directory()
{
    const char* state = getenv("XDG_STATE_HOME");
    const char* home = getenv("HOME");
    const char* why = "no directory for it";
    directory[0] = 0;
    if (state && state[0] == '/' && try_directory(std::string(state) + "/pym", &why))
        return;
    if ((!state || state[0] != '/') && home && home[0] == '/' &&
        try_directory(std::string(home) + "/.local/state/pym", &why))
        return;
    const char* tmp = getenv("TMPDIR");
    std::string fallback = std::string(tmp && tmp[0] == '/' ? tmp : "/tmp") + "/pym-" + std::to_string(geteuid());
    const char* fallback_why = why;
    if (try_directory(fallback, &fallback_why))
        return;
    snprintf(directory_trouble, sizeof directory_trouble, "%s", why);
}

std::string absolute_path(const char* name)
{
    char resolved[PATH_MAX];
    if (realpath(name, resolved))
        return resolved;
    std::string n = name;
    size_t slash = n.rfind('/');
    std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : n.substr(0, slash);
    std::string base = slash == std::string::npos ? n : n.substr(slash + 1);
    if (realpath(dir.c_str(), resolved))
        return std::string(resolved) + (resolved[1] ? "/" : "") + base;
    return n;
}

// ---- finding and recovering --------------------------------------------------------

static bool read_header(const std::string& path, header* h)
{
    int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = pread(fd, h, sizeof *h, 0) == ssize_t(sizeof *h) && std::memcmp(h->magic, journal_magic, sizeof journal_magic) == 0;
    close(fd);
    h->host[sizeof h->host - 1] = 0;
    h->file[sizeof h->file - 1] = 0;
    return ok;
}

static bool process_runs(unsigned long pid)
{
    return pid > 0 && pid <= INT_MAX && (kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

std::vector<found_journal> find_journals(const std::string& file)
{
    std::vector<found_journal> found;
    if (!directory[0])
        return found;
    std::string name = journal_name(file);
    DIR* d = opendir(directory);
    if (!d)
        return found;
    char host[256] = "";
    gethostname(host, sizeof host - 1);
    while (struct dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n.size() < name.size() + 5 || n.compare(0, name.size(), name) != 0 ||
            n.compare(n.size() - 5, 5, ".pymj") != 0)
            continue;
        std::string middle = n.substr(name.size(), n.size() - name.size() - 5);
        if (!middle.empty() && (middle[0] != '+' || middle.find_first_not_of("0123456789", 1) != std::string::npos))
            continue;
        found_journal f;
        f.path = std::string(directory) + "/" + n;
        header h;
        if (!read_header(f.path, &h) || file != h.file || f.path == j.path)
            continue;
        f.pid = h.pid;
        f.host = h.host;
        f.this_host = f.host == host;
        f.running = !f.this_host || (f.pid != unsigned(getpid()) && process_runs(f.pid));
        f.has_changes = h.base != no_base;
        f.last_change = time_t(h.last_change);
        found.push_back(f);
    }
    closedir(d);
    return found;
}

void remove_journal(const found_journal& f)
{
    unlink(f.path.c_str());
}


// ---- this editor's journal ----

namespace {

size_t varint_length(uint64_t v)
{
    size_t n = 1;
    for (; v >= 0x80; v >>= 7)
        n++;
    return n;
}

char* put_varint(char* out, uint64_t v)
{
    do {
        byte b = byte(v & 0x7F);
        v >>= 7;
        *out++ = char(v ? b | 0x80 : b);
    } while (v);
    return out;
}

bool restart_pending;           // saved: a new journal comes at the next change

std::string own_journal_path(const std::string& file, bool beside)
{
    return std::string(directory) + "/" + journal_name(file) + (beside ? beside_suffix() : "") + ".pymj";
}

bool open_journal(std::string* why)
{
    std::string path = own_journal_path(j.file, j.beside);
    if (path.size() >= sizeof j.path) {
        *why = "the name is too long";
        return false;
    }
    strcpy(j.path, path.c_str());
    return make_header(j.path, why);
}

void forget_journal(bool remove)
{
    close_journal_file();
    if (remove && j.path[0])
        unlink(j.path);
    j.path[0] = 0;
    j.base_made = j.dirty = false;
}

/*
 * Past twice the text's size (and 16 MiB), the journal starts again from
 * a copy of the text: written beside it, then put in its place.
 */
void snapshot_if_long(const std::vector<size_t>& ends)
{
    uint64_t log = j.head->log_end - j.head->log_start;
    if (log <= std::max<uint64_t>(uint64_t(16) << 20, 2 * uint64_t(text_end - text_begin)))
        return;
    std::string final_path = j.path, temp = final_path + ".new", why;
    close_journal_file();
    strcpy(j.path, temp.c_str());
    j.source_valid = false;
    if (!make_header(j.path, &why)) {
        strcpy(j.path, final_path.c_str());
        return stop_journal("cannot start it afresh");
    }
    make_base(ends);
    fdatasync(j.fd);
    if (rename(temp.c_str(), final_path.c_str()) != 0)
        stop_journal(strerror(errno));
    strcpy(j.path, final_path.c_str());
}

void after_record(size_t offset, const std::vector<size_t>& ends)
{
    note_last_change(offset);
    snapshot_if_long(ends);
}

}  // namespace

bool start_journal(const std::string& file, const file_identity* source, bool beside, std::string* why)
{
    forget_journal(false);
    j = journal();
    restart_pending = false;
    missing[0] = 0;
    if (!directory[0])
        *why = directory_trouble[0] ? directory_trouble : "no directory for it";
    j.file = file;
    j.beside = beside;
    j.source_valid = source && source->exists && !source->symlink;
    if (j.source_valid)
        j.source = *source;
    if (directory[0] && open_journal(why))
        return true;
    if (!missing_said)
        snprintf(missing, sizeof missing, "%s", why->c_str());
    return false;
}

void end_journal()
{
    forget_journal(true);
    restart_pending = false;
    j.file.clear();
}

void journal_text_saved(const std::string& file)
{
    if (j.file.empty())
        return;
    forget_journal(true);
    j.file = file;
    j.source_valid = false;     // the text's copy is the base from now on
    restart_pending = !j.broken;
}

void flush_journal()
{
    if (j.fd >= 0 && j.dirty) {
        fdatasync(j.fd);
        j.dirty = false;
    }
}

void leave_journal()
{
    if (j.fd < 0)
        return;
    if (j.base_made)
        fdatasync(j.fd);
    else
        unlink(j.path);         // nothing unsaved: nothing to recover
}

bool journal_flush_due()
{
    return j.fd >= 0 && j.dirty;
}

const char* take_journal_trouble()
{
    const char* t = trouble;
    trouble = nullptr;
    return t;
}

std::string journal_path()
{
    return j.path;
}

void keep_text_in_journal(bool placeholder, const std::vector<size_t>& ends)
{
    the_placeholder = placeholder;
    if (j.head && !j.base_made && !j.broken)
        make_base(ends);
}

void journal_before_change(bool placeholder, const std::vector<size_t>& ends)
{
    the_placeholder = placeholder;
    if (missing[0] && !missing_said) {
        missing_said = true;
        trouble = missing;
    }
    if (restart_pending) {
        restart_pending = false;
        std::string why;
        if (!open_journal(&why))
            return stop_journal("cannot make it again");
    }
    if (j.head && !j.base_made && !j.broken)
        make_base(ends);
}

void journal_change(journal_op op, size_t offset, size_t removed, size_t inserted, bool placeholder,
                    const std::vector<size_t>& ends)
{
    the_placeholder = placeholder;
    if (!j.head || j.broken)
        return;
    record r = {};
    r.kind = uint32_t(op);
    r.offset = offset;
    r.removed = removed;
    if (op == journal_op::remove) {
        append_record(r, std::initializer_list<record_piece>{});
    } else {
        const record_piece bytes[] = {{text_begin + offset, inserted}};
        append_record(r, bytes);
    }
    after_record(offset + inserted, ends);
}

static void record_batch(const std::vector<text_change>& parts, const std::vector<size_t>& ends)
{
    // An empty list of CR LF ends says the same as none when the bytes
    // hold no line end (the matches of a Replace, and its undo)
    const text_change& first = parts[0];
    bool holds_nul = first.length && std::memchr(first.bytes, 0, first.length);
    bool same = true;
    long shift = 0;
    for (const text_change& p : parts) {
        same = same && (holds_nul ? !p.crlf : !p.crlf || p.crlf->empty()) && p.bytes == first.bytes &&
               p.length == first.length && p.removed == first.removed;
        shift += long(p.length) - long(p.removed);
    }
    record r = {};
    r.offset = parts[0].offset;
    r.count = parts.size();
    size_t last = size_t(long(parts.back().offset) + shift);
    if (same) {
        r.kind = 'S';
        r.removed = parts[0].removed;
        uint64_t each = parts[0].length;
        size_t room = 0;
        for (size_t i = 1; i < parts.size(); i++)
            room += varint_length(parts[i].offset - parts[i - 1].offset);
        std::string gaps(room, '\0');
        char* out = gaps.data();
        for (size_t i = 1; i < parts.size(); i++)
            out = put_varint(out, parts[i].offset - parts[i - 1].offset);
        const record_piece bytes[] = {
            {&each, 8}, {parts[0].bytes, parts[0].length}, {gaps.data(), size_t(out - gaps.data())}};
        append_record(r, bytes);
        return after_record(last, ends);
    }
    r.kind = 'B';
    std::vector<batch_part> heads;
    std::vector<record_piece> pieces;
    for (const text_change& p : parts)
        heads.push_back({p.offset, p.removed, p.length, uint32_t(p.crlf ? p.crlf->size() : 0), p.crlf ? 1u : 0u});
    pieces.push_back({heads.data(), heads.size() * sizeof(batch_part)});
    for (const text_change& p : parts)
        pieces.push_back({p.bytes, p.length});
    for (const text_change& p : parts)
        if (p.crlf)
            pieces.push_back({p.crlf->data(), p.crlf->size() * 4});
    append_record(r, pieces);
    after_record(last, ends);
}

void journal_batch(const std::vector<text_change>& parts, bool placeholder, const std::vector<size_t>& ends)
{
    the_placeholder = placeholder;
    if (!j.head || j.broken || parts.empty())
        return;
    try {
        record_batch(parts, ends);
    } catch (const std::bad_alloc&) {
        stop_journal("no memory for a change");
    }
}

void journal_placeholder(bool on)
{
    the_placeholder = on;
    if (!j.head || j.broken || !j.base_made)
        return;
    record r = {};
    r.kind = 'P';
    append_record(r, std::initializer_list<record_piece>{});
}
