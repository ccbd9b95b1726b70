#pragma once
// The arithmetic of the scene that needs no GL: clip planes, ghost fades,
// depth keys of billboards and labels with their radix sort and texture
// regrouping, the flaggers' schedule, and where and how bright a lens flare
// shows.
#include <cstddef>
#include <cstdint>

// Near and far planes of the loaded track's lighting. A far plane not
// beyond the near one (the lighting reader allows far = near) becomes
// near + 1 ft, so the frustum and the depth conversions stay valid.
void scene_clip_planes(float* near_plane, float* far_plane);

// Opacity of a recorded rider d feet from the local one when ghosts fade
// out within fade_distance: 0 inside half of it, 1 beyond it, linear
// between. A fade distance of 0 or less (or not a number) fades nobody.
float ghost_fade(double d, double fade_distance);

// Depth key along the camera's back axis: floor(1024 x value + 2^24),
// computed in double and clamped into 0 .. 2^32 - 1. Ascending keys run
// from far in front of the camera to behind it.
uint32_t depth_key(double value);

// What the billboard pass needs of one billboard.
struct billboard_view {
  float x, y, z;
  float width;   // aspect x size
  float height;  // size
  uint32_t texture;
  uint8_t alpha;
};

// Culls and keys billboards: every one with a texture, a non-zero alpha and
// a finite position whose key (with its full width added for the first
// `widened` billboards) is below the camera's own key is appended to
// `list`, its key stored in keys[index]. Returns the count listed; none
// when the back axis has no horizontal part (the camera looks straight up
// or down).
size_t billboard_cull(const billboard_view* boards, size_t count, size_t widened, const float back[3],
                      const float camera[3], int32_t* list, uint32_t* keys);

// Least-significant-digit radix sort of list[0 .. n) by keys[list[i]], four
// passes over the key bytes from the lowest; stable. `scratch` holds n
// entries.
void radix_sort_by_key(int32_t* list, size_t n, const uint32_t* keys, int32_t* scratch);

// Moves billboards with the texture of the one before them forward to sit
// beside it, searching lookahead - 1 places ahead, but only past
// billboards that do not overlap it as seen from the camera; equal
// neighbours stay as they are. Nothing happens for a lookahead of 1 or
// less.
void billboard_regroup(int32_t* list, size_t n, const billboard_view* boards, int lookahead, const float back[3],
                       const float camera[3]);

// The start flagger at race time t seconds: how far along its walk (0..1)
// and which of its five textures it shows (0..4). It walks off one second
// after the five-second count; a walk time of 0 or less (or not a number)
// makes it jump to the end then.
void start_flagger_at(double t, int32_t five_second_ticks, double walk_time, float* along, int* texture);

// The finish-line flagger's textures, as the flaggers file lists them.
enum {
  lap_flag_green = 0,
  lap_flag_half_way = 1,
  lap_flag_white = 2,
  lap_flag_chequered = 3,
};

// The lap total the viewed rider races to: the finishing lap, or once the
// race time has run out and its last crossing ended lap `laps_done`, at
// most laps_done + race_laps.
int lap_total(int laps_done, int32_t finish_lap, int32_t race_laps, int time_up, int last_completed_lap);
// Which finish-line flag the viewed rider sees.
int lap_flag(int laps_done, int total, int32_t half_way_lap);

// A lens flare as the camera sees it. c is the flare in camera space.
// Visible only in front of the camera (c.z < 0) inside the view extents.
int flare_in_view(const float c[3], float xe, float ye);
// Its point on the plane z = -1 and the window pixel it falls on; 0 when
// the pixel is outside the window.
int flare_pixel(const float c[3], float xe, float ye, int width, int height, float s[2], int* px, int* py);
// The depth buffer value as a fraction of the way from the near to the far
// plane.
double linear_depth(double depth, double near_plane, double far_plane);
// Whether the depth read at the flare's pixel leaves it visible: a
// direction (the sun) needs the ground at least 0.4 of the way out, a
// point needs nothing nearer than its own distance beyond the near plane
// (camera_z is the flare's camera-space z, negative in front).
int flare_depth_visible(int is_direction, double linear, double camera_z, double near_plane, double far_plane);
// 1 in the middle of the view, falling to 0 over the last min(xe, ye) / 32
// before each edge.
float flare_edge_intensity(const float s[2], float xe, float ye);

// The basis (row by row, columns forward, up, side) that turns an object
// about the vertical to face a camera dx, dz away horizontally. 0, and the
// basis left alone, when the camera stands (almost) straight above it.
int facing_basis(float basis[9], float dx, float dz);
