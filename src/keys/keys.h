// The single source of keys: a macro being replayed, or else the terminal,
// whose keys are copied into the register being recorded. Also the state
// of the keyboard macros Y and Z.
#pragma once

#include "state/state.h"

// The next key. Sets register_filled when a recording had to end because
// its register was full (the key is then not recorded): the caller says so.
// A paste is never recorded (the register never holds part of one), and
// sets paste_not_recorded while a recording runs. A resize is no key to
// record either.
int take_key();
extern bool register_filled;
extern bool paste_not_recorded;

// Starts recording into a register from its start.
void begin_recording(byte* reg);
// Ends the recording, dropping the M that asked for it (recorded just before).
void end_recording();
// The Y and Z commands: replay the register repeat_count times.
void replay_command(byte* reg);
// Before each command key: starts the next replay when one is due.
void start_repetition();
// Ends a replay and drops the repetitions still to come (a failed search,
// a ^C, a new run).
void stop_replay();
