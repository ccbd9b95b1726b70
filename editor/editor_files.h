#pragma once
// The editor's own files in the track folder: "edinfo", which keeps the
// gradients from one session to the next, and the "track.pov" scene
// export for rendering the track outside the game.
#include <cstddef>

struct stream;

// Writes the gradient list as "edinfo" into track_source. 1 on success;
// 0 after a console line ("Can't open 'edinfo'" or a failed write), with
// the gradients left in memory.
int editor_save_edinfo();

// Reads an "edinfo" file (a path or "@" name) into the gradient list,
// appending each gradient it holds. A missing file is no error. Lines the
// profile could not use (unordered or non-finite points, broken gradient
// lines with their points, points before any gradient, over-long lines)
// are refused one by one with a console line naming the line number.
// Returns the number of refused lines, or -1 when the file did not open.
int editor_read_edinfo(const char* name);

// The identifier the scene export gives a file name: its base name
// without the extension, "_" for every other character, "_" before a
// leading digit (statues/tree.jm: "_tree"). 1 when written.
int pov_identifier(stream* s, const char* name);

// Writes "track.pov" into track_source in one step: the statues' models,
// the statues, the billboards and the ground. 1 and the message "Pov!";
// on failure 0, a console line, "Export failed!" and the old file kept.
int editor_export_pov();
