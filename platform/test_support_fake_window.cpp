// A stand-in window for the device tests until the real window lands.
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/input_devices.h"
#include "platform/input_window_link.h"
#include "platform/test_support_fake_window.h"

static std::set<std::string> g_interned;
static std::map<std::string, std::string> g_aliases;

input_device** input_window_device_list(window_state* w) { return &w->devices; }
void input_window_set_axis_names(window_state* w, const char** names) { w->axis_names = names; }
int input_window_has_focus(window_state* w) { return w->focus; }
int input_window_client_origin(window_state* w, int* x, int* y) {
  *x = w->left;
  *y = w->top;
  return 1;
}
void input_window_push_event_now(window_state* w, int code, int pressed) { w->events.push_back({code, pressed}); }
const char* input_window_intern(const char* text) { return g_interned.insert(text).first->c_str(); }
const char* input_window_alias_lookup(const char* name) {
  auto it = g_aliases.find(name);
  return it == g_aliases.end() ? name : it->second.c_str();
}
int input_window_alias_add(const char* name, const char* target) {
  return g_aliases.emplace(name, target).second ? 1 : 0;
}
void fake_aliases_clear() { g_aliases.clear(); }
