#pragma once
// The menu pages: which page is on show, the dispatch of drawing, keys and
// hover to the page, the navigation every page shares, the list chooser,
// the main menu and the exit page. menu_page and menu_selection live in
// race (race/race_state.h), the page-change flag and quit in game_state.
#include "ui/widget.h"

enum menu_page_id {
  page_main = 0,
  page_new_race = 1,
  page_chooser = 2,
  page_playback = 3,
  page_series = 4,
  page_standings = 5,
  page_time_trial = 6,
  page_bike_setup = 7,
  page_suspension = 8,
  page_stability = 9,
  page_controls = 10,
  page_graphics = 11,
  page_advanced_graphics = 12,
  page_multiplayer = 13,
  page_console = 16,
  page_exit = 18,
  menu_page_count = 19,
};

// One page: its drawer, its key handler (one input code) and its hit list,
// the item rectangles in item order ended by a null pointer. An empty
// entry draws nothing, takes no keys or finds nothing under the mouse.
struct menu_page_entry {
  void (*draw)();
  void (*key)(int code);
  const int* const* hits;
};
extern menu_page_entry menu_pages[menu_page_count];

void draw_menu();
// One pressed input; ignored while the page changed this frame.
void menu_key(int code);
// Per frame while the left button is up: the item under the mouse becomes
// the selected one.
void menu_hover_select();
// The dim full-screen quad and the build string under every page but the
// console.
void draw_menu_backdrop();

// The column every page opens (the pen at its top-left) and a page's title
// label at the pen.
void menu_begin_column(float lines, float pen[2], float scale[2]);
void menu_draw_title(const char* text, const float pen[2], const float scale[2]);

// Moves to a page with its first item selected.
void menu_go(int page);

// The navigation shared by the page key handlers: "up"/"down" move the
// selection, clamped to 0..last.
void menu_move_selection(int code, int last);
// Pages with a column of list rows (first_row .. next_page - 1) of which
// only `filled` show: a selection that lands on a hidden row keeps moving
// the way it went, down to next_page, up to the last filled row.
void menu_skip_empty_rows(int code, int first_row, int filled, int next_page);
// Items that open the chooser: Enter, keypad Enter or any click, not Space.
int menu_opens_chooser(int code);
// Binding rows start a capture on Enter, keypad Enter or a click inside
// the row, not Space.
int menu_starts_capture(int code, const int rect[4]);

// The list chooser (page 2).
extern menu_option_list* chooser_list;
extern const char* chooser_title;
extern void (*chooser_callback)(int row);
extern int chooser_return_page;
extern int chooser_page_index;
extern menu_button chooser_rows[20];
void chooser_open(menu_option_list* list, const char* title, void (*callback)(int row), int return_page);
void chooser_page_key(int code);
// The callback that makes option n the chooser list's selected one.
void list_row_item(int n);

// The largest page index of a list of count rows shown 20 a page.
int list_last_page(int count);

void main_menu_key(int code);
// The alpha of the disclaimer lines at t seconds after start-up.
float disclaimer_alpha(double t);
// 1 while the exit page shows the editor's unsaved-track warning at t.
int exit_warning_shown(double t);

// Fills the pages of this file and of the race set-up pages.
void menu_pages_install();
