#include "screen/utf8.h"

#include <clocale>
#include <cstring>
#include <langinfo.h>
#include <utf8proc.h>

bool use_locale_character_set()
{
    setlocale(LC_CTYPE, "");
    const char* set = nl_langinfo(CODESET);
    utf8_text = set && (strcmp(set, "UTF-8") == 0 || strcmp(set, "utf8") == 0);
    if (!utf8_text)             // bytes keep the C locale's meaning (toupper)
        setlocale(LC_CTYPE, "C");
    return utf8_text;
}

static bool continuation(const byte* p, const byte* end)
{
    return (!end || p < end) && *p >= 0x80 && *p <= 0xBF;
}

// The well-formed forms: the second byte's range depends on the first, so
// that no overlong form, surrogate or code point past U+10FFFF passes.
int sequence_length(const byte* p, const byte* end)
{
    byte b = p[0];
    int len = lead_length(b);
    if (len == 0)
        return 1;
    byte lo = b == 0xE0 ? 0xA0 : b == 0xF0 ? 0x90 : 0x80;
    byte hi = b == 0xED ? 0x9F : b == 0xF4 ? 0x8F : 0xBF;
    if ((end && p + 1 >= end) || p[1] < lo || p[1] > hi)
        return 1;
    for (int i = 2; i < len; i++)
        if (!continuation(p + i, end))
            return 1;
    return len;
}

static utf8proc_int32_t code_point(const byte* p, int len)
{
    if (len == 1)
        return p[0];
    utf8proc_int32_t c = p[0] & (0x7F >> len);
    for (int i = 1; i < len; i++)
        c = (c << 6) | (p[i] & 0x3F);
    return c;
}

// A byte of 0x80 or more that starts no sequence: a character alone.
static bool stray_byte(const byte* p, int len)
{
    return len == 1 && *p >= 0x80;
}

// The cells code point c takes at the start of a character, or 0 when it
// cannot start one that goes out as itself.
static int leading_width(utf8proc_int32_t c)
{
    if (c < 0x80)
        return c >= 0x20 && c < 0x7F;
    utf8proc_category_t k = utf8proc_category(c);
    if (k == UTF8PROC_CATEGORY_CN || k == UTF8PROC_CATEGORY_CC || k == UTF8PROC_CATEGORY_CS)
        return 0;
    return utf8proc_charwidth(c);
}

/*
 * A character that starts with a code point of no width is that code
 * point alone, shown as its bytes' glyphs: a combining mark at a line's
 * start does not swallow the marks after it.
 */
int cluster_length(const byte* p, const byte* end)
{
    int len = sequence_length(p, end);
    if (stray_byte(p, len))
        return 1;
    utf8proc_int32_t c = code_point(p, len);
    if (leading_width(c) == 0)
        return len;
    utf8proc_int32_t state = 0;
    for (;;) {
        const byte* q = p + len;
        if ((end && q >= end) || *q == 0)
            break;
        int n = sequence_length(q, end);
        if (stray_byte(q, n) || len + n > max_character_bytes)
            break;
        utf8proc_int32_t d = code_point(q, n);
        if (utf8proc_grapheme_break_stateful(c, d, &state))
            break;
        len += n;
        c = d;
    }
    return len;
}

/*
 * A terminal that draws a cluster as one gives it its first code point's
 * width, but two when U+FE0F asks for the emoji's picture (and for a
 * flag), one when U+FE0E asks for its text form.
 */
static int cluster_width(const byte* p, int len, int first)
{
    int regional = 0;
    for (int i = 0, n; i < len; i += n) {
        n = sequence_length(p + i, p + len);
        utf8proc_int32_t c = code_point(p + i, n);
        if (c == 0xFE0F)
            return 2;
        if (c == 0xFE0E)
            return 1;
        regional += utf8proc_get_property(c)->boundclass == UTF8PROC_BOUNDCLASS_REGIONAL_INDICATOR;
    }
    return regional == 2 ? 2 : first;
}

int glyph_width(const byte* p, int len)
{
    int n = sequence_length(p, p + len);
    int w = stray_byte(p, n) ? 0 : leading_width(code_point(p, n));
    if (w == 0 || n == len)
        return w;
    if (grapheme_width_mode)
        return cluster_width(p, len, w);
    for (int i = n; i < len; i += n) {
        n = sequence_length(p + i, p + len);
        w += stray_byte(p + i, n) ? 1 : utf8proc_charwidth(code_point(p + i, n));
    }
    return w;
}

/*
 * A lead byte is never a continuation byte, so no sequence that starts
 * before it can hold it: the lead byte at most three back whose sequence
 * reaches p starts the code point, and one starts at any byte where none
 * does.
 */
static const byte* sequence_start(const byte* line, const byte* p, const byte* end)
{
    if (*p < 0x80 || *p > 0xBF)
        return p;
    for (int back = 1; back <= 3 && p - back >= line; back++) {
        const byte* q = p - back;
        if (*q < 0x80 || *q > 0xBF)
            return *q >= 0xC2 && sequence_length(q, end) > back ? q : p;
    }
    return p;
}

/*
 * Whether a character starts at the code point q whatever comes before
 * it. Whether a cluster breaks between two code points depends on the
 * code points before them only for a regional indicator after another (a
 * flag is a pair) and an emoji after U+200D (it joins an emoji before);
 * with the Indic conjuncts of Unicode 15.1, for a consonant too.
 */
static bool certain_start(const byte* line, const byte* q, const byte* end)
{
    if (q == line)
        return true;
    const byte* a = sequence_start(line, q - 1, end);
    if (*a < 0x80 && *q < 0x80)
        return true;
    int m = sequence_length(a, end), n = sequence_length(q, end);
    if (stray_byte(a, m) || stray_byte(q, n))
        return true;
    utf8proc_int32_t before = code_point(a, m), c = code_point(q, n);
    const utf8proc_property_t* b = utf8proc_get_property(before);
    const utf8proc_property_t* k = utf8proc_get_property(c);
    if (k->boundclass == UTF8PROC_BOUNDCLASS_REGIONAL_INDICATOR)
        return b->boundclass != UTF8PROC_BOUNDCLASS_REGIONAL_INDICATOR && utf8proc_grapheme_break(before, c);
    if (k->boundclass == UTF8PROC_BOUNDCLASS_EXTENDED_PICTOGRAPHIC && b->boundclass == UTF8PROC_BOUNDCLASS_ZWJ)
        return false;
#if UTF8PROC_VERSION_MAJOR > 2 || (UTF8PROC_VERSION_MAJOR == 2 && UTF8PROC_VERSION_MINOR >= 9)
    if (k->indic_conjunct_break == UTF8PROC_INDIC_CONJUNCT_BREAK_CONSONANT)
        return false;
#endif
    return utf8proc_grapheme_break(before, c);
}

/*
 * Clusters are found forward: from the nearest code point before p where
 * one must start, the characters are walked up to the one that holds p.
 */
const byte* character_start(const byte* line, const byte* p, const byte* end)
{
    if (!utf8_text)
        return p;
    const byte* q = sequence_start(line, p, end);
    if (*q < 0x80 && (q == line || q[-1] < 0x80))
        return q;
    while (!certain_start(line, q, end))
        q = sequence_start(line, q - 1, end);
    for (int len; (len = character_length(q, end)) <= p - q; q += len) {
    }
    return q;
}

const byte* previous_character(const byte* line, const byte* p, const byte* end)
{
    return character_start(line, p - 1, end);
}
