// The riders' part of the tick: contacts (terrain and statues per rider,
// on worker threads when there are several, then rider against rider), the
// world step and the control steps.
#include "bike/riders_step.h"

#include <chrono>
#include <cmath>
#include <cstddef>
#include <vector>

#include "bike/rider.h"
#include "bike/rider_build.h"
#include "bike/rider_contacts.h"
#include "bike/rider_control.h"
#include "core/growable_array.h"
#include "core/heap_sort.h"
#include "platform/os/os_thread.h"
#include "terrain/dynamics_world.h"
#include "terrain/shape.h"
#include "terrain/track_objects.h"

namespace {

constexpr double tick = 1.0 / 128.0;
// Farther apart than this, two riders' frames are not tested for contact.
constexpr dReal pair_reach = 24;

using wall_clock = std::chrono::steady_clock;
double seconds(wall_clock::time_point a, wall_clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

float frame_speed(const rider* r) {
  dBodyID body = rider_frame_body(r);
  if (!body) return 0;
  const dReal* v = dBodyGetLinearVel(body);
  return (float)std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

// How far from the frame's centre any part of the rider reaches: each part
// shape's bounding sphere about its body, and each wheel's rim and tyre
// about its hub (what the wheel tests against other shapes use).
dReal rider_extent(const rider* r, const dReal* frame) {
  dReal extent = 0;
  auto reach = [&](dBodyID body, dReal radius) {
    if (!body) return;
    const dReal* p = dBodyGetPosition(body);
    const dReal d[3] = {p[0] - frame[0], p[1] - frame[1], p[2] - frame[2]};
    const dReal e = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]) + radius;
    if (!(e <= extent)) extent = e;  // a value that is not a number wins
  };
  const shape* parts[] = {r->front_wheel_shape, r->rear_wheel_shape, r->frame_shape, r->fork_upper_shape,
                          r->fork_lower_shape,  r->swingarm_shape,   r->rider_shape};
  const int bodies[] = {RIDER_FRONT_WHEEL, RIDER_REAR_WHEEL, RIDER_FRAME, RIDER_FORK_UPPER,
                        RIDER_FORK_LOWER,  RIDER_SWINGARM,   RIDER_PERSON};
  for (int i = 0; i < 7; i++)
    if (parts[i]) reach(r->bodies[bodies[i]], parts[i]->bounding_radius);
  for (const wheel_contact* w : {&r->front_contact, &r->rear_contact})
    if (w->body) reach(w->body, (dReal)w->rim_radius + w->tyre_radius);
  return extent;
}

// Each stepped rider's terrain and statue contacts, one job per rider, each
// into its own batch.
struct rider_contact_jobs {
  rider* riders[RIDER_SLOT_COUNT];
  std::vector<int32_t> statues_near[RIDER_SLOT_COUNT];
  contact_batch batches[RIDER_SLOT_COUNT];
};

void rider_contact_job(void* arg, int index) {
  rider_contact_jobs* jobs = static_cast<rider_contact_jobs*>(arg);
  contact_recording = &jobs->batches[index];
  rider* r = jobs->riders[index];
  rider_collide_terrain(r);
  const std::vector<int32_t>& near = jobs->statues_near[index];
  collide_rider_listed_statues(r, near.data(), near.size());
  contact_recording = nullptr;
}

os_worker_pool* contact_pool = nullptr;

// The pool for `threads` contact threads, remade when the count changes.
os_worker_pool* pool_for(int threads) {
  if (threads <= 1) return nullptr;
  if (contact_pool && os_worker_pool_workers(contact_pool) == threads - 1) return contact_pool;
  os_worker_pool_destroy(contact_pool);
  contact_pool = os_worker_pool_create(threads - 1);
  return contact_pool;
}

// The terrain and statue contacts on the pool's threads, joined in slot
// order with the remote riders' contacts among them where one thread
// makes them.
void pooled_contacts(os_worker_pool* pool, void (*remote_contacts)(rider*)) {
  static rider_contact_jobs jobs;
  int count = 0;
  for (int slot = 0; slot < RIDER_SLOT_COUNT; slot++)
    if (rider* r = rider_slots[slot])
      if (rider_slot_kind[slot] != RIDER_REMOTE) {
        const growable_array* near = rider_statues_near(r);
        const int32_t* first = near && near->count ? static_cast<const int32_t*>(near->data) : nullptr;
        jobs.statues_near[count].assign(first, first ? first + near->count : nullptr);
        jobs.riders[count++] = r;
      }
  os_worker_pool_run(pool, rider_contact_job, &jobs, count);
  int k = 0;
  for (int slot = 0; slot < RIDER_SLOT_COUNT; slot++) {
    rider* r = rider_slots[slot];
    if (!r) continue;
    if (rider_slot_kind[slot] == RIDER_REMOTE) {
      if (remote_contacts) remote_contacts(r);
      continue;
    }
    contact_batch& batch = jobs.batches[k++];
    contact_batch_replay(&batch);
    for (int32_t index : batch.touched_statues)
      if (statue* s = statue_at(index)) s->touch_tick = race_clock.current_tick;
    batch.touched_statues.clear();
  }
}

void offline_contacts(int threads, void (*remote_contacts)(rider*)) {
  os_worker_pool* pool = pool_for(threads);
  if (pool) pooled_contacts(pool, remote_contacts);
  rider* list[RIDER_SLOT_COUNT];
  int n = 0;
  for (int slot = 0; slot < RIDER_SLOT_COUNT; slot++) {
    rider* r = rider_slots[slot];
    if (!r) continue;
    if (rider_slot_kind[slot] == RIDER_REMOTE) {
      if (!pool && remote_contacts) remote_contacts(r);
      continue;
    }
    list[n++] = r;
    if (!pool) collide_rider_statues(r);
  }
  heap_sort(list, (size_t)n, sizeof(rider*), compare_rider_speed);
  for (int i = 0; i < n; i++)
    for (int j = i + 1; j < n; j++)
      if (rider_pair_in_reach(list[i], list[j])) rider_collide_rider(list[i], list[j], 0);
}

}  // namespace

int riders_step(const riders_step_hooks* hooks) {
  static const riders_step_hooks bare = {};
  const riders_step_hooks& k = hooks ? *hooks : bare;
  const auto t0 = wall_clock::now();
  if (k.contacts) k.contacts();
  else offline_contacts(k.threads, k.remote_contacts);
  const auto t1 = wall_clock::now();
  if (k.before_world_step) k.before_world_step();
  const auto t2 = wall_clock::now();
  riders_add_gyroscopic_torques();
  const int ok = dynamics_step(tick);
  const auto t3 = wall_clock::now();
  if (k.after_world_step) k.after_world_step();
  const auto t4 = wall_clock::now();
  for (int slot = 0; slot < RIDER_SLOT_COUNT; slot++) {
    rider* r = rider_slots[slot];
    if (!r) continue;
    if (k.before_control) k.before_control(slot, r);
    rider_physics_tick(r);
    if (k.after_control) k.after_control(slot, r);
  }
  const auto t5 = wall_clock::now();
  if (k.timing) {
    k.timing->contacts += seconds(t0, t1);
    k.timing->world_step += seconds(t2, t3);
    k.timing->control += seconds(t4, t5);
  }
  return ok;
}

int compare_rider_speed(const void* a, const void* b) {
  const float va = frame_speed(*static_cast<rider* const*>(a));
  const float vb = frame_speed(*static_cast<rider* const*>(b));
  return va > vb ? -1 : va < vb ? 1 : 0;
}

int rider_pair_in_reach(const rider* a, const rider* b) {
  // Parts of two bikes this far apart cannot touch; the shapes' own
  // bounding spheres would reject every pair, only more slowly.
  if (!a->bodies[RIDER_FRAME] || !b->bodies[RIDER_FRAME]) return 0;
  const dReal* pa = dBodyGetPosition(a->bodies[RIDER_FRAME]);
  const dReal* pb = dBodyGetPosition(b->bodies[RIDER_FRAME]);
  const dReal d[3] = {pa[0] - pb[0], pa[1] - pb[1], pa[2] - pb[2]};
  const dReal d2 = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
  if (!(d2 <= pair_reach * pair_reach)) return 0;
  // Nearer, two riders whose reaches about their frames do not overlap
  // cannot touch either: every test of their parts would find nothing. The
  // margin covers the parts' tests in single precision.
  const dReal reach = rider_extent(a, pa) + rider_extent(b, pb) + 0.0625;
  return !(d2 > reach * reach);
}
