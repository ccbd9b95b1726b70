// "Points Series" and the standings page: choosing a series, entering or
// practising its next event, and the standings table.
#include "ui/series_pages.h"

#include <GL/gl.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "assets/font.h"
#include "race/game_state.h"
#include "race/race_hooks.h"
#include "race/race_settings.h"
#include "race/race_state.h"
#include "race/screen_draw.h"
#include "race/series.h"
#include "race/startup_lists.h"
#include "ui/bike_setup.h"
#include "ui/game_settings.h"
#include "ui/menu.h"
#include "ui/race_setup_pages.h"

int series_page_index;
int series_shown;

static const int ticks_per_second = 128;
static const float line_gap = 0.125f;
static const float item_step = 3 * line_gap + 1;
static const float button_width = 15.0f;
static const float row_width = 41.99667f;

// --- The line-up ---

// The gates riders take after the first event, worst-placed first: up to
// 14 robots spread over every second gate, more fill from the middle out.
static const int small_gate_order[] = {6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30, 32, 34};
static const int large_gate_order[] = {10, 9,  11, 8,  12, 7,  13, 6,  14, 5,  15, 4,  16, 3,
                                       17, 2,  18, 1,  19, 0,  20, 21, 22, 23, 24, 25, 26, 27,
                                       28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39};

// The gate of the n-th place; a series of more riders than the table has
// places goes on with the gates after it, in order.
static int gate_of_place(int robots, int n) {
  if (robots <= 14) return n < 15 ? small_gate_order[n] : -1;
  if (n < 40) return large_gate_order[n];
  return n < line_up_slots ? n : -1;
}

int build_series_line_up(const series_record* s, int* line_up) {
  if (!s || s->events_done >= s->event_count || s->events_done < 0) return 0;
  int robots = s->rider_count;
  if (robots < 0) robots = 0;
  if (robots > series_robot_limit) robots = series_robot_limit;
  for (int i = 0; i < line_up_slots; i++) line_up[i] = 0;
  if (s->events_done == 0) {
    for (int k = 0; k < robots; k++) line_up[k] = 1000 + s->riders[k];
    line_up[robots] = 1;
    return 1;
  }
  const series_event* prev = &s->events[s->events_done - 1];
  // A position outside 0..R (a hand-edited standings file) is placed with
  // the last.
  auto place = [&](int rider) {
    const int p = prev->positions[rider];
    return p < 0 || p > robots ? robots : p;
  };
  int n = 0;
  for (int p = robots; p >= 0; p--) {
    for (int k = 0; k <= robots; k++) {
      if (place(k) != p) continue;
      const int gate = gate_of_place(robots, n++);
      if (gate >= 0) line_up[gate] = k < robots ? 1000 + s->riders[k] : 1;
    }
  }
  return 1;
}

int series_event_ticks(int minutes) {
  if (minutes <= 0) return 0;
  const int64_t ticks = static_cast<int64_t>(minutes) * 60 * ticks_per_second;
  return ticks > INT_MAX ? INT_MAX : static_cast<int>(ticks);
}

static series_record* shown_series() {
  if (!series_table.records || series_shown < 0 || series_shown >= series_table.count) return nullptr;
  return &series_table.records[series_shown];
}

int prepare_series_event() {
  series_record* s = shown_series();
  int line_up[line_up_slots];
  if (!build_series_line_up(s, line_up)) return 0;
  const series_event* ev = &s->events[s->events_done];
  if (game_settings.track.selected && ev->track >= 0 && ev->track < game_settings.track.count) {
    *game_settings.track.selected = ev->track;
    std::snprintf(race_track_choice, sizeof race_track_choice, "%s", selected_track_folder());
  }
  if (race_hooks.net_leave_server) race_hooks.net_leave_server();
  const int laps = ev->params[1] < 0 ? 0 : ev->params[1];
  menu_reset_session(line_up, 0, record_demos, series_event_ticks(ev->params[0]), laps, s->skill);
  return 1;
}

// --- Standings rows ---

int compare_standings(const void* a, const void* b) {
  const standings_row* x = static_cast<const standings_row*>(a);
  const standings_row* y = static_cast<const standings_row*>(b);
  if (x->total != y->total) return x->total > y->total ? -1 : 1;
  if (x->last_position != y->last_position) return x->last_position < y->last_position ? -1 : 1;
  return x->rider < y->rider ? -1 : x->rider > y->rider;
}

static int scoring(const series_event* ev) { return ev->points[0] != 0; }

int series_points_race_count(const series_record* s) {
  int n = 0;
  for (int e = 0; e < s->event_count; e++) n += scoring(&s->events[e]);
  return n;
}

// The scoring event of points race c and the first heat before it.
static int points_race_event(const series_record* s, int c, int* first_heat) {
  int n = 0, heat = 0;
  for (int e = 0; e < s->event_count; e++) {
    if (!scoring(&s->events[e])) continue;
    if (n++ == c) {
      *first_heat = heat;
      return e;
    }
    heat = e + 1;
  }
  return -1;
}

static int clamp_position(int p, int riders) { return p < 0 || p > riders ? riders : p; }

// A ranked event gives its points by standings rank, else by finishing
// position (an unranked event's ranks were never set).
static int points_position(const series_event* ev, int rider, int robots) {
  const int p = ev->second_row[0] != 0 ? ev->ranks[rider] : ev->positions[rider];
  return clamp_position(p, robots);
}

int build_standings_block(const series_record* s, int first_race, standings_row* rows) {
  int robots = s->rider_count;
  if (robots < 0) robots = 0;
  if (robots > series_robot_limit) robots = series_robot_limit;
  const int riders = robots + 1;
  const int races = series_points_race_count(s);
  int last_race = first_race + standings_block_races - 1;
  if (last_race > races - 1) last_race = races - 1;
  int first_heat = 0;
  const int last_event = last_race >= 0 ? points_race_event(s, last_race, &first_heat) : -1;
  for (int i = 0; i < riders; i++) {
    standings_row* r = &rows[i];
    std::memset(r, 0, sizeof *r);
    r->rider = i;
    r->last_position = robots;
    if (i < robots) std::snprintf(r->number, sizeof r->number, "%d", s->riders[i]);
    for (int e = 0; e <= last_event && e < s->events_done; e++) {
      const series_event* ev = &s->events[e];
      if (!scoring(ev)) continue;
      const int p = points_position(ev, i, robots);
      r->total += ev->points[p];
      r->last_position = p;
    }
    std::snprintf(r->total_text, sizeof r->total_text, "%lld", static_cast<long long>(r->total));
    for (int c = 0; c < standings_block_races; c++) {
      char* cell = r->cells[c];
      std::snprintf(cell, standings_cell_bytes, "-");
      int heat0 = 0;
      const int e = first_race + c <= last_race ? points_race_event(s, first_race + c, &heat0) : -1;
      if (e < 0) continue;
      // Of more heats than two, the two nearest the final show.
      if (e - heat0 > 2) heat0 = e - 2;
      const int heats = e - heat0;
      const series_event* ev = &s->events[e];
      auto pos = [&](int event) { return clamp_position(s->events[event].positions[i], robots) + 1; };
      if (e < s->events_done) {
        const int points = ev->points[points_position(ev, i, robots)];
        if (heats == 0)
          std::snprintf(cell, standings_cell_bytes, "%d (%d)", points, points_position(ev, i, robots) + 1);
        else if (heats == 1)
          std::snprintf(cell, standings_cell_bytes, "%d (%d-%d)", points, pos(heat0), pos(e));
        else
          std::snprintf(cell, standings_cell_bytes, "%d (%d-%d-%d)", points, pos(heat0), pos(heat0 + 1), pos(e));
      } else if (heats == 1 && heat0 < s->events_done) {
        std::snprintf(cell, standings_cell_bytes, "- (%d-)", pos(heat0));
      } else if (heats == 2 && heat0 + 1 < s->events_done) {
        std::snprintf(cell, standings_cell_bytes, "- (%d-%d-)", pos(heat0), pos(heat0 + 1));
      } else if (heats == 2 && heat0 < s->events_done) {
        std::snprintf(cell, standings_cell_bytes, "- (%d-)", pos(heat0));
      }
    }
  }
  std::qsort(rows, riders, sizeof *rows, compare_standings);
  return riders;
}

// --- "Points Series" ---

enum { series_first_row = 2, series_next_page = 22 };
static menu_button series_back = {"Back to Main Menu", {0, 0, 0, 0}};
static menu_button series_prev = {"Prev Page", {0, 0, 0, 0}};
static menu_button series_next = {"Next Page", {0, 0, 0, 0}};
static menu_button series_rows[list_page_rows];
static const int* series_hits[series_next_page + 2];

static int series_count() { return series_table.records ? series_table.count : 0; }

static int series_rows_filled() {
  const int n = series_count() - list_page_rows * series_page_index;
  return n < 0 ? 0 : n > list_page_rows ? list_page_rows : n;
}

static void refill_series_rows() {
  for (int i = 0; i < list_page_rows; i++) {
    const int k = list_page_rows * series_page_index + i;
    series_page_rows[i] = k < series_count() ? series_table.records[k].title : nullptr;
  }
}

static int series_item_shown(int i) {
  if (i == 0) return 1;
  if (i == 1) return series_page_index > 0;
  if (i == series_next_page) return series_page_index < list_last_page(series_count());
  return i - series_first_row < series_rows_filled();
}

// A hidden item passes the selection on the way it went; past the end it
// turns back up, and "Back to Main Menu" always shows.
static void skip_hidden_items(int dir) {
  while (!series_item_shown(menu_selection)) {
    menu_selection += dir;
    if (menu_selection > series_next_page) {
      menu_selection = series_next_page;
      dir = -1;
    }
  }
}

void series_page_key(int code) {
  menu_move_selection(code, series_next_page);
  skip_hidden_items(code == menu_keys.down ? 1 : -1);
  const int s = menu_selection;
  if (s == 0) {
    if (widget_activated(series_back.rect, code)) menu_go(page_main);
  } else if (s == 1 || s == series_next_page) {
    if (!widget_activated(s == 1 ? series_prev.rect : series_next.rect, code)) return;
    series_page_index += s == 1 ? -1 : 1;
    const int last = list_last_page(series_count());
    if (series_page_index > last) series_page_index = last;
    if (series_page_index < 0) series_page_index = 0;
    refill_series_rows();
    // The page item just used may hide on the new page.
    skip_hidden_items(-1);
  } else {
    const int i = s - series_first_row;
    if (i >= series_rows_filled() || !widget_activated(series_rows[i].rect, code)) return;
    series_shown = list_page_rows * series_page_index + i;
    menu_go(page_standings);
  }
}

void draw_series_page() {
  draw_menu_backdrop();
  float pen[2], scale[2];
  const int s = menu_selection;
  refill_series_rows();
  menu_begin_column(32, pen, scale);
  menu_translate(pen, 1, -2);
  menu_draw_title("Points Series", pen, scale);
  menu_translate(pen, 0, -2);
  draw_button(&series_back, s == 0, pen, scale, button_width, 0);
  menu_translate(pen, 0, -item_step);
  if (series_item_shown(1))
    draw_button(&series_prev, s == 1, pen, scale, row_width, 0);
  else
    widget_hide(series_prev.rect);
  const int filled = series_rows_filled();
  for (int i = 0; i < list_page_rows; i++) {
    menu_translate(pen, 0, -(2 * line_gap + 1));
    series_rows[i].label = i < filled ? series_page_rows[i] : nullptr;
    if (series_rows[i].label)
      draw_button(&series_rows[i], s == series_first_row + i, pen, scale, row_width, 0);
    else
      widget_hide(series_rows[i].rect);
  }
  menu_translate(pen, 0, -item_step);
  if (series_item_shown(series_next_page))
    draw_button(&series_next, s == series_next_page, pen, scale, row_width, 0);
  else
    widget_hide(series_next.rect);
  menu_pop_transform();
}

// --- Standings ---

enum { standings_last = 3 };
static menu_button standings_back = {"Back to Points Series List", {0, 0, 0, 0}};
static menu_button standings_enter = {"Enter Next Event", {0, 0, 0, 0}};
static menu_button standings_practice = {"Practice Next Event", {0, 0, 0, 0}};
static menu_button standings_reset = {"Reset Points", {0, 0, 0, 0}};
static const int* const standings_hits[] = {standings_back.rect, standings_enter.rect, standings_practice.rect,
                                            standings_reset.rect, nullptr};

void standings_page_key(int code) {
  series_record* s = shown_series();
  if (!s) {
    menu_go(page_series);
    return;
  }
  menu_move_selection(code, standings_last);
  switch (menu_selection) {
    case 0:
      if (widget_activated(standings_back.rect, code)) menu_go(page_series);
      break;
    case 1: {
      if (!widget_activated(standings_enter.rect, code)) break;
      if (series_shown == series_table.current_series) break;
      const int which = series_shown;
      menu_go(-1);
      // The reset records the previous entry first: the new one is set
      // only once it has returned.
      if (prepare_series_event()) {
        series_table.current_series = which;
        series_table.current_event = series_table.records[which].events_done;
      }
      break;
    }
    case 2:
      if (!widget_activated(standings_practice.rect, code)) break;
      menu_go(-1);
      prepare_series_event();
      break;
    case 3:
      // The standings file is rewritten with the next recorded event.
      if (widget_activated(standings_reset.rect, code)) s->events_done = 0;
      break;
  }
}

static const menu_color band_dark = {0, 0, 0, 0.5f};
static const menu_color band_light = {1, 1, 1, 0.25f};

static void draw_standings_table(const series_record* s) {
  static standings_row rows[series_rider_max];
  float pen[2], scale[2];
  // Two thirds of the page's text size: 48 lines to the screen.
  menu_begin_column(48, pen, scale);
  menu_translate(pen, 1.5f, -(2 + 2 + 4 * item_step + 2) * 1.5f);
  const int races = series_points_race_count(s);
  for (int first = 0; first < races; first += standings_block_races) {
    fill_rect_color(band_dark, 0, 1, 57, 0);
    draw_text_centered(1, 1, 1, 1, 0, 3, "No.");
    draw_text_centered(1, 1, 1, 1, 3, 6, "Total");
    for (int c = 0; c < standings_block_races && first + c < races; c++) {
      char head[16];
      std::snprintf(head, sizeof head, "Rd %d", first + c + 1);
      draw_text_centered(1, 1, 1, 1, 6 + 6.0f * c, 12 + 6.0f * c, head);
    }
    const int n = build_standings_block(s, first, rows);
    for (int i = 0; i < n; i++) {
      menu_translate(pen, 0, -1);
      if (i % 2) fill_rect_color(band_light, 0, 1, 57, 0);
      const standings_row& r = rows[i];
      if (r.rider < s->rider_count)
        draw_text_centered(1, 1, 1, 1, 0, 3, r.number);
      else
        draw_text_centered(0.75f, 0.75f, 1, 1, 0, 3, bike_setup.number);
      draw_text_centered(1, 1, 1, 1, 3, 6, r.total_text);
      for (int c = 0; c < standings_block_races && first + c < races; c++)
        draw_text_centered(1, 1, 1, 1, 6 + 6.0f * c, 12 + 6.0f * c, r.cells[c]);
    }
    menu_translate(pen, 0, -1.5f);
  }
  menu_pop_transform();
}

void draw_standings_page() {
  draw_menu_backdrop();
  const series_record* s = shown_series();
  if (!s) return;
  float pen[2], scale[2];
  const int sel = menu_selection;
  menu_begin_column(32, pen, scale);
  menu_translate(pen, 1, -2);
  menu_draw_title(s->title, pen, scale);
  menu_translate(pen, 0, -2);
  draw_button(&standings_back, sel == 0, pen, scale, button_width, 0);
  menu_translate(pen, 0, -item_step);
  if (sel == 1)
    draw_label(&standings_enter, pen, scale, button_width, 0, menu_colors.title_selected.text,
               menu_colors.title_selected.fill);
  else
    draw_button(&standings_enter, 0, pen, scale, button_width, 0);
  menu_translate(pen, 0, -item_step);
  draw_button(&standings_practice, sel == 2, pen, scale, button_width, 0);
  menu_translate(pen, 0, -item_step);
  draw_button(&standings_reset, sel == 3, pen, scale, button_width, 0);
  menu_translate(pen, 0, -2);
  fill_rect_color(band_dark, 0, 1, 38, 0);
  char text[1024];
  if (s->events_done < s->event_count && s->events_done >= 0)
    std::snprintf(text, sizeof text, "Next Event: %.900s", s->events[s->events_done].title);
  else
    std::snprintf(text, sizeof text, "%.900s Final Standings", s->title);
  draw_text_centered(1, 1, 1, 1, 0, 38, text);
  menu_pop_transform();
  draw_standings_table(s);
}

void series_pages_install() {
  int n = 0;
  series_hits[n++] = series_back.rect;
  series_hits[n++] = series_prev.rect;
  for (int i = 0; i < list_page_rows; i++) {
    widget_hide(series_rows[i].rect);
    series_hits[n++] = series_rows[i].rect;
  }
  series_hits[n++] = series_next.rect;
  series_hits[n] = nullptr;
  menu_pages[page_series] = {draw_series_page, series_page_key, series_hits};
  menu_pages[page_standings] = {draw_standings_page, standings_page_key, standings_hits};
}
