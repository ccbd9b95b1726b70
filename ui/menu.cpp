// The menu pages' dispatch, the navigation they share, the list chooser,
// the main menu and the exit page.
#include "ui/menu.h"

#include <GL/gl.h>

#include <cmath>
#include <cstring>

#include "assets/font.h"
#include "assets/view_extent.h"
#include "core/game_clock.h"
#include "race/binding_capture.h"
#include "race/game_state.h"
#include "race/menu_screen.h"
#include "race/race_hooks.h"
#include "race/race_state.h"
#include "race/screen_draw.h"
#include "race/version.h"
#include "terrain/height_field.h"
#include "ui/console.h"

menu_page_entry menu_pages[menu_page_count];

static const float line_gap = 0.125f;
static const float item_step = 3 * line_gap + 1;  // 1.375 lines
static const float button_width = 15.0f;
static const float row_width = 41.99667f;
static const int space_code = 32;

void menu_go(int page) {
  menu_page = page;
  menu_selection = 0;
}

void menu_move_selection(int code, int last) {
  if (code == menu_keys.down) menu_selection++;
  if (code == menu_keys.up) menu_selection--;
  if (menu_selection > last) menu_selection = last;
  if (menu_selection < 0) menu_selection = 0;
}

void menu_skip_empty_rows(int code, int first_row, int filled, int next_page) {
  if (menu_selection < first_row + filled || menu_selection >= next_page) return;
  if (code == menu_keys.up)
    menu_selection = first_row + filled - 1;  // with no rows, the item before them
  else
    menu_selection = next_page;
}

int menu_opens_chooser(int code) {
  return code == menu_keys.enter || code == menu_keys.keypad_enter || code == menu_keys.click;
}

int menu_starts_capture(int code, const int rect[4]) {
  if (code == menu_keys.enter || code == menu_keys.keypad_enter) return 1;
  return code == menu_keys.click && widget_under_mouse(rect);
}

int list_last_page(int count) {
  if (count <= 0) return 0;
  return (count + 19) / 20 - 1;
}

// --- Dispatch ---

void draw_menu() {
  if (menu_page < 0 || menu_page >= menu_page_count || !menu_pages[menu_page].draw) return;
  // The page lies over whatever the view left switched on: the HUD and the
  // info board end with depth testing on, and a depth buffer that the
  // loading view never clears (or the rider's bars close to the eye) would
  // hide the page.
  glPushAttrib(GL_ENABLE_BIT);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glDisable(GL_LIGHTING);
  glDisable(GL_FOG);
  glDisable(GL_ALPHA_TEST);
  menu_pages[menu_page].draw();
  glPopAttrib();
}

void menu_key(int code) {
  if (game_state.menu_page_changed) return;
  if (menu_page < 0 || menu_page >= menu_page_count) return;
  if (menu_pages[menu_page].key) menu_pages[menu_page].key(code);
}

// The mouse position of the previous call; a still mouse leaves a
// selection made with the keys alone.
static int hover_x = -1, hover_y = -1;

void menu_hover_select() {
  if (binding_capture) return;
  menu_screen.width = game_state.screen_width;
  menu_screen.height = game_state.screen_height;
  menu_screen.mouse_x = game_state.cursor_x;
  menu_screen.mouse_y = game_state.cursor_y;
  if (menu_screen.mouse_x == hover_x && menu_screen.mouse_y == hover_y) return;
  hover_x = menu_screen.mouse_x;
  hover_y = menu_screen.mouse_y;
  if (menu_page < 0 || menu_page >= menu_page_count) return;
  const int i = widget_list_under_mouse(menu_pages[menu_page].hits);
  if (i >= 0) menu_selection = i;
}

void draw_menu_backdrop() {
  menu_begin_text_scale(1.0f);
  const float right = view_xe / view_ye;
  // At one line to the screen the pen sits at the foot of that line.
  draw_filled_quad(0.2f, 0.2f, 0.2f, 0.5f, 0.0f, 1.0f, right, 0.0f);
  menu_pop_transform();
  // One sixteenth of the half-height is 32 lines to the screen.
  menu_begin_text_scale(32.0f);
  glTranslatef(32.0f * right - text_width(game_version), -31.0f, 0.0f);
  draw_text_color(0.75f, 0.75f, 0.75f, 1.0f, game_version);
  menu_pop_transform();
}

// --- The list chooser ---

menu_option_list* chooser_list;
const char* chooser_title;
void (*chooser_callback)(int row);
int chooser_return_page = -1;
int chooser_page_index;
menu_button chooser_rows[20];
static menu_button chooser_cancel = {"Cancel", {0, 0, 0, 0}};
static menu_button chooser_prev = {"Prev Page", {0, 0, 0, 0}};
static menu_button chooser_next = {"Next Page", {0, 0, 0, 0}};
static const int* const chooser_hits[] = {
    chooser_cancel.rect,    chooser_prev.rect,      chooser_rows[0].rect,  chooser_rows[1].rect,
    chooser_rows[2].rect,   chooser_rows[3].rect,   chooser_rows[4].rect,  chooser_rows[5].rect,
    chooser_rows[6].rect,   chooser_rows[7].rect,   chooser_rows[8].rect,  chooser_rows[9].rect,
    chooser_rows[10].rect,  chooser_rows[11].rect,  chooser_rows[12].rect, chooser_rows[13].rect,
    chooser_rows[14].rect,  chooser_rows[15].rect,  chooser_rows[16].rect, chooser_rows[17].rect,
    chooser_rows[18].rect,  chooser_rows[19].rect,  chooser_next.rect,     nullptr};
enum { chooser_first_row = 2, chooser_next_page = 22 };

static int chooser_count() { return chooser_list ? chooser_list->count : 0; }

static int chooser_filled() {
  const int n = chooser_count() - 20 * chooser_page_index;
  return n < 0 ? 0 : n > 20 ? 20 : n;
}

static void chooser_fill_rows() {
  const int n = chooser_filled();
  for (int i = 0; i < 20; i++) {
    chooser_rows[i].label = i < n ? chooser_list->options[20 * chooser_page_index + i] : nullptr;
    if (i >= n) widget_hide(chooser_rows[i].rect);
  }
}

void chooser_open(menu_option_list* list, const char* title, void (*callback)(int row), int return_page) {
  chooser_return_page = return_page;
  chooser_list = list;
  chooser_title = title;
  chooser_callback = callback;
  chooser_page_index = 0;
  menu_go(page_chooser);
  chooser_fill_rows();
}

void list_row_item(int n) {
  // A row past the options (a list changed under the chooser) picks nothing.
  if (!chooser_list || n < 0 || n >= chooser_list->count || !chooser_list->selected) return;
  *chooser_list->selected = n;
}

void chooser_page_key(int code) {
  menu_move_selection(code, chooser_next_page);
  menu_skip_empty_rows(code, chooser_first_row, chooser_filled(), chooser_next_page);
  const int s = menu_selection;
  if (s == 0) {
    if (widget_activated(chooser_cancel.rect, code)) menu_go(chooser_return_page);
  } else if (s == 1 || s == chooser_next_page) {
    const menu_button* b = s == 1 ? &chooser_prev : &chooser_next;
    if (!widget_activated(b->rect, code)) return;
    chooser_page_index += s == 1 ? -1 : 1;
    const int last = list_last_page(chooser_count());
    if (chooser_page_index > last) chooser_page_index = last;
    if (chooser_page_index < 0) chooser_page_index = 0;
    chooser_fill_rows();
  } else {
    const int i = s - chooser_first_row;
    if (i >= chooser_filled() || !widget_activated(chooser_rows[i].rect, code)) return;
    const int option = 20 * chooser_page_index + i;
    menu_go(chooser_return_page);
    if (chooser_callback) chooser_callback(option);
  }
}

// The column every page opens: the pen at the top-left of the 4:3 column,
// `lines` lines to the screen.
void menu_begin_column(float lines, float pen[2], float scale[2]) {
  float origin[2];
  menu_begin_screen(lines, 0, 0, origin, scale);
  pen[0] = origin[0];
  pen[1] = origin[1];
}

void menu_draw_title(const char* text, const float pen[2], const float scale[2]) {
  menu_button title = {text, {0, 0, 0, 0}};
  draw_label(&title, pen, scale, button_width, 0, menu_colors.title.text, menu_colors.title.fill);
}

static void draw_chooser_page() {
  draw_menu_backdrop();
  float pen[2], scale[2];
  menu_begin_column(32, pen, scale);
  menu_translate(pen, 1, -2);
  menu_button title = {chooser_title ? chooser_title : "", {0, 0, 0, 0}};
  draw_label(&title, pen, scale, button_width, 0, menu_colors.title.text, menu_colors.title.fill);
  menu_translate(pen, 0, -2);
  draw_button(&chooser_cancel, menu_selection == 0, pen, scale, button_width, 0);
  menu_translate(pen, 0, -item_step);
  draw_button(&chooser_prev, menu_selection == 1, pen, scale, row_width, 0);
  for (int i = 0; i < 20; i++) {
    menu_translate(pen, 0, -(2 * line_gap + 1));
    if (chooser_rows[i].label)
      draw_list_row(&chooser_rows[i], menu_selection == i + 2, pen, scale, row_width, 0, 0);
    else
      widget_hide(chooser_rows[i].rect);
  }
  menu_translate(pen, 0, -item_step);
  draw_button(&chooser_next, menu_selection == chooser_next_page, pen, scale, row_width, 0);
  menu_pop_transform();
}

// --- The main menu ---

static menu_button main_buttons[] = {
    {"New Race", {0, 0, 0, 0}},   {"Playback Race", {0, 0, 0, 0}},        {"Points Series", {0, 0, 0, 0}},
    {"Time Trial", {0, 0, 0, 0}}, {"Multiplayer", {0, 0, 0, 0}},          {"Bike Setup", {0, 0, 0, 0}},
    {"Graphics/Sound Setup", {0, 0, 0, 0}}, {"Customize Controls", {0, 0, 0, 0}}, {"Quit", {0, 0, 0, 0}},
};
static const int main_targets[] = {page_new_race, page_playback,    page_series,   page_time_trial, page_multiplayer,
                                   page_bike_setup, page_graphics, page_controls, page_exit};
enum { main_last = 8 };
static const int* const main_hits[] = {main_buttons[0].rect, main_buttons[1].rect, main_buttons[2].rect,
                                       main_buttons[3].rect, main_buttons[4].rect, main_buttons[5].rect,
                                       main_buttons[6].rect, main_buttons[7].rect, main_buttons[8].rect,
                                       nullptr};

void main_menu_key(int code) {
  menu_move_selection(code, main_last);
  const int s = menu_selection;
  if (!widget_activated(main_buttons[s].rect, code)) return;
  menu_go(main_targets[s]);
  // The key that chose "Quit" must not also leave from the exit page.
  if (s == main_last) game_state.menu_page_changed = 1;
}

float disclaimer_alpha(double t) {
  const double a = 10.0 - t;
  return static_cast<float>(a < 0 ? 0 : a > 1 ? 1 : a);
}

static void draw_main_menu() {
  draw_menu_backdrop();
  float pen[2], scale[2];
  menu_begin_column(32, pen, scale);
  menu_translate(pen, 1, -(4.5f + 1));
  for (int i = 0; i <= main_last; i++) {
    if (i) menu_translate(pen, 0, -item_step);
    draw_button(&main_buttons[i], menu_selection == i, pen, scale, button_width, 0);
  }
  menu_pop_transform();
  const float alpha = disclaimer_alpha(game_clock);
  if (alpha <= 0) return;
  menu_begin_text_scale(40.0f);
  const float right = 40.0f * view_xe / view_ye;
  glTranslatef(0, -37.0f, 0);
  draw_text_centered(1, 1, 1, alpha, 0, right, "Although this software depicts real objects and places, it is not");
  glTranslatef(0, -1.0f, 0);
  draw_text_centered(1, 1, 1, alpha, 0, right, "endorsed by or affiliated with any of the subjects depicted.");
  menu_pop_transform();
}

// --- The exit page ---

int exit_warning_shown(double t) {
  if (!game_state.editor_enabled || !(track_field.change_flags & 2)) return 0;
  const double twice = 2 * t;
  return twice - std::floor(twice) > 0.5;
}

static void draw_exit_screen() {
  draw_menu_backdrop();
  menu_begin_text_scale(25.0f);
  const float right = 25.0f * view_xe / view_ye;
  glTranslatef(0, -11.0f, 0);
  draw_text_centered(1, 1, 1, 1, 0, right, "Brakkan");
  glTranslatef(0, -1.5f, 0);
  draw_text_centered(1, 1, 1, 1, 0, right, "Press any key to exit or ESC to keep playing");
  if (exit_warning_shown(game_clock)) {
    glTranslatef(0, -1.5f, 0);
    draw_text_centered(1, 0, 0, 1, 0, right, "Track has been modified since last save!  Think about it!!!");
  }
  menu_pop_transform();
}

static void exit_page_key(int code) {
  // A mouse drag is not a pressed input.
  if (code != menu_key_mouse_moved) game_state.quit_requested = 1;
}

void race_setup_pages_install();
void series_pages_install();
void bike_setup_pages_install();
void multiplayer_page_install();
void controls_page_install();
void graphics_pages_install();

void menu_pages_install() {
  menu_pages[page_main] = {draw_main_menu, main_menu_key, main_hits};
  menu_pages[page_chooser] = {draw_chooser_page, chooser_page_key, chooser_hits};
  menu_pages[page_exit] = {draw_exit_screen, exit_page_key, nullptr};
  menu_pages[page_console] = {draw_console, console_line_key, console_hits};
  race_setup_pages_install();
  series_pages_install();
  bike_setup_pages_install();
  multiplayer_page_install();
  controls_page_install();
  graphics_pages_install();
}
