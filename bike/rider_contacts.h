#pragma once
// A rider's contacts before each world step: tyres and part shapes against
// the terrain, parts against track objects and against other riders; what a
// contact does to the rider (down, falling off, the impact timer); and the
// suspension readouts of the telemetry graph.
#include <ode/ode.h>

#include <cstddef>
#include <cstdint>

struct growable_array;
struct rider;
struct shape;

// Part mask bits: which of a rider's parts touched.
enum {
  rider_part_frame = 0x01,
  rider_part_front_wheel = 0x02,
  rider_part_rear_wheel = 0x04,
  rider_part_fork_upper = 0x08,
  rider_part_fork_lower = 0x10,
  rider_part_swingarm = 0x20,
  rider_part_rider = 0x40,
  rider_part_front_end = 0x12,  // front wheel or fork lower
};

// Tyres and part shapes against the track's terrain. Nonzero when anything
// touched. Sets down when a fork, the swingarm or the rider shape touched,
// and throws off an upside-down rider sliding on its body faster than 5 ft/s.
int rider_collide_terrain(rider* r);
// In place of the terrain contacts for remote riders.
int rider_collision_noop();

// The rider's parts against one other shape (with its body or none), by
// response mode (-1 overlap only, 0 contact joints, other penalty forces).
// With front_test_only the front wheel and both fork parts only report.
// Returns the part mask of the rider's parts that touched.
int rider_collide_shape(rider* r, shape* other, dBodyID other_body, const float position[3],
                        const float orientation[9], int mode, int front_test_only);
// A statue or start gate: contact joints; a rider whose body hits it faster
// than 20 ft/s falls off.
int rider_collide_object(rider* r, shape* object, dBodyID object_body, const float position[3],
                         const float orientation[9]);
// Once per tick for a rider stepped here: its terrain contacts, then the
// statues within 6 ft of its frame, each once; a statue it touches keeps
// the tick.
void collide_rider_statues(rider* r);
// The same in two steps, for contacts made on worker threads: the statues
// near the rider (found on the main thread, as the lookup shares its
// scratch lists), then after rider_collide_terrain the listed ones.
const growable_array* rider_statues_near(rider* r);
void collide_rider_listed_statues(rider* r, const int32_t* indices, size_t count);
// Rider a's parts against rider b. The first rider contact of either in a
// tick gets contact joints, later ones penalty forces. Sets the impact
// timers and stamps both riders. Returns b's parts touched.
int rider_collide_rider(rider* a, rider* b, int front_test_only);

// One telemetry sample of each suspension end: travel (0 extended .. 1),
// rate, and the damping readout.
void rider_fork_telemetry(const rider* r, float* travel, float* rate, float* damping);
void rider_shock_telemetry(const rider* r, float* travel, float* rate, float* damping);
// The shock linkage curve at a swingarm travel fraction: the shock's travel
// and its slope.
void bike_model_shock_linkage(const rider* r, float* value, float* slope, float travel);

// The telemetry graph's six rings (fork travel, rate and damping, then the
// shock's) and their shared write index.
enum { telemetry_ring_size = 1024 };
struct telemetry_ring_set {
  float fork_travel[telemetry_ring_size];
  float fork_rate[telemetry_ring_size];
  float fork_damping[telemetry_ring_size];
  float shock_travel[telemetry_ring_size];
  float shock_rate[telemetry_ring_size];
  float shock_damping[telemetry_ring_size];
  int32_t write_index;
};
// The index starts past the end, so the first sample the race takes clears
// the rings first.
extern telemetry_ring_set telemetry_rings;
// The graph is on (console "togglegraph"): the race tick fills the rings
// from the viewed rider.
extern int telemetry_graph_on;
// Writes one sample of the rider into the rings and advances the index.
void telemetry_record(const rider* r);
