#pragma once
// The game's GLSL programs. Slot 0 is the fixed-function pipeline; slots 1
// to 7 are lit, env, norm_lit, norm_env, norm_spec_lit, terrain_normals and
// terrain. Everything can also be drawn with slot 0 alone.

enum {
  shader_fixed = 0,
  shader_lit = 1,
  shader_env = 2,
  shader_norm_lit = 3,
  shader_norm_env = 4,
  shader_norm_spec_lit = 5,
  shader_terrain_normals = 6,
  shader_terrain = 7,
  shader_slot_count = 8,
  shader_max_bones = 32,  // MAX_BONE of the sources
};

struct shader_program_set {
  unsigned program[shader_slot_count];
  unsigned vertex[shader_slot_count];
  unsigned fragment[shader_slot_count];
  int current;
  // Switches that really changed the program; the scene clears it per frame.
  int switch_count;
  // Uniform locations, looked up once per program (-1 = not found).
  int bones_looked_up[shader_slot_count];
  int nbones[shader_slot_count];
  int bone_c[shader_slot_count];
  int bone_t[shader_slot_count];
  int bone_r[shader_slot_count];
  int envmat_looked_up[shader_slot_count];
  int envmat[shader_slot_count];
};

extern shader_program_set shader_programs;

// Set at start-up: the programs are in use (see shaders_activate).
extern int shaders_active;

// Builds the seven programs in slot order and binds their samplers. 1 when
// all built; 0, with no program left, when the shader extensions are
// missing or one fails to compile or link.
int shader_build_programs();

// Compiles and links one slot; a non-empty info log is logged (warnings
// too). On failure every program is deleted and the result is 0.
int shader_compile_program(int slot, const char* vertex_source, const char* fragment_source,
                           const char* name);

// Makes program `index` current (0 = fixed function). Indices above 7 and
// the current one do nothing and are not counted.
void shader_use(int index);

// The program handle of slot 1..7, else 0.
unsigned shader_program(int index);

// A 3 x 3 matrix given row after row becomes "envmat" of env and norm_env;
// leaves program 0 current.
void shader_set_env_matrix(const float rows[9]);

// Bones of the current program: centres and translations are 3 floats each,
// rotations 9 floats each, column after column. Nothing happens with the
// fixed function current; more than 32 bones are cut to 32 with a log line.
void shader_set_bones(int count, const float* centres, const float* translations,
                      const float* rotations);

// Detaches and deletes every shader and program object.
void shader_delete_all();

// The start-up rule: shaders are active when the "use_shader" setting is on,
// the driver has the fragment-shader extension and at least 4 texture units
// (gl_load_extensions ran before), and shader_build_programs succeeds; the
// programs are built only when the first two hold. Returns shaders_active.
int shaders_activate(int use_shader);

// The source texts of a slot (1..7), for tests and tools; null otherwise.
const char* shader_vertex_source(int slot);
const char* shader_fragment_source(int slot);
const char* shader_name(int slot);
