#include "terrain/line_library.h"

#include "core/memory.h"

void line_record_empty(line_record* r) {
  check_free(r->samples);
  r->samples = nullptr;
  r->sample_count = 0;
  r->own_time = line_time_none;
  r->pass_time = line_time_none;
  r->times_tested = 0;
  r->best_own_time = line_time_none;
  r->best_pass_time = line_time_none;
  r->own_time_sum = 0;
  r->pass_time_sum = 0;
  r->failures = 0;
  r->unique_id = 0;
}
