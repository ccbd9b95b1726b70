#pragma once
// Calls the race code makes upward into the front end, filled in by main at
// start-up; an empty entry is skipped.
struct rider;

struct race_hooks_table {
  // Applies the player's bike setup to a rider (race reset, after the
  // local rider is built). 1 when applied.
  int (*apply_bike_setup)(rider* r);
};

extern race_hooks_table race_hooks;
