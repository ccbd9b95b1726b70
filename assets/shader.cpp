// The GLSL programs: sources, building, switching and uniforms.
//
// The sources are written for the GLSL of the ARB shader-object extensions
// (no #version line) and read the fixed-function state (lights, material,
// fog, matrices) so that shaded and unshaded drawing share one set-up. The
// three object families share their texts and differ by #defines.
#include "assets/shader.h"

#include <cstring>

#include "assets/gl_ext.h"
#include "platform/log.h"

shader_program_set shader_programs;
int shaders_active;

// ---------------------------------------------------------------------------
// Sources

#define SHADER_HEADER "#define MAX_BONE 32\n"

// Helpers every fragment stage may use. pow(0, e) is undefined in GLSL and
// the default shininess is 0, so a zero base gives no highlight.
#define SHADER_FRAGMENT_COMMON                                            \
  "float spec_power(float r, float e) {\n"                                \
  "  return r > 0.0 ? pow(r, e) : 0.0;\n"                                 \
  "}\n"                                                                   \
  "vec3 fogged(vec3 c) {\n"                                               \
  "  float z = gl_FragCoord.z / gl_FragCoord.w;\n"                        \
  "  float f = clamp(exp2(-1.4426950408889634 * gl_Fog.density * z), 0.0, 1.0);\n" \
  "  return mix(gl_Fog.color.rgb, c, f);\n"                               \
  "}\n"

// Vertex stage of the object programs. LIGHTING: the lit family (whose
// light and material terms are the same at every vertex, so the fragment
// stage reads them itself), else the tint colour. NORMAL_MAP: the tangent
// (texture coordinate 1). TEXCOORD: texture coordinate 0 is passed on.
// Bones: weights in texture coordinate 2, bone indices in texture
// coordinate 3.
//
// A software renderer sets up and stores every varying of every vertex and
// triangle as four components, which is much of what a model costs it: the
// texture coordinate rides in the spare fourth components of the normal
// and the eye-space point.
static const char object_vertex_body[] =
    "uniform int nbones;\n"
    "uniform vec3 bone_c[MAX_BONE];\n"
    "uniform vec3 bone_t[MAX_BONE];\n"
    "uniform mat3 bone_r[MAX_BONE];\n"
    "varying vec4 normal_s;\n"
    "varying vec4 viewer_t;\n"
    "#ifdef NORMAL_MAP\n"
    "varying vec3 tangent;\n"
    "#endif\n"
    "#ifndef LIGHTING\n"
    "varying vec4 tint;\n"
    "#endif\n"
    "vec3 sum_p;\n"
    "vec3 sum_n;\n"
    "vec3 sum_t;\n"
    "void add_bone(float weight, float bone) {\n"
    "  int b = int(clamp(bone, 0.0, float(MAX_BONE - 1)));\n"
    "  mat3 r = bone_r[b];\n"
    "  sum_p += weight * (r * (gl_Vertex.xyz - bone_c[b]) + bone_t[b]);\n"
    "  sum_n += weight * (r * gl_Normal);\n"
    "#ifdef NORMAL_MAP\n"
    "  sum_t += weight * (r * gl_MultiTexCoord1.xyz);\n"
    "#endif\n"
    "}\n"
    "void main() {\n"
    "#ifndef LIGHTING\n"
    "  tint = gl_Color;\n"
    "#endif\n"
    "#ifdef TEXCOORD\n"
    "  normal_s.w = gl_MultiTexCoord0.s;\n"
    "  viewer_t.w = gl_MultiTexCoord0.t;\n"
    "#else\n"
    "  normal_s.w = 0.0;\n"
    "  viewer_t.w = 0.0;\n"
    "#endif\n"
    "  if (nbones == 0) {\n"
    "    normal_s.xyz = normalize(gl_NormalMatrix * gl_Normal);\n"
    "#ifdef NORMAL_MAP\n"
    "    tangent = normalize(gl_NormalMatrix * gl_MultiTexCoord1.xyz);\n"
    "#endif\n"
    "    vec4 eye = gl_ModelViewMatrix * gl_Vertex;\n"
    "    viewer_t.xyz = eye.xyz / eye.w;\n"
    "    gl_Position = ftransform();\n"
    "  } else {\n"
    "    sum_p = vec3(0.0);\n"
    "    sum_n = vec3(0.0);\n"
    "    sum_t = vec3(0.0);\n"
    "    add_bone(gl_MultiTexCoord2.x, gl_MultiTexCoord3.x);\n"
    "    add_bone(gl_MultiTexCoord2.y, gl_MultiTexCoord3.y);\n"
    "    add_bone(gl_MultiTexCoord2.z, gl_MultiTexCoord3.z);\n"
    "    add_bone(gl_MultiTexCoord2.w, gl_MultiTexCoord3.w);\n"
    "    vec4 p = vec4(sum_p, 1.0);\n"
    "    viewer_t.xyz = (gl_ModelViewMatrix * p).xyz;\n"
    "    normal_s.xyz = normalize(gl_NormalMatrix * sum_n);\n"
    "#ifdef NORMAL_MAP\n"
    "    tangent = normalize(gl_NormalMatrix * sum_t);\n"
    "#endif\n"
    "    gl_Position = gl_ModelViewProjectionMatrix * p;\n"
    "  }\n"
    "}\n";

// The varyings every object program's fragment stage reads, the texture
// coordinate unpacked, and the normal, bent by the normal map in the
// tangent frame when there is one.
#define SHADER_SURFACE_NORMAL                                              \
  "varying vec4 normal_s;\n"                                               \
  "varying vec4 viewer_t;\n"                                               \
  "#ifdef NORMAL_MAP\n"                                                    \
  "uniform sampler2D nmap;\n"                                              \
  "varying vec3 tangent;\n"                                                \
  "#endif\n"                                                               \
  "vec2 texcoord() {\n"                                                    \
  "  return vec2(normal_s.w, viewer_t.w);\n"                               \
  "}\n"                                                                    \
  "vec3 surface_normal() {\n"                                              \
  "  vec3 n = normalize(normal_s.xyz);\n"                                  \
  "#ifdef NORMAL_MAP\n"                                                    \
  "  vec3 t = normalize(tangent - n * dot(n, tangent));\n"                 \
  "  vec3 b = cross(n, t);\n"                                              \
  "  vec3 m = texture2D(nmap, texcoord()).rgb * 2.0 - 1.0;\n"              \
  "  n = normalize(mat3(t, b, n) * m);\n"                                  \
  "#endif\n"                                                               \
  "  return n;\n"                                                          \
  "}\n"

// Fragment stage of lit, norm_lit (NORMAL_MAP) and norm_spec_lit (SPEC_MAP).
static const char lit_fragment_body[] =
    "uniform sampler2D tex;\n"
    "#ifdef SPEC_MAP\n"
    "uniform sampler2D smap;\n"
    "#endif\n"
    SHADER_SURFACE_NORMAL SHADER_FRAGMENT_COMMON
    "void main() {\n"
    "  vec3 light = normalize(gl_LightSource[0].position.xyz);\n"
    "  vec4 diffuse = gl_FrontMaterial.diffuse * gl_LightSource[0].diffuse;\n"
    "  vec4 ambient = gl_FrontMaterial.ambient * gl_LightSource[0].ambient\n"
    "               + gl_LightModel.ambient * gl_FrontMaterial.ambient;\n"
    "  ambient.a = min(ambient.a, 1.0);\n"
    "  vec3 n = surface_normal();\n"
    "  float ndl = dot(n, light);\n"
    "  float rdl = max(dot(reflect(normalize(viewer_t.xyz), n), light), 0.0);\n"
    "  if (ndl < 0.0) {\n"
    "    ndl = 0.0;\n"
    "    rdl = 0.0;\n"
    "  }\n"
    "  vec4 colour = ambient + vec4(diffuse.rgb * ndl, 0.0);\n"
    "  colour *= texture2D(tex, texcoord());\n"
    "#ifdef SPEC_MAP\n"
    "  vec4 s = texture2D(smap, texcoord());\n"
    "  float e = s.a * 128.0 + 0.125;\n"
    "  if (e >= 127.875) e = gl_FrontMaterial.shininess;\n"
    "  colour.rgb += s.rgb * gl_LightSource[0].specular.rgb * spec_power(rdl, e);\n"
    "#else\n"
    "  colour.rgb += gl_FrontMaterial.specular.rgb * gl_LightSource[0].specular.rgb\n"
    "              * spec_power(rdl, gl_FrontMaterial.shininess);\n"
    "#endif\n"
    "  colour.rgb = fogged(colour.rgb);\n"
    "  gl_FragColor = colour;\n"
    "}\n";

// Fragment stage of env and norm_env (NORMAL_MAP): the reflected view ray,
// turned by envmat, looks up a polar map: straight up at the centre, the
// horizon at radius 0.25, straight down at radius 0.5.
static const char env_fragment_body[] =
    "uniform sampler2D tex;\n"
    "uniform mat3 envmat;\n"
    "varying vec4 tint;\n" SHADER_SURFACE_NORMAL
    "void main() {\n"
    "  vec3 v = normalize(envmat * reflect(viewer_t.xyz, surface_normal()));\n"
    "  float l = length(v.xz);\n"
    "  vec2 d = l > 0.0 ? v.xz / l : vec2(0.0);\n"
    "  vec2 t = d * acos(clamp(v.y, -1.0, 1.0)) * 0.15915494309189535;\n"
    "  gl_FragColor = texture2D(tex, t + 0.5) * tint;\n"
    "}\n";

static const char terrain_normals_vertex_body[] =
    "varying vec2 tc;\n"
    "void main() {\n"
    "  gl_TexCoord[0] = gl_MultiTexCoord0;\n"
    "  vec4 p = gl_TextureMatrix[1] * gl_Vertex;\n"
    "  tc = p.xy / p.w;\n"
    "  gl_Position = ftransform();\n"
    "}\n";

// Composes a decal's detail normal map onto the ground's packed normal map
// (x and z in red and blue, the base length in green, y rebuilt).
static const char terrain_normals_fragment_body[] =
    "uniform sampler2D tex;\n"
    "uniform sampler2D base;\n"
    "varying vec2 tc;\n"
    "void main() {\n"
    "  vec2 d = normalize(vec2(dFdx(gl_TexCoord[0].s), -dFdy(gl_TexCoord[0].s)));\n"
    "  mat2 m = mat2(d, vec2(-d.y, d.x));\n"
    "  vec4 t = texture2D(tex, gl_TexCoord[0].st);\n"
    "  vec3 n = t.xzy * 2.0 - 1.0;\n"
    "  n.x = -n.x;\n"
    "  n.xz = m * n.xz;\n"
    "  vec4 b = texture2D(base, tc);\n"
    "  float baselen = b.y;\n"
    "  vec3 bn = b.xyz * 2.0 - 1.0;\n"
    "  bn.y = sqrt(max(1.0 - bn.z * bn.z - bn.x * bn.x, 0.0));\n"
    "  vec3 rz = normalize(cross(vec3(1.0, 0.0, 0.0), bn));\n"
    "  vec3 rx = normalize(cross(bn, rz));\n"
    "  n = normalize(mat3(rx, bn, rz) * n);\n"
    "  const float edge = 126.0 / 128.0;\n"
    "  if (dot(n.xz, n.xz) > edge * edge) {\n"
    "    n.y = 0.0;\n"
    "    n = normalize(n) * edge;\n"
    "  }\n"
    "  gl_FragColor = vec4((n.x + 1.0) * 0.5, baselen, (n.z + 1.0) * 0.5, t.a);\n"
    "}\n";

static const char terrain_vertex_body[] =
    "varying vec3 light;\n"
    "varying vec4 diffuse;\n"
    "varying vec4 ambient;\n"
    "varying vec3 viewer;\n"
    "void main() {\n"
    "  light = normalize(gl_LightSource[0].position.xyz);\n"
    "  diffuse = gl_FrontMaterial.diffuse * gl_LightSource[0].diffuse;\n"
    "  ambient = gl_FrontMaterial.ambient * gl_LightSource[0].ambient;\n"
    "  ambient.a = min(ambient.a, 1.0);\n"
    "  gl_TexCoord[0] = gl_MultiTexCoord0;\n"
    "  vec4 eye = gl_ModelViewMatrix * gl_Vertex;\n"
    "  viewer = eye.xyz / eye.w;\n"
    "  gl_Position = ftransform();\n"
    "}\n";

// The ground: normal from the packed normal map (its green holds the
// length, which dims both the diffuse and the specular terms), specular
// strength in the specular map's red and exponent in its green.
static const char terrain_fragment_body[] =
    "uniform sampler2D tex;\n"
    "uniform sampler2D nmap;\n"
    "uniform sampler2D smap;\n"
    "varying vec3 light;\n"
    "varying vec4 diffuse;\n"
    "varying vec4 ambient;\n"
    "varying vec3 viewer;\n" SHADER_FRAGMENT_COMMON
    "void main() {\n"
    "  vec4 m = texture2D(nmap, gl_TexCoord[0].st);\n"
    "  float len = m.y;\n"
    "  vec3 n = m.xyz * 2.0 - 1.0;\n"
    "  n.y = sqrt(max(1.0 - n.z * n.z - n.x * n.x, 0.0));\n"
    "  n = normalize(gl_NormalMatrix * n);\n"
    "  float ndl = dot(n, light);\n"
    "  float rdl = max(dot(reflect(normalize(viewer), n), light), 0.0);\n"
    "  if (ndl < 0.0) {\n"
    "    ndl = 0.0;\n"
    "    rdl = 0.0;\n"
    "  }\n"
    "  vec4 colour = ambient + vec4(diffuse.rgb * ndl * len, 0.0);\n"
    "  colour *= texture2D(tex, gl_TexCoord[0].st);\n"
    "  vec4 s = texture2D(smap, gl_TexCoord[0].st);\n"
    "  colour.rgb += s.r * gl_LightSource[0].specular.rgb * spec_power(rdl, s.g * 128.0 + 0.125) * len;\n"
    "  colour.rgb = fogged(colour.rgb);\n"
    "  gl_FragColor = colour;\n"
    "}\n";

#define LIT_DEFS "#define LIGHTING\n#define TEXCOORD\n"
#define NORM_DEFS "#define NORMAL_MAP\n"

// Per slot: name, then the pieces of each source (joined in order).
struct shader_source {
  const char* name;
  const char* vertex[3];
  const char* fragment[3];
};

static const shader_source sources[shader_slot_count] = {
    {nullptr, {}, {}},
    {"lit", {SHADER_HEADER LIT_DEFS, object_vertex_body}, {SHADER_HEADER, lit_fragment_body}},
    {"env", {SHADER_HEADER, object_vertex_body}, {SHADER_HEADER, env_fragment_body}},
    {"norm_lit",
     {SHADER_HEADER LIT_DEFS NORM_DEFS, object_vertex_body},
     {SHADER_HEADER NORM_DEFS, lit_fragment_body}},
    {"norm_env",
     {SHADER_HEADER "#define TEXCOORD\n" NORM_DEFS, object_vertex_body},
     {SHADER_HEADER NORM_DEFS, env_fragment_body}},
    {"norm_spec_lit",
     {SHADER_HEADER LIT_DEFS NORM_DEFS, object_vertex_body},
     {SHADER_HEADER NORM_DEFS "#define SPEC_MAP\n", lit_fragment_body}},
    {"terrain_normals",
     {SHADER_HEADER, terrain_normals_vertex_body},
     {SHADER_HEADER, terrain_normals_fragment_body}},
    {"terrain", {SHADER_HEADER, terrain_vertex_body}, {SHADER_HEADER, terrain_fragment_body}},
};

// The joined texts, made on first use.
static char joined_vertex[shader_slot_count][8192];
static char joined_fragment[shader_slot_count][8192];

static const char* join(char* out, size_t size, const char* const pieces[3]) {
  if (!out[0]) {
    out[0] = '\0';
    for (int i = 0; i < 3 && pieces[i]; i++) {
      const size_t have = std::strlen(out), add = std::strlen(pieces[i]);
      if (have + add + 1 > size) {
        out[0] = '\0';
        return nullptr;
      }
      std::memcpy(out + have, pieces[i], add + 1);
    }
  }
  return out;
}

const char* shader_name(int slot) {
  return slot >= 1 && slot < shader_slot_count ? sources[slot].name : nullptr;
}

const char* shader_vertex_source(int slot) {
  if (slot < 1 || slot >= shader_slot_count) return nullptr;
  return join(joined_vertex[slot], sizeof joined_vertex[slot], sources[slot].vertex);
}

const char* shader_fragment_source(int slot) {
  if (slot < 1 || slot >= shader_slot_count) return nullptr;
  return join(joined_fragment[slot], sizeof joined_fragment[slot], sources[slot].fragment);
}

// ---------------------------------------------------------------------------
// Building

static void forget_locations() {
  for (int i = 0; i < shader_slot_count; i++) {
    shader_programs.bones_looked_up[i] = 0;
    shader_programs.nbones[i] = -1;
    shader_programs.bone_c[i] = -1;
    shader_programs.bone_t[i] = -1;
    shader_programs.bone_r[i] = -1;
    shader_programs.envmat_looked_up[i] = 0;
    shader_programs.envmat[i] = -1;
  }
}

void shader_delete_all() {
  shader_program_set& s = shader_programs;
  if (s.current != 0 && gl_entry.glUseProgramObjectARB) gl_entry.glUseProgramObjectARB(0);
  s.current = 0;
  for (int i = 0; i < shader_slot_count; i++) {
    if (s.program[i] && s.vertex[i] && s.fragment[i]) {
      gl_entry.glDetachObjectARB(s.program[i], s.vertex[i]);
      gl_entry.glDetachObjectARB(s.program[i], s.fragment[i]);
    }
    if (s.vertex[i]) gl_entry.glDeleteObjectARB(s.vertex[i]);
    if (s.fragment[i]) gl_entry.glDeleteObjectARB(s.fragment[i]);
    if (s.program[i]) gl_entry.glDeleteObjectARB(s.program[i]);
    s.vertex[i] = s.fragment[i] = s.program[i] = 0;
  }
  forget_locations();
}

// Logs an object's info log when it holds anything (warnings included).
static void log_info(GLhandleARB object, const char* what, const char* name) {
  GLint length = 0;
  gl_entry.glGetObjectParameterivARB(object, GL_OBJECT_INFO_LOG_LENGTH_ARB, &length);
  if (length <= 1) return;
  char text[4096];
  GLsizei got = 0;
  gl_entry.glGetInfoLogARB(object, (GLsizei)sizeof text, &got, text);
  text[got < (GLsizei)sizeof text ? got : (GLsizei)sizeof text - 1] = '\0';
  if (text[0]) log_printf("%s for %s:\n%s\n", what, name, text);
}

static int compile_stage(GLhandleARB object, const char* source, const char* what,
                         const char* name) {
  gl_entry.glShaderSourceARB(object, 1, &source, nullptr);
  gl_entry.glCompileShaderARB(object);
  log_info(object, what, name);
  GLint ok = 0;
  gl_entry.glGetObjectParameterivARB(object, GL_OBJECT_COMPILE_STATUS_ARB, &ok);
  return ok != 0;
}

int shader_compile_program(int slot, const char* vertex_source, const char* fragment_source,
                           const char* name) {
  if (slot < 1 || slot >= shader_slot_count || !vertex_source || !fragment_source) return 0;
  shader_program_set& s = shader_programs;
  s.vertex[slot] = gl_entry.glCreateShaderObjectARB(GL_VERTEX_SHADER_ARB);
  s.fragment[slot] = gl_entry.glCreateShaderObjectARB(GL_FRAGMENT_SHADER_ARB);
  if (!compile_stage(s.vertex[slot], vertex_source, "vertex shader status", name) ||
      !compile_stage(s.fragment[slot], fragment_source, "fragment shader status", name)) {
    shader_delete_all();
    return 0;
  }
  s.program[slot] = gl_entry.glCreateProgramObjectARB();
  gl_entry.glAttachObjectARB(s.program[slot], s.vertex[slot]);
  gl_entry.glAttachObjectARB(s.program[slot], s.fragment[slot]);
  gl_entry.glLinkProgramARB(s.program[slot]);
  log_info(s.program[slot], "link status", name);
  GLint linked = 0;
  gl_entry.glGetObjectParameterivARB(s.program[slot], GL_OBJECT_LINK_STATUS_ARB, &linked);
  if (!linked) {
    shader_delete_all();
    return 0;
  }
  return 1;
}

static void bind_sampler(int slot, const char* uniform, int unit) {
  shader_use(slot);
  gl_entry.glUniform1iARB(gl_entry.glGetUniformLocationARB(shader_programs.program[slot], uniform),
                          unit);
  shader_use(0);
}

int shader_build_programs() {
  if (!gl_caps.vertex_shader || !gl_caps.fragment_shader) return 0;
  for (int i = 0; i < shader_slot_count; i++)
    shader_programs.program[i] = shader_programs.vertex[i] = shader_programs.fragment[i] = 0;
  forget_locations();
  for (int slot = 1; slot < shader_slot_count; slot++) {
    if (!shader_compile_program(slot, shader_vertex_source(slot), shader_fragment_source(slot),
                                shader_name(slot)))
      return 0;
  }
  bind_sampler(shader_norm_lit, "nmap", 1);
  bind_sampler(shader_norm_env, "nmap", 1);
  bind_sampler(shader_norm_spec_lit, "nmap", 1);
  bind_sampler(shader_norm_spec_lit, "smap", 2);
  bind_sampler(shader_terrain_normals, "base", 1);
  bind_sampler(shader_terrain, "nmap", 1);
  bind_sampler(shader_terrain, "smap", 2);
  return 1;
}

int shaders_activate(int use_shader) {
  shaders_active = 0;
  if (use_shader && gl_caps.fragment_shader && gl_caps.texture_units >= 4)
    shaders_active = shader_build_programs();
  return shaders_active;
}

// ---------------------------------------------------------------------------
// Switching and uniforms

void shader_use(int index) {
  shader_program_set& s = shader_programs;
  if (index < 0 || index >= shader_slot_count || index == s.current) return;
  if (index != 0 && !s.program[index]) return;  // never built: stay where we are
  s.current = index;
  gl_entry.glUseProgramObjectARB(index == 0 ? 0 : s.program[index]);
  s.switch_count++;
}

unsigned shader_program(int index) {
  return index >= 1 && index < shader_slot_count ? shader_programs.program[index] : 0;
}

void shader_set_bones(int count, const float* centres, const float* translations,
                      const float* rotations) {
  shader_program_set& s = shader_programs;
  const int p = s.current;
  if (p <= 0 || p >= shader_slot_count) return;
  if (!s.bones_looked_up[p]) {
    s.nbones[p] = gl_entry.glGetUniformLocationARB(s.program[p], "nbones");
    s.bone_c[p] = gl_entry.glGetUniformLocationARB(s.program[p], "bone_c");
    s.bone_t[p] = gl_entry.glGetUniformLocationARB(s.program[p], "bone_t");
    s.bone_r[p] = gl_entry.glGetUniformLocationARB(s.program[p], "bone_r");
    s.bones_looked_up[p] = 1;
  }
  if (count > shader_max_bones) {
    log_printf("%d bones are more than the shaders hold; using the first %d\n", count,
               shader_max_bones);
    count = shader_max_bones;
  }
  if (count < 0) count = 0;
  gl_entry.glUniform1iARB(s.nbones[p], count);
  if (count > 0) {
    gl_entry.glUniform3fvARB(s.bone_c[p], count, centres);
    gl_entry.glUniform3fvARB(s.bone_t[p], count, translations);
    gl_entry.glUniformMatrix3fvARB(s.bone_r[p], count, GL_FALSE, rotations);
  }
}

void shader_set_env_matrix(const float rows[9]) {
  float columns[9];
  for (int r = 0; r < 3; r++)
    for (int c = 0; c < 3; c++) columns[c * 3 + r] = rows[r * 3 + c];
  shader_program_set& s = shader_programs;
  const int env_programs[] = {shader_env, shader_norm_env};
  for (int p : env_programs) {
    if (!s.program[p]) continue;
    shader_use(p);
    if (!s.envmat_looked_up[p]) {
      s.envmat[p] = gl_entry.glGetUniformLocationARB(s.program[p], "envmat");
      s.envmat_looked_up[p] = 1;
    }
    gl_entry.glUniformMatrix3fvARB(s.envmat[p], 1, GL_FALSE, columns);
  }
  shader_use(0);
}
