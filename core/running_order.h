#pragma once
// The running order: who leads, by crossings made and then by who made the
// last one first. The race timing fills it; the cameras, the HUD and the
// next/previous-bike keys read it. Held in core beside the race clock so
// every library that reads it links on its own.
#include <cstdint>

enum { running_order_max = 160 };

struct running_order_entry {
  int32_t slot;
  int32_t crossings;  // timing crossings made
  int32_t last_tick;  // tick of the last of them
};

struct running_order_state {
  int32_t count;
  running_order_entry entries[running_order_max];  // best first
};
extern running_order_state running_order;

// Forgets every entry.
void running_order_clear();
