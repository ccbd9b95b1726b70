#pragma once
// "Customize Controls" (page 10): the twenty control bindings, each a row
// that starts a capture of a new input.
struct menu_binding;

// The row's value: "<<PRESS A KEY>>" while it is captured, else its key,
// its axis with the direction of its range, or "None". At most size - 1
// bytes.
void binding_row_text(const menu_binding* binding, char* out, int size);
void draw_binding_row(menu_binding* binding, int selected, const float pen[2], const float scale[2]);
void draw_controls_page();
void controls_page_key(int code);
void controls_page_install();
