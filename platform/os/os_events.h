#pragma once
// Window messages over SDL events. SDL events are translated into the
// messages the game's window procedure handles, numbered and packed as the
// Windows messages they stand for, so the procedure keeps one table. Also:
// messages posted to the window's thread, thread mailboxes, and SIGTERM /
// SIGINT as the close request.
#include <cstdint>

union SDL_Event;

enum os_message_id : uint32_t {
  os_msg_size = 0x0005,        // lparam: width | height << 16 (client pixels)
  os_msg_activate = 0x0006,    // wparam: 1 activated, 0 deactivated
  os_msg_close = 0x0010,
  os_msg_key_down = 0x0100,    // lparam: repeat 1 | scan code << 16 | extended << 24
  os_msg_key_up = 0x0101,      //         | 0xC0000000 on release
  os_msg_char = 0x0102,        // wparam: the Windows-1252 character
  os_msg_lbutton_down = 0x0201,
  os_msg_lbutton_up = 0x0202,
  os_msg_rbutton_down = 0x0204,
  os_msg_rbutton_up = 0x0205,
  os_msg_mbutton_down = 0x0207,
  os_msg_mbutton_up = 0x0208,
  // Private messages of the game's window and its message thread.
  os_msg_window_ready = 0x8000,  // to the creator thread
  os_msg_window_close = 0x8001,  // to the window
  os_msg_window_gone = 0x8002,   // to the creator thread
  os_msg_hold = 0x8003,          // to the window
  os_msg_held = 0x8004,          // to the creator thread
  os_msg_release = 0x8005,       // to the window's thread
  os_msg_fullscreen = 0x8006,    // to the window; lparam: height | width << 16
  os_msg_windowed = 0x8007,      // to the window; lparam: height | width << 16
};

struct os_message {
  uint32_t message;
  uint32_t wparam;
  uint32_t lparam;
  uint32_t time_ms;  // os_milliseconds() when translated or posted
};

// The most messages one SDL event becomes (a text event of 32 bytes).
enum { os_max_messages_per_event = 32 };

// Translates one SDL event into window messages; returns how many were
// written to out (at most max). Keys: SDL scancodes become PC set-1 scan
// codes with the extended bit; unmapped keys, Alt combinations without Ctrl
// and F10 give nothing (system keys), except that a key whose press was
// delivered always delivers its release. Auto-repeat is another press.
// Characters: text decoded from UTF-8 to Windows-1252 ('?' when it has no
// byte there), plus Backspace 8, Tab 9, Enter 13, Esc 27, Delete 127 and
// Ctrl+letter 1-26 on key presses. Keeps which keys are down and the last modifiers.
int os_translate_event(const SDL_Event* event, os_message* out, int max);

// Forgets the translator's key state (tests; a new window).
void os_translate_reset();

// The PC set-1 scan code (0x100 for extended keys) of an SDL scancode, or -1
// when the key has none.
int os_scancode_to_set1(int sdl_scancode);

// The Windows-1252 byte of a Unicode code point, or '?' when there is none.
unsigned char os_codepoint_to_cp1252(uint32_t codepoint);

// The next message for the window's thread: pending translated messages
// first, then a pending close signal, then SDL events (waiting up to wait_ms
// for one; 0 does not wait). Returns 0 when there is none. Call it only on
// the thread that serves the window.
int os_next_message(os_message* message, int wait_ms);

// Posts a message to the window's thread (through one registered SDL user
// event type). Returns 1, or 0 when SDL's queue refused it.
int os_post_message(uint32_t message, uint32_t wparam, uint32_t lparam);

// SIGTERM and SIGINT become one close message each (os_msg_close), seen by
// the next os_next_message. The handlers are installed once; every call
// also stops the calling thread blocking them, so one already pending (sent
// while a launcher held them blocked) is handled at once.
void os_install_close_signals();

// A thread's own message queue: a mutex, a condition variable and a small
// ring. Used for the messages one thread posts to another thread.
struct os_mailbox;
os_mailbox* os_mailbox_create();
void os_mailbox_destroy(os_mailbox* mailbox);
// Returns 0 when the mailbox is full (64 messages).
int os_mailbox_post(os_mailbox* mailbox, uint32_t message, uint32_t wparam, uint32_t lparam);
// Waits for the oldest message numbered first..last, removes it and returns
// it; other messages stay in order.
void os_mailbox_wait(os_mailbox* mailbox, uint32_t first, uint32_t last, os_message* message);
