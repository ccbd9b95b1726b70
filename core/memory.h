#pragma once
// The game's allocation wrappers. Normally they only forward to the C
// allocator; with BK_CHECK_ALLOC above 0 they keep a table of every live
// block to catch leaks, double frees and use after free.
#include <cstddef>
#include <cstdint>

void* check_malloc(size_t size);
void* check_calloc(size_t count, size_t size);
// With tracking on, a pointer the table does not know is reported on
// stderr and left alone: the result is null and the block is untouched.
void* check_realloc(void* pointer, size_t size);
// The one free function for every block from these wrappers and the services
// built on them. With tracking on, the block is wiped before it is freed and
// unknown pointers are reported rather than freed.
void check_free(void* pointer);
// One "%p:%d" line (pointer, serial) per live block, oldest first, on stderr.
void check_print_allocations();

// Never returns null: on failure the game ends through out_of_memory().
void* xmalloc(size_t size);

// The out-of-memory policy: close audio and the window, tell the user
// "Out of virtual memory", exit with status 1.
[[noreturn]] void out_of_memory();

// Filled in at start-up by the code that owns audio and the window, which
// lives above this library. Null hooks are skipped; without a box hook the
// message goes to stderr and the log.
extern void (*oom_close_audio_hook)();
extern void (*oom_close_window_hook)();
extern void (*oom_error_box_hook)(const char* title, const char* text);

// Sizes the working set and raises the priority when a race is set up.
void tune_working_set();

// The working-set range for a machine with `total` bytes of physical memory.
// Returns 0 (and leaves min and max alone) below 64 MiB.
int working_set_range(uint64_t total, uint32_t* minimum, uint32_t* maximum);

// tune_working_set with a given physical memory size.
void tune_working_set_for(uint64_t total);

// Tracking state, for tests: the number of live entries, whether tracking is
// on (-1 undecided, 0 off, 1 on), and a reset to undecided with an empty
// table so the next call reads BK_CHECK_ALLOC again.
uint32_t check_live_count();
int check_tracking_state();
void check_reset_for_tests();
// Replaces the final free (null restores free), so a test can look at a
// block as it is handed back.
void check_set_release_for_tests(void (*release)(void*));

enum { check_table_capacity = 1048576 };
