// bkdata check for ".jm" models: reads the file through the game's reader,
// with the LOD variants lying beside it, and prints their counts.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "assets/model.h"
#include "core/message_ring.h"
#include "tools/bkdata/commands.h"

static int ends_with(const std::string& text, const char* suffix) {
  const size_t n = std::strlen(suffix);
  return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

int bkdata_is_model_name(const char* path) {
  const std::string p(path);
  return ends_with(p, ".jm") || ends_with(p, ".jm.gz") || ends_with(p, ".jm.scram") || ends_with(p, ".jm.gz.scram");
}

// The reader's own lines (warnings, or the reason for a refusal) since the
// ring was cleared, oldest first.
static std::vector<std::string> reader_lines() {
  std::vector<std::string> lines;
  for (int k = message_ring_size; k >= 1; --k) {
    const char* line = message_ring_line(k);
    if (line && line[0]) lines.emplace_back(line);
  }
  return lines;
}

int bkdata_check_model(const char* path) {
  namespace fs = std::filesystem;
  message_ring_clear();
  std::string name(path);
  // The reader finds compressed and scrambled variants by itself.
  for (const char* suffix : {".gz.scram", ".scram", ".gz"})
    if (ends_with(name, suffix)) {
      name.erase(name.size() - std::strlen(suffix));
      break;
    }
  model* m = model_read(name.c_str());
  const std::vector<std::string> lines = reader_lines();
  if (!m) {
    // The specific reason comes first, then the general refusal.
    std::string why = lines.empty() ? "can't open" : lines.front();
    for (size_t k = 1; k < lines.size(); ++k) why += "; " + lines[k];
    std::printf("%s: %s\n", path, why.c_str());
    return 0;
  }
  const fs::path file(name);
  const std::string folder = file.has_parent_path() ? file.parent_path().string() + "/" : "";
  const std::string stem = file.stem().string();
  std::vector<std::string> listed;
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(folder.empty() ? "." : folder, ec))
    if (e.is_regular_file(ec)) listed.push_back(e.path().filename().string());
  std::sort(listed.begin(), listed.end());
  std::vector<const char*> names;
  for (const std::string& n : listed) names.push_back(n.c_str());
  names.push_back(nullptr);
  model_add_lod_variants(m, stem.c_str(), names.data(), folder.c_str());

  int submeshes = 0, vertices = 0, triangles = 0;
  for (const model* sub = m; sub; sub = sub->next, ++submeshes) {
    vertices += sub->vertex_count;
    triangles += sub->triangle_count;
  }
  std::printf("%s: model, %d sub-meshes, %d vertices, %d triangles, %d bones%s", path, submeshes, vertices, triangles,
              m->bone_count, m->reflective ? ", reflective" : "");
  int variants = 0;
  for (const model* v = m->lod_next; v; v = v->lod_next) {
    int t = 0;
    for (const model* sub = v; sub; sub = sub->next) t += sub->triangle_count;
    std::printf("%s %s at %g (%d triangles)", variants++ ? "," : "; LOD variants:", v->name, v->lod_distance, t);
  }
  std::printf("\n");
  for (const std::string& line : reader_lines()) std::printf("%s: %s\n", path, line.c_str());
  model_free(m);
  return 1;
}
