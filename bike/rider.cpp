// The rider table: creating and destroying riders, their accessors and
// whether a rider has finished the race.
#include "bike/rider.h"

#include <GL/gl.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "assets/texture.h"
#include "bike/rider_build.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "core/running_order.h"
#include "terrain/line_library.h"
#include "terrain/track.h"

rider rider_table[RIDER_SLOT_COUNT];
rider* rider_slots[RIDER_SLOT_COUNT];
int32_t rider_slot_kind[RIDER_SLOT_COUNT];

namespace {

// Bytes of a 128 x 128 RGBA plate with its mip chain, as counted when it
// was uploaded.
const unsigned plate_texture_bytes = 87381;

const bike_model* fallback_row(const char* name) {
  const char* wanted = name && strstr(name, "125") ? "125" : "250f";
  for (const bike_model& row : bike_models)
    if (strstr(row.name, wanted)) return &row;
  return &bike_models[0];
}

const char* part(const bike_model* row, int index) { return row->part_files[index]; }

void load_bike_models(rider* r, const bike_model* row, const char* skin) {
  r->frame_model = model_load_skinned(part(row, BIKE_PART_FRAME_MODEL), skin, 1);
  r->side_plates_model = model_load_skinned(part(row, BIKE_PART_SIDE_PLATES_MODEL), skin, 1);
  r->fork_upper_model = model_load_skinned(part(row, BIKE_PART_FORK_UPPER_MODEL), skin, 1);
  r->front_plate_model = model_load_skinned(part(row, BIKE_PART_FRONT_PLATE_MODEL), skin, 1);
  r->fork_lower_model = model_load_skinned(part(row, BIKE_PART_FORK_LOWER_MODEL), skin, 1);
  r->swingarm_model = model_load_skinned(part(row, BIKE_PART_SWINGARM_MODEL), skin, 1);
}

void load_wheel_models(rider* r, const bike_model* row, const char* skin) {
  r->front_wheel_model = model_load_skinned(part(row, BIKE_PART_FRONT_WHEEL_MODEL), skin, 1);
  r->rear_wheel_model = model_load_skinned(part(row, BIKE_PART_REAR_WHEEL_MODEL), skin, 1);
}

void load_gear_models(rider* r, const bike_model* row, const char* skin) {
  r->rider_plate_model = model_load_skinned(part(row, BIKE_PART_RIDER_PLATE_MODEL), skin, 0);
  r->body_model = model_load_skinned(part(row, BIKE_PART_BODY_MODEL), skin, 1);
  r->body_fp_model = model_load_skinned(part(row, BIKE_PART_BODY_FP_MODEL), skin, 0);
}

void load_head_model(rider* r, const bike_model* row, const char* skin) {
  r->head_model = model_load_skinned(part(row, BIKE_PART_HEAD_MODEL), skin, 1);
}

// Models and skins of the four groups, each falling back to the row's
// default skin. Returns the skin names in force.
void load_parts(rider* r, const bike_model* row, const char* gear_skin, const char* helmet_skin,
                const char* bike_skin, const char* wheels_skin, const char* in_force[4]) {
  r->bike_skin = r->bike_skin_norm = r->bike_skin_spec = 0;
  r->wheels_skin = r->wheels_skin_norm = r->wheels_skin_spec = 0;
  r->helmet_skin = r->helmet_skin_norm = r->helmet_skin_spec = 0;
  r->gear_skin = r->gear_skin_norm = r->gear_skin_spec = 0;
  r->bike_skin = texture_load(bike_skin);
  r->wheels_skin = texture_load(wheels_skin);
  r->gear_skin = texture_load(gear_skin);
  r->helmet_skin = texture_load(helmet_skin);

  load_bike_models(r, row, bike_skin);
  load_wheel_models(r, row, wheels_skin);
  load_gear_models(r, row, gear_skin);
  load_head_model(r, row, helmet_skin);

  if (!r->bike_skin || !r->frame_model) {
    bike_skin = part(row, BIKE_PART_BIKE_SKIN);
    r->bike_skin = texture_load(bike_skin);
    load_bike_models(r, row, bike_skin);
  }
  if (!r->wheels_skin || !r->front_wheel_model || !r->rear_wheel_model) {
    wheels_skin = part(row, BIKE_PART_WHEELS_SKIN);
    r->wheels_skin = texture_load(wheels_skin);
    load_wheel_models(r, row, wheels_skin);
  }
  if (!r->gear_skin || !r->body_model) {
    gear_skin = part(row, BIKE_PART_GEAR_SKIN);
    r->gear_skin = texture_load(gear_skin);
    load_gear_models(r, row, gear_skin);
  }
  if (!r->helmet_skin || !r->head_model) {
    helmet_skin = part(row, BIKE_PART_HELMET_SKIN);
    r->helmet_skin = texture_load(helmet_skin);
    load_head_model(r, row, helmet_skin);
  }
  in_force[0] = gear_skin;
  in_force[1] = helmet_skin;
  in_force[2] = bike_skin;
  in_force[3] = wheels_skin;
}

void make_plate(rider* r, const char* number) {
  snprintf(r->number, sizeof r->number, "%s", number ? number : "");
  uint8_t background[3] = {255, 255, 255};
  uint8_t foreground[3] = {0, 0, 0};
  const char* info = r->bike_skin ? texture_info_text(r->bike_skin) : nullptr;
  rider_read_plate_colour(info, "[numberbackground:", background);
  rider_read_plate_colour(info, "[numberforeground:", foreground);
  r->plate_texture = texture_make_tinted(r->number, 128, 128, foreground, background);
}

int allocate_lists(rider* r) {
  return growable_array_init(&r->timing_ticks, sizeof(int32_t), 16) &&
         growable_array_init(&r->pass_sample_lists[0], sizeof(line_sample), 16) &&
         growable_array_init(&r->pass_sample_lists[1], sizeof(line_sample), 16) &&
         growable_array_init(&r->followed_line, sizeof(line_sample), 16);
}

void free_list(growable_array* list) {
  growable_array_free(list);
  list->data = nullptr;
  list->capacity = 0;
  list->count = 0;
}

}  // namespace

// Colour after key in the info text, read as "%f,%f,%f"; only a complete
// triple replaces the colour.
void rider_read_plate_colour(const char* info, const char* key, uint8_t colour[3]) {
  const char* at = info ? strstr(info, key) : nullptr;
  if (!at) return;
  float c[3];
  if (sscanf(at + strlen(key), "%f,%f,%f", &c[0], &c[1], &c[2]) != 3) return;
  for (int i = 0; i < 3; i++) {
    float v = c[i];
    if (!(v >= 0)) v = 0;
    if (v > 1) v = 1;
    colour[i] = (uint8_t)(v * 255);
  }
}

void rider_table_init() { memset(rider_table, 0, sizeof rider_table); }

const bike_model* rider_model(const rider* r) {
  if (!r || r->model_index < 0 || r->model_index >= BIKE_MODEL_COUNT) return nullptr;
  return &bike_models[r->model_index];
}

rider* rider_create(const char* bike_name, unsigned slot, int simulated, const char* number,
                    const char* gear_skin, const char* helmet_skin, const char* bike_skin,
                    const char* wheels_skin) {
  if (slot >= RIDER_SLOT_COUNT) return nullptr;
  rider* r = &rider_table[slot];
  // A record still holding a rider would otherwise leave its bodies in the
  // world and its lists behind.
  if (r->bodies[0]) rider_destroy(r);

  const bike_model* row = bike_model_find(bike_name);
  if (!row) {
    row = fallback_row(bike_name);
    console_printf("bike info for '%.20s' not found using '%.20s' instead",
                   bike_name ? bike_name : "", row->name);
  }
  r->model_index = (int32_t)(row - bike_models);

  r->frame_shape = shape_load_copy(part(row, BIKE_PART_FRAME_SHAPE));
  r->fork_upper_shape = shape_load_copy(part(row, BIKE_PART_FORK_UPPER_SHAPE));
  r->fork_lower_shape = shape_load_copy(part(row, BIKE_PART_FORK_LOWER_SHAPE));
  r->swingarm_shape = shape_load_copy(part(row, BIKE_PART_SWINGARM_SHAPE));
  r->front_wheel_shape = shape_load_copy(part(row, BIKE_PART_FRONT_WHEEL_SHAPE));
  r->rear_wheel_shape = shape_load_copy(part(row, BIKE_PART_REAR_WHEEL_SHAPE));
  r->rider_shape = shape_load_copy(part(row, BIKE_PART_RIDER_SHAPE));

  const char* skins[4];
  load_parts(r, row, gear_skin, helmet_skin, bike_skin, wheels_skin, skins);
  make_plate(r, number);
  texture_find_norm_spec(&r->gear_skin_norm, &r->gear_skin_spec, skins[0], part(row, BIKE_PART_GEAR_SKIN));
  texture_find_norm_spec(&r->helmet_skin_norm, &r->helmet_skin_spec, skins[1],
                         part(row, BIKE_PART_HELMET_SKIN));
  texture_find_norm_spec(&r->bike_skin_norm, &r->bike_skin_spec, skins[2], part(row, BIKE_PART_BIKE_SKIN));
  texture_find_norm_spec(&r->wheels_skin_norm, &r->wheels_skin_spec, skins[3],
                         part(row, BIKE_PART_WHEELS_SKIN));

  if (!rider_build_bodies(r) || !allocate_lists(r)) {
    rider_destroy(r);
    return nullptr;
  }
  rider_set_defaults(r);
  rider_reset(r);
  r->slot = (int32_t)slot;
  r->simulated = simulated ? 1 : 0;
  return r;
}

void rider_destroy(rider* r) {
  if (!r) return;
  for (dJointID& j : r->joints) {
    if (j) dJointDestroy(j);
    j = nullptr;
  }
  for (dBodyID& b : r->bodies) {
    if (b) dBodyDestroy(b);
    b = nullptr;
  }
  r->front_contact.body = nullptr;
  r->rear_contact.body = nullptr;
  free_list(&r->timing_ticks);
  free_list(&r->pass_sample_lists[0]);
  free_list(&r->pass_sample_lists[1]);
  free_list(&r->followed_line);
  if (r->plate_texture) {
    GLuint id = r->plate_texture;
    glDeleteTextures(1, &id);
    // Never below zero: the count is reset per generation, the plate may be
    // older.
    texture_bytes = texture_bytes > plate_texture_bytes ? texture_bytes - plate_texture_bytes : 0;
    r->plate_texture = 0;
  }
  for (shape** s : {&r->frame_shape, &r->fork_upper_shape, &r->fork_lower_shape, &r->swingarm_shape,
                    &r->front_wheel_shape, &r->rear_wheel_shape, &r->rider_shape}) {
    check_free(*s);
    *s = nullptr;
  }
}

int rider_is_down(const rider* r) { return r->down && !r->finished ? 1 : 0; }
int rider_get_assist_bit0(const rider* r) { return r->assist_flags & 1; }
int rider_get_stop_wheelies(const rider* r) { return (r->assist_flags >> 1) & 3; }
int rider_get_front_antilock(const rider* r) { return (r->assist_flags >> 3) & 1; }
int rider_get_rear_antilock(const rider* r) { return (r->assist_flags >> 4) & 1; }
int rider_get_auto_shift(const rider* r) { return (r->assist_flags >> 5) & 1; }
int rider_get_auto_dab(const rider* r) { return (r->assist_flags >> 6) & 1; }
int rider_get_arcade(const rider* r) { return r->arcade; }
float rider_get_direct_steering(const rider* r) { return r->direct_steering; }
float rider_get_slow_damping_speed(const rider* r) { return r->slow_damping_speed; }
float rider_get_slow_damping_factor(const rider* r) { return r->slow_damping_factor; }
float rider_get_leveling(const rider* r) { return r->leveling; }
float rider_get_max_steering_force(const rider* r) { return r->max_steering_force; }
float rider_get_roll_damping(const rider* r) { return r->roll_damping; }
float rider_get_roll_limit_angle(const rider* r) { return r->roll_limit_angle; }
float rider_get_roll_limit_factor(const rider* r) { return r->roll_limit_factor; }
float rider_get_steering_damping(const rider* r) { return r->steering_damping; }
float rider_get_steering_strength(const rider* r) { return r->steering_strength; }
float rider_get_clutch(const rider* r) { return r->clutch; }
float rider_get_throttle(const rider* r) { return r->throttle; }
int rider_get_gear(const rider* r) { return r->gear; }
dBodyID rider_person_body(const rider* r) { return r->bodies[RIDER_PERSON]; }
dBodyID rider_frame_body(const rider* r) { return r->bodies[RIDER_FRAME]; }

float body_pitch_angle(dBodyID body) {
  if (!body) return 0;
  const dReal* m = dBodyGetRotation(body);
  // Forward is the body's -z; across it, horizontally, its right.
  const double hx = -m[2], hz = -m[10];
  const double len = std::sqrt(hx * hx + hz * hz);
  if (len < 1e-9) return 0;
  const double across = (m[1] * -hz + m[9] * hx) / len;
  return (float)(std::acos(std::clamp(across, -1.0, 1.0)) - M_PI / 2);
}

float rider_forward_speed_mph(const rider* r) {
  dBodyID frame = r->bodies[RIDER_FRAME];
  if (!frame) return 0;
  const dReal* v = dBodyGetLinearVel(frame);
  const dReal* m = dBodyGetRotation(frame);
  // Forward is -z in the frame's own coordinates.
  const double along = -(v[0] * m[2] + v[1] * m[6] + v[2] * m[10]);
  return (float)(along * 15 / 22);
}

const char* rider_bike_model_name(const rider* r) {
  const bike_model* row = rider_model(r);
  return row ? row->name : "";
}

const char* rider_bike_class(const rider* r) {
  const bike_model* row = rider_model(r);
  return row ? row->bike_class : "";
}

float rider_bike_rev_limit(const rider* r) {
  const bike_model* row = rider_model(r);
  return row ? row->rpm_thresholds[BIKE_RPM_LIMIT] : 0;
}

const char* rider_number_text(const rider* r) { return r->number; }
const char* rider_gear_skin_name(const rider* r) { return texture_name(r->gear_skin); }
const char* rider_helmet_skin_name(const rider* r) { return texture_name(r->helmet_skin); }
const char* rider_bike_skin_name(const rider* r) { return texture_name(r->bike_skin); }
const char* rider_wheels_skin_name(const rider* r) { return texture_name(r->wheels_skin); }

int32_t rider_timing_tick(const rider* r, int n) {
  if (n < 0 || !r->timing_ticks.data || (size_t)n >= r->timing_ticks.count) return -1;
  return *static_cast<const int32_t*>(growable_array_at(&r->timing_ticks, (size_t)n));
}

int rider_has_finished(rider* r) {
  if (!route.gate_count) return 0;
  if (r->finished) return 1;
  const int first = route.first_lap_gates;
  const int normal = route.normal_lap_gates;
  const int laps = race_clock.finish_lap;
  // In 64 bits: counts from a damaged track or race must not overflow.
  const int64_t f64 = laps == 0 ? 0 : (int64_t)first + (int64_t)normal * (laps - 1) - 1;
  if (f64 < INT32_MIN || f64 > INT32_MAX) return 0;
  const int f = (int)f64;
  // No leader in the slots: nobody has finished yet.
  if (running_order.count <= 0) return 0;
  const running_order_entry* leader = &running_order.entries[0];
  const int leader_slot = leader->slot;
  if (leader_slot < 0 || leader_slot >= RIDER_SLOT_COUNT || !rider_slots[leader_slot]) return 0;
  if (leader->crossings <= f) return 0;
  const int32_t leader_tick = rider_timing_tick(rider_slots[leader_slot], f);
  if (leader_tick == -1) return 0;
  int last = 0;
  if (normal != 0 && r->timing_count >= first)
    last = (int)std::min<int64_t>(INT32_MAX, (int64_t)first + (int64_t)normal * ((r->timing_count - first) / normal) - 1);
  const int32_t tick = rider_timing_tick(r, last);
  if (tick < leader_tick) return 0;
  r->finished = 1;
  return 1;
}
