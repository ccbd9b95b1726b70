// "New Race", "Time Trial" and "Playback Race": the items of the settings
// they start from, and the starts themselves.
#include "ui/race_setup_pages.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstring>

#include "core/message_ring.h"
#include "race/demo_playback.h"
#include "race/game_state.h"
#include "race/race_hooks.h"
#include "race/race_reset.h"
#include "race/race_settings.h"
#include "race/race_state.h"
#include "race/screen_draw.h"
#include "race/startup_lists.h"
#include "ui/game_settings.h"
#include "ui/menu.h"

int (*menu_reset_session)(const int*, int, int, int, int, int) = reset_session;

static const int ticks_per_second = 128;
static const float line_gap = 0.125f;
static const float item_step = 3 * line_gap + 1;
static const float button_width = 15.0f;
static const char* const default_demo = "@demos/default.bkdemo";

static menu_button back_button = {"Back to Main Menu", {0, 0, 0, 0}};
static menu_button start_label = {"Start", {0, 0, 0, 0}};

static void draw_start(const float pen[2], const float scale[2], int selected) {
  const menu_color_pair& c = selected ? menu_colors.title_selected : menu_colors.title;
  draw_label(&start_label, pen, scale, button_width, 0, c.text, c.fill);
}

static void leave_server() {
  if (race_hooks.net_leave_server) race_hooks.net_leave_server();
}

// The Track item opens the chooser on Enter or a click; other keys go to
// the list itself (Space included, so it never opens the chooser).
static void track_key(int code, int return_page) {
  if (menu_opens_chooser(code))
    chooser_open(&game_settings.track, "Choose Track", list_row_item, return_page);
  else
    option_list_key(&game_settings.track, code);
}

static void choose_track_for_reset() {
  const char* name = selected_track_folder();
  if (name[0]) std::snprintf(race_track_choice, sizeof race_track_choice, "%s", name);
}

static int gate_choice(int gate) {
  const int* v = game_settings.slots[gate].selected;
  const int c = v ? *v : 0;
  return c < 0 || c >= game_settings.slots[gate].count ? 0 : c;
}

// --- New Race ---

enum { new_race_first_gate = 7, new_race_last = new_race_first_gate + line_up_gates - 1 };

void rotate_line_up(const int* line_up, int r, int* rotated) {
  // Reduced first: a negative r, or one near the int limits, must still
  // land inside the table.
  int k = r % line_up_slots;
  if (k < 0) k += line_up_slots;
  for (int i = 0; i < line_up_slots; i++) rotated[(k + i) % line_up_slots] = line_up[i];
}

static void start_new_race() {
  menu_go(-1);
  int line_up[line_up_slots] = {};
  for (int i = 0; i < line_up_gates; i++) line_up[i] = gate_choice(i);
  leave_server();
  choose_track_for_reset();
  const int length = static_cast<int>(race_minutes * 60 * ticks_per_second);
  menu_reset_session(line_up, 0, record_demos, length, static_cast<int>(race_laps_choice), race_skill);
  // The next race starts from the rotated line-up: the gates show it.
  int rotated[line_up_slots];
  rotate_line_up(line_up, game_state.rotate_lineup, rotated);
  for (int i = 0; i < line_up_gates; i++)
    if (game_settings.slots[i].selected) *game_settings.slots[i].selected = rotated[i];
}

void new_race_page_key(int code) {
  menu_move_selection(code, new_race_last);
  const int s = menu_selection;
  switch (s) {
    case 0:
      if (widget_activated(back_button.rect, code)) menu_go(page_main);
      break;
    case 1:
      if (widget_activated(start_label.rect, code)) start_new_race();
      break;
    case 2:
      track_key(code, page_new_race);
      break;
    case 3:
      option_list_key(&game_settings.record, code);
      break;
    case 4:
      option_list_key(&game_settings.skill, code);
      break;
    case 5:
      slider_key(&game_settings.minutes, code);
      break;
    case 6:
      slider_key(&game_settings.laps, code);
      break;
    default:
      option_list_key(&game_settings.slots[s - new_race_first_gate], code);
  }
}

static const int* new_race_hits[new_race_last + 2];

void draw_new_race_page() {
  draw_menu_backdrop();
  float pen[2], scale[2];
  const int s = menu_selection;
  menu_begin_column(32, pen, scale);
  menu_translate(pen, 1, -2);
  menu_draw_title("New Race", pen, scale);
  menu_translate(pen, 0, -2);
  draw_button(&back_button, s == 0, pen, scale, button_width, 0);
  menu_translate(pen, 0, -item_step);
  draw_start(pen, scale, s == 1);
  menu_translate(pen, button_width + 0.5f, item_step);
  const float width = 26.0f;
  draw_option_list(&game_settings.track, s == 2, pen, scale, width, 0, 0.375f);
  menu_translate(pen, 0, -item_step);
  draw_option_list(&game_settings.record, s == 3, pen, scale, width, 0, 0.375f);
  menu_translate(pen, 0, -item_step);
  draw_option_list(&game_settings.skill, s == 4, pen, scale, width, 0, 0.375f);
  menu_translate(pen, 0, -item_step);
  draw_slider(&game_settings.minutes, s == 5, pen, scale, width, 0, 0.375f);
  menu_translate(pen, 0, -item_step);
  draw_slider(&game_settings.laps, s == 6, pen, scale, width, 0, 0.375f);
  menu_pop_transform();

  // The gates, smaller, below the sliders: two columns of twenty.
  menu_begin_column(42, pen, scale);
  menu_translate(pen, 1, -15.0f);
  for (int i = 0; i < line_up_gates; i++) {
    const float x = i < 20 ? 0.0f : 28.0f;
    const float y = -(i % 20) * (2 * line_gap + 1);
    menu_translate(pen, x, y);
    draw_option_list(&game_settings.slots[i], s == new_race_first_gate + i, pen, scale, 18.67f, 0, 0.33f);
    menu_translate(pen, -x, -y);
  }
  menu_pop_transform();
}

// --- Time Trial ---

enum { time_trial_last = 4 };
static const int* time_trial_hits[time_trial_last + 2];

void time_trial_page_key(int code) {
  menu_move_selection(code, time_trial_last);
  switch (menu_selection) {
    case 0:
      if (widget_activated(back_button.rect, code)) menu_go(page_main);
      break;
    case 1:
      if (!widget_activated(start_label.rect, code)) break;
      menu_go(-1);
      leave_server();
      choose_track_for_reset();
      // No line-up: the lone rider of a time trial, up to 1000 laps.
      menu_reset_session(nullptr, 0, 0, 0, 1000, race_skill);
      break;
    case 2:
      track_key(code, page_time_trial);
      break;
    case 3:
      slider_key(&game_settings.ghost_fade_distance, code);
      break;
    case 4:
      option_list_key(&game_settings.time_trial_abort, code);
      break;
  }
}

void draw_time_trial_page() {
  draw_menu_backdrop();
  float pen[2], scale[2];
  const int s = menu_selection;
  menu_begin_column(32, pen, scale);
  menu_translate(pen, 1, -2);
  menu_draw_title("Time Trial", pen, scale);
  menu_translate(pen, 0, -2);
  draw_button(&back_button, s == 0, pen, scale, button_width, 0);
  menu_translate(pen, 0, -item_step);
  draw_start(pen, scale, s == 1);
  const float width = 41.99667f;
  menu_translate(pen, 0, -item_step);
  draw_option_list(&game_settings.track, s == 2, pen, scale, width, 0, 0.4f);
  menu_translate(pen, 0, -item_step);
  draw_slider(&game_settings.ghost_fade_distance, s == 3, pen, scale, width, 0, 0.4f);
  menu_translate(pen, 0, -item_step);
  draw_option_list(&game_settings.time_trial_abort, s == 4, pen, scale, width, 0, 0.4f);
  menu_pop_transform();
}

// --- Playback Race ---

enum { playback_first_row = 3, playback_next_page = 23 };
int demo_page_index;
static menu_button playback_prev = {"Prev Page", {0, 0, 0, 0}};
static menu_button playback_next = {"Next Page", {0, 0, 0, 0}};
static menu_button playback_rows[list_page_rows];
static const int* playback_hits[playback_next_page + 2];

static int demo_rows_filled() {
  const int n = demo_list.count - list_page_rows * demo_page_index;
  return n < 0 ? 0 : n > list_page_rows ? list_page_rows : n;
}

static void refill_demo_rows() {
  fill_list_page(demo_list.display_names, demo_list.count, demo_page_index, demo_page_rows);
}

static void start_playback(int demo) {
  if (demo < 0 || demo >= demo_list.count) return;
  char name[sizeof demo_playback_choice];
  const int n = std::snprintf(name, sizeof name, "@%s", demo_list.names[demo]);
  if (n < 0 || n >= static_cast<int>(sizeof name)) {
    console_printf("Demo name too long: %s\n", demo_list.names[demo]);
    return;
  }
  int line_up[line_up_slots] = {};
  int record = 0;
  if (playback_mode == 1) {
    int k = 0;
    while (k < line_up_gates && gate_choice(k) != 1) k++;
    if (k == line_up_gates) k = 0;
    line_up[k] = 1;
    record = record_demos;
    if (std::strcmp(name, default_demo) == 0) {
      console_printf("Can't record and play from same file - recording disabled\n");
      record = 0;
    }
  }
  std::memcpy(demo_playback_choice, name, sizeof name);
  menu_go(-1);
  leave_server();
  menu_reset_session(line_up, 1, record, 0, 10, race_skill);
  // Cleared whatever the reset made of it, so a later reset plays nothing
  // it was not asked to.
  demo_playback_choice[0] = 0;
}

void playback_page_key(int code) {
  menu_move_selection(code, playback_next_page);
  menu_skip_empty_rows(code, playback_first_row, demo_rows_filled(), playback_next_page);
  const int s = menu_selection;
  if (s == 0) {
    if (widget_activated(back_button.rect, code)) menu_go(page_main);
  } else if (s == 1) {
    option_list_key(&game_settings.playback_mode, code);
  } else if (s == 2 || s == playback_next_page) {
    if (!widget_activated(s == 2 ? playback_prev.rect : playback_next.rect, code)) return;
    demo_page_index += s == 2 ? -1 : 1;
    const int last = list_last_page(demo_list.count);
    if (demo_page_index > last) demo_page_index = last;
    if (demo_page_index < 0) demo_page_index = 0;
    refill_demo_rows();
  } else {
    const int i = s - playback_first_row;
    if (i >= demo_rows_filled() || !widget_activated(playback_rows[i].rect, code)) return;
    start_playback(list_page_rows * demo_page_index + i);
  }
}

void draw_playback_page() {
  draw_menu_backdrop();
  float pen[2], scale[2];
  const int s = menu_selection;
  menu_begin_column(32, pen, scale);
  menu_translate(pen, 1, -2);
  menu_draw_title("Playback Race", pen, scale);
  menu_translate(pen, 0, -2);
  draw_button(&back_button, s == 0, pen, scale, button_width, 0);
  menu_translate(pen, button_width + 0.5f, 0);
  draw_option_list(&game_settings.playback_mode, s == 1, pen, scale, 20.33f, 0, 0.5f);
  menu_translate(pen, -(button_width + 0.5f), -2);
  const float width = 41.99667f;
  draw_button(&playback_prev, s == 2, pen, scale, width, 0);
  const int filled = demo_rows_filled();
  for (int i = 0; i < list_page_rows; i++) {
    menu_translate(pen, 0, -(2 * line_gap + 1));
    playback_rows[i].label = i < filled ? demo_page_rows[i] : nullptr;
    if (playback_rows[i].label)
      draw_list_row(&playback_rows[i], s == playback_first_row + i, pen, scale, width, 0, 0);
    else
      widget_hide(playback_rows[i].rect);
  }
  menu_translate(pen, 0, -item_step);
  draw_button(&playback_next, s == playback_next_page, pen, scale, width, 0);
  menu_pop_transform();
}

void race_setup_pages_install() {
  int n = 0;
  new_race_hits[n++] = back_button.rect;
  new_race_hits[n++] = start_label.rect;
  new_race_hits[n++] = game_settings.track.rect;
  new_race_hits[n++] = game_settings.record.rect;
  new_race_hits[n++] = game_settings.skill.rect;
  new_race_hits[n++] = game_settings.minutes.rect;
  new_race_hits[n++] = game_settings.laps.rect;
  for (int i = 0; i < line_up_gates; i++) new_race_hits[n++] = game_settings.slots[i].rect;
  new_race_hits[n] = nullptr;

  n = 0;
  time_trial_hits[n++] = back_button.rect;
  time_trial_hits[n++] = start_label.rect;
  time_trial_hits[n++] = game_settings.track.rect;
  time_trial_hits[n++] = game_settings.ghost_fade_distance.rect;
  time_trial_hits[n++] = game_settings.time_trial_abort.rect;
  time_trial_hits[n] = nullptr;

  n = 0;
  playback_hits[n++] = back_button.rect;
  playback_hits[n++] = game_settings.playback_mode.rect;
  playback_hits[n++] = playback_prev.rect;
  for (int i = 0; i < list_page_rows; i++) {
    widget_hide(playback_rows[i].rect);
    playback_hits[n++] = playback_rows[i].rect;
  }
  playback_hits[n++] = playback_next.rect;
  playback_hits[n] = nullptr;

  menu_pages[page_new_race] = {draw_new_race_page, new_race_page_key, new_race_hits};
  menu_pages[page_time_trial] = {draw_time_trial_page, time_trial_page_key, time_trial_hits};
  menu_pages[page_playback] = {draw_playback_page, playback_page_key, playback_hits};
}
