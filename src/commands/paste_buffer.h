// The paste buffer commands: Buffer, Delete, Copy, Put and Get.
#pragma once

#include "state/state.h"

int buffer_range(byte* a, byte* b);
void buffer_command();
void delete_command();
// False when there was no room for the paste buffer's contents.
bool copy_command();
void put_command();
void get_command();
