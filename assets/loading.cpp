// The loading screen's frames, its progress and refresh forms, and the
// record of the longest gap between frames.
#include "assets/loading.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "assets/font.h"
#include "assets/game_window.h"
#include "assets/held_controls.h"
#include "assets/screen_hooks.h"
#include "assets/view_extent.h"
#include "assets/view_settings.h"
#include "platform/input.h"
#include "platform/log.h"
#include "platform/timebase.h"
#include "platform/window.h"

loading_state loading;

double loading_now() {
  int seconds = 0, microseconds = 0;
  time_now(&seconds, &microseconds);
  return seconds + microseconds / 1e6;
}

static void copy_message(char* to, const char* from) {
  std::snprintf(to, loading_message_bytes, "%s", from);
}

void loading_note_frame(const char* message, double now) {
  const double gap = now - loading.last_frame;
  if (gap > loading.longest_gap) {
    loading.longest_gap = gap;
    copy_message(loading.slowest, loading.previous);
  }
  loading.last_frame = now;
  copy_message(loading.previous, message);
}

void loading_reset_gap() {
  loading.longest_gap = 0;
  loading.slowest[0] = 0;
  loading.last_frame = loading_now();
}

int loading_progress_text(const char* message, double now, char* out) {
  if (loading.progress_time != 0 && now - loading.progress_time <= 0.125) return 0;
  static const char* const suffixes[4] = {"", ".", "..", "..."};
  std::snprintf(out, loading_message_bytes, "%.64s%s", message, suffixes[loading.spinner]);
  loading.spinner = (loading.spinner + 1) % 4;
  loading.progress_time = now;
  return 1;
}

int loading_refresh_due(double now) {
  loading.refresh_count++;
  if (now - loading.refresh_time < 0.0625) return 0;
  loading.refresh_time = now;
  return 1;
}

void loading_picture_rect(float xe, float ye, float rect[4]) {
  if (xe > 2 * ye) {
    rect[0] = -xe;
    rect[1] = xe / 2;
    rect[2] = xe;
    rect[3] = -xe / 2;
  } else {
    rect[0] = -2 * ye;
    rect[1] = ye;
    rect[2] = 2 * ye;
    rect[3] = -ye;
  }
}

// Loading frames throw input away, but never the request to close: put
// back, it ends the run once the load is over, even when a SIGTERM came in
// the middle of it.
static void discard_events() {
  if (!game_window) return;
  int code, pressed, closing = 0;
  while (window_get_event(game_window, &code, &pressed))
    if (code == input_code_close) closing = 1;
  if (closing) window_push_event_now(game_window, input_code_close, 1);
}

static void filled_quad(float r, float g, float b, float a, float x0, float y0, float x1, float y1) {
  if (screen_hooks.draw_filled_quad) screen_hooks.draw_filled_quad(r, g, b, a, x0, y0, x1, y1);
}

// Begins a frame and sets the projection; null when the window has none.
static window_frame* begin_frame() {
  if (!game_window) return nullptr;
  window_frame* frame = window_begin_frame(game_window);
  if (frame && screen_hooks.set_projection)
    screen_hooks.set_projection(frame->width, frame->height, fov);
  return frame;
}

void loading_show(const char* message) {
  discard_events();
  release_held_controls();
  if (!begin_frame()) return;
  loading_draw_screen(message);
  window_end_frame(game_window);
  loading_note_frame(message, loading_now());
}

void loading_show_logged(const char* message) {
  loading_show(message);
  if (message[0]) log_printf("%s\n", message);
}

void loading_show_reset(const char* message) {
  loading_show_logged(message);
  loading.spinner = 0;
}

void loading_progress(const char* message) {
  char text[loading_message_bytes];
  if (loading_progress_text(message, loading_now(), text)) loading_show(text);
}

void loading_progress_done(const char* message) {
  char text[loading_message_bytes];
  std::snprintf(text, sizeof text, "%.64s...done", message);
  loading_show(text);
}

void loading_refresh() {
  discard_events();
  if (!loading_refresh_due(loading_now())) return;
  if (!begin_frame()) return;
  loading_draw_spinner(loading.refresh_count);
  window_end_frame(game_window);
}

static void begin_plane() {
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_ALPHA_TEST);
  glTranslatef(0.0f, 0.0f, -1.0f);
}

void loading_draw_screen(const char* message) {
  const float xe = view_xe, ye = view_ye;
  begin_plane();
  filled_quad(0, 0, 0, 1, -xe, -ye, xe, ye);
  if (loading.picture) {
    float rect[4];
    loading_picture_rect(xe, ye, rect);
    loading_draw_quad(loading.picture, rect[0], rect[1], rect[2], rect[3]);
  }
  if (message[0] && screen_hooks.menu_begin_text_scale) {
    screen_hooks.menu_begin_text_scale(25.0f);
    draw_text_color(1, 1, 1, 1, message);
    if (screen_hooks.menu_pop_transform) screen_hooks.menu_pop_transform();
  }
  if (loading.build_text) {
    glLoadIdentity();
    glTranslatef(xe, -ye, -1.0f);
    glScalef(ye / 16.0f, ye / 16.0f, ye / 16.0f);
    draw_text_right_shadowed(0.75f, 0.75f, 0.75f, 1.0f, 0.0f, loading.build_text);
  }
}

void loading_draw_quad(unsigned texture, float x0, float y0, float x1, float y1) {
  glDisable(GL_BLEND);
  glEnable(GL_TEXTURE_2D);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_DECAL);
  glBindTexture(GL_TEXTURE_2D, texture);
  glColor4f(1, 1, 1, 1);
  glBegin(GL_QUADS);
  glTexCoord2f(0, 0);
  glVertex2f(x0, y0);
  glTexCoord2f(0, 1);
  glVertex2f(x0, y1);
  glTexCoord2f(1, 1);
  glVertex2f(x1, y1);
  glTexCoord2f(1, 0);
  glVertex2f(x1, y0);
  glEnd();
  glBindTexture(GL_TEXTURE_2D, 0);
  glDisable(GL_TEXTURE_2D);
}

void loading_draw_spinner(unsigned counter) {
  const float ye = view_ye;
  begin_plane();
  filled_quad(0.25f, 0.25f, 0.25f, 1, -view_xe, -ye, view_xe, ye);

  // A radial shade: lighter in the middle.
  glDisable(GL_BLEND);
  glDisable(GL_TEXTURE_2D);
  glBegin(GL_TRIANGLE_FAN);
  glColor4f(0.5f, 0.5f, 0.5f, 1);
  glVertex2f(0, 0);
  glColor4f(0.25f, 0.25f, 0.25f, 1);
  for (int i = 0; i <= 16; i++) {
    const double angle = i * M_PI / 8;
    glVertex2f((float)(2 * ye * std::cos(angle)), (float)(2 * ye * std::sin(angle)));
  }
  glEnd();

  const double t = loading_now();
  const int phase = (int)((t / 2 - std::floor(t / 2)) * 64);
  if (loading.animation_start == 0) loading.animation_start = t;
  double fade = (t - loading.animation_start - 0.25) * 4;
  fade = fade < 0 ? 0 : fade > 1 ? 1 : fade;

  // The counter in binary, with a band of larger squares running along it.
  for (int i = 0; i < 32; i++) {
    const float h = ((phase + i) & 32) ? 0.0234375f : 0.017578125f;
    const float x = ye - i * ye / 16;
    const float outer = h * ye, inner = 0.75f * h * ye;
    filled_quad(0, 0, 0, (float)(0.1 * fade), x - outer, -outer, x + outer, outer);
    const float grey = (counter >> i) & 1 ? 0.875f : 0.75f;
    filled_quad(grey, grey, grey, (float)fade, x - inner, -inner, x + inner, inner);
  }
}
