#pragma once
// The platform layer's own options, read from PAVO_OPTIONS, written as
// bracketed pairs: [threaded:yes][sound-rate:44100][dsnd:off].

// yes/on -> 1, no/off -> 0; missing -> the default; anything else is logged
// and gives the default.
int option_bool(const char* name, int default_value);

// A base-10 integer; missing or without digits -> the default.
int option_int(const char* name, int default_value);

// Replace the option string (normally read once from PAVO_OPTIONS). Tests
// and the OS layer's start-up use it; null reads the environment again.
void options_set_string(const char* text);
