#include "race/game_state.h"

game_state_record game_state;

// One tick is 1/128 s.
const int samples_per_tick = audio_mix_rate / 128;

const char* const menu_key_names[menu_key_count] = {
    "up",  "down",        "left",         "right",   "enter",     "keypad enter", "esc",
    "pause", "cursor-left", "cursor-right", "page up", "page down", "close",
};
