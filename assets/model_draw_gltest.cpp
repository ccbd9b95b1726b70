// Model drawing on a real driver (Mesa under Xvfb): models drawn into a
// small framebuffer, read back and looked at pixel by pixel.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <string>

#include "assets/gl_ext.h"
#include "assets/jm_writer.h"
#include "assets/model_draw.h"
#include "assets/model_settings.h"
#include "assets/shader.h"
#include "assets/test_support_models.h"
#include "platform/log.h"
#include "tools/testing/gl_frame.h"
#include "tools/testing/test_env.h"

namespace {

SDL_Window* g_window;
SDL_GLContext g_context;

enum { size = 64 };

// The view: x and y from -4 to 4 over the 64 x 64 target, looking down -z.
struct target {
  gl_target fb{size, size, false};
  GLuint white = 0;
  target() {
    fb.bind();
    glViewport(0, 0, size, size);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-4, 4, -4, 4, -10, 10);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    // A white texture, so the texture stage passes the lit colour on.
    const unsigned char texel[4] = {255, 255, 255, 255};
    glGenTextures(1, &white);
    glBindTexture(GL_TEXTURE_2D, white);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_CULL_FACE);
    // One white light straight along the view, no ambient, no fog.
    const float zero[4] = {0, 0, 0, 1}, one[4] = {1, 1, 1, 1}, towards[4] = {0, 0, 1, 0};
    glLightfv(GL_LIGHT0, GL_POSITION, towards);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, one);
    glLightfv(GL_LIGHT0, GL_SPECULAR, zero);
    glLightfv(GL_LIGHT0, GL_AMBIENT, zero);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, zero);
    glMaterialfv(GL_FRONT, GL_AMBIENT, zero);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, one);
    glFogf(GL_FOG_DENSITY, 0.0f);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    clear();
  }
  ~target() {
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glDisable(GL_TEXTURE_2D);
    fb.release();
    glDeleteTextures(1, &white);
  }
  void clear() {
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
  }
  // The red, green and blue of the pixel at view position (x, y).
  void at(float x, float y, unsigned char rgb[3]) const {
    unsigned char px[4] = {};
    glReadPixels(static_cast<int>((x + 4) / 8 * size), static_cast<int>((y + 4) / 8 * size), 1, 1, GL_RGBA,
                 GL_UNSIGNED_BYTE, px);
    std::memcpy(rgb, px, 3);
  }
  int brightness(float x, float y) const {
    unsigned char rgb[3];
    at(x, y, rgb);
    return rgb[0] + rgb[1] + rgb[2];
  }
};

const float no_rotation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
const float eye_front[3] = {0, 0, 20};
const jm_material grey = {8.0f, {0.0f, 0.0f, 0.0f, 1.0f}};

class ModelDrawGl : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("PAVO_LOGFILE", (std::string(test_root()) + "/model_gl.log").c_str(), 1);
    log_reset_for_tests();
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    g_window = SDL_CreateWindow("gltest", 0, 0, 64, 64, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    ASSERT_NE(g_window, nullptr) << SDL_GetError();
    g_context = SDL_GL_CreateContext(g_window);
    ASSERT_NE(g_context, nullptr) << SDL_GetError();
    gl_load_extensions();
  }
  static void TearDownTestSuite() {
    shader_delete_all();
    // The window and context stay until exit: closing them unloads the
    // driver, and LeakSanitizer can then no longer tell its leaks from ours.
    log_close();
    log_reset_for_tests();
    unsetenv("PAVO_LOGFILE");
  }
  void SetUp() override {
    ASSERT_NE(g_context, nullptr);
    ASSERT_TRUE(gl_caps.framebuffer_object);
    models_reset();
    console_lines_clear();
    no_vertex_arrays = 0;
    model_lod_scale = 1.0f;
    model_lod_offset = 0.0f;
    std::memset(eye_position, 0, sizeof eye_position);
  }
  void TearDown() override {
    shader_use(0);
    shader_delete_all();
    shaders_active = 0;
    no_vertex_arrays = 0;
    models_reset();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  }
  // Fixed function, or the lit program current.
  void use_shaders(int on) {
    if (on) {
      // Build once: building again would drop the old programs unfreed.
      if (!shader_program(shader_lit)) {
        ASSERT_EQ(shaders_activate(1), 1);
      }
      shaders_active = 1;
      shader_use(shader_lit);
    } else {
      shader_use(0);
      shaders_active = 0;
    }
  }
};

TEST_F(ModelDrawGl, LitBoxDrawsWhereItIsPlacedOnEveryPath) {
  const float box_size[3] = {2, 2, 2};
  for (int shaders = 0; shaders <= 1; ++shaders)
    for (int path = 0; path < 3; ++path) {
      SCOPED_TRACE("shaders " + std::to_string(shaders) + ", path " + std::to_string(path));
      use_shaders(shaders);
      target t;
      model* box = jm_box(box_size, &grey, "box");
      ASSERT_NE(box, nullptr);
      no_vertex_arrays = path == 1;
      if (path == 2) {
        model_build_lists(box);
        EXPECT_NE(box->display_list, 0u);
      }
      draw_stats = {0, 0};
      const float object[3] = {-2, 0, 0};
      glPushMatrix();
      glTranslatef(object[0], object[1], object[2]);
      model_draw_lit_simple(box, eye_front, object, no_rotation);
      glPopMatrix();
      EXPECT_EQ(draw_stats.vertices, 24);
      EXPECT_EQ(draw_stats.triangles, 12);
      // The face towards the light is fully lit; nothing on the right.
      unsigned char rgb[3];
      t.at(-2.1f, 0.1f, rgb);
      EXPECT_GE(rgb[0], 250);
      EXPECT_GE(rgb[1], 250);
      EXPECT_GE(rgb[2], 250);
      EXPECT_EQ(t.brightness(2.0f, 0.1f), 0);
      EXPECT_EQ(t.brightness(-2.1f, 1.5f), 0);
      // The specular material came from the sub-mesh, and client state is
      // back to how it was.
      float shininess = 0;
      glGetMaterialfv(GL_FRONT, GL_SHININESS, &shininess);
      EXPECT_EQ(shininess, 8.0f);
      EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));
      EXPECT_FALSE(glIsEnabled(GL_NORMAL_ARRAY));
      EXPECT_FALSE(glIsEnabled(GL_TEXTURE_COORD_ARRAY));
      model_free_submeshes(box);
      no_vertex_arrays = 0;
    }
}

TEST_F(ModelDrawGl, SkinnedCapsuleFollowsItsBones) {
  // Bone 0 at the bottom stays; bone 1 at the top moves 3 to the right.
  const float centres[6] = {0, -2, 0, 0, 2, 0};
  const float translations[6] = {0, -2, 0, 3, 2, 0};
  float rotations[18];
  std::memcpy(rotations, no_rotation, sizeof no_rotation);
  std::memcpy(rotations + 9, no_rotation, sizeof no_rotation);
  // Fixed function (skinned on the CPU), then the programs fed by vertex
  // arrays and by immediate mode.
  const int runs[3][2] = {{0, 0}, {1, 0}, {1, 1}};
  for (const auto& run : runs) {
    const int shaders = run[0];
    SCOPED_TRACE("shaders " + std::to_string(shaders) + ", immediate " + std::to_string(run[1]));
    use_shaders(shaders);
    no_vertex_arrays = run[1];
    target t;
    model* capsule = jm_capsule(0.6f, 4.0f, 16, 4, 2, &grey, "capsule");
    ASSERT_NE(capsule, nullptr);
    capsule->list_wanted = 0;
    const float object[3] = {0, 0, 0};
    model_draw_lit(capsule, eye_front, object, no_rotation, centres, translations, rotations, 2);
    EXPECT_GT(t.brightness(3.0f, 2.0f), 300);   // the top, moved
    EXPECT_GT(t.brightness(0.0f, -2.0f), 300);  // the bottom, in place
    EXPECT_GT(t.brightness(1.5f, 0.0f), 300);   // halfway, half moved
    EXPECT_EQ(t.brightness(0.0f, 2.0f), 0);     // where the top was
    EXPECT_EQ(t.brightness(-1.5f, -1.0f), 0);
    // The CPU skins into the current half only when there are no programs.
    const size_t floats = 3 * static_cast<size_t>(capsule->vertex_count);
    EXPECT_EQ(std::memcmp(capsule->positions, capsule->positions + floats, floats * sizeof(float)) != 0, !shaders);
    model_free_submeshes(capsule);
  }
}

TEST_F(ModelDrawGl, LitAndEnvironmentPathsSplitTheSubMeshes) {
  const float box_size[3] = {2, 2, 2};
  const jm_material shiny = {0.0f, {1, 1, 1, 1}};
  const jm_material chrome = {-1.0f, {0.5f, 0.75f, 1.0f, 0.5f}};
  model* box = jm_box(box_size, &shiny, "box");
  model* cylinder = jm_cylinder(0.5f, 1.0f, 8, &chrome, "cylinder");
  model* torus = jm_torus(2.0f, 0.5f, 8, 6, &grey, "torus");
  box->next = cylinder;
  cylinder->next = torus;
  box->reflective = 1;
  const float object[3] = {0, 0, 0};
  use_shaders(0);
  target t;

  draw_stats = {0, 0};
  model_draw_lit_simple(box, eye_front, object, no_rotation);
  EXPECT_EQ(draw_stats.vertices, box->vertex_count);
  float shininess = 0;
  glGetMaterialfv(GL_FRONT, GL_SHININESS, &shininess);
  EXPECT_EQ(shininess, 0.125f);

  draw_stats = {0, 0};
  glDisable(GL_LIGHTING);
  t.clear();
  model_draw_env_simple(box, eye_front, object, no_rotation);
  EXPECT_EQ(draw_stats.vertices, cylinder->vertex_count);
  float colour[4];
  glGetFloatv(GL_CURRENT_COLOR, colour);
  EXPECT_FLOAT_EQ(colour[0], 0.25f);
  EXPECT_FLOAT_EQ(colour[1], 0.375f);
  EXPECT_FLOAT_EQ(colour[2], 0.5f);
  EXPECT_FLOAT_EQ(colour[3], 1.0f);
  // Under a white environment map the cylinder shows its tint.
  unsigned char rgb[3];
  t.at(0.1f, 0.1f, rgb);
  EXPECT_NEAR(rgb[0], 64, 2);
  EXPECT_NEAR(rgb[1], 96, 2);
  EXPECT_NEAR(rgb[2], 128, 2);
  // The CPU wrote map coordinates inside the map.
  for (int k = 0; k < 2 * cylinder->vertex_count; ++k) {
    EXPECT_GE(cylinder->texcoords[k], 0.0f);
    EXPECT_LE(cylinder->texcoords[k], 1.0f);
  }

  model_reflections = 1;
  EXPECT_EQ(model_uses_env(box), 1);
  model_reflections = 0;
  EXPECT_EQ(model_uses_env(box), 0);
  model_reflections = 1;
  EXPECT_EQ(model_uses_env(torus), 0);
  model_free_submeshes(box);
}

TEST_F(ModelDrawGl, UnlitMaterialPutsTheTrackLightingBack) {
  const float box_size[3] = {2, 2, 2};
  const jm_material lamp = {-2.0f, {1.0f, 0.5f, 0.25f, 1.0f}};
  model* box = jm_box(box_size, &lamp, "lamp");
  use_shaders(0);
  target t;
  const float one[4] = {1, 1, 1, 1};
  glMaterialfv(GL_FRONT, GL_AMBIENT, one);
  model_lighting = {{0.1f, 0.2f, 0.3f}, {0.4f, 0.5f, 0.6f}};
  const float object[3] = {0, 0, 0};
  model_draw_lit_simple(box, eye_front, object, no_rotation);
  float v[4];
  glGetFloatv(GL_LIGHT_MODEL_AMBIENT, v);
  EXPECT_FLOAT_EQ(v[0], 0.1f);
  EXPECT_FLOAT_EQ(v[2], 0.3f);
  EXPECT_FLOAT_EQ(v[3], 1.0f);
  glGetLightfv(GL_LIGHT0, GL_AMBIENT, v);
  EXPECT_FLOAT_EQ(v[0], 0.4f);
  EXPECT_FLOAT_EQ(v[2], 0.6f);
  glGetMaterialfv(GL_FRONT, GL_DIFFUSE, v);
  EXPECT_FLOAT_EQ(v[0], 1.0f);
  EXPECT_FLOAT_EQ(v[3], 1.0f);
  // The lamp itself was lit only by its own colour through the ambient
  // term (material ambient times light 0's ambient).
  unsigned char rgb[3];
  t.at(0.1f, 0.1f, rgb);
  EXPECT_GT(rgb[0], rgb[1]);
  EXPECT_GT(rgb[1], rgb[2]);
  model_lighting = {{0.2f, 0.2f, 0.2f}, {0.5f, 0.5f, 0.5f}};
  model_free_submeshes(box);
}

TEST_F(ModelDrawGl, LodLevelFollowsTheEye) {
  const float box_size[3] = {2, 2, 2};
  model* base = jm_torus(1.0f, 0.5f, 16, 8, &grey, "base");
  model* coarse = jm_box(box_size, &grey, "coarse");
  coarse->lod_distance = 16.0f;
  base->lod_next = coarse;
  use_shaders(0);
  target t;
  const float object[3] = {0, 0, 0};
  const float eyes[2][3] = {{0, 0, 10}, {0, 0, 20}};
  const int drawn[2] = {base->vertex_count, coarse->vertex_count};
  for (int k = 0; k < 2; ++k) {
    std::memcpy(eye_position, eyes[k], sizeof eye_position);
    draw_stats = {0, 0};
    model_draw_lit_simple(base, eye_front, object, no_rotation);
    EXPECT_EQ(draw_stats.vertices, drawn[k]) << k;
  }
  base->lod_next = nullptr;
  model_free_submeshes(base);
  model_free_submeshes(coarse);
}

TEST_F(ModelDrawGl, CachedModelsGetListsAndLoseThemWhenFreed) {
  const std::string name = model_fixture("m/plain.jm",
                                         "4 2\n"
                                         "-1 -1 0 0 0 1 0 0\n1 -1 0 0 0 1 1 0\n1 1 0 0 0 1 1 1\n-1 1 0 0 0 1 0 1\n"
                                         "0 1 2 0 2 3\n");
  model_compile_lists = 1;
  model* m = model_get(name.c_str());
  ASSERT_NE(m, nullptr);
  const GLuint list = m->display_list;
  EXPECT_NE(list, 0u);
  EXPECT_TRUE(glIsList(list));
  use_shaders(0);
  {
    target t;
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glColor3f(1, 1, 1);
    model_draw_lines(m);
    // The outline and the diagonal, but not the inside of the square.
    EXPECT_EQ(t.brightness(0.5f, -0.5f), 0);
    int edge = 0;
    for (float x = 0.9f; x <= 1.1f; x += 0.05f) edge += t.brightness(x, 0.5f);
    EXPECT_GT(edge, 0);
  }
  model_delete_stale(1);
  EXPECT_FALSE(glIsList(list));
}

}  // namespace
