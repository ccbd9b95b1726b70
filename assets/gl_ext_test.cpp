#include "assets/gl_ext.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(GlExtensions, WholeWordsOnly) {
  struct {
    const char* list;
    int present;
  } cases[] = {
      {"GL_ARB_multitexture", 1},
      {"GL_A GL_ARB_multitexture GL_B", 1},
      {"GL_X GL_ARB_multitexture", 1},
      {"GL_ARB_multitexture_plus GL_B", 0},  // only the start of a longer word
      {"XGL_ARB_multitexture", 0},           // only the tail of a longer word
      // A partial match first, then the real one.
      {"GL_ARB_multitexture2 GL_ARB_multitexture", 1},
      {"GL_ARB_multitex", 0},
      {"", 0},
      {nullptr, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(gl_extension_present(c.list, "GL_ARB_multitexture"), c.present)
        << (c.list ? c.list : "(null)");
}

TEST(GlExtensions, ParseCapabilities) {
  gl_parse_capabilities("Vendor", nullptr, "2.1 Mesa 23.0",
                        "GL_ARB_multitexture GL_ARB_fragment_shader GL_SGIS_generate_mipmap");
  EXPECT_STREQ(gl_caps.vendor, "Vendor");
  EXPECT_STREQ(gl_caps.renderer, "NULL");
  EXPECT_EQ(gl_caps.major, 2);
  EXPECT_EQ(gl_caps.minor, 1);
  EXPECT_EQ(gl_caps.multitexture, 1);
  EXPECT_EQ(gl_caps.fragment_shader, 1);
  EXPECT_EQ(gl_caps.vertex_shader, 0);
  EXPECT_EQ(gl_caps.generate_mipmap, 1);
  EXPECT_EQ(gl_caps.framebuffer_object, 0);

  gl_parse_capabilities(nullptr, nullptr, nullptr, nullptr);
  EXPECT_STREQ(gl_caps.extensions, "NULL");
  EXPECT_EQ(gl_caps.major, 0);
  EXPECT_EQ(gl_caps.multitexture, 0);
}

TEST(GlExtensions, TableHoldsEveryEntryPoint) { EXPECT_EQ(gl_entry_count(), 136); }

// A listed extension whose entry points the driver does not give is not
// used; one with all of them is.
TEST(GlExtensions, ListedButMissingEntryPointsClearTheFlag) {
  gl_parse_capabilities("v", "r", "1.5",
                        "GL_ARB_multitexture GL_EXT_framebuffer_object GL_ARB_fragment_shader");
  gl_caps.texture_units = 4;
  std::memset(&gl_entry, 0, sizeof gl_entry);
  // Every framebuffer entry point present, nothing else.
  void (*fake)() = [] {};
#define BK_GL_FAKE(type, name) gl_entry.name = reinterpret_cast<type>(fake);
  BK_GL_FRAMEBUFFER_ENTRIES(BK_GL_FAKE)
#undef BK_GL_FAKE
  gl_require_entry_points();
  EXPECT_EQ(gl_caps.framebuffer_object, 1);
  EXPECT_EQ(gl_caps.multitexture, 0);
  EXPECT_EQ(gl_caps.texture_units, 0);
  EXPECT_EQ(gl_caps.fragment_shader, 0);
  std::memset(&gl_entry, 0, sizeof gl_entry);
  gl_caps = gl_capabilities();
}
