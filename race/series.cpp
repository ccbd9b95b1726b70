// Points series: reading the series files and their standings, ranking.
#include "race/series.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "core/file.h"
#include "core/file_index.h"
#include "core/growable_array.h"
#include "core/intern.h"
#include "core/memory.h"
#include "platform/log.h"
#include "race/game_state.h"
#include "terrain/track.h"

series_table_record series_table = {0, nullptr, -1, -1, 0};
const char* series_page_rows[list_page_rows];
const char* series_last_refusal = "";

namespace {

enum { text_max = 1023 };

// A title or track name: text between double quotes (at most 1023
// characters), else one word. 1 when one was read.
int read_name(stream* s, char out[text_max + 1]) {
  int c;
  while ((c = stream_peekc(s)) != EOF && std::isspace(c)) stream_getc(s);
  if (c == EOF) return 0;
  if (c != '"') return stream_scanf(s, "%1023s", out) == 1;
  stream_getc(s);
  int n = 0;
  while ((c = stream_getc(s)) != EOF && c != '"') {
    if (n == text_max) return 0;
    out[n++] = (char)c;
  }
  out[n] = 0;
  return c == '"';
}

int read_int(stream* s, int32_t* out) {
  int v;
  if (stream_scanf(s, "%d", &v) != 1) return 0;
  *out = v;
  return 1;
}

int find_track(const char* folder) {
  for (int i = 0; i < track_count; i++)
    if (track_folders[i] && std::strcmp(track_folders[i], folder) == 0) return i;
  return -1;
}

char* with_prefix_suffix(const char* prefix, const char* name, const char* suffix) {
  const size_t n = std::strlen(prefix) + std::strlen(name) + std::strlen(suffix) + 1;
  char* out = static_cast<char*>(xmalloc(n));
  std::snprintf(out, n, "%s%s%s", prefix, name, suffix);
  return out;
}

// Fills out from the open stream; the reason of a refusal in *why.
int parse_series(stream* s, const char* name, series_record* out, growable_array* events, const char** why) {
  static char text[text_max + 1], track[text_max + 1];
  if (!read_name(s, text)) return *why = "no title", 0;
  out->title = intern_string(text);
  if (game_state.debug_level > 0) log_printf("series %s (%s)\n", name, out->title);
  if (stream_scanf(s, "%d %1023s", &out->rider_count, text) != 2) return *why = "no rider count and skill", 0;
  if (out->rider_count < 0 || out->rider_count > series_robot_limit)
    return *why = "rider count outside 0..159", 0;
  out->skill = 2;
  static const char* const skills[] = {"Novice", "Amateur", "Expert"};
  for (int k = 0; k < 3; k++)
    if (std::strcmp(text, skills[k]) == 0) out->skill = k;
  for (int i = 0; i < out->rider_count; i++)
    if (!read_int(s, &out->riders[i])) return *why = "short list of rider numbers", 0;
  if (!read_int(s, &out->event_count)) return *why = "no event count", 0;
  if (out->event_count < 0) return *why = "negative event count", 0;
  // Events are read into a growing list, so a count far beyond the file
  // fails at the first missing event rather than in one huge allocation.
  for (int32_t e = 0; e < out->event_count; e++) {
    if (!growable_array_append(events, nullptr)) out_of_memory();
    series_event* ev = static_cast<series_event*>(growable_array_at(events, events->count - 1));
    if (!read_name(s, text)) return *why = "an event without a title", 0;
    ev->title = intern_string(text);
    if (!read_name(s, track)) return *why = "an event without a track", 0;
    if (game_state.debug_level > 0) log_printf("  event %s (%s)\n", track, ev->title);
    ev->track = find_track(track);
    if (ev->track < 0) return *why = "an event on a track that is not installed", 0;
    if (!read_int(s, &ev->params[0]) || !read_int(s, &ev->params[1])) return *why = "an event without its two values", 0;
    for (int i = 0; i < series_row_read; i++)
      if (!read_int(s, &ev->points[i])) return *why = "a short points row", 0;
    for (int i = 0; i < series_row_read; i++)
      if (!read_int(s, &ev->second_row[i])) return *why = "a short second row", 0;
  }
  return 1;
}

}  // namespace

void free_series_record(series_record* s) {
  check_free(s->file_name);
  check_free(s->events);
  *s = {};
}

int read_series_file(const char* name, series_record* out) {
  char* path = with_prefix_suffix("@", name, "");
  const int ok = read_series_at(path, name, out);
  check_free(path);
  return ok;
}

int read_series_at(const char* path, const char* name, series_record* out) {
  *out = {};
  stream s;
  if (!stream_open_name(&s, path, "rb")) {
    series_last_refusal = "can't open it";
    log_printf("Series '%s' dropped: can't open it\n", name);
    return 0;
  }
  growable_array events;
  if (!growable_array_init(&events, sizeof(series_event), 4)) out_of_memory();
  const char* why = "";
  const int ok = parse_series(&s, name, out, &events, &why);
  stream_close_file(&s);
  if (!ok) {
    series_last_refusal = why;
    log_printf("Series '%s' dropped: %s\n", name, why);
    growable_array_free(&events);
    *out = {};
    return 0;
  }
  out->file_name = with_prefix_suffix("", name, "");
  out->events = static_cast<series_event*>(events.data);  // owned now, freed with check_free
  return 1;
}

void read_series_standings(series_record* s) {
  char* path = with_prefix_suffix("@", s->file_name, "_standings");
  read_series_standings_at(s, path);
  check_free(path);
}

void read_series_standings_at(series_record* s, const char* path) {
  s->events_done = 0;
  stream in;
  if (!stream_open_name(&in, path, "rb")) return;
  const int32_t n = s->rider_count;
  for (int32_t e = 0; e < s->event_count; e++) {
    int32_t row[series_rider_max];
    int full = 1;
    for (int32_t i = 0; i <= n && full; i++) {
      // A value indexes the points table: outside 1..N+1 ends the reading
      // like a short row.
      full = read_int(&in, &row[i]) && row[i] >= 1 && row[i] <= n + 1;
    }
    if (!full) break;
    for (int32_t i = 0; i <= n; i++) s->events[e].positions[i] = row[i] - 1;
    s->events_done = e + 1;
  }
  stream_close_file(&in);
}

void rank_series_standings(series_record* s) {
  const int32_t riders = s->rider_count + 1;
  int64_t totals[series_rider_max] = {};
  for (int32_t e = 0; e < s->events_done && e < s->event_count; e++) {
    series_event* ev = &s->events[e];
    for (int32_t i = 0; i < riders; i++) {
      const int32_t p = ev->positions[i];
      if (p >= 0 && p < series_rider_max) totals[i] += ev->points[p];
    }
    if (ev->second_row[0] == 0) continue;
    // A taken rider is flagged rather than marked down by a large number,
    // which negative points could reach.
    unsigned char taken[series_rider_max] = {};
    for (int32_t rank = 0; rank < riders; rank++) {
      int32_t best = -1;
      for (int32_t i = 0; i < riders; i++) {
        if (taken[i]) continue;
        if (best < 0 || totals[i] > totals[best] ||
            (totals[i] == totals[best] && ev->positions[i] < ev->positions[best]))
          best = i;
      }
      taken[best] = 1;
      ev->ranks[best] = rank;
    }
    for (int32_t i = 0; i < riders; i++) totals[i] = 0;
  }
}

void build_series_table() {
  free_series_table();
  const char* const* all = game_file_index.unique_names;
  int candidates = 0;
  for (int i = 0; all && all[i]; i++) {
    const size_t n = std::strlen(all[i]);
    if (n >= 7 && std::strcmp(all[i] + n - 7, ".series") == 0) candidates++;
  }
  if (candidates > 0) {
    series_table.records = static_cast<series_record*>(check_calloc((size_t)candidates, sizeof(series_record)));
    if (!series_table.records) out_of_memory();
  }
  for (int i = 0; all && all[i]; i++) {
    const size_t n = std::strlen(all[i]);
    if (n < 7 || std::strcmp(all[i] + n - 7, ".series") != 0) continue;
    series_record* s = &series_table.records[series_table.count];
    if (!read_series_file(all[i], s)) continue;
    read_series_standings(s);
    rank_series_standings(s);
    series_table.count++;
  }
  if (series_table.count == 0) {
    check_free(series_table.records);
    series_table.records = nullptr;
  }
  const char* titles[list_page_rows];
  for (int i = 0; i < list_page_rows; i++) titles[i] = i < series_table.count ? series_table.records[i].title : nullptr;
  fill_list_page(titles, series_table.count < list_page_rows ? series_table.count : list_page_rows, 0,
                 series_page_rows);
}

void free_series_table() {
  for (int32_t i = 0; i < series_table.count; i++) free_series_record(&series_table.records[i]);
  check_free(series_table.records);
  series_table = {0, nullptr, -1, -1, 0};
  for (const char*& row : series_page_rows) row = nullptr;
}
