// The Macro command: start or finish recording a keyboard macro.
#pragma once

void macro_command();
