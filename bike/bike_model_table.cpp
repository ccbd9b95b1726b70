// The 80 bike models, built at compile time.
//
// Five class rows are written out in full below (the 125, the 250 two-stroke,
// the 250 and 450 four-strokes and the 50); every bike is then one line of
// the table at the bottom: its class row, its name, the stem of its part
// files, and what sets it apart from the class row (frame mass, wheelbase,
// primary ratio, sprockets, engine strength and engine speed). The rules that
// turn such a line into a full row are in bike_row().

#include "bike/bike_model.h"

// Never defined: reaching it while the table is evaluated stops the build,
// so a name that does not fit its field cannot slip in truncated.
void bike_table_text_too_long();

namespace {

constexpr int text_length(const char* s) {
  int n = 0;
  while (s[n]) ++n;
  return n;
}

// dst = a + b + c, NUL-padded to size.
constexpr void set_text(char* dst, int size, const char* a, const char* b = "",
                        const char* c = "") {
  if (text_length(a) + text_length(b) + text_length(c) >= size) bike_table_text_too_long();
  int n = 0;
  for (int i = 0; a[i]; ++i) dst[n++] = a[i];
  for (int i = 0; b[i]; ++i) dst[n++] = b[i];
  for (int i = 0; c[i]; ++i) dst[n++] = c[i];
  while (n < size) dst[n++] = 0;
}

constexpr void set3(float (&v)[3], float x, float y, float z) {
  v[0] = x;
  v[1] = y;
  v[2] = z;
}

template <int N>
constexpr void set_floats(float (&dst)[N], const float (&src)[N]) {
  for (int i = 0; i < N; ++i) dst[i] = src[i];
}

// --- Engine curves, 50 points at 0, 500, ... 24500 rpm ----------------------

// The 125 two-stroke: a weak bottom end, a strong rush from 8000 rpm to the
// peak at 10000, and a steep fall past 12000.
constexpr float k_125_full[BIKE_TORQUE_POINTS] = {
    5, 5.3f, 5.6f, 5.9f, 6.2f, 6.5f, 6.8f, 7.1f, 7.4f, 7.8f,
    8.2f, 8.7f, 9.2f, 9.8f, 10.5f, 11.3f, 12.2f, 13.2f, 14.3f, 15.3f,
    15.97f, 15.85f, 15.8f, 14.9f, 12.7f, 2.1f, 0, 0, -1, -1,
    -2, -2, -3, -3, -4, -4, -5, -5, -6, -6,
    -7, -7, -8, -8, -9, -9, -10, -10, -11, -11,
};
constexpr float k_125_closed[BIKE_TORQUE_POINTS] = {
    2, 2, 1, 0, -1, -1.2f, -1.5f, -1.8f, -2.1f, -2.5f,
    -2.8f, -3.2f, -3.6f, -4, -4.4f, -4.9f, -5.3f, -5.7f, -6.2f, -6.7f,
    -7.1f, -7.6f, -8.1f, -8.6f, -9.1f, -9.6f, -10.1f, -10.6f, -11.1f, -11.6f,
    -12.2f, -12.7f, -13.2f, -13.8f, -14.3f, -14.9f, -15.4f, -16, -16.6f, -17.1f,
    -17.7f, -18.3f, -18.9f, -19.4f, -20, -20.6f, -21.2f, -21.8f, -22.4f, -23,
};

// The 250 two-stroke: peak 27.2 at 7500 rpm, done by 11500.
constexpr float k_250_full[BIKE_TORQUE_POINTS] = {
    9, 9.67f, 10.32f, 11.01f, 11.8f, 12.73f, 13.79f, 14.98f, 16.3f, 17.93f,
    19.87f, 21.82f, 23.5f, 25.1f, 26.56f, 27.2f, 26.87f, 26.1f, 24.46f, 21.6f,
    16.14f, 9, 2, 0, 0, -1, -1, -2, -2, -3,
    -3, -4, -4, -5, -5, -6, -6, -7, -7, -8,
    -8, -9, -9, -10, -10, -11, -11, -12, -12, -13,
};
constexpr float k_250_closed[BIKE_TORQUE_POINTS] = {
    3, 3, 1.5f, 0, -1.5f, -1.8f, -2.1f, -2.5f, -2.9f, -3.4f,
    -3.9f, -4.4f, -4.9f, -5.4f, -5.9f, -6.5f, -7.1f, -7.7f, -8.2f, -8.8f,
    -9.4f, -10.1f, -10.7f, -11.3f, -12, -12.6f, -13.3f, -13.9f, -14.6f, -15.3f,
    -16, -16.7f, -17.4f, -18.1f, -18.8f, -19.5f, -20.2f, -20.9f, -21.7f, -22.4f,
    -23.1f, -23.9f, -24.6f, -25.4f, -26.1f, -26.9f, -27.7f, -28.4f, -29.2f, -30,
};

// The 250 four-stroke: broad, a gentle climb to 19.5 at 10000 rpm that
// holds to 12000, and revs on to 14500.
constexpr float k_250f_full[BIKE_TORQUE_POINTS] = {
    8, 8.63f, 9.25f, 9.88f, 10.5f, 11.12f, 11.73f, 12.34f, 12.95f, 13.57f,
    14.2f, 14.88f, 15.62f, 16.36f, 17.07f, 17.7f, 18.2f, 18.64f, 19.06f, 19.38f,
    19.5f, 19.38f, 19.1f, 18.52f, 17.6f, 16.43f, 14.6f, 10.5f, 4, 0,
    0, -1, -1, -2, -2, -3, -3, -4, -4, -5,
    -5, -6, -6, -7, -7, -8, -8, -9, -9, -10,
};
constexpr float k_250f_closed[BIKE_TORQUE_POINTS] = {
    3, 3, 1, 0, -1.5f, -1.7f, -2.1f, -2.4f, -2.8f, -3.3f,
    -3.7f, -4.2f, -4.6f, -5.1f, -5.6f, -6.2f, -6.7f, -7.2f, -7.8f, -8.3f,
    -8.9f, -9.5f, -10, -10.6f, -11.2f, -11.8f, -12.5f, -13.1f, -13.7f, -14.3f,
    -15, -15.6f, -16.3f, -16.9f, -17.6f, -18.2f, -18.9f, -19.6f, -20.2f, -20.9f,
    -21.6f, -22.3f, -23, -23.7f, -24.4f, -25.1f, -25.8f, -26.6f, -27.3f, -28,
};

// The 450 four-stroke: strong from idle, peak 35.2 at 7000 rpm, flat to
// 9000, done by 13500; and the heaviest engine braking.
constexpr float k_450f_full[BIKE_TORQUE_POINTS] = {
    18, 20.09f, 22.23f, 24.26f, 26, 27.45f, 28.75f, 29.93f, 31, 32.04f,
    33.03f, 33.88f, 34.5f, 34.97f, 35.2f, 35.11f, 34.9f, 34.36f, 33.5f, 32.41f,
    31, 29.28f, 27, 23.78f, 19, 10, 2, 0, 0, -1.5f,
    -1.5f, -3, -3, -4.5f, -4.5f, -6, -6, -7.5f, -7.5f, -9,
    -9, -10.5f, -10.5f, -12, -12, -13.5f, -13.5f, -15, -15, -16.5f,
};
constexpr float k_450f_closed[BIKE_TORQUE_POINTS] = {
    4, 4, 2, 0, -2, -2.3f, -2.8f, -3.3f, -3.9f, -4.5f,
    -5.2f, -5.8f, -6.5f, -7.2f, -7.9f, -8.7f, -9.4f, -10.2f, -11, -11.8f,
    -12.6f, -13.4f, -14.3f, -15.1f, -16, -16.8f, -17.7f, -18.6f, -19.5f, -20.4f,
    -21.3f, -22.2f, -23.2f, -24.1f, -25, -26, -26.9f, -27.9f, -28.9f, -29.9f,
    -30.8f, -31.8f, -32.8f, -33.8f, -34.9f, -35.9f, -36.9f, -37.9f, -39, -40,
};

// The 50 two-stroke: the 125's shape at under a quarter of its strength.
constexpr float k_50_full[BIKE_TORQUE_POINTS] = {
    1, 1.1f, 1.19f, 1.28f, 1.38f, 1.49f, 1.6f, 1.73f, 1.86f, 2.01f,
    2.17f, 2.33f, 2.5f, 2.69f, 2.91f, 3.12f, 3.3f, 3.47f, 3.63f, 3.7f,
    3.65f, 3.5f, 3.3f, 2.89f, 2.2f, 1, 0, 0, -0.2f, -0.2f,
    -0.4f, -0.4f, -0.6f, -0.6f, -0.8f, -0.8f, -1, -1, -1.2f, -1.2f,
    -1.4f, -1.4f, -1.6f, -1.6f, -1.8f, -1.8f, -2, -2, -2.2f, -2.2f,
};
constexpr float k_50_closed[BIKE_TORQUE_POINTS] = {
    0.5f, 0.5f, 0.25f, 0, -0.2f, -0.3f, -0.4f, -0.4f, -0.5f, -0.6f,
    -0.6f, -0.7f, -0.8f, -0.9f, -1, -1.1f, -1.2f, -1.3f, -1.4f, -1.5f,
    -1.6f, -1.7f, -1.8f, -1.9f, -2, -2.1f, -2.2f, -2.3f, -2.4f, -2.5f,
    -2.7f, -2.8f, -2.9f, -3, -3.1f, -3.2f, -3.4f, -3.5f, -3.6f, -3.7f,
    -3.9f, -4, -4.1f, -4.2f, -4.4f, -4.5f, -4.6f, -4.7f, -4.9f, -5,
};

// --- Rider pose ---------------------------------------------------------------
//
// One rider body model ("@rider_body.jm") dresses every bike, so the points
// on the rider body, the limb lengths and the bind pose are the same in every
// row; only the grips and the foot rests follow each bike's geometry.
//
// The rider is a 150 lb adult of about 5 ft 9 in in the attack position:
// standing on the foot rests with the knees bent, torso leaning 40 degrees
// forward, elbows out. The rider body (a sphere at rider_position) is the
// rider's middle. The hip joints sit 0.7 ft below and 0.25 ft behind it,
// 0.6 ft apart; the shoulders 1.7 ft up the leaning torso from the hips
// (1.3 ft up and 1.1 ft forward), 1.2 ft apart; the head centre 0.7 ft above
// and 0.25 ft ahead of the shoulders. The grips are the ends of a 2.4 ft bar
// 0.75 ft above and 0.3 ft behind the steering head (the fork upper body);
// the foot rests 1.4 ft apart, 0.4 ft below and just ahead of the swingarm
// pivot. Limbs: upper arm 1.0 ft, forearm to the grip 1.15 ft, thigh 1.55 ft,
// shin to the sole 1.65 ft.
//
// On every row at rest the shoulders are about 1.77 ft from the grips and
// the hips 2.65 ft from the foot rests, well inside 0.95 of the arm and the
// leg, so elbows and knees stay bent; and the chest is over 1.25 ft from the
// bar, so the drawing's lean-back rule leaves a rider at rest alone.
//
// The bind pose (the bone pivots the body model is built around) is this
// rider standing on the first row at rest with the throttle closed: the
// shoulders, hips and hip centre as above, and the elbows and knees placed
// by the same two-segment rule and bend points the drawing uses.

constexpr float k_pose_head[3] = {0, 1.3f, -1.1f};
constexpr float k_pose_shoulder[3] = {0.6f, 0.6f, -0.85f};  // right; left is -x
constexpr float k_pose_hip[3] = {0.3f, -0.7f, 0.25f};
constexpr float k_pose_grip[3] = {1.2f, 0.75f, 0.3f};           // from the fork upper
constexpr float k_pose_foot_rest[3] = {0.7f, -0.4f, -0.08f};    // from the swingarm pivot
constexpr float k_upper_arm = 1.0f, k_forearm = 1.15f, k_thigh = 1.55f, k_shin = 1.65f;

struct vec3 {
  double x, y, z;
};
constexpr vec3 operator+(vec3 a, vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
constexpr vec3 operator-(vec3 a, vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
constexpr vec3 operator*(vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
constexpr double dot(vec3 a, vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
constexpr vec3 point(const float* p) { return {p[0], p[1], p[2]}; }

constexpr double const_sqrt(double v) {
  if (v <= 0) return 0;
  double x = v > 1 ? v : 1;
  for (int i = 0; i < 64; ++i) x = 0.5 * (x + v / x);
  return x;
}

// The middle joint of a two-segment limb from s (length a) to e (length b),
// bent toward the bend point; the reach is held to 0.95 of the limb.
constexpr vec3 limb_joint(vec3 s, double a, vec3 e, double b, vec3 bend) {
  vec3 to_end = e - s;
  double d = const_sqrt(dot(to_end, to_end));
  vec3 u = to_end * (1 / d);
  if (d > 0.95 * (a + b)) d = 0.95 * (a + b);
  double x = (a * a + d * d - b * b) / (2 * d);
  double h = const_sqrt(a * a - x * x);
  vec3 v = bend - s;
  v = v - u * dot(v, u);
  v = v * (1 / const_sqrt(dot(v, v)));
  return s + u * x + v * h;
}

// Grips, foot rests and limb lengths from the row's geometry, with the
// shared rider-body points; leaves the bone pivots alone.
constexpr void set_rider_pose(bike_model& m) {
  float* g = m.pose_geometry;
  for (int i = 0; i < 3; ++i) {
    float mirror = i == 0 ? -1.0f : 1.0f;  // x flips for the left side
    g[BIKE_POSE_HEAD + i] = k_pose_head[i];
    g[BIKE_POSE_LEFT_SHOULDER + i] = mirror * k_pose_shoulder[i];
    g[BIKE_POSE_RIGHT_SHOULDER + i] = k_pose_shoulder[i];
    g[BIKE_POSE_LEFT_HIP + i] = mirror * k_pose_hip[i];
    g[BIKE_POSE_RIGHT_HIP + i] = k_pose_hip[i];
    g[BIKE_POSE_LEFT_GRIP + i] = mirror * k_pose_grip[i];
    g[BIKE_POSE_RIGHT_GRIP + i] = k_pose_grip[i];
    float rest = m.swingarm_pivot[i] - m.frame_position[i];
    g[BIKE_POSE_LEFT_FOOT_REST + i] = (i == 0 ? 0 : rest) + mirror * k_pose_foot_rest[i];
    g[BIKE_POSE_RIGHT_FOOT_REST + i] = (i == 0 ? 0 : rest) + k_pose_foot_rest[i];
  }
  g[BIKE_POSE_UPPER_ARM] = k_upper_arm;
  g[BIKE_POSE_FOREARM] = k_forearm;
  g[BIKE_POSE_THIGH] = k_thigh;
  g[BIKE_POSE_SHIN] = k_shin;
}

// The bind pose on row m at rest: every point in the rider body's
// coordinates, bodies unrotated.
constexpr void set_bind_pose(bike_model& m) {
  float* g = m.pose_geometry;
  vec3 rider = point(m.rider_position);
  vec3 ls = point(g + BIKE_POSE_LEFT_SHOULDER), rs = point(g + BIKE_POSE_RIGHT_SHOULDER);
  vec3 lh = point(g + BIKE_POSE_LEFT_HIP), rh = point(g + BIKE_POSE_RIGHT_HIP);
  vec3 fork = point(m.fork_upper_position) - rider;
  vec3 lg = fork + point(g + BIKE_POSE_LEFT_GRIP), rg = fork + point(g + BIKE_POSE_RIGHT_GRIP);
  vec3 frame = point(m.frame_position) - rider;
  vec3 lf = frame + point(g + BIKE_POSE_LEFT_FOOT_REST);
  vec3 rf = frame + point(g + BIKE_POSE_RIGHT_FOOT_REST);
  vec3 shoulders = rs - ls, grips = rg - lg;
  double up_left = shoulders.y > 0 ? shoulders.y : 0;
  double up_right = -shoulders.y > 0 ? -shoulders.y : 0;
  vec3 left_elbow_bend = vec3{ls.x - 0.5, ls.y - 1 - 1.5 * up_left, ls.z + 2} - grips;
  vec3 right_elbow_bend = vec3{rs.x + 0.5, rs.y - 0.9 - 1.5 * up_right, rs.z + 2} + grips;
  vec3 bones[BIKE_POSE_BONE_COUNT] = {
      limb_joint(ls, k_upper_arm, lg, k_forearm, left_elbow_bend),
      limb_joint(rs, k_upper_arm, rg, k_forearm, right_elbow_bend),
      ls,
      rs,
      limb_joint(lh, k_thigh, lf, k_shin, vec3{lh.x - 0.5, lh.y, lh.z - 2}),
      limb_joint(rh, k_thigh, rf, k_shin, vec3{rh.x + 0.5, rh.y, rh.z - 2}),
      lh,
      rh,
      vec3{0, lh.y, lh.z},
  };
  for (int b = 0; b < BIKE_POSE_BONE_COUNT; ++b) {
    g[BIKE_POSE_BONE_CENTRES + 3 * b + 0] = (float)bones[b].x;
    g[BIKE_POSE_BONE_CENTRES + 3 * b + 1] = (float)bones[b].y;
    g[BIKE_POSE_BONE_CENTRES + 3 * b + 2] = (float)bones[b].z;
  }
}

// --- Class rows ---------------------------------------------------------------

// Part files of the bike parts are named by a stem ("@cr125_frame.jm"); the
// collision shapes, wheels and rider parts are shared by every bike.
constexpr void set_part_files(bike_model& m, const char* stem) {
  char(*f)[BIKE_PART_FILE_SIZE] = m.part_files;
  set_text(f[BIKE_PART_FRAME_MODEL], BIKE_PART_FILE_SIZE, "@", stem, "_frame.jm");
  set_text(f[BIKE_PART_FRAME_SHAPE], BIKE_PART_FILE_SIZE, "@generic_frame.shp");
  set_text(f[BIKE_PART_BIKE_SKIN], BIKE_PART_FILE_SIZE, "@", stem, ".png");
  set_text(f[BIKE_PART_FORK_UPPER_MODEL], BIKE_PART_FILE_SIZE, "@", stem, "_fork_upper.jm");
  set_text(f[BIKE_PART_FORK_UPPER_SHAPE], BIKE_PART_FILE_SIZE, "@generic_fork_upper.shp");
  set_text(f[BIKE_PART_FORK_LOWER_MODEL], BIKE_PART_FILE_SIZE, "@", stem, "_fork_lower.jm");
  set_text(f[BIKE_PART_FORK_LOWER_SHAPE], BIKE_PART_FILE_SIZE, "@generic_fork_lower.shp");
  set_text(f[BIKE_PART_SWINGARM_MODEL], BIKE_PART_FILE_SIZE, "@", stem, "_swingarm.jm");
  set_text(f[BIKE_PART_SWINGARM_SHAPE], BIKE_PART_FILE_SIZE, "@generic_swingarm.shp");
  set_text(f[BIKE_PART_FRONT_WHEEL_MODEL], BIKE_PART_FILE_SIZE, "@front_wheel.jm");
  set_text(f[BIKE_PART_FRONT_WHEEL_SHAPE], BIKE_PART_FILE_SIZE, "@front_wheel.shp");
  set_text(f[BIKE_PART_REAR_WHEEL_MODEL], BIKE_PART_FILE_SIZE, "@rear_wheel.jm");
  set_text(f[BIKE_PART_REAR_WHEEL_SHAPE], BIKE_PART_FILE_SIZE, "@rear_wheel.shp");
  set_text(f[BIKE_PART_WHEELS_SKIN], BIKE_PART_FILE_SIZE, "@wheels.png");
  set_text(f[BIKE_PART_HEAD_MODEL], BIKE_PART_FILE_SIZE, "@rider_head.jm");
  set_text(f[BIKE_PART_HELMET_SKIN], BIKE_PART_FILE_SIZE, "@rider_head.png");
  set_text(f[BIKE_PART_BODY_MODEL], BIKE_PART_FILE_SIZE, "@rider_body.jm");
  set_text(f[BIKE_PART_BODY_FP_MODEL], BIKE_PART_FILE_SIZE, "@rider_body_fp.jm");
  set_text(f[BIKE_PART_RIDER_SHAPE], BIKE_PART_FILE_SIZE, "@generic_rider.shp");
  set_text(f[BIKE_PART_GEAR_SKIN], BIKE_PART_FILE_SIZE, "@rider_body.png");
  set_text(f[BIKE_PART_SIDE_PLATES_MODEL], BIKE_PART_FILE_SIZE, "@", stem, "_side_plates.jm");
  set_text(f[BIKE_PART_FRONT_PLATE_MODEL], BIKE_PART_FILE_SIZE, "@", stem, "_front_plate.jm");
  set_text(f[BIKE_PART_RIDER_PLATE_MODEL], BIKE_PART_FILE_SIZE, "@rider_plate.jm");
}

// The 125 two-stroke, "cr125"; the other classes start from it.
constexpr bike_model class_125() {
  bike_model m{};
  set_text(m.name, BIKE_NAME_SIZE, "cr125");
  set_text(m.bike_class, BIKE_NAME_SIZE, "125");
  set3(m.front_wheel_position, 0, 1.09f, 1.11f);
  m.front_rim_radius = 0.8333f;
  m.front_tyre_radius = 0.3333f;
  m.front_tyre_mass = 0.40625f;
  m.front_hub_radius = 0.5f;
  m.front_hub_mass = 0.15625f;
  set3(m.rear_wheel_position, 0, 1.04f, 6.0f);
  m.rear_rim_radius = 0.8333f;
  m.rear_tyre_radius = 0.3333f;
  m.rear_tyre_mass = 0.46875f;
  m.rear_hub_radius = 0.5f;
  m.rear_hub_mass = 0.3125f;
  set3(m.frame_position, 0, 1.98f, 3.6f);
  m.frame_mass = 3.65375f;
  set3(m.frame_size, 0.8333f, 1.6667f, 1.6667f);
  set3(m.fork_upper_position, 0, 2.9f, 2.16f);
  set3(m.swingarm_position, 0, 1.34f, 4.99f);
  set3(m.swingarm_pivot, 0, 1.6f, 4.08f);
  set3(m.fork_lower_position, 0, 1.77f, 1.59f);
  m.fork_leg_spacing = 0.8333f;
  m.fork_length = 3.0f;
  m.fork_mass = 0.7397f;
  m.fork_spring_rate_range[0] = 322.5f;
  m.fork_spring_rate_range[1] = 860.1f;
  m.fork_preload_range[0] = 0;
  m.fork_preload_range[1] = 0.0833f;
  m.fork_oil_level_range[0] = 0.4167f;
  m.fork_oil_level_range[1] = 0.25f;
  m.fork_compression_damping = 60;
  m.fork_slow_compression_damping = 60;
  m.fork_rebound_damping = 30;
  m.fork_slow_rebound_damping = 30;
  m.fork_travel = 1.0f;
  m.swingarm_mass = 0.541875f;
  m.shock_spring_rate_range[0] = 1814.3f;
  m.shock_spring_rate_range[1] = 4502.2f;
  m.shock_preload_range[0] = 0;
  m.shock_preload_range[1] = 0.3333f;
  m.shock_compression_damping = 800;
  m.shock_slow_compression_damping = 200;
  m.shock_rebound_damping = 600;
  m.shock_slow_rebound_damping = 150;
  set_floats(m.shock_linkage, {0.2837f, 0.4134f, 0.5303f, 0.75f, 0.3150f, 0.4605f, 0.6070f});
  m.primary_ratio = 3.15f;
  m.front_sprocket = 13;
  m.rear_sprocket = 52;
  set_floats(m.gear_ratios, {2.357143f, 1.866667f, 1.578947f, 1.294118f, 1.133333f, -1});
  set_floats(m.engine_constants, {0.004883f, 7500, 0.75f});
  set_floats(m.closed_throttle_torque, k_125_closed);
  set_floats(m.full_throttle_torque, k_125_full);
  set_floats(m.rpm_thresholds, {9400, 12000, 12750});
  set3(m.rider_axis, 0, 0.0833f, 0.0833f);
  // rider_position.y is also how far the rider reaches down to the ground
  // (the rider joint's anchor height): 4.5 ft on every bike.
  set3(m.rider_position, 0, 4.5f, 4.12f);
  m.rider_travel_min = -0.6667f;
  m.rider_travel_max = 0.5f;
  m.rider_mass = 4.6875f;
  set_part_files(m, "cr125");
  set_rider_pose(m);
  set_bind_pose(m);
  return m;
}

constexpr bike_model k_class_125 = class_125();

// Bind pose of the shared rider body model: the rider on the first row.
constexpr void copy_bind_pose(bike_model& m) {
  for (int i = BIKE_POSE_BONE_CENTRES; i < BIKE_POSE_FLOATS; ++i)
    m.pose_geometry[i] = k_class_125.pose_geometry[i];
}

// The 250 two-stroke, "yz250(2012)": a slightly longer, heavier chassis and
// a stronger, lower-revving engine.
constexpr bike_model class_250() {
  bike_model m = k_class_125;
  set_text(m.name, BIKE_NAME_SIZE, "yz250(2012)");
  set_text(m.bike_class, BIKE_NAME_SIZE, "250");
  set3(m.front_wheel_position, 0, 1.09f, 1.08f);
  set3(m.rear_wheel_position, 0, 1.04f, 6.02f);
  m.frame_mass = 3.95f;
  set3(m.fork_upper_position, 0, 2.9f, 2.13f);
  set3(m.swingarm_position, 0, 1.34f, 5.0f);
  set3(m.fork_lower_position, 0, 1.77f, 1.56f);
  m.fork_mass = 0.75f;
  m.fork_spring_rate_range[0] = 345;
  m.fork_spring_rate_range[1] = 915;
  m.fork_compression_damping = 65;
  m.fork_slow_compression_damping = 65;
  m.fork_rebound_damping = 32;
  m.fork_slow_rebound_damping = 32;
  m.swingarm_mass = 0.55f;
  m.shock_spring_rate_range[0] = 1950;
  m.shock_spring_rate_range[1] = 4800;
  m.shock_compression_damping = 850;
  m.shock_slow_compression_damping = 210;
  m.shock_rebound_damping = 640;
  m.shock_slow_rebound_damping = 160;
  m.primary_ratio = 3.0f;
  m.front_sprocket = 14;
  m.rear_sprocket = 50;
  set_floats(m.gear_ratios, {1.866667f, 1.470588f, 1.2f, 1.043478f, 0.916667f, -1});
  set_floats(m.engine_constants, {0.0068f, 9000, 0.75f});
  set_floats(m.closed_throttle_torque, k_250_closed);
  set_floats(m.full_throttle_torque, k_250_full);
  set_floats(m.rpm_thresholds, {6000, 9000, 10500});
  set_part_files(m, "yz250v2012");
  set_rider_pose(m);
  copy_bind_pose(m);
  return m;
}

// The 250 four-stroke: heavier than the two-strokes, broad torque, high revs.
constexpr bike_model class_250f() {
  bike_model m = k_class_125;
  set_text(m.name, BIKE_NAME_SIZE, "crf250(2017)");
  set_text(m.bike_class, BIKE_NAME_SIZE, "250f");
  set3(m.front_wheel_position, 0, 1.1f, 1.08f);
  set3(m.rear_wheel_position, 0, 1.04f, 6.03f);
  m.frame_mass = 4.12f;
  set3(m.fork_upper_position, 0, 2.91f, 2.13f);
  set3(m.swingarm_position, 0, 1.34f, 5.01f);
  set3(m.fork_lower_position, 0, 1.78f, 1.56f);
  m.fork_mass = 0.76f;
  m.fork_spring_rate_range[0] = 365;
  m.fork_spring_rate_range[1] = 960;
  m.fork_compression_damping = 66;
  m.fork_slow_compression_damping = 66;
  m.fork_rebound_damping = 33;
  m.fork_slow_rebound_damping = 33;
  m.swingarm_mass = 0.56f;
  m.shock_spring_rate_range[0] = 2050;
  m.shock_spring_rate_range[1] = 5050;
  m.shock_compression_damping = 880;
  m.shock_slow_compression_damping = 220;
  m.shock_rebound_damping = 660;
  m.shock_slow_rebound_damping = 165;
  m.primary_ratio = 3.35f;
  m.front_sprocket = 13;
  m.rear_sprocket = 49;
  set_floats(m.gear_ratios, {2.266667f, 1.8125f, 1.529412f, 1.3125f, 1.15f, -1});
  set_floats(m.engine_constants, {0.0058f, 8500, 0.75f});
  set_floats(m.closed_throttle_torque, k_250f_closed);
  set_floats(m.full_throttle_torque, k_250f_full);
  set_floats(m.rpm_thresholds, {8000, 12000, 13500});
  set_part_files(m, "crf250v2017");
  set_rider_pose(m);
  copy_bind_pose(m);
  return m;
}

// The 450 four-stroke, "crf450(2018)": the longest, heaviest chassis, tall
// gearing, and a heavier rider in the saddle.
constexpr bike_model class_450f() {
  bike_model m = k_class_125;
  set_text(m.name, BIKE_NAME_SIZE, "crf450(2018)");
  set_text(m.bike_class, BIKE_NAME_SIZE, "450f");
  set3(m.front_wheel_position, 0, 1.1f, 1.03f);
  set3(m.rear_wheel_position, 0, 1.04f, 6.06f);
  set3(m.frame_position, 0, 2.0f, 3.58f);
  m.frame_mass = 4.735f;
  set3(m.frame_size, 0.8333f, 1.75f, 1.75f);
  set3(m.fork_upper_position, 0, 2.93f, 2.09f);
  set3(m.swingarm_position, 0, 1.34f, 5.02f);
  set3(m.swingarm_pivot, 0, 1.61f, 4.07f);
  set3(m.fork_lower_position, 0, 1.79f, 1.51f);
  m.fork_mass = 0.78f;
  m.fork_spring_rate_range[0] = 400;
  m.fork_spring_rate_range[1] = 1060;
  m.fork_compression_damping = 72;
  m.fork_slow_compression_damping = 72;
  m.fork_rebound_damping = 36;
  m.fork_slow_rebound_damping = 36;
  m.swingarm_mass = 0.58f;
  m.shock_spring_rate_range[0] = 2300;
  m.shock_spring_rate_range[1] = 5600;
  m.shock_compression_damping = 950;
  m.shock_slow_compression_damping = 240;
  m.shock_rebound_damping = 720;
  m.shock_slow_rebound_damping = 180;
  m.primary_ratio = 2.3214f;
  m.front_sprocket = 13;
  m.rear_sprocket = 49;
  set_floats(m.gear_ratios, {2.428571f, 1.923077f, 1.6f, 1.391304f, 1.227273f, -1});
  set_floats(m.engine_constants, {0.0098f, 11000, 0.75f});
  set_floats(m.closed_throttle_torque, k_450f_closed);
  set_floats(m.full_throttle_torque, k_450f_full);
  set_floats(m.rpm_thresholds, {6000, 10500, 12000});
  m.rider_mass = 5.4688f;
  set_part_files(m, "crf450v2018");
  set_rider_pose(m);
  copy_bind_pose(m);
  return m;
}

// The 50, "rs50cr": the cr125's chassis and part files around a small
// six-speed engine; softer springs for the lighter bike.
constexpr bike_model class_50() {
  bike_model m = k_class_125;
  set_text(m.name, BIKE_NAME_SIZE, "rs50cr");
  set_text(m.bike_class, BIKE_NAME_SIZE, "50");
  m.frame_mass = 2.9f;
  for (int i = 0; i < 2; ++i) {
    m.fork_spring_rate_range[i] *= 0.8f;
    m.shock_spring_rate_range[i] *= 0.8f;
  }
  m.primary_ratio = 5.0f;
  m.front_sprocket = 12;
  m.rear_sprocket = 55;
  set_floats(m.gear_ratios, {3.0909f, 2.0f, 1.5f, 1.2f, 1.0455f, 0.9565f});
  set_floats(m.engine_constants, {0.0012f, 1200, 1.0f});
  set_floats(m.closed_throttle_torque, k_50_closed);
  set_floats(m.full_throttle_torque, k_50_full);
  set_floats(m.rpm_thresholds, {8500, 11500, 12500});
  return m;
}

constexpr bike_model k_class_250 = class_250();
constexpr bike_model k_class_250f = class_250f();
constexpr bike_model k_class_450f = class_450f();
constexpr bike_model k_class_50 = class_50();

// --- Rows ---------------------------------------------------------------------

// A torque curve stretched along the engine speed by rpm_scale (a scale
// above 1 moves the peak up the range), read between points as the engine
// step reads it, and scaled in strength.
constexpr void resample_curve(float (&dst)[BIKE_TORQUE_POINTS],
                              const float (&src)[BIKE_TORQUE_POINTS], float rpm_scale,
                              float strength) {
  for (int i = 0; i < BIKE_TORQUE_POINTS; ++i) {
    float x = (float)i / rpm_scale;
    if (x > BIKE_TORQUE_POINTS - 1) x = BIKE_TORQUE_POINTS - 1;
    int a = (int)x;
    int b = a + 1 < BIKE_TORQUE_POINTS ? a + 1 : a;
    float f = x - (float)a;
    dst[i] = (src[a] + (src[b] - src[a]) * f) * strength;
  }
}

constexpr float round_rpm(float rpm) { return (float)(int)(rpm / 50 + 0.5f) * 50; }

// One bike from its class row:
// - name, and the stem of its bike part files;
// - frame_mass: the frame without the rider; both spring ranges scale with
//   it against the class row, so a lighter bike gets softer springs;
// - wheelbase: ft added behind the swingarm pivot (the rear wheel moves back
//   by it, the swingarm body by half of it);
// - primary ratio and stock sprockets;
// - torque: strength of the full-throttle curve against the class row;
// - rpm: the engine's speed range against the class row (both curves
//   stretch, and the shift and limit speeds with them, to the nearest 50).
constexpr bike_model bike_row(const bike_model& base, const char* name, const char* stem,
                              float frame_mass, float wheelbase, float primary,
                              float front_sprocket, float rear_sprocket, float torque,
                              float rpm) {
  bike_model m = base;
  set_text(m.name, BIKE_NAME_SIZE, name);
  set_part_files(m, stem);
  float stiffness = frame_mass / base.frame_mass;
  m.frame_mass = frame_mass;
  for (int i = 0; i < 2; ++i) {
    m.fork_spring_rate_range[i] = base.fork_spring_rate_range[i] * stiffness;
    m.shock_spring_rate_range[i] = base.shock_spring_rate_range[i] * stiffness;
  }
  m.rear_wheel_position[2] = base.rear_wheel_position[2] + wheelbase;
  m.swingarm_position[2] = base.swingarm_position[2] + wheelbase / 2;
  m.primary_ratio = primary;
  m.front_sprocket = front_sprocket;
  m.rear_sprocket = rear_sprocket;
  resample_curve(m.full_throttle_torque, base.full_throttle_torque, rpm, torque);
  resample_curve(m.closed_throttle_torque, base.closed_throttle_torque, rpm, 1);
  for (int i = 0; i < 3; ++i) m.rpm_thresholds[i] = round_rpm(base.rpm_thresholds[i] * rpm);
  set_rider_pose(m);
  return m;
}

// Class rows by their short names, so the table below reads as a table.
constexpr const bike_model& c125 = k_class_125;
constexpr const bike_model& c250 = k_class_250;
constexpr const bike_model& c250f = k_class_250f;
constexpr const bike_model& c450f = k_class_450f;
constexpr const bike_model& c50 = k_class_50;

}  // namespace

// clang-format off
constexpr bike_model bike_models[BIKE_MODEL_COUNT] = {
  //       class  name               part stem          frame   wheelbase primary front rear torque rpm
  bike_row(c125,  "cr125",           "cr125",           3.65375f,  0.00f, 3.15f,   13, 52, 1.00f, 1.00f),
  bike_row(c250f, "crf250(2007)",    "crf250v2007",     4.24f,     0.02f, 3.35f,   13, 48, 0.93f, 0.96f),
  bike_row(c250f, "crf250(2008)",    "crf250v2008",     4.23f,     0.02f, 3.35f,   13, 48, 0.94f, 0.96f),
  bike_row(c250f, "crf250(2009)",    "crf250v2009",     4.20f,     0.02f, 3.35f,   13, 49, 0.95f, 0.97f),
  bike_row(c250f, "crf250(2013)",    "crf250v2013",     4.17f,     0.01f, 3.35f,   13, 49, 0.97f, 0.99f),
  bike_row(c250f, "crf250(2016)",    "crf250v2016",     4.14f,     0.01f, 3.35f,   13, 49, 0.99f, 1.00f),
  bike_row(c250f, "crf250(2017)",    "crf250v2017",     4.12f,     0.00f, 3.35f,   13, 49, 1.00f, 1.00f),
  bike_row(c250f, "crf250(2018)",    "crf250v2018",     4.08f,     0.00f, 3.35f,   13, 50, 1.03f, 1.03f),
  bike_row(c250,  "cr250(2007)",     "cr250v2007",      4.02f,     0.03f, 3.05f,   14, 49, 0.97f, 0.98f),
  bike_row(c450f, "crf450(2011)",    "crf450v2011",     4.88f,     0.02f, 2.3214f, 13, 48, 0.94f, 0.97f),
  bike_row(c450f, "crf450(2013)",    "crf450v2013",     4.84f,     0.01f, 2.3214f, 13, 48, 0.96f, 0.98f),
  bike_row(c450f, "crf450(2016)",    "crf450v2016",     4.80f,     0.01f, 2.3214f, 13, 49, 0.98f, 0.99f),
  bike_row(c450f, "crf450(2017)",    "crf450v2017",     4.78f,     0.00f, 2.3214f, 13, 49, 0.99f, 1.00f),
  bike_row(c450f, "crf450(2018)",    "crf450v2018",     4.735f,    0.00f, 2.3214f, 13, 49, 1.00f, 1.00f),
  bike_row(c125,  "kx125",           "kx125",           3.69f,     0.03f, 3.20f,   13, 51, 0.98f, 1.01f),
  bike_row(c250f, "kx250f(2007)",    "kx250fv2007",     4.27f,     0.03f, 3.30f,   13, 48, 0.94f, 0.96f),
  bike_row(c250f, "kx250f(2008)",    "kx250fv2008",     4.26f,     0.03f, 3.30f,   13, 48, 0.95f, 0.96f),
  bike_row(c250f, "kx250f(2009)",    "kx250fv2009",     4.23f,     0.03f, 3.30f,   13, 49, 0.96f, 0.97f),
  bike_row(c250f, "kx250f(2013)",    "kx250fv2013",     4.20f,     0.02f, 3.30f,   13, 49, 0.98f, 0.99f),
  bike_row(c250f, "kx250f(2016)",    "kx250fv2016",     4.16f,     0.02f, 3.30f,   13, 50, 1.00f, 1.00f),
  bike_row(c250f, "kx250f(2017)",    "kx250fv2017",     4.13f,     0.02f, 3.30f,   13, 50, 1.01f, 1.01f),
  bike_row(c250f, "kx250f(2018)",    "kx250fv2018",     4.10f,     0.01f, 3.30f,   13, 50, 1.03f, 1.02f),
  bike_row(c250,  "kx250(2006)",     "kx250v2006",      4.05f,     0.04f, 3.00f,   14, 50, 0.96f, 0.99f),
  bike_row(c450f, "kx450f(2011)",    "kx450fv2011",     4.92f,     0.03f, 2.30f,   13, 50, 0.95f, 0.97f),
  bike_row(c450f, "kx450f(2013)",    "kx450fv2013",     4.88f,     0.03f, 2.30f,   13, 50, 0.96f, 0.98f),
  bike_row(c450f, "kx450f(2016)",    "kx450fv2016",     4.84f,     0.02f, 2.30f,   13, 50, 0.98f, 0.99f),
  bike_row(c450f, "kx450f(2017)",    "kx450fv2017",     4.82f,     0.02f, 2.30f,   13, 50, 0.99f, 0.99f),
  bike_row(c450f, "kx450f(2018)",    "kx450fv2018",     4.79f,     0.02f, 2.30f,   13, 50, 1.01f, 1.00f),
  bike_row(c125,  "rm125",           "rm125",           3.71f,     0.02f, 3.10f,   13, 50, 0.99f, 0.99f),
  bike_row(c250f, "rmz250(2007)",    "rmz250v2007",     4.29f,     0.02f, 3.40f,   13, 48, 0.93f, 0.95f),
  bike_row(c250f, "rmz250(2008)",    "rmz250v2008",     4.28f,     0.02f, 3.40f,   13, 48, 0.94f, 0.95f),
  bike_row(c250f, "rmz250(2009)",    "rmz250v2009",     4.25f,     0.02f, 3.40f,   13, 49, 0.95f, 0.96f),
  bike_row(c250f, "rmz250(2013)",    "rmz250v2013",     4.22f,     0.02f, 3.40f,   13, 49, 0.97f, 0.98f),
  bike_row(c250f, "rmz250(2016)",    "rmz250v2016",     4.19f,     0.01f, 3.40f,   13, 49, 0.98f, 0.99f),
  bike_row(c250f, "rmz250(2017)",    "rmz250v2017",     4.17f,     0.01f, 3.40f,   13, 49, 0.99f, 1.00f),
  bike_row(c250f, "rmz250(2018)",    "rmz250v2018",     4.14f,     0.01f, 3.40f,   13, 50, 1.01f, 1.01f),
  bike_row(c250,  "rm250(2008)",     "rm250v2008",      4.06f,     0.02f, 3.00f,   14, 49, 0.98f, 0.98f),
  bike_row(c450f, "rmz450(2011)",    "rmz450v2011",     4.93f,     0.02f, 2.35f,   13, 49, 0.94f, 0.96f),
  bike_row(c450f, "rmz450(2013)",    "rmz450v2013",     4.90f,     0.02f, 2.35f,   13, 49, 0.95f, 0.97f),
  bike_row(c450f, "rmz450(2016)",    "rmz450v2016",     4.87f,     0.02f, 2.35f,   13, 49, 0.96f, 0.98f),
  bike_row(c450f, "rmz450(2017)",    "rmz450v2017",     4.85f,     0.01f, 2.35f,   13, 49, 0.97f, 0.98f),
  bike_row(c450f, "rmz450(2018)",    "rmz450v2018",     4.82f,     0.01f, 2.35f,   13, 49, 0.98f, 0.99f),
  bike_row(c125,  "yz125",           "yz125",           3.66f,    -0.02f, 3.15f,   13, 51, 1.02f, 1.02f),
  bike_row(c250f, "yz250f(2007)",    "yz250fv2007",     4.25f,    -0.01f, 3.35f,   13, 48, 0.94f, 0.96f),
  bike_row(c250f, "yz250f_se(2006)", "yz250f_sev2006",  4.22f,    -0.01f, 3.35f,   13, 49, 0.96f, 0.97f),
  bike_row(c250f, "yz250f(2008)",    "yz250fv2008",     4.24f,    -0.01f, 3.35f,   13, 48, 0.95f, 0.96f),
  bike_row(c250f, "yz250f(2009)",    "yz250fv2009",     4.21f,    -0.01f, 3.35f,   13, 49, 0.96f, 0.97f),
  bike_row(c250f, "yz250f(2013)",    "yz250fv2013",     4.18f,    -0.02f, 3.35f,   13, 49, 0.98f, 0.99f),
  bike_row(c250f, "yz250f(2016)",    "yz250fv2016",     4.15f,    -0.02f, 3.35f,   13, 49, 1.00f, 1.01f),
  bike_row(c250f, "yz250f(2017)",    "yz250fv2017",     4.12f,    -0.02f, 3.35f,   13, 49, 1.02f, 1.02f),
  bike_row(c250f, "yz250f(2018)",    "yz250fv2018",     4.09f,    -0.02f, 3.35f,   13, 50, 1.03f, 1.03f),
  bike_row(c250,  "yz250(2012)",     "yz250v2012",      3.95f,     0.00f, 3.00f,   14, 50, 1.00f, 1.00f),
  bike_row(c450f, "yz450f(2011)",    "yz450fv2011",     4.90f,    -0.01f, 2.30f,   13, 48, 0.95f, 0.97f),
  bike_row(c450f, "yz450f(2013)",    "yz450fv2013",     4.86f,    -0.01f, 2.30f,   13, 48, 0.96f, 0.98f),
  bike_row(c450f, "yz450f(2016)",    "yz450fv2016",     4.82f,    -0.02f, 2.30f,   13, 49, 0.98f, 0.99f),
  bike_row(c450f, "yz450f(2017)",    "yz450fv2017",     4.80f,    -0.02f, 2.30f,   13, 49, 0.99f, 1.00f),
  bike_row(c450f, "yz450f(2018)",    "yz450fv2018",     4.76f,    -0.02f, 2.30f,   13, 49, 1.01f, 1.00f),
  bike_row(c125,  "125sx",           "125sx",           3.56f,     0.01f, 3.20f,   13, 50, 1.04f, 1.03f),
  bike_row(c250f, "250sxf(2009)",    "250sxfv2009",     4.10f,     0.01f, 3.40f,   13, 50, 0.97f, 0.99f),
  bike_row(c250f, "250sxf(2013)",    "250sxfv2013",     4.04f,     0.01f, 3.40f,   13, 50, 0.99f, 1.02f),
  bike_row(c250f, "250sxf(2016)",    "250sxfv2016",     3.99f,     0.01f, 3.40f,   13, 50, 1.02f, 1.04f),
  bike_row(c250f, "250sxf(2017)",    "250sxfv2017",     3.97f,     0.01f, 3.40f,   13, 51, 1.03f, 1.05f),
  bike_row(c250f, "250sxf(2018)",    "250sxfv2018",     3.95f,     0.01f, 3.40f,   13, 51, 1.04f, 1.05f),
  bike_row(c250,  "250sx(2012)",     "250sxv2012",      3.86f,     0.01f, 3.05f,   14, 50, 1.02f, 1.01f),
  bike_row(c450f, "350sxf(2011)",    "350sxfv2011",     4.55f,     0.01f, 2.40f,   13, 50, 0.80f, 1.08f),
  bike_row(c250f, "350sxf(2013)",    "350sxfv2013",     4.22f,     0.01f, 3.10f,   13, 49, 1.27f, 0.92f),
  bike_row(c250f, "350sxf(2017)",    "350sxfv2017",     4.18f,     0.01f, 3.10f,   13, 49, 1.30f, 0.93f),
  bike_row(c450f, "450sxf(2011)",    "450sxfv2011",     4.70f,     0.01f, 2.30f,   13, 50, 0.96f, 0.98f),
  bike_row(c450f, "450sxf(2013)",    "450sxfv2013",     4.64f,     0.01f, 2.30f,   13, 50, 0.98f, 0.99f),
  bike_row(c450f, "450sxf(2016)",    "450sxfv2016",     4.58f,     0.01f, 2.30f,   13, 50, 1.00f, 1.00f),
  bike_row(c450f, "450sxf(2017)",    "450sxfv2017",     4.55f,     0.01f, 2.30f,   13, 50, 1.01f, 1.00f),
  bike_row(c450f, "450sxf(2018)",    "450sxfv2018",     4.53f,     0.01f, 2.30f,   13, 50, 1.02f, 1.01f),
  bike_row(c250f, "fc250(2017)",     "fc250v2017",      4.03f,     0.02f, 3.40f,   13, 51, 1.03f, 1.05f),
  bike_row(c250f, "fc250(2018)",     "fc250v2018",      4.01f,     0.02f, 3.40f,   13, 51, 1.04f, 1.05f),
  bike_row(c450f, "fc450(2017)",     "fc450v2017",      4.60f,     0.02f, 2.30f,   13, 50, 1.01f, 1.00f),
  bike_row(c450f, "fc450(2018)",     "fc450v2018",      4.58f,     0.02f, 2.30f,   13, 50, 1.02f, 1.01f),
  // The 50s wear the 125 chassis and parts of their maker, so their
  // wheelbase follows that 125's row.
  bike_row(c50,   "rs50cr",          "cr125",           2.90f,     0.00f, 5.00f,   12, 55, 1.00f, 1.00f),
  bike_row(c50,   "rs50kx",          "kx125",           2.93f,     0.03f, 5.00f,   12, 54, 0.98f, 1.01f),
  bike_row(c50,   "rs50rm",          "rm125",           2.95f,     0.02f, 5.00f,   12, 55, 0.99f, 0.99f),
  bike_row(c50,   "rs50yz",          "yz125",           2.91f,    -0.02f, 5.00f,   12, 54, 1.02f, 1.02f),
};
// clang-format on
