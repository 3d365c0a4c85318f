// The single source of keys, and the keyboard macros Y and Z.
#pragma once

#include "state/state.h"

int read_key();
void macro_command();
void replay_command(byte* reg);
void start_repetition();
