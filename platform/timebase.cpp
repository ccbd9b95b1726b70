// Time base and precise sleep.
#include "platform/timebase.h"

#include "platform/os/os.h"

void time_from_ms(uint32_t ms, int* seconds, int* microseconds) {
  *seconds = static_cast<int>(ms / 1000u);
  *microseconds = static_cast<int>((ms % 1000u) * 1000u);
}

int time_now(int* seconds, int* microseconds) {
  time_from_ms(os_milliseconds(), seconds, microseconds);
  return 1;
}

uint32_t sleep_first_ms(int seconds, int microseconds) {
  const int64_t ms = static_cast<int64_t>(seconds) * 1000 + microseconds / 1000;
  if (ms <= 0) return 0;
  // The OS sleep may overshoot by a tick; stop one millisecond short and
  // spin the rest.
  return static_cast<uint32_t>(ms >= 2 ? ms - 1 : ms);
}

void sleep_precise(int seconds, int microseconds) {
  int start_s, start_us;
  time_now(&start_s, &start_us);
  os_sleep_ms(sleep_first_ms(seconds, microseconds));

  int deadline_s = start_s + seconds;
  int deadline_us = start_us + microseconds;
  while (deadline_us >= 1000000) {
    deadline_us -= 1000000;
    ++deadline_s;
  }
  for (;;) {
    int now_s, now_us;
    time_now(&now_s, &now_us);
    if (now_s > deadline_s || (now_s == deadline_s && now_us >= deadline_us)) break;
    // The clock wrapped (49.7 days of uptime) while we waited: the deadline
    // can no longer be reached by counting up, and the wait is long over.
    if (now_s < start_s - 1) break;
    os_sleep_ms(0);
  }
}
