#pragma once
// The rut producer: a wheel that pushes and slips on erodible ground leaves
// samples, samples average into points, and up to 64 points make a stroke
// that goes out as one rut message. Every machine digs from the messages,
// never from its own wheels, so all of them deform the terrain alike.
#include <cstdint>

#include "terrain/rut_message.h"

struct height_field;
struct wheel_contact;

// Where a finished rut message goes. The multiplayer client installs its
// sender at start-up; until then (offline, tools, tests) the message goes
// straight into the local erode queue.
extern void (*net_send_terrain_edit)(const uint8_t* bytes, int32_t length);

// What the last wheel update saw: speed and slip, the contact force's
// lateral and forward parts and those of the processed force.
struct tyre_debug_values {
  float speed;
  float slip;
  float fx;
  float fz;
  float pfx;
  float pfz;
};
extern tyre_debug_values tyre_debug;

// One tick of one wheel on the game's terrain. front is 1 for the front
// wheel. A stroke that has had no new point for 64 ticks is sent.
void rut_update_wheel(rut_stroke* stroke, const wheel_contact* contact, int front);

// Turns the pending samples into the stroke's next point, sending the
// stroke first when it is full or the new step would stretch it past 64
// units.
void rut_stroke_add_point(rut_stroke* stroke);

// The stroke as a rut message against the game's terrain; 0 when it holds
// no point.
int32_t rut_stroke_encode(const rut_stroke* stroke, uint8_t out[rut_message_max_bytes]);

// Clears everything but the points; for a rider whose bodies are set up.
void rut_stroke_reset(rut_stroke* stroke);

// The upward normal of the grid triangle under world (x, z): the cross
// product of its legs from the right-angle corner, in world units, not
// normalised.
void terrain_triangle_normal(const height_field* field, float x, float z, float out[3]);

// The debug values as text, speed and slip as kept and the four forces
// negated, cut to size - 1 characters.
void format_tyre_debug(char* out, int size);
