// bkdata bike OUTDIR: the sample bikes and rider in OUTDIR: each bike's part
// models and skin (one set per part-file stem), the shared wheels, the
// rider's head and skinned body models and the default skins. Everything is
// built from the bike table's geometry, in each body's own coordinates, so
// wheels, forks and swingarm sit where the physics puts them. The parts'
// collision shapes come from "bkdata shapes".
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "assets/image.h"
#include "assets/jm_writer.h"
#include "bike/bike_model.h"
#include "tools/bkdata/commands.h"

namespace {

struct vec {
  float x, y, z;
};
vec operator+(vec a, vec b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
vec operator-(vec a, vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
vec operator*(vec a, float s) { return {a.x * s, a.y * s, a.z * s}; }
vec cross(vec a, vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
float length(vec a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }
vec unit(vec a) { return a * (1 / length(a)); }
vec at(const float* p) { return {p[0], p[1], p[2]}; }

// A rotation as three columns: world = x * v.x + y * v.y + z * v.z.
struct turn {
  vec x, y, z;
};
const turn no_turn = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
vec apply(const turn& t, vec v) { return t.x * v.x + t.y * v.y + t.z * v.z; }

// Turns the model's y axis onto direction d.
turn y_onto(vec d) {
  vec y = unit(d);
  vec ref = std::fabs(y.z) < 0.9f ? vec{0, 0, 1} : vec{1, 0, 0};
  vec x = unit(cross(y, ref));
  return {x, y, cross(x, y)};
}

void move_array(float* a, int count, const turn& t, vec offset) {
  for (int i = 0; i < count; i++) {
    vec v = apply(t, at(a + 3 * i)) + offset;
    a[3 * i] = v.x;
    a[3 * i + 1] = v.y;
    a[3 * i + 2] = v.z;
  }
}

// Turns and moves a rigid sub-mesh in place.
model* place(model* m, const turn& t, vec offset) {
  if (!m) return nullptr;
  move_array(m->positions, m->vertex_count, t, offset);
  move_array(m->normals, m->vertex_count, t, {0, 0, 0});
  move_array(m->tangents, m->vertex_count, t, {0, 0, 0});
  return m;
}

// The level of detail being written: 0 the full models; N a coarser
// variant "<name>_lodN.jm" the game switches to beyond 2^N feet. At 32 feet
// a rider is about 50 pixels tall at 640x480 and a tyre some 15 across,
// where a tyre of 10 segments looks as round as one of 32 (off by under
// half a pixel); a software renderer pays for each small triangle about
// what it pays for a block of pixels, so these riders cost what their
// triangles do.
int lod_level = 0;
int segments(int full) {
  if (lod_level == 0) return full;
  const int part = lod_level < 6 ? full / 3 : full / 4;
  return part > 4 ? part : 4;
}

// A rod of radius r from a to b.
model* rod(vec a, vec b, float r, const jm_material* material, const char* name) {
  return place(jm_cylinder(r, length(b - a), segments(12), material, name), y_onto(b - a), (a + b) * 0.5f);
}

// Polished metal: a lit steel surface with a faint reflection laid over it.
// A reflective sub-mesh alone is only added light (see-through, and white
// against a bright sky), so the reflection always rides on a lit copy of
// the same surface and adds a quarter of the environment's brightness.
const jm_material steel = {40, {0.55f, 0.55f, 0.6f, 1}};
const jm_material chrome = {-1, {0.8f, 0.8f, 0.85f, 0.25f}};
model* metal_rod(vec a, vec b, float r, const char* name) {
  model* m = rod(a, b, r, &steel, name);
  if (m) m->next = rod(a, b, r, &chrome, name);
  return m;
}

model* box(vec size, vec centre, const jm_material* material, const char* name) {
  const float s[3] = {size.x, size.y, size.z};
  return place(jm_box(s, material, name), no_turn, centre);
}

// A wheel turning about x: tyre torus on the rim circle and a steel hub.
model* wheel(float rim, float tyre, float hub, const jm_material* rubber, const char* name) {
  const turn y_to_x = {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}};
  model* m = place(jm_torus(rim, tyre, segments(32), segments(12), rubber, name), y_to_x, {0, 0, 0});
  if (m) m->next = place(jm_cylinder(hub, 0.4f, segments(16), &steel, name), y_to_x, {0, 0, 0});
  return m;
}

// The same sub-mesh skinned wholly to one of the rider's nine bones.
model* skinned(model* rigid, int bone) {
  if (!rigid) return nullptr;
  const int v = rigid->vertex_count;
  model* m = model_alloc_submesh(v, rigid->triangle_count, BIKE_POSE_BONE_COUNT, rigid->name);
  if (m) {
    for (int half = 0; half < 2; half++) {
      memcpy(m->positions + 3 * v * half, rigid->positions, sizeof(float) * 3 * v);
      memcpy(m->normals + 3 * v * half, rigid->normals, sizeof(float) * 3 * v);
      memcpy(m->tangents + 3 * v * half, rigid->tangents, sizeof(float) * 3 * v);
    }
    memcpy(m->texcoords, rigid->texcoords, sizeof(float) * 2 * v);
    memcpy(m->triangles, rigid->triangles, sizeof(int) * 3 * rigid->triangle_count);
    memcpy(m->colour, rigid->colour, sizeof m->colour);
    m->shininess = rigid->shininess;
    for (int i = 0; i < v; i++) {
      m->weights[4 * i] = 1;
      m->bone_indices[4 * i] = bone;
    }
  }
  model_free_submeshes(rigid);
  return m;
}

// Links the sub-meshes (nulls skipped) into one chain.
model* chain(std::vector<model*> parts) {
  model* first = nullptr;
  model* last = nullptr;
  for (model* p : parts) {
    if (!p) continue;
    if (!first) first = p;
    if (last) last->next = p;
    last = p;
    while (last->next) last = last->next;
  }
  return first;
}

bool same_material(const model* a, const model* b) {
  return a->shininess == b->shininess && a->bone_count == b->bone_count &&
         std::memcmp(a->colour, b->colour, sizeof a->colour) == 0;
}

// One sub-mesh holding every sub-mesh of the chain from first on that has
// first's material, in chain order; null when out of memory.
model* merge_material(const model* first) {
  int vertices = 0, triangles = 0;
  for (const model* c = first; c; c = c->next)
    if (same_material(c, first)) {
      vertices += c->vertex_count;
      triangles += c->triangle_count;
    }
  model* m = model_alloc_submesh(vertices, triangles, first->bone_count, first->name);
  if (!m) return nullptr;
  std::memcpy(m->colour, first->colour, sizeof m->colour);
  m->shininess = first->shininess;
  m->reflective = first->reflective;
  const int halves = first->bone_count > 0 ? 2 : 1;
  int v = 0, t = 0;
  for (const model* c = first; c; c = c->next) {
    if (!same_material(c, first)) continue;
    const int n = c->vertex_count;
    for (int half = 0; half < halves; half++) {
      std::memcpy(m->positions + 3 * (vertices * half + v), c->positions + 3 * n * half, sizeof(float) * 3 * n);
      std::memcpy(m->normals + 3 * (vertices * half + v), c->normals + 3 * n * half, sizeof(float) * 3 * n);
      std::memcpy(m->tangents + 3 * (vertices * half + v), c->tangents + 3 * n * half, sizeof(float) * 3 * n);
    }
    std::memcpy(m->texcoords + 2 * v, c->texcoords, sizeof(float) * 2 * n);
    if (halves == 2) {
      std::memcpy(m->weights + 4 * v, c->weights, sizeof(float) * 4 * n);
      std::memcpy(m->bone_indices + 4 * v, c->bone_indices, sizeof(int) * 4 * n);
    }
    for (int i = 0; i < 3 * c->triangle_count; i++) m->triangles[3 * t + i] = c->triangles[i] + v;
    v += n;
    t += c->triangle_count;
  }
  return m;
}

// The chain with the sub-meshes of one material merged into one, the
// reflective ones last (the lit pass stops at the first reflective
// sub-mesh). Each sub-mesh is a draw call of its own, and a software
// renderer pays for every draw call about what a few hundred triangles
// cost; a rider is a dozen models of a few materials each.
model* merge_alike(model* m) {
  std::vector<model*> lit, shine;
  for (const model* c = m; c; c = c->next) {
    bool seen = false;
    for (const model* d = m; d != c && !seen; d = d->next) seen = same_material(c, d);
    if (seen) continue;
    model* merged = merge_material(c);
    if (!merged) {
      for (model* x : lit) model_free_submeshes(x);
      for (model* x : shine) model_free_submeshes(x);
      model_free_submeshes(m);
      return nullptr;
    }
    (merged->shininess == static_cast<float>(model_mode_reflective) ? shine : lit).push_back(merged);
  }
  model_free_submeshes(m);
  lit.insert(lit.end(), shine.begin(), shine.end());
  for (size_t i = 0; i + 1 < lit.size(); i++) lit[i]->next = lit[i + 1];
  return lit.empty() ? nullptr : lit[0];
}

int write_model(const std::string& dir, const char* file, model* m, int parts_expected,
                std::vector<model*> parts) {
  int made = 0;
  for (model* p : parts) made += p ? 1 : 0;
  int ok = made == parts_expected && m;
  if (ok) {
    m = merge_alike(m);
    ok = m != nullptr;
  } else if (m) {
    model_free_submeshes(m);
    m = nullptr;
  }
  const std::string path = dir + "/" + file;
  if (ok) ok = jm_write_file(m, path.c_str());
  if (m) model_free_submeshes(m);
  if (!ok) std::fprintf(stderr, "bkdata bike: can't write %s\n", path.c_str());
  return ok;
}

// The part files name "@file"; the generator writes "file" in the folder.
const char* file_of(const bike_model& row, int part) {
  const char* name = row.part_files[part];
  return name[0] == '@' ? name + 1 : name;
}

// The file of a part at the level being written: "stem_lodN.jm" beside
// "stem.jm".
std::string level_file(const bike_model& row, int part) {
  std::string file = file_of(row, part);
  if (lod_level == 0) return file;
  const size_t dot = file.rfind('.');
  return file.substr(0, dot) + "_lod" + std::to_string(lod_level) + file.substr(dot);
}

// The bike's own parts (named by its stem) and, with shared set, the parts
// every bike uses.
int write_models(const std::string& dir, const bike_model& row, bool shared) {
  const jm_material paint = {20, {0.9f, 0.9f, 0.9f, 1}};
  const jm_material rubber = {2, {0.15f, 0.15f, 0.15f, 1}};
  const jm_material cloth = {4, {1, 1, 1, 1}};
  const jm_material plate = {0, {1, 1, 1, 1}};
  const float* g = row.pose_geometry;
  int ok = 1;

  // Frame, at frame_position: the mass box, the seat and the tank.
  const vec fs = at(row.frame_size);
  const vec upper = at(row.fork_upper_position), lower = at(row.fork_lower_position);
  // The boxes are few triangles: no coarser variants. The rods get one
  // beyond 32 feet (the same at 64, so none there).
  if (lod_level == 0) {
    std::vector<model*> p = {box(fs * 0.8f, {0, 0, 0}, &paint, "frame"),
                             box({0.7f, 0.2f, 2.2f}, {0, fs.y * 0.5f, 0.5f}, &paint, "seat"),
                             box({0.9f, 0.5f, 0.9f}, {0, fs.y * 0.45f, -0.7f}, &paint, "tank")};
    ok &= write_model(dir, file_of(row, BIKE_PART_FRAME_MODEL), chain(p), 3, p);
  }
  // Fork upper, at fork_upper_position: the legs' upper halves along the
  // steering axis and the bar between the grips.
  const vec axis_down = unit(lower - upper);
  const float half = row.fork_leg_spacing / 2, leg_r = row.fork_leg_spacing / 8;
  if (lod_level <= 5) {
    const vec top = axis_down * -0.3f, bottom = lower - upper;
    std::vector<model*> p = {metal_rod(top + vec{half, 0, 0}, bottom + vec{half, 0, 0}, leg_r, "left leg"),
                             metal_rod(top + vec{-half, 0, 0}, bottom + vec{-half, 0, 0}, leg_r, "right leg"),
                             metal_rod(at(g + BIKE_POSE_LEFT_GRIP), at(g + BIKE_POSE_RIGHT_GRIP), 0.06f, "bar")};
    ok &= write_model(dir, level_file(row, BIKE_PART_FORK_UPPER_MODEL).c_str(), chain(p), 3, p);
  }
  // Fork lower, at fork_lower_position: the sliders down to the axle.
  const vec front = at(row.front_wheel_position);
  if (lod_level <= 5) {
    const vec axle = front - lower;
    std::vector<model*> p = {metal_rod(axis_down * -0.4f + vec{half, 0, 0}, axle + vec{half, 0, 0}, leg_r * 1.2f, "left"),
                             metal_rod(axis_down * -0.4f + vec{-half, 0, 0}, axle + vec{-half, 0, 0}, leg_r * 1.2f, "right")};
    ok &= write_model(dir, level_file(row, BIKE_PART_FORK_LOWER_MODEL).c_str(), chain(p), 2, p);
  }
  // Swingarm, at swingarm_position: two arms from the pivot to the rear axle.
  if (lod_level <= 5) {
    const vec arm = at(row.swingarm_position);
    const vec pivot = at(row.swingarm_pivot) - arm, axle = at(row.rear_wheel_position) - arm;
    const vec side = {fs.x / 2, 0, 0};
    std::vector<model*> p = {rod(pivot + side, axle + side, fs.x / 8, &paint, "left"),
                             rod(pivot - side, axle - side, fs.x / 8, &paint, "right")};
    ok &= write_model(dir, level_file(row, BIKE_PART_SWINGARM_MODEL).c_str(), chain(p), 2, p);
  }
  if (shared) {
    std::vector<model*> p = {wheel(row.front_rim_radius, row.front_tyre_radius, row.front_hub_radius * 0.5f,
                                   &rubber, "front wheel")};
    ok &= write_model(dir, level_file(row, BIKE_PART_FRONT_WHEEL_MODEL).c_str(), p[0], 1, p);
    p = {wheel(row.rear_rim_radius, row.rear_tyre_radius, row.rear_hub_radius * 0.5f, &rubber, "rear wheel")};
    ok &= write_model(dir, level_file(row, BIKE_PART_REAR_WHEEL_MODEL).c_str(), p[0], 1, p);
  }
  // Number plates: on both sides of the frame and ahead of the bar.
  if (lod_level == 0) {
    std::vector<model*> p = {box({0.02f, 0.6f, 0.9f}, {fs.x / 2 + 0.05f, 0.2f, 0.9f}, &plate, "left"),
                             box({0.02f, 0.6f, 0.9f}, {-fs.x / 2 - 0.05f, 0.2f, 0.9f}, &plate, "right")};
    ok &= write_model(dir, file_of(row, BIKE_PART_SIDE_PLATES_MODEL), chain(p), 2, p);
    p = {box({0.9f, 0.75f, 0.02f}, {0, 0.35f, -0.35f}, &plate, "front plate")};
    ok &= write_model(dir, file_of(row, BIKE_PART_FRONT_PLATE_MODEL), p[0], 1, p);
  }
  // Beyond 64 feet only the wheels get coarser still.
  if (!shared || lod_level > 5) return ok;
  // Head, drawn at the head point: helmet and visor.
  {
    std::vector<model*> p = {jm_capsule(0.42f, 0.2f, segments(16), segments(8), 1, &cloth, "helmet"),
                             box({0.5f, 0.08f, 0.3f}, {0, 0.3f, -0.45f}, &cloth, "visor")};
    // A rigid model: the helmet's single-bone weights go.
    if (p[0]) {
      model* rigid = model_alloc_submesh(p[0]->vertex_count, p[0]->triangle_count, 0, "helmet");
      if (rigid) {
        const int v = p[0]->vertex_count;
        memcpy(rigid->positions, p[0]->positions + 3 * v, sizeof(float) * 3 * v);
        memcpy(rigid->normals, p[0]->normals + 3 * v, sizeof(float) * 3 * v);
        memcpy(rigid->tangents, p[0]->tangents + 3 * v, sizeof(float) * 3 * v);
        memcpy(rigid->texcoords, p[0]->texcoords, sizeof(float) * 2 * v);
        memcpy(rigid->triangles, p[0]->triangles, sizeof(int) * 3 * p[0]->triangle_count);
        memcpy(rigid->colour, p[0]->colour, sizeof rigid->colour);
        rigid->shininess = p[0]->shininess;
      }
      model_free_submeshes(p[0]);
      p[0] = rigid;
    }
    ok &= write_model(dir, level_file(row, BIKE_PART_HEAD_MODEL).c_str(), chain(p), 2, p);
  }

  // The rider body, skinned on the nine bones in their bind pose (rider
  // body coordinates): forearms to the grips, upper arms, shins to the foot
  // rests, thighs, and the torso from the hip centre to the shoulders.
  const vec* bones = reinterpret_cast<const vec*>(g + BIKE_POSE_BONE_CENTRES);
  const vec rider = at(row.rider_position);
  const vec left_grip = upper - rider + at(g + BIKE_POSE_LEFT_GRIP);
  const vec right_grip = upper - rider + at(g + BIKE_POSE_RIGHT_GRIP);
  const vec frame = at(row.frame_position) - rider;
  const vec left_foot = frame + at(g + BIKE_POSE_LEFT_FOOT_REST);
  const vec right_foot = frame + at(g + BIKE_POSE_RIGHT_FOOT_REST);
  const vec shoulders = (at(g + BIKE_POSE_LEFT_SHOULDER) + at(g + BIKE_POSE_RIGHT_SHOULDER)) * 0.5f;
  auto limbs = [&](bool torso) {
    std::vector<model*> p = {
        skinned(rod(bones[0], left_grip, 0.15f, &cloth, "left forearm"), 0),
        skinned(rod(bones[1], right_grip, 0.15f, &cloth, "right forearm"), 1),
        skinned(rod(bones[2], bones[0], 0.18f, &cloth, "left upper arm"), 2),
        skinned(rod(bones[3], bones[1], 0.18f, &cloth, "right upper arm"), 3),
        skinned(rod(bones[4], left_foot, 0.2f, &cloth, "left shin"), 4),
        skinned(rod(bones[5], right_foot, 0.2f, &cloth, "right shin"), 5),
        skinned(rod(bones[6], bones[4], 0.25f, &cloth, "left thigh"), 6),
        skinned(rod(bones[7], bones[5], 0.25f, &cloth, "right thigh"), 7),
    };
    if (torso) p.push_back(skinned(rod(bones[8], shoulders, 0.5f, &cloth, "torso"), 8));
    return p;
  };
  {
    std::vector<model*> p = limbs(true);
    ok &= write_model(dir, level_file(row, BIKE_PART_BODY_MODEL).c_str(), chain(p), 9, p);
    // The first-person body is only ever seen from on the bike, and the
    // rider's plate is one box: neither needs a coarser variant.
    if (lod_level != 0) return ok;
    // The first-person body leaves out the torso, which would fill the view.
    p = limbs(false);
    ok &= write_model(dir, file_of(row, BIKE_PART_BODY_FP_MODEL), chain(p), 8, p);
    // The plate on the rider's back, carried by the torso bone: laid along
    // the leaning torso, just clear of its surface, so it shows.
    const vec along = unit(shoulders - bones[8]);
    const vec out_back = cross({1, 0, 0}, along);
    const vec back = bones[8] + (shoulders - bones[8]) * 0.55f + out_back * 0.53f;
    const float plate_size[3] = {0.7f, 0.6f, 0.02f};
    p = {skinned(place(jm_box(plate_size, &plate, "rider plate"), turn{{1, 0, 0}, along, out_back}, back), 8)};
    ok &= write_model(dir, file_of(row, BIKE_PART_RIDER_PLATE_MODEL), p[0], 1, p);
  }
  return ok;
}

// A skin: a base colour with darker stripes, so the parts' texture
// coordinates show.
int write_skin(const std::string& dir, const char* file, const uint8_t colour[3]) {
  const int size = 64;
  std::vector<uint8_t> px(size * size * 3);
  for (int y = 0; y < size; y++)
    for (int x = 0; x < size; x++) {
      const bool stripe = ((x + y) / 8) % 4 == 0;
      for (int c = 0; c < 3; c++) px[(y * size + x) * 3 + c] = stripe ? colour[c] / 2 : colour[c];
    }
  const std::string path = dir + "/" + file;
  if (image_write_png8(path.c_str(), px.data(), size, size, 3)) return 1;
  std::fprintf(stderr, "bkdata bike: can't write %s\n", path.c_str());
  return 0;
}

// Paint by make, from the start of the bike's name.
const uint8_t* brand_colour(const char* name) {
  static const struct {
    const char* prefix;
    uint8_t colour[3];
  } brands[] = {
      {"cr", {200, 30, 30}},  {"kx", {60, 170, 40}},   {"rm", {220, 200, 30}},
      {"yz", {30, 60, 190}},  {"fc", {235, 235, 235}}, {"rs", {120, 120, 130}},
  };
  for (const auto& b : brands)
    if (strncmp(name, b.prefix, 2) == 0) return b.colour;
  static const uint8_t orange[3] = {240, 110, 10};  // the sx and sxf bikes
  return orange;
}

}  // namespace

int bkdata_bike(int argc, char** argv) {
  if (argc != 1) return bkdata_usage();
  const std::string dir = argv[0];
  // Wheels, rider and shapes are shared by every row and built on the
  // first; each bike's own parts (one set per stem) on its own geometry.
  const bike_model& row = bike_models[0];
  int ok = write_models(dir, row, true);
  // Coarser wheels, head, body and rods for riders further away, and the
  // wheels once more further still.
  for (int level : {5, 6}) {
    lod_level = level;
    ok &= write_models(dir, row, true);
  }
  lod_level = 0;
  std::vector<std::string> stems;
  for (const bike_model& bike : bike_models) {
    const std::string skin = file_of(bike, BIKE_PART_BIKE_SKIN);
    bool seen = false;
    for (const std::string& s : stems) seen |= s == skin;
    if (seen) continue;
    stems.push_back(skin);
    if (&bike != &row)
      for (int level : {0, 5}) {
        lod_level = level;
        ok &= write_models(dir, bike, false);
      }
    lod_level = 0;
    ok &= write_skin(dir, skin.c_str(), brand_colour(bike.name));
  }
  static const uint8_t wheels_grey[3] = {70, 70, 75};
  static const uint8_t helmet_white[3] = {230, 230, 230}, gear_blue[3] = {40, 60, 160};
  ok &= write_skin(dir, file_of(row, BIKE_PART_WHEELS_SKIN), wheels_grey);
  ok &= write_skin(dir, file_of(row, BIKE_PART_HELMET_SKIN), helmet_white);
  ok &= write_skin(dir, file_of(row, BIKE_PART_GEAR_SKIN), gear_blue);
  // Coloured variants of the skins: the bike setup's skin lists offer them,
  // and the robot roster dresses its riders in them, so a field of robots
  // shows several looks. The roster in race/race_reset.cpp names these files.
  static const struct {
    const char* file;
    uint8_t colour[3];
  } variants[] = {
      {"yz250fv2017-green.png", {40, 170, 60}},  {"cr125-black.png", {30, 30, 30}},
      {"rider_body-red.png", {190, 30, 30}},     {"rider_body-green.png", {40, 150, 60}},
      {"rider_body-orange.png", {235, 120, 20}}, {"rider_body-white.png", {225, 225, 225}},
      {"rider_body-black.png", {35, 35, 40}},    {"rider_body-purple.png", {120, 50, 160}},
      {"rider_head-yellow.png", {230, 210, 30}}, {"rider_head-red.png", {200, 35, 35}},
      {"rider_head-blue.png", {40, 80, 200}},    {"rider_head-black.png", {30, 30, 35}},
      {"wheels-gold.png", {200, 160, 40}},       {"wheels-black.png", {25, 25, 25}},
      {"wheels-red.png", {170, 30, 30}},
  };
  for (const auto& v : variants) ok &= write_skin(dir, v.file, v.colour);
  // Each robot bike's graphics in black and in white beside its make's own.
  static const uint8_t bike_black[3] = {30, 30, 30}, bike_white[3] = {235, 235, 235};
  for (const char* stem : {"crf250v2008", "kx250fv2008", "rmz250v2008", "yz250fv2008", "kx125", "yz125",
                           "rm125", "yz250f_sev2006"}) {
    ok &= write_skin(dir, (std::string(stem) + "-black.png").c_str(), bike_black);
    ok &= write_skin(dir, (std::string(stem) + "-white.png").c_str(), bike_white);
  }
  ok &= write_skin(dir, "cr125-white.png", bike_white);
  return ok ? 0 : 1;
}
