/*
 * Finding and counting lines: a line's start and the next, line ends
 * sixteen bytes at a time, moves over many lines a block at a time, and
 * the number of a line from a remembered one; and a string in the text.
 */
#include "store/store.h"

#include <bit>
#include <cstdint>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

unsigned long text_changes;

static byte* numbered_line;     // a line start whose number is known, or null
static unsigned numbered_value; // its number

// The remembered line moves with the text like any kept position.
static const bool numbered_line_kept = (keep_position(&numbered_line, position_kind::line_start), true);

/*
 * The zero bytes before text_begin end every backward scan, so the scan
 * needs no bound of its own.
 */
byte* line_start_of(byte* p)
{
    byte* nul = static_cast<byte*>(memrchr(text_begin - 1, 0, size_t(p - (text_begin - 1))));
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
 * A string in the text: sixteen places at a time are tried at once, each
 * by its first and its last byte, and only a place where both agree is
 * compared whole. Ordinary text gives few such places, so the scan costs
 * about a compare per sixteen bytes.
 */
byte* find_bytes(byte* p, byte* end, const char* s, size_t len)
{
    if (len == 0)
        return p;
    if (size_t(end - p) < len)
        return nullptr;
    if (len == 1)
        return static_cast<byte*>(std::memchr(p, byte(s[0]), size_t(end - p)));
    byte* last_start = end - len;   // the last place a match may start
#ifdef __SSE2__
    const __m128i first = _mm_set1_epi8(s[0]), last = _mm_set1_epi8(s[len - 1]);
    for (; last_start - p >= 15; p += 16) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + len - 1));
        unsigned both = unsigned(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
        for (; both; both &= both - 1) {
            byte* at = p + std::countr_zero(both);
            if (std::memcmp(at + 1, s + 1, len - 2) == 0)
                return at;
        }
    }
#endif
    for (; p <= last_start; p++)
        if (*p == byte(s[0]) && std::memcmp(p + 1, s + 1, len - 1) == 0)
            return p;
    return nullptr;
}

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


bool numbered_line_is_wrong()
{
    return numbered_line && numbered_line <= text_end &&
           (numbered_line == text_begin || numbered_line[-1] == 0) &&
           numbered_value != 1 + count_nuls(text_begin, numbered_line);
}
