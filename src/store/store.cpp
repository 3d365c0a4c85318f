/*
 * The text's changes. Every byte enters or leaves the text here: an
 * insertion, a removal, an overwrite, or a batch of them in one pass. Each
 * is recorded in the history before the bytes move, the kept positions
 * follow the bytes, and the line ends of a text of mixed line ends and the
 * empty text's placeholder line are kept up to date.
 */
#include "store/store.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "store/history.h"
#include "store/journal.h"

// ---- changes under way ------------------------------------------------------

void (*after_move)();

void begin_change()
{
    text_changes++;
    store_busy = store_busy + 1;
}

void end_change()
{
    store_busy = store_busy - 1;
    if (store_busy == 0 && deferred_signal && end_deferred)
        end_deferred(deferred_signal);
}

void move_bytes(byte* dst, const byte* src, size_t count)
{
    if (count && dst != src)
        std::memmove(dst, src, count);
    if (after_move)
        after_move();
}

byte* copy_bytes(const byte* src, const byte* end, byte* dst)
{
    if (src >= end)
        return dst;
    std::memcpy(dst, src, size_t(end - src));
    return dst + (end - src);
}

// ---- the empty text's placeholder line ----------------------------------------

static bool placeholder;

bool placeholder_line()
{
    return placeholder;
}

void set_placeholder_line(bool on)
{
    bool was = placeholder;
    placeholder = on;
    if (was != on)
        journal_placeholder(on);
}

static bool last_line_empty()
{
    return text_end - text_begin >= 1 && (text_end - 1 == text_begin || text_end[-2] == 0);
}

byte* written_end()
{
    if (!placeholder || !last_line_empty())
        return text_end;
    byte* end = text_end - 1;   // the placeholder's own line goes
    // and a lone empty line before it is the empty text: nothing at all
    return end == text_begin + 1 && text_begin[0] == 0 ? text_begin : end;
}

// A change from offset on reaches the placeholder line: it is real now.
static void touch_placeholder(size_t offset)
{
    if (placeholder && (!last_line_empty() || offset + 1 >= size_t(text_end - text_begin)))
        placeholder = false;
}

void fill_empty_text()
{
    if (text_end != text_begin)
        return;
    make_writable(text_begin, text_begin + 2);
    text_begin[0] = text_begin[1] = 0;
    text_end = text_begin + 2;
    placeholder = true;
}

// ---- line ends of a text of mixed line ends -------------------------------------

static std::vector<size_t> crlf_ends;

const std::vector<size_t>& crlf_line_ends()
{
    return crlf_ends;
}

void set_crlf_line_ends(std::vector<size_t> ends)
{
    crlf_ends = std::move(ends);
}

std::vector<uint32_t> crlf_ends_in(size_t from, size_t to)
{
    std::vector<uint32_t> in;
    auto i = std::lower_bound(crlf_ends.begin(), crlf_ends.end(), from);
    for (; i != crlf_ends.end() && *i < to; ++i)
        in.push_back(uint32_t(*i - from));
    return in;
}

bool line_ends_in_crlf(size_t nul_offset)
{
    return std::binary_search(crlf_ends.begin(), crlf_ends.end(), nul_offset);
}

/*
 * The n bytes now at offset replaced removed ones: the ends among the
 * removed go, those after move, and the NULs among the new end as listed,
 * or else as the line they were put in.
 */
static void line_ends_changed(size_t offset, size_t removed, size_t n, const std::vector<uint32_t>* crlf)
{
    if (crlf_ends.empty() && (!crlf || crlf->empty()))
        return;
    auto first = std::lower_bound(crlf_ends.begin(), crlf_ends.end(), offset);
    auto last = std::lower_bound(first, crlf_ends.end(), offset + removed);
    size_t at = size_t(first - crlf_ends.begin());
    crlf_ends.erase(first, last);
    for (auto i = crlf_ends.begin() + long(at); i != crlf_ends.end(); ++i)
        *i = *i - removed + n;
    std::vector<size_t> added;
    if (crlf) {
        for (uint32_t c : *crlf)
            added.push_back(offset + c);
    } else {
        const byte* p = text_begin + offset;
        byte* end_nul = static_cast<byte*>(std::memchr(text_begin + offset + n, 0,
                                                       size_t(text_end - text_begin) - offset - n));
        if (end_nul && line_ends_in_crlf(size_t(end_nul - text_begin)))
            for (const byte* q = p; (q = static_cast<const byte*>(std::memchr(q, 0, size_t(p + n - q)))); q++)
                added.push_back(size_t(q - text_begin));
    }
    crlf_ends.insert(crlf_ends.begin() + long(at), added.begin(), added.end());
}

void empty_text(size_t expected)
{
    give_back_memory();
    size_t room = size_t(store_top() - store_bottom());
    size_t slack = expected < room ? (room - expected) / 2 : 0;
    text_begin = text_end = store_bottom() + slack;
    if (!make_writable(text_begin - 2, text_begin + 2))
        make_writable(text_begin - 2, text_begin);
    text_begin[-1] = text_begin[-2] = 0;
    forget_line_numbers();
    set_crlf_line_ends({});
    set_placeholder_line(false);
}

// ---- recording --------------------------------------------------------------------

// Tells the history, before the bytes move, what a change does: at offset
// (as the history counts, change after change) the removed bytes at gone,
// whose line ends stand at line_ends_at in the text as it is, give way to
// inserted ones.
static void record(size_t offset, const byte* gone, size_t removed, size_t inserted, size_t line_ends_at)
{
    std::vector<uint32_t> crlf;
    if (!crlf_ends.empty() && removed)
        crlf = crlf_ends_in(line_ends_at, line_ends_at + removed);
    record_change(offset, gone, removed, inserted, crlf.empty() ? nullptr : &crlf, placeholder);
}

static void record(size_t offset, const byte* gone, size_t removed, size_t inserted)
{
    record(offset, gone, removed, inserted, offset);
}

// After a change: what depends on the bytes now there.
static void changed(size_t offset, size_t removed, size_t n, const std::vector<uint32_t>* crlf)
{
    line_ends_changed(offset, removed, n, crlf);
    touch_placeholder(offset);
    record_placeholder_after(placeholder);
}

// ---- the primitives ------------------------------------------------------------------

// Makes the two bytes before the text zero: they stop every backward scan.
static void mark_text_begin()
{
    text_begin[-1] = text_begin[-2] = 0;
}

bool slide_text_to(byte* begin)
{
    long delta = begin - text_begin;
    if (delta == 0)
        return true;
    if (!make_writable(begin - 2, begin + (text_end - text_begin)))
        return false;
    change_scope change;
    move_bytes(begin, text_begin, size_t(text_end - text_begin));
    shift_positions(text_begin, text_end, delta);
    text_begin += delta;
    text_end += delta;
    mark_text_begin();
    return true;
}

/*
 * Opens n bytes of room at pos. The text lies somewhere in the block with
 * free room below and above it; the shorter side of pos moves, so typing
 * near the start of a long text costs as little as near its end. Moving
 * the start down takes every position up to pos with it: the room is then
 * just before the byte that was at pos, and a position at pos is on its
 * first byte either way. Returns the new place of that byte.
 */
byte* open_room(byte* pos, long n)
{
    if (n <= 0 || size_t(n) > store_room())
        return nullptr;
    change_scope change;
    keep_line_number_below(pos);
    long below = text_begin - store_bottom(), above = store_top() - text_end;
    if (below < n && above < n) {
        long offset = pos - text_begin;
        if (!slide_text_to(store_bottom()))
            return nullptr;
        pos = text_begin + offset;
        below = 0;
        above = store_top() - text_end;
    }
    bool start_is_shorter = pos - text_begin < text_end - pos;
    if (below >= n && (start_is_shorter || above < n) && make_writable(text_begin - n - 2, text_begin)) {
        move_for_insertion(pos, -n, 0);
        move_bytes(text_begin - n, text_begin, size_t(pos - text_begin));
        text_begin -= n;
        mark_text_begin();
        return pos;
    }
    if (above < n || !make_writable(text_end, text_end + n))
        return nullptr;
    move_for_insertion(pos, 0, n);
    move_bytes(pos + n, pos, size_t(text_end - pos));
    text_end += n;
    return pos + n;
}

byte* insert_bytes(byte* pos, const byte* src, size_t n)
{
    if (n == 0)
        return pos;
    change_scope change;
    size_t offset = size_t(pos - text_begin);
    journal_before_change(placeholder, crlf_ends);
    byte* after = open_room(pos, long(n));
    if (!after)
        return nullptr;
    record(offset, nullptr, 0, n);  // an insertion needs no bytes of the text
    std::memcpy(after - n, src, n);
    changed(offset, 0, n, nullptr);
    journal_change(journal_op::insert, offset, 0, n, placeholder, crlf_ends);
    return after;
}

void note_loaded(size_t offset, size_t n)
{
    if (n == 0)
        return;
    record(offset, nullptr, 0, n);
    changed(offset, 0, n, nullptr);
    journal_change(journal_op::insert, offset, 0, n, placeholder, crlf_ends);
}

void remove_range(byte* a, byte* b)
{
    if (a == b)
        return;
    change_scope change;
    byte* lo = a < b ? a : b;
    byte* hi = a < b ? b : a;
    size_t d = size_t(hi - lo), offset = size_t(lo - text_begin);
    journal_before_change(placeholder, crlf_ends);
    record(offset, lo, d, 0);
    keep_line_number_below(lo);
    move_for_removal(lo, hi, next_line(hi) - d, long(d));
    move_bytes(lo, hi, size_t(text_end - hi));
    text_end -= d;
    changed(offset, d, 0, nullptr);
    journal_change(journal_op::remove, offset, d, 0, placeholder, crlf_ends);
}

void overwrite_bytes(byte* pos, const byte* src, size_t n)
{
    if (n == 0)
        return;
    change_scope change;
    size_t offset = size_t(pos - text_begin);
    keep_line_number_below(pos);    // the bytes may hold line ends
    journal_before_change(placeholder, crlf_ends);
    record(offset, pos, n, n);
    std::memcpy(pos, src, n);
    changed(offset, n, n, nullptr);
    journal_change(journal_op::overwrite, offset, n, n, placeholder, crlf_ends);
}

// ---- a batch in one pass ------------------------------------------------------------

namespace {
// How a batch moves the text: the shift of the text before each change
// (relative to the text's start), and where the text starts afterwards.
struct batch_layout {
    std::vector<long> shift;    // shift[i]: of the bytes between change i-1 and i
    long base = 0;              // the new start minus the old
    long total = 0;             // the text's growth
    bool upward = true;
};

batch_layout layout_of(const std::vector<text_change>& cs)
{
    batch_layout l;
    l.shift.reserve(cs.size() + 1);
    long s = 0, lowest = 0, highest = 0;
    for (const text_change& c : cs) {
        l.shift.push_back(s);
        s += long(c.length) - long(c.removed);
        lowest = std::min(lowest, s);
        highest = std::max(highest, s);
    }
    l.shift.push_back(s);
    l.total = s;
    l.upward = lowest >= 0 || highest > 0;
    l.base = l.upward ? -lowest : 0;
    return l;
}

// Where the bytes at offset o go (o outside the removed ranges, or at the
// start of one).
long new_offset(const std::vector<text_change>& cs, const batch_layout& l, size_t o, bool follows)
{
    size_t i = size_t(std::upper_bound(cs.begin(), cs.end(), o,
                                       [](size_t v, const text_change& c) { return v < c.offset; }) -
                      cs.begin());
    if (i > 0) {
        const text_change& c = cs[i - 1];
        size_t end = c.offset + c.removed;
        if (o < end || (o == c.offset && !follows && c.removed == 0))
            return long(c.offset) + l.shift[i - 1];
        if (o == c.offset && c.removed == 0)
            return long(o) + l.shift[i];
        return long(o) + l.shift[i];
    }
    return long(o);
}

void move_positions_for(const std::vector<text_change>& cs, const batch_layout& l, byte* new_begin)
{
    for (const kept_position& k : kept_positions()) {
        byte* p = *k.at;
        if (p && p >= text_begin && p <= text_end)
            *k.at = new_begin + new_offset(cs, l, size_t(p - text_begin), k.kind == position_kind::follows_byte);
    }
}

// The segments between the changes move, and each change's bytes go in.
void move_segments(const std::vector<text_change>& cs, const batch_layout& l, byte* old_begin, byte* new_begin,
                   size_t size)
{
    size_t k = cs.size();
    auto segment = [&](size_t i) {
        size_t from = i == 0 ? 0 : cs[i - 1].offset + cs[i - 1].removed;
        size_t to = i == k ? size : cs[i].offset;
        move_bytes(new_begin + long(from) + l.shift[i], old_begin + from, to - from);
    };
    auto fill = [&](size_t i) {
        if (cs[i].length)
            std::memcpy(new_begin + long(cs[i].offset) + l.shift[i], cs[i].bytes, cs[i].length);
    };
    if (l.upward) {
        for (size_t i = k + 1; i-- > 0;) {
            segment(i);
            if (i > 0)
                fill(i - 1);
        }
    } else {
        for (size_t i = 0; i <= k; i++) {
            segment(i);
            if (i < k)
                fill(i);
        }
    }
}

void record_batch(const std::vector<text_change>& cs, const batch_layout& l)
{
    if (crlf_ends.empty())
        return record_changes(cs, l.shift, text_begin, placeholder);
    for (size_t i = 0; i < cs.size(); i++)
        record(cs[i].offset + size_t(l.shift[i]), text_begin + cs[i].offset, cs[i].removed, cs[i].length,
               cs[i].offset);
}

using line_end_lists = std::vector<std::vector<uint32_t>>;

/*
 * The NULs a change puts in end as the line they are put in, unless it
 * lists their ends: known before the text moves, from the NUL that ends
 * that line now.
 */
line_end_lists inherited_line_ends(const std::vector<text_change>& cs)
{
    line_end_lists lists;
    if (crlf_ends.empty())
        return lists;           // none to inherit
    lists.resize(cs.size());
    for (size_t i = 0; i < cs.size(); i++) {
        const text_change& c = cs[i];
        if (c.crlf || !c.length || !std::memchr(c.bytes, 0, c.length))
            continue;
        size_t from = c.offset + c.removed;
        const byte* nul = static_cast<const byte*>(std::memchr(text_begin + from, 0, size_t(text_end - text_begin) - from));
        if (nul && line_ends_in_crlf(size_t(nul - text_begin)))
            for (size_t j = 0; j < c.length; j++)
                if (c.bytes[j] == 0)
                    lists[i].push_back(uint32_t(j));
    }
    return lists;
}

/*
 * The line ends in CR LF after a batch, in one pass over them: those
 * between the changes move with their text, those in removed bytes go,
 * and each change brings those of its own bytes.
 */
const std::vector<uint32_t> no_line_ends;

void line_ends_after_batch(const std::vector<text_change>& cs, const batch_layout& l, const line_end_lists& inherited)
{
    for (size_t i = 0; i < cs.size(); i++)
        touch_placeholder(cs[i].offset + size_t(l.shift[i]));
    bool any = !crlf_ends.empty();
    for (size_t i = 0; i < cs.size() && !any; i++)
        any = cs[i].crlf && !cs[i].crlf->empty();
    if (!any)
        return;
    const std::vector<size_t>& old = crlf_ends;
    std::vector<size_t> now;
    now.reserve(old.size());
    size_t e = 0;
    for (size_t i = 0; i < cs.size(); i++) {
        for (; e < old.size() && old[e] < cs[i].offset; e++)
            now.push_back(size_t(long(old[e]) + l.shift[i]));
        e = size_t(std::lower_bound(old.begin() + long(e), old.end(), cs[i].offset + cs[i].removed) - old.begin());
        for (uint32_t c : cs[i].crlf ? *cs[i].crlf : inherited.empty() ? no_line_ends : inherited[i])
            now.push_back(size_t(long(cs[i].offset) + l.shift[i]) + c);
    }
    for (; e < old.size(); e++)
        now.push_back(size_t(long(old[e]) + l.shift[cs.size()]));
    crlf_ends = std::move(now);
}
}  // namespace

bool apply_changes(const std::vector<text_change>& cs, bool record_them)
{
    if (cs.empty())
        return true;
    batch_layout l = layout_of(cs);
    size_t size = size_t(text_end - text_begin);
    if (l.total > 0 && size_t(l.total) > store_room())
        return false;
    long end_shift = l.base + l.total;     // where the text's end goes
    if (end_shift > store_top() - text_end && !slide_text_to(store_bottom()))
        return false;
    if (end_shift > store_top() - text_end ||
        !make_writable(text_begin + l.base - 2, text_end + std::max(end_shift, 0L)))
        return false;
    byte* new_begin = text_begin + l.base;
    change_scope change;
    keep_line_number_below(text_begin + cs.front().offset);
    journal_before_change(placeholder, crlf_ends);
    if (record_them)
        record_batch(cs, l);
    line_end_lists inherited = inherited_line_ends(cs);
    move_positions_for(cs, l, new_begin);
    move_segments(cs, l, text_begin, new_begin, size);
    text_begin = new_begin;
    text_end = new_begin + long(size) + l.total;
    mark_text_begin();
    line_ends_after_batch(cs, l, inherited);
    record_placeholder_after(placeholder);
    journal_batch(cs, placeholder, crlf_ends);
    return true;
}

const char* broken_store_rule()
{
    if (text_begin < store_bottom() || text_end > store_top())
        return "the text lies in the block";
    if (text_begin[-1] != 0 || text_begin[-2] != 0)
        return "two zero bytes before the text";
    if (text_end < text_begin)
        return "the text's bounds";
    if (text_end > text_begin && text_end[-1] != 0)
        return "the text ends with a NUL";
    if (numbered_line_is_wrong())
        return "the remembered line number";
    for (size_t i = 0; i < crlf_ends.size(); i++)
        if (crlf_ends[i] >= size_t(text_end - text_begin) || text_begin[crlf_ends[i]] != 0 ||
            (i > 0 && crlf_ends[i] <= crlf_ends[i - 1]))
            return "the line ends in CR LF are NULs, ascending";
    return nullptr;
}
