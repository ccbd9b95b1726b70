// Support functions for the widget toolkit that need no GL: layout
// arithmetic, hit tests, setters and keys.
#include "ui/widget.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/input.h"
#include "race/menu_screen.h"

menu_palette menu_colors = {
    {{0.5f, 0.5f, 0.5f, 0.25f}, {0.9f, 0.9f, 0.9f, 0.8f}},
    {{0.9f, 0.9f, 0.9f, 0.8f}, {0.0f, 0.0f, 0.0f, 1.0f}},
    {{0.3f, 0.3f, 0.3f, 0.25f}, {0.9f, 0.9f, 0.9f, 0.8f}},
    {{0.2f, 0.2f, 0.2f, 0.25f}, {0.9f, 0.9f, 0.9f, 0.8f}},
    {{0.0f, 0.0f, 0.0f, 0.25f}, {0.9f, 0.9f, 0.9f, 1.0f}},
    {{0.0f, 1.0f, 0.0f, 0.3f}, {0.9f, 0.9f, 0.9f, 0.8f}},
    {{0.0f, 1.0f, 0.0f, 0.8f}, {0.9f, 0.9f, 0.9f, 1.0f}},
    {{0.0f, 1.0f, 0.0f, 0.5f}, {0.9f, 0.9f, 0.9f, 1.0f}},
    {{1.0f, 0.0f, 0.0f, 0.5f}, {0.0f, 0.0f, 0.0f, 1.0f}},
};

float menu_line_width = 0.125f;

// Until menu_keys_name runs nothing matches a navigation key.
menu_key_codes menu_keys = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};

char option_list_typed[option_list_typed_max + 1];
const menu_option_list* option_list_last_keyed;

static int key_code(const char* name) {
  int code = -1;
  return input_key_code_from_name(name, &code) ? code : -1;
}

static int cursor_code(window_state* window, const char* alias, int fallback) {
  int code = -1;
  if (window && input_code_from_name(window, &code, alias)) return code;
  return fallback;
}

void menu_keys_name(window_state* window) {
  menu_keys.up = key_code("up");
  menu_keys.down = key_code("down");
  menu_keys.left = key_code("left");
  menu_keys.right = key_code("right");
  menu_keys.enter = key_code("enter");
  menu_keys.keypad_enter = key_code("keypad enter");
  menu_keys.esc = key_code("esc");
  menu_keys.pause = key_code("pause");
  menu_keys.click = cursor_code(window, "cursor-left", input_code_mouse_left);
  menu_keys.right_click = cursor_code(window, "cursor-right", input_code_mouse_right);
  menu_keys.page_up = key_code("page up");
  menu_keys.page_down = key_code("page down");
}

menu_screen_layout menu_layout_screen(float units_high, float pen_x, float pen_y, float half_w,
                                      float half_h, int w_px, int h_px) {
  menu_screen_layout l;
  const float W = half_w, H = half_h;
  if (W / H > 4.0f / 3.0f) {
    // Wide: the column fills the height, centred with equal margins.
    l.translate[0] = -4.0f / 3.0f * H;
    l.translate[1] = H;
    l.scale = 2.0f * H / units_high;
    l.origin[0] = pen_x + (W - 4.0f / 3.0f * H) * units_high / (2.0f * H);
    l.origin[1] = pen_y;
    l.pixel_scale[0] = h_px / units_high;
    l.pixel_scale[1] = -h_px / units_high;
  } else {
    // 4:3 or narrower: the column fills the width, centred vertically.
    l.translate[0] = -W;
    l.translate[1] = 0.75f * W;
    l.scale = 2.0f * W * 0.75f / units_high;
    l.origin[0] = pen_x;
    l.origin[1] = pen_y - (H - 0.75f * W) * (4.0f / 3.0f * units_high) / (2.0f * W);
    l.pixel_scale[0] = w_px / (4.0f / 3.0f * units_high);
    l.pixel_scale[1] = -w_px / (4.0f / 3.0f * units_high);
  }
  l.translate[2] = -1.0f;
  return l;
}

void widget_store_rect(int rect[4], const float pen[2], const float scale[2], float width) {
  rect[0] = static_cast<int>(pen[0] * scale[0]);
  rect[1] = static_cast<int>((pen[1] + 1.0f) * scale[1]);
  rect[2] = static_cast<int>(scale[0] * (pen[0] + width));
  rect[3] = static_cast<int>(pen[1] * scale[1]);
}

void widget_hide(int rect[4]) { rect[0] = rect[1] = rect[2] = rect[3] = -1; }

int widget_under_mouse(const int rect[4]) {
  const int x = menu_screen.mouse_x, y = menu_screen.mouse_y;
  return rect[0] < x && x < rect[2] && rect[1] < y && y < rect[3];
}

int widget_list_under_mouse(const int* const* rects) {
  if (!rects) return -1;
  for (int i = 0; rects[i]; ++i)
    if (widget_under_mouse(rects[i])) return i;
  return -1;
}

int widget_activated(const int rect[4], int key) {
  if (key == menu_keys.enter || key == menu_keys.keypad_enter || key == ' ') return 1;
  if (key == menu_keys.click) return widget_under_mouse(rect);
  return 0;
}

int option_list_select(menu_option_list* list, const char* text) {
  if (!text) return 0;
  for (int i = 0; i < list->count; ++i)
    if (list->options[i] && std::strcmp(list->options[i], text) == 0) {
      *list->selected = i;
      return 1;
    }
  return 0;
}

int slider_parse_value(menu_slider* slider, const char* text) {
  if (!text) return 0;
  char* end = nullptr;
  const double v = std::strtod(text, &end);
  // "nan" and "inf" read as numbers and would pass any clamping.
  if (end == text || !std::isfinite(v)) return 0;
  double stored = v;
  if (stored < slider->minimum) stored = slider->minimum;
  if (stored > slider->maximum) stored = slider->maximum;
  *slider->value = stored;
  return 1;
}

int text_field_set(menu_text_field* field, const char* text) {
  if (!text || std::strlen(text) > static_cast<size_t>(field->max_length)) return 0;
  std::strcpy(field->text, text);
  return 1;
}

const char* option_list_text(const menu_option_list* list) {
  if (list->count <= 0 || !list->selected) return "";
  const int i = *list->selected;
  if (i < 0 || i >= list->count || !list->options[i]) return "";
  return list->options[i];
}

void option_list_set_options(menu_option_list* list, const char* const* options, int count) {
  list->options = options;
  list->count = options && count > 0 ? count : 0;
  if (!list->selected) return;
  if (list->count == 0 || *list->selected < 0) *list->selected = 0;
  else if (*list->selected >= list->count) *list->selected = list->count - 1;
}

// Case-insensitive search for needle in hay from the right; -1 if absent.
static int find_last_folded(const char* hay, const char* needle) {
  const int h = static_cast<int>(std::strlen(hay)), n = static_cast<int>(std::strlen(needle));
  for (int at = h - n; at >= 0; --at) {
    int k = 0;
    while (k < n && std::tolower(static_cast<unsigned char>(hay[at + k])) ==
                        std::tolower(static_cast<unsigned char>(needle[k])))
      ++k;
    if (k == n) return at;
  }
  return -1;
}

static int contains_folded(const char* hay, const char* needle) {
  return !needle[0] || find_last_folded(hay ? hay : "", needle) >= 0;
}

static int is_printable(int key) { return key == ' ' || (key > 32 && key < 127) || (key >= 128 && key <= 255); }

void option_list_key(menu_option_list* list, int key) {
  if (option_list_last_keyed != list) {
    option_list_last_keyed = list;
    option_list_typed[0] = 0;
  }
  // An empty chooser has nothing to select.
  if (list->count <= 0 || !list->selected) return;
  int& sel = *list->selected;
  if (sel < 0 || sel >= list->count) sel = 0;
  const int count = list->count;
  if (key == 8) {
    option_list_typed[0] = 0;
    return;
  }
  if (key == 9) {
    sel = (sel + 1) % count;
    for (int tries = 0; tries < count; ++tries) {
      if (contains_folded(list->options[sel], option_list_typed)) return;
      sel = (sel + 1) % count;
    }
    return;
  }
  if (is_printable(key)) {
    const size_t len = std::strlen(option_list_typed);
    if (len >= option_list_typed_max) return;
    option_list_typed[len] = static_cast<char>(key);
    option_list_typed[len + 1] = 0;
    const int start = sel;
    for (int tries = 0; tries < count; ++tries) {
      if (contains_folded(list->options[sel], option_list_typed)) return;
      sel = (sel + 1) % count;
    }
    // No option holds it: the character is refused.
    sel = start;
    option_list_typed[len] = 0;
    return;
  }
  if (key == menu_keys.enter || key == menu_keys.keypad_enter || key == menu_keys.right ||
      (key == menu_keys.click && widget_under_mouse(list->rect))) {
    option_list_typed[0] = 0;
    ++sel;
  } else if (key == menu_keys.left) {
    option_list_typed[0] = 0;
    --sel;
  }
  if (sel < 0) sel = count - 1;
  if (sel >= count) sel = 0;
}

void option_list_display_text(const menu_option_list* list, char* out, int size) {
  if (size <= 0) return;
  const char* option = option_list_text(list);
  const int at = option_list_last_keyed == list && option_list_typed[0]
                     ? find_last_folded(option, option_list_typed)
                     : -1;
  int n = 0;
  auto put = [&](const char* s, size_t len) {
    for (size_t i = 0; i < len && n < size - 1; ++i) out[n++] = s[i];
  };
  if (at < 0) {
    put(option, std::strlen(option));
  } else {
    // The match is shown in the option's own letters, so the highlight
    // never changes how the option is spelt.
    const size_t typed = std::strlen(option_list_typed);
    put(option, static_cast<size_t>(at));
    put("\x1b[31m", 5);
    put(option + at, typed);
    put("\x1b[0m", 4);
    const char* rest = option + at + typed;
    put(rest, std::strlen(rest));
  }
  out[n] = 0;
}

double slider_fraction(const menu_slider* slider) {
  const double range = slider->maximum - slider->minimum;
  if (!(range > 0.0)) return 0.0;
  double f = (*slider->value - slider->minimum) / range;
  if (!(f > 0.0)) f = 0.0;
  if (f > 1.0) f = 1.0;
  return f;
}

void slider_key(menu_slider* slider, int key) {
  double v;
  if (key == menu_keys.left) {
    v = *slider->value - slider->step;
  } else if (key == menu_keys.right) {
    v = *slider->value + slider->step;
  } else {
    if (key != menu_keys.click && key != menu_key_mouse_moved) return;
    if (!widget_under_mouse(slider->rect)) return;
    const int x = menu_screen.mouse_x;
    if (x < slider->bar_x0 - 15 || x > slider->bar_x1 + 15) return;
    // A bar drawn too narrow to show has no fraction to point at.
    if (slider->bar_x1 <= slider->bar_x0) return;
    const double fraction = static_cast<double>(x - slider->bar_x0) / (slider->bar_x1 - slider->bar_x0);
    const double range = slider->maximum - slider->minimum;
    if (slider->step > 0.0)
      v = slider->minimum + slider->step * std::floor(fraction * range / slider->step + 0.5);
    else
      v = slider->minimum + fraction * range;
  }
  if (static_cast<float>(v) < static_cast<float>(slider->minimum)) v = slider->minimum;
  if (static_cast<float>(v) > static_cast<float>(slider->maximum)) v = slider->maximum;
  *slider->value = v;
}

void text_field_key(menu_text_field* field, int key) {
  char* text = field->text;
  const int length = static_cast<int>(std::strlen(text));
  // text_field_set may have left the cursor past a shorter text.
  if (field->cursor > length) field->cursor = length;
  if (field->cursor < 0) field->cursor = 0;
  int& cursor = field->cursor;
  if (key == menu_keys.left) {
    if (cursor > 0) --cursor;
    return;
  }
  if (key == menu_keys.right) {
    if (cursor < length) ++cursor;
    return;
  }
  if (key == 8) {
    if (cursor > 0) {
      --cursor;
      std::memmove(text + cursor, text + cursor + 1, static_cast<size_t>(length - cursor));
    }
    return;
  }
  if (key == 127) {
    if (cursor < length) std::memmove(text + cursor, text + cursor + 1, static_cast<size_t>(length - cursor));
    return;
  }
  if (key > 255 || !is_printable(key)) return;
  if (cursor >= field->max_length) return;
  if (field->insert) {
    // The last character falls off at max_length.
    int end = length < field->max_length ? length : field->max_length - 1;
    std::memmove(text + cursor + 1, text + cursor, static_cast<size_t>(end - cursor));
    text[end + 1] = 0;
    text[cursor] = static_cast<char>(key);
  } else {
    text[cursor] = static_cast<char>(key);
    if (cursor == length) text[cursor + 1] = 0;
  }
  ++cursor;
}
