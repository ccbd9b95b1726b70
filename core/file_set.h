#pragma once
// Replacing several files of one folder as a set, all or nothing even
// across a crash. The writers put every file into the set's staging
// folder. Once all are written and flushed, a journal naming them is put
// into the staging folder in one rename: from that moment the save counts
// as made. The staged files are then renamed over the folder's own and
// the staging folder is removed.
//
// A save cut short (a kill, a power cut) leaves the staging folder behind;
// file_set_recover, run before the folder is read, finishes it when the
// journal is there and undoes it when it is not, so the reader sees the
// whole old set or the whole new one.
//
// Folders are given as the file layer names them: "@" names stand for the
// per-user folder, real paths are used as they are.

// The staging folder's name for `folder` (its ".saving" subfolder), in the
// same form. The caller frees it. Null when the name would not fit.
char* file_set_staging(const char* folder);

// Flushes the named files present in the staging folder to the disk,
// writes the journal, then moves each over the folder's file of that name
// and removes the staging folder. 1 when all moved; 0 after a console line
// naming the file that could not be replaced and why, with the folder as
// it was before.
int file_set_commit(const char* folder, const char* const* names, int count);

// Removes the staging folder with the named files it holds.
void file_set_discard(const char* folder, const char* const* names, int count);

enum file_set_recovery {
  file_set_nothing = 0,   // no interrupted save
  file_set_finished = 1,  // the journal was there: the new set is in place
  file_set_undone = 2,    // no journal: the old set is kept
  file_set_stuck = -1,    // a file could not be moved; the staging folder stays for the next try
};

// Finishes or undoes a save of `folder` that was cut short, with a
// console line saying which.
file_set_recovery file_set_recover(const char* folder);

// Called after every step of a save that changes the disk (each staged
// file, the journal, each move), when set; tests stop the process there.
extern void (*file_set_step_hook)(const char* step);
void file_set_step(const char* step);
