// Saving the text without overwriting anything: NAME.save and its fallbacks.
#pragma once

#include "state/state.h"

// Reads where the fallbacks go ($HOME, $TMPDIR) at start-up.
void find_rescue_directories();
// Writes the whole text as Update would, into file + ".save" (or the
// first of ".save.1" on that is free), else pym.save in the current
// directory, in $HOME, in $TMPDIR or /tmp. Returns the name written, or
// null when none could be. Async-signal-safe.
const char* rescue_text(const char* file);
