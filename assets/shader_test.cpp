#include "assets/shader.h"

#include <gtest/gtest.h>

#include <cstring>

#include "assets/gl_ext.h"

// Without a capable driver nothing is built and no GL call is made (there
// is no context in this test program).
TEST(ShadersActivate, NeedsSettingFragmentShaderAndFourUnits) {
  struct {
    int use, fragment, vertex, units;
  } cases[] = {
      {0, 1, 1, 8},  // setting off
      {1, 0, 1, 8},  // no fragment shaders
      {1, 1, 1, 3},  // too few texture units
      {1, 1, 0, 8},  // capable by the rule, but the build needs vertex shaders too
  };
  for (const auto& c : cases) {
    gl_caps = gl_capabilities();
    gl_caps.fragment_shader = c.fragment;
    gl_caps.vertex_shader = c.vertex;
    gl_caps.texture_units = c.units;
    shaders_active = 1;
    EXPECT_EQ(shaders_activate(c.use), 0);
    EXPECT_EQ(shaders_active, 0);
    EXPECT_EQ(shader_programs.program[1], 0u);
  }
  gl_caps = gl_capabilities();
}

TEST(ShaderSources, EverySlotHasBothStagesAndTheBoneCap) {
  for (int slot = 1; slot < shader_slot_count; slot++) {
    ASSERT_NE(shader_vertex_source(slot), nullptr) << slot;
    ASSERT_NE(shader_fragment_source(slot), nullptr) << slot;
    EXPECT_EQ(std::strncmp(shader_vertex_source(slot), "#define MAX_BONE 32\n", 20), 0);
    EXPECT_EQ(std::strncmp(shader_fragment_source(slot), "#define MAX_BONE 32\n", 20), 0);
  }
  EXPECT_EQ(shader_vertex_source(0), nullptr);
  EXPECT_EQ(shader_vertex_source(8), nullptr);
  EXPECT_STREQ(shader_name(1), "lit");
  EXPECT_STREQ(shader_name(7), "terrain");
}
