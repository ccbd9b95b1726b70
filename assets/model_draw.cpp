// Drawing models: display lists, vertex arrays or immediate mode; lit,
// unlit and environment-mapped materials; skinning on the CPU when the
// vertex programs are not there to do it.
#include <GL/gl.h>

#include "assets/gl_ext.h"
#include "assets/model_draw.h"
#include "assets/model_settings.h"
#include "assets/shader.h"

static void draw_arrays_now(const model* sub) {
  glVertexPointer(3, GL_FLOAT, 0, sub->positions);
  glTexCoordPointer(2, GL_FLOAT, 0, sub->texcoords);
  glNormalPointer(GL_FLOAT, 0, sub->normals);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
  const int extra = shaders_active && gl_entry.glClientActiveTextureARB;
  const int bones = extra && sub->weights;
  if (extra) {
    gl_entry.glClientActiveTextureARB(GL_TEXTURE1_ARB);
    glTexCoordPointer(3, GL_FLOAT, 0, sub->tangents);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    if (bones) {
      gl_entry.glClientActiveTextureARB(GL_TEXTURE2_ARB);
      glTexCoordPointer(4, GL_FLOAT, 0, sub->weights);
      glEnableClientState(GL_TEXTURE_COORD_ARRAY);
      gl_entry.glClientActiveTextureARB(GL_TEXTURE3_ARB);
      glTexCoordPointer(4, GL_INT, 0, sub->bone_indices);
      glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    }
  }
  glDrawElements(GL_TRIANGLES, 3 * sub->triangle_count, GL_UNSIGNED_INT, sub->triangles);
  if (extra) {
    if (bones) {
      gl_entry.glClientActiveTextureARB(GL_TEXTURE3_ARB);
      glDisableClientState(GL_TEXTURE_COORD_ARRAY);
      gl_entry.glClientActiveTextureARB(GL_TEXTURE2_ARB);
      glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    }
    gl_entry.glClientActiveTextureARB(GL_TEXTURE1_ARB);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    gl_entry.glClientActiveTextureARB(GL_TEXTURE0_ARB);
  }
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
}

void model_draw_arrays(const model* sub) { draw_arrays_now(sub); }

void model_draw_immediate(const model* sub) {
  const int extra = shaders_active && gl_entry.glMultiTexCoord3fvARB;
  const int bones = extra && sub->weights && gl_entry.glMultiTexCoord4fvARB && gl_entry.glMultiTexCoord4ivARB;
  glBegin(GL_TRIANGLES);
  for (int t = 0; t < sub->triangle_count; ++t)
    for (int corner = 0; corner < 3; ++corner) {
      const int i = sub->triangles[3 * t + corner];
      if (extra) {
        gl_entry.glMultiTexCoord3fvARB(GL_TEXTURE1_ARB, sub->tangents + 3 * i);
        if (bones) {
          gl_entry.glMultiTexCoord4fvARB(GL_TEXTURE2_ARB, sub->weights + 4 * i);
          gl_entry.glMultiTexCoord4ivARB(GL_TEXTURE3_ARB, sub->bone_indices + 4 * i);
        }
      }
      glNormal3fv(sub->normals + 3 * i);
      glTexCoord2fv(sub->texcoords + 2 * i);
      glVertex3fv(sub->positions + 3 * i);
    }
  glEnd();
}

void model_call_list(const model* sub) {
  draw_stats.vertices += sub->vertex_count;
  draw_stats.triangles += sub->triangle_count;
  if (sub->display_list)
    glCallList(sub->display_list);
  else if (no_vertex_arrays)
    model_draw_immediate(sub);
  else
    model_draw_arrays(sub);
}

void model_build_lists(model* m) {
  for (model* level = m; level; level = level->lod_next)
    for (model* sub = level; sub; sub = sub->next) {
      if (!sub->list_wanted || sub->display_list) continue;
      const GLuint list = glGenLists(1);
      if (!list) continue;  // drawn from its arrays instead
      glNewList(list, GL_COMPILE);
      model_draw_arrays(sub);
      glEndList();
      sub->display_list = list;
    }
}

void model_release_list(model* sub) {
  if (!sub->display_list) return;
  glDeleteLists(sub->display_list, 1);
  sub->display_list = 0;
}

static const model* choose_level(const model* m, const float object[3]) {
  return model_choose_lod(m, object, eye_position, model_lod_scale, model_lod_offset);
}

void model_draw_lit(const model* m, const float eye[3], const float object[3], const float rotation[9],
                    const float* centres, const float* translations, const float* rotations, int bone_count) {
  (void)eye;
  (void)rotation;
  const model* level = choose_level(m, object);
  shader_set_bones(bone_count, centres, translations, rotations);
  for (const model* c = level; c; c = c->next) {
    if (c->shininess == static_cast<float>(model_mode_reflective)) break;
    // Drawing writes only into the arrays, which are the draw's scratch space.
    model* sub = const_cast<model*>(c);
    const int unlit = sub->shininess == static_cast<float>(model_mode_unlit);
    if (!unlit) {
      glMaterialfv(GL_FRONT, GL_SPECULAR, sub->colour);
      glMaterialf(GL_FRONT, GL_SHININESS, sub->shininess < 0.125f ? 0.125f : sub->shininess);
    } else {
      static const float black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
      glLightModelfv(GL_LIGHT_MODEL_AMBIENT, black);
      glLightfv(GL_LIGHT0, GL_AMBIENT, sub->colour);
      glMaterialfv(GL_FRONT, GL_DIFFUSE, black);
      glMaterialfv(GL_FRONT, GL_SPECULAR, black);
      glMaterialf(GL_FRONT, GL_SHININESS, 1.0f);
    }
    if (bone_count > 0) model_skin_cpu(sub, centres, translations, rotations, bone_count);
    model_call_list(sub);
    if (unlit) {
      const float* g = model_lighting.global_ambient;
      const float* a = model_lighting.ambient;
      const float global[4] = {g[0], g[1], g[2], 1.0f};
      const float ambient[4] = {a[0], a[1], a[2], 1.0f};
      static const float white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
      glLightModelfv(GL_LIGHT_MODEL_AMBIENT, global);
      glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
      glMaterialfv(GL_FRONT, GL_DIFFUSE, white);
    }
  }
}

void model_draw_env(const model* m, const float eye[3], const float object[3], const float rotation[9],
                    const float* centres, const float* translations, const float* rotations, int bone_count) {
  const model* level = choose_level(m, object);
  shader_set_bones(bone_count, centres, translations, rotations);
  for (const model* c = level; c; c = c->next) {
    if (c->shininess != static_cast<float>(model_mode_reflective)) continue;
    model* sub = const_cast<model*>(c);
    if (!shaders_active) model_env_texcoords(sub, eye, object, rotation);
    const float a = sub->colour[3];
    glColor4f(a * sub->colour[0], a * sub->colour[1], a * sub->colour[2], 1.0f);
    if (bone_count > 0) model_skin_cpu(sub, centres, translations, rotations, bone_count);
    model_call_list(sub);
  }
}

void model_draw_lit_simple(const model* m, const float eye[3], const float object[3], const float rotation[9]) {
  model_draw_lit(m, eye, object, rotation, nullptr, nullptr, nullptr, 0);
}

void model_draw_env_simple(const model* m, const float eye[3], const float object[3], const float rotation[9]) {
  model_draw_env(m, eye, object, rotation, nullptr, nullptr, nullptr, 0);
}

int model_uses_env(const model* m) { return model_reflections && m->reflective; }

void model_draw_lines(const model* m) {
  for (int t = 0; t < m->triangle_count; ++t) {
    glBegin(GL_LINE_LOOP);
    for (int corner = 0; corner < 3; ++corner) glVertex3fv(m->positions + 3 * m->triangles[3 * t + corner]);
    glEnd();
  }
}
