#include "race/setup_baseline.h"

#include <cstdio>

#include "race/bike_setup.h"

void setup_baseline_take() {
  for (bike_setup_baseline_row& row : bike_setup_baseline) {
    row.baseline = *row.value;
    row.changed = 0;
  }
}

int setup_baseline_report(char* out, int size) {
  int changed = 0;
  int n = std::snprintf(out, (size_t)size, "[SPAM] Setup change ");
  for (const bike_setup_baseline_row& row : bike_setup_baseline) {
    if (n + 1 < size) out[n++] = row.changed ? (char)row.letter : '-';
    changed += row.changed != 0;
  }
  if (n < size) out[n] = 0;
  return changed;
}
