/*
 * Recovery: the text a journal keeps, rebuilt in the store. The base is
 * read as the text was opened (a copy of a file, read as that file is), or
 * taken as it was (a copy of the text), then every whole record is made
 * again, in order, with the same operations that made it the first time.
 */
#include "store/journal.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "store/files.h"
#include "store/journal_format.h"
#include "store/store.h"

namespace {

bool read_varint(const byte** p, const byte* end, uint64_t* v)
{
    *v = 0;
    for (int shift = 0; *p < end && shift < 64; shift += 7) {
        byte b = *(*p)++;
        *v |= uint64_t(b & 0x7F) << shift;
        if (!(b & 0x80))
            return true;
    }
    return false;
}

size_t text_size()
{
    return size_t(text_end - text_begin);
}

// A change that stays inside the text and leaves its last NUL.
bool fits(uint64_t offset, uint64_t removed)
{
    return offset <= text_size() && removed <= text_size() - offset && (removed == 0 || offset + removed < text_size());
}

bool replay_same(const record& h, const byte* p, const byte* end)
{
    if (end - p < 8)
        return false;
    uint64_t each;
    std::memcpy(&each, p, 8);
    p += 8;
    if (uint64_t(end - p) < each)
        return false;
    const byte* bytes = p;
    p += each;
    std::vector<text_change> batch;
    uint64_t at = h.offset;
    for (uint64_t i = 0; i < h.count; i++) {
        uint64_t gap = 0;
        if (i > 0 && !read_varint(&p, end, &gap))
            return false;
        at += gap;
        if (!fits(at, h.removed) || (!batch.empty() && at < batch.back().offset + h.removed))
            return false;
        batch.push_back({at, h.removed, bytes, each});
    }
    return apply_changes(batch, false);
}

bool replay_batch(const record& h, const byte* p, const byte* end)
{
    if (uint64_t(end - p) / sizeof(batch_part) < h.count)
        return false;
    std::vector<batch_part> parts(h.count);
    if (h.count)
        std::memcpy(parts.data(), p, h.count * sizeof(batch_part));
    p += h.count * sizeof(batch_part);
    std::vector<std::vector<uint32_t>> ends(h.count);
    std::vector<text_change> batch;
    const byte* bytes = p;
    for (const batch_part& b : parts)
        p += b.length;
    if (p > end)
        return false;
    for (size_t i = 0; i < parts.size(); i++) {
        const batch_part& b = parts[i];
        if (uint64_t(end - p) / 4 < b.crlf_count || !fits(b.offset, b.removed) ||
            (i > 0 && b.offset < parts[i - 1].offset + parts[i - 1].removed))
            return false;
        ends[i].resize(b.crlf_count);
        if (b.crlf_count)
            std::memcpy(ends[i].data(), p, b.crlf_count * 4);
        p += b.crlf_count * 4;
        batch.push_back({b.offset, b.removed, bytes, b.length, b.explicit_crlf ? &ends[i] : nullptr});
        bytes += b.length;
    }
    return apply_changes(batch, false);
}

// Makes the change a record holds; false when it does not fit the text.
bool replay(const record& h, const std::vector<byte>& payload)
{
    const byte* p = payload.data();
    const byte* end = p + h.payload;
    byte* at = text_begin + h.offset;
    bool ok = true;
    switch (h.kind) {
    case 'I': ok = h.offset < text_size() && insert_bytes(at, p, h.payload); break;
    case 'R': ok = fits(h.offset, h.removed) && (remove_range(at, at + h.removed), true); break;
    case 'O': ok = fits(h.offset, h.payload) && (overwrite_bytes(at, p, h.payload), true); break;
    case 'S': ok = replay_same(h, p, end); break;
    case 'B': ok = replay_batch(h, p, end); break;
    case 'P': break;
    default: ok = false; break;
    }
    set_placeholder_line(h.flags & placeholder_flag);
    return ok;
}

// Reads the records of the log, making each whole one, to the first that
// is not (a record cut short by the end of the editor, or a bad one).
void replay_log(int fd, const header& h)
{
    std::vector<byte> payload;
    for (uint64_t at = h.log_start; at + sizeof(record) <= h.log_end;) {
        record head;
        if (pread(fd, &head, sizeof head, off_t(at)) != ssize_t(sizeof head) || head.length < sizeof head ||
            head.payload > head.length - sizeof head || at + head.length > h.log_end)
            return;
        payload.resize(head.payload);
        if (pread(fd, payload.data(), payload.size(), off_t(at + sizeof head)) != ssize_t(payload.size()))
            return;
        record bare = head;
        bare.check = 0;
        record_check check;
        check.add(&bare, sizeof bare);
        check.add(payload.data(), payload.size());
        if (check.value() != head.check || !replay(head, payload))
            return;
        at += head.length;
    }
}

// The base as the text: the file copy read as the file was, or the text copy.
bool read_base(int fd, const header& h)
{
    if (h.base == file_copy) {
        file_result r = load_region(fd, off_t(header_size), off_t(h.base_length), text_begin);
        fill_empty_text();
        return r.status == file_status::done;
    }
    byte block[1 << 16];
    for (uint64_t done = 0; done < h.base_length;) {
        size_t want = size_t(std::min<uint64_t>(sizeof block, h.base_length - done));
        if (pread(fd, block, want, off_t(header_size + done)) != ssize_t(want) || !insert_bytes(text_end, block, want))
            return false;
        done += want;
    }
    std::vector<size_t> ends(h.base_crlf);
    size_t bytes = ends.size() * sizeof(size_t);
    if (pread(fd, ends.data(), bytes, off_t(header_size + h.base_length)) != ssize_t(bytes))
        return false;
    set_crlf_line_ends(std::move(ends));
    set_placeholder_line(h.flags & placeholder_flag);
    return text_end > text_begin && text_end[-1] == 0;
}

}  // namespace

bool recover_text(const found_journal& f, size_t* cursor)
{
    int fd = open(f.path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    header h;
    bool ok = pread(fd, &h, sizeof h, 0) == ssize_t(sizeof h) && std::memcmp(h.magic, journal_magic, sizeof journal_magic) == 0 &&
              h.base != no_base;
    if (ok) {
        empty_text(size_t(h.base_length));
        text_crlf = (h.flags & all_crlf) != 0;
        ok = read_base(fd, h);
    }
    if (ok)
        replay_log(fd, h);
    close(fd);
    *cursor = std::min<size_t>(size_t(h.last_offset), text_size() - 1);
    return ok;
}

