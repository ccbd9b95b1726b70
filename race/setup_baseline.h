#pragma once
// The bike-setup baseline: the 39 handling values as they stood when the
// race began, so the frame loop can report which of them the player has
// changed since (one letter per value, "-" for the unchanged).
enum { setup_baseline_rows = 39 };

struct setup_baseline_row {
  double value;  // at the baseline
  int changed;
  int letter;
  double* item;  // the value in bike_setup
};
extern setup_baseline_row bike_setup_baseline[setup_baseline_rows];

// Every row takes its item's current value and loses its changed flag.
void setup_baseline_take();
// After a setup was applied to the local bike: every row whose item now
// differs from its baseline is marked changed.
void setup_baseline_mark_changes();
// "[SPAM] Setup change " and one character per row into out (at least 64
// bytes); returns how many rows are changed.
int setup_baseline_report(char* out, int size);
