#include "screen/utf8.h"

#include <clocale>
#include <cstring>
#include <cwchar>
#include <langinfo.h>

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

static wchar_t code_point(const byte* p, int len)
{
    wchar_t c = p[0] & (0x7F >> len);
    for (int i = 1; i < len; i++)
        c = (c << 6) | (p[i] & 0x3F);
    return c;
}

int glyph_width(const byte* p, int len)
{
    int w = wcwidth(code_point(p, len));
    return w == 1 || w == 2 ? w : 0;
}

/*
 * A lead byte is never a continuation byte, so no sequence that starts
 * before it can hold it: the lead byte at most three back whose sequence
 * reaches p starts the character, and a character starts at any byte
 * where none does.
 */
const byte* character_start(const byte* line, const byte* p, const byte* end)
{
    if (!utf8_text || *p < 0x80 || *p > 0xBF)
        return p;
    for (int back = 1; back <= 3 && p - back >= line; back++) {
        const byte* q = p - back;
        if (*q < 0x80 || *q > 0xBF)
            return *q >= 0xC2 && sequence_length(q, end) > back ? q : p;
    }
    return p;
}

const byte* previous_character(const byte* line, const byte* p, const byte* end)
{
    return character_start(line, p - 1, end);
}
