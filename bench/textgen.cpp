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

// Words of other scripts, all in precomposed form (no combining marks):
// Latin with accents, Greek, Cyrillic, CJK and kana (two columns wide) and
// emoji of the wide block U+1F600-U+1F64F.
const char* const intl_words[] = {
    "café", "naïve", "façade", "élève", "über", "straße", "señor", "ångström", "Ærø", "crème",
    "brûlée", "déjà", "jalapeño", "smörgåsbord", "łódź", "žluťoučký", "kůň", "Øresund",
    "αλφα", "βήτα", "γάμμα", "λόγος", "ψυχή", "Ελλάδα", "θάλασσα", "ωμέγα", "φως",
    "привет", "мир", "ёлка", "щука", "Москва", "дружба", "съешь", "жёлтый", "Україна",
    "漢字", "日本語", "中文", "東京", "한국어", "かな", "カタカナ", "文字化け", "你好", "世界",
    "😀", "😎", "🙂", "🙏", "😉",
};
const unsigned intl_count = sizeof intl_words / sizeof intl_words[0];

// Code points in a UTF-8 string.
size_t chars_of(const char* s)
{
    size_t n = 0;
    for (; *s; s++)
        n += (*s & 0xC0) != 0x80;
    return n;
}

// What else goes into the words: one of them in every one_in is word.
struct Extra {
    const char* word = nullptr;
    unsigned one_in = 0;
};

// Appends exactly len bytes of words to out; tabs now and then.
void append_words(std::string& out, size_t len, Rng& rng, bool may_indent, Extra extra = {})
{
    size_t end = out.size() + len;
    if (may_indent && len > 0 && rng.below(6) == 0) {
        unsigned tabs = 1 + rng.below(3);
        for (unsigned i = 0; i < tabs && out.size() < end; i++)
            out += '\t';
    }
    while (out.size() < end) {
        // the extra word draws from the generator only when there is one,
        // so that the texts without it stay as they were
        const char* w = extra.word && rng.below(extra.one_in) == 0 ? extra.word
                                                                   : words[rng.below(word_count)];
        size_t n = std::min(strlen(w), end - out.size());
        out.append(w, n);
        if (out.size() < end)
            out += rng.below(20) == 0 ? '\t' : ' ';
    }
}

} // namespace

GeneratedText generate_text(size_t size, uint64_t seed, long marker_from_end,
                            const char* extra_word)
{
    Rng rng{seed};
    Extra extra{extra_word, common_word_one_in};
    GeneratedText t;
    t.bytes.reserve(size);
    // random lines, then one of what is left and a short last one (so that
    // typing at the end never scrolls the view sideways); the first and the
    // last lines start at the left edge, so that typed lines are never
    // indented by the editor
    const size_t last = 10;
    while (size - t.bytes.size() > 121 + last + 1) {
        append_words(t.bytes, rng.below(121), rng, t.lines > 0, extra);
        t.bytes += '\n';
        t.lines++;
    }
    if (size - t.bytes.size() > last + 1) {
        append_words(t.bytes, size - t.bytes.size() - last - 2, rng, false, extra);
        t.bytes += '\n';
        t.lines++;
    }
    append_words(t.bytes, size - t.bytes.size() - 1, rng, false, extra);
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

std::string generate_utf8_text(size_t size, uint64_t seed, long long_line, size_t long_chars)
{
    Rng rng{seed};
    std::string s;
    s.reserve(size + 200);
    // half the words ASCII, half from the other scripts
    auto word = [&rng]() {
        return rng.below(2) ? words[rng.below(word_count)] : intl_words[rng.below(intl_count)];
    };
    for (long line = 1; s.size() < size; line++) {
        if (line == long_line) {
            for (size_t chars = 0; chars < long_chars; s += ' ', chars++) {
                const char* w = word();
                s += w;
                chars += chars_of(w);
            }
        } else {
            // up to 120 bytes, whole words; one line in six indented by a tab
            size_t end = s.size() + rng.below(121);
            if (line > 1 && rng.below(6) == 0)
                s += '\t';
            while (s.size() < end) {
                s += word();
                s += ' ';
            }
        }
        if (!s.empty() && s.back() == ' ')
            s.pop_back();
        s += '\n';
    }
    s += "last line\n";
    return s;
}
