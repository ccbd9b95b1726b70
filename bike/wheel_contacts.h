#pragma once
// What the wheels' contact records are used for besides the tyre joints:
// refreshing them for riders that are only shown, throwing roost, feeding
// the rut producer, and the wheel queries behind the track script's natives.
#include <cstddef>

#include "terrain/terrain_contact.h"

struct rider;

// Hundredths of an emission burst per wheel and tick (0..1000, default
// 250): a run-time copy of the front end's "roost_density" slider, made at
// start-up and when the graphics page changes it.
extern int roost_density;

// Console debug flags (bit 0: the tyre debug trail) and the spacing of the
// trail's labels in feet (default 10); the "log" command sets both.
extern int debug_flags;
extern float debug_label_spacing;
enum { debug_flag_tyre_trail = 1 };

// World-space debug labels, kept by the scene.
struct debug_marker_hooks {
  float (*distance)(const float point[3]);  // to the last label placed
  void (*add)(const float position[3], const char* text);
};
extern debug_marker_hooks debug_markers;

// Recomputes both records from the terrain for a rider not stepped here,
// at most once per tick; a locally simulated rider keeps the records its
// terrain contacts wrote.
void rider_refresh_wheel_contacts(rider* r);

// Roost of one rider this tick: roost_density / 100 bursts per wheel (one
// more on the remaining hundredths of ticks), the front wheel within pi/8 of
// arc, the rear within its roost types' angles.
void rider_emit_roost(rider* r);
// Throws the roost types of the tile under the wheel's contact, each on
// average its count a tick but at most bursts, within spread_limit radians
// of the contact point round the wheel.
void wheel_emit_particles(const wheel_contact* w, int bursts, float spread_limit);

// The contact point's velocity without the wheel's spin.
void wheel_axle_velocity(const wheel_contact* w, float out[3]);

// Hands both wheels to the rut producer (front, then rear) with the rider's
// own strokes, and leaves a
// debug label along the way when the tyre trail is on. A wheel that is not
// moving across the ground gives no sample this tick.
void rider_update_ruts(rider* r);

// Queries behind the script natives. Depth is 0 when the wheel does not
// touch; the others fill out and return 1 when it touches, else return 0
// and leave out alone.
float rider_front_contact_depth(rider* r);
int rider_front_contact_position(rider* r, float out[3]);
int rider_front_contact_slip(rider* r, float out[3]);
int rider_front_contact_velocity(rider* r, float out[3]);
float rider_rear_contact_depth(rider* r);
int rider_rear_contact_position(rider* r, float out[3]);
int rider_rear_contact_slip(rider* r, float out[3]);
int rider_rear_contact_velocity(rider* r, float out[3]);

// The ground's push on a wheel along the contact normal from the tyre
// joint's last step, lb; 0 when the wheel has no contact this tick (the
// dynamics library leaves a vanished joint's feedback as it was).
float wheel_contact_normal_force(const wheel_contact* w);
