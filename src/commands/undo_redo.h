// U takes back the last steps of the text's history, ^R makes the steps
// taken back again.
#pragma once

void undo_command(long n);
void redo_command(long n);
