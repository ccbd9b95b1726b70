// Clock, sleep and environment over POSIX.
#include "platform/os/os.h"

#include <sched.h>
#include <time.h>

#include <cerrno>
#include <cstdlib>

uint32_t os_milliseconds() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

double os_thread_cpu_seconds() {
  timespec ts;
  if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts) != 0) return 0;
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void os_sleep_ms(uint32_t ms) {
  if (ms == 0) {
    sched_yield();
    return;
  }
  timespec req;
  req.tv_sec = ms / 1000;
  req.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
  while (nanosleep(&req, &req) != 0 && errno == EINTR) {
  }
}

const char* os_getenv(const char* name) { return std::getenv(name); }
