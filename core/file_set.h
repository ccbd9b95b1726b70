#pragma once
// Replacing several files of one folder as a set. The writers put every
// file into the set's staging folder; only when all were written and
// closed are they moved over the folder's own, and when any move fails the
// ones already moved are put back. So a failed save leaves the old files
// whole and no stray new file beside them.
//
// Folders are given as the file layer names them: "@" names stand for the
// per-user folder, real paths are used as they are.

// The staging folder's name for `folder` (its ".saving" subfolder), in the
// same form. The caller frees it. Null when the name would not fit.
char* file_set_staging(const char* folder);

// Moves each named file present in the staging folder over the folder's
// file of that name, then removes the staging folder. 1 when all moved; 0
// after a console line naming the file that could not be replaced, with
// the folder as it was before.
int file_set_commit(const char* folder, const char* const* names, int count);

// Removes the staging folder with the named files it holds.
void file_set_discard(const char* folder, const char* const* names, int count);
