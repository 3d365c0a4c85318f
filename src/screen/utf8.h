// Characters of a UTF-8 text. In a UTF-8 locale (utf8_text) a character
// is a well-formed UTF-8 sequence of 2 to 4 bytes (no overlong form, no
// surrogate, at most U+10FFFF) or any single byte that is not part of one;
// in any other locale every byte is a character.
#pragma once

#include "state/state.h"

// Chooses from the locale's character set; true when it is UTF-8.
bool use_locale_character_set();

// The bytes of a sequence that starts with the lead byte b (2 to 4), or 0
// when b starts none.
inline int lead_length(byte b)
{
    return b < 0xC2 || b > 0xF4 ? 0 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
}

// The bytes of the well-formed sequence at p (2 to 4), or 1; it reads no
// further than end (or, without one, than a NUL, which ends any sequence).
int sequence_length(const byte* p, const byte* end = nullptr);

// The bytes of the character at p.
inline int character_length(const byte* p, const byte* end = nullptr)
{
    return utf8_text && *p >= 0xC2 ? sequence_length(p, end) : 1;
}

// For a character of len bytes (len > 1): the cells it takes when it goes
// out as itself (what wcwidth says, 1 or 2), or 0 when it is shown as the
// glyphs of its bytes instead (a combining mark, an unprintable code point).
int glyph_width(const byte* p, int len);
// The cells it takes either way.
inline int character_cells(const byte* p, int len)
{
    int w = glyph_width(p, len);
    return w ? w : len;
}

// The start of the character that holds p, in the line that starts at
// line; p itself when a character starts there.
// A sequence is looked at no further than end, when given.
const byte* character_start(const byte* line, const byte* p, const byte* end = nullptr);
// The start of the character before p (p after line).
const byte* previous_character(const byte* line, const byte* p, const byte* end = nullptr);
