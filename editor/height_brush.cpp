#include "editor/height_brush.h"

#include <algorithm>
#include <cmath>

#include "editor/editor.h"
#include "editor/editor_items.h"
#include "editor/gradient.h"
#include "terrain/ground_texture.h"
#include "terrain/height_field.h"

// The stroke base with both indices clamped to the grid.
static float base_at(int j, int i) {
  const int r = editor.size;
  j = j < 0 ? 0 : (j >= r ? r - 1 : j);
  i = i < 0 ? 0 : (i >= r ? r - 1 : i);
  return editor.stroke_base[(size_t)i * (size_t)r + (size_t)j];
}

// Interpolates on the coarse cell whose low corner is (c0, r0), b cells a
// side, at offsets (fx, fz) within it. Cells of even parity are split along
// the diagonal from (c0, r0) to (c0 + b, r0 + b), odd ones along the other.
static float coarse_triangle(int c0, int r0, int b, float fx, float fz) {
  int x0, x1;
  if ((((c0 / b) ^ (r0 / b)) & 1) == 0) {
    x0 = c0 + b;
    x1 = c0;
    fx = (float)b - fx;
  } else {
    x0 = c0;
    x1 = c0 + b;
  }
  int z0 = r0, z1 = r0 + b;
  if (fx + fz > (float)b) {
    fx = (float)b - fx;
    fz = (float)b - fz;
    const int t = x0;
    x0 = x1;
    x1 = t;
    z0 = r0 + b;
    z1 = r0;
  }
  const float h0 = base_at(x0, z0);
  const float hx = base_at(x1, z0);
  const float hz = base_at(x0, z1);
  return h0 + (hx - h0) * fx / (float)b + (hz - h0) * fz / (float)b;
}

static int coarse_cell_size(int level) {
  const int n = editor.terrain ? editor.terrain->n : 0;
  if (level > n) level = n;
  if (level < 0) level = 0;
  return 1 << (n - level);
}

float editor_coarse_height_cell(int level, int j, int i) {
  if (!editor.stroke_base || editor.size <= 0) return 0;
  const int b = coarse_cell_size(level);
  // Floor to a multiple of b, negative indices included.
  const int c0 = (int)std::floor((float)j / (float)b) * b;
  const int r0 = (int)std::floor((float)i / (float)b) * b;
  return coarse_triangle(c0, r0, b, (float)(j - c0), (float)(i - r0));
}

float editor_coarse_height_at(int level, float x, float z) {
  if (!editor.stroke_base || editor.size <= 0 || !editor.terrain) return 0;
  const float spacing = editor.terrain->spacing;
  if (!(spacing > 0)) return 0;
  const int b = coarse_cell_size(level);
  float u = x / spacing, v = z / spacing;
  // Far outside the grid the border continues; keep the casts in range.
  const float limit = (float)editor.size * 2.0f;
  if (!(u > -limit)) u = -limit;
  if (!(u < limit)) u = limit;
  if (!(v > -limit)) v = -limit;
  if (!(v < limit)) v = limit;
  const int c0 = (int)std::floor(u / (float)b) * b;
  const int r0 = (int)std::floor(v / (float)b) * b;
  return coarse_triangle(c0, r0, b, u - (float)c0, v - (float)r0);
}

float brush_segment_distance(float ax, float az, float bx, float bz, float px, float pz) {
  const float vx = bx - ax, vz = bz - az;
  const float l2 = vx * vx + vz * vz;
  const float t = (px - ax) * vx + (pz - az) * vz;
  if (t >= l2) return std::hypot(px - bx, pz - bz);
  if (t > 0) {
    const float f = t / l2;
    return std::hypot(px - (ax + vx * f), pz - (az + vz * f));
  }
  return std::hypot(px - ax, pz - az);
}

// A grid index from a world coordinate divided by the spacing, kept in
// 0..last (a mouse far off the map must not overflow the cast).
static int grid_index(float u, int last, int round_up) {
  const float v = round_up ? std::ceil(u) : std::floor(u);
  if (!(v > 0)) return 0;
  if (v >= (float)last) return last;
  return (int)v;
}

// Runs every `period`-th call since the press, the first at once.
static int throttle(int period) {
  const int before = editor.call_counter++;
  return before % period == 0;
}

static void finish_step(height_field* field, int c0, int r0, int c1, int r1) {
  editor.pending = 1;
  editor_set_message("Update needed!");
  ground_mark_dirty_clamped(field, c0, r0, c1, r1);
  field->edit_count++;
}

namespace {

enum { smooth_max_radius = 1024 };

// Smooth's disc mean with a running sum along a row: a step one cell to
// the right drops the column left of the disc and adds the new right one
// on every disc row.
struct smooth_disc {
  int r = 1;
  int half[smooth_max_radius];
  double sum = 0;
  int count = 1;
  int last_j = -2, last_i = -2;

  void set_up(float strength) {
    r = strength >= (float)smooth_max_radius ? smooth_max_radius : (int)strength;
    if (r < 1) r = 1;
    for (int q = 0; q < r; q++) half[q] = (int)std::sqrt((double)r * r - (double)q * q);
    last_j = last_i = -2;
  }

  float mean(int j, int i) {
    if (last_i == i && last_j == j - 1) {
      for (int q = -(r - 1); q <= r - 1; q++) {
        const int hw = half[q < 0 ? -q : q];
        sum += (double)base_at(j + hw, i + q) - (double)base_at(j - hw - 1, i + q);
      }
    } else {
      sum = 0;
      count = 0;
      for (int q = -(r - 1); q <= r - 1; q++) {
        const int hw = half[q < 0 ? -q : q];
        for (int x = j - hw; x <= j + hw; x++) sum += base_at(x, i + q);
        count += 2 * hw + 1;
      }
      if (count == 0) count = 1;
    }
    last_j = j;
    last_i = i;
    return (float)(sum / count);
  }
};

smooth_disc smooth;

// Smudge's samples behind each cell: every cell of a stroke samples the
// same offsets along the same direction, so each sample's cell offset,
// triangle corners and weights are worked out once per step (for both
// cell parities) and a cell costs three reads a sample.
struct smudge_kernel {
  enum { max_samples = 256 };
  struct sample {
    int di, dj;    // the sampled cell's offset from the brush cell
    int parity;    // (di + dj) & 1
    int x[2][2];   // per triangle split: columns of h0 and hx, from the cell
    int z[2][2];   // rows of h0 and hz
    float fx[2], fz[2];
  };
  sample samples[max_samples];
  int count = 0;
  int lo_i = 0, hi_i = 0, lo_j = 0, hi_j = 0;  // reach of the offsets

  void set_up(float c, float strength, const float along[2]) {
    count = 0;
    lo_i = lo_j = hi_i = hi_j = 0;
    for (int k = 0; count < max_samples; k++) {
      const float s = 0.5f * c * (float)k;
      if (!(s < c * strength)) break;
      const float u = s * along[0] / c, v = s * along[1] / c;
      sample& p = samples[count++];
      p.dj = (int)std::floor(u);
      p.di = (int)std::floor(v);
      p.parity = (p.dj + p.di) & 1;
      const float fu = u - (float)p.dj, fv = v - (float)p.di;
      for (int slot = 0; slot < 2; slot++) {
        // Slot 0: an even cell, split along (c0, r0)-(c0 + 1, r0 + 1).
        const int even = slot == 0;
        int x0 = even ? 1 : 0, x1 = even ? 0 : 1, z0 = 0, z1 = 1;
        float fx = even ? 1 - fu : fu, fz = fv;
        if (fx + fz > 1) {
          fx = 1 - fx;
          fz = 1 - fz;
          const int t = x0;
          x0 = x1;
          x1 = t;
          z0 = 1;
          z1 = 0;
        }
        p.x[slot][0] = p.dj + x0;
        p.x[slot][1] = p.dj + x1;
        p.z[slot][0] = p.di + z0;
        p.z[slot][1] = p.di + z1;
        p.fx[slot] = fx;
        p.fz[slot] = fz;
      }
      lo_j = std::min(lo_j, p.dj);
      hi_j = std::max(hi_j, p.dj + 1);
      lo_i = std::min(lo_i, p.di);
      hi_i = std::max(hi_i, p.di + 1);
    }
  }

  float mean(int j, int i) const {
    if (count == 0) return base_at(j, i);
    const int r = editor.size;
    const int inside = j + lo_j >= 0 && j + hi_j < r && i + lo_i >= 0 && i + hi_i < r;
    const float* b = editor.stroke_base;
    double sum = 0;
    for (int k = 0; k < count; k++) {
      const sample& p = samples[k];
      const int slot = ((j + i) & 1) ^ p.parity;
      const int x0 = j + p.x[slot][0], x1 = j + p.x[slot][1];
      const int z0 = i + p.z[slot][0], z1 = i + p.z[slot][1];
      float h0, hx, hz;
      if (inside) {
        h0 = b[(size_t)x0 + (size_t)r * (size_t)z0];
        hx = b[(size_t)x1 + (size_t)r * (size_t)z0];
        hz = b[(size_t)x0 + (size_t)r * (size_t)z1];
      } else {
        h0 = base_at(x0, z0);
        hx = base_at(x1, z0);
        hz = base_at(x0, z1);
      }
      sum += h0 + (hx - h0) * p.fx[slot] + (hz - h0) * p.fz[slot];
    }
    return (float)(sum / count);
  }
};

smudge_kernel smudge;

}  // namespace

void brush_step() {
  height_field* field = editor.terrain;
  if (!field || !editor.stroke_base || editor.size != field->size) return;
  const int mode = editor.mode;
  if (mode < mode_raise || mode > mode_gradient_radial_add || mode == mode_snap) return;
  if (!throttle(32)) return;
  float m[2];
  editor_mouse_world(m);
  const float w = (float)editor_radius * editor_pixel_size();
  const float inner = w * (float)editor_focus;
  const float strength = (float)std::exp2(editor_strength);
  const float c = field->spacing;
  const int last = field->size - 1;
  float along[2] = {0, 0};
  if (mode == mode_smudge) {
    const float ax = editor.smudge_anchor[0] - m[0], az = editor.smudge_anchor[1] - m[1];
    const float d2 = ax * ax + az * az;
    if (!(d2 >= 1)) return;
    const float d = std::sqrt(d2);
    along[0] = ax / d;
    along[1] = az / d;
    editor.smudge_anchor[0] = m[0] + along[0];
    editor.smudge_anchor[1] = m[1] + along[1];
  }
  float a[2] = {m[0], m[1]};
  if (editor.drag_anchor[0] >= 0) {
    a[0] = editor.drag_anchor[0];
    a[1] = editor.drag_anchor[1];
  }
  editor.drag_anchor[0] = m[0];
  editor.drag_anchor[1] = m[1];
  const int c0 = grid_index((std::fmin(a[0], m[0]) - w) / c, last, 0);
  const int c1 = grid_index((std::fmax(a[0], m[0]) + w) / c, last, 1);
  const int r0 = grid_index((std::fmin(a[1], m[1]) - w) / c, last, 0);
  const int r1 = grid_index((std::fmax(a[1], m[1]) + w) / c, last, 1);
  if (mode == mode_smooth) smooth.set_up(strength);
  if (mode == mode_smudge) smudge.set_up(c, strength, along);
  const float paint_share = strength < 0 ? 0 : strength > 1 ? 1 : strength;
  const int r = field->size;
  for (int i = r0; i <= r1; i++) {
    for (int j = c0; j <= c1; j++) {
      const float x = (float)j * c, z = (float)i * c;
      const float d = brush_segment_distance(a[0], a[1], m[0], m[1], x, z);
      if (!(d < w)) continue;
      float weight = 1;
      if (!(d < inner)) {
        const float q = (d - inner) / (w - inner);
        weight = 2 * q * q * q - 3 * q * q + 1;
      }
      const float base = base_at(j, i);
      float target = base;
      switch (mode) {
        case mode_raise: target = base + strength; break;
        case mode_lower: target = base - strength; break;
        case mode_smooth: target = smooth.mean(j, i); break;
        case mode_smudge: target = smudge.mean(j, i); break;
        case mode_gradient_linear_paint: target = gradient_linear_height(x, z); break;
        case mode_gradient_linear_add: target = base + gradient_linear_height(x, z); break;
        case mode_gradient_radial_paint: target = gradient_radial_height(x, z); break;
        case mode_gradient_radial_add: target = base + gradient_radial_height(x, z); break;
        default: break;
      }
      float next = base + (target - base) * weight;
      const float now = field->heights[(size_t)j + (size_t)r * (size_t)i];
      if (!(std::fabs(next - base) > std::fabs(now - base))) continue;
      if (mode >= mode_gradient_linear_paint) {
        float eased = now + (next - base) * paint_share;
        eased = next - base >= 0 ? std::fmin(eased, next) : std::fmax(eased, next);
        next = eased;
      }
      if (editor_submode == 1) next = std::fmax(next, base);
      if (editor_submode == 2) next = std::fmin(next, base);
      editor_set_height(field, j, i, next);
    }
  }
  finish_step(field, c0, r0, c1, r1);
}

void snap_step() {
  height_field* field = editor.terrain;
  if (!field || !editor.stroke_base || editor.size != field->size) return;
  if (!throttle(16)) return;
  float m[2];
  editor_mouse_world(m);
  const float strength = (float)std::exp2(editor_strength);
  const float c = field->spacing;
  int k = 0;
  while (k < field->n && c * (float)(1 << k) < strength) k++;
  const int b = 1 << k;
  const int last = field->size - 1;
  const int c0 = grid_index(m[0] / c, last, 0) / b * b;
  const int r0 = grid_index(m[1] / c, last, 0) / b * b;
  const int c1 = c0 + b < last ? c0 + b : last;
  const int r1 = r0 + b < last ? r0 + b : last;
  for (int i = r0; i <= r1; i++)
    for (int j = c0; j <= c1; j++) editor_set_height(field, j, i, editor_coarse_height_cell(field->n - k, j, i));
  finish_step(field, c0 - 1, r0 - 1, c1 + 1, r1 + 1);
}
