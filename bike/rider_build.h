#pragma once
// Building a rider in the dynamics world: the seven bodies with their masses,
// the six joints, the part files and the skins that choose them, the default
// settings, the reset to rest, moving and turning a whole rider, and whether
// the dynamics library steps it at all.
#include <cstddef>

#include "bike/rider.h"

// Activity at or below this: the rider's bodies are disabled and its control
// step does not run.
constexpr float rider_active_threshold = 0.25f;

// Mass split between frame and rider body when a rider is built: the rider
// body carries this fraction of the rider's mass.
constexpr float rider_initial_mass_distribution = 1.0f / 3.0f;

// Creates the bodies and joints in dynamics_world from the rider's model row
// and registers the joint feedback records. 0 after a console line when
// there is no world.
int rider_build_bodies(rider* r);

// Gives the bodies their masses for a rider mass distribution d (the
// fraction of the rider's mass carried by the rider body) and updates
// total_mass.
void rider_set_masses(rider* r, float d);

void rider_set_defaults(rider* r);
void rider_reset(rider* r);
void rider_translate(rider* r, float dx, float dy, float dz);
// Orientation of every body = the rotation of angle about (ax, ay, az);
// positions turned about the world origin.
void rider_rotate(rider* r, float ax, float ay, float az, float angle);

void rider_activate(rider* r);
void rider_deactivate(rider* r);
void rider_wake_on_contact(rider* r);
void rider_fade_remote(rider* r);
// The one rule every activity change goes through.
void rider_set_activity(rider* r, float activity);
int rider_is_active(const rider* r);

// Suspension settings, scaled by the model row's bases and ranges.
void rider_set_fork(rider* r, float compression, float slow_compression, float rebound,
                    float slow_rebound, float spring_rate, float preload, float oil_level);
void rider_set_shock(rider* r, float compression, float slow_compression, float rebound,
                     float slow_rebound, float spring_rate, float preload);

// The gyroscopic torque -(w x I w) of each enabled body of every created
// rider, added before a world step. The library's own implicit term is off on
// rider bodies, so whatever steps the world calls this first.
void riders_add_gyroscopic_torques();
void body_add_gyroscopic_torque(dBodyID body);

// The path with the skin's variant: "@cr125_frame.jm" with the skin
// "@skins/bike-red-fast.png" and extension ".jm" gives "@cr125_frame-red.jm".
// 0 when the skin or the path has no variant, or out does not hold it.
int skin_variant_name(char* out, size_t size, const char* path, const char* skin,
                      const char* extension);

// A part model dressed by a skin: its variant when the skin has one, else
// the plain path. Null (with warnings when warn is set) when it fails.
model* model_load_skinned(const char* path, const char* skin, int warn);

// Normal and specular maps of a skin, from the skin's own name, then its
// variant, then the default skin's variant. Both 0 without shaders.
void texture_find_norm_spec(unsigned* norm, unsigned* spec, const char* skin,
                            const char* default_skin);
