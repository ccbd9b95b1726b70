// The editor's "edinfo" file of gradients and the "track.pov" scene export.
#include "editor/editor_files.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "assets/model.h"
#include "core/file.h"
#include "core/file_replace.h"
#include "core/memory.h"
#include "core/message_ring.h"
#include "core/stream.h"
#include "editor/editor.h"
#include "editor/editor_panel.h"
#include "terrain/height_field.h"
#include "terrain/track.h"
#include "terrain/track_objects.h"

enum { edinfo_line_max = 1000 };

// track_source + "/" + file; the caller frees it.
static char* track_file(const char* file) {
  const size_t n = std::strlen(track_source) + std::strlen(file) + 2;
  char* path = (char*)xmalloc(n);
  std::snprintf(path, n, "%s/%s", track_source, file);
  return path;
}

static const gradient* gradient_at(size_t i) { return (const gradient*)growable_array_at(&editor.gradients, i); }

int editor_save_edinfo() {
  char* path = track_file("edinfo");
  stream* s = stream_open(path, "wb");
  const int open_error = errno;
  check_free(path);
  if (!s) {
    console_printf("Can't open 'edinfo': %s\n", std::strerror(open_error));
    return 0;
  }
  int ok = 1;
  const size_t count = editor.gradients.data ? editor.gradients.count : 0;
  for (size_t i = 0; i < count && ok; i++) {
    const gradient* g = gradient_at(i);
    ok = stream_printf(s, "add_gradient %f %f %f %f\n", g->start_x, g->start_z, g->end_x, g->end_z) > 0;
    for (size_t k = 0; k < g->points.count && ok; k++) {
      const gradient_point* p = (const gradient_point*)growable_array_at(&g->points, k);
      const int type = k < g->types.count ? *(const uint8_t*)growable_array_at(&g->types, k) : 0;
      ok = stream_printf(s, "add_point %d %f %f\n", type, p->distance, p->height) > 0;
    }
  }
  // A full disk often shows only when the last buffer goes out at the close.
  int why = ok ? 0 : errno;
  if (stream_close_file(s) != 0 && ok) {
    why = errno;
    ok = 0;
  }
  check_free(s);
  if (!ok) console_printf("Error writing 'edinfo': %s", why ? std::strerror(why) : "write failed");
  return ok;
}

// The line's first word is `word`, followed by white space or the end.
// Returns what follows the word and its blanks, or null.
static const char* after_word(const char* line, const char* word) {
  const size_t n = std::strlen(word);
  if (std::strncmp(line, word, n) != 0) return nullptr;
  const char* p = line + n;
  if (*p && !std::isspace((unsigned char)*p)) return nullptr;
  while (*p && std::isspace((unsigned char)*p)) p++;
  return p;
}

// Reads `count` numbers separated by white space. 0 when one is missing or
// not finite: a NaN or infinite height would be painted into the ground.
static int read_numbers(const char* p, float* out, int count) {
  for (int i = 0; i < count; i++) {
    char* end;
    const float v = std::strtof(p, &end);
    if (end == p || !std::isfinite(v)) return 0;
    out[i] = v;
    p = end;
  }
  return 1;
}

static int read_type(const char* p, int* type, const char** rest) {
  char* end;
  const long v = std::strtol(p, &end, 10);
  if (end == p) return 0;
  *type = v == 1 ? 1 : 0;
  *rest = end;
  return 1;
}

// Appends a point to gradient g. 0 when it does not lie beyond the last
// one: equal distances would divide by zero along the profile.
static int append_point(gradient* g, float distance, float height, int type) {
  if (g->points.count > 0) {
    const gradient_point* last = (const gradient_point*)growable_array_at(&g->points, g->points.count - 1);
    if (!(distance > last->distance)) return 0;
  }
  const gradient_point p = {distance, height};
  const uint8_t t = (uint8_t)type;
  if (!growable_array_append(&g->points, &p)) return 1;
  if (!growable_array_append(&g->types, &t)) g->points.count--;
  return 1;
}

int editor_read_edinfo(const char* name) {
  stream* s = stream_open(name, "rb");
  if (!s) return -1;
  int refused = 0;
  int line_number = 0;
  // The gradient the point lines belong to: -1 none yet, -2 a refused one
  // whose points go with it.
  int target = -1;
  char line[edinfo_line_max + 3];
  auto refuse = [&](const char* why) {
    console_printf("'%.150s' line %d: %s", name, line_number, why);
    refused++;
  };
  while (stream_gets(s, line, sizeof line)) {
    line_number++;
    size_t n = std::strlen(line);
    const int ended = n > 0 && line[n - 1] == '\n';
    if (n - (size_t)ended > edinfo_line_max) {
      // Skip the rest of the over-long line whole.
      if (!ended)
        for (int c; (c = stream_getc(s)) != EOF && c != '\n';) {
        }
      refuse("longer than 1000 characters, skipped");
      continue;
    }
    const char* p = line;
    while (*p && std::isspace((unsigned char)*p)) p++;
    if (const char* rest = after_word(p, "add_gradient")) {
      float v[4];
      if (!read_numbers(rest, v, 4)) {
        target = -2;
        refuse("gradient needs four finite numbers; its points are dropped too");
        continue;
      }
      if (!editor_new_gradient()) {
        target = -2;
        refuse("no room for another gradient");
        continue;
      }
      target = editor.selected_gradient;
      gradient* g = (gradient*)growable_array_at(&editor.gradients, (size_t)target);
      g->start_x = v[0];
      g->start_z = v[1];
      g->end_x = v[2];
      g->end_z = v[3];
      g->points.count = 0;
      g->types.count = 0;
    } else if (const char* rest = after_word(p, "add_point")) {
      int type = 0;
      float v[2];
      if (target == -1) {
        refuse("point before any gradient");
      } else if (target == -2) {
        refuse("point of a refused gradient");
      } else if (!read_type(rest, &type, &rest) || !read_numbers(rest, v, 2)) {
        refuse("point needs a type and two finite numbers");
      } else {
        gradient* g = (gradient*)growable_array_at(&editor.gradients, (size_t)target);
        if (!append_point(g, v[0], v[1], type)) refuse("point not beyond the previous one");
      }
    }
  }
  stream_close(s);
  return refused;
}

// Base name without extension, "_" for all but letters and digits.
static std::string identifier_of(const char* name) {
  if (!name) name = "";
  if (*name == '@') name++;
  const char* start = std::strrchr(name, '/');
  if (!start) start = name;
  const char* end = std::strrchr(start, '.');
  if (!end) end = start + std::strlen(start);
  std::string out;
  if (start < end && std::isdigit((unsigned char)*start)) out += '_';
  for (const char* c = start; c < end; c++) out += std::isalnum((unsigned char)*c) ? *c : '_';
  return out;
}

int pov_identifier(stream* s, const char* name) { return stream_puts(s, identifier_of(name).c_str()) >= 0; }

namespace {

struct declared_model {
  std::string name;
  std::string identifier;
};

// The model's identifier, declaring it (and its mesh) when it is the
// first statue to use it. Two model files whose names give one identifier
// each keep their own: the later ones are numbered.
int declare_model(stream* s, const statue* t, std::vector<declared_model>* declared, std::string* identifier) {
  for (const declared_model& d : *declared)
    if (d.name == t->model_name) {
      *identifier = d.identifier;
      return 1;
    }
  const std::string base = identifier_of(t->model_name);
  std::string id = base;
  for (int k = 2;; k++) {
    int taken = 0;
    for (const declared_model& d : *declared) taken |= d.identifier == id;
    if (!taken) break;
    id = base + "_" + std::to_string(k);
  }
  declared->push_back({t->model_name, id});
  *identifier = id;
  return stream_printf(s, "#declare %s = ", id.c_str()) > 0 && model_export_pov(t->model, s);
}

int has_model(const statue* t) { return t->model && t->model_name; }

// A file name of the game as a path that POV-Ray finds from the track
// folder the scene is written to: the plain name when the file lies in
// that folder, else its full path ("@" names along the search roots, the
// first root that holds it). Empty when no plain file holds it (a name
// found only in an archive or in a packed variant).
std::string path_for_scene(const char* name, const char* scene_folder) {
  char* here = home_file_path(scene_folder);
  const std::string folder = here ? here : "";
  check_free(here);
  std::vector<std::string> candidates;
  if (name[0] == '@') {
    for (int i = 0; search_root(i); i++) candidates.push_back(std::string(search_root(i)) + (name + 1));
  } else {
    candidates.push_back(name);
  }
  for (const std::string& path : candidates) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    char* real = ::realpath(path.c_str(), nullptr);
    std::string out = real ? real : path;
    std::free(real);
    char* real_folder = folder.empty() ? nullptr : ::realpath(folder.c_str(), nullptr);
    const std::string in = real_folder ? std::string(real_folder) + "/" : "";
    std::free(real_folder);
    if (!in.empty() && out.compare(0, in.size(), in) == 0 && out.find('/', in.size()) == std::string::npos)
      out = out.substr(in.size());
    return out;
  }
  return "";
}

// POV-Ray's strings read backslashes and quotes as escapes.
std::string pov_string(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

int write_scene(stream* s) {
  const height_field* field = editor.terrain;
  int ok = 1;
  const int32_t statue_count = statues.data ? (int32_t)statues.count : 0;
  if (statue_count > 0) {
    std::vector<declared_model> declared;
    std::vector<std::string> identifiers((size_t)statue_count);
    for (int32_t i = 0; i < statue_count && ok; i++) {
      const statue* t = statue_at(i);
      if (has_model(t)) ok = declare_model(s, t, &declared, &identifiers[(size_t)i]);
    }
    ok = ok && stream_puts(s, "#declare statues = union {\n") >= 0;
    for (int32_t i = 0; i < statue_count && ok; i++) {
      const statue* t = statue_at(i);
      if (!has_model(t)) continue;
      ok = stream_printf(s, "\tobject {\n\t\t%s\n", identifiers[(size_t)i].c_str()) > 0;
      if (ok && t->texture_name) {
        std::string texture = path_for_scene(t->texture_name, track_source);
        if (texture.empty()) texture = t->texture_name[0] == '@' ? t->texture_name + 1 : t->texture_name;
        texture = pov_string(texture);
        const size_t n = std::strlen(t->texture_name);
        const int ppm = n >= 5 && std::strcmp(t->texture_name + n - 4, ".ppm") == 0;
        ok = stream_printf(s, "\t\ttexture { uv_mapping pigment { image_map { %s \"%s\"} } scale <1,-1,1> }\n",
                           ppm ? "ppm" : "png", texture.c_str()) > 0;
      }
      const float* b = t->basis;
      ok = ok && stream_printf(s, "\t\tmatrix <%f,%f,%f,%f,%f,%f,%f,%f,%f,0,0,0>\n", b[0], b[3], b[6], b[1], b[4], b[7],
                               b[2], b[5], b[8]) > 0;
      ok = ok && stream_printf(s, "\t\ttranslate <%f,%f,%f>\n", t->x, t->y, t->z) > 0;
      ok = ok && stream_puts(s, "\t}\n") >= 0;
    }
    ok = ok && stream_puts(s, "}\n") >= 0;
  }
  // The roost particles' sprites come before the track's own billboards
  // and are no part of the scene.
  ok = ok && stream_puts(s, "#declare billboards = union {\n") >= 0;
  const int32_t billboard_count = billboards.data ? (int32_t)billboards.count : 0;
  for (int32_t i = first_file_billboard < 0 ? 0 : first_file_billboard; i < billboard_count && ok; i++) {
    const billboard* b = billboard_at(i);
    if (!b->texture_name) continue;
    ok = stream_puts(s, "object {\n\t") >= 0 && pov_identifier(s, b->texture_name);
    ok = ok && stream_printf(s, "()\n\ttranslate <%f,%f,%f>\n}\n", b->x, b->y, b->z) > 0;
  }
  ok = ok && stream_puts(s, "}\n") >= 0;
  // The height image of the track as the game reads it: the saved one in
  // the per-user folder, else the shipped one.
  const std::string terrain_name = std::string(track_source) + "/terrain.png";
  std::string heights = path_for_scene(terrain_name.c_str(), track_source);
  heights = pov_string(heights.empty() ? "terrain.png" : heights);
  ok = ok && stream_printf(s, "#declare ground = height_field {\n\tpng \"%s\"\n", heights.c_str()) > 0;
  ok = ok && stream_printf(s, "\tscale <1, 1, -1>\n\ttranslate <0, 0, 1>\n\tscale <%f,%f,%f>\n", field->extent,
                           field->max_height - field->min_height, field->extent) > 0;
  ok = ok && stream_printf(s, "\ttranslate <0,%f,0>\n}\n", field->min_height) > 0;
  return ok;
}

}  // namespace

int editor_export_pov() {
  if (!editor.terrain) return 0;
  // The scene is made in memory and replaces the file in one step, so a
  // failure anywhere leaves the previous export whole.
  char* text = nullptr;
  size_t size = 0;
  stream* s = (stream*)xmalloc(sizeof(stream));
  std::memset(s, 0, sizeof(stream));
  s->pushed_back = -1;
  s->file = open_memstream(&text, &size);
  int ok = 0;
  if (!s->file) {
    console_printf("Can't open 'track.pov'\n");
  } else {
    ok = write_scene(s);
    if (stream_close_file(s) != 0) ok = 0;
    if (!ok) console_printf("Error writing 'track.pov'");
  }
  check_free(s);
  if (ok) {
    char* path = track_file("track.pov");
    ok = file_replace(path, text, size, 0);
    check_free(path);
  }
  std::free(text);
  editor_set_message(ok ? "Pov!" : "Export failed!");
  return ok;
}
