#pragma once
// What the command line asks of the frame loop. Start-up fills it in; the
// frame loop reads it every frame.
#include <cstdio>

struct loop_options_record {
  int show_hud;          // 0: "--hidden-hud"
  int show_pause_text;   // 0: "--hidden-pause"
  int record_video;      // "--record-video": frames on standard output
  double lock_fps;       // "--lock-fps": frames a second, 0 = off
  int warp;              // "--warp"
  int gl_finish;         // "--glfinish"
  int chase_center_set;  // "--chase-center" was given
  float chase_center[3];
  const char* record_audio_name;  // "--record-audio": the file's name
  std::FILE* record_audio_file;   // open from the audio step to shut-down
  int erode_level;       // -1 not yet known, 0 ruts off, above 0 on
};

extern loop_options_record loop_options;
