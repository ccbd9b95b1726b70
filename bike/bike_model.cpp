// Lookups in the bike model table and the setup readouts built on it.
#include "bike/bike_model.h"

#include <string.h>

#include "platform/log.h"

namespace {

// Setting v picks a point between range[0] (at 0) and range[1] (at 1). A
// setting that is not a number reads as 0 rather than poisoning the value.
float range_value(const float range[2], float v) {
  if (!(v > 0)) v = 0;
  if (v > 1) v = 1;
  return range[0] + (range[1] - range[0]) * v;
}

bool have_row(const bike_model* row, const char* what) {
  if (row) return true;
  log_printf("%s: no bike model", what);
  return false;
}

}  // namespace

const bike_model* bike_model_find(const char* name) {
  if (!name) return nullptr;
  for (const bike_model& row : bike_models)
    if (strcmp(row.name, name) == 0) return &row;
  return nullptr;
}

// lb/ft to kg/mm, halved because the rate is shared by two fork legs.
float bike_model_fork_spring_rate(const bike_model* row, float v) {
  if (!have_row(row, "bike_model_fork_spring_rate")) return 0;
  return range_value(row->fork_spring_rate_range, v) * 0.000744082f;
}

float bike_model_fork_preload_mm(const bike_model* row, float v) {
  if (!have_row(row, "bike_model_fork_preload_mm")) return 0;
  return range_value(row->fork_preload_range, v) * 304.8f;
}

float bike_model_fork_oil_level_mm(const bike_model* row, float v) {
  if (!have_row(row, "bike_model_fork_oil_level_mm")) return 0;
  return range_value(row->fork_oil_level_range, v) * 304.8f;
}

// lb/ft to kg/mm.
float bike_model_shock_spring_rate(const bike_model* row, float v) {
  if (!have_row(row, "bike_model_shock_spring_rate")) return 0;
  return range_value(row->shock_spring_rate_range, v) * 0.00148816f;
}

float bike_model_shock_preload_mm(const bike_model* row, float v) {
  if (!have_row(row, "bike_model_shock_preload_mm")) return 0;
  return range_value(row->shock_preload_range, v) * 304.8f;
}

float bike_model_front_sprocket(const bike_model* row) {
  if (!have_row(row, "bike_model_front_sprocket")) return 0;
  return row->front_sprocket;
}

float bike_model_rear_sprocket(const bike_model* row) {
  if (!have_row(row, "bike_model_rear_sprocket")) return 0;
  return row->rear_sprocket;
}
