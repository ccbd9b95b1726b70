#pragma once
// Collision shapes: lists of spheres read from ".shp" files. A cached shape
// holds its sphere centres in shape coordinates; every object that collides
// owns an instance, a private copy whose centres each collision call
// rewrites in world coordinates from the cached source.
//
// A ".shp" file is text: a sphere count (1..shape_max_spheres), then per
// sphere x, y, z of the centre, radius, friction, spring and damper.
#include <ode/ode.h>

#include <cstddef>
#include <cstdint>

struct wheel_contact;

enum { shape_max_spheres = 1024 };

struct shape_sphere {
  float centre[3];
  float radius;
  float friction;  // the contact's mu
  float spring;    // force per foot of depth
  float damper;
};

// One allocation: this header, then the spheres, then the name.
struct shape {
  char* name;
  int32_t count;
  shape_sphere* spheres;
  shape* source;  // the cached shape an instance was copied from; null in the cache
  float bounding_radius;  // largest |centre| + radius, from 0
};

// Where two spheres touch: the same fields as the tail of a wheel_contact,
// from its contact point on.
struct sphere_pair_contact {
  float point[3];           // middle of the overlap on the line of centres
  float point_velocity[3];  // of the first sphere's body at the point, 0 without one
  float normal[3];          // unit, from the first sphere towards the second
  float depth;
  dJointFeedback feedback;  // zeroed
};

// Response of a sphere-pair contact.
enum {
  shape_report_only = -1,   // only say whether they overlap
  shape_contact_joint = 0,  // a soft contact joint in contact_group
  shape_penalty_force = 1,  // any other value: forces straight onto the bodies
};

// The cached shape of that name, else the file read and cached. Null after a
// console line when the file cannot be opened or is malformed; a malformed
// file is not cached, so a later load reads it again.
shape* shape_load(const char* name);
// A new private instance of the named shape, in one allocation the caller
// frees with check_free; null when shape_load fails.
shape* shape_load_copy(const char* name);
const char* shape_name(const shape* s);
float shape_bounding_radius(const shape* s);
// 1 with sphere index's centre and radius, 0 when index is out of range.
int shape_get_element(const shape* s, int index, float centre[3], float* radius);
// Frees every cached shape and the cache.
void shape_free_all();
// Number of shapes in the cache, for tools and tests.
size_t shape_cache_count();

// Two spheres, each with its body or none. 1 when they overlap. With a body
// the overlap becomes a contact by mode (a joint attached to body 2 then
// body 1, or penalty forces); with `out` the contact is reported there.
// Coincident centres overlap without a contact.
int collide_sphere_pair(const shape_sphere* s1, dBodyID body1, const shape_sphere* s2, dBodyID body2, int mode,
                        sphere_pair_contact* out);

// Every sphere of a against every sphere of b, both moved to world first
// (orientation row by row x source centre + position). 1 when any pair
// overlaps. Pairs whose bounding spheres are apart are rejected at once.
int collide_shapes(shape* a, dBodyID body_a, const float position_a[3], const float orientation_a[9], shape* b,
                   dBodyID body_b, const float position_b[3], const float orientation_b[9], int mode);

// The instance's spheres against a tyre: each meets a sphere of the tyre's
// radius at the rim point nearest to it. The deepest contact is copied into
// the wheel record when the wheel has no terrain contact this tick. 1 when
// any sphere overlaps the tyre.
int collide_shape_wheel(shape* instance, dBodyID body, const float position[3], const float orientation[9],
                        wheel_contact* wheel, int mode);

// Moves an instance's sphere centres to world coordinates from its source;
// a cached shape (no source) is left alone.
void shape_move_to_world(shape* instance, const float position[3], const float orientation[9]);
