#pragma once
// The rider table: 160 static rider records, one per slot, each a bike and
// its rider as seven dynamics bodies and six joints with their part models,
// collision shapes, skins, controls, timing and robot state. The dynamics
// library holds pointers into the records (joint feedback, wheel contacts),
// so they never move.
#include <ode/ode.h>

#include <cstdint>

#include "assets/model.h"
#include "bike/bike_model.h"
#include "core/growable_array.h"
#include "core/race_clock.h"
#include "terrain/ruts.h"
#include "terrain/shape.h"
#include "terrain/terrain_contact.h"

enum {
  RIDER_SLOT_COUNT = 160,
  RIDER_NO_SLOT = 160,  // a slot index that stands for no rider
  RIDER_BODY_COUNT = 7,
  RIDER_JOINT_COUNT = 6,
  RIDER_NUMBER_SIZE = 8,  // 7 characters and the NUL
};

// Slot kinds.
enum {
  RIDER_LOCAL = 0,
  RIDER_REMOTE = 1,
  RIDER_ROBOT = 2,
};

// Bodies, in the rider's bodies array.
enum {
  RIDER_FRAME = 0,
  RIDER_FRONT_WHEEL = 1,
  RIDER_REAR_WHEEL = 2,
  RIDER_FORK_UPPER = 3,  // steered
  RIDER_FORK_LOWER = 4,  // sliding
  RIDER_SWINGARM = 5,
  RIDER_PERSON = 6,
};

// Joints, in the rider's joints array.
enum {
  RIDER_FRONT_AXLE = 0,
  RIDER_REAR_AXLE = 1,
  RIDER_STEERING = 2,
  RIDER_FORK_SLIDER = 3,
  RIDER_SWINGARM_PIVOT = 4,
  RIDER_PERSON_JOINT = 5,  // detached while the rider lies crashed
};

// assist_flags bits.
enum {
  RIDER_ASSIST_AIR_STEERING = 0x01,
  RIDER_ASSIST_STOP_WHEELIES = 0x06,  // 2 bits: 0 off, 2 front only, 3 on
  RIDER_ASSIST_FRONT_ANTILOCK = 0x08,
  RIDER_ASSIST_REAR_ANTILOCK = 0x10,
  RIDER_ASSIST_AUTO_SHIFT = 0x20,
  RIDER_ASSIST_AUTO_DAB = 0x40,
  RIDER_ASSIST_AUTO_ALIGN = 0x80,
};

// The robot rider code's words (robot/ fills them; the rider code only
// resets them). A rider-against-rider contact clears the picked line ids:
// a run that was pushed off its line says nothing about the line.
struct rider_robot_state {
  int32_t picked_line_ids[4];  // unique ids by segment number mod 4; 0 none
  int32_t personality;         // row of the personality table; 0 no auto pilot
  float last_throttle;
  float launch_time;        // seconds on the race clock; 0 not drawn
  int32_t lean_limit_tick;  // -1000000 after reset
  int32_t cursor;           // index in followed_line of the sample approached
  int32_t last_advance_tick;
  int32_t recovery_counter;  // 0 normal; above 0 the careful follower drives
  int32_t pick_segment;      // segment number the next picked line is for
  int32_t launch_over;       // 1 once the launch has handed the bike to the driver
  int32_t still_ticks;       // ticks the careful follower has sat still, power on
  int32_t unstick_ticks;     // ticks left of an early unstick push
};

struct rider {
  int32_t model_index;
  dBodyID bodies[RIDER_BODY_COUNT];
  dJointID joints[RIDER_JOINT_COUNT];
  dJointFeedback joint_feedback[RIDER_JOINT_COUNT];
  wheel_contact front_contact;
  wheel_contact rear_contact;
  // The ruts each wheel is laying down, handed to the erode queue a stroke
  // at a time.
  rut_stroke front_rut;
  rut_stroke rear_rut;

  // Controls.
  float throttle;
  float clutch;  // 1 = engaged
  float front_brake;
  float rear_brake;
  float steer;
  float dab;
  float ramp;  // foot-down amount
  float back_up;
  float lean;

  int32_t gear;
  int32_t last_shift_request;
  float clutch_angle;  // gearbox output at the rear axle, -pi..pi
  float engine_speed;  // rad/s
  float final_drive_ratio;
  // compression, slow compression, rebound, slow rebound, spring rate,
  // preload, oil level (the shock has no oil level).
  float fork[7];
  float shock[6];
  float rider_yspring;
  float rider_ydamping;
  float rider_zspring;
  float rider_zdamping;

  int32_t timing_count;
  growable_array timing_ticks;  // int32 ticks; -1 = not crossed

  // Of line_sample: a human rider's passes, by segment number mod 2, each
  // with its void bit (a crossing made while down); the robot's followed
  // line.
  growable_array pass_sample_lists[2];
  int32_t pass_void_bits;
  growable_array followed_line;
  rider_robot_state robot;

  float total_mass;  // slugs

  // Handling.
  float roll_damping;
  float leveling;
  float roll_limit_factor;
  float roll_limit_angle;
  float steering_damping;
  float steering_strength;
  float max_steering_force;
  float direct_steering;
  float slow_damping_speed;
  float slow_damping_factor;
  float land_damping_falloff;
  float land_damping_factor;
  float auto_clutch_rpms;
  float brake_torque;
  float rear_brake_torque;
  float max_dab_speed;  // ft/s
  float full_lock_speed;
  float restricted_lock_speed;
  float restricted_lock;

  // Parts: models are shared through the model cache, shapes are private
  // copies, textures belong to the texture table (except the plate).
  model* frame_model;
  shape* frame_shape;
  unsigned bike_skin;
  unsigned bike_skin_norm;
  unsigned bike_skin_spec;
  model* fork_upper_model;
  shape* fork_upper_shape;
  model* fork_lower_model;
  shape* fork_lower_shape;
  model* swingarm_model;
  shape* swingarm_shape;
  model* front_wheel_model;
  shape* front_wheel_shape;
  model* rear_wheel_model;
  shape* rear_wheel_shape;
  unsigned wheels_skin;
  unsigned wheels_skin_norm;
  unsigned wheels_skin_spec;
  model* head_model;
  model* body_model;
  model* body_fp_model;
  shape* rider_shape;
  unsigned helmet_skin;
  unsigned helmet_skin_norm;
  unsigned helmet_skin_spec;
  unsigned gear_skin;
  unsigned gear_skin_norm;
  unsigned gear_skin_spec;
  model* side_plates_model;
  model* front_plate_model;
  model* rider_plate_model;
  unsigned plate_texture;  // 128 x 128, owned by the rider

  char number[RIDER_NUMBER_SIZE];
  int32_t slot;
  int32_t contact_tick;
  int32_t down;  // crashed
  float land_damping;
  int32_t airborne_tick;
  int32_t landed_tick;
  int32_t down_counter;  // ticks still to lie down after a fall
  int32_t crash_count;
  float point_a_pos[3];
  float point_a_vel[3];
  float point_b_pos[3];
  float point_b_vel[3];
  float velocity_ring[4][3];  // slot = tick mod 4
  int32_t finished;           // sticky
  float hit_timer;
  float front_slide;
  float activity;  // stepped while above 0.25
  int32_t arcade;
  int32_t roost_tick;
  uint8_t assist_flags;
  uint8_t simulated;  // bit 0: stepped from its own controls here
};

// The rider table and the slots the race fills from it.
extern rider rider_table[RIDER_SLOT_COUNT];
extern rider* rider_slots[RIDER_SLOT_COUNT];
extern int32_t rider_slot_kind[RIDER_SLOT_COUNT];

// Clears all 160 records; the race does it before creating a new line-up,
// after the previous riders were destroyed.
void rider_table_init();

// Builds the rider of a slot from a bike name (an unknown name falls back to
// a row of its class, with a console line), a number text and four skin
// names (each may be null). Null when the slot is out of range.
rider* rider_create(const char* bike_name, unsigned slot, int simulated, const char* number,
                    const char* gear_skin, const char* helmet_skin, const char* bike_skin,
                    const char* wheels_skin);

// Frees what rider_create allocated; the record may then be created again.
void rider_destroy(rider* r);

// The model row the rider was built from.
const bike_model* rider_model(const rider* r);

// Accessors.
int rider_is_down(const rider* r);
int rider_get_assist_bit0(const rider* r);
int rider_get_stop_wheelies(const rider* r);
int rider_get_front_antilock(const rider* r);
int rider_get_rear_antilock(const rider* r);
int rider_get_auto_shift(const rider* r);
int rider_get_auto_dab(const rider* r);
int rider_get_arcade(const rider* r);
float rider_get_direct_steering(const rider* r);
float rider_get_slow_damping_speed(const rider* r);
float rider_get_slow_damping_factor(const rider* r);
float rider_get_leveling(const rider* r);
float rider_get_max_steering_force(const rider* r);
float rider_get_roll_damping(const rider* r);
float rider_get_roll_limit_angle(const rider* r);
float rider_get_roll_limit_factor(const rider* r);
float rider_get_steering_damping(const rider* r);
float rider_get_steering_strength(const rider* r);
float rider_get_clutch(const rider* r);
float rider_get_throttle(const rider* r);
int rider_get_gear(const rider* r);
dBodyID rider_person_body(const rider* r);
dBodyID rider_frame_body(const rider* r);
// A body's lean in radians: the sideways tilt of its up axis across its
// horizontal heading (its -z); negative leaning right, 0 upright.
float body_pitch_angle(dBodyID body);
float rider_forward_speed_mph(const rider* r);
const char* rider_bike_model_name(const rider* r);
const char* rider_bike_class(const rider* r);
float rider_bike_rev_limit(const rider* r);
const char* rider_number_text(const rider* r);
// Names of the skin textures in force (null when there is none).
const char* rider_gear_skin_name(const rider* r);
const char* rider_helmet_skin_name(const rider* r);
const char* rider_bike_skin_name(const rider* r);
const char* rider_wheels_skin_name(const rider* r);

// A number-plate colour from a skin's info text: key (such as
// "[numberbackground:") followed by three numbers 0..1 as "%f,%f,%f", each
// clamped and scaled to a byte. Only a complete triple changes colour.
void rider_read_plate_colour(const char* info, const char* key, uint8_t colour[3]);

// The tick of crossing n, or -1 when n is not in the list.
int32_t rider_timing_tick(const rider* r, int n);

// 1 once the rider has completed the race's finishing lap after the leader
// did (sticky), else 0.
int rider_has_finished(rider* r);
