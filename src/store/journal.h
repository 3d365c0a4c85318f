// The recovery journal: a file beside the user's own (in $XDG_STATE_HOME/
// pym/) that holds, from the first change of a text on, what it takes to
// rebuild the text byte for byte: the text as it stood before the first
// change and every change since. The changes go into a shared mapping of
// the journal's end, so they are in the kernel's hands as they are made
// (a SIGKILL loses nothing) without a system call per key; the journal is
// flushed to the disk after a second without keys and before the editor
// waits on something else or ends. It also tells a second editor that
// the file is being edited.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "state/state.h"
#include "store/identity.h"
#include "store/text_change.h"

// The directory journals go into, found from the environment at start-up:
// $XDG_STATE_HOME/pym, ~/.local/state/pym, else $TMPDIR/pym-UID (or /tmp).
void find_journal_directory();

// A journal of the file at an absolute path, found at start-up or Init.
struct found_journal {
    std::string path;           // the journal's own file
    unsigned long pid = 0;      // the editor that made it
    std::string host;           // the host it ran on
    bool this_host = true;
    bool running = false;       // that editor still runs (or runs elsewhere)
    bool has_changes = false;   // it holds a text that differs from the file
    time_t last_change = 0;
};

// The absolute form of a file name, whether or not the file exists.
std::string absolute_path(const char* name);
// Every journal of the file other than this process's own.
std::vector<found_journal> find_journals(const std::string& file);
// Rebuilds the journal's text in the store (emptied first); *cursor is
// where its last change was. False when it cannot be read.
bool recover_text(const found_journal& j, size_t* cursor);
void remove_journal(const found_journal& j);

/*
 * This editor's journal of the text now open: started when a text is
 * opened for editing. source is the file the text was read from as it
 * was then (its copy is the journal's base at the first change, while the
 * file is still so); without it the base is the text itself. beside: a
 * journal of another running editor is kept, this one goes beside it.
 * False, with *why, when no journal can be made.
 */
bool start_journal(const std::string& file, const file_identity* source, bool beside, std::string* why);
// The text differs from its file from the start (a recovered one): the
// journal keeps it now, not at the first change.
void keep_text_in_journal(bool placeholder, const std::vector<size_t>& crlf_ends);
// The text open is given up: its journal goes (Exit, Init, a normal end).
void end_journal();
// The text is in its own file now: the journal goes until the next change.
void journal_text_saved(const std::string& file);
// Writes what the journal holds to the disk (after a second of no keys,
// before the help viewer, a stop or the end). Async-signal-safe.
void flush_journal();
bool journal_flush_due();
// The run ends without asking: a journal with unsaved changes stays, on
// the disk; one without goes. Async-signal-safe.
void leave_journal();
// Why there is no journal or it stopped working, once; null when it works
// (or that was said).
const char* take_journal_trouble();
// The journal's file, or empty.
std::string journal_path();

// ---- what the store tells it (store.cpp, load.cpp) -------------------------
// Each says whether the empty text's placeholder line stands, and which
// lines end in CR LF (crlf_line_ends), as the text now is.

// Before a change: the text as it stands is the base, at the first change.
void journal_before_change(bool placeholder, const std::vector<size_t>& crlf_ends);
enum class journal_op : char { insert = 'I', remove = 'R', overwrite = 'O' };
// After a change made with an insertion, a removal or an overwrite at offset.
void journal_change(journal_op op, size_t offset, size_t removed, size_t inserted, bool placeholder,
                    const std::vector<size_t>& crlf_ends);
// After a batch of changes, as apply_changes made them.
void journal_batch(const std::vector<text_change>& parts, bool placeholder,
                   const std::vector<size_t>& crlf_ends);
// The empty text's placeholder line was set to on directly (by undo).
void journal_placeholder(bool on);
