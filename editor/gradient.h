#pragma once
// Gradients: an axis on the ground with a height profile along it, the
// shape the gradient brushes paint. Every call works on the selected
// gradient and does nothing (or gives 0) when none is selected.
#include "editor/editor.h"

// The selected gradient, or null when the index is outside the list.
gradient* editor_selected_gradient();

// Slope (height per unit distance) of the selected profile at point i. A
// profile of under 2 points, or a difference over a distance <= 0, has
// slope 0.
float gradient_point_slope(int i);
// Height of segment i at t in [0, 1]: the cubic Hermite curve through the
// ends with the points' slopes.
float gradient_segment_height(int i, float t);
// Height of the selected profile at distance d along the axis; 0 with no
// point.
float gradient_profile_height(float d);
// A fresh profile over the axis: (0, 0) and (length, 0), both Line.
void gradient_reset_profile();

// The profile height at world (x, z) by its signed distance along the
// axis; 0 with no selected gradient or no point.
float gradient_linear_height(float x, float z);
// The same by the distance from the start ahead of it (a round cap) and
// from the axis line behind it (a straight extrusion).
float gradient_radial_height(float x, float z);

enum { gradient_segment_max_samples = 4096 };
// The profile graph's vertices (distance, 0, -height) of segment i of the
// selected gradient's `count` points: samples every 0.25 along a segment
// (at most gradient_segment_max_samples), or the last point alone when i
// is the last. Returns the number written into `out`.
int draw_gradient_segment(const gradient_point* points, int i, int count, float (*out)[3]);

// Selects the gradient with its start or end under the mouse; the last in
// the list wins.
void gradient_pick();
// Gradient Placement: the press picks the start (move) or end (aim)
// handle, the held step moves or turns the axis, the release gives a blank
// profile the new axis length.
void gradient_placement_press();
void gradient_placement_drag();
void gradient_placement_release();
// Gradient Edit: the press picks a profile point on the graph or inserts
// one on the segment under the mouse; the held step drags it.
void profile_point_pick_or_insert();
void gradient_edit_drag();

// Handles within this many world units of the mouse are picked: half the
// icon scale.
float editor_pick_radius();
