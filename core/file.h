#pragma once
// The file layer: search roots, "@" names, opening streams, and the few
// whole-file services (renames in the per-user folder, reading a file into
// a string, finding the game data).
//
// Root 0 is the per-user folder ($XDG_DATA_HOME/Brakkan/, else
// ~/.local/share/Brakkan/); root 1 is $BK_HOME, else the executable's folder.
// When there is no per-user folder the other root becomes root 0 for
// reading. An "@name" is looked up in the roots (plain, then ".gz", ".scram",
// ".gz.scram"), then in the file index; writing an "@name" lands in the
// per-user folder, and is refused when there is none.
#include "core/stream.h"

// a + b with "\" turned into "/" and runs of "/" collapsed. Null when either
// is null. The caller frees the result.
char* path_join(const char* a, const char* b);

// Root i (ending in "/"), or null past the last root.
const char* search_root(int i);
// The per-user folder (root 0, ending in "/"), or null when there is none:
// the game data folder never stands in for it.
const char* user_folder();
// Forget the roots so they are found again on next use (the environment
// may have changed). Part of free_file_index.
void search_roots_free();

// Opens a real path with an fopen mode. Writing creates the parent folders;
// a mode beginning with "~" first copies an existing file to "path.~N~".
// Reading falls back to the ".gz", ".scram" and ".gz.scram" variants.
int stream_open_path(stream* s, const char* path, const char* mode);
// As stream_open_path, and "@" names as above. "@" names must be relative,
// without ".." parts, and short enough to use whole; others are refused with
// a log line.
int stream_open_name(stream* s, const char* name, const char* mode);
// A new stream, or null. Ended with stream_close.
stream* stream_open(const char* name, const char* mode);

// An "@" name opened for reading past the per-user folder (root 1 on, then
// the file index): the shipped copy a per-user one shadows. Null when there
// is none, or no per-user folder to shadow it.
stream* stream_open_shadowed(const char* name);

// 1 when some root holds "zzzz.saf" whose first MiB has the given digest
// (40 hex digits). Creates the per-user folder and points the log there.
int locate_game_data(const char* expected_digest_hex);

// Opens root 0 in the desktop's file manager. 1 when the opener ran.
int open_home_folder();

// mkdir every folder on the way to path's last "/" (paths of 1024 bytes
// or more are left alone).
void make_parent_folders(const char* path);

// An "@" name as a path in root 0; a real path as it is. Null on refusal.
// The caller frees the result.
char* home_file_path(const char* name);

// Renames from to to; "@" names stand for root 0. A missing source leaves
// the target alone. 1 on success.
int rename_home_file(const char* from, const char* to);

// The whole file, NUL-terminated, or null. Files of 16 MiB or more are
// refused with a log line. The caller frees the result.
char* file_to_string(const char* name);

// Longest file file_to_string returns, plus one.
enum { file_to_string_buffer = 16777216 };
