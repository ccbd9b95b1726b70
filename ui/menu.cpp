// Dispatch of the menu pages' drawing and keys.
#include "ui/menu.h"

#include "race/game_state.h"
#include "race/race_state.h"
#include "ui/console.h"

enum { menu_page_console = 16 };

void draw_menu() {
  if (menu_page == menu_page_console) draw_console();
}

void menu_key(int code, int) {
  if (game_state.menu_page_changed) return;
  if (menu_page == menu_page_console) console_line_key(code);
}
