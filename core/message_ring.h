#pragma once
// The console message ring: every message to the player goes to the log and
// into a ring of the last 1000 lines, of which the newest few are shown on
// screen for a while.

enum { message_ring_size = 1000, message_line_bytes = 256 };

struct message_ring_record {
  // NUL-terminated, at most 255 bytes; a trailing "\n" stays part of a line.
  char lines[message_ring_size][message_line_bytes];
  int write_index;  // the slot the next line goes to; the newest is one before
  int on_screen;    // how many of the newest lines the overlay shows
  double expiry;    // game clock time at which the oldest on-screen line goes
};

extern message_ring_record message_ring;

// Shows and logs one line. Lines containing "[SPAM]" are dropped while the
// spam filter (console_settings.h) is on.
void console_print(const char* text);

// printf-style console_print.
void console_printf(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Empties every line; main does it at start-up.
void message_ring_clear();

// Once per frame: past the expiry, one line leaves the screen and the next
// goes 5 s later.
void message_ring_expire();

// The k-th newest line (k = 1 is the newest); the overlay draws k from the
// on-screen count down to 1.
const char* message_ring_line(int k);
