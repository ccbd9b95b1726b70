#pragma once
// The per-tick pass recording of a rider: its timing-gate crossings, and
// its finish once it completes the race's last lap.
struct rider;

// Run for a rider after its control step. Looks for the rider at its next
// gates (n, n + 1, n + 2) and, when one before them was missed, at n - 3
// and n - 2; an accepted crossing takes the tick, may finish the rider and
// brings the results up to date. A lap's last gate is never skipped.
void line_library_record_pass(rider* r);

// The timing gate of crossing c (folded into the lap's gate list), or -1.
int crossing_gate(int c);
