// Building a line in a fixed buffer without allocating: what a signal
// handler may do (the emergency save, the session file at a hang-up).
#pragma once

// Appends s to the buffer at *p, which ends at end; the text stays ended
// by a NUL, and what does not fit is left out.
inline void append(char** p, char* end, const char* s)
{
    while (*s && *p < end - 1)
        *(*p)++ = *s++;
    **p = 0;
}

inline void append_number(char** p, char* end, unsigned long n)
{
    char digits[24];
    int i = sizeof digits - 1;
    digits[i] = 0;
    do
        digits[--i] = char('0' + n % 10);
    while ((n /= 10) && i > 0);
    append(p, end, digits + i);
}
