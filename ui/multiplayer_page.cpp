// The Multiplayer page: it starts, ends or asks things of the connection;
// the client itself lives in net/ and is reached through the race hooks.
#include "ui/multiplayer_page.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstring>

#include "assets/font.h"
#include "race/net_values.h"
#include "race/options.h"
#include "race/race_hooks.h"
#include "race/race_reset.h"
#include "race/race_state.h"
#include "race/screen_draw.h"
#include "ui/game_settings.h"
#include "ui/menu.h"

int server_history_index = -1;

static const float line_gap = 0.125f;
static const float item_step = 3 * line_gap + 1;
static const float button_width = 15.0f;
static const int ticks_per_second = 128;
enum { multiplayer_last = 3, state_racing = 11, state_disconnecting = 15, slot_count = 160 };

static menu_button mp_back = {"Back to Main Menu", {0, 0, 0, 0}};
static menu_button mp_connect = {"Connect", {0, 0, 0, 0}};
static menu_button mp_restart = {"Request Restart", {0, 0, 0, 0}};
static const int* const mp_hits[] = {mp_back.rect, mp_connect.rect, mp_restart.rect,
                                     game_settings.server_name.rect, nullptr};

static_assert(sizeof front_end_values.server_name_hist[0] == server_name_size, "history entry size");

int net_ping_ms(int lag_ticks) {
  return static_cast<int>(static_cast<double>(lag_ticks) * 1000.0 / ticks_per_second);
}

static int client_state() { return race_hooks.net_client_state ? race_hooks.net_client_state() : 0; }

static void connect_or_disconnect() {
  if (net_online) {
    // The page stays: a disconnect under way shows here until it is done.
    if (race_hooks.net_disconnect) race_hooks.net_disconnect();
    return;
  }
  const char* text = game_settings.server_name.text;
  if (server_history_push(front_end_values.server_name_hist, text)) server_history_index = -1;
  // An empty name still asks: the client says it cannot resolve it.
  net_request_connect(text);
  menu_go(-1);
}

static void show_history_entry(menu_text_field* field) {
  text_field_set(field, front_end_values.server_name_hist[server_history_index]);
  const int length = static_cast<int>(std::strlen(field->text));
  if (field->cursor > length) field->cursor = length;
}

static void server_key(int code) {
  menu_text_field* field = &game_settings.server_name;
  char (*hist)[server_name_size] = front_end_values.server_name_hist;
  if (code == menu_keys.page_up) {
    server_history_index++;
    if (server_history_index > server_history_count - 1) server_history_index = server_history_count - 1;
    // The newest entry is skipped when the field already shows it.
    if (server_history_index == 0 && hist[0][0] && std::strcmp(hist[0], field->text) == 0) server_history_index = 1;
    if (hist[server_history_index][0])
      show_history_entry(field);
    else
      server_history_index--;
  } else if (code == menu_keys.page_down) {
    if (server_history_index == 0) {
      server_history_index = -1;
    } else if (server_history_index > 0) {
      server_history_index--;
      show_history_entry(field);
    }
  }
  text_field_key(field, code);
}

void multiplayer_page_key(int code) {
  menu_move_selection(code, multiplayer_last);
  switch (menu_selection) {
    case 0:
      if (widget_activated(mp_back.rect, code)) menu_go(page_main);
      break;
    case 1:
      if (widget_activated(mp_connect.rect, code)) connect_or_disconnect();
      break;
    case 2:
      if (!widget_activated(mp_restart.rect, code)) break;
      if (net_online && client_state() == state_racing && race_hooks.net_request_restart)
        race_hooks.net_request_restart();
      menu_go(-1);
      break;
    case 3:
      server_key(code);
      break;
  }
}

static const menu_color header_band = {0, 0, 0, 0.25f};
static const menu_color row_band = {1, 1, 1, 0.25f};

static void draw_ping_table() {
  glPushMatrix();
  fill_rect_color(header_band, 0, 1, 39.5f, 0);
  draw_text_centered(1, 1, 1, 1, 0.5f, 4, "Slot");
  draw_text_centered(1, 1, 1, 1, 4, 8, "Ping");
  draw_text_centered(1, 1, 1, 1, 8, 12, "No.");
  draw_text_centered(1, 1, 1, 1, 12, 20, "Bike");
  draw_text_centered(1, 1, 1, 1, 20, 39.5f, "Name");
  int listed = 0;
  for (int slot = 0; slot < slot_count; slot++) {
    const int entry = race_hooks.net_line_up_entry ? race_hooks.net_line_up_entry(slot) : 0;
    if (entry != line_up_local && entry != line_up_network) continue;
    glTranslatef(0, -1, 0);
    if (listed++ % 2) fill_rect_color(row_band, 0, 1, 39.5f, 0);
    rider_identity who = {};
    if (race_hooks.net_rider_info) race_hooks.net_rider_info(slot, &who);
    char text[32];
    std::snprintf(text, sizeof text, "%d", slot);
    draw_text_centered(1, 1, 1, 1, 0.5f, 4, text);
    std::snprintf(text, sizeof text, "%d", net_ping_ms(net_lag[slot]));
    draw_text_centered(1, 1, 1, 1, 4, 8, text);
    draw_text_centered(1, 1, 1, 1, 8, 12, who.number ? who.number : "");
    draw_text_centered(1, 1, 1, 1, 12, 20, who.bike ? who.bike : "");
    glPushMatrix();
    glTranslatef(20, 0, 0);
    draw_text_color(1, 1, 1, 1, who.name ? who.name : "");
    glPopMatrix();
  }
  glPopMatrix();
}

void draw_multiplayer_page() {
  draw_menu_backdrop();
  float pen[2], scale[2];
  const int s = menu_selection;
  menu_begin_column(32, pen, scale);
  menu_translate(pen, 1, -2);
  menu_button title = {"Multiplayer", {0, 0, 0, 0}};
  draw_label(&title, pen, scale, button_width, 0, menu_colors.title.text, menu_colors.title.fill);
  menu_translate(pen, 0, -2);
  draw_button(&mp_back, s == 0, pen, scale, button_width, 0);
  menu_translate(pen, 0, -item_step);
  mp_connect.label = net_online ? "Disconnect" : "Connect";
  draw_button(&mp_connect, s == 1, pen, scale, button_width, 0);
  menu_translate(pen, 0, -item_step);
  draw_button(&mp_restart, s == 2, pen, scale, button_width, 0);
  menu_translate(pen, 5.33f, -(1.5f + item_step));
  draw_text_field(&game_settings.server_name, s == 3, pen, scale, 32, 0, 0.1875f);
  if (net_online && client_state() == state_racing) {
    menu_translate(pen, 16, -16);
    draw_ping_table();
  }
  menu_pop_transform();
}

void multiplayer_page_install() {
  menu_pages[page_multiplayer] = {draw_multiplayer_page, multiplayer_page_key, mp_hits};
}
