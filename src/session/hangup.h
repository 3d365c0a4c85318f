// Ending a run that nobody asked to end, without losing what was typed.
#pragma once

void install_hangup_handlers();
// Writes a modified text to NAME.save (or NAME.save.N) beside its file.
// Uses only async-signal-safe calls. Returns false when it could not.
bool emergency_save();
