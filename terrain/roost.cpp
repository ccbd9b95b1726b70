// Roost particles: the pool, its free and live lists, and the per-tick move.
#include "terrain/roost.h"

#include <cstring>

#include "terrain/height_field.h"
#include "terrain/terrain_settings.h"
#include "terrain/tiles.h"
#include "terrain/track_objects.h"

roost_particle roost_particles[roost_pool_size];
roost_particle* roost_free;
roost_particle* roost_live;

// The sprite of a particle, or null when its billboard is not there (no
// track loaded, or the list could not grow).
static billboard* sprite_of(const roost_particle* p) {
  if (!billboards.data || p->sprite < 0 || (size_t)p->sprite >= billboards.count) return nullptr;
  return billboard_at(p->sprite);
}

void roost_particles_create() {
  for (roost_particle& p : roost_particles) p.sprite = -1;
  for (roost_particle& p : roost_particles) {
    const size_t before = billboards.data ? billboards.count : 0;
    const int32_t index = add_billboard(0.0f, 0.0f, 0.0f, 1.0f, 1.0f, nullptr);
    // A billboard that did not fit is not shared with another particle.
    p.sprite = billboards.data && billboards.count > before ? index : -1;
  }
  roost_particles_reset();
}

void roost_particles_reset() {
  roost_live = nullptr;
  roost_free = nullptr;
  for (int i = roost_pool_size - 1; i >= 0; i--) {
    roost_particle* p = &roost_particles[i];
    p->next = roost_free;
    roost_free = p;
    if (billboard* b = sprite_of(p)) b->texture = 0;
  }
}

int roost_particle_spawn(const float position[3], const float velocity[3], const roost_type* type) {
  roost_particle* p = roost_free;
  if (!p || !type) return 0;
  roost_free = p->next;
  p->type = type;
  for (int k = 0; k < 3; k++) {
    p->position[k] = position[k];
    p->velocity[k] = velocity[k];
  }
  if (billboard* b = sprite_of(p)) {
    b->x = position[0];
    b->y = position[1];
    b->z = position[2];
    b->size = type->size;
    b->texture = type->texture;
    std::memcpy(b->colour, type->colour, sizeof b->colour);
  }
  p->next = roost_live;
  roost_live = p;
  return 1;
}

static uint8_t fade_channel(uint8_t value, int8_t step) {
  const int v = value + step;
  return (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
}

void roost_particles_update() {
  const float dt = (float)tick_length;
  roost_particle** link = &roost_live;
  while (roost_particle* p = *link) {
    const roost_type* type = p->type;
    for (int k = 0; k < 3; k++) p->position[k] += p->velocity[k] * dt;
    const float drag = dt * type->drag;
    for (float& v : p->velocity) v -= v * drag;
    p->velocity[1] -= 32.0f * dt;
    billboard* b = sprite_of(p);
    if (b) {
      b->x = p->position[0];
      b->y = p->position[1];
      b->z = p->position[2];
      b->size += dt * type->grow;
      for (int c = 0; c < 4; c++) b->colour[c] = fade_channel(b->colour[c], type->fade[c]);
    }
    const int falling = !(p->velocity[1] >= 0.0f);
    if (falling && track_field.heights && terrain_height(&track_field, p->position[0], p->position[2]) > p->position[1]) {
      if (b) b->texture = 0;
      *link = p->next;
      p->next = roost_free;
      roost_free = p;
      continue;
    }
    link = &p->next;
  }
}
