#pragma once
// The built-in table of bike models: one read-only row per bike with its rest
// geometry, masses, suspension ranges, gearing, engine curves, part files and
// the rider's pose geometry. A rider refers to its row by index.
//
// Units: feet, slugs (pounds / 32), radians, seconds; spring rates in lb/ft.
// Positions are rest positions of a bike standing upright and facing -z,
// with +y up and +x the rider's right.

enum {
  BIKE_MODEL_COUNT = 80,
  BIKE_NAME_SIZE = 16,       // name and class, NUL-padded
  BIKE_PART_FILE_SIZE = 64,  // each part file name, NUL-padded
  BIKE_PART_FILE_COUNT = 23,
  BIKE_GEAR_COUNT = 6,
  BIKE_TORQUE_POINTS = 50,   // at 0, 500, 1000, ... 24500 rpm
  BIKE_POSE_FLOATS = 58,
};

// Indices into part_files.
enum {
  BIKE_PART_FRAME_MODEL = 0,
  BIKE_PART_FRAME_SHAPE = 1,
  BIKE_PART_BIKE_SKIN = 2,  // default bike skin
  BIKE_PART_FORK_UPPER_MODEL = 3,
  BIKE_PART_FORK_UPPER_SHAPE = 4,
  BIKE_PART_FORK_LOWER_MODEL = 5,
  BIKE_PART_FORK_LOWER_SHAPE = 6,
  BIKE_PART_SWINGARM_MODEL = 7,
  BIKE_PART_SWINGARM_SHAPE = 8,
  BIKE_PART_FRONT_WHEEL_MODEL = 9,
  BIKE_PART_FRONT_WHEEL_SHAPE = 10,
  BIKE_PART_REAR_WHEEL_MODEL = 11,
  BIKE_PART_REAR_WHEEL_SHAPE = 12,
  BIKE_PART_WHEELS_SKIN = 13,  // default wheels skin
  BIKE_PART_HEAD_MODEL = 14,
  BIKE_PART_HELMET_SKIN = 15,  // default helmet skin
  BIKE_PART_BODY_MODEL = 16,
  BIKE_PART_BODY_FP_MODEL = 17,
  BIKE_PART_RIDER_SHAPE = 18,
  BIKE_PART_GEAR_SKIN = 19,  // default riding-gear skin
  BIKE_PART_SIDE_PLATES_MODEL = 20,
  BIKE_PART_FRONT_PLATE_MODEL = 21,
  BIKE_PART_RIDER_PLATE_MODEL = 22,
};

// Layout of pose_geometry. Each point is in the coordinates of the body
// named (relative to that body's position, before its rotation); left is -x.
enum {
  BIKE_POSE_HEAD = 0,             // 3 floats, rider body
  BIKE_POSE_LEFT_SHOULDER = 3,    // 3 floats, rider body
  BIKE_POSE_RIGHT_SHOULDER = 6,   // 3 floats, rider body
  BIKE_POSE_LEFT_HIP = 9,         // 3 floats, rider body
  BIKE_POSE_RIGHT_HIP = 12,       // 3 floats, rider body
  BIKE_POSE_LEFT_GRIP = 15,       // 3 floats, fork upper
  BIKE_POSE_RIGHT_GRIP = 18,      // 3 floats, fork upper
  BIKE_POSE_LEFT_FOOT_REST = 21,  // 3 floats, frame
  BIKE_POSE_RIGHT_FOOT_REST = 24, // 3 floats, frame
  BIKE_POSE_UPPER_ARM = 27,       // length
  BIKE_POSE_FOREARM = 28,         // length
  BIKE_POSE_THIGH = 29,           // length
  BIKE_POSE_SHIN = 30,            // length
  // Bind-pose pivots of the nine bones of the skinned rider body model, 3
  // floats each in the rider body's coordinates, in bone order: left elbow,
  // right elbow, left shoulder, right shoulder, left knee, right knee, left
  // hip, right hip, hip centre (torso).
  BIKE_POSE_BONE_CENTRES = 31,
  BIKE_POSE_BONE_COUNT = 9,
};

// Named entries of the small arrays.
enum {
  BIKE_SWINGARM_TRAVEL = 2,  // in shock_linkage
  BIKE_RPM_LIMIT = 2,        // in rpm_thresholds
};

struct bike_model {
  char name[BIKE_NAME_SIZE];
  char bike_class[BIKE_NAME_SIZE];  // "125", "250", "250f", "450f" or "50"
  float front_wheel_position[3];
  float front_rim_radius;   // ring on which the tyre section is centred
  float front_tyre_radius;  // radius of the tyre section
  float front_tyre_mass;
  float front_hub_radius;
  float front_hub_mass;
  float rear_wheel_position[3];
  float rear_rim_radius;
  float rear_tyre_radius;
  float rear_tyre_mass;
  float rear_hub_radius;
  float rear_hub_mass;
  float frame_position[3];
  float frame_mass;  // without the rider
  float frame_size[3];
  float fork_upper_position[3];  // also the steering joint's anchor
  float swingarm_position[3];
  float swingarm_pivot[3];
  float fork_lower_position[3];  // fork axis = upper - lower
  float fork_leg_spacing;
  float fork_length;
  float fork_mass;
  float fork_spring_rate_range[2];  // lb/ft at setting 0 and setting 1
  float fork_preload_range[2];
  float fork_oil_level_range[2];
  float fork_compression_damping;
  float fork_slow_compression_damping;
  float fork_rebound_damping;
  float fork_slow_rebound_damping;
  float fork_travel;
  float swingarm_mass;  // each of the swingarm's two boxes
  float shock_spring_rate_range[2];
  float shock_preload_range[2];
  float shock_compression_damping;
  float shock_slow_compression_damping;
  float shock_rebound_damping;
  float shock_slow_rebound_damping;
  // V1, V2, swingarm travel (rad), breakpoint u, slopes s0, s1, s2.
  float shock_linkage[7];
  float primary_ratio;
  float front_sprocket;
  float rear_sprocket;
  float gear_ratios[BIKE_GEAR_COUNT];  // 0 or less: no such gear
  // Engine inertia, clutch stiffness, clutch damping.
  float engine_constants[3];
  float closed_throttle_torque[BIKE_TORQUE_POINTS];
  float full_throttle_torque[BIKE_TORQUE_POINTS];
  // Downshift, upshift and limit engine speeds, rpm.
  float rpm_thresholds[3];
  float rider_axis[3];
  float rider_position[3];
  float rider_travel_min;
  float rider_travel_max;
  float rider_mass;
  char part_files[BIKE_PART_FILE_COUNT][BIKE_PART_FILE_SIZE];
  float pose_geometry[BIKE_POSE_FLOATS];
};

// The table, in its fixed order.
extern const bike_model bike_models[BIKE_MODEL_COUNT];

// The first row whose name equals name exactly (case-sensitive); null when
// none does or name is null.
const bike_model* bike_model_find(const char* name);

// Setup readouts: the physical value a setting v (clamped to 0..1) stands
// for, interpolated in the row's range. Spring rates in kg/mm (the fork's
// per leg), lengths in mm. A null row gives 0.
float bike_model_fork_spring_rate(const bike_model* row, float v);
float bike_model_fork_preload_mm(const bike_model* row, float v);
float bike_model_fork_oil_level_mm(const bike_model* row, float v);
float bike_model_shock_spring_rate(const bike_model* row, float v);
float bike_model_shock_preload_mm(const bike_model* row, float v);

// The row's stock sprocket teeth; 0 for a null row.
float bike_model_front_sprocket(const bike_model* row);
float bike_model_rear_sprocket(const bike_model* row);
