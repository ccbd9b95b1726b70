#pragma once
// The track script host: one Duktape heap per loaded track, the global
// object `bk` with the natives and the prelude, and the two hooks the game
// calls once per tick and once per drawn frame. Every entry into the engine
// is a protected call under a run-time budget, so a script can neither
// throw into the game nor hang it.
#include <cstddef>

#include "duktape.h"

#if DUK_VERSION < 20700
#error "the script host needs Duktape 2.7 or later"
#endif

enum {
  script_error_bytes = 1024,  // the last error keeps at most 1023 characters
  script_heap_limit = 64 << 20,
};

struct script_host {
  duk_context* context;
  char last_error[script_error_bytes];  // empty after a success
  size_t heap_bytes;                    // what the engine holds from us now
  double deadline;                      // the thread's CPU seconds; 0: no budget
  double wall_deadline;                 // steady-clock seconds: the backstop
  int budget_ms;                        // of the current entry
  int budget_spent;                     // the current entry ran over its budget
};

// Budgets of one entry into the engine, in milliseconds: loading (the
// prelude, then the track's file) and each hook call. Tests lower them.
extern int script_load_budget_ms;
extern int script_hook_budget_ms;

// A new host with a fresh heap of its own allocator (capped at
// script_heap_limit) and fatal handler; null when out of memory.
script_host* script_host_create();
void script_host_destroy(script_host* host);

// Registers the natives (names ended by a null, with the parallel function
// and argument-count tables) on a new global object `object_name`, or on the
// global object itself when the name is empty. 1, or 0 with the last error.
int script_register_natives(script_host* host, const char* object_name, const char* const* names,
                            const duk_c_function* functions, const int* arg_counts);

// Evaluates the text as a program; 1, or 0 with the error as the last error.
int script_eval(script_host* host, const char* source);
// The same, naming the source in error messages.
int script_eval_named(script_host* host, const char* source, const char* name);

// Calls the function at a dotted path from the global object ("bk.tic_handler_")
// with string arguments ended by a null. The call's numeric result (0 when
// it is not a number, saturated to int), or 0 with the last error set when
// the path does not lead to a function, or the engine's error code when the
// call threw.
int script_call(script_host* host, const char* path, ...);

const char* script_last_error(const script_host* host);
void script_collect_garbage(script_host* host);

// A budget counts the CPU time of the thread that runs the script, so a
// loaded machine never stops a script that keeps within it. A script that
// blocks (waits without using the processor) is stopped by the wall clock
// once this many budgets have passed.
enum { script_wall_backstop_factor = 20 };

// Sets the budget of the next entry (0 or less: none) and clears the
// spent flag; the host's entries call it, tests may too.
void script_set_budget(script_host* host, int ms);

// Compiles the text only: 1, or 0 with the engine's error (and its line)
// in `error`. For checking a script without a game around it.
int script_compile_check(const char* source, const char* name, char error[script_error_bytes]);

// The array transfers the natives use: elements 0..n-1 of the script array
// at stack index `index`. Reads may run the script's getters, so they may
// throw; a missing or non-number element reads as NaN (as 0 for ints), a
// non-string as "". Writes store numbers or strings and throw on a frozen
// array.
void script_get_doubles(duk_context* context, duk_idx_t index, double* out, int n);
void script_get_floats(duk_context* context, duk_idx_t index, float* out, int n);
void script_get_ints(duk_context* context, duk_idx_t index, int* out, int n);
// Strings are cut to 255 bytes.
void script_get_strings(duk_context* context, duk_idx_t index, char (*out)[256], int n);
void script_put_doubles(duk_context* context, duk_idx_t index, const double* values, int n);
void script_put_floats(duk_context* context, duk_idx_t index, const float* values, int n);
void script_put_ints(duk_context* context, duk_idx_t index, const int* values, int n);
void script_put_strings(duk_context* context, duk_idx_t index, const char* const* values, int n);

// A double as an int: NaN gives 0, anything beyond int's range saturates.
int script_saturate_int(double value);

// The ground height of the loaded terrain at (x, z); 0 with no terrain or
// a point that is not finite.
float script_terrain_height(float x, float z);
