// Ending a run that nobody asked to end, without losing what was typed.
#pragma once

#include <sys/types.h>

// The help viewer while it runs, so that it ends along with the editor.
extern volatile pid_t help_viewer;

void install_hangup_handlers();
// Writes a modified text to NAME.save (or NAME.save.N) beside its file.
// Uses only async-signal-safe calls. Returns false when it could not.
bool emergency_save();
