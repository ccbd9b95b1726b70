#pragma once
// The loaded track's script: loaded by race reset from the track folder's
// "frills.js", run under a budget, with its tick and frame hooks.
struct script_host;

// The track script host, or null when the track has none.
extern script_host* track_script;
// The hooks are off once the script ran over its budget, until the next
// load; the first hook error of a script is logged, later ones are not.
extern int track_script_hooks_off;

// Loads "frills.js" from `path` ("@" names the data root): the natives on
// `bk`, the prelude, then the file. 0 when there is no file or no host could
// be made, else 1 (also when the script itself failed: its error is on the
// console).
int load_track_script(const char* path);
void free_track_script();
// Call bk.tic_handler_ / bk.frame_handler_ with the shown tick; at once
// when there is no script or its hooks are off.
void call_tic_handler();
void call_frame_handler();

// Fills the race's hook entries for the track script (load, free, tick and
// frame handlers).
void script_install_hooks();

// The prelude's source, run before the track's file.
extern const char* const script_prelude;
