#include "store/store.h"

#include "store/history.h"

#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

static byte* numbered_line;     // a line start whose number is known, or null
static unsigned numbered_value; // its number

bool allocate_store(uint32_t capacity)
{
    byte* block = static_cast<byte*>(std::malloc(size_t(capacity) + 2));
    if (!block)
        return false;
    store_block = block;
    text_capacity = capacity;
    text_begin = text_end = block + 2;
    std::memset(block, 0, capacity >= 2 ? 4 : 2 + capacity);
    forget_line_numbers();
    return true;
}

void expect_bulk_write(byte* lo, byte* hi)
{
#ifdef MADV_POPULATE_WRITE
    uintptr_t small = uintptr_t(sysconf(_SC_PAGESIZE));
    uintptr_t from = reinterpret_cast<uintptr_t>(lo) & ~(small - 1);
    uintptr_t to = (reinterpret_cast<uintptr_t>(hi) + small - 1) & ~(small - 1);
    if (to >= from + 16 * small)
        madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
#else
    (void)lo;
    (void)hi;
#endif
}

void (*after_move)();

unsigned long text_changes;

void begin_change()
{
    text_changes++;
    store_busy = store_busy + 1;
}

void end_change()
{
    store_busy = store_busy - 1;
    if (store_busy == 0 && deferred_signal && end_deferred)
        end_deferred(deferred_signal);
}

void move_bytes(byte* dst, const byte* src, size_t count)
{
    if (count && dst != src)
        std::memmove(dst, src, count);
    if (after_move)
        after_move();
}

byte* copy_bytes(const byte* src, const byte* end, byte* dst)
{
    if (src >= end)
        return dst;
    std::memcpy(dst, src, size_t(end - src));
    return dst + (end - src);
}

/*
 * The zero bytes before text_begin end every backward scan, so the scan
 * needs no bound of its own.
 */
byte* line_start_of(byte* p)
{
    byte* nul = static_cast<byte*>(memrchr(store_block, 0, size_t(p - store_block)));
    return nul + 1;
}

byte* next_line(byte* p)
{
    if (p >= text_end)
        return text_end;
    byte* nul = static_cast<byte*>(std::memchr(p, 0, size_t(text_end - p)));
    return nul ? nul + 1 : text_end;
}

byte* prev_line(byte* p)
{
    return line_start_of(p - 1);
}

// The zero bytes among the eight in x. Exact: no carry crosses a byte.
// The high bits are summed by a multiply, which needs no popcount
// instruction.
static unsigned zeros_in_word(uint64_t x)
{
    const uint64_t low7 = 0x7F7F7F7F7F7F7F7FULL;
    uint64_t high = ~(((x & low7) + low7) | x | low7);
    return unsigned(((high >> 7) * 0x0101010101010101ULL) >> 56);
}

#ifdef __SSE2__
// The zero bytes among the 16 * k at p (k at most 255): each compare
// gives 0 or 1 per byte lane, summed into the lanes, then across them.
static unsigned zeros_in_blocks(const byte* p, int k)
{
    const __m128i zero = _mm_setzero_si128(), one = _mm_set1_epi8(1);
    __m128i sum = zero;
    for (int i = 0; i < k; i++) {
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
        sum = _mm_add_epi8(sum, _mm_and_si128(_mm_cmpeq_epi8(x, zero), one));
    }
    __m128i total = _mm_sad_epu8(sum, zero);
    return unsigned(_mm_cvtsi128_si32(total) + _mm_extract_epi16(total, 4));
}

static unsigned zeros_in_block(const byte* p)
{
    return zeros_in_blocks(p, 4);
}
#else
static unsigned zeros_in_block(const byte* p)
{
    unsigned n = 0;
    for (int i = 0; i < 64; i += 8) {
        uint64_t word;
        std::memcpy(&word, p + i, 8);
        n += zeros_in_word(word);
    }
    return n;
}
#endif

/*
 * Line ends are counted sixteen bytes at a time (eight without the
 * instructions for it), and whole lines skipped a block at a time: long
 * moves and line numbers cost a pass over the bytes, not a call per line.
 */
unsigned long count_nuls(const byte* from, const byte* to)
{
    unsigned long n = 0;
#ifdef __SSE2__
    for (; to - from >= 16 * 255; from += 16 * 255)
        n += zeros_in_blocks(from, 255);
    if (to - from >= 16) {
        int k = int((to - from) / 16);
        n += zeros_in_blocks(from, k);
        from += 16 * k;
    }
#endif
    for (; to - from >= 8; from += 8) {
        uint64_t word;
        std::memcpy(&word, from, 8);
        n += zeros_in_word(word);
    }
    for (; from < to; from++)
        n += *from == 0;
    return n;
}

byte* lines_forward(byte* p, long n, long* moved)
{
    long done = 0;
    while (done < n && p < text_end) {
        for (unsigned c; text_end - p >= 64 && done + (c = zeros_in_block(p)) < n; p += 64)
            done += c;
        p = next_line(p);
        done++;
    }
    *moved = done;
    return p;
}

byte* lines_back(byte* p, long n, long* moved)
{
    // the start n lines up follows the (n + 1)-th NUL below p
    unsigned long need = (unsigned long)n + 1, found = 0;
    byte* q = p;
    for (unsigned c; q - text_begin >= 64 && found + (c = zeros_in_block(q - 64)) < need; q -= 64)
        found += c;
    while (q > text_begin) {
        if (*--q == 0 && ++found == need) {
            *moved = n;
            return q + 1;
        }
    }
    *moved = long(found);
    return text_begin;
}

void forget_line_numbers()
{
    text_changes++;
    numbered_line = nullptr;
}

unsigned line_number_of(byte* p)
{
    if (!numbered_line || numbered_line > text_end) {
        numbered_line = text_begin;
        numbered_value = 1;
    }
    if (p >= numbered_line)
        numbered_value += count_nuls(numbered_line, p);
    else
        numbered_value -= count_nuls(p, numbered_line);
    numbered_line = p;
    return numbered_value;
}

void note_line_number(byte* line, unsigned n)
{
    numbered_line = line;
    numbered_value = n;
}

void keep_line_number_below(byte* p)
{
    if (numbered_line && p < numbered_line)
        line_number_of(line_start_of(p));
}

byte* store_bottom()
{
    return store_block + 2;
}

byte* store_top()
{
    return store_block + 2 + text_capacity;
}

// Makes the two bytes before the text zero: they stop every backward scan.
static void mark_text_begin()
{
    text_begin[-1] = text_begin[-2] = 0;
}

void empty_text(size_t expected)
{
    size_t slack = expected < text_capacity ? (text_capacity - expected) / 2 : 0;
    text_begin = text_end = store_bottom() + slack;
    mark_text_begin();
    forget_line_numbers();
}

void shift_positions(byte* lo, byte* hi, long delta)
{
    byte** kept[] = {&cursor, &line_start, &view_start, &window_top, &window_bottom,
                     &selection_start, &numbered_line};
    for (byte** p : kept)
        if (*p && *p >= lo && *p <= hi)
            *p += delta;
}

void slide_text_to(byte* begin)
{
    long delta = begin - text_begin;
    if (delta == 0)
        return;
    change_scope change;
    move_bytes(begin, text_begin, size_t(text_end - text_begin));
    shift_positions(text_begin, text_end, delta);
    text_begin += delta;
    text_end += delta;
    mark_text_begin();
}

/*
 * Opens n bytes of room at pos. The text lies somewhere in the block with
 * free room below and above it; the shorter side of pos moves, so typing
 * near the start of a long text costs as little as near its end. Moving
 * the start down takes every position up to pos with it: the room is then
 * just before the byte that was at pos, and a cursor at pos is on its
 * first byte either way. Returns the new place of that byte.
 */
byte* open_room(byte* pos, long n)
{
    if (n <= 0 || size_t(text_end - text_begin) + size_t(n) > text_capacity)
        return nullptr;
    change_scope change;
    keep_line_number_below(pos);
    long below = text_begin - store_bottom(), above = store_top() - text_end;
    if (below < n && above < n) {
        long offset = pos - text_begin;
        slide_text_to(store_bottom());
        pos = text_begin + offset;
        below = 0;
    }
    modified = 1;
    bool start_is_shorter = pos - text_begin < text_end - pos;
    if (below >= n && (start_is_shorter || above < n)) {
        bool selection_here = selection_start == pos;   // it follows the byte at pos
        move_bytes(text_begin - n, text_begin, size_t(pos - text_begin));
        shift_positions(text_begin, pos, -n);
        if (selection_here)
            selection_start = pos;
        text_begin -= n;
        mark_text_begin();
        record_insert(pos - n, size_t(n));
        return pos;
    }
    byte* q = next_line(pos);
    move_bytes(pos + n, pos, size_t(text_end - pos));
    text_end += n;
    if (window_top >= q)
        window_top += n;
    if (window_bottom >= q)
        window_bottom += n;
    if (selection_start && selection_start >= pos)
        selection_start += n;
    record_insert(pos, size_t(n));
    return pos + n;
}

void overwrite_bytes(byte* pos, const byte* src, size_t n)
{
    if (n == 0)
        return;
    change_scope change;
    keep_line_number_below(pos);    // the bytes may hold line ends
    record_overwrite(pos, n);
    std::memcpy(pos, src, n);
    modified = 1;
}

/*
 * Growing, the room is opened after the last match and the pieces move up
 * from the last to the first; shrinking, they move down from the first and
 * the room left after the last is closed. Either way every byte moves
 * once, into a place it no longer needs.
 */
std::vector<size_t> rewrite_at(const std::vector<size_t>& at, size_t old_length,
                               const std::string& with)
{
    size_t k = at.size(), n = with.size();
    std::vector<size_t> now(k);
    if (k == 0)
        return now;
    keep_line_number_below(text_begin + at[0]);
    change_scope change;
    size_t end = at.back() + old_length;
    for (size_t i = 0; i < k; i++)
        now[i] = at[i] + i * n - i * old_length;
    if (n > old_length) {
        if (!open_room(text_begin + end, long(k * (n - old_length))))
            return at;
        for (size_t i = k; i-- > 0;) {
            size_t from = at[i] + old_length, to = (i + 1 < k ? at[i + 1] : end);
            move_bytes(text_begin + now[i] + n, text_begin + from, to - from);
            std::memcpy(text_begin + now[i], with.data(), n);
        }
    } else {
        for (size_t i = 0; i < k; i++) {
            size_t from = at[i] + old_length, to = (i + 1 < k ? at[i + 1] : end);
            std::memcpy(text_begin + now[i], with.data(), n);
            move_bytes(text_begin + now[i] + n, text_begin + from, to - from);
        }
        if (n < old_length)
            remove_range(text_begin + end - k * (old_length - n), text_begin + end);
    }
    modified = 1;
    return now;
}

void remove_range(byte* a, byte* b)
{
    if (a == b)
        return;
    change_scope change;
    modified = 1;
    byte* lo = a < b ? a : b;
    byte* hi = a < b ? b : a;
    record_remove(lo, hi);
    long d = hi - lo;
    keep_line_number_below(lo);
    byte* old_next = next_line(hi);
    byte* q = old_next - d;
    if (window_top > q)
        window_top -= d;
    if (window_bottom > q)
        window_bottom -= d;
    if (selection_start && selection_start > lo)
        selection_start = selection_start >= hi ? selection_start - d : lo;
    move_bytes(lo, hi, size_t(text_end - hi));
    text_end -= d;
}

const char* broken_store_rule()
{
    if (text_begin < store_bottom() || text_end > store_top())
        return "the text lies in the block";
    if (text_begin[-1] != 0 || text_begin[-2] != 0)
        return "two zero bytes before the text";
    if (text_end < text_begin || size_t(text_end - text_begin) > text_capacity)
        return "the text's bounds";
    if (text_end > text_begin && text_end[-1] != 0)
        return "the text ends with a NUL";
    if (numbered_line && numbered_line <= text_end &&
        (numbered_line == text_begin || numbered_line[-1] == 0) &&
        numbered_value != 1 + count_nuls(text_begin, numbered_line))
        return "the remembered line number";
    return nullptr;
}
