#include "session/keys.h"

#include "prompts/prompts.h"
#include "screen/console.h"
#include "screen/keyboard.h"

/*
 * Serves the next key from a macro being replayed, or else from the
 * terminal, and copies terminal keys into the register being recorded.
 */
int read_key()
{
    if (macro_play) {
        int key = *macro_play++;
        if (key == 0)
            macro_play = nullptr;
        return key;
    }
    int key = get_console_key();
    if (key == 0)               // the decoder's mark before a scan code
        key = extended_prefix;
    if (macro_record) {
        if (macro_record < macro_limit) {
            *macro_record++ = byte(key);
        } else {
            show_message("macro too big. rec finished.");
            place_cursor();
            *macro_record = 0;
            macro_record = nullptr;
        }
    }
    return key;
}

static byte* register_start(byte* p)
{
    return p >= macro_z && p < macro_z + macro_size ? macro_z : macro_y;
}

/*
 * M finishes a recording (dropping the M itself, which was recorded just
 * before), or asks which register to record into.
 */
void macro_command()
{
    if (macro_record) {
        // a replayed M finds no recorded M before it: end where we are
        if (macro_record > register_start(macro_record) && !macro_play)
            macro_record[-1] = 0;
        else
            macro_record[0] = 0;
        macro_record = nullptr;
        show_message("finished macro recording");
        return;
    }
    show_message("record macro Y or Z ? ");
    int key;
    do
        key = read_key() & 0x5F;
    while (key != 0x59 && key != 0x5A && key != 0x1B);
    if (key == 0x1B)
        return;
    show_message("'M' : finish macro recording");
    macro_record = key == 0x59 ? macro_y : macro_z;
    macro_limit = macro_record + 198;
}

void replay_command(byte* reg)
{
    if (reg[0] && !macro_record && !macro_play) {
        macro_repeats = repeat_count;
        macro_current = reg;
    }
}

void start_repetition()
{
    if (macro_repeats > 0 && !macro_play) {
        macro_play = macro_current;
        macro_repeats--;
    }
}
