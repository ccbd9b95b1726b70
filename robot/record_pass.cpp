// The line library's side of the race's gate timing.
#include "robot/record_pass.h"

#include "robot/pass_recording.h"

void record_pass_before_gate_search(rider* r) {
  pass_take_sample(r);
  pass_book_crash(r);
}

void record_pass_crossing(rider* r, int c, int tried) {
  pass_mark_void(r);
  pass_at_segment_start(r, c, tried);
}

void record_pass_finished(rider* r) {
  if (rider_is_robot(r)) pass_slow_followed_line(r);
}
