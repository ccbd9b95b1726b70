#pragma once
// Points series: the table of series read from the ".series" files at
// start-up, their standings files, and the ranking of the standings.
//
// A series file is whitespace-separated text:
//   title                      "in double quotes" or one word
//   N skill                    robots (0..159) and "Novice", "Amateur", "Expert"
//   N robot roster numbers
//   E                          events
//   per event: title, track folder, two race parameters, 40 points (by
//   finishing position), 40 of the second row (first value non-zero:
//   the standings are ranked after this event)
// Its standings file ("name_standings") holds one row per event done:
// N + 1 finishing positions + 1, the robots in order, then the player.
#include <cstdint>
#include <string>

#include "race/startup_lists.h"

enum {
  series_rider_max = 160,   // rows of the per-event tables
  series_robot_limit = 159, // robots in a series: N below 160
  series_row_read = 40,     // points and second-row values in the file
};

struct series_event {
  const char* title;  // interned
  int32_t track;      // index into track_folders
  int32_t params[2];
  int32_t points[series_rider_max];
  int32_t second_row[series_rider_max];
  int32_t positions[series_rider_max];  // per series rider, 0 = first
  int32_t ranks[series_rider_max];      // per series rider, after a ranked event
};

struct series_record {
  const char* title;  // interned
  char* file_name;    // the file-index name of the ".series" file
  int32_t event_count;
  series_event* events;
  int32_t events_done;
  int32_t skill;        // 0 Novice, 1 Amateur, 2 Expert
  int32_t rider_count;  // N robots; the player is column N
  int32_t riders[series_rider_max];
};

struct series_table_record {
  int32_t count;
  series_record* records;
  int32_t current_series;  // -1: none
  int32_t current_event;   // -1: none
  int32_t spare;
};
extern series_table_record series_table;
// The Points Series page's rows: titles of one page, null past the end.
extern const char* series_page_rows[list_page_rows];

// Reads one series file ("@" + name) into out. 1 on success; 0 after a log
// line naming the file and the reason, with nothing left allocated.
int read_series_file(const char* name, series_record* out);
// Why the last series was refused.
extern const char* series_last_refusal;
// The same from a real path or "@" name; name is what messages and
// file_name carry.
int read_series_at(const char* path, const char* name, series_record* out);
// Reads the standings rows into the events' positions and sets events_done;
// a row that is not N + 1 positions in 1..N + 1 ends the reading. A damaged
// per-user file is named in the log with its line and moved aside (NAME +
// ".damaged"), so the next event's standings never replace it unseen.
void read_series_standings(series_record* s);
// The same from a real path or "@" name, touching nothing: 1 when the file
// is sound or absent, else 0 with the first fault ("line 2: ...") in fault.
int read_series_standings_at(series_record* s, const char* path, std::string* fault = nullptr);
// Totals and ranks over the events done: each ranked event ranks the riders
// by their totals since the last ranked event (ties to the better position
// in that event, then the lower index), then the totals start again.
void rank_series_standings(series_record* s);
// Reads every ".series" file of the file index (built before, with the
// tracks scanned) and fills page 0's rows.
void build_series_table();
void free_series_table();
void free_series_record(series_record* s);
