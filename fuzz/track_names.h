#pragma once
// The text files of a track folder the track_files target feeds their
// readers; an input's first byte picks one (modulo the count). bkdata seeds
// leads each seed with its file's index here.
static const char* const fuzz_track_file_names[] = {"timing_gates", "statues",  "billboards",
                                                    "flaggers",     "lighting", "cameras"};
enum { fuzz_track_file_kinds = sizeof(fuzz_track_file_names) / sizeof(fuzz_track_file_names[0]) };
