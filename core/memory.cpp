// Allocation wrappers, allocation tracking and the out-of-memory policy.
#include "core/memory.h"

#include <sys/sysinfo.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/log.h"
#include "platform/os/os.h"

void (*oom_close_audio_hook)() = nullptr;
void (*oom_close_window_hook)() = nullptr;
void (*oom_error_box_hook)(const char* title, const char* text) = nullptr;

namespace {

// -1 undecided until the first call of a wrapper, then 0 or 1. Once off it
// stays off.
int g_tracking = -1;

// Live blocks in the order they were recorded; removal shifts later entries
// down so the report stays oldest first.
void* g_pointers[check_table_capacity];
uint32_t g_serials[check_table_capacity];
uint32_t g_sizes[check_table_capacity];
uint32_t g_count = 0;
uint32_t g_next_serial = 0;

void (*g_release)(void*) = std::free;

bool tracking() {
  if (g_tracking < 0) {
    const char* value = os_getenv("BK_CHECK_ALLOC");
    g_tracking = value && std::atoi(value) > 0 ? 1 : 0;
  }
  return g_tracking == 1;
}

void record(void* pointer, size_t size) {
  if (g_count == check_table_capacity) {
    std::fputs("Too many allocations to check!\n", stderr);
    g_tracking = 0;
    // The blocks already recorded will be freed untracked from now on, so
    // keeping their entries would list them as leaks at shut-down.
    g_count = 0;
    return;
  }
  g_pointers[g_count] = pointer;
  g_serials[g_count] = g_next_serial++;
  g_sizes[g_count] = static_cast<uint32_t>(size);
  g_count++;
}

// Newest first: short-lived blocks are found quickly.
long find(void* pointer) {
  for (long i = static_cast<long>(g_count) - 1; i >= 0; i--)
    if (g_pointers[i] == pointer) return i;
  return -1;
}

void remove_entry(long index) {
  const size_t later = g_count - static_cast<size_t>(index) - 1;
  std::memmove(&g_pointers[index], &g_pointers[index + 1], later * sizeof g_pointers[0]);
  std::memmove(&g_serials[index], &g_serials[index + 1], later * sizeof g_serials[0]);
  std::memmove(&g_sizes[index], &g_sizes[index + 1], later * sizeof g_sizes[0]);
  g_count--;
}

void report_unknown(void* pointer) { std::fprintf(stderr, "Allocation not found for %p!\n", pointer); }

}  // namespace

void* check_malloc(size_t size) {
  void* block = std::malloc(size);
  if (tracking() && block) record(block, size);
  return block;
}

void* check_calloc(size_t count, size_t size) {
  void* block = std::calloc(count, size);
  if (tracking() && block) record(block, count * size);
  return block;
}

void* check_realloc(void* pointer, size_t size) {
  // realloc(p, 0) may free p and return null, which every caller would take
  // for a failed growth and then use or free p again.
  if (size == 0) size = 1;
  if (!tracking()) return std::realloc(pointer, size);
  long index = -1;
  if (pointer) {
    index = find(pointer);
    if (index < 0) {
      // Reallocating a block we never handed out would corrupt the heap.
      report_unknown(pointer);
      return nullptr;
    }
  }
  void* block = std::realloc(pointer, size);
  if (!block) return nullptr;  // the old block and its entry stay valid
  if (index >= 0) remove_entry(index);
  if (tracking()) record(block, size);
  return block;
}

void check_free(void* pointer) {
  if (!tracking()) {
    std::free(pointer);
    return;
  }
  if (!pointer) return;
  const long index = find(pointer);
  if (index < 0) {
    report_unknown(pointer);
    return;
  }
  // Wiped so that a use after free reads zeros rather than stale data.
  std::memset(pointer, 0, g_sizes[index]);
  remove_entry(index);
  g_release(pointer);
}

void check_print_allocations() {
  for (uint32_t i = 0; i < g_count; i++)
    std::fprintf(stderr, "%p:%d\n", g_pointers[i], static_cast<int>(g_serials[i]));
}

void out_of_memory() {
  if (oom_close_audio_hook) oom_close_audio_hook();
  if (oom_close_window_hook) oom_close_window_hook();
  if (oom_error_box_hook) {
    oom_error_box_hook("Error", "Out of virtual memory");
  } else {
    std::fputs("Error: Out of virtual memory\n", stderr);
    log_printf("Error: Out of virtual memory\n");
  }
  log_close();
  std::exit(1);
}

void* xmalloc(size_t size) {
  void* block = check_malloc(size);
  if (!block) out_of_memory();
  return block;
}

int working_set_range(uint64_t total, uint32_t* minimum, uint32_t* maximum) {
  if (total < 67108864u) return 0;
  const uint64_t top = total < 2147483648u ? total : 2147483648u;
  const uint64_t max = top - 33554432u;
  *maximum = static_cast<uint32_t>(max);
  *minimum = static_cast<uint32_t>(max < 1073741824u ? max : 1073741824u);
  return 1;
}

void tune_working_set_for(uint64_t total) {
  uint32_t minimum, maximum;
  if (!working_set_range(total, &minimum, &maximum)) {
    log_printf("Working set left alone - less than 64 MB physical memory\n");
    return;
  }
  log_printf("Setting working set range to %u - %u\n", minimum, maximum);
  // Linux sizes the resident set itself and raising the priority needs
  // privileges a game does not have, so both requests end here.
  log_printf("Working set update skipped - not available on this system\n");
  log_printf("Priority set to high skipped - not available on this system\n");
}

void tune_working_set() {
  struct sysinfo info;
  if (sysinfo(&info) != 0) {
    log_printf("Working set left alone - physical memory size unknown\n");
    return;
  }
  // 64-bit product: machines with 4 GiB or more would wrap a 32-bit count.
  tune_working_set_for(static_cast<uint64_t>(info.totalram) * info.mem_unit);
}

uint32_t check_live_count() { return g_count; }

int check_tracking_state() { return g_tracking; }

void check_reset_for_tests() {
  g_tracking = -1;
  g_count = 0;
  g_next_serial = 0;
}

void check_set_release_for_tests(void (*release)(void*)) { g_release = release ? release : std::free; }
