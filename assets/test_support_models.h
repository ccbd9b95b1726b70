#pragma once
// Helpers of the model tests: text fixtures in the per-user folder and a
// look at the console lines.
#include <string>

// Writes text to root 0 (the per-user folder) + relative; returns "@" +
// relative.
std::string model_fixture(const std::string& relative, const std::string& text);
// Clears the console ring so the next checks see only new lines.
void console_lines_clear();
// How many console lines since the last clear contain text.
int console_lines_with(const std::string& text);
// Frees every model and the file index, and resets the generation and the
// model settings to their defaults.
void models_reset();
