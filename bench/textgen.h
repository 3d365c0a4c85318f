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

// size bytes of text; with marker_from_end > 0, the line that many lines
// before the last starts with find_marker.
GeneratedText generate_text(size_t size, uint64_t seed, long marker_from_end = 0);
// One line of size - 1 bytes and its newline.
std::string generate_long_line(size_t size, uint64_t seed);
// n characters to type: words, and a CR as every 60th character.
std::string generate_typing(size_t n);
