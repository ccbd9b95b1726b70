#pragma once
// The erode queue: every rut message, local, from the server or from a
// demo, is decoded into entries here, and once a frame a budget of them
// digs the ground at the wheel and heaps the dirt a little behind it.
#include <cstdint>

#include "terrain/rut_message.h"

struct height_field;

enum {
  erode_queue_size = 131072,
  erode_queue_backlog = 8192,  // past this the viewer no longer holds the queue
  erode_deferral_ticks = 256,
};

// The ring's bookkeeping; its 131072 entries live beside it.
struct erode_queue_state {
  int32_t count;
  int32_t read_index;     // slot of the oldest entry
  int32_t full_reported;  // an entry was dropped for lack of room; never cleared
  int32_t deferral_tick;  // INT32_MAX: none
};
extern erode_queue_state erode_queue;

// The race clock's current tick.
int32_t erode_current_tick();

// The k-th oldest entry (k from 0), or null past the count.
const erode_entry* erode_queue_peek(int32_t k);

// Decodes a rut message and appends its entries, oldest first. A message
// shorter than 17 bytes or of another format adds nothing. When the ring is
// full an entry is dropped, never written over an older one, and the first
// drop of the run prints "Erode queue full!".
void erode_queue_add_stroke(const uint8_t* bytes, int32_t length);

// Once a frame, on the game's terrain: pops up to count / 512 + 4 entries
// (and (count - 8192) / 64 more past 8192) and digs and deposits each.
// viewer (x, y, z; null for none) holds back entries within 10 units of it,
// for at most 256 ticks. strength is the erosion level / 1024.
void erode_queue_process(const float* viewer, float strength);

// How many entries erode_queue_process pops at most with `count` waiting.
int32_t erode_queue_budget(int32_t count);

// Empties the queue; the race reset calls it.
void erode_queue_reset();

// Adds amount x w(d) to every vertex within radius of (x, z), w the smooth
// step 1 - 3t^2 + 2t^3 of t = distance / radius, and returns the sum of
// what it added over the whole square round the point, vertices outside the
// grid included. Non-finite input, a radius wider than the whole field or a
// point millions of cells off it changes nothing and returns 0.
float terrain_dig(height_field* field, float x, float z, float radius, float amount);
// Spreads `volume` over the same weights, normalised by their sum (at least
// 1), so the heights gain `volume` in all.
void terrain_deposit(height_field* field, float x, float z, float radius, float volume);

// The height the ground had when the track loaded, at world (x, z), over the
// same triangle terrain_height uses.
float terrain_base_height(const height_field* field, float x, float z);
