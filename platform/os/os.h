#pragma once
// The OS layer: the few calls the game makes into the operating system, named
// for what the game needs. Everything above platform/ reaches the OS only
// through here (and SDL-backed parts added beside it).
#include <cstdint>

// Milliseconds since an arbitrary fixed point (system start), as an unsigned
// 32-bit count that wraps after 49.7 days.
uint32_t os_milliseconds();

// Seconds of CPU time the calling thread has used: it stands still while
// the thread sleeps, waits or is kept off the processor by other work.
double os_thread_cpu_seconds();

// Sleep for at least ms milliseconds; 0 gives up the rest of the time slice.
void os_sleep_ms(uint32_t ms);

// The value of an environment variable, or null when unset.
const char* os_getenv(const char* name);

// Lets the process keep memory it frees instead of handing it back to the
// system at once; called first thing at start-up.
void os_keep_freed_memory();
