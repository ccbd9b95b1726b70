#pragma once
// Drawing a rider and bike: the bike parts on their bodies, the skinned
// rider body posed by rider_posing, the head and the number plates, first
// lit and textured, then the additive shine pass for reflective parts.
//
// The scene sets eye_position and material_alpha (model_settings.h), then
// calls draw_bike once per drawn rider; the shine pass needs the depth test
// to pass on equal depths (GL_LEQUAL), as the scene draws. On return,
// texture units 1 and 2 are off, unit 0 is active and program 0 is current.
#include <ode/ode.h>

#include "bike/rider.h"

// Draw modes.
enum {
  DRAW_BIKE_OUTSIDE = 0,  // any rider seen from outside
  DRAW_BIKE_RIDING = 1,   // the camera's own rider: the bike alone
  DRAW_BIKE_FIRST_PERSON = 2,  // the camera's own rider with its first-person body
};

// The points the verbose overlay marks on a rider, the robot's followed
// line: count elements of element_size bytes, each starting with the
// point's x, y and z as floats and then a float whose sign picks the colour
// (a line sample's speed, negative while airborne). highlighted is the
// robot's cursor. Empty until the robot code fills it.
struct rider_debug_list {
  const void* elements;
  int count;
  int element_size;
  int highlighted;
};
// By rider slot.
extern rider_debug_list rider_debug_points[RIDER_SLOT_COUNT];

// Draws one rider and bike in mode 0, 1 or 2 as seen from eye (handed to
// every model draw call). A rider not built (no bodies, no bike row) draws
// nothing and leaves the GL state alone. The dynamics bodies are only read.
void draw_bike(const rider* r, int mode, const float eye[3]);

// For a run of riders drawn one after another: as draw_bike, but the
// texture units and the program are left as the rider's last part set them
// (each rider sets its own before it draws), and draw_bike_run_end puts
// them back once after the run. A software renderer revalidates its whole
// pipeline at every such change, a cost paid per rider otherwise.
void draw_bike_in_run(const rider* r, int mode, const float eye[3]);
void draw_bike_run_end();

// glPushMatrix, then the body's translation and rotation; also returns the
// position and the rotation (row after row) for the model draw call. The
// caller pops the matrix after drawing.
void gl_push_body_transform(dBodyID body, float position[3], float rotation[9]);

// With shaders: unit 2 gets the specular map when both maps exist (else it
// is disabled), unit 1 the normal map (else disabled), and program 5, 3 or
// 1 is selected. Always binds the skin on unit 0, which is left active.
void bind_skin_textures(unsigned skin, unsigned normal_map, unsigned specular_map);

// With shaders: unit 1 gets the normal map (or is disabled) and program 4
// (with a map) or 2 is selected for the shine pass. Without, nothing.
void bind_normal_map(unsigned normal_map);

// Debug overlay at a point: two black 3 x 3 ft squares at its height (one
// per facing), and squares of 2 x 2 ft in the colour above and below it by
// height. Inside glBegin(GL_QUADS) ... glEnd().
void draw_debug_point(const float point[3], const float colour[3], float height);
