#include "session/session_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "state/state.h"
#include "store/append.h"
#include "store/files.h"

static const char session_file[] = "pym.l";

// The first MiB of the session file (the record is one line at its
// start), or an empty string when it is missing, read-only or no file.
static std::string session_contents()
{
    int fd = open(session_file, O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return "";
    struct stat st;
    std::string data;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        data.resize(size_t(std::min<off_t>(st.st_size, 1 << 20)));
        ssize_t got = read(fd, data.data(), data.size());
        data.resize(got > 0 ? size_t(got) : 0);
    }
    close(fd);
    return data;
}

// The record: the first line, without its LF, or a CR LF a record edited
// elsewhere may end in.
static std::string first_line(const std::string& data)
{
    std::string line = data.substr(0, data.find_first_of(std::string("\n\0", 2)));
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

/*
 * Takes a number off the end of record[0, *end): digits after a blank.
 * *end is then at that blank, so that the rest of the record is before it.
 */
static bool number_at_end(const std::string& record, size_t* end, long* n)
{
    size_t first = *end;
    while (first > 0 && record[first - 1] >= '0' && record[first - 1] <= '9')
        first--;
    if (first == *end || first == 0 || record[first - 1] != ' ')
        return false;
    *n = 0;
    for (size_t i = first; i < *end; i++)
        if (*n < 1000000000L)
            *n = *n * 10 + (record[i] - '0');
    *end = first - 1;
    return true;
}

/*
 * The session file holds "name line column". The column and the line are
 * read from the end, so that the name may hold blanks: it is all that is
 * before them. A record with one number at the end gives the line, and
 * one with none is a name alone, at line 1, column 1.
 */
void read_session_file(long* line, long* column)
{
    std::string record = first_line(session_contents());
    if (record.empty())
        return;
    size_t end = record.size();
    long last = 0, before = 0;
    if (number_at_end(record, &end, &last)) {
        if (number_at_end(record, &end, &before)) {
            *line = before;
            *column = last;
        } else {
            *line = last;
        }
    }
    start_name = record.substr(0, end);
}

/*
 * Whether the record may take the place of what is at pym.l: nothing, or
 * a regular file the user may write, whose permissions *mode then keeps
 * (still writable by the user, or no run would read it again). A
 * symbolic link, a FIFO or a read-only file is left as it is.
 */
static bool may_replace(bool* exists, mode_t* mode)
{
    struct stat st;
    if (lstat(session_file, &st) != 0) {
        *exists = false;
        return errno == ENOENT;
    }
    *exists = true;
    *mode = (st.st_mode & 0777) | 0600;
    return S_ISREG(st.st_mode) && access(session_file, W_OK) == 0;
}

// A file of this process's own beside pym.l; one of an earlier process
// that had the same number is removed first.
static int open_temporary(char* name, size_t size)
{
    char* p = name;
    append(&p, name + size, ".pym.l.");
    append_number(&p, name + size, (unsigned long)getpid());
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    int fd = open(name, flags, 0666);
    if (fd < 0 && errno == EEXIST && unlink(name) == 0)
        fd = open(name, flags, 0666);
    return fd;
}

// "name line column" and a LF in record; returns the length.
static size_t format_record(char* record, size_t size, const char* name, unsigned long line,
                            unsigned long column)
{
    char* p = record;
    char* end = record + size;
    append(&p, end, name);
    append(&p, end, " ");
    append_number(&p, end, line);
    append(&p, end, " ");
    append_number(&p, end, column);
    append(&p, end, "\n");
    return size_t(p - record);
}

/*
 * Where the directory takes no new file, the record goes over the old
 * one, and the file is cut after it.
 */
static void write_in_place(const char* record, size_t length)
{
    int fd = open(session_file, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && write_fully(fd, record, length) &&
        ftruncate(fd, off_t(length)) != 0) {
        // the old record's tail after the new line is never read
    }
    close(fd);
}

/*
 * The record goes to a temporary file renamed over pym.l: two editors
 * ending at once in one directory leave one whole record, never one
 * written over the other, and a rename never follows a symbolic link.
 * Async-signal-safe: no allocation, only open, write, rename and the like.
 */
void write_session_record(unsigned long line, unsigned long column)
{
    // a name longer than a path, or one holding a LF, would read back as another
    const char* name = start_name.c_str();
    bool exists;
    mode_t mode = 0;
    if (start_name.size() >= 4096 || memchr(name, '\n', start_name.size()) || !may_replace(&exists, &mode))
        return;
    char record[4200];
    size_t length = format_record(record, sizeof record, name, line, column);
    char temp[40];
    int fd = open_temporary(temp, sizeof temp);
    if (fd < 0) {
        if (exists)
            write_in_place(record, length);
        return;
    }
    bool ok = (!exists || fchmod(fd, mode) == 0) && write_fully(fd, record, length);
    if (close(fd) != 0)
        ok = false;
    if (!ok || rename(temp, session_file) != 0)
        unlink(temp);
}
