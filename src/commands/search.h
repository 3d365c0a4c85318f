// Find, reverse find, Again and Replace.
#pragma once

#include "state/state.h"

byte* search_forward(const char* s);
byte* search_backward(const char* s);
byte* find_repeat(long n, const char* s);
byte* prompt_find(long n);
byte* prompt_reverse_find(long n);
void again_command(int letter, long n);
void replace_repeat(long n, int ask, const char* from, const char* to);
void prompt_replace(long n, int ask);

// What prompt_find and prompt_reverse_find return when ESC left the prompt.
extern byte* const find_cancelled;
