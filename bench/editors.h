// How each benchmarked editor is driven: its command line and, for every
// action a workload uses, the keys it takes. Only data lives here.
//
// A step is what is sent in one write before waiting for the editor: one
// or more key tokens (see Terminal::key_bytes), e.g. "<down>", "gg",
// "<M-\\>". The step "{}" stands for the action's argument, one step per
// character, and "{2}" for the second argument (the replacement). The step
// "{paste}" pastes the argument in one write, bracketed if the editor has
// turned bracketed paste on. A step that is a lone "<esc>" waits for
// output as well, since an editor sleeps while it tells a lone ESC from an
// escape sequence.
#pragma once

#include <map>
#include <string>
#include <vector>

enum class Mode { none, typing, command };

struct Action {
    Mode needs = Mode::none;        // none: any mode will do
    Mode leaves = Mode::none;       // none: the mode is unchanged
    std::vector<std::string> steps;
};

struct EditorKeys {
    std::string name;
    // "{pym}" is the built editor, "{file}" the file to edit
    std::vector<std::string> command;
    Mode starts = Mode::none;       // none: the editor has no modes
    Action to_command, to_typing;
    // down, page_down, page_up, end, left, right, top, to_text_end (ready
    // to type after the last character), type, find, find_again, get
    // (insert a file at the cursor), replace (every match of the argument
    // from the cursor on by the second, without questions), undo (the last
    // change), paste (in typing mode), quit, quit_changed (without saving),
    // where (shows the cursor's line number in rows where_first_row to
    // where_last_row, matched by where_pattern), line_start, record (a
    // macro's keys, from the next key on), end_record, replay (the macro,
    // the argument's count of times)
    std::map<std::string, Action> actions;
    int where_first_row = 0, where_last_row = 0;
    std::string where_pattern;
    // what the editor cannot do, an action or a workload's need ("utf8":
    // shows UTF-8 text as text; "undo_all": one undo takes back a whole
    // replace; "undo_replay": one undo takes back a whole counted replay
    // of a macro), and why: those workloads are left out for it
    std::map<std::string, std::string> lacks;
    // a reference, not an editor: shown, never the best other, never checked
    bool reference = false;
};

const std::vector<EditorKeys>& editor_key_maps();
// The editors run when --editors does not say: pym first, for the ratios,
// and the floor last.
std::vector<std::string> default_editors();
