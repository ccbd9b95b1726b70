#pragma once
// The files behind console commands: the loaded track's info file, the
// camera path's keyframe files, and the name the demo being recorded is
// saved under.
#include <cstddef>
#include <string>

#include "race/camera_math.h"

// The six lines of "@" + track folder + ".trackinfo" for the loaded track.
void trackinfo_text(std::string* out);
// Writes the track-info file and says so; "No track loaded" without one.
// 1 when the file was written.
int write_trackinfo();

// The free camera's pose at the current tick, after every key of that
// tick. 0 (and nothing changes) when the list is full.
int add_camera_keyframe();
// Drops the key nearest the current tick (see the console's deletekey);
// with fewer than two keys the list empties.
void delete_camera_keyframe();
void clear_camera_keyframes();

// One line of a keyframe file for a key.
void camera_keyframe_line(const camera_key& key, std::string* out);
// Reads the lines of a keyframe file into keys (at most max), in file
// order. 1 when every line gave nine finite values; else 0 with the keys
// before it in keys and *count, *bad_line the 1-based line that did not,
// and *reason what was wrong with it.
int parse_camera_keyframes(const char* text, size_t size, camera_key* keys, size_t max, size_t* count,
                           int* bad_line, const char** reason);
// "@keycam/" + the name with blanks cut from both ends. 1 on success; the
// console says what went wrong otherwise. Reading replaces the list with
// the file's keys up to its first bad line; a file that cannot be opened
// leaves the list as it was.
int write_camera_keyframes(const char* name);
int read_camera_keyframes(const char* name);

// The first word of text becomes the name of the demo being recorded
// (".bkdemo" added unless there). 1 when the name was set.
int name_demo(const char* text);
