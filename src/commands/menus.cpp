#include "commands/menus.h"

#include <cstdio>

#include "prompts/menu.h"
#include "prompts/message.h"
#include "prompts/input.h"
#include "prompts/read_key.h"
#include "screen/console.h"
#include "screen/window.h"
#include "commands/open_text.h"
#include "commands/file_io.h"

static int ignore_changes()
{
    return !modified || ask_yes_no("--> ignore the changes ? ", "");
}

/*
 * Exit, Update, Write or Init. Returns 0 to leave the editor, or the
 * command key the command loop runs next: a blank after ESC, i after Init.
 */
int quit_menu()
{
    show_menu_line("QUIT: Exit Update Write Init");
    clear_message_line();
    print_formatted("--> '%s' %s %u", file_name.c_str(), modified ? "*" : "",
                    unsigned(text_end - text_begin));
    for (;;) {
        place_cursor();
        switch (read_key()) {
        case key_escape:
            return ' ';
        case 'E': case 'e':
            if (ignore_changes())
                return 0;
            break;
        case 'I': case 'i':
            if (ignore_changes()) {
                open_text(prompt_string("--> file: "));
                return view_only ? ' ' : 'i';   // viewing, when another editor has it
            }
            break;
        case 'U': case 'u':
            save_text(file_name.c_str());
            break;
        case 'W': case 'w':
            save_text(prompt_string("-->WRITE  file: "));
            break;
        case key_paste:
            refuse_paste();
            break;
        default:
            break;
        }
    }
}

static void toggle_with_question(const char* question, int* setting)
{
    if (ask_yes_no(question, *setting ? "on" : "off"))
        *setting = !*setting;
}

void set_menu()
{
    char line[64];
    snprintf(line, sizeof line, "SET: ^Q 1..9(Tabs=%d) Del_buf Indent", tab_width);
    show_menu_text(line);       // row 1 says it; menu_line keeps the menu
    clear_message_line();
    int key = read_key();
    if (key == key_paste) {
        refuse_paste();
    } else if ((key &= 0xFF) == key_ctrl_q) {
        show_controls = !show_controls;
        redraw_window(window_top, first_text_row);
    } else if (key >= '1' && key <= '9') {
        tab_width = key - '0';
        redraw_window(window_top, first_text_row);
    } else if (key == 'I' || key == 'i') {
        toggle_with_question("Indent is %s. Change ? ", &auto_indent);
    } else if (key == 'D' || key == 'd') {
        toggle_with_question("Del buffer is %s. Change ? ", &delete_to_buffer);
    } else if (key != key_escape) {
        show_message("--> bad set name%c", key_bell);
    }
    show_menu_segment();
}
