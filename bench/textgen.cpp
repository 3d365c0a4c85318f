#include "textgen.h"

#include <cstring>

namespace {

struct Rng {
    uint64_t s;
    uint64_t next()
    {
        uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    unsigned below(unsigned n) { return unsigned(next() % n); }
};

const char* const words[] = {
    "the", "of", "and", "a", "to", "in", "is", "you", "that", "it", "he", "was", "for", "on",
    "are", "as", "with", "his", "they", "at", "be", "this", "have", "from", "or", "one", "had",
    "by", "word", "but", "not", "what", "all", "were", "we", "when", "your", "can", "said",
    "there", "use", "an", "each", "which", "she", "do", "how", "their", "if", "will", "up",
    "other", "about", "out", "many", "then", "them", "these", "so", "some", "her", "would",
    "make", "like", "him", "into", "time", "has", "look", "two", "more", "write", "go", "see",
    "number", "no", "way", "could", "people", "my", "than", "first", "water", "been", "call",
    "who", "oil", "its", "now", "find", "long", "down", "day", "did", "get", "come", "made",
    "may", "part", "x", "i", "42", "(void)", "=", "{", "}", ";", "0x1f", "return", "if(x)",
};
const unsigned word_count = sizeof words / sizeof words[0];

// Appends exactly len bytes of words to out; tabs now and then.
void append_words(std::string& out, size_t len, Rng& rng, bool may_indent)
{
    size_t end = out.size() + len;
    if (may_indent && len > 0 && rng.below(6) == 0) {
        unsigned tabs = 1 + rng.below(3);
        for (unsigned i = 0; i < tabs && out.size() < end; i++)
            out += '\t';
    }
    while (out.size() < end) {
        const char* w = words[rng.below(word_count)];
        size_t n = std::min(strlen(w), end - out.size());
        out.append(w, n);
        if (out.size() < end)
            out += rng.below(20) == 0 ? '\t' : ' ';
    }
}

} // namespace

GeneratedText generate_text(size_t size, uint64_t seed, long marker_from_end)
{
    Rng rng{seed};
    GeneratedText t;
    t.bytes.reserve(size);
    // random lines, then one of what is left and a short last one (so that
    // typing at the end never scrolls the view sideways); the first and the
    // last lines start at the left edge, so that typed lines are never
    // indented by the editor
    const size_t last = 10;
    while (size - t.bytes.size() > 121 + last + 1) {
        append_words(t.bytes, rng.below(121), rng, t.lines > 0);
        t.bytes += '\n';
        t.lines++;
    }
    if (size - t.bytes.size() > last + 1) {
        append_words(t.bytes, size - t.bytes.size() - last - 2, rng, false);
        t.bytes += '\n';
        t.lines++;
    }
    append_words(t.bytes, size - t.bytes.size() - 1, rng, false);
    t.bytes += '\n';
    t.lines++;
    if (marker_from_end > 0) {
        // the nearest line at least as long as the marker, going back
        size_t mlen = strlen(find_marker);
        size_t pos = t.bytes.size();
        long line = t.lines + 1;
        for (long back = 0; pos > 0;) {
            size_t start = t.bytes.rfind('\n', pos - 2);
            start = start == std::string::npos ? 0 : start + 1;
            line--;
            back++;
            if (back > marker_from_end && pos - 1 - start >= mlen) {
                memcpy(&t.bytes[start], find_marker, mlen);
                t.marker_line = line;
                break;
            }
            pos = start;
        }
    }
    return t;
}

std::string generate_long_line(size_t size, uint64_t seed)
{
    Rng rng{seed};
    std::string s;
    s.reserve(size);
    append_words(s, size - 1, rng, false);
    s += '\n';
    return s;
}

std::string generate_typing(size_t n)
{
    Rng rng{7};
    std::string s;
    while (s.size() < n) {
        if ((s.size() + 1) % 60 == 0) {
            s += '\r';
            continue;
        }
        const char* w = words[rng.below(40)];     // plain words only
        for (const char* p = w; *p && s.size() < n && (s.size() + 1) % 60 != 0; p++)
            s += *p;
        if (s.size() < n && (s.size() + 1) % 60 != 0)
            s += ' ';
    }
    return s;
}
