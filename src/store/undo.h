// Undo and redo of whole steps of the history, each made in one pass.
#pragma once

#include <cstddef>

enum class undo_result { done, nothing, no_older_kept, no_memory };

// Takes the last step back (undo) or makes the last undone step again
// (redo). *where is the start of the change, as an offset in the text.
undo_result undo_step(size_t* where);
undo_result redo_step(size_t* where);
