#include "session/session_file.h"

#include <algorithm>
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
 * The record is written over the old one, which is usually as long, and
 * the file cut after it only when it was longer: emptying the file first
 * costs the file system a change of its own on every exit.
 */
void write_session_record(unsigned long line, unsigned long column)
{
    int fd = open(session_file, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return;
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        char record[4200];
        char* p = record;
        char* end = record + sizeof record;
        append(&p, end, start_name.c_str());
        append(&p, end, " ");
        append_number(&p, end, line);
        append(&p, end, " ");
        append_number(&p, end, column);
        append(&p, end, "\n");
        off_t length = p - record;
        if (write_fully(fd, record, size_t(length)) && st.st_size > length) {
            // a failed cut leaves the old record's tail after the new
            // line, which is never read
            int cut = ftruncate(fd, length);
            (void)cut;
        }
    }
    close(fd);
}
