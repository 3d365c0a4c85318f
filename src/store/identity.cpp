#include "store/identity.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

static uint64_t rotate(uint64_t x, int r)
{
    return (x << r) | (x >> (64 - r));
}

void content_hash::mix(const byte* block)
{
    for (int i = 0; i < 4; i++) {
        uint64_t w;
        std::memcpy(&w, block + 8 * i, 8);
        lane[i] = rotate(lane[i] + w * 0xC2B2AE3D27D4EB4FULL, 31) * 0x9E3779B97F4A7C15ULL;
    }
}

void content_hash::add(const byte* p, size_t n)
{
    if (n == 0)
        return;
    total += n;
    if (staged_length) {
        size_t take = std::min(n, sizeof staged - staged_length);
        std::memcpy(staged + staged_length, p, take);
        staged_length += take;
        p += take;
        n -= take;
        if (staged_length < sizeof staged)
            return;
        mix(staged);
        staged_length = 0;
    }
    for (; n >= 32; p += 32, n -= 32)
        mix(p);
    std::memcpy(staged, p, n);
    staged_length = n;
}

uint64_t content_hash::value() const
{
    content_hash h = *this;
    std::memset(h.staged + h.staged_length, 0, sizeof staged - h.staged_length);
    h.mix(h.staged);
    uint64_t v = total * 0x165667B19E3779F9ULL;
    for (uint64_t l : h.lane)
        v = rotate(v ^ l, 27) * 0x9E3779B97F4A7C15ULL + 0x85EBCA77C2B2AE63ULL;
    return v ^ (v >> 29);
}

uint64_t empty_hash()
{
    return content_hash().value();
}

// The hash of the regular file open at fd, or false when it cannot be read.
static bool hash_of(int fd, uint64_t* out)
{
    content_hash h;
    byte block[1 << 16];
    for (;;) {
        ssize_t got = read(fd, block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            break;
        h.add(block, size_t(got));
    }
    *out = h.value();
    return true;
}

file_identity identify_file(const char* path, bool with_hash)
{
    file_identity id;
    struct stat st;
    if (lstat(path, &st) != 0)
        return id;
    id.exists = true;
    id.symlink = S_ISLNK(st.st_mode);
    if (id.symlink && stat(path, &st) != 0)
        return id;
    id.device = st.st_dev;
    id.inode = st.st_ino;
    id.size = st.st_size;
    id.modified = st.st_mtim;
    if (with_hash && !id.symlink && S_ISREG(st.st_mode)) {
        int fd = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            id.hashed = hash_of(fd, &id.hash);
            close(fd);
        }
    }
    return id;
}

bool same_file_unchanged(const file_identity& a, const file_identity& b)
{
    return a.exists == b.exists && a.symlink == b.symlink && a.device == b.device && a.inode == b.inode &&
           a.size == b.size && a.modified.tv_sec == b.modified.tv_sec && a.modified.tv_nsec == b.modified.tv_nsec;
}
