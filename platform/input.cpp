// Input codes, their names and aliases, and the event queue.
#include "platform/input.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "platform/input_device.h"
#include "platform/log.h"
#include "platform/mutex.h"
#include "platform/timebase.h"
#include "platform/window.h"

namespace {

struct code_name {
  int code;
  const char* name;
};

const code_name kSpecialNames[] = {
    {input_code_close, "Close"},
    {input_code_mouse_left, "Mouse Left"},
    {input_code_mouse_middle, "Mouse Middle"},
    {input_code_mouse_right, "Mouse Right"},
};

// Scan code -> name, in lookup order: scan 0x39 reads back as "Space".
const code_name kKeyNames[] = {
    {0x01, "Esc"},        {0x0B, "0"},          {0x02, "1"},           {0x03, "2"},          {0x04, "3"},
    {0x05, "4"},          {0x06, "5"},          {0x07, "6"},           {0x08, "7"},          {0x09, "8"},
    {0x0A, "9"},          {0x1E, "A"},          {0x30, "B"},           {0x2E, "C"},          {0x20, "D"},
    {0x12, "E"},          {0x21, "F"},          {0x22, "G"},           {0x23, "H"},          {0x17, "I"},
    {0x24, "J"},          {0x25, "K"},          {0x26, "L"},           {0x31, "M"},          {0x32, "N"},
    {0x18, "O"},          {0x19, "P"},          {0x10, "Q"},           {0x13, "R"},          {0x1F, "S"},
    {0x14, "T"},          {0x16, "U"},          {0x2F, "V"},           {0x11, "W"},          {0x2D, "X"},
    {0x15, "Y"},          {0x2C, "Z"},          {0x0C, "-"},           {0x0D, "="},          {0x1A, "["},
    {0x1B, "]"},          {0x27, ";"},          {0x28, "'"},           {0x29, "`"},          {0x2B, "\\"},
    {0x33, ","},          {0x34, "."},          {0x35, "/"},           {0x0E, "Backspace"},  {0x0F, "Tab"},
    {0x1C, "Enter"},      {0x1D, "Left Ctrl"},  {0x2A, "Left Shift"},  {0x36, "Right Shift"}, {0x39, "Space"},
    {0x39, " "},          {0x3A, "Caps Lock"},  {0x11D, "Right Ctrl"}, {0x152, "Insert"},    {0x153, "Delete"},
    {0x147, "Home"},      {0x14F, "End"},       {0x149, "Page Up"},    {0x151, "Page Down"}, {0x148, "Up"},
    {0x150, "Down"},      {0x14B, "Left"},      {0x14D, "Right"},      {0x3B, "F1"},         {0x3C, "F2"},
    {0x3D, "F3"},         {0x3E, "F4"},         {0x3F, "F5"},          {0x40, "F6"},         {0x41, "F7"},
    {0x42, "F8"},         {0x43, "F9"},         {0x44, "F10"},         {0x57, "F11"},        {0x58, "F12"},
    {0x45, "Pause"},      {0x145, "Num Lock"},  {0x135, "Keypad /"},   {0x37, "Keypad *"},   {0x4A, "Keypad -"},
    {0x47, "Keypad 7"},   {0x48, "Keypad 8"},   {0x49, "Keypad 9"},    {0x4E, "Keypad +"},   {0x4B, "Keypad 4"},
    {0x4C, "Keypad 5"},   {0x4D, "Keypad 6"},   {0x4F, "Keypad 1"},    {0x50, "Keypad 2"},   {0x51, "Keypad 3"},
    {0x11C, "Keypad Enter"}, {0x52, "Keypad 0"}, {0x53, "Keypad ."},
};
static_assert(sizeof kKeyNames / sizeof kKeyNames[0] == 98, "the key table has 98 rows");

// The system's own key names (what the keyboard layout calls each key) are
// not offered by SDL for set-1 scan codes, so that list is empty here and
// names come from the fixed table above.

struct interned {
  interned* next;
  char text[1];
};
interned* g_interned;  // ascending strcmp order

struct alias {
  alias* next;
  const char* name;
  const char* target;
};
alias* g_aliases;  // newest first

int find_name(const code_name* table, size_t rows, const char* name, bool loose, int* code) {
  for (size_t i = 0; i < rows; ++i) {
    const bool same = loose ? input_name_compare(table[i].name, name) == 0 : std::strcmp(table[i].name, name) == 0;
    if (same) {
      *code = table[i].code;
      return 1;
    }
  }
  return 0;
}

void locked_push(window_state* window, int code, int pressed, int seconds, int microseconds) {
  mutex_lock(window->event_queue_mutex);
  event_queue_push(&window->events, code, pressed, seconds, microseconds);
  mutex_unlock(window->event_queue_mutex);
}

int locked_pop(window_state* window, int* code, int* pressed, int* seconds, int* microseconds) {
  mutex_lock(window->event_queue_mutex);
  const int got = event_queue_pop(&window->events, code, pressed, seconds, microseconds);
  mutex_unlock(window->event_queue_mutex);
  return got;
}

int locked_pop_before(window_state* window, int* code, int* pressed, int seconds, int microseconds) {
  mutex_lock(window->event_queue_mutex);
  const int got = event_queue_pop_before(&window->events, code, pressed, seconds, microseconds);
  mutex_unlock(window->event_queue_mutex);
  return got;
}

}  // namespace

void event_queue_push(event_queue* queue, int code, int pressed, int seconds, int microseconds) {
  if (queue->count == event_queue_size) return;
  const int slot = (queue->head + queue->count) & (event_queue_size - 1);
  queue->codes[slot] = (static_cast<uint32_t>(code) & 0x7FFFFFFFu) | (pressed ? 0u : 0x80000000u);
  queue->seconds[slot] = seconds;
  queue->microseconds[slot] = microseconds;
  ++queue->count;
}

void event_queue_push_now(event_queue* queue, int code, int pressed) {
  int seconds, microseconds;
  time_now(&seconds, &microseconds);
  event_queue_push(queue, code, pressed, seconds, microseconds);
}

int event_queue_pop(event_queue* queue, int* code, int* pressed, int* seconds, int* microseconds) {
  if (queue->count == 0) return 0;
  const int slot = queue->head;
  *code = static_cast<int>(queue->codes[slot] & 0x7FFFFFFFu);
  *pressed = (queue->codes[slot] & 0x80000000u) == 0;
  *seconds = queue->seconds[slot];
  *microseconds = queue->microseconds[slot];
  queue->head = (queue->head + 1) & (event_queue_size - 1);
  --queue->count;
  return 1;
}

int event_queue_pop_before(event_queue* queue, int* code, int* pressed, int seconds, int microseconds) {
  if (queue->count == 0) return 0;
  const int s = queue->seconds[queue->head];
  const int us = queue->microseconds[queue->head];
  if (s > seconds || (s == seconds && us > microseconds)) return 0;
  int ignored_s, ignored_us;
  return event_queue_pop(queue, code, pressed, &ignored_s, &ignored_us);
}

void window_push_event(window_state* window, int code, int pressed, int seconds, int microseconds) {
  locked_push(window, code, pressed, seconds, microseconds);
}

void window_push_event_now(window_state* window, int code, int pressed) {
  int seconds, microseconds;
  time_now(&seconds, &microseconds);
  locked_push(window, code, pressed, seconds, microseconds);
}

int window_get_event_stamped(window_state* window, int* code, int* pressed, int* seconds, int* microseconds) {
  window_pump_messages(window);
  if (locked_pop(window, code, pressed, seconds, microseconds)) return 1;
  input_devices_poll(window->devices);
  return locked_pop(window, code, pressed, seconds, microseconds);
}

int window_get_event(window_state* window, int* code, int* pressed) {
  int seconds, microseconds;
  return window_get_event_stamped(window, code, pressed, &seconds, &microseconds);
}

int window_get_event_before(window_state* window, int* code, int* pressed, int seconds, int microseconds) {
  window_pump_messages(window);
  if (locked_pop_before(window, code, pressed, seconds, microseconds)) return 1;
  input_devices_poll(window->devices);
  return locked_pop_before(window, code, pressed, seconds, microseconds);
}

int input_key_code_from_name(const char* name, int* code) {
  if (!name || !*name) return 0;
  for (const bool loose : {false, true}) {
    if (find_name(kSpecialNames, sizeof kSpecialNames / sizeof kSpecialNames[0], name, loose, code)) return 1;
    int scan;
    if (find_name(kKeyNames, sizeof kKeyNames / sizeof kKeyNames[0], name, loose, &scan)) {
      *code = input_code_key + scan;
      return 1;
    }
  }
  unsigned v;
  if (std::sscanf(name, "0x%x", &v) == 1 && v <= 0x1FF) {
    *code = input_code_key + static_cast<int>(v);
    return 1;
  }
  return 0;
}

int input_code_from_name(window_state* window, int* code, const char* name) {
  name = alias_lookup(name);
  if (input_key_code_from_name(name, code)) return 1;
  char device_name[64];
  int n;
  if (std::sscanf(name, "%63[^.].key[%d]", device_name, &n) != 2 &&
      std::sscanf(name, "%63s button %d", device_name, &n) != 2)
    return 0;
  if (n < 0 || n > 255) return 0;
  input_device* device = input_device_by_name(window, device_name);
  if (!device || n >= device->button_count) return 0;
  device->events_enabled = device->ops->enable_events(device);
  *code = static_cast<int>(device->id) | n;
  return 1;
}

const char* input_code_name(window_state* window, int code) {
  for (const code_name& s : kSpecialNames)
    if (s.code == code) return s.name;
  char text[1100];
  if (code < input_code_key || code > input_code_key + 0x1FF) {
    input_device* device = input_device_by_id(window, static_cast<unsigned>(code) & 0xFFFF0000u);
    if (!device) return nullptr;
    std::snprintf(text, sizeof text, "%.1000s button %d", device->name, code & 0xFF);
    return input_name_intern(text);
  }
  const int scan = code - input_code_key;
  for (const code_name& k : kKeyNames)
    if (k.code == scan) return k.name;
  std::snprintf(text, sizeof text, "0x%x", scan);
  return input_name_intern(text);
}

const char* input_name_intern(const char* name) {
  interned** link = &g_interned;
  while (*link) {
    const int order = std::strcmp((*link)->text, name);
    if (order == 0) return (*link)->text;
    if (order > 0) break;
    link = &(*link)->next;
  }
  const size_t len = std::strlen(name);
  interned* node = static_cast<interned*>(std::malloc(sizeof(interned) + len));
  if (!node) return nullptr;
  std::memcpy(node->text, name, len + 1);
  node->next = *link;
  *link = node;
  return node->text;
}

const char* alias_lookup(const char* name) {
  for (const alias* a = g_aliases; a; a = a->next)
    if (std::strcmp(a->name, name) == 0) return a->target;
  return name;
}

int alias_add(const char* name, const char* target) {
  if (alias_lookup(name) != name) {
    log_printf("Second alias for '%s' ('%s') ignored\n", name, target);
    return 0;
  }
  alias* a = static_cast<alias*>(std::malloc(sizeof(alias)));
  const char* stored_name = input_name_intern(name);
  const char* stored_target = input_name_intern(target);
  if (!a || !stored_name || !stored_target) {
    std::free(a);
    log_printf("Can't alias %s to %s -- out of memory\n", name, target);
    return 0;
  }
  *a = alias{g_aliases, stored_name, stored_target};
  g_aliases = a;
  return 1;
}

int input_name_compare(const char* a, const char* b) {
  auto fold = [](unsigned char c) -> int { return std::isspace(c) || c == '_' ? ' ' : std::tolower(c); };
  for (;; ++a, ++b) {
    const unsigned char ca = static_cast<unsigned char>(*a);
    const unsigned char cb = static_cast<unsigned char>(*b);
    if (ca == 0 || cb == 0) return ca - cb;
    const int fa = fold(ca), fb = fold(cb);
    if (fa != fb) return fa - fb;
  }
}
