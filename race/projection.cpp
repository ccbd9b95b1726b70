#include "race/projection.h"

#include <GL/gl.h>

#include <cmath>

#include "assets/view_extent.h"
#include "race/scene_math.h"

void projection_extents(int width, int height, double field_of_view, float* xe, float* ye) {
  const double h = std::tan(field_of_view * M_PI / 360.0);
  if (height < 1) height = 1;
  double x, y;
  if ((double)width / height > 4.0 / 3.0) {
    y = 0.75 * h;
    x = y * width / height;
  } else {
    x = h;
    y = x * height / (width < 1 ? 1 : width);
  }
  *xe = (float)x;
  *ye = (float)y;
}

void set_projection(int width, int height, double field_of_view) {
  glViewport(0, 0, width, height);
  projection_extents(width, height, field_of_view, &view_xe, &view_ye);
  float near_plane, far_plane;
  scene_clip_planes(&near_plane, &far_plane);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glFrustum(-view_xe * near_plane, view_xe * near_plane, -view_ye * near_plane, view_ye * near_plane, near_plane,
            far_plane);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}
