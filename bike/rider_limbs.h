#pragma once
// Where the rider's feet go: the two-segment limb solver and the foot targets
// that drawing and the physics share. Headless: it reads bodies and the
// terrain, and writes only its outputs.
#include <ode/ode.h>

struct rider;

// The middle joint of a limb from start to end with segment lengths a and b,
// bent towards bend_point. A reach longer than 0.95 (a + b) is cut to that,
// so the joint is never on a straight limb.
void solve_limb_joint(const float start[3], float first_length, const float end[3],
                      float second_length, const float bend_point[3], float joint[3]);

// Foot targets in world coordinates and their ground weights (0 on the foot
// rests, 1 planted). The weight pointers may be null.
void rider_limb_pose(const rider* r, float left_foot[3], float* left_weight, float right_foot[3],
                     float* right_weight);

// Lean of a body: positive when its up axis leans towards its -x side;
// pitch is ignored.
float body_lean_angle(dBodyID body);
