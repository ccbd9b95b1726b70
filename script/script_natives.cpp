// The 50 natives of `bk`. A bad index (NaN, an infinity, out of range once
// truncated) gives the native's empty value; a value that is not finite
// refuses the call; coordinates are held to +-script_coordinate_limit.
#include "script/script_natives.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "assets/texture.h"
#include "assets/texture_anim.h"
#include "bike/rider.h"
#include "bike/wheel_contacts.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "core/race_clock.h"
#include "core/running_order.h"
#include "race/listener.h"
#include "race/race_state.h"
#include "race/sound_scene.h"
#include "script/script_host.h"
#include "terrain/height_field.h"
#include "terrain/track.h"
#include "terrain/track_objects.h"

#include <ode/ode.h>

static void listener_camera(float position[3], float orientation[9]) {
  std::memcpy(position, listener.position, sizeof listener.position);
  std::memcpy(orientation, listener.orientation, sizeof listener.orientation);
}

script_services_table script_services = {
    script_sound_load,     script_sound_start,       script_sound_stop,        script_sound_set_loop,
    script_sound_set_freq, script_sound_set_volume,  script_sound_set_position, script_sound_set_velocity,
    listener_camera,
};

namespace {
constexpr double seconds_per_tic = 1.0 / 128.0;
constexpr int slot_count = 160;
constexpr int max_bones = 32;

// An index argument in 0..limit-1.
bool get_index(duk_context* c, duk_idx_t i, double limit, int* out) {
  const double v = std::trunc(duk_get_number_default(c, i, 0.0));
  if (!std::isfinite(v) || v < 0 || v >= limit) return false;
  *out = (int)v;
  return true;
}

bool get_value(duk_context* c, duk_idx_t i, double* out) {
  *out = duk_get_number_default(c, i, 0.0);
  return std::isfinite(*out);
}

bool get_coordinate(duk_context* c, duk_idx_t i, double* out) {
  if (!get_value(c, i, out)) return false;
  *out = std::clamp(*out, -script_coordinate_limit, script_coordinate_limit);
  return true;
}

bool all_finite(const double* v, int n) {
  for (int i = 0; i < n; i++)
    if (!std::isfinite(v[i])) return false;
  return true;
}

rider* get_rider(duk_context* c, duk_idx_t i) {
  int slot;
  if (!get_index(c, i, slot_count, &slot)) return nullptr;
  return rider_slots[slot];
}

statue* get_statue(duk_context* c, duk_idx_t i) {
  if (!statues.data) return nullptr;
  int k;
  if (!get_index(c, i, (double)statues.count - first_file_statue, &k)) return nullptr;
  return statue_at(first_file_statue + k);
}

billboard* get_billboard(duk_context* c, duk_idx_t i) {
  if (!billboards.data) return nullptr;
  int k;
  if (!get_index(c, i, (double)billboards.count - first_file_billboard, &k)) return nullptr;
  return billboard_at(first_file_billboard + k);
}

int running_entry(duk_context* c, const running_order_entry** out) {
  int i;
  const int count = std::clamp<int>(running_order.count, 0, running_order_max);
  if (!get_index(c, 0, count, &i)) return 0;
  *out = &running_order.entries[i];
  return 1;
}

duk_ret_t push_number(duk_context* c, double v) {
  duk_push_number(c, v);
  return 1;
}

duk_ret_t push_string(duk_context* c, const char* s) {
  duk_push_string(c, s ? s : "");
  return 1;
}

// 1 message ---------------------------------------------------------------
duk_ret_t native_message(duk_context* c) {
  console_print(duk_get_string_default(c, 0, ""));
  return 0;
}

// 2..5 textures --------------------------------------------------------------
duk_ret_t native_read_texture(duk_context* c) {
  return push_number(c, texture_load(duk_get_string_default(c, 0, "")));
}

bool get_texture_id(duk_context* c, duk_idx_t i, unsigned* out) {
  const double v = std::trunc(duk_get_number_default(c, i, 0.0));
  if (!std::isfinite(v) || v < 0 || v > 4294967295.0) return false;
  *out = (unsigned)v;
  return true;
}

duk_ret_t native_begin_custom_frame(duk_context* c) {
  unsigned id;
  return push_number(c, get_texture_id(c, 0, &id) ? texture_custom_frame_begin(id) : 0);
}

duk_ret_t native_end_custom_frame(duk_context* c) {
  unsigned id;
  return push_number(c, get_texture_id(c, 0, &id) ? texture_custom_frame_end(id) : 0);
}

duk_ret_t native_paste_custom_frame(duk_context* c) {
  unsigned id;
  int frame;
  double v[6];
  if (!get_texture_id(c, 0, &id) || !get_index(c, 1, 2147483647.0, &frame)) return push_number(c, 0);
  for (int i = 0; i < 6; i++)
    if (!get_value(c, 2 + i, &v[i])) return push_number(c, 0);
  return push_number(c, texture_custom_frame_paste(id, frame, v[0], v[1], v[2], v[3], v[4], v[5]));
}

// 6..16 slots, running order, timing ------------------------------------------
duk_ret_t native_get_max_slots(duk_context* c) { return push_number(c, slot_count); }

duk_ret_t native_get_running_count(duk_context* c) {
  return push_number(c, std::clamp<int>(running_order.count, 0, running_order_max));
}

duk_ret_t native_get_running_order_slot(duk_context* c) {
  const running_order_entry* e;
  return push_number(c, running_entry(c, &e) ? e->slot : 0);
}

duk_ret_t native_get_running_order_position(duk_context* c) {
  const running_order_entry* e;
  return push_number(c, running_entry(c, &e) ? e->crossings : 0);
}

duk_ret_t native_get_running_order_time(duk_context* c) {
  const running_order_entry* e;
  return push_number(c, running_entry(c, &e) ? e->last_tick : 0);
}

duk_ret_t native_get_rider_down(duk_context* c) {
  const rider* r = get_rider(c, 0);
  return push_number(c, r ? rider_is_down(r) : 0);
}

duk_ret_t native_get_seconds_per_tic(duk_context* c) { return push_number(c, seconds_per_tic); }
duk_ret_t native_get_first_lap_length(duk_context* c) { return push_number(c, route.first_lap_gates); }
duk_ret_t native_get_normal_lap_length(duk_context* c) { return push_number(c, route.normal_lap_gates); }

duk_ret_t native_get_timing_position(duk_context* c) {
  const rider* r = get_rider(c, 0);
  return push_number(c, r ? r->timing_count : -1);
}

duk_ret_t native_get_timing(duk_context* c) {
  const rider* r = get_rider(c, 0);
  if (!r) return push_number(c, -1);
  int n;
  // A crossing outside the rider's list is one not made.
  const int32_t tick = get_index(c, 1, 2147483647.0, &n) ? rider_timing_tick(r, n) : -1;
  return push_number(c, tick * seconds_per_tic);
}

// 17..19 names ---------------------------------------------------------------
duk_ret_t native_get_rider_number(duk_context* c) {
  const rider* r = get_rider(c, 0);
  return push_string(c, r ? rider_number_text(r) : "");
}

duk_ret_t native_get_rider_name(duk_context* c) {
  int slot;
  if (!get_index(c, 0, slot_count, &slot)) return push_string(c, "");
  duk_push_lstring(c, rider_names[slot], strnlen(rider_names[slot], rider_name_bytes));
  return 1;
}

duk_ret_t native_get_bike_model(duk_context* c) {
  const rider* r = get_rider(c, 0);
  return push_string(c, r ? rider_bike_model_name(r) : "");
}

// 20..21 ground ----------------------------------------------------------------
duk_ret_t native_get_elevation(duk_context* c) {
  const double x = duk_get_number_default(c, 0, 0.0), z = duk_get_number_default(c, 1, 0.0);
  if (!std::isfinite(x) || !std::isfinite(z)) return push_number(c, 0);
  return push_number(c, script_terrain_height((float)x, (float)z));
}

duk_ret_t native_get_tile_number(duk_context* c) {
  const double x = duk_get_number_default(c, 0, 0.0), z = duk_get_number_default(c, 1, 0.0);
  if (!track_field.tilemap || track_field.spacing <= 0 || !std::isfinite(x) || !std::isfinite(z))
    return push_number(c, 0);
  const int width = 1 << track_field.n;
  const double s = 0.5 / track_field.spacing;
  const int i = (int)std::clamp(std::trunc(x * s), 0.0, (double)(width - 1));
  const int j = (int)std::clamp(std::trunc(z * s), 0.0, (double)(width - 1));
  return push_number(c, track_field.tilemap[i + width * j]);
}

// 22..23 rider position and velocity -----------------------------------------------
duk_ret_t rider_vector(duk_context* c, const dReal* (*read)(dBodyID)) {
  if (!duk_is_object(c, 1)) return push_number(c, 0);
  const rider* r = get_rider(c, 0);
  float v[3] = {0, 0, 0};
  if (r) {
    const dReal* p = read(rider_frame_body(r));
    for (int i = 0; i < 3; i++) v[i] = (float)p[i];
  }
  script_put_floats(c, 1, v, 3);
  return push_number(c, r ? 1 : 0);
}

duk_ret_t native_get_position_(duk_context* c) { return rider_vector(c, dBodyGetPosition); }
duk_ret_t native_get_velocity_(duk_context* c) { return rider_vector(c, dBodyGetLinearVel); }

// 24..26 race clock ---------------------------------------------------------------
duk_ret_t native_get_finish_laps(duk_context* c) { return push_number(c, race_clock.race_laps); }
duk_ret_t native_get_finish_time(duk_context* c) {
  return push_number(c, race_clock.race_length_ticks * seconds_per_tic);
}
duk_ret_t native_get_gate_drop_time(duk_context* c) {
  if (race_clock.current_tick < race_clock.gate_drop_tick) return push_number(c, -1);
  return push_number(c, race_clock.gate_drop_tick * seconds_per_tic);
}

// 27..29 statues -----------------------------------------------------------------
duk_ret_t native_pose_statue(duk_context* c) {
  statue* s = get_statue(c, 0);
  int bones;
  if (!s || !get_index(c, 1, max_bones + 1, &bones) || bones < 1) return push_number(c, 0);
  if (s->bone_count && s->bone_count != bones) return push_number(c, 0);
  if (!duk_is_object(c, 2) || !duk_is_object(c, 3) || !duk_is_object(c, 4)) return push_number(c, 0);
  double a[3 * max_bones], b[3 * max_bones], m[9 * max_bones];
  script_get_doubles(c, 2, a, 3 * bones);
  script_get_doubles(c, 3, b, 3 * bones);
  script_get_doubles(c, 4, m, 9 * bones);
  if (!all_finite(a, 3 * bones) || !all_finite(b, 3 * bones) || !all_finite(m, 9 * bones))
    return push_number(c, 0);
  if (!s->bone_count) {
    float* centres = static_cast<float*>(check_malloc(sizeof(float) * 3 * bones));
    float* translations = static_cast<float*>(check_malloc(sizeof(float) * 3 * bones));
    float* rotations = static_cast<float*>(check_malloc(sizeof(float) * 9 * bones));
    if (!centres || !translations || !rotations) {
      check_free(centres), check_free(translations), check_free(rotations);
      return push_number(c, 0);
    }
    s->bone_centres = centres, s->bone_translations = translations, s->bone_rotations = rotations;
    s->bone_count = bones;
  }
  for (int i = 0; i < 3 * bones; i++) s->bone_centres[i] = (float)a[i], s->bone_translations[i] = (float)b[i];
  for (int i = 0; i < 9 * bones; i++) s->bone_rotations[i] = (float)m[i];
  return push_number(c, 1);
}

duk_ret_t native_move_statue(duk_context* c) {
  statue* s = get_statue(c, 0);
  double x, offset, z, heading;
  if (!s || s->shape || !get_coordinate(c, 1, &x) || !get_coordinate(c, 2, &offset) ||
      !get_coordinate(c, 3, &z) || !get_value(c, 4, &heading))
    return push_number(c, 0);
  // The script moves the statue for the race; the track keeps it where it was made.
  script_set_value(&s->script, script_slot_statue_x, &s->x, (float)x);
  script_set_value(&s->script, script_slot_statue_height_offset, &s->height_offset, (float)offset);
  script_set_value(&s->script, script_slot_statue_z, &s->z, (float)z);
  script_set_value(&s->script, script_slot_statue_angle, &s->angle, (float)heading);
  place_object_on_ground(s);
  track_field.change_flags |= terrain_statics_moved;
  return push_number(c, 1);
}

duk_ret_t native_move_statue_absolute(duk_context* c) {
  statue* s = get_statue(c, 0);
  double x, y, z, m[9];
  if (!s || s->shape || !get_coordinate(c, 1, &x) || !get_coordinate(c, 2, &y) || !get_coordinate(c, 3, &z) ||
      !duk_is_object(c, 4))
    return push_number(c, 0);
  script_get_doubles(c, 4, m, 9);
  if (!all_finite(m, 9)) return push_number(c, 0);
  script_set_value(&s->script, script_slot_statue_x, &s->x, (float)x);
  script_set_value(&s->script, script_slot_statue_z, &s->z, (float)z);
  s->y = (float)y;
  for (int row = 0; row < 3; row++)
    for (int col = 0; col < 3; col++) s->basis[3 * row + col] = (float)m[3 * col + row];
  track_field.change_flags |= terrain_statics_moved;
  return push_number(c, 1);
}

// 30..33 billboards ----------------------------------------------------------------
duk_ret_t native_move_billboard(duk_context* c) {
  billboard* b = get_billboard(c, 0);
  double x, offset, z;
  if (!b || !get_coordinate(c, 1, &x) || !get_coordinate(c, 2, &offset) || !get_coordinate(c, 3, &z))
    return push_number(c, 0);
  script_set_value(&b->script, script_slot_billboard_x, &b->x, (float)x);
  script_set_value(&b->script, script_slot_billboard_z, &b->z, (float)z);
  b->y = script_terrain_height((float)x, (float)z) + (float)offset;
  return push_number(c, 1);
}

duk_ret_t native_move_billboard_absolute(duk_context* c) {
  billboard* b = get_billboard(c, 0);
  double x, y, z;
  if (!b || !get_coordinate(c, 1, &x) || !get_coordinate(c, 2, &y) || !get_coordinate(c, 3, &z))
    return push_number(c, 0);
  script_set_value(&b->script, script_slot_billboard_x, &b->x, (float)x);
  script_set_value(&b->script, script_slot_billboard_z, &b->z, (float)z);
  b->y = (float)y;
  return push_number(c, 1);
}

duk_ret_t native_size_billboard(duk_context* c) {
  billboard* b = get_billboard(c, 0);
  double size;
  if (!b || !get_coordinate(c, 1, &size)) return push_number(c, 0);
  script_set_value(&b->script, script_slot_billboard_size, &b->size, (float)size);
  return push_number(c, 1);
}

duk_ret_t native_color_billboard(duk_context* c) {
  billboard* b = get_billboard(c, 0);
  double v[4];
  if (!b) return push_number(c, 0);
  for (int i = 0; i < 4; i++)
    if (!get_value(c, 1 + i, &v[i])) return push_number(c, 0);
  uint8_t colour[4];
  for (int i = 0; i < 4; i++) colour[i] = (uint8_t)(std::clamp(v[i], 0.0, 1.0) * 255.0 + 0.5);
  script_set_colour(&b->script, b->colour, colour);
  return push_number(c, 1);
}

// 34..41 script sounds -----------------------------------------------------------------
duk_ret_t native_add_sound(duk_context* c) {
  const char* name = duk_get_string_default(c, 0, "");
  return push_number(c, script_services.sound_load ? script_services.sound_load(name) : -1);
}

duk_ret_t sound_call(duk_context* c, int (*call)(int)) {
  int index;
  if (!call || !get_index(c, 0, script_sound_limit, &index)) return push_number(c, 0);
  return push_number(c, call(index));
}

duk_ret_t native_start_sound(duk_context* c) { return sound_call(c, script_services.sound_start); }
duk_ret_t native_stop_sound(duk_context* c) { return sound_call(c, script_services.sound_stop); }

duk_ret_t native_set_sound_loop(duk_context* c) {
  int index;
  double flag;
  if (!script_services.sound_set_loop || !get_index(c, 0, script_sound_limit, &index) || !get_value(c, 1, &flag))
    return push_number(c, 0);
  return push_number(c, script_services.sound_set_loop(index, flag != 0));
}

duk_ret_t sound_value(duk_context* c, int (*call)(int, float)) {
  int index;
  double v;
  if (!call || !get_index(c, 0, script_sound_limit, &index) || !get_value(c, 1, &v)) return push_number(c, 0);
  return push_number(c, call(index, (float)v));
}

duk_ret_t native_set_sound_freq(duk_context* c) { return sound_value(c, script_services.sound_set_freq); }
duk_ret_t native_set_sound_vol(duk_context* c) { return sound_value(c, script_services.sound_set_volume); }

duk_ret_t sound_vector(duk_context* c, int (*call)(int, const float*)) {
  int index;
  double v[3];
  if (!call || !get_index(c, 0, script_sound_limit, &index)) return push_number(c, 0);
  for (int i = 0; i < 3; i++)
    if (!get_coordinate(c, 1 + i, &v[i])) return push_number(c, 0);
  const float xyz[3] = {(float)v[0], (float)v[1], (float)v[2]};
  return push_number(c, call(index, xyz));
}

duk_ret_t native_set_sound_pos(duk_context* c) { return sound_vector(c, script_services.sound_set_position); }
duk_ret_t native_set_sound_vel(duk_context* c) { return sound_vector(c, script_services.sound_set_velocity); }

// 42 camera -------------------------------------------------------------------------
duk_ret_t native_get_camera_location(duk_context* c) {
  if (!duk_is_object(c, 0) || !duk_is_object(c, 1)) return push_number(c, 0);
  float position[3] = {0, 0, 0};
  float stored[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  if (script_services.camera_location) script_services.camera_location(position, stored);
  float m[9];
  for (int row = 0; row < 3; row++)
    for (int col = 0; col < 3; col++) m[3 * row + col] = stored[3 * col + row];
  script_put_floats(c, 0, position, 3);
  script_put_floats(c, 1, m, 9);
  return push_number(c, 1);
}

// 43..50 wheel contacts ---------------------------------------------------------------
duk_ret_t contact_depth(duk_context* c, float (*query)(rider*)) {
  rider* r = get_rider(c, 0);
  return push_number(c, r ? query(r) : 0);
}

duk_ret_t contact_vector(duk_context* c, int (*query)(rider*, float*)) {
  if (!duk_is_object(c, 1)) return push_number(c, 0);
  rider* r = get_rider(c, 0);
  float v[3] = {0, 0, 0};
  const int result = r ? query(r, v) : 0;
  script_put_floats(c, 1, v, 3);
  return push_number(c, result);
}

duk_ret_t native_get_front_contact_depth(duk_context* c) { return contact_depth(c, rider_front_contact_depth); }
duk_ret_t native_get_front_contact_position(duk_context* c) {
  return contact_vector(c, rider_front_contact_position);
}
duk_ret_t native_get_front_contact_slip(duk_context* c) { return contact_vector(c, rider_front_contact_slip); }
duk_ret_t native_get_front_contact_velocity(duk_context* c) {
  return contact_vector(c, rider_front_contact_velocity);
}
duk_ret_t native_get_rear_contact_depth(duk_context* c) { return contact_depth(c, rider_rear_contact_depth); }
duk_ret_t native_get_rear_contact_position(duk_context* c) { return contact_vector(c, rider_rear_contact_position); }
duk_ret_t native_get_rear_contact_slip(duk_context* c) { return contact_vector(c, rider_rear_contact_slip); }
duk_ret_t native_get_rear_contact_velocity(duk_context* c) { return contact_vector(c, rider_rear_contact_velocity); }
}  // namespace

#define BK_NATIVES(X)                   \
  X(message, 1)                         \
  X(read_texture, 1)                    \
  X(begin_custom_frame, 1)              \
  X(end_custom_frame, 1)                \
  X(paste_custom_frame, 8)              \
  X(get_max_slots, 0)                   \
  X(get_running_count, 0)               \
  X(get_running_order_slot, 1)          \
  X(get_running_order_position, 1)      \
  X(get_running_order_time, 1)          \
  X(get_rider_down, 1)                  \
  X(get_seconds_per_tic, 0)             \
  X(get_first_lap_length, 0)            \
  X(get_normal_lap_length, 0)           \
  X(get_timing_position, 1)             \
  X(get_timing, 2)                      \
  X(get_rider_number, 1)                \
  X(get_rider_name, 1)                  \
  X(get_bike_model, 1)                  \
  X(get_elevation, 2)                   \
  X(get_tile_number, 2)                 \
  X(get_position_, 2)                   \
  X(get_velocity_, 2)                   \
  X(get_finish_laps, 0)                 \
  X(get_finish_time, 0)                 \
  X(get_gate_drop_time, 0)              \
  X(pose_statue, 5)                     \
  X(move_statue, 5)                     \
  X(move_statue_absolute, 5)            \
  X(move_billboard, 4)                  \
  X(move_billboard_absolute, 4)         \
  X(size_billboard, 2)                  \
  X(color_billboard, 5)                 \
  X(add_sound, 1)                       \
  X(start_sound, 1)                     \
  X(stop_sound, 1)                      \
  X(set_sound_loop, 2)                  \
  X(set_sound_freq, 2)                  \
  X(set_sound_vol, 2)                   \
  X(set_sound_pos, 4)                   \
  X(set_sound_vel, 4)                   \
  X(get_camera_location, 2)             \
  X(get_front_contact_depth, 1)         \
  X(get_front_contact_position, 2)      \
  X(get_front_contact_slip, 2)          \
  X(get_front_contact_velocity, 2)      \
  X(get_rear_contact_depth, 1)          \
  X(get_rear_contact_position, 2)       \
  X(get_rear_contact_slip, 2)           \
  X(get_rear_contact_velocity, 2)

#define BK_NAME(name, n) #name,
#define BK_FUNCTION(name, n) native_##name,
#define BK_COUNT(name, n) n,
const char* const script_native_names[script_native_count + 1] = {BK_NATIVES(BK_NAME) nullptr};
const duk_c_function script_native_functions[script_native_count] = {BK_NATIVES(BK_FUNCTION)};
const int script_native_arg_counts[script_native_count] = {BK_NATIVES(BK_COUNT)};
