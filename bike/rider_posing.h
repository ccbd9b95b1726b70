#pragma once
// Posing the rider for drawing: the lean-back rule, the nine bones of the
// skinned body model (arms reaching the grips, legs reaching the feet, the
// torso) and the head turned toward the direction of travel. Headless: it
// reads the bodies and the bike row and writes only its outputs; the
// dynamics bodies are never touched.
//
// Bone data is in the rider body's own coordinates (the body model's
// space). Each bone has a pivot (its upper joint) and a frame whose rows
// are its direction and two sides. The bind frames are the same rules run
// once per bike row on its rest configuration, whose pivots are the row's
// BIKE_POSE_BONE_CENTRES; a bone draws with rotation (frame)^T x (bind
// frame), so a rider posed as at rest draws its body model unchanged.
#include <ode/ode.h>

#include "bike/bike_model.h"

struct rider;

enum {
  RIDER_BONE_LEFT_FOREARM = 0,
  RIDER_BONE_RIGHT_FOREARM = 1,
  RIDER_BONE_LEFT_UPPER_ARM = 2,
  RIDER_BONE_RIGHT_UPPER_ARM = 3,
  RIDER_BONE_LEFT_SHIN = 4,
  RIDER_BONE_RIGHT_SHIN = 5,
  RIDER_BONE_LEFT_THIGH = 6,
  RIDER_BONE_RIGHT_THIGH = 7,
  RIDER_BONE_TORSO = 8,
  RIDER_BONE_COUNT = 9,
};

// Where a body is: position, and rotation from body to world given row
// after row (the order the model draw calls take).
struct body_transform {
  float position[3];
  float rotation[9];
};

// One bone set, ready for the skinned model draw calls: centres,
// translations and rotations are the three parallel arrays they take.
struct rider_bones {
  float frames[RIDER_BONE_COUNT][9];        // rows: direction, side, side
  float centres[RIDER_BONE_COUNT][3];       // bind pivots, the row's
  float translations[RIDER_BONE_COUNT][3];  // pivots now
  float rotations[RIDER_BONE_COUNT][9];     // column after column
};

// What the bones are posed from, all in the rider body's coordinates.
struct rider_pose_input {
  const bike_model* row;
  float left_grip[3];
  float right_grip[3];
  float left_foot[3];
  float right_foot[3];
  float left_weight;  // 0 on the foot rest .. 1 planted
  float right_weight;
  float throttle;
  float world_up[3];  // the world's +y
};

// The body's transform as the dynamics library holds it.
void body_transform_get(dBodyID body, body_transform* t);

// The lean-back rule on a rider body at `body` whose chest point and the
// bar point (world coordinates) are given: closer than 1.25 ft, the body is
// turned back about its own X axis around the left hip point g[9..11].
// Writes the transform to draw with into `drawn` and returns 1 when it
// differs from `body`.
int rider_lean_rule(const float* g, const body_transform* body, const float chest[3],
                    const float bar[3], body_transform* drawn);

// The rider body's transform to draw with: the lean-back rule applied to a
// copy of the body's transform. 1 when leaned; 0 and the body's own
// transform otherwise (also for a rider without bodies or row).
int rider_drawn_body(const rider* r, body_transform* drawn);

// The pose input of the rider whose body is drawn at `person`: grips from
// the fork upper, feet from rider_limb_pose, the throttle.
void rider_pose_input_get(const rider* r, const body_transform* person, rider_pose_input* in);

// The pose input of the rider standing on the row at rest: every body
// unturned at its rest position, throttle closed, feet on the rests.
void rider_pose_input_rest(const bike_model* row, rider_pose_input* in);

// Bones 0 to 3 (forearms and upper arms).
void pose_rider_arms(const rider_pose_input* in, rider_bones* bones);
// Bones 4 to 8 (shins, thighs and torso).
void pose_rider_body(const rider_pose_input* in, rider_bones* bones);

// The bind frames of a row (9 frames of 9 floats), computed once per row of
// the table; rows outside the table are computed into a scratch copy.
const float* rider_bind_frames(const bike_model* row);

// The head's position and rotation (row after row) in world coordinates,
// for a rider body drawn at `person` moving at `velocity`.
void head_transform_at(const float* g, const body_transform* person, const float velocity[3],
                       float position[3], float rotation[9]);
// The same for a rider, with its rider body's velocity.
void head_transform(const rider* r, const body_transform* person, float position[3],
                    float rotation[9]);
