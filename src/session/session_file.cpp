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

// A decimal number as the session file holds it: blanks, a sign, digits.
static long parse_number(const char* p)
{
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        p++;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        p++;
    long n = 0;
    for (; *p >= '0' && *p <= '9'; p++)
        if (n < 1000000000L)
            n = n * 10 + (*p - '0');
    return negative ? -n : n;
}

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

/*
 * The session file holds "name line column". Without a blank after the
 * name there are no numbers, and the start is line 1, column 1.
 */
void read_session_file(long* line, long* column)
{
    std::string data = session_contents();
    if (data.empty())
        return;
    size_t blank = data.find(' ');
    start_name = data.substr(0, blank);
    start_name.resize(strlen(start_name.c_str()));
    if (blank == std::string::npos)
        return;
    const char* field = data.c_str() + blank + 1;
    *line = parse_number(field);
    const char* p = field;
    while (*p && static_cast<signed char>(*p) >= '0')
        p++;
    *column = parse_number(p);
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
