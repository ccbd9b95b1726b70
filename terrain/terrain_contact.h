#pragma once
// Contacts of dynamics bodies with the terrain: tyres (a torus: rim circle
// and tube), spheres and the spheres of collision shapes. Each contact goes
// to the dynamics library as one soft contact joint in contact_group,
// between the body and the static world; the library's own collision
// detection is not used.
#include <ode/ode.h>

#include "terrain/height_field.h"
#include "terrain/shape.h"

// Surface modes of the contact joints: friction pyramid in both directions,
// softness from a spring and a damper, and optionally a first friction
// direction and a second friction value.
enum : int {
  contact_mode_soft = dContactApprox1_1 | dContactApprox1_2 | dContactSoftCFM | dContactSoftERP,
  contact_mode_soft_fdir = contact_mode_soft | dContactFDir1,
  contact_mode_soft_fdir_mu2 = contact_mode_soft_fdir | dContactMu2,
};
static_assert(contact_mode_soft == 0x3018 && contact_mode_soft_fdir == 0x301A &&
                  contact_mode_soft_fdir_mu2 == 0x301B,
              "contact mode words");

// Spring and damper of sphere contacts with the terrain.
constexpr double sphere_contact_spring = 2500.0;
constexpr double sphere_contact_damper = 250.0;

// One wheel's contact with the ground. The rider code sets body, axle and
// the radii; the terrain contact writes the rest each tick.
struct wheel_contact {
  dBodyID body;             // the wheel centre is its position
  float axle[3];            // in the body's own coordinates, any length
  float rim_radius;         // circle through the tube's centres, ft
  float tyre_radius;        // the tube, ft
  float point[3];           // world
  float point_velocity[3];  // of the wheel body at the point, spin included
  float normal[3];          // unit, from the ground towards the wheel
  float depth;              // 0: no contact this tick
  dJointFeedback feedback;  // forces of the tyre's contact joint, from the last step
};

// ERP and CFM that make a contact act as a spring kp and damper kd over a
// step of h seconds.
void soft_contact_params(double kp, double kd, double h, double* erp, double* cfm);

// Spring and damper of a tyre pressed in by depth: stiffer as it compresses.
void tyre_spring_damper(float depth, float tyre_radius, double* kp, double* kd);

// Creates one contact joint in contact_group from c and attaches it to body
// and the static world. A contact with any non-finite value, or with no
// world, group or body, makes no joint: returns null.
dJointID add_contact_joint(const dContact* c, dBodyID body);

// One tyre against the terrain this tick: with a touch, one contact joint
// (with the record's feedback) and a rolling-resistance force on the wheel
// body, and 1. Otherwise the record's depth is 0 and the result 0.
int collide_tyre_terrain(const height_field* field, wheel_contact* wheel, float friction_scale);

// Everything collide_tyre_terrain decides, without touching the world: fills
// the record, the contact and the rolling-resistance force. 1 on contact.
int tyre_contact_prepare(const height_field* field, wheel_contact* wheel, float friction_scale,
                         dContact* contact, float roll_force[3]);

// The deepest contact of the tyre with the triangles in range: 1 with a
// unit normal, or 0.
int tyre_contact_geometry(const height_field* field, const wheel_contact* wheel, float point[3],
                          float normal[3], float* depth);

// The first touching triangle found from the middle of the range outwards,
// cheap cases only. The outputs may be the record's own fields.
int collide_wheel_terrain(const height_field* field, const wheel_contact* wheel, float point[3],
                          float normal[3], float* depth);

// The deepest contact of a sphere with the triangles in range: 1 with the
// sphere's deepest point, a unit normal and the penetration, or 0.
int collide_sphere_terrain(const height_field* field, const float centre[3], float radius,
                           float point[3], float normal[3], float* depth);

// Moves the instance's spheres to world (rotation row by row x source centre
// + position) and collides each with the terrain; with a body, one contact
// joint per touching sphere. 1 when any sphere touches.
int collide_shape_terrain(shape* instance, dBodyID body, const float position[3],
                          const float rotation[9], const height_field* field);

// A sphere against the terrain; with a body, one contact joint with mu and,
// where normal x direction is not zero, that cross product as the first
// friction direction and mu2 along the second. 1 on contact.
int add_sphere_contact(const height_field* field, const float centre[3], float radius, float mu,
                       float mu2, const float direction[3], dBodyID body);
