#pragma once
// Roost: the dirt wheels throw. A pool of roost_pool_size particles, each
// on exactly one of two singly linked lists, free or live, and each owning
// one billboard as its sprite. Wheels spawn them; the tick moves them,
// fades their sprites and retires them when they fall into the ground.
#include <cstdint>

struct roost_type;

enum { roost_pool_size = 2000 };

struct roost_particle {
  float position[3];
  float velocity[3];
  int32_t sprite;          // index in `billboards`
  const roost_type* type;  // what it was thrown as
  roost_particle* next;
};

extern roost_particle roost_particles[roost_pool_size];
extern roost_particle* roost_free;
extern roost_particle* roost_live;

// At track load: one billboard per particle (no texture, at the origin).
void roost_particles_create();
// At race reset: every particle on the free list in order, sprites hidden
// (texture 0).
void roost_particles_reset();
// Takes the head of the free list and throws it. 1, or 0 when none is free.
int roost_particle_spawn(const float position[3], const float velocity[3], const roost_type* type);
// Once per simulation tick: moves, drags and drops every live particle,
// grows and fades its sprite, and retires it once it falls below the ground.
void roost_particles_update();
