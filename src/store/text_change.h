// One change of a batch, as the store makes it and the journal writes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "state/state.h"

// One of a batch of changes: the removed bytes from offset on are replaced
// by the length bytes at bytes. crlf, when not null, lists which of the
// NULs among them end in CR LF (offsets among the bytes, ascending);
// without it they end as the line they are put in.
struct text_change {
    size_t offset;
    size_t removed;
    const byte* bytes;
    size_t length;
    const std::vector<uint32_t>* crlf = nullptr;
};
