#include "commands/macros.h"

#include "keys/keys.h"
#include "prompts/message.h"
#include "prompts/read_key.h"

/*
 * M finishes a recording (dropping the M itself, which was recorded just
 * before), or asks which register to record into.
 */
void macro_command()
{
    if (macro_record) {
        end_recording();
        show_message("finished macro recording");
        return;
    }
    show_message("record macro Y or Z ? ");
    int key;
    do {
        key = read_key();
        if (key == key_paste)
            refuse_paste();
        key = fold_case(key);
    } while (key != 'Y' && key != 'Z' && key != key_escape);
    if (key == key_escape)
        return;
    show_message("'M' : finish macro recording");
    begin_recording(key == 'Y' ? macro_y : macro_z);
}
