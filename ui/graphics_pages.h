#pragma once
// "Graphics/Sound Setup" (page 11) and "Advanced Graphics Setup" (page 12),
// with the four detail presets that set page 12's thirteen items.
#include "ui/widget.h"

struct window_state;
struct gl_capabilities;

enum { detail_preset_count = 4, detail_setting_count = 13 };
enum { preset_compatibility, preset_high_fps, preset_normal, preset_high_detail };

// Each preset's name as the current-settings line shows it.
extern const char* const detail_preset_names[detail_preset_count];
// The presets: per setting, an option index for a list, a value for a
// slider. Columns in the order of the page 12 items they set.
extern const double detail_presets[detail_preset_count][detail_setting_count];

// Sets the thirteen settings to a preset's column. The roost and
// reflection copies the game reads keep their values.
void apply_detail_preset(int preset);
// The last preset whose column matches the settings exactly, or -1.
int current_detail_preset();
// Derives the renderer's detail values from the thirteen settings.
void derive_graphics_settings();
// "Current Settings: <preset>" or "Current Settings: Custom".
const char* current_settings_text();

// The tags beside "Terrain Rendering Method" and "Use Shader Programs":
// 1 "Available", 0 "Not Available".
int render_method_available(int choice, const gl_capabilities& caps);
int shader_programs_available(const gl_capabilities& caps);

// What "Switch To Selected Mode Now" calls; the tests put their own.
extern int (*graphics_request_mode)(window_state* window, int width, int height, int flags);
// Asks the window for the chosen video mode and records it as the current
// one.
void switch_to_selected_mode();

// The preset buttons of page 11, in preset order.
extern menu_button graphics_preset_buttons[detail_preset_count];

void draw_graphics_page();
void graphics_page_key(int code);
void draw_advanced_graphics_page();
void advanced_graphics_page_key(int code);
void graphics_pages_install();
