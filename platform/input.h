#pragma once
// Input codes, their names and aliases, and the event queue.
//
// Every digital input is one integer code:
//   0x00-0xFF       a typed character (Windows-1252), always pressed
//   0x1000 + s      keyboard key by PC set-1 scan code s (bit 8: extended)
//   0x2000..0x2002  mouse left, middle, right button
//   0xDEAD          the window's close request
//   id | n          button n (0..255) of an input device; id is a nonzero
//                   15-bit number shifted left 16
#include <cstdint>

enum : int {
  input_code_key = 0x1000,
  input_code_mouse_left = 0x2000,
  input_code_mouse_middle = 0x2001,
  input_code_mouse_right = 0x2002,
  input_code_close = 0xDEAD,
};

enum { event_queue_size = 256 };

// Events in order of arrival: entry i is slot (head + i) & 0xFF. A code with
// bit 31 set was released.
struct event_queue {
  int head;
  int count;
  uint32_t codes[event_queue_size];
  int seconds[event_queue_size];
  int microseconds[event_queue_size];
};

// Drops the event when the queue is full.
void event_queue_push(event_queue* queue, int code, int pressed, int seconds, int microseconds);
void event_queue_push_now(event_queue* queue, int code, int pressed);
// 0 when empty; else takes the oldest event, 1.
int event_queue_pop(event_queue* queue, int* code, int* pressed, int* seconds, int* microseconds);
// Takes the oldest event only when it is not later than the given time.
int event_queue_pop_before(event_queue* queue, int* code, int* pressed, int seconds, int microseconds);

struct window_state;

// The queue operations under the window's event-queue mutex.
void window_push_event(window_state* window, int code, int pressed, int seconds, int microseconds);
void window_push_event_now(window_state* window, int code, int pressed);
// Takes the next event: pumps the window's messages, and when the queue is
// still empty polls the input devices once. 1 when an event was taken.
int window_get_event_stamped(window_state* window, int* code, int* pressed, int* seconds, int* microseconds);
int window_get_event(window_state* window, int* code, int* pressed);
int window_get_event_before(window_state* window, int* code, int* pressed, int seconds, int microseconds);

// The code of a key, mouse button, close, alias or device button name
// ("Joystick1.key[3]" or "Joystick1 button 3"); naming a device button
// enables its device's events. 1 and *code set, or 0.
int input_code_from_name(window_state* window, int* code, const char* name);
// The code of a special or key name: exact matches first, then loose ones
// (input_name_compare), then "0x%x" up to 0x1FF. 1/0; "" matches nothing.
int input_key_code_from_name(const char* name, int* code);
// The display name of a code (interned), or null (characters have none).
const char* input_code_name(window_state* window, int code);

// The one stored copy of a string, kept for the process. Null when out of
// memory.
const char* input_name_intern(const char* name);

// The target of the newest alias named exactly name, else name itself.
const char* alias_lookup(const char* name);
// Adds an alias; the first alias for a name wins (a second one is logged and
// refused). 1/0.
int alias_add(const char* name, const char* target);

// Compares names ignoring case, with whitespace and '_' counting as a space.
int input_name_compare(const char* a, const char* b);
