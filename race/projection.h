#pragma once
// The perspective projection every view starts from. It also fixes the
// extents of the plane z = -1 on which 2-D drawing happens (view_xe and
// view_ye): 4:3 and narrower views keep the field of view across, wider
// ones keep the height of a 4:3 view.

// Half extents of the view at distance 1 for a viewport and a field of view
// in degrees.
void projection_extents(int width, int height, double field_of_view, float* xe, float* ye);

// Viewport width x height, the frustum between the track's near and far
// planes, view_xe and view_ye; the modelview
// matrix is reset to identity.
void set_projection(int width, int height, double field_of_view);
