#include "keys/keys.h"

#include "screen/keyboard.h"
#include "store/history.h"

bool register_filled;
bool paste_not_recorded;

// A replay, running or still to start, makes one step of the history.
static void note_replay()
{
    join_steps(macro_play || macro_repeats > 0);
}

void stop_replay()
{
    macro_play = nullptr;
    macro_repeats = 0;
    note_replay();
}

/*
 * Serves the next key from a macro being replayed, or else from the
 * terminal, and copies terminal keys into the register being recorded.
 */
int take_key()
{
    if (macro_play) {
        int key = *macro_play++;
        if (key == key_none) {
            macro_play = nullptr;
            note_replay();
        }
        return key;
    }
    int key = get_console_key();
    if (key == 0)               // the decoder's mark before a scan code
        key = extended_prefix;
    if (key == key_paste && macro_record)
        paste_not_recorded = true;
    if (macro_record && key < 256) {
        if (macro_record < macro_limit) {
            *macro_record++ = byte(key);
        } else {
            *macro_record = 0;
            macro_record = nullptr;
            register_filled = true;
        }
    }
    return key;
}

static byte* register_start(byte* p)
{
    return p >= macro_z && p < macro_z + macro_size ? macro_z : macro_y;
}

void begin_recording(byte* reg)
{
    macro_record = reg;
    macro_limit = reg + 198;
}

void end_recording()
{
    // a replayed M finds no recorded M before it: end where we are
    if (macro_record > register_start(macro_record) && !macro_play)
        macro_record[-1] = 0;
    else
        macro_record[0] = 0;
    macro_record = nullptr;
}

void replay_command(byte* reg)
{
    if (reg[0] && !macro_record && !macro_play) {
        macro_repeats = repeat_count;
        macro_current = reg;
        note_replay();
    }
}

void start_repetition()
{
    if (macro_repeats > 0 && !macro_play) {
        macro_play = macro_current;
        macro_repeats--;
        note_replay();
    }
}
