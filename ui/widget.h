#pragma once
// The widget toolkit under the menus and the editor's side panel: item
// records whose values are the game's settings, the 4:3 screen column,
// the drawers that store each item's pixel rectangle, hit tests against
// those rectangles, and the keys of option lists, sliders and text fields.
//
// Menu units: each item is one unit tall, drawn from (0, 0) to (width, 1)
// at the current transform, y up. Rectangles are window pixels from the
// top-left, y down: x0, y0, x1, y1. Hidden items hold -1 in all four, and
// items never drawn hold 0: no strict hit test finds either.

// Buttons, labels and list rows.
struct menu_button {
  const char* label;
  int rect[4];
};

// A choice among texts. The selection is the setting: `selected` points at
// the variable that holds it (the list's own when nothing below the front
// end reads it). A list may have no options (a chooser with nothing to
// choose): it draws an empty value and ignores keys.
struct menu_option_list {
  const char* label;
  const char* const* options;
  int count;
  int* selected;
  int rect[4];
};

struct menu_slider {
  const char* label;
  double* value;
  double step;
  double minimum;
  double maximum;
  int rect[4];
  int bar_x0;  // the value bar's pixel extent, for clicks
  int bar_x1;
};

// The text buffer holds max_length characters and a terminator.
struct menu_text_field {
  const char* label;
  int max_length;
  char* text;
  int cursor;
  int insert;  // 1 typed characters are inserted, 0 they overwrite
  int rect[4];
};

struct menu_color {
  float r, g, b, a;
};
struct menu_color_pair {
  menu_color fill;
  menu_color text;
};

// Every colour pair the pages draw with.
struct menu_palette {
  menu_color_pair normal;          // buttons, value boxes, slider bars
  menu_color_pair selected;        // under the cursor or focused: inverse video
  menu_color_pair list_row;        // chooser rows
  menu_color_pair flagged_row;     // chooser rows with flag bit 0
  menu_color_pair item_label;      // labels of lists, sliders, fields; text lines
  menu_color_pair title;           // green page labels
  menu_color_pair title_selected;
  menu_color_pair good;            // "Available"
  menu_color_pair bad;             // "Not Available"
};
extern menu_palette menu_colors;

// Width of the border strips of every box, in menu units.
extern float menu_line_width;

// The navigation codes, named once at start-up by menu_keys_name. Code 16
// is the pseudo-key of a mouse move (or a held press in the editor).
struct menu_key_codes {
  int up, down, left, right, enter, keypad_enter, esc, pause;
  int click, right_click, page_up, page_down;
};
extern menu_key_codes menu_keys;
enum { menu_key_mouse_moved = 16 };
struct window_state;
// Resolves "up", "down", ..., "cursor-left", "cursor-right" through the
// platform's names (the cursor aliases need the window; without one the
// mouse buttons themselves are used).
void menu_keys_name(window_state* window);

// The option lists' shared type-ahead buffer and the list it belongs to.
enum { option_list_typed_max = 255 };
extern char option_list_typed[option_list_typed_max + 1];
extern const menu_option_list* option_list_last_keyed;

// Where menu_begin_screen puts the column, in GL-free numbers: the
// transform it applies, and the pen's origin and the pixel scale it
// returns.
struct menu_screen_layout {
  float translate[3];
  float scale;
  float origin[2];
  float pixel_scale[2];
};
// half_w, half_h: the view's half extents at distance 1; w_px, h_px: the
// window in pixels.
menu_screen_layout menu_layout_screen(float units_high, float pen_x, float pen_y, float half_w,
                                      float half_h, int w_px, int h_px);

// The rectangle of an item `width` units wide at the pen.
void widget_store_rect(int rect[4], const float pen[2], const float scale[2], float width);
void widget_hide(int rect[4]);

// 1 when the mouse (menu_screen) lies strictly inside.
int widget_under_mouse(const int rect[4]);
// The index of the first rectangle under the mouse in a list ended by a
// null pointer; -1 for none.
int widget_list_under_mouse(const int* const* rects);
// 1 for Enter, keypad Enter and Space; for a click, 1 only when the mouse
// lies strictly inside rect.
int widget_activated(const int rect[4], int key);

// Setters of the config file and the pages. option_list_select selects the
// first option equal to text (case-sensitive): 1, or 0 leaving the
// selection. slider_parse_value reads one finite number and stores it
// clamped: 1, or 0 leaving the value. text_field_set copies text when it
// fits in max_length: 1, or 0 leaving the text (a value is never cut).
int option_list_select(menu_option_list* list, const char* text);
int slider_parse_value(menu_slider* slider, const char* text);
int text_field_set(menu_text_field* field, const char* text);

// The selected option's text; "" when the list has no options.
const char* option_list_text(const menu_option_list* list);
// Gives a list its options at run time (tracks, video modes, bikes, skin
// variants) and keeps the selection in range.
void option_list_set_options(menu_option_list* list, const char* const* options, int count);

// Keys offered to an item.
void option_list_key(menu_option_list* list, int key);
void slider_key(menu_slider* slider, int key);
void text_field_key(menu_text_field* field, int key);

// What an option list shows: the option's text with the typed text wrapped
// in the colour-31 sequence when this list holds the type-ahead buffer;
// at most `size` - 1 bytes.
void option_list_display_text(const menu_option_list* list, char* out, int size);

// The slider's fill fraction, 0..1.
double slider_fraction(const menu_slider* slider);

// --- Drawing (GL); each drawer stores the item's rectangle first. ---

// Pushes the matrix and sets the 4:3 column `units_high` units tall, pen
// at (pen_x, pen_y) from its top-left; returns the pen's origin from the
// window's top-left and the pixel scale.
void menu_begin_screen(float units_high, float pen_x, float pen_y, float origin[2],
                       float pixel_scale[2]);
// glTranslatef(x, y, 0) and pen += (x, y).
void menu_translate(float pen[2], float x, float y);

void draw_text_box(const char* text, const menu_color& text_color, const menu_color& fill_color,
                   float width, float align);
void draw_label(menu_button* item, const float pen[2], const float scale[2], float width,
                float align, const menu_color& text_color, const menu_color& fill_color);
void draw_button(menu_button* item, int selected, const float pen[2], const float scale[2],
                 float width, float align);
void draw_list_row(menu_button* item, int selected, const float pen[2], const float scale[2],
                   float width, float align, int flags);
void draw_option_list(menu_option_list* item, int selected, const float pen[2],
                      const float scale[2], float width, float align, float label_fraction);
void draw_slider(menu_slider* item, int selected, const float pen[2], const float scale[2],
                 float width, float align, float label_fraction);
void draw_text_field(menu_text_field* item, int selected, const float pen[2],
                     const float scale[2], float width, float align, float label_fraction);
void draw_text_cursor(const menu_text_field* item, float r, float g, float b, int position);
void draw_box_color(const menu_color& color, float x0, float y0, float x1, float y1);
void fill_rect_color(const menu_color& color, float x0, float y0, float x1, float y1);
