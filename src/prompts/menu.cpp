#include "prompts/menu.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "screen/console.h"
#include "state/state.h"

const char full_menu[] =
    "<space> <curs> Again Buffer Copy Delete eXchange Find -find Get Insert Jump"
    " Macro Put Quit Replace Set Y Z & @  <F1>=Help";
const char view_menu[] = "<curs> Again Find Jump Put Quit @";

// What row 1 shows: the current segment of the menu, or a text.
static bool row1_segment;
static std::string row1_text;

// Makes text the menu and its first segment the current one.
void reset_menu(const char* text)
{
    menu_text = text;
    menu_end = text + strlen(text);
    menu_pos = menu_cut = menu_end;
    advance_menu();
}

/*
 * Makes the next segment current: the one starting at the blank where the
 * current one was cut, or the first. A segment is cut at the last blank
 * that keeps it within the screen's width.
 */
void advance_menu()
{
    menu_pos = menu_cut < menu_end ? menu_cut : menu_text;
    if (menu_pos + screen_cols < menu_end) {
        const char* p = menu_pos + screen_cols;
        while (p > menu_pos && *p != ' ')
            p--;
        menu_cut = p > menu_pos ? p : menu_pos + screen_cols;
    } else {
        menu_cut = menu_end;
    }
}

static void show_row1(const char* text)
{
    clear_row(menu_row);
    put_string(text);
}

void show_menu_line(const char* text)
{
    if (text) {
        snprintf(menu_line, sizeof menu_line, "%s", text);
        row1_segment = false;
    }
    row1_text = menu_line;
    show_row1(menu_line);
}

void show_menu_segment()
{
    char segment[sizeof menu_line];
    snprintf(segment, sizeof segment, "%.*s", int(menu_cut - menu_pos), menu_pos);
    show_menu_line(segment);
    row1_segment = true;
}

void show_menu_text(const char* text)
{
    row1_segment = false;
    row1_text = text;
    show_row1(text);
}

// Pages the command menu afresh for the width now; the current segment
// becomes the one that holds the first word of the one before.
static void repage_menu()
{
    const char* first_word = menu_pos;
    while (first_word < menu_end && *first_word == ' ')
        first_word++;
    menu_pos = menu_cut = menu_end;
    advance_menu();
    while (menu_cut <= first_word && menu_cut < menu_end)
        advance_menu();
}

// The menu is paged afresh also while row 1 shows something else (the
// Quit or Set menu): the segment ESC brings back fits the width now.
void redraw_menu_line()
{
    if (menu_text)
        repage_menu();
    if (row1_segment && menu_text)
        show_menu_segment();
    else
        show_row1(row1_text.c_str());
}
