// The keys every key loop hands on to one shared handler.
#pragma once

// Acts on a shared key: 0 when it was handled (an extended key it does
// not know included), key_ctrl_v for the Insert key (mode_key is then
// set), and the key itself when it is not one of them.
int handle_special_key(int key);
