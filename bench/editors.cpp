#include "editors.h"

#include <initializer_list>

namespace {

using Steps = std::vector<std::string>;

// One step per character of s: what typing s at a prompt sends.
Steps typed(const std::string& s)
{
    Steps out;
    for (char c : s)
        out.push_back(std::string(1, c));
    return out;
}

Steps join(std::initializer_list<Steps> parts)
{
    Steps out;
    for (const Steps& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::vector<EditorKeys> make_maps()
{
    const Mode any = Mode::none, typing = Mode::typing, command = Mode::command;
    const std::string no_modes = "no mode that ESC leaves";
    std::vector<EditorKeys> maps;

    EditorKeys pym;
    pym.name = "pym";
    pym.command = {"{pym}", "{file}"};
    pym.starts = typing;
    pym.to_command = {typing, command, {"<esc>"}};
    pym.to_typing = {command, typing, {"I"}};
    pym.actions = {
        {"down", {any, any, {"<down>"}}},
        {"page_down", {any, any, {"<pgdn>"}}},
        {"page_up", {any, any, {"<pgup>"}}},
        {"end", {any, any, {"<end>"}}},
        {"left", {any, any, {"<left>"}}},
        {"right", {any, any, {"<right>"}}},
        // the third Home in a row goes to the first line
        {"top", {any, any, {"<home>", "<home>", "<home>"}}},
        // a Jump with a count past the last line, then End
        {"to_text_end", {command, typing, {"9", "9", "9", "9", "9", "9", "9", "J", "<end>", "I"}}},
        {"type", {typing, any, {"{}"}}},
        {"find", {command, any, {"F", "{}", "<cr>"}}},
        {"find_again", {command, any, {"A"}}},
        {"get", {command, any, {"G", "{}", "<cr>"}}},
        // a count of replacements larger than the matches: no questions
        {"replace", {command, any, join({typed("99999R"), {"{}", "<cr>", "{2}", "<cr>"}})}},
        {"undo", {command, any, {"U"}}},
        {"paste", {typing, any, {"{paste}"}}},
        {"quit", {command, any, {"Q", "E"}}},
        {"quit_changed", {command, any, {"Q", "E", "Y"}}},
        {"where", {any, any, {}}},      // the status row always shows it
        {"escape", {typing, command, {"<esc>"}}},
        {"insert", {command, typing, {"I"}}},
        {"line_start", {any, any, {"<home>"}}},
        {"record", {command, any, {"M", "Y"}}},
        {"end_record", {command, any, {"M"}}},
        {"replay", {command, any, {"{}", "Y"}}},    // the count, then the register
    };
    pym.where_first_row = pym.where_last_row = 2;
    pym.where_pattern = "Line ([0-9]+)";
    maps.push_back(pym);
    EditorKeys base = pym;      // another build of PYM, to compare with
    base.name = "base";
    base.command = {"{base}", "{file}"};
    maps.push_back(base);

    EditorKeys nano;
    nano.name = "nano";
    nano.command = {"nano", "-I", "{file}"};
    nano.starts = any;
    nano.actions = {
        {"down", {any, any, {"<down>"}}},
        {"page_down", {any, any, {"<pgdn>"}}},
        {"page_up", {any, any, {"<pgup>"}}},
        {"end", {any, any, {"<end>"}}},
        {"left", {any, any, {"<left>"}}},
        {"right", {any, any, {"<right>"}}},
        {"top", {any, any, {"<M-\\>"}}},
        {"to_text_end", {any, any, {"<M-/>"}}},
        {"type", {any, any, {"{}"}}},
        {"find", {any, any, {"<^W>", "{}", "<cr>"}}},
        {"find_again", {any, any, {"<M-w>"}}},
        {"get", {any, any, {"<^R>", "{}", "<cr>"}}},
        // at the first match: A for all
        {"replace", {any, any, {"<^\\>", "{}", "<cr>", "{2}", "<cr>", "A"}}},
        {"undo", {any, any, {"<M-u>"}}},
        {"paste", {any, any, {"{paste}"}}},
        {"quit", {any, any, {"<^X>"}}},
        {"quit_changed", {any, any, {"<^X>", "n"}}},
        {"where", {any, any, {"<^C>"}}},
    };
    nano.where_first_row = 22;
    nano.where_last_row = 25;
    nano.where_pattern = "line +([0-9]+)/";
    nano.lacks = {{"undo_all", "an undo takes back one replacement"},
                  {"escape", no_modes},
                  {"undo_replay", "no count for a macro's replay"}};
    maps.push_back(nano);

    EditorKeys vim;
    vim.name = "vim";
    vim.command = {"vim", "-u", "NONE", "-N", "{file}"};
    vim.starts = command;
    vim.to_command = {typing, command, {"<esc>"}};
    vim.to_typing = {command, typing, {"i"}};
    vim.actions = {
        {"down", {any, any, {"<down>"}}},
        {"page_down", {any, any, {"<pgdn>"}}},
        {"page_up", {any, any, {"<pgup>"}}},
        {"end", {any, any, {"<end>"}}},
        {"left", {any, any, {"<left>"}}},
        {"right", {any, any, {"<right>"}}},
        {"top", {command, any, {"gg"}}},
        {"to_text_end", {command, typing, {"G", "A"}}},
        {"type", {typing, any, {"{}"}}},
        {"find", {command, any, {"/", "{}", "<cr>"}}},
        {"find_again", {command, any, {"n"}}},
        {"get", {command, any, join({typed(":0r "), {"{}", "<cr>"}})}},
        {"replace", {command, any, join({typed(":%s/"), {"{}"}, typed("/"), {"{2}"}, typed("/g"), {"<cr>"}})}},
        {"undo", {command, any, {"u"}}},
        {"paste", {typing, any, {"{paste}"}}},
        {"quit", {command, any, join({typed(":q!"), {"<cr>"}})}},
        {"quit_changed", {command, any, join({typed(":q!"), {"<cr>"}})}},
        {"where", {command, any, {"<^G>"}}},
        {"escape", {typing, command, {"<esc>"}}},
        {"insert", {command, typing, {"i"}}},
        {"line_start", {command, any, {"0"}}},
        {"record", {command, any, {"qa"}}},
        {"end_record", {command, any, {"q"}}},
        {"replay", {command, any, {"{}", "@a"}}},
    };
    vim.where_first_row = 24;
    vim.where_last_row = 25;
    vim.where_pattern = "line ([0-9]+)";
    maps.push_back(vim);

    // dte -R: the built-in key bindings, no rc file; -H: no history files
    EditorKeys dte;
    dte.name = "dte";
    dte.command = {"dte", "-R", "-H", "{file}"};
    dte.starts = any;
    dte.actions = {
        {"down", {any, any, {"<down>"}}},
        {"page_down", {any, any, {"<pgdn>"}}},
        {"page_up", {any, any, {"<pgup>"}}},
        {"end", {any, any, {"<end>"}}},
        {"left", {any, any, {"<left>"}}},
        {"right", {any, any, {"<right>"}}},
        {"top", {any, any, {"<M-b>"}}},             // bof
        {"to_text_end", {any, any, {"<M-e>"}}},     // eof
        {"type", {any, any, {"{}"}}},
        {"find", {any, any, {"<^F>", "{}", "<cr>"}}},
        {"find_again", {any, any, {"<^G>"}}},       // search -n
        // no command of its own: the command line's pipe-from
        {"get", {any, any, join({{"<M-x>"}, typed("pipe-from cat "), {"{}", "<cr>"}})}},
        // ^R opens the command line with "replace "; -g: every match of a line
        {"replace", {any, any, join({{"<^R>"}, typed("-g "), {"{}"}, typed(" "), {"{2}", "<cr>"}})}},
        {"undo", {any, any, {"<^Z>"}}},
        {"quit", {any, any, {"<^Q>"}}},
        {"quit_changed", {any, any, join({{"<M-x>"}, typed("quit -f"), {"<cr>"}})}},
        {"where", {any, any, {}}},      // the status line shows line,column
    };
    dte.where_first_row = 23;
    dte.where_last_row = 25;
    dte.where_pattern = " ([0-9]+),[0-9]+";
    // a paste comes as typed keys
    // its macros are commands (macro record, repeat N macro play) that
    // replayed nothing typed in a trial by hand
    dte.lacks = {{"paste", "no bracketed paste"},
                 {"escape", no_modes},
                 {"undo_replay", "its macro replayed nothing typed in a trial"}};
    maps.push_back(dte);

    EditorKeys ne;
    ne.name = "ne";
    ne.command = {"ne", "--no-config", "{file}"};
    ne.starts = any;
    ne.actions = {
        {"down", {any, any, {"<down>"}}},
        {"page_down", {any, any, {"<pgdn>"}}},
        {"page_up", {any, any, {"<pgup>"}}},
        {"end", {any, any, {"<end>"}}},             // first to the line's end
        {"left", {any, any, {"<left>"}}},
        {"right", {any, any, {"<right>"}}},
        {"top", {any, any, {"<M-a>"}}},             // MoveSOF
        {"to_text_end", {any, any, {"<M-e>"}}},     // MoveEOF
        {"type", {any, any, {"{}"}}},
        {"find", {any, any, {"<^F>", "{}", "<cr>"}}},
        {"find_again", {any, any, {"<^G>"}}},       // RepeatLast
        // the file as the clip, then Paste
        {"get", {any, any, join({{"<^K>"}, typed("OpenClip "), {"{}", "<cr>", "<^V>"}})}},
        // at the first match: A for all
        {"replace", {any, any, {"<^R>", "{}", "<cr>", "{2}", "<cr>", "a"}}},
        {"undo", {any, any, {"<M-u>"}}},
        {"quit", {any, any, {"<M-q>"}}},
        {"quit_changed", {any, any, {"<M-q>", "y"}}},
        // the status bar shows L: and C:, once ^L (Refresh) has put it
        // back where a message was
        {"where", {any, any, {"<^L>"}}},
    };
    ne.where_first_row = ne.where_last_row = 25;
    ne.where_pattern = "L: *([0-9]+)";
    ne.lacks = {{"paste", "no bracketed paste"},
                {"escape", no_modes},
                {"undo_replay", "an undo takes back one repetition"}};
    maps.push_back(ne);

    // mg -n: no backup files; -u /dev/null: an empty startup file
    EditorKeys mg;
    mg.name = "mg";
    mg.command = {"mg", "-n", "-u", "/dev/null", "{file}"};
    mg.starts = any;
    mg.actions = {
        {"down", {any, any, {"<down>"}}},
        {"page_down", {any, any, {"<pgdn>"}}},
        {"page_up", {any, any, {"<pgup>"}}},
        {"end", {any, any, {"<^E>"}}},
        {"left", {any, any, {"<left>"}}},
        {"right", {any, any, {"<right>"}}},
        {"top", {any, any, {"<M-<>"}}},
        {"to_text_end", {any, any, {"<M->>"}}},
        {"type", {any, any, {"{}"}}},
        {"find", {any, any, {"<M-s>", "{}", "<cr>"}}},
        {"find_again", {any, any, {"<M-s>", "<cr>"}}},    // the last string again
        {"get", {any, any, {"<^X>i", "{}", "<cr>"}}},
        {"replace", {any, any, join({{"<M-x>"}, typed("replace-string"), {"<cr>", "{}", "<cr>", "{2}", "<cr>"}})}},
        {"undo", {any, any, {"<^_>"}}},
        {"quit", {any, any, {"<^X><^C>"}}},
        {"quit_changed", {any, any, join({{"<^X><^C>", "n"}, typed("yes"), {"<cr>"}})}},
        {"where", {any, any, {}}},
    };
    mg.where_first_row = mg.where_last_row = 24;
    mg.where_pattern = "L([0-9]+)";
    mg.lacks = {
        {"paste", "no bracketed paste"},
        {"undo_all", "an undo takes back one replacement"},
        {"utf8", "no UTF-8"},
        {"escape", no_modes},
        {"undo_replay", "an undo takes back one repetition"},
    };
    maps.push_back(mg);

    // not an editor: the floor (floor.cpp) answers every key with one
    // write, so the keys only need to arrive one step at a time
    EditorKeys floor;
    floor.name = "floor";
    floor.command = {"{floor}"};
    floor.starts = any;
    floor.reference = true;
    for (const char* action : {"down", "page_down", "page_up", "end", "left", "right", "top",
                               "to_text_end", "find_again", "undo", "line_start", "record",
                               "end_record", "replay"})
        floor.actions[action] = {any, any, {"<down>"}};
    floor.actions["type"] = {any, any, {"{}"}};
    floor.actions["find"] = {any, any, {"<^F>", "{}", "<cr>"}};
    floor.actions["get"] = {any, any, {"<^R>", "{}", "<cr>"}};
    floor.actions["replace"] = {any, any, {"<^R>", "{}", "<cr>", "{2}", "<cr>"}};
    floor.actions["paste"] = {any, any, {"{paste}"}};
    floor.actions["quit"] = floor.actions["quit_changed"] = {any, any, {"<^Q>"}};
    floor.actions["where"] = {any, any, {}};    // it keeps no cursor: not checked
    floor.lacks = {{"escape", no_modes}};
    maps.push_back(floor);
    return maps;
}

} // namespace

const std::vector<EditorKeys>& editor_key_maps()
{
    static const std::vector<EditorKeys> maps = make_maps();
    return maps;
}

std::vector<std::string> default_editors()
{
    return {"pym", "nano", "vim", "dte", "ne", "mg", "floor"};
}
