#pragma once
// The "config" file of the per-user folder: one line per setting, a key,
// "=" and a value, then the 20 control bindings. Read once at start-up,
// written once at shut-down.
#include <string>

struct menu_binding;

// Loads "@config" into the settings items and bindings. A missing file
// leaves every default. Each line refused prints one console line naming
// the line number, key, value and reason; the setting keeps its value.
void read_config();
// Reads config text (for tests and "bkdata check"): the number of refused
// lines, with the settings changed as read_config would.
int read_config_text(const char* text, size_t size, const char* shown_name);

// The config file's text for the current settings.
std::string config_text();
// Replaces "@config" in one step, the previous file kept as "config~".
// 0 after a console line when it could not be written; the old file stays.
int write_config();

// Binds a key ("x", "(k)x") or an axis over a range ("(-1,1)Pad.axis[0]").
// The key code and axis handle are cleared; main and the controls page
// resolve them. 0, binding unchanged, for an axis with no name or an empty
// or non-finite range; *reason then says why when reason is not null.
int parse_binding(menu_binding* binding, const char* text, const char** reason = nullptr);
