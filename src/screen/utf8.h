// Characters of a UTF-8 text. In a UTF-8 locale (utf8_text) a character
// is what a reader takes for one: an extended grapheme cluster of Unicode
// (a letter and its combining marks, emoji joined by U+200D, the two
// regional indicators of a flag, a character and its variation selector)
// made of well-formed UTF-8 sequences (no overlong form, no surrogate, at
// most U+10FFFF). A byte that is part of no sequence is a character of its
// own, and so is a code point that cannot start one (a combining mark with
// nothing to combine with, an unprintable code point): both show the
// glyphs of their bytes. In any other locale every byte is a character.
// Cluster breaks and widths come from utf8proc's tables.
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

// The most bytes one character holds: a longer cluster (a letter under
// dozens of marks) goes on as characters of their own, so that a cell of
// the screen stays small.
const int max_character_bytes = 64;

// The bytes of the character at p in a UTF-8 text, from the tables.
int cluster_length(const byte* p, const byte* end);

// The bytes of the character at p. Two bytes below 0xC2 in a row never
// join, so ASCII text is taken a byte at a time without the tables.
inline int character_length(const byte* p, const byte* end = nullptr)
{
    if (!utf8_text || *p == 0 || (*p < 0xC2 && (*p >= 0x80 || (end && p + 1 >= end) || p[1] < 0xC2)))
        return 1;
    return cluster_length(p, end);
}

// For a character of len bytes (len > 1, or a byte of 0x80 or more): the
// cells it takes when it goes out as itself, or 0 when it is shown as the
// glyphs of its bytes instead (a lone combining mark, an unprintable code
// point, a byte that is no character). A cluster takes the sum of its code
// points' widths, as a terminal draws it that knows no clusters; with
// grapheme_width_mode, the width the terminal gives the cluster as one.
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
