// Building a line in a fixed buffer without allocating: what a signal
// handler may do (the emergency save, the session file at a hang-up), and
// the numbers of the console's sequences and the status, on every key.
#pragma once

// Writes the decimal digits of n at p (at most 20, no NUL); returns the end.
inline char* decimal_digits(char* p, unsigned long n)
{
    char digits[24];
    int k = 0;
    do {
        digits[k++] = char('0' + n % 10);
        n /= 10;
    } while (n > 0);
    while (k > 0)
        *p++ = digits[--k];
    return p;
}

// Appends s to the buffer at *p, which ends at end; the text stays ended
// by a NUL, and what does not fit is left out.
inline void append(char** p, char* end, const char* s)
{
    while (*s && *p < end - 1)
        *(*p)++ = *s++;
    **p = 0;
}

// Appends the decimal digits of n as append() does a text.
inline void append_number(char** p, char* end, unsigned long n)
{
    char digits[24];
    *decimal_digits(digits, n) = 0;
    append(p, end, digits);
}
