// Opening a text: the store emptied, the settings of a text reset, the
// file loaded and the window drawn from its first line.
#pragma once

void open_text(const char* path);
