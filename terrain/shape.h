#pragma once
// Collision shapes: lists of spheres. A cached shape holds its sphere centres
// in shape coordinates; every object that collides owns an instance, a
// private copy whose centres each collision call rewrites in world
// coordinates from the cached source.
#include <cstdint>

struct shape_sphere {
  float centre[3];
  float radius;
  float friction;  // the contact's mu
  float spring;    // force per foot of depth
  float damper;
};

struct shape {
  char* name;
  int32_t count;
  shape_sphere* spheres;
  shape* source;  // the cached shape an instance was copied from; null in the cache
  float bounding_radius;
};
