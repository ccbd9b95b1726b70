// Points series: reading the series files and their standings, ranking.
#include "race/series.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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

// Moves a damaged per-user standings file aside so the next event's
// standings never replace it unseen. The name it got, or "" when it stays.
static std::string keep_damaged(const char* name) {
  char* path = home_file_path(name);
  std::string kept;
  struct stat st;
  if (path && stat(path, &st) == 0 && S_ISREG(st.st_mode)) {
    for (int i = 0; i < 100 && kept.empty(); i++) {
      const std::string to = std::string(path) + ".damaged" + (i ? std::to_string(i) : "");
      if (stat(to.c_str(), &st) != 0 && std::rename(path, to.c_str()) == 0) kept = to;
    }
  }
  check_free(path);
  return kept;
}

void read_series_standings(series_record* s) {
  char* path = with_prefix_suffix("@", s->file_name, "_standings");
  std::string fault;
  if (!read_series_standings_at(s, path, &fault)) {
    const std::string kept = keep_damaged(path);
    log_printf("Series standings file '%s' %s; %d events read%s%s\n", path + 1, fault.c_str(), s->events_done,
               kept.empty() ? "" : ", the file kept as ", kept.c_str());
  }
  check_free(path);
}

namespace {

enum { standings_line_max = 4096 };

// One line of the file without its end; 0 at the end of the data. Longer
// lines are read to their end and flagged.
int standings_line(stream* in, std::string* text, int* too_long, int* has_nul) {
  text->clear();
  *too_long = *has_nul = 0;
  int c = stream_getc(in);
  if (c < 0) return 0;
  for (; c >= 0 && c != '\n'; c = stream_getc(in)) {
    if (c == 0) *has_nul = 1;
    if (text->size() < standings_line_max) *text += (char)c;
    else *too_long = 1;
  }
  if (!text->empty() && text->back() == '\r') text->pop_back();
  return 1;
}

// What is wrong with one row of n + 1 positions, or null; the positions go
// into row.
const char* standings_row(const std::string& text, int32_t n, int32_t row[series_rider_max], int32_t* count) {
  const char* p = text.c_str();
  *count = 0;
  for (;;) {
    while (*p == ' ' || *p == '\t' || *p == '\r') p++;
    if (!*p) break;
    char* end = nullptr;
    const long v = std::strtol(p, &end, 10);
    if (end == p || (*end && *end != ' ' && *end != '\t' && *end != '\r')) return "not a row of numbers";
    if (*count <= n) row[*count] = v < 1 || v > n + 1 ? 0 : (int32_t)v;
    if (*count <= n && row[*count] == 0) return "a position outside 1 to the riders' count";
    ++*count;
    p = end;
  }
  return *count == n + 1 ? nullptr : "holds the wrong number of positions";
}

}  // namespace

int read_series_standings_at(series_record* s, const char* path, std::string* fault) {
  s->events_done = 0;
  stream in;
  if (!stream_open_name(&in, path, "rb")) return 1;
  const int32_t n = s->rider_count;
  std::string text, why;
  int too_long = 0, has_nul = 0;
  int64_t line = 0;
  int32_t e = 0;
  while (why.empty() && standings_line(&in, &text, &too_long, &has_nul)) {
    line++;
    int32_t row[series_rider_max], count = 0;
    const char* wrong = nullptr;
    if (has_nul) wrong = "a NUL byte";
    else if (too_long) wrong = "a line of more than 4096 bytes";
    else if (text.find_first_not_of(" \t") == std::string::npos) wrong = "an empty line";
    else if (e >= s->event_count) wrong = "more rows than the series has events";
    else wrong = standings_row(text, n, row, &count);
    if (wrong) {
      why = "line " + std::to_string(line) + ": " + wrong;
      if (count > 0 && count != n + 1)
        why += " (" + std::to_string(count) + ", not " + std::to_string(n + 1) + ")";
      break;
    }
    for (int32_t i = 0; i <= n; i++) s->events[e].positions[i] = row[i] - 1;
    s->events_done = ++e;
  }
  // The game never writes a standings file without an event in it.
  if (why.empty() && line == 0) why = "is empty";
  stream_close_file(&in);
  if (fault) *fault = why;
  return why.empty();
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
