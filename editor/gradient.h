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

// Handles within this many world units of the mouse are picked: half the
// icon scale.
float editor_pick_radius();
