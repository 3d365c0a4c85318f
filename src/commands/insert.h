// Insert and exchange mode: where typed text enters the store.
#pragma once

void insert_mode(int insert);
