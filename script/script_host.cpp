// Support functions for the track script host: the heap with its allocator,
// budget and fatal handler, protected evaluation and calls, and the array
// transfers of the natives.
#include "script/script_host.h"

#include <chrono>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/memory.h"
#include "platform/log.h"
#include "platform/os/os.h"
#include "terrain/height_field.h"

int script_load_budget_ms = 2000;
int script_hook_budget_ms = 50;

static double steady_seconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// The engine's time-out check, named by our duk_config.h. It runs every few
// thousand bytecode instructions; once the budget is spent it keeps saying
// so, so a script that catches the error is stopped again at once.
int script_budget_spent(void* udata) {
  script_host* host = static_cast<script_host*>(udata);
  if (!host || host->deadline <= 0) return 0;
  if (host->budget_spent) return 1;
  if (os_thread_cpu_seconds() < host->deadline && steady_seconds() < host->wall_deadline) return 0;
  host->budget_spent = 1;
  return 1;
}

void script_set_budget(script_host* host, int ms) {
  host->budget_ms = ms;
  host->budget_spent = 0;
  host->deadline = ms > 0 ? os_thread_cpu_seconds() + ms / 1000.0 : 0;
  host->wall_deadline = ms > 0 ? steady_seconds() + (double)script_wall_backstop_factor * ms / 1000.0 : 0;
}

// Allocation: every block carries its size in front, so the heap's total is
// known and held under script_heap_limit; past it the engine gets a null and
// raises its own out-of-memory error.
namespace {
constexpr size_t block_header = 16;

void* heap_alloc(void* udata, duk_size_t size) {
  script_host* host = static_cast<script_host*>(udata);
  if (size >= script_heap_limit || host->heap_bytes + size > script_heap_limit) return nullptr;
  unsigned char* block = static_cast<unsigned char*>(std::malloc(size + block_header));
  if (!block) return nullptr;
  std::memcpy(block, &size, sizeof size);
  host->heap_bytes += size;
  return block + block_header;
}

void heap_free(void* udata, void* pointer) {
  if (!pointer) return;
  script_host* host = static_cast<script_host*>(udata);
  unsigned char* block = static_cast<unsigned char*>(pointer) - block_header;
  size_t size;
  std::memcpy(&size, block, sizeof size);
  host->heap_bytes -= size;
  std::free(block);
}

void* heap_realloc(void* udata, void* pointer, duk_size_t size) {
  if (!pointer) return heap_alloc(udata, size);
  if (size == 0) {
    heap_free(udata, pointer);
    return nullptr;
  }
  script_host* host = static_cast<script_host*>(udata);
  unsigned char* block = static_cast<unsigned char*>(pointer) - block_header;
  size_t old_size;
  std::memcpy(&old_size, block, sizeof old_size);
  if (size >= script_heap_limit || host->heap_bytes - old_size + size > script_heap_limit) return nullptr;
  unsigned char* grown = static_cast<unsigned char*>(std::realloc(block, size + block_header));
  if (!grown) return nullptr;
  std::memcpy(grown, &size, sizeof size);
  host->heap_bytes = host->heap_bytes - old_size + size;
  return grown + block_header;
}

// An error outside any protected call: the engine cannot go on, and neither
// can the game, which would otherwise be left in whatever state the throw
// interrupted.
void heap_fatal(void*, const char* message) {
  const char* text = message ? message : "(no message)";
  std::fprintf(stderr, "Script engine fatal error: %s\n", text);
  log_printf("Script engine fatal error: %s\n", text);
  if (oom_close_audio_hook) oom_close_audio_hook();
  if (oom_close_window_hook) oom_close_window_hook();
  log_close();
  std::exit(1);
}

void set_error(script_host* host, const char* format, ...) BK_PRINTF_LIKE(2, 3);
void set_error(script_host* host, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(host->last_error, sizeof host->last_error, format, args);
  va_end(args);
}

// The value on the stack top as the last error; the value stays.
void take_error(script_host* host) {
  const char* text = duk_safe_to_string(host->context, -1);
  set_error(host, "%.1023s", text ? text : "");
}
}  // namespace

script_host* script_host_create() {
  script_host* host = static_cast<script_host*>(check_calloc(1, sizeof(script_host)));
  if (!host) return nullptr;
  host->context = duk_create_heap(heap_alloc, heap_realloc, heap_free, host, heap_fatal);
  if (!host->context) {
    check_free(host);
    return nullptr;
  }
  return host;
}

void script_host_destroy(script_host* host) {
  if (!host) return;
  // Finalizers may run script code on the way out; they get the hook budget.
  script_set_budget(host, script_hook_budget_ms);
  duk_destroy_heap(host->context);
  check_free(host);
}

const char* script_last_error(const script_host* host) { return host->last_error; }

void script_collect_garbage(script_host* host) {
  duk_gc(host->context, 0);
  duk_gc(host->context, 0);
}

namespace {
struct registration {
  const char* object_name;
  const char* const* names;
  const duk_c_function* functions;
  const int* arg_counts;
};

duk_ret_t register_unsafe(duk_context* context, void* udata) {
  const registration* r = static_cast<const registration*>(udata);
  if (r->object_name[0])
    duk_push_object(context);
  else
    duk_push_global_object(context);
  for (int i = 0; r->names[i]; i++) {
    duk_push_c_function(context, r->functions[i], r->arg_counts[i]);
    duk_put_prop_string(context, -2, r->names[i]);
  }
  if (r->object_name[0]) duk_put_global_string(context, r->object_name);
  else duk_pop(context);
  return 0;
}
}  // namespace

int script_register_natives(script_host* host, const char* object_name, const char* const* names,
                            const duk_c_function* functions, const int* arg_counts) {
  registration r = {object_name ? object_name : "", names, functions, arg_counts};
  if (duk_safe_call(host->context, register_unsafe, &r, 0, 1) != DUK_EXEC_SUCCESS) {
    take_error(host);
    duk_pop(host->context);
    return 0;
  }
  duk_pop(host->context);
  return 1;
}

int script_eval_named(script_host* host, const char* source, const char* name) {
  duk_context* context = host->context;
  duk_push_string(context, name && name[0] ? name : "eval");
  const duk_int_t rc = duk_pcompile_lstring_filename(context, 0, source, std::strlen(source));
  if (rc == DUK_EXEC_SUCCESS && duk_pcall(context, 0) == DUK_EXEC_SUCCESS) {
    duk_pop(context);
    host->last_error[0] = 0;
    return 1;
  }
  take_error(host);
  duk_pop(context);
  return 0;
}

int script_eval(script_host* host, const char* source) { return script_eval_named(host, source, "eval"); }

int script_saturate_int(double value) {
  if (std::isnan(value)) return 0;
  if (value >= (double)INT_MAX) return INT_MAX;
  if (value <= (double)INT_MIN) return INT_MIN;
  return (int)value;
}

namespace {
struct call_state {
  script_host* host;
  const char* path;
  const std::vector<const char*>* arguments;
  int found;   // the path led to a function
  double result;
};

// Runs inside duk_safe_call: a getter or Proxy trap met on the path, or the
// function itself, may throw, and the throw ends here.
duk_ret_t call_unsafe(duk_context* context, void* udata) {
  call_state* s = static_cast<call_state*>(udata);
  duk_push_global_object(context);
  const char* part = s->path;
  const char* last = part;
  for (;;) {
    const char* dot = std::strchr(part, '.');
    const size_t length = dot ? (size_t)(dot - part) : std::strlen(part);
    if (length > 1023 || !duk_is_object(context, -1)) {
      set_error(s->host, "can't find %.800s", part);
      return 0;
    }
    duk_get_prop_lstring(context, -1, part, length);
    duk_remove(context, -2);
    last = part;
    if (!dot) break;
    part = dot + 1;
  }
  if (!duk_is_callable(context, -1)) {
    set_error(s->host, "%.800s is not a function", last);
    return 0;
  }
  duk_require_stack(context, (duk_idx_t)s->arguments->size());
  for (const char* a : *s->arguments) duk_push_string(context, a);
  duk_call(context, (duk_idx_t)s->arguments->size());
  s->found = 1;
  s->result = duk_is_number(context, -1) ? duk_get_number(context, -1) : 0.0;
  return 0;
}
}  // namespace

int script_call(script_host* host, const char* path, ...) {
  std::vector<const char*> arguments;
  va_list list;
  va_start(list, path);
  for (const char* a = va_arg(list, const char*); a; a = va_arg(list, const char*)) arguments.push_back(a);
  va_end(list);
  call_state s = {host, path, &arguments, 0, 0.0};
  const duk_int_t rc = duk_safe_call(host->context, call_unsafe, &s, 0, 1);
  if (rc != DUK_EXEC_SUCCESS) {
    take_error(host);
    duk_pop(host->context);
    return rc;
  }
  duk_pop(host->context);
  if (!s.found) return 0;
  host->last_error[0] = 0;
  return script_saturate_int(s.result);
}

int script_compile_check(const char* source, const char* name, char error[script_error_bytes]) {
  error[0] = 0;
  script_host* host = script_host_create();
  if (!host) {
    std::snprintf(error, script_error_bytes, "out of memory");
    return 0;
  }
  duk_context* context = host->context;
  duk_push_string(context, name);
  const int ok = duk_pcompile_lstring_filename(context, 0, source, std::strlen(source)) == DUK_EXEC_SUCCESS;
  if (!ok) std::snprintf(error, script_error_bytes, "%.1023s", duk_safe_to_string(context, -1));
  duk_pop(context);
  script_host_destroy(host);
  return ok;
}

// Array transfers ------------------------------------------------------------

void script_get_doubles(duk_context* context, duk_idx_t index, double* out, int n) {
  index = duk_normalize_index(context, index);
  for (int i = 0; i < n; i++) {
    duk_get_prop_index(context, index, (duk_uarridx_t)i);
    out[i] = duk_get_number_default(context, -1, NAN);
    duk_pop(context);
  }
}

void script_get_floats(duk_context* context, duk_idx_t index, float* out, int n) {
  index = duk_normalize_index(context, index);
  for (int i = 0; i < n; i++) {
    duk_get_prop_index(context, index, (duk_uarridx_t)i);
    out[i] = (float)duk_get_number_default(context, -1, NAN);
    duk_pop(context);
  }
}

void script_get_ints(duk_context* context, duk_idx_t index, int* out, int n) {
  index = duk_normalize_index(context, index);
  for (int i = 0; i < n; i++) {
    duk_get_prop_index(context, index, (duk_uarridx_t)i);
    out[i] = script_saturate_int(duk_get_number_default(context, -1, NAN));
    duk_pop(context);
  }
}

void script_get_strings(duk_context* context, duk_idx_t index, char (*out)[256], int n) {
  index = duk_normalize_index(context, index);
  for (int i = 0; i < n; i++) {
    duk_get_prop_index(context, index, (duk_uarridx_t)i);
    std::snprintf(out[i], sizeof out[i], "%s", duk_get_string_default(context, -1, ""));
    duk_pop(context);
  }
}

void script_put_doubles(duk_context* context, duk_idx_t index, const double* values, int n) {
  index = duk_normalize_index(context, index);
  for (int i = 0; i < n; i++) {
    duk_push_number(context, values[i]);
    duk_put_prop_index(context, index, (duk_uarridx_t)i);
  }
}

void script_put_floats(duk_context* context, duk_idx_t index, const float* values, int n) {
  index = duk_normalize_index(context, index);
  for (int i = 0; i < n; i++) {
    duk_push_number(context, values[i]);
    duk_put_prop_index(context, index, (duk_uarridx_t)i);
  }
}

void script_put_ints(duk_context* context, duk_idx_t index, const int* values, int n) {
  index = duk_normalize_index(context, index);
  for (int i = 0; i < n; i++) {
    duk_push_int(context, values[i]);
    duk_put_prop_index(context, index, (duk_uarridx_t)i);
  }
}

void script_put_strings(duk_context* context, duk_idx_t index, const char* const* values, int n) {
  index = duk_normalize_index(context, index);
  for (int i = 0; i < n; i++) {
    duk_push_string(context, values[i] ? values[i] : "");
    duk_put_prop_index(context, index, (duk_uarridx_t)i);
  }
}

float script_terrain_height(float x, float z) {
  if (!track_field.heights || !std::isfinite(x) || !std::isfinite(z)) return 0.0f;
  return terrain_height(&track_field, x, z);
}
