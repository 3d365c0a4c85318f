// Prompts on row 2: a line of input, a remembered value, a yes/no question.
#pragma once

char* read_input(char* out, int size);
char* prompt_string(const char* prompt);
int prompt_with_default(const char* label, char* value);
int ask_yes_no(const char* format, const char* value);
