#pragma once
// The pages that start races from the menu: "New Race" (page 1), "Time
// Trial" (page 6) and "Playback Race" (page 3).

void draw_new_race_page();
void new_race_page_key(int code);
void draw_time_trial_page();
void time_trial_page_key(int code);
void draw_playback_page();
void playback_page_key(int code);

// The reset the pages call: reset_session, replaced by tests.
extern int (*menu_reset_session)(const int* line_up, int play_demo, int record, int race_length_ticks,
                                 int race_laps, int skill);

// Where the New Race gates move after a start: entry i of the line-up goes
// to entry (r + i) mod 160, for any r.
void rotate_line_up(const int* line_up, int r, int* rotated);

// The Playback Race page's shown page of demos.
extern int demo_page_index;

// Fills the pages' entries of the page table.
void race_setup_pages_install();
