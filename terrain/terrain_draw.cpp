// draw_terrain: the fans of the refined mesh through the driver, textured
// with the ground compositor's textures.
#include <GL/gl.h>

#include <climits>

#include "assets/gl_ext.h"
#include "assets/shader.h"
#include "terrain/height_field.h"
#include "terrain/terrain_mesh.h"

namespace {

struct draw_state {
  height_field* field;
  int bound_level;
  uint32_t bound_texture;
};

uint32_t fan_texture(const height_field* field, const terrain_fan* fan, int set) {
  if (fan->texture_level < lod_texture_levels)
    return field->lod_textures[set][fan->texture_level][fan->slot_row][fan->slot_column];
  if (!field->block_textures[set]) return 0;
  return field->block_textures[set][fan->slot_column + terrain_block_count(field) * fan->slot_row];
}

// Binds the fan's textures unless they are the ones bound for the last fan.
void bind_region_textures(draw_state* s, const terrain_fan* fan) {
  const uint32_t id = fan_texture(s->field, fan, 0);
  if (id == s->bound_texture && fan->texture_level == s->bound_level) return;
  s->bound_texture = id;
  s->bound_level = fan->texture_level;
  if (s->field->normal_mapped && gl_entry.glActiveTextureARB) {
    for (int unit = 2; unit >= 1; unit--) {
      gl_entry.glActiveTextureARB(GL_TEXTURE0_ARB + unit);
      glBindTexture(GL_TEXTURE_2D, fan_texture(s->field, fan, unit));
    }
    gl_entry.glActiveTextureARB(GL_TEXTURE0_ARB);
  }
  glBindTexture(GL_TEXTURE_2D, id);
}

void draw_fan(void* context, const terrain_fan* fan) {
  draw_state* s = (draw_state*)context;
  bind_region_textures(s, fan);
  if (no_vertex_arrays) {
    glBegin(GL_TRIANGLE_FAN);
    for (int k = 0; k < fan->count; k++) {
      glTexCoord2fv(fan->texcoord[k]);
      glVertex3fv(fan->position[k]);
    }
    glEnd();
    return;
  }
  glVertexPointer(3, GL_FLOAT, 0, fan->position);
  glTexCoordPointer(2, GL_FLOAT, 0, fan->texcoord);
  glDrawArrays(GL_TRIANGLE_FAN, 0, fan->count);
}

}  // namespace

void draw_terrain(height_field* field) {
  if (!field->heights || !field->lod_node_bits) return;
  terrain_refine(field);
  draw_state state = {field, -1, 0};
  const terrain_fan_sink sink = {&state, draw_fan};
  const int shaded = field->normal_mapped && shaders_active;
  if (shaded) shader_use(shader_terrain);
  glEnable(GL_TEXTURE_2D);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  if (!no_vertex_arrays) {
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  }
  terrain_emit_fans(field, &sink);
  if (!no_vertex_arrays) {
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
  }
  if (field->normal_mapped && gl_entry.glActiveTextureARB) {
    for (int unit = 2; unit >= 1; unit--) {
      gl_entry.glActiveTextureARB(GL_TEXTURE0_ARB + unit);
      glBindTexture(GL_TEXTURE_2D, 0);
    }
    gl_entry.glActiveTextureARB(GL_TEXTURE0_ARB);
  }
  glBindTexture(GL_TEXTURE_2D, 0);
  if (shaded) shader_use(shader_fixed);
  field->generation = field->generation == INT_MAX ? 1 : field->generation + 1;
}
