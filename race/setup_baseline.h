#pragma once
// The report of bike-setup changes: which of the 39 baseline rows (held
// beside bike_setup) the player has changed since the race began, one
// letter per changed value and "-" for the others.

// Every row takes its item's current value and loses its changed flag.
void setup_baseline_take();
// "[SPAM] Setup change " and one character per row into out; returns how
// many rows are changed.
int setup_baseline_report(char* out, int size);
