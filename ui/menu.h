#pragma once
// The menus' dispatch by page: what the frame loop calls through its hooks.

// Draws the page menu_page names; pages not built draw nothing.
void draw_menu();
// One pressed input for the page on show; ignored in the frame the page
// changed, so one key never acts on two pages.
void menu_key(int code, int value);
