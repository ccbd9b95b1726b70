// Part files of a rider: skin variants of part models and the normal and
// specular maps of a skin.
#include <cstdio>
#include <cstring>

#include "assets/shader.h"
#include "assets/texture.h"
#include "bike/rider_build.h"
#include "core/message_ring.h"

namespace {

// Copies n characters of s to out (NUL-terminated); 0 when they do not fit.
int append(char* out, size_t size, size_t* used, const char* s, size_t n) {
  if (*used + n + 1 > size) return 0;
  memcpy(out + *used, s, n);
  *used += n;
  out[*used] = 0;
  return 1;
}

const char* after_last_slash(const char* s) {
  const char* slash = strrchr(s, '/');
  return slash ? slash + 1 : s;
}

// The name with its extension (from the last ".") replaced; 0 when out does
// not hold it.
int replace_extension(char* out, size_t size, const char* name, const char* extension) {
  const char* dot = strrchr(name, '.');
  const size_t stem = dot ? (size_t)(dot - name) : strlen(name);
  size_t used = 0;
  return append(out, size, &used, name, stem) &&
         append(out, size, &used, extension, strlen(extension));
}

// Tries name + "_norm" or "_spec" with the three image extensions.
unsigned load_map(const char* name, const char* kind) {
  static const char* const extensions[] = {".seq", ".png", ".ppm"};
  for (const char* extension : extensions) {
    char suffix[16];
    snprintf(suffix, sizeof suffix, "%s%s", kind, extension);
    char path[512];
    if (!replace_extension(path, sizeof path, name, suffix)) return 0;
    const unsigned id = texture_load(path);
    if (id) return id;
  }
  return 0;
}

void find_missing(unsigned* norm, unsigned* spec, const char* name) {
  if (!*norm) *norm = load_map(name, "_norm");
  if (!*spec) *spec = load_map(name, "_spec");
}

}  // namespace

int skin_variant_name(char* out, size_t size, const char* path, const char* skin,
                      const char* extension) {
  if (!path || !skin || !extension || !out || size == 0) return 0;
  const char* file = after_last_slash(path);
  const char* dash = strchr(file, '-');
  size_t base;
  if (dash) {
    base = (size_t)(dash - path);
  } else {
    const char* dot = strrchr(path, '.');
    if (!dot || strchr(dot, '/')) return 0;
    base = (size_t)(dot - path);
  }
  const char* skin_file = after_last_slash(skin);
  const char* first = strchr(skin_file, '-');
  const char* second = first ? strchr(first + 1, '-') : nullptr;
  if (!second) return 0;
  size_t used = 0;
  return append(out, size, &used, path, base) &&
         append(out, size, &used, first, (size_t)(second - first)) &&
         append(out, size, &used, extension, strlen(extension));
}

model* model_load_skinned(const char* path, const char* skin, int warn) {
  if (!path || !*path) return nullptr;
  char variant[512];
  const char* dot = strrchr(path, '.');
  const char* extension = dot && !strchr(dot, '/') ? dot : "";
  if (skin && skin_variant_name(variant, sizeof variant, path, skin, extension)) {
    model* m = model_get(variant);
    if (m) return m;
    const char* slash = strrchr(skin, '/');
    if (slash) {
      // The variant may sit beside the skin instead of beside the part.
      const char* file = strrchr(variant, '/');
      file = file ? file + 1 : (variant[0] == '@' ? variant + 1 : variant);
      char beside[512];
      size_t used = 0;
      if (append(beside, sizeof beside, &used, skin, (size_t)(slash + 1 - skin)) &&
          append(beside, sizeof beside, &used, file, strlen(file))) {
        m = model_get(beside);
        if (m) return m;
        if (warn) console_printf("Warning: Can't load %.450s or %.450s", variant, beside);
        return nullptr;
      }
    }
    if (warn) console_printf("Warning: Can't load %.900s", variant);
    return nullptr;
  }
  model* m = model_get(path);
  if (!m && warn) console_printf("Warning: Can't load %.900s", path);
  return m;
}

void texture_find_norm_spec(unsigned* norm, unsigned* spec, const char* skin,
                            const char* default_skin) {
  *norm = 0;
  *spec = 0;
  if (!shaders_active || !skin || !*skin) return;
  find_missing(norm, spec, skin);
  char variant[512];
  if ((!*norm || !*spec) && skin_variant_name(variant, sizeof variant, skin, skin, ".foo"))
    find_missing(norm, spec, variant);
  if ((!*norm || !*spec) && default_skin &&
      skin_variant_name(variant, sizeof variant, default_skin, skin, ".foo"))
    find_missing(norm, spec, variant);
}
