#pragma once
// Settings and start-up values the race code and the front end own but the
// terrain reads. Their owners set them; the defaults are the shipped ones.

#include <cstdint>

// The simulation tick, 1/128 s.
extern double tick_length;
// 0.125 / the ground_detail setting; copied into each loaded height field.
extern float lod_error_scale;
// The ground_texture_dim setting, in texels.
extern int ground_texture_dim;
// Shaders are active and render_texture is one of the two Shaders choices.
extern int terrain_shaders;
// Frames between low-detail uploads (2^reshade_delay; 0 every frame).
extern uint32_t upload_interval;
// The ground-texture mode the render_texture setting asks for: 1 on the
// processor, 2 copy, 3 framebuffer objects.
extern int render_texture_mode;
