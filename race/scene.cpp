#include "race/scene.h"
#include "race/race_hooks.h"

#include <GL/gl.h>

#include <cmath>
#include <cstring>
#include <initializer_list>

#include "assets/font.h"
#include "assets/gl_ext.h"
#include "assets/model_draw.h"
#include "assets/model_settings.h"
#include "assets/shader.h"
#include "assets/texture_anim.h"
#include "assets/view_extent.h"
#include "bike/rider.h"
#include "bike/rider_draw.h"
#include "bike/rider_timing.h"
#include "bike/state_history.h"
#include "bike/wheel_contacts.h"
#include "core/race_clock.h"
#include "core/running_order.h"
#include "race/frame_loop.h"
#include "race/game_state.h"
#include "race/gate_timing.h"
#include "race/listener.h"
#include "race/projection.h"
#include "race/race_settings.h"
#include "race/race_state.h"
#include "race/results.h"
#include "race/scene_math.h"
#include "terrain/ground_texture.h"
#include "terrain/height_field.h"
#include "terrain/line_library.h"
#include "terrain/roost.h"
#include "terrain/terrain_mesh.h"
#include "terrain/track.h"
#include "terrain/track_lighting.h"
#include "terrain/track_objects.h"

scene_counters scene_stats;
float rider_fade[160];
double scene_model_detail = 50;
listener_record listener;

namespace {

// The scene's lists: billboard draw list (with its -1 end), keys per
// billboard, sort scratch, the billboards as the pass sees them; labels and
// their sorted index list.
growable_array draw_list, draw_keys, draw_scratch, draw_views;
growable_array labels, label_order, label_keys;

struct debug_label {
  float position[3];
  uint32_t key;
  char text[debug_label_text_max + 2];
};
static_assert(sizeof(debug_label) == 1040, "a label is one 1040-byte entry");

// Makes room for n elements (their contents undefined); 0 when it cannot.
int ensure_count(growable_array* a, size_t n) {
  if (!a->data) return 0;
  while (a->count < n)
    if (!growable_array_append(a, nullptr)) return 0;
  a->count = n;
  return 1;
}

// Texture `texture` on unit `unit` (enabled, or disabled for 0), unit 0
// active afterwards.
void unit_bind(int unit, unsigned texture) {
  gl_entry.glActiveTextureARB(GL_TEXTURE0_ARB + unit);
  if (texture)
    glEnable(GL_TEXTURE_2D);
  else
    glDisable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, texture);
  gl_entry.glActiveTextureARB(GL_TEXTURE0_ARB);
}

float dot3(const float a[3], const float b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void back_axis(const float m[9], float b[3]) {
  b[0] = m[2];
  b[1] = m[5];
  b[2] = m[8];
}

// The orientation's transpose as the modelview rotation: GL reads the
// rows of m as its columns.
void load_view_rotation(const float m[9]) {
  const float a[16] = {m[0], m[1], m[2], 0, m[3], m[4], m[5], 0, m[6], m[7], m[8], 0, 0, 0, 0, 1};
  glLoadMatrixf(a);
}

unsigned bound_texture;
void bind_counted(unsigned texture) {
  if (texture == bound_texture) return;
  glBindTexture(GL_TEXTURE_2D, texture);
  bound_texture = texture;
  scene_stats.texture_binds++;
}

// Five faces of a box round the camera (at the origin of the rotated
// view), half-size h: north (-z), east (+x), south (+z), west (-x), up.
// Each face's corners from its picture's top left, anticlockwise.
void draw_sky() {
  float near_plane, far_plane;
  scene_clip_planes(&near_plane, &far_plane);
  // Inside the frustum: beyond the near plane, corners short of the far one.
  float h = 0.5f * (near_plane + far_plane / 1.7320508f);
  if (h > 100) h = 100;
  static const float corners[sky_texture_count][4][3] = {
      {{-1, 1, -1}, {-1, -1, -1}, {1, -1, -1}, {1, 1, -1}},  // north
      {{1, 1, -1}, {1, -1, -1}, {1, -1, 1}, {1, 1, 1}},      // east
      {{1, 1, 1}, {1, -1, 1}, {-1, -1, 1}, {-1, 1, 1}},      // south
      {{-1, 1, 1}, {-1, -1, 1}, {-1, -1, -1}, {-1, 1, -1}},  // west
      {{-1, 1, 1}, {-1, 1, -1}, {1, 1, -1}, {1, 1, 1}},      // up
  };
  const float lo = 1.0f / 128, hi = 127.0f / 128;
  const float st[4][2] = {{lo, lo}, {lo, hi}, {hi, hi}, {hi, lo}};
  glDepthMask(GL_FALSE);
  glDisable(GL_BLEND);
  glEnable(GL_TEXTURE_2D);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
  for (int f = 0; f < sky_texture_count; f++) {
    bind_counted(lighting.sky_textures[f]);
    glBegin(GL_QUADS);
    for (int k = 0; k < 4; k++) {
      glTexCoord2f(st[k][0], st[k][1]);
      glVertex3f(corners[f][k][0] * h, corners[f][k][1] * h, corners[f][k][2] * h);
    }
    glEnd();
  }
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glDepthMask(GL_TRUE);
}

void clear_to_background() {
  if (lighting.fog_on)
    glClearColor(lighting.fog_colour[0], lighting.fog_colour[1], lighting.fog_colour[2], 1);
  else
    glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void set_light() {
  const float sun[4] = {lighting.sun_vector[0], lighting.sun_vector[1], lighting.sun_vector[2], 0};
  const float ambient[4] = {lighting.ambient[0], lighting.ambient[1], lighting.ambient[2], 1};
  const float colour[4] = {lighting.sun_color[0], lighting.sun_color[1], lighting.sun_color[2], 1};
  const float global[4] = {lighting.global_ambient[0], lighting.global_ambient[1], lighting.global_ambient[2], 1};
  glLightfv(GL_LIGHT0, GL_POSITION, sun);
  glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, colour);
  glLightfv(GL_LIGHT0, GL_SPECULAR, colour);
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, global);
  glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, GL_TRUE);
  glEnable(GL_LIGHT0);
}

void set_fog() {
  if (!lighting.fog_on) return;
  const float colour[4] = {lighting.fog_colour[0], lighting.fog_colour[1], lighting.fog_colour[2], 1};
  glFogi(GL_FOG_MODE, GL_EXP);
  glFogf(GL_FOG_DENSITY, lighting.fog_density);
  glFogfv(GL_FOG_COLOR, colour);
  glEnable(GL_FOG);
}

float frame_distance(const rider* a, const rider* b) {
  const dReal* p = dBodyGetPosition(rider_frame_body(a));
  const dReal* q = dBodyGetPosition(rider_frame_body(b));
  const double d[3] = {p[0] - q[0], p[1] - q[1], p[2] - q[2]};
  return (float)std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
}

void draw_riders(int head_slot, const float eye[3]) {
  const rider* local = nullptr;
  for (int s = 0; s < 160 && !local; s++)
    if (rider_slots[s] && rider_slot_kind[s] == RIDER_LOCAL) local = rider_slots[s];
  const int offline = !game_state.connect_target;
  for (int s = 0; s < 160; s++) {
    rider_fade[s] = 0;
    const rider* r = rider_slots[s];
    if (!r || !rider_frame_body(r)) continue;
    float fade = 1;
    if (offline && local && rider_slot_kind[s] == RIDER_REMOTE && r != local)
      fade = ghost_fade(frame_distance(local, r), ghost_fade_distance);
    else if (rider_hidden(s))
      continue;
    rider_fade[s] = fade;
    if (fade < 1) continue;
    const int mode = s != head_slot ? DRAW_BIKE_OUTSIDE : hide_rider ? DRAW_BIKE_RIDING : DRAW_BIKE_FIRST_PERSON;
    draw_bike_in_run(r, mode, eye);
  }
  draw_bike_run_end();
}

void draw_ghosts(int head_slot, const float eye[3]) {
  for (int s = 0; s < 160; s++) {
    const rider* r = rider_slots[s];
    if (!r || !rider_frame_body(r) || !(rider_fade[s] < 1) || !(rider_fade[s] > 0)) continue;
    material_alpha = rider_fade[s];
    draw_bike_in_run(r, s == head_slot ? (hide_rider ? DRAW_BIKE_RIDING : DRAW_BIKE_FIRST_PERSON) : DRAW_BIKE_OUTSIDE,
                     eye);
    material_alpha = 1;
  }
  draw_bike_run_end();
}

void draw_billboards(const float camera[3], const float orientation[9]) {
  const size_t count = billboards.count;
  if (!billboards.data || !count) return;
  if (!ensure_count(&draw_views, count) || !ensure_count(&draw_keys, count) || !ensure_count(&draw_list, count + 1) ||
      !ensure_count(&draw_scratch, count))
    return;
  billboard_view* views = static_cast<billboard_view*>(draw_views.data);
  for (size_t i = 0; i < count; i++) {
    const billboard* b = billboard_at((int32_t)i);
    views[i] = {b->x, b->y, b->z, b->aspect * b->size, b->size, b->texture, b->colour[3]};
  }
  float back[3];
  back_axis(orientation, back);
  int32_t* list = static_cast<int32_t*>(draw_list.data);
  const size_t n = billboard_cull(views, count, roost_pool_size, back, camera, list,
                                  static_cast<uint32_t*>(draw_keys.data));
  radix_sort_by_key(list, n, static_cast<uint32_t*>(draw_keys.data), static_cast<int32_t*>(draw_scratch.data));
  billboard_regroup(list, n, views, billboard_optimize_lookahead, back, camera);
  list[n] = -1;
  if (!n) return;

  float r[3] = {back[2], 0, -back[0]};
  const float length = std::sqrt(r[0] * r[0] + r[2] * r[2]);
  r[0] /= length;
  r[2] /= length;
  glDisable(GL_CULL_FACE);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_TEXTURE_2D);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glDepthMask(GL_FALSE);
  for (size_t k = 0; list[k] >= 0; k++) {
    const billboard* b = billboard_at(list[k]);
    bind_counted(b->texture);
    const float half = views[list[k]].width / 2, dx = r[0] * half, dz = r[2] * half;
    glColor4ub(b->colour[0], b->colour[1], b->colour[2], b->colour[3]);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 1);
    glVertex3f(b->x - dx, b->y, b->z - dz);
    glTexCoord2f(1, 1);
    glVertex3f(b->x + dx, b->y, b->z + dz);
    glTexCoord2f(1, 0);
    glVertex3f(b->x + dx, b->y + b->size, b->z + dz);
    glTexCoord2f(0, 0);
    glVertex3f(b->x - dx, b->y + b->size, b->z - dz);
    glEnd();
    scene_stats.billboards_drawn++;
  }
  glColor4f(1, 1, 1, 1);
  glDepthMask(GL_TRUE);
  glDisable(GL_BLEND);
  glEnable(GL_CULL_FACE);
}

// The robot riders' learned lines at "--super-debug": white strips fading
// with the squared distance from the camera.
void draw_learned_lines(const float camera[3]) {
  const int32_t segments = route.first_lap_segments + route.normal_lap_segments;
  if (!route.line_library || segments <= 0) return;
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_LIGHTING);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  for (int32_t k = 0; k < segments * line_slots_per_segment; k++) {
    const line_record* line = &route.line_library[k];
    if (!line->samples || line->sample_count < 2) continue;
    glBegin(GL_LINE_STRIP);
    for (int32_t i = 0; i < line->sample_count; i++) {
      const line_sample& p = line->samples[i];
      const float d[3] = {p.x - camera[0], p.y - camera[1], p.z - camera[2]};
      float alpha = 1 - 0.001f * dot3(d, d);
      alpha = alpha < 0.0625f ? 0.0625f : alpha > 1 ? 1 : alpha;
      glColor4f(1, 1, 1, alpha);
      glVertex3f(p.x, p.y, p.z);
    }
    glEnd();
  }
  glColor4f(1, 1, 1, 1);
  glDisable(GL_BLEND);
}

}  // namespace

int scene_arrays_create() {
  return growable_array_init(&draw_list, sizeof(int32_t), 16) && growable_array_init(&draw_keys, sizeof(uint32_t), 16) &&
         growable_array_init(&draw_scratch, sizeof(int32_t), 16) &&
         growable_array_init(&draw_views, sizeof(billboard_view), 16) &&
         growable_array_init(&labels, sizeof(debug_label), 16) && growable_array_init(&label_order, sizeof(int32_t), 16) &&
         growable_array_init(&label_keys, sizeof(uint32_t), 16);
}

void scene_arrays_free() {
  for (growable_array* a : {&draw_list, &draw_keys, &draw_scratch, &draw_views, &labels, &label_order, &label_keys}) {
    growable_array_free(a);
    std::memset(a, 0, sizeof *a);
  }
}

// Statues ------------------------------------------------------------------

void draw_statue_model(statue* s, const float camera[3], int pass) {
  const float d[3] = {s->x - camera[0], s->y - camera[1], s->z - camera[2]};
  const float distance_squared = dot3(d, d);
  if (scene_model_detail <= 10) {
    const double reach = 20 * scene_model_detail * scene_model_detail;
    if (distance_squared > reach * reach) return;
  }
  if (s->facing_value != 0) {
    const float f = s->facing_value - model_lod_offset;
    if (f * f < distance_squared * model_lod_scale * model_lod_scale) facing_basis(s->basis, -d[0], -d[2]);
  }
  const float* b = s->basis;
  const float m[16] = {b[0], b[3], b[6], 0, b[1], b[4], b[7], 0, b[2], b[5], b[8], 0, s->x, s->y, s->z, 1};
  const float position[3] = {s->x, s->y, s->z};
  glPushMatrix();
  glMultMatrixf(m);
  glColor4f(1, 1, 1, 1);
  if (pass == statue_pass_lit)
    model_draw_lit_simple(s->model, camera, position, s->basis);
  else
    model_draw_env_simple(s->model, camera, position, s->basis);
  glPopMatrix();
}

void scene_set_light() { set_light(); }

void draw_statues(const float camera[3]) {
  if (!statues.data || !statues.count) return;
  const int shaders = shaders_active && gl_caps.multitexture && gl_entry.glActiveTextureARB;
  if (shaders_active) shader_use(shader_lit);
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  const float white[4] = {1, 1, 1, material_alpha};
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, white);
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, white);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_TEXTURE_2D);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  unsigned unit1 = 0, unit2 = 0;
  bound_texture = ~0u;
  for (size_t i = 0; i < statues.count; i++) {
    statue* s = statue_at((int32_t)i);
    if (!s->model || !s->texture) continue;
    bind_counted(s->texture);
    if (shaders) {
      if (s->normal_texture != unit1) {
        unit_bind(1, s->normal_texture);
        unit1 = s->normal_texture;
        scene_stats.texture_binds++;
      }
      if (s->specular_texture != unit2) {
        unit_bind(2, s->specular_texture);
        unit2 = s->specular_texture;
        scene_stats.texture_binds++;
      }
      shader_use(s->specular_texture && s->normal_texture ? shader_norm_spec_lit
                 : s->normal_texture                      ? shader_norm_lit
                                                          : shader_lit);
    }
    draw_statue_model(s, camera, statue_pass_lit);
  }
  if (shaders) {
    unit_bind(1, 0);
    unit_bind(2, 0);
  }
  unit1 = unit2 = 0;
  if (shaders_active) shader_use(shader_env);

  // Reflections, added over the lit pass.
  glDisable(GL_LIGHTING);
  glBlendFunc(GL_ONE, GL_ONE);
  for (size_t i = 0; i < statues.count; i++) {
    statue* s = statue_at((int32_t)i);
    if (!s->model || !s->texture || !model_uses_env(s->model)) continue;
    bind_counted(scene_env_texture);
    if (shaders) {
      if (s->normal_texture != unit1) {
        unit_bind(1, s->normal_texture);
        unit1 = s->normal_texture;
      }
      shader_use(s->normal_texture ? shader_norm_env : shader_env);
    }
    draw_statue_model(s, camera, statue_pass_env);
  }
  if (shaders && unit1) unit_bind(1, 0);
  glDisable(GL_BLEND);
  if (shaders_active) shader_use(shader_fixed);
}

// Flaggers -----------------------------------------------------------------

namespace {

int start_shown = -1;   // the start flagger's texture index last shown
int lap_shown = -1;     // the finish-line flag last shown

void show_animation(uint32_t old_texture, uint32_t new_texture) {
  if (old_texture) texture_anim_stop(old_texture);
  if (new_texture) texture_anim_start(new_texture, race_clock.current_tick);
}

void animate_start_flagger() {
  if (flaggers.start_billboard < 0 || flaggers.start_billboard >= (int32_t)billboards.count) return;
  float along;
  int k;
  start_flagger_at(race_clock.current_tick / 128.0, race_clock.five_second_ticks, flaggers.start_walk_time, &along,
                   &k);
  billboard* b = billboard_at(flaggers.start_billboard);
  const float* from = flaggers.start_from;
  const float* to = flaggers.start_to;
  b->x = from[0] + along * (to[0] - from[0]);
  b->z = from[2] + along * (to[2] - from[2]);
  b->height_offset = from[1] + along * (to[1] - from[1]);
  b->y = (track_field.heights ? terrain_height(&track_field, b->x, b->z) : 0.0f) + b->height_offset;
  if (k != start_shown) {
    show_animation(start_shown >= 0 ? flaggers.start_textures[start_shown] : 0, flaggers.start_textures[k]);
    start_shown = k;
  }
  b->texture = flaggers.start_textures[k];
}

void animate_lap_flagger() {
  if (flaggers.lap_billboard < 0 || flaggers.lap_billboard >= (int32_t)billboards.count) return;
  const rider* viewed = slot_rider(viewed_slot);
  const int32_t crossings = viewed ? rider_next_timing_index(viewed) : 0;
  const int f = laps_completed(crossings);
  const int time_up = race_clock.race_length_ticks > 0 &&
                      (long long)race_clock.current_tick >=
                          (long long)race_clock.gate_drop_tick + race_clock.race_length_ticks;
  const int total = lap_total(f, race_clock.finish_lap, race_clock.race_laps, time_up,
                              crossing_completes_lap(crossings));
  const int k = lap_flag(f, total, race_clock.half_way_lap);
  if (k != lap_shown) {
    show_animation(lap_shown >= 0 ? flaggers.lap_textures[lap_shown] : 0, flaggers.lap_textures[k]);
    lap_shown = k;
  }
  billboard_at(flaggers.lap_billboard)->texture = flaggers.lap_textures[k];
}

// The gate a rider with this many crossings must cross next.
int next_gate(int32_t crossings) {
  const int32_t first = route.first_lap_gates, normal = route.normal_lap_gates;
  int32_t index;
  if (crossings < first)
    index = crossings;
  else if (normal > 0)
    index = first + (crossings - first) % normal;
  else
    return -1;
  if (index < 0 || index >= route_entry_max) return -1;
  int32_t gate = route.entries[index];
  if (gate >= route_flagged) gate -= route_flagged;
  return gate >= 0 && gate < checkpoint_max ? gate : -1;
}

void animate_course_flaggers() {
  std::memset(gate_approach_flags, 0, sizeof gate_approach_flags);
  for (int32_t i = 0; i < running_order.count && i < running_order_max; i++) {
    const int slot = running_order.entries[i].slot;
    const rider* r = slot_rider(slot);
    if (!r || !rider_is_down(r)) continue;
    // Online, a network rider whose last state is a second old or more may
    // only look down because nothing newer has come.
    if (game_state.connect_target && slot_kind(slot) == RIDER_REMOTE) {
      const state_history& h = state_histories[slot];
      const int32_t newest = h.ticks[h.head];
      if (newest < 0 || (int64_t)race_clock.current_tick - newest >= 128) continue;
    }
    const int gate = next_gate(rider_next_timing_index(r));
    if (gate >= 0) gate_approach_flags[gate] = 1;
  }
  if (!course_flaggers.data) return;
  for (size_t i = 0; i < course_flaggers.count; i++) {
    const course_flagger* c = static_cast<const course_flagger*>(growable_array_at(&course_flaggers, i));
    if (c->billboard < 0 || c->billboard >= (int32_t)billboards.count) continue;
    int waving = 0;
    for (int32_t g : c->gates)
      if (g >= 0 && g < checkpoint_max && gate_approach_flags[g]) waving = 1;
    billboard_at(c->billboard)->texture = waving ? c->texture_waving : c->texture_idle;
  }
}

}  // namespace

void animate_flaggers() {
  if (route.first_lap_gates <= 0 || !billboards.data) return;
  animate_start_flagger();
  animate_lap_flagger();
  animate_course_flaggers();
}

// Lens flares --------------------------------------------------------------

void draw_lens_flares(const float camera[3], const float orientation[9]) {
  if (!lens_flare || !flares.data || !flares.count) return;
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  const int width = viewport[2], height = viewport[3];
  float near_plane, far_plane;
  scene_clip_planes(&near_plane, &far_plane);
  const float xe = view_xe, ye = view_ye;
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  glEnable(GL_TEXTURE_2D);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glDepthMask(GL_FALSE);
  glDisable(GL_CULL_FACE);
  for (size_t i = 0; i < flares.count; i++) {
    const flare* fl = static_cast<const flare*>(growable_array_at(&flares, i));
    float v[3];
    for (int c = 0; c < 3; c++) v[c] = fl->is_direction ? fl->vector[c] : fl->vector[c] - camera[c];
    // Into camera space: the orientation's columns are the camera axes.
    const float c[3] = {v[0] * orientation[0] + v[1] * orientation[3] + v[2] * orientation[6],
                        v[0] * orientation[1] + v[1] * orientation[4] + v[2] * orientation[7],
                        v[0] * orientation[2] + v[1] * orientation[5] + v[2] * orientation[8]};
    if (!flare_in_view(c, xe, ye)) continue;
    float s[2];
    int px, py;
    if (!flare_pixel(c, xe, ye, width, height, s, &px, &py)) continue;
    unsigned char rgb[4] = {0, 0, 0, 0};
    float depth = 0;
    glReadPixels(viewport[0] + px, viewport[1] + py, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgb);
    glReadPixels(viewport[0] + px, viewport[1] + py, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    float intensity = 0;
    if (rgb[0] >= 224 && rgb[1] >= 224 && rgb[2] >= 224 &&
        flare_depth_visible(fl->is_direction, linear_depth(depth, near_plane, far_plane), c[2], near_plane,
                            far_plane))
      intensity = flare_edge_intensity(s, xe, ye);
    if (!(intensity > 0)) continue;
    for (int k = 0; k < fl->element_count && k < flare_max_elements; k++) {
      const float p = fl->element_offset[k][0], q = fl->element_offset[k][1];
      const float cx = q * s[0] + p * s[1], cy = q * s[1] - p * s[0], half = fl->element_size[k];
      bind_counted(fl->element_texture[k]);
      glColor4f(intensity * fl->element_colour[k][0], intensity * fl->element_colour[k][1],
                intensity * fl->element_colour[k][2], 1);
      glBegin(GL_QUADS);
      glTexCoord2f(0, 1);
      glVertex3f(cx - half, cy + half, -1);
      glTexCoord2f(0, 0);
      glVertex3f(cx - half, cy - half, -1);
      glTexCoord2f(1, 0);
      glVertex3f(cx + half, cy - half, -1);
      glTexCoord2f(1, 1);
      glVertex3f(cx + half, cy + half, -1);
      glEnd();
    }
  }
  glColor4f(1, 1, 1, 1);
  glDepthMask(GL_TRUE);
  glDisable(GL_BLEND);
  glEnable(GL_CULL_FACE);
}

// Debug labels -------------------------------------------------------------

void add_debug_marker(const float position[3], const char* text) {
  if (!labels.data) return;
  debug_label l;
  std::memset(&l, 0, sizeof l);
  std::memcpy(l.position, position, sizeof l.position);
  std::strncpy(l.text, text ? text : "", debug_label_text_max);
  l.text[debug_label_text_max] = 0;
  growable_array_append(&labels, &l);
}

void clear_debug_markers() { labels.count = 0; }

size_t debug_marker_count() { return labels.count; }

float debug_marker_distance(const float position[3]) {
  if (!labels.data || !labels.count) return 1000000.0f;
  const debug_label* l = static_cast<const debug_label*>(growable_array_at(&labels, labels.count - 1));
  const float d[3] = {position[0] - l->position[0], position[1] - l->position[1], position[2] - l->position[2]};
  return std::sqrt(dot3(d, d));
}

size_t draw_debug_markers(const float camera[3], const float orientation[9]) {
  if (!labels.data || !labels.count || !label_order.data) return 0;
  const size_t count = labels.count;
  if (!ensure_count(&label_order, 2 * count + 1)) return 0;
  float b[3];
  back_axis(orientation, b);
  const uint32_t limit = depth_key((double)dot3(b, camera) - 2);
  int32_t* order = static_cast<int32_t*>(label_order.data);
  if (!ensure_count(&label_keys, count)) return 0;
  uint32_t* keys = static_cast<uint32_t*>(label_keys.data);
  size_t n = 0;
  for (size_t i = 0; i < count; i++) {
    debug_label* l = static_cast<debug_label*>(growable_array_at(&labels, i));
    if (!std::isfinite(l->position[0]) || !std::isfinite(l->position[1]) || !std::isfinite(l->position[2])) continue;
    l->key = keys[i] = depth_key(dot3(b, l->position));
    if (l->key < limit) order[n++] = (int32_t)i;
  }
  radix_sort_by_key(order, n, keys, order + count);
  order[n] = -1;
  return n;
}

void draw_world_label(const float position[3], const float o[9], const char* text) {
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_ALPHA_TEST);
  glDisable(GL_CULL_FACE);
  glPushMatrix();
  // The label's plane is the camera's: x along its right axis, y its up.
  const float m[16] = {o[0], o[3], o[6], 0, o[1], o[4], o[7], 0, o[2], o[5], o[8], 0,
                       position[0], position[1], position[2], 1};
  glMultMatrixf(m);
  glScalef(0.5f, 0.5f, 0.5f);
  int lines = 1;
  for (const char* p = text; *p; p++) lines += *p == '\n';
  const float w = text_width(text) + 0.5f, top = 1.0f + lines + 1;
  glDisable(GL_TEXTURE_2D);
  glColor4f(1, 1, 1, 1);
  glBegin(GL_TRIANGLE_FAN);
  glVertex2f(0, 0);
  glVertex2f(0.25f, 1);
  glVertex2f(-0.25f, 1);
  glEnd();
  glBegin(GL_QUADS);
  glVertex2f(-w / 2, 1);
  glVertex2f(w / 2, 1);
  glVertex2f(w / 2, top);
  glVertex2f(-w / 2, top);
  glEnd();
  glEnable(GL_TEXTURE_2D);
  glTranslatef(-(w - 0.5f) / 2, top - 1.5f, 0);
  draw_text_color(0, 0, 0, 1, text);
  glPopMatrix();
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_CULL_FACE);
}

// The scene ----------------------------------------------------------------

namespace {

// The statistics start from zero, the flaggers and animated textures move
// on to this tick.
void start_the_frame() {
  scene_stats = {0, 0};
  draw_stats = {0, 0};
  shader_programs.switch_count = 0;
  bound_texture = ~0u;
  scene_env_texture = lighting.sky_env_texture;
  animate_flaggers();
  texture_anims_update(race_clock.current_tick);
}

// The sound listener, the eye the riders are drawn for and the terrain's
// camera all sit at the camera.
void place_listener_and_eye(const float position[3], const float orientation[9]) {
  std::memcpy(listener.position, position, sizeof listener.position);
  std::memcpy(listener.orientation, orientation, sizeof listener.orientation);
  std::memcpy(eye_position, position, sizeof eye_position);
  std::memcpy(track_field.camera_position, position, sizeof track_field.camera_position);
  for (int c = 0; c < 3; c++) track_field.camera_direction[c] = -orientation[3 * c + 2];
}

void run_the_track_script_frame() {
  if (race_hooks.call_frame_handler) race_hooks.call_frame_handler();
  stutter_check("js");
}

// The compositor renders through its own framebuffer and viewport; the
// scene goes on into the caller's, whose viewport this fills in.
void compose_ground_textures(GLint viewport[4]) {
  GLint target = 0;
  glGetIntegerv(GL_VIEWPORT, viewport);
  if (gl_caps.framebuffer_object) glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &target);
  if (track_field.heights) update_ground_textures(&track_field);
  if (gl_caps.framebuffer_object && gl_entry.glBindFramebufferEXT) gl_entry.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, (GLuint)target);
  stutter_check("rendertex");
}

void turn_to_the_camera(const GLint viewport[4], double fov, const float orientation[9]) {
  set_projection(viewport[2], viewport[3], fov);
  load_view_rotation(orientation);
  if (shaders_active) shader_set_env_matrix(orientation);
}

void draw_the_background() {
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_ALWAYS);
  // "--fugly": the clear colour instead of the sky.
  if (game_state.fugly) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  } else {
    // The sky box has no floor and the ground ends at the world's edge: a
    // view below the horizon there (after a fall, beyond the edge) would
    // otherwise keep whatever earlier frames left in those pixels. Where
    // nothing draws, the fog's colour (black without fog) shows.
    clear_to_background();
    draw_sky();
  }
}

// The sun is placed once the view is moved, so GL takes its direction in
// world space.
void fog_move_and_light(const float position[3]) {
  set_fog();
  glTranslatef(-position[0], -position[1], -position[2]);
  set_light();
}

void draw_the_ground() {
  if (track_field.heights) draw_terrain(&track_field);
  bound_texture = ~0u;
  stutter_check("drawterrain");
}

// The models take their colour from white; whatever the ground's passes
// left is not theirs.
void prepare_for_models() {
  glColor4f(1, 1, 1, 1);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glDepthFunc(GL_LEQUAL);
  glEnable(GL_ALPHA_TEST);
  glAlphaFunc(GL_GREATER, 0.75f);
}

// Riders and statues alpha-tested, then the blended billboards and faded
// riders over them; the fixed pipeline afterwards.
void draw_riders_statues_and_billboards(int head_slot, const float position[3], const float orientation[9]) {
  draw_riders(head_slot, position);
  stutter_check("drawbikes");
  draw_statues(position);
  stutter_check("drawstatues");
  glDisable(GL_ALPHA_TEST);
  draw_billboards(position, orientation);
  stutter_check("drawbillboards");
  draw_ghosts(head_slot, position);
  stutter_check("drawghosts");
  if (shaders_active) shader_use(shader_fixed);
}

// Without fog, so a far label stays readable.
void draw_the_labels(const float position[3], const float orientation[9]) {
  glDisable(GL_FOG);
  const size_t shown = draw_debug_markers(position, orientation);
  if (shown) {
    const int32_t* order = static_cast<const int32_t*>(label_order.data);
    for (size_t k = 0; order[k] >= 0; k++) {
      const debug_label* l = static_cast<const debug_label*>(growable_array_at(&labels, (size_t)order[k]));
      draw_world_label(l->position, orientation, l->text);
    }
  }
}

// The flares lie on the camera's view, over everything.
void draw_flares_over_the_view(const float position[3], const float orientation[9]) {
  glLoadIdentity();
  glDepthFunc(GL_ALWAYS);
  draw_lens_flares(position, orientation);
  glDisable(GL_LIGHTING);
}

}  // namespace

void draw_scene(const float position[3], const float orientation[9], double fov, int head_slot) {
  start_the_frame();
  place_listener_and_eye(position, orientation);
  run_the_track_script_frame();
  GLint viewport[4];
  compose_ground_textures(viewport);
  turn_to_the_camera(viewport, fov, orientation);
  draw_the_background();
  fog_move_and_light(position);
  draw_the_ground();
  prepare_for_models();
  draw_riders_statues_and_billboards(head_slot, position, orientation);
  if (game_state.debug_level == 2) draw_learned_lines(position);
  draw_the_labels(position, orientation);
  draw_flares_over_the_view(position, orientation);
}

void scene_install_hooks() {
  debug_markers.add = add_debug_marker;
  debug_markers.distance = debug_marker_distance;
}
