// Deterministic test texts: lines of 0-120 bytes of lowercase words, some
// indented or broken by tabs, of an exact size, the same on every machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct GeneratedText {
    std::string bytes;
    long lines = 0;             // newline-ended lines
    long marker_line = 0;       // 1-based line that starts with the marker, or 0
};

// The marker: upper case, which the generated words never are.
inline const char find_marker[] = "QUOKKAFIND";

// A word for the replace workloads, one in common_word_one_in of the words
// of a text made with it: about 7,000 times in 1 MB.
inline const char common_word[] = "alpha";
const unsigned common_word_one_in = 32;

// size bytes of text; with marker_from_end > 0, the line that many lines
// before the last starts with find_marker; with common_word set, that word
// is one in common_word_one_in of the words.
GeneratedText generate_text(size_t size, uint64_t seed, long marker_from_end = 0,
                            const char* extra_word = nullptr);
// About size bytes of UTF-8 text of mixed scripts, lines of 0-120 bytes of
// whole words, but line long_line (1-based) has at least long_chars
// characters; the last line is "last line".
std::string generate_utf8_text(size_t size, uint64_t seed, long long_line, size_t long_chars);
// One line of size - 1 bytes and its newline.
std::string generate_long_line(size_t size, uint64_t seed);
// n characters to type: words, and a CR as every 60th character.
std::string generate_typing(size_t n);
