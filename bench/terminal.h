// The terminal the benchmarked editors draw on: a libvterm screen that
// takes their output, answers their queries as a terminal would, and
// encodes the keys we press the way an xterm does in the modes the
// editor has set (an editor that turns on application cursor keys gets
// ESC O B for Down, the others ESC [ B; only one that turns on bracketed
// paste gets a paste bracketed). With the kitty keyboard protocol it
// also answers that protocol's question (ESC [ ? u) and keeps the flags
// an editor pushes and pops; while "disambiguate escape codes" is on,
// Esc is ESC [ 27 u.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct VTerm;
struct VTermScreen;

class Terminal {
public:
    Terminal(int rows, int cols, bool kitty_keyboard = false);
    ~Terminal();
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    void feed(std::string_view bytes);
    // The answers to queries in what was fed, to go back to the program.
    std::string take_replies();
    // The bytes for one key token: "<down>", "<pgdn>", "<end>", "<left>",
    // "<home>", "<up>", "<right>", "<pgup>", "<esc>", "<cr>", "<tab>",
    // "<^X>" (a control key), "<M-x>" (Alt), or a single plain byte.
    std::string key_bytes(std::string_view token);
    // The bytes of pasting text: bracketed by ESC [ 200 ~ and ESC [ 201 ~
    // when the program has turned bracketed paste on (ESC [ ? 2004 h),
    // otherwise the text as typed, with CR for each line end as the Enter
    // key would send.
    std::string paste_bytes(std::string_view text, bool& bracketed);

    int rows() const { return rows_; }
    int cols() const { return cols_; }
    std::string row(int r) const;       // 1-based, trailing blanks removed
    std::string dump() const;

private:
    void take_vterm_replies();
    void feed_kitty(std::string_view bytes);
    void kitty_sequence(std::string_view params);

    int rows_, cols_;
    VTerm* vt_;
    VTermScreen* vs_;
    std::string replies_;           // answers not yet taken, in order
    bool kitty_;
    std::vector<int> kitty_flags_;  // the stack the editor pushes on
    std::string unfinished_;        // a sequence the last feed cut short
};
