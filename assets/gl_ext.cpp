// OpenGL capabilities and extension entry points.
#include "assets/gl_ext.h"

#include <SDL2/SDL_video.h>

#include <cstdio>
#include <cstring>

#include "platform/log.h"

gl_capabilities gl_caps;
gl_entry_points gl_entry;

int gl_entry_count() {
  int n = 0;
#define BK_GL_COUNT(type, name) n++;
  BK_GL_ALL_ENTRIES(BK_GL_COUNT)
#undef BK_GL_COUNT
  return n;
}

int gl_extension_present(const char* extensions, const char* name) {
  if (!extensions || !name || !name[0]) return 0;
  const size_t len = std::strlen(name);
  // A name may also appear as the start or the tail of a longer one
  // ("GL_ARB_multitexture_foo"): only a whole word counts.
  for (const char* at = std::strstr(extensions, name); at; at = std::strstr(at + 1, name)) {
    const bool starts = at == extensions || at[-1] == ' ';
    const bool ends = at[len] == '\0' || at[len] == ' ';
    if (starts && ends) return 1;
  }
  return 0;
}

static const char* text_or_null(const char* s) { return s ? s : "NULL"; }

void gl_parse_capabilities(const char* vendor, const char* renderer, const char* version,
                           const char* extensions) {
  gl_caps = gl_capabilities();
  gl_caps.vendor = text_or_null(vendor);
  gl_caps.renderer = text_or_null(renderer);
  gl_caps.version = text_or_null(version);
  gl_caps.extensions = text_or_null(extensions);
  if (std::sscanf(gl_caps.version, "%d.%d", &gl_caps.major, &gl_caps.minor) != 2) {
    gl_caps.major = 0;
    gl_caps.minor = 0;
  }
  gl_caps.generate_mipmap = gl_extension_present(extensions, "GL_SGIS_generate_mipmap");
  gl_caps.framebuffer_object = gl_extension_present(extensions, "GL_EXT_framebuffer_object");
  gl_caps.multitexture = gl_extension_present(extensions, "GL_ARB_multitexture");
  gl_caps.fragment_shader = gl_extension_present(extensions, "GL_ARB_fragment_shader");
  gl_caps.vertex_shader = gl_extension_present(extensions, "GL_ARB_vertex_shader");
}

// The first entry point of a family the driver did not hand out, or null.
#define BK_GL_FIRST_MISSING(type, name) \
  if (!missing && !gl_entry.name) missing = #name;

static void require_family(int* flag, const char* extension, const char* missing) {
  if (*flag && missing) {
    log_printf("%s is listed but %s is missing; not using it\n", extension, missing);
    *flag = 0;
  }
}

void gl_load_extensions() {
  gl_parse_capabilities(reinterpret_cast<const char*>(glGetString(GL_VENDOR)),
                        reinterpret_cast<const char*>(glGetString(GL_RENDERER)),
                        reinterpret_cast<const char*>(glGetString(GL_VERSION)),
                        reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS)));
  if (gl_caps.multitexture) {
    GLint units = 0;
    glGetIntegerv(GL_MAX_TEXTURE_UNITS_ARB, &units);
    gl_caps.texture_units = units;
    log_printf("%d texture units\n", gl_caps.texture_units);
  }

  // Every name is asked for whatever the flags say; a non-null pointer
  // proves nothing (GLX hands one out for any name), so the flags come from
  // the extension string alone.
#define BK_GL_FETCH(type, name) \
  gl_entry.name = reinterpret_cast<type>(SDL_GL_GetProcAddress(#name));
  BK_GL_ALL_ENTRIES(BK_GL_FETCH)
#undef BK_GL_FETCH

  gl_require_entry_points();
}

void gl_require_entry_points() {
  // The converse of the note above does matter: a listed extension without
  // its entry points would crash the first caller.
  const char* missing = nullptr;
  BK_GL_MULTITEXTURE_ENTRIES(BK_GL_FIRST_MISSING)
  require_family(&gl_caps.multitexture, "GL_ARB_multitexture", missing);
  if (!gl_caps.multitexture) gl_caps.texture_units = 0;

  missing = nullptr;
  BK_GL_FRAMEBUFFER_ENTRIES(BK_GL_FIRST_MISSING)
  require_family(&gl_caps.framebuffer_object, "GL_EXT_framebuffer_object", missing);

  missing = nullptr;
  BK_GL_SHADER_OBJECT_ENTRIES(BK_GL_FIRST_MISSING)
  require_family(&gl_caps.fragment_shader, "GL_ARB_fragment_shader", missing);
  BK_GL_VERTEX_ATTRIB_ENTRIES(BK_GL_FIRST_MISSING)
  require_family(&gl_caps.vertex_shader, "GL_ARB_vertex_shader", missing);
}
