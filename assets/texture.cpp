// The texture, link and image tables: lookups by name, generations and
// freeing, and the texture-variant lists.
#include "assets/texture.h"

#include <GL/gl.h>
#include <strings.h>

#include <cstring>
#include <string>

#include "assets/texture_anim.h"
#include "assets/texture_settings.h"
#include "assets/verbose.h"
#include "core/file_index.h"
#include "core/intern.h"
#include "core/memory.h"
#include "core/message_ring.h"

int asset_generation;
unsigned texture_bytes;
growable_array texture_table;
growable_array texture_link_table;
growable_array image_table;

static int ensure_table(growable_array* table, size_t element_size) {
  if (table->capacity) return 1;
  return growable_array_init(table, element_size, 16);
}

static texture_record* texture_at(size_t i) {
  return *static_cast<texture_record**>(growable_array_at(&texture_table, i));
}

static image_record* image_at(size_t i) {
  return *static_cast<image_record**>(growable_array_at(&image_table, i));
}

int texture_wrap_flags(const char* name) {
  int flags = 0;
  if (std::strstr(name, "-hrepeat.")) flags |= texture_flag_repeat_s;
  if (std::strstr(name, "-vrepeat.")) flags |= texture_flag_repeat_t;
  if (std::strstr(name, "-repeat.")) flags |= texture_flag_repeat_s | texture_flag_repeat_t;
  return flags;
}

const char* texture_strip_detail(const char* name, int* reduction) {
  if (name[0] == '!') {
    *reduction = 0;
    return name + 1;
  }
  *reduction = texture_reduction;
  return name;
}

const char* texture_link_target(const char* name) {
  for (size_t i = 0; i < texture_link_table.count; i++) {
    const texture_link* link = static_cast<texture_link*>(growable_array_at(&texture_link_table, i));
    if (std::strcmp(link->name, name) == 0) return link->target;
  }
  return nullptr;
}

// Exact match first; a match ignoring case is used with a warning, since it
// works here but would not on a case-sensitive archive or system.
template <typename Record>
static Record* find_by_name(const growable_array* table, const char* name) {
  Record* loose = nullptr;
  for (size_t i = 0; i < table->count; i++) {
    Record* r = *static_cast<Record**>(growable_array_at(table, i));
    if (std::strcmp(r->name, name) == 0) return r;
    if (!loose && strcasecmp(r->name, name) == 0) loose = r;
  }
  if (loose) console_printf("Warning: case mismatch on '%.900s'", name);
  return loose;
}

texture_record* texture_find(const char* name) {
  texture_record* r = find_by_name<texture_record>(&texture_table, name);
  if (r && r->generation != 0 && r->generation != asset_generation) {
    r->generation = asset_generation;
    texture_bytes += (unsigned)r->byte_size;
  }
  return r;
}

image_record* image_find(const char* name) {
  image_record* r = find_by_name<image_record>(&image_table, name);
  if (r && r->generation != 0 && r->generation != asset_generation) r->generation = asset_generation;
  return r;
}

texture_record* texture_add_record(unsigned id, int byte_size, char* info, const char* name) {
  if (!ensure_table(&texture_table, sizeof(texture_record*))) return nullptr;
  const size_t length = std::strlen(name);
  texture_record* r = static_cast<texture_record*>(check_malloc(sizeof(texture_record) + length));
  if (!r) return nullptr;
  r->id = id;
  r->generation = asset_generation;
  r->byte_size = byte_size;
  r->info = info;
  std::memcpy(r->name, name, length + 1);
  if (!growable_array_append(&texture_table, &r)) {
    check_free(r);
    return nullptr;
  }
  return r;
}

image_record* image_add_record(uint8_t* pixels, int width, int height, const char* name) {
  if (!ensure_table(&image_table, sizeof(image_record*))) return nullptr;
  const size_t length = std::strlen(name);
  image_record* r = static_cast<image_record*>(check_malloc(sizeof(image_record) + length));
  if (!r) return nullptr;
  r->width = width;
  r->height = height;
  r->channels = 4;
  r->pixels = pixels;
  r->generation = asset_generation;
  r->byte_size = width * height * 4;
  std::memcpy(r->name, name, length + 1);
  if (!growable_array_append(&image_table, &r)) {
    check_free(r);
    return nullptr;
  }
  return r;
}

int texture_add_link(const char* name, const char* target) {
  if (!ensure_table(&texture_link_table, sizeof(texture_link))) return 0;
  texture_link link = {intern_string(name), intern_string(target)};
  return growable_array_append(&texture_link_table, &link);
}

void texture_set_link_target(const char* name, const char* target) {
  for (size_t i = 0; i < texture_link_table.count; i++) {
    texture_link* link = static_cast<texture_link*>(growable_array_at(&texture_link_table, i));
    if (std::strcmp(link->name, name) == 0) {
      link->target = intern_string(target);
      return;
    }
  }
}

static texture_record* texture_by_id(unsigned id) {
  for (size_t i = 0; i < texture_table.count; i++)
    if (texture_at(i)->id == id) return texture_at(i);
  return nullptr;
}

const char* texture_name(unsigned id) {
  texture_record* r = texture_by_id(id);
  return r ? r->name : nullptr;
}

const char* texture_info_text(unsigned id) {
  texture_record* r = texture_by_id(id);
  return r ? r->info : nullptr;
}

const char* image_name(const uint8_t* pixels) {
  for (size_t i = 0; i < image_table.count; i++)
    if (image_at(i)->pixels == pixels) return image_at(i)->name;
  return nullptr;
}

static int stale(int generation, int all) {
  return all || (generation != 0 && generation != asset_generation);
}

// Removes entry i, keeping the order of the rest.
static void remove_at(growable_array* table, size_t i) {
  unsigned char* data = static_cast<unsigned char*>(table->data);
  std::memmove(data + i * table->element_size, data + (i + 1) * table->element_size,
               (table->count - i - 1) * table->element_size);
  table->count--;
}

void texture_delete_stale(int all) {
  for (size_t i = texture_table.count; i-- > 0;) {
    texture_record* r = texture_at(i);
    if (!stale(r->generation, all)) continue;
    if (verbose) console_printf("deleting tid %d (%.900s)", (int)r->id, r->name);
    glDeleteTextures(1, &r->id);
    check_free(r->info);
    check_free(r);
    remove_at(&texture_table, i);
  }
  for (size_t i = image_table.count; i-- > 0;) {
    image_record* r = image_at(i);
    if (!stale(r->generation, all)) continue;
    if (verbose) console_printf("deleting image %.900s", r->name);
    check_free(r->pixels);
    check_free(r);
    remove_at(&image_table, i);
  }
  texture_anims_delete_stale(all);
  if (all) {
    if (texture_table.capacity) growable_array_free(&texture_table);
    if (image_table.capacity) growable_array_free(&image_table);
    if (texture_link_table.capacity) growable_array_free(&texture_link_table);
    texture_table = growable_array{};
    image_table = growable_array{};
    texture_link_table = growable_array{};
  }
}

static int ends_with(const std::string& s, const char* suffix) {
  const size_t n = std::strlen(suffix);
  return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

static void reset_list(growable_array* list) {
  if (list->capacity)
    list->count = 0;
  else
    growable_array_init(list, sizeof(const char*), 16);
}

void collect_texture_variants_from(const char* const* names, growable_array* paths,
                                   growable_array* variants, const char* prefix) {
  reset_list(paths);
  reset_list(variants);
  const char* none = nullptr;
  const char* stock = intern_string("default");
  growable_array_append(paths, &none);
  growable_array_append(variants, &stock);
  const size_t prefix_length = std::strlen(prefix);
  for (const char* const* n = names; n && *n; n++) {
    std::string name = *n;
    size_t suffix_length;
    if (ends_with(name, ".png") && !ends_with(name, "_norm.png") && !ends_with(name, "_spec.png"))
      suffix_length = 4;
    else if (ends_with(name, ".png.scram") && !ends_with(name, "_norm.png.scram") &&
             !ends_with(name, "_spec.png.scram"))
      suffix_length = 10;
    else
      continue;
    const size_t slash = name.rfind('/');
    const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    if (base.compare(0, prefix_length, prefix) != 0 || base.size() < prefix_length + suffix_length)
      continue;
    std::string path = "@" + name;
    if (ends_with(path, ".scram")) path.resize(path.size() - 6);
    const std::string variant =
        base.substr(prefix_length, base.size() - prefix_length - suffix_length);
    const char* interned_path = intern_string(path.c_str());
    const char* interned_variant = intern_string(variant.c_str());
    growable_array_append(paths, &interned_path);
    growable_array_append(variants, &interned_variant);
  }
}

void collect_texture_variants(growable_array* paths, growable_array* variants, const char* prefix) {
  collect_texture_variants_from(file_index_build(), paths, variants, prefix);
}
