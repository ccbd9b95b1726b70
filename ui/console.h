#pragma once
// The console page's input line, its history and the slash commands typed
// into it. Everything here runs without a window.
#include "ui/widget.h"

enum {
  console_line_max = 119,
  console_history_max = 100,
  console_scroll_max = 950,
  console_page_rows = 50,
};

// Entry 0 is the line being edited; 1 and up are earlier lines, newest
// first. count includes entry 0.
struct console_history_record {
  char entries[console_history_max][console_line_max + 1];
  int count;
  int walk;
};

struct console_record {
  char input_text[console_line_max + 1];
  menu_text_field input;  // label "> ", insert mode
  console_history_record history;
  int scroll;            // lines scrolled back, 0..950
  double last_chat;      // program clock of the last chat line; < 0: none yet
  double (*now)();       // the program clock in seconds; tests swap it
};
extern console_record console;

// The console page's hit list for the mouse: its one item, the input line.
extern const int* const console_hits[];

// Puts the console back as at start-up (empty line and history).
void console_reset();

// One key on the console page.
void console_line_key(int key);

// 1 when the line was taken, 0 when refused (it then stays in the field).
int run_console_line(const char* text);

// The message-ring entry shown on row i (0..49) of the console page with
// the newest line written just before write_index and the view scrolled
// back by scroll lines: always within 0..999.
int console_page_ring_index(int write_index, int row, int scroll);

// Page 16: the last 50 lines of the message ring over a dark quad, and the
// input line below them (GL).
void draw_console();
