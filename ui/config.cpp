// Support functions for reading and writing the config file.
#include "ui/config.h"

#include <cerrno>
#include <cstdarg>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/file_replace.h"
#include "core/intern.h"
#include "core/message_ring.h"
#include "core/stream.h"
#include "terrain/track.h"
#include "core/file.h"
#include "race/control_bindings.h"
#include "ui/bike_setup.h"
#include "ui/game_settings.h"

enum { config_line_max = 1024 };

int parse_binding(menu_binding* binding, const char* text, const char** reason) {
  const char* why = nullptr;
  while (*text == ' ' || *text == '\t') ++text;
  float lo = 0.0f, hi = 1.0f;
  const char* axis = nullptr;
  int after = -1;
  if (text[0] == '(' && std::strchr(text, ')') &&
      std::sscanf(text, "(%f,%f)%n", &lo, &hi, &after) == 2 && after > 0) {
    axis = text + after;
    // Axis values are scaled by 1 / (maximum - minimum).
    if (!std::isfinite(lo) || !std::isfinite(hi)) why = "axis range is not finite";
    else if (lo == hi) why = "axis range is empty";
    else if (!*axis) why = "no axis name";
  }
  if (why) {
    if (reason) *reason = why;
    return 0;
  }
  binding->key_name = nullptr;
  binding->key_code = 0;
  binding->axis_name = nullptr;
  binding->axis = nullptr;
  binding->axis_minimum = 0.0f;
  binding->axis_maximum = 1.0f;
  if (axis) {
    binding->axis_minimum = lo;
    binding->axis_maximum = hi;
    binding->axis_name = intern_string(axis);
  } else {
    binding->key_name = intern_string(std::strncmp(text, "(k)", 3) == 0 ? text + 3 : text);
  }
  return 1;
}

// A whole int, optionally surrounded by blanks.
static int parse_int(const char* text, long* out) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (end == text || errno == ERANGE) return 0;
  while (*end == ' ' || *end == '\t') ++end;
  if (*end) return 0;
  *out = v;
  return 1;
}

// Stores one value; null on success, else why it was refused.
static const char* store_setting(const settings_entry& e, const char* value) {
  switch (e.kind) {
    case setting_int: {
      long v = 0;
      if (!parse_int(value, &v)) return "not a whole number";
      if (v < e.minimum || v > e.maximum) return "out of range";
      *static_cast<int*>(e.item) = static_cast<int>(v);
      return nullptr;
    }
    case setting_float: {
      char* end = nullptr;
      double v = std::strtod(value, &end);
      if (end == value || !std::isfinite(v)) return "not a finite number";
      if (v < e.minimum) v = e.minimum;
      if (v > e.maximum) v = e.maximum;
      *static_cast<double*>(e.item) = v;
      return nullptr;
    }
    case setting_slider:
      return slider_parse_value(static_cast<menu_slider*>(e.item), value) ? nullptr : "not a finite number";
    case setting_list:
      return option_list_select(static_cast<menu_option_list*>(e.item), value) ? nullptr : "names no option";
    case setting_text:
      return text_field_set(static_cast<menu_text_field*>(e.item), value) ? nullptr : "too long";
    case setting_track: {
      menu_option_list* list = static_cast<menu_option_list*>(e.item);
      config_track_name = intern_string(value);
      for (int i = 0; i < list->count && i < track_count && track_folders; i++)
        if (track_folders[i] && std::strcmp(track_folders[i], value) == 0) *list->selected = i;
      return nullptr;
    }
  }
  return "unknown kind";
}

// One key and value; null when taken, else why not.
static const char* store_line(const char* key, const char* value) {
  const char* why = nullptr;
  if (parse_bike_setup_key(key, value, &why)) return why;
  if (const settings_entry* e = settings_find(key)) {
    // The server name may fill its field, but a history entry that long is
    // one a connect could not have written whole.
    if (std::strncmp(key, "server_name_hist", 16) == 0 && std::strlen(value) >= server_name_max) return "too long";
    return store_setting(*e, value);
  }
  // Older files: the first is no longer used, the second chose the
  // ground-texture mode.
  if (std::strcmp(key, "ground_texture_distance") == 0) return nullptr;
  if (std::strcmp(key, "use_fbo") == 0) {
    if (std::strcmp(value, "Yes") == 0) *game_settings.render_texture.selected = 2;
    else if (std::strcmp(value, "No") == 0) *game_settings.render_texture.selected = 1;
    else return "names no option";
    return nullptr;
  }
  for (int i = 0; i < control_binding_count; ++i) {
    if (std::strcmp(key, control_binding_keys[i]) != 0) continue;
    why = "not a binding";
    return parse_binding(&control_bindings[i], value, &why) ? nullptr : why;
  }
  return "unknown key";
}

static int take_line(const char* shown, int number, char* line) {
  char* eq = std::strchr(line, '=');
  if (!eq) {
    if (!line[0]) return 0;
    console_printf("%s line %d: \"%.60s\": no '=', skipped\n", shown, number, line);
    return 1;
  }
  *eq = 0;
  const char* key = line;
  const char* value = eq + 1;
  const char* why = store_line(key, value);
  if (!why) return 0;
  if (std::strcmp(why, "unknown key") == 0)
    console_printf("%s line %d: unknown key \"%.60s\", skipped\n", shown, number, key);
  else
    console_printf("%s line %d: %.60s=%.60s: %s, value kept\n", shown, number, key, value, why);
  return 1;
}

int read_config_text(const char* text, size_t size, const char* shown) {
  char line[config_line_max + 1];
  int refused = 0, number = 0;
  size_t at = 0;
  while (at < size) {
    ++number;
    size_t end = at;
    while (end < size && text[end] != '\n') ++end;
    size_t len = end - at;
    while (len > 0 && (text[at + len - 1] == '\r' || text[at + len - 1] == '\n')) --len;
    if (len > config_line_max) {
      console_printf("%s line %d: longer than %d bytes, skipped\n", shown, number, config_line_max);
      ++refused;
    } else if (std::memchr(text + at, 0, len)) {
      console_printf("%s line %d: holds a NUL byte, skipped\n", shown, number);
      ++refused;
    } else {
      std::memcpy(line, text + at, len);
      line[len] = 0;
      refused += take_line(shown, number, line);
    }
    at = end + 1;
  }
  return refused;
}

void read_config() {
  stream s;
  if (!stream_open_name(&s, "@config", "rb")) return;
  std::string text;
  char buffer[4096];
  uint32_t n;
  while ((n = stream_read(&s, buffer, sizeof(buffer))) > 0) text.append(buffer, n);
  stream_close_file(&s);
  read_config_text(text.data(), text.size(), "config");
}

static void append(std::string& out, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;
static void append(std::string& out, const char* format, ...) {
  char buffer[2048];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buffer, sizeof(buffer), format, args);
  va_end(args);
  if (n > 0) out.append(buffer, static_cast<size_t>(n) < sizeof(buffer) ? static_cast<size_t>(n) : sizeof(buffer) - 1);
}

std::string config_text() {
  std::string out;
  int count = 0;
  const settings_entry* all = settings_entries(&count);
  for (int i = 0; i < count; ++i) {
    const settings_entry& e = all[i];
    switch (e.kind) {
      case setting_int:
        append(out, "%s=%d\n", e.key, *static_cast<int*>(e.item));
        break;
      case setting_float:
        append(out, "%s=%f\n", e.key, *static_cast<double*>(e.item));
        break;
      case setting_slider:
        append(out, "%s=%f\n", e.key, *static_cast<menu_slider*>(e.item)->value);
        break;
      case setting_list:
        append(out, "%s=%s\n", e.key, option_list_text(static_cast<menu_option_list*>(e.item)));
        break;
      case setting_text:
        append(out, "%s=%s\n", e.key, static_cast<menu_text_field*>(e.item)->text);
        break;
      case setting_track: {
        // Without a track list the name read is kept as it was.
        const menu_option_list* list = static_cast<menu_option_list*>(e.item);
        const char* name = list->count > 0 ? selected_track_folder() : config_track_name;
        if (name) append(out, "%s=%s\n", e.key, name);
        break;
      }
    }
    if (std::strcmp(e.key, "time_trial_abort") == 0) write_bike_setup(&out);
  }
  for (int i = 0; i < control_binding_count; ++i) {
    const menu_binding& b = control_bindings[i];
    if (b.key_name && b.key_name[0])
      append(out, "%s=(k)%s\n", control_binding_keys[i], b.key_name);
    else if (b.axis_name)
      append(out, "%s=(%f,%f)%s\n", control_binding_keys[i], b.axis_minimum, b.axis_maximum, b.axis_name);
    else if (b.key_name)
      append(out, "%s=(k)\n", control_binding_keys[i]);
  }
  return out;
}

int write_config() {
  const std::string text = config_text();
  return file_replace("@config", text.data(), text.size(), 1);
}
