#include "editors.h"

static std::vector<EditorKeys> make_maps()
{
    const Mode any = Mode::none, typing = Mode::typing, command = Mode::command;
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
        {"end", {any, any, {"<end>"}}},
        {"left", {any, any, {"<left>"}}},
        // the third Home in a row goes to the first line
        {"top", {any, any, {"<home>", "<home>", "<home>"}}},
        // a Jump with a count past the last line, then End
        {"to_text_end", {command, typing, {"9", "9", "9", "9", "9", "9", "9", "J", "<end>", "I"}}},
        {"type", {typing, any, {"{}"}}},
        {"find", {command, any, {"F", "{}", "<cr>"}}},
        {"find_again", {command, any, {"A"}}},
        {"get", {command, any, {"G", "{}", "<cr>"}}},
        {"quit", {command, any, {"Q", "E"}}},
        {"quit_changed", {command, any, {"Q", "E", "Y"}}},
        {"where", {any, any, {}}},      // the status row always shows it
    };
    pym.where_first_row = pym.where_last_row = 2;
    pym.where_pattern = "Line ([0-9]+)";
    maps.push_back(pym);

    EditorKeys nano;
    nano.name = "nano";
    nano.command = {"nano", "-I", "{file}"};
    nano.starts = any;
    nano.actions = {
        {"down", {any, any, {"<down>"}}},
        {"page_down", {any, any, {"<pgdn>"}}},
        {"end", {any, any, {"<end>"}}},
        {"left", {any, any, {"<left>"}}},
        {"top", {any, any, {"<M-\\>"}}},
        {"to_text_end", {any, any, {"<M-/>"}}},
        {"type", {any, any, {"{}"}}},
        {"find", {any, any, {"<^W>", "{}", "<cr>"}}},
        {"find_again", {any, any, {"<M-w>"}}},
        {"get", {any, any, {"<^R>", "{}", "<cr>"}}},
        {"quit", {any, any, {"<^X>"}}},
        {"quit_changed", {any, any, {"<^X>", "n"}}},
        {"where", {any, any, {"<^C>"}}},
    };
    nano.where_first_row = 22;
    nano.where_last_row = 25;
    nano.where_pattern = "line +([0-9]+)/";
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
        {"end", {any, any, {"<end>"}}},
        {"left", {any, any, {"<left>"}}},
        {"top", {command, any, {"gg"}}},
        {"to_text_end", {command, typing, {"G", "A"}}},
        {"type", {typing, any, {"{}"}}},
        {"find", {command, any, {"/", "{}", "<cr>"}}},
        {"find_again", {command, any, {"n"}}},
        {"get", {command, any, {":", "0", "r", " ", "{}", "<cr>"}}},
        {"quit", {command, any, {":", "q", "!", "<cr>"}}},
        {"quit_changed", {command, any, {":", "q", "!", "<cr>"}}},
        {"where", {command, any, {"<^G>"}}},
    };
    vim.where_first_row = 24;
    vim.where_last_row = 25;
    vim.where_pattern = "line ([0-9]+)";
    maps.push_back(vim);
    return maps;
}

const std::vector<EditorKeys>& editor_key_maps()
{
    static const std::vector<EditorKeys> maps = make_maps();
    return maps;
}
