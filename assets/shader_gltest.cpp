// Extensions and programs on a real driver (Mesa under Xvfb): the game
// window with its compatibility context, drawing into a small framebuffer.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <string>

#include "assets/gl_ext.h"
#include "assets/shader.h"
#include "platform/log.h"
#include "platform/window.h"
#include "tools/testing/gl_frame.h"
#include "tools/testing/test_env.h"

namespace {

window_state* g_window;
std::string g_log_path;

std::string read_log() {
  std::ifstream in(g_log_path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class ShaderGl : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    g_log_path = std::string(test_root()) + "/shader_gl.log";
    setenv("PAVO_LOGFILE", g_log_path.c_str(), 1);
    log_reset_for_tests();
    // A cached shader comes back without its info log, and the warning
    // test needs the log.
    setenv("MESA_SHADER_CACHE_DISABLE", "true", 1);
    g_window = gl_window_open("shader test", 64, 64, 24, 8, 16, 0, 0);
    ASSERT_NE(g_window, nullptr) << read_log();
    gl_load_extensions();
  }
  static void TearDownTestSuite() {
    shader_delete_all();
    gl_window_close(g_window);
    g_window = nullptr;
    log_close();
    log_reset_for_tests();
    unsetenv("PAVO_LOGFILE");
  }
  void SetUp() override {
    ASSERT_NE(g_window, nullptr);
    ASSERT_EQ(shaders_activate(1), 1) << read_log();
  }
  void TearDown() override { shader_delete_all(); }
};

// An 8 x 8 colour framebuffer to draw into and read back.
struct small_target {
  gl_target fb{8, 8, false};
  small_target() {
    fb.bind();
    glViewport(0, 0, 8, 8);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
  }
  bool complete() const { return fb.complete(); }
  // A quad over the whole target, facing the viewer, then the centre pixel.
  void draw(unsigned char rgb[3]) const {
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glBegin(GL_QUADS);
    glNormal3f(0, 0, 1);
    glTexCoord2f(0, 0);
    glVertex3f(-1, -1, -0.5f);
    glTexCoord2f(1, 0);
    glVertex3f(1, -1, -0.5f);
    glTexCoord2f(1, 1);
    glVertex3f(1, 1, -0.5f);
    glTexCoord2f(0, 1);
    glVertex3f(-1, 1, -0.5f);
    glEnd();
    unsigned char px[4] = {};
    glReadPixels(4, 4, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
    for (int i = 0; i < 3; i++) rgb[i] = px[i];
  }
};

GLuint white_texture() {
  GLuint t = 0;
  const unsigned char white[4] = {255, 255, 255, 255};
  glGenTextures(1, &t);
  glBindTexture(GL_TEXTURE_2D, t);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, white);
  return t;
}

void expect_near(const unsigned char got[3], int r, int g, int b) {
  EXPECT_NEAR(got[0], r, 2);
  EXPECT_NEAR(got[1], g, 2);
  EXPECT_NEAR(got[2], b, 2);
}

TEST_F(ShaderGl, ExtensionsLoadAndAllSevenProgramsBuild) {
  EXPECT_EQ(gl_caps.multitexture, 1);
  EXPECT_EQ(gl_caps.framebuffer_object, 1);
  EXPECT_EQ(gl_caps.vertex_shader, 1);
  EXPECT_EQ(gl_caps.fragment_shader, 1);
  EXPECT_GE(gl_caps.texture_units, 4);
  EXPECT_GE(gl_caps.major, 1);
  EXPECT_NE(gl_entry.glActiveTextureARB, nullptr);
  EXPECT_NE(gl_entry.glUseProgramObjectARB, nullptr);
  EXPECT_NE(gl_entry.glGenFramebuffersEXT, nullptr);
  EXPECT_NE(read_log().find(std::to_string(gl_caps.texture_units) + " texture units\n"),
            std::string::npos);

  for (int slot = 1; slot < shader_slot_count; slot++) EXPECT_NE(shader_program(slot), 0u) << slot;
  EXPECT_EQ(shader_program(0), 0u);
  EXPECT_EQ(shader_program(8), 0u);
  EXPECT_EQ(shader_programs.current, 0);
  EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(ShaderGl, SwitchingDrawsWithEachProgram) {
  small_target target;
  ASSERT_TRUE(target.complete());
  const GLuint white = white_texture();
  glEnable(GL_TEXTURE_2D);
  unsigned char rgb[3];

  // env: a white environment map times the tint.
  const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  shader_set_env_matrix(identity);
  EXPECT_EQ(shader_programs.current, 0);
  shader_use(shader_env);
  shader_set_bones(0, nullptr, nullptr, nullptr);
  glColor4f(0.25f, 0.5f, 0.75f, 1.0f);
  target.draw(rgb);
  expect_near(rgb, 64, 128, 191);

  // lit: one directional light straight at the quad, no ambient, no
  // specular, no fog: the colour is the light's diffuse colour.
  const float zero[4] = {0, 0, 0, 1};
  const float light_dir[4] = {0, 0, 1, 0};
  const float light_diffuse[4] = {0.5f, 0.25f, 1.0f, 1.0f};
  const float white_f[4] = {1, 1, 1, 1};
  glLightfv(GL_LIGHT0, GL_POSITION, light_dir);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, light_diffuse);
  glLightfv(GL_LIGHT0, GL_AMBIENT, zero);
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, zero);
  glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, zero);
  glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, white_f);
  glFogf(GL_FOG_DENSITY, 0.0f);
  shader_use(shader_lit);
  shader_set_bones(0, nullptr, nullptr, nullptr);
  target.draw(rgb);
  expect_near(rgb, 128, 64, 255);

  // Back to the fixed function: plain colour, no texture.
  shader_use(shader_fixed);
  glDisable(GL_TEXTURE_2D);
  glColor4f(1, 0, 0, 1);
  target.draw(rgb);
  expect_near(rgb, 255, 0, 0);

  glDeleteTextures(1, &white);
  EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);

  // Only real changes count.
  const int before = shader_programs.switch_count;
  shader_use(0);  // already current
  shader_use(8);  // no such slot
  EXPECT_EQ(shader_programs.switch_count, before);
  shader_use(shader_lit);
  shader_use(shader_lit);
  EXPECT_EQ(shader_programs.switch_count, before + 1);
  shader_use(0);
  EXPECT_EQ(shader_programs.switch_count, before + 2);
}

TEST_F(ShaderGl, BonesGoToTheCurrentProgramOnly) {
  const float centres[6] = {1, 2, 3, 4, 5, 6};
  const float translations[6] = {0, 0, 0, 7, 8, 9};
  float rotations[18] = {};
  rotations[0] = rotations[4] = rotations[8] = 1;
  rotations[9] = rotations[13] = rotations[17] = 1;

  shader_set_bones(2, centres, translations, rotations);  // program 0: nothing
  EXPECT_EQ(shader_programs.bones_looked_up[shader_lit], 0);

  shader_use(shader_lit);
  const GLhandleARB p = shader_program(shader_lit);
  shader_set_bones(2, centres, translations, rotations);
  GLint nbones = -1;
  gl_entry.glGetUniformivARB(p, shader_programs.nbones[shader_lit], &nbones);
  EXPECT_EQ(nbones, 2);
  float t1[3] = {};
  gl_entry.glGetUniformfvARB(p, gl_entry.glGetUniformLocationARB(p, "bone_t[1]"), t1);
  EXPECT_FLOAT_EQ(t1[2], 9.0f);

  // B = 0 sets the count alone; the bone arrays keep their values.
  shader_set_bones(0, nullptr, nullptr, nullptr);
  gl_entry.glGetUniformivARB(p, shader_programs.nbones[shader_lit], &nbones);
  EXPECT_EQ(nbones, 0);
  gl_entry.glGetUniformfvARB(p, gl_entry.glGetUniformLocationARB(p, "bone_t[1]"), t1);
  EXPECT_FLOAT_EQ(t1[2], 9.0f);
  shader_use(0);
  EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(ShaderGl, WarningsAreLoggedAndFailuresDeleteEveryProgram) {
  // Mesa warns about an unknown extension asked for with "warn".
  std::string warned = std::string("#extension GL_BK_not_an_extension : warn\n") +
                       shader_vertex_source(shader_lit);
  ASSERT_EQ(shader_compile_program(shader_lit, warned.c_str(),
                                   shader_fragment_source(shader_lit), "warned"),
            1);
  EXPECT_NE(read_log().find("vertex shader status for warned:\n"), std::string::npos);

  ASSERT_EQ(shader_compile_program(shader_env, shader_vertex_source(shader_env),
                                   "void main() { this is not glsl }", "broken"),
            0);
  EXPECT_NE(read_log().find("fragment shader status for broken:\n"), std::string::npos);
  for (int slot = 0; slot < shader_slot_count; slot++) {
    EXPECT_EQ(shader_programs.program[slot], 0u);
    EXPECT_EQ(shader_programs.vertex[slot], 0u);
    EXPECT_EQ(shader_programs.fragment[slot], 0u);
  }
}

}  // namespace
