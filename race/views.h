#pragma once
// The views drawn from a camera of their own: the on-bike view from a
// rider's head, and the race view from the key-framed camera path, the free
// camera or one of the track's cameras, with the running-order ticker and
// the lap box over a track camera's picture.
#include <ode/ode.h>

#include <cstddef>

#include "race/camera_math.h"
#include "terrain/track.h"

// The camera path (the console's keyframe files fill it), in tick order,
// and whether the race view follows it.
enum { camera_key_max = 4096 };
extern camera_key camera_keys[camera_key_max];
extern size_t camera_key_count;
extern int key_camera_on;

// The race view's free camera: position, yaw, pitch and field of view.
extern track_camera free_camera;
// Puts the free camera at a point (race reset does, over the viewed rider).
void place_free_camera(float x, float y, float z);

// What the on-bike camera remembers between frames.
extern gimbal_memory onbike_gimbal_memory;

// The camera fixed to a rider's frame body; slot is that rider's.
void draw_onbike_view(dBodyID body, int slot);
// The view mode's own entry: the viewed slot's rider, if it has one.
void draw_onbike_view_of(int slot);

// The race view: the key camera while on and keyed, else the track camera
// race_camera_choice names (the free camera for -1 or one out of range).
void draw_race_view();
// The same with the frame loop's argument, which it does not need.
void draw_race_view_of(int slot);

// The running-order strip and the lap box drawn over a track camera.
void draw_ticker();
// Seconds an entry of the running order is behind the one before it, from
// both riders' ticks at the last crossing both have made; negative when
// there is nothing to show (a tick missing, or not behind).
struct running_order_entry;
double ticker_time_behind(const running_order_entry& ahead, const running_order_entry& entry);
