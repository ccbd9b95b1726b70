#pragma once
// Off-screen drawing for the GL tests: a framebuffer object to draw into,
// frames read back from it, and the few ways the tests look at them.
#include <GL/gl.h>

#include <string>
#include <vector>

// A colour texture and, when asked for, a depth buffer, joined in a
// framebuffer object. Made and released while the test's GL context is
// current: fixtures call create() in SetUp and release() in TearDown,
// before the window goes.
class gl_target {
 public:
  gl_target() = default;
  gl_target(int w, int h, bool depth) { create(w, h, depth); }
  ~gl_target() { release(); }
  gl_target(const gl_target&) = delete;
  gl_target& operator=(const gl_target&) = delete;

  // Leaves the target unbound: the first bind() attaches its buffers.
  void create(int w, int h, bool depth);
  // Draws go here from now on. The buffers are attached again each time,
  // for code under test that may have borrowed the framebuffer.
  void bind() const;
  // Bound and complete, so drawing into it can work.
  bool complete() const;
  // Back to the window's framebuffer, everything deleted; safe to repeat,
  // and after a create() that never ran.
  void release();

  int w = 0, h = 0;
  GLuint fbo = 0, colour = 0, depth = 0;
};

// A frame read back as RGB, bottom row first as GL gives it; at() counts
// rows from the top, as the screen does.
struct gl_frame {
  int w = 0, h = 0;
  std::vector<unsigned char> rgb;
  const unsigned char* at(int x, int y_from_top) const {
    return &rgb[3 * ((size_t)x + (size_t)w * (size_t)(h - 1 - y_from_top))];
  }
};

// The bound framebuffer's w x h pixels from its bottom left corner.
gl_frame gl_frame_read(int w, int h);

// With BK_TEST_FRAMES naming a folder, the frame is kept there as NAME.ppm,
// a picture for a person to look at; otherwise nothing is written.
void gl_frame_keep(const gl_frame& f, const std::string& name);

// Pixels of [x0, x1) x [y0, y1) (rows from the top, clipped to the frame)
// that pass test(pixel), the pixel being its red, green and blue.
template <typename Test>
int gl_frame_count(const gl_frame& f, int x0, int y0, int x1, int y1, Test test) {
  int n = 0;
  for (int y = y0 < 0 ? 0 : y0; y < y1 && y < f.h; y++)
    for (int x = x0 < 0 ? 0 : x0; x < x1 && x < f.w; x++) n += test(f.at(x, y)) ? 1 : 0;
  return n;
}

// Pixels of a box (as for gl_frame_count), or of the whole frame, that
// differ clearly between two frames of one size: their red, green and blue
// differences add up to more than 24.
int gl_frame_differing(const gl_frame& a, const gl_frame& b, int x0, int y0, int x1, int y1);
int gl_frame_differing(const gl_frame& a, const gl_frame& b);
