#pragma once
// The bike-setup baseline: the 39 handling values as they stood when the
// race began, so the frame loop can report which of them the player has
// changed since (one letter per value, "-" for the unchanged).
// The rows are bike_setup_baseline of race/bike_setup.h.
#include "race/bike_setup.h"

// Every row takes its item's current value and loses its changed flag.
void setup_baseline_take();
// After a setup was applied to the local bike: every row whose item now
// differs from its baseline is marked changed.
void setup_baseline_mark_changes();
// "[SPAM] Setup change " and one character per row into out (at least 64
// bytes); returns how many rows are changed.
int setup_baseline_report(char* out, int size);
