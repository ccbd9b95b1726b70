#pragma once
// The drawing steps of the editor's view (GL), in world units on the
// ground plane y = 0 under the view's transform.
#include <cstdint>

struct billboard;

// A ring of `width` round (x, z): 64 quads.
void draw_ring(float x, float z, float radius, float width);
// The object icon in its own frame, pointing along -z: rings at the
// object and 4 ahead, a bar and a chevron between, of stroke `width`.
void draw_object_icon(float width);
void draw_gradient_overlay(int index);
// The brush outline round the mouse's world point (a capsule from the drag
// anchor when there is one).
void draw_brush_outline(const float m[2]);
void draw_billboard_ring(const billboard* b, float face, float edge);
void draw_decal_icons(const float m[2]);
void draw_statue_wireframes();
void draw_textured_unit_quad(uint32_t texture);

// The top-down view's projection and modelview for the current window.
void editor_set_view_matrices();
