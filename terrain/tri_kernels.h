#pragma once
// Per-triangle contact kernels: how deep a wheel (a torus: a rim circle swept
// by a tube) or a sphere sinks into one triangle, and the point, line and
// plane operations they share. Pure functions on single-precision vectors.
//
// A triangle is 9 floats V0, V1, V2. Its face normal (V1 - V0) x (V2 - V0)
// is not normalised; terrain triangles are wound so that it points up.
// Kernels return a depth; above 0 means penetration, and then the point and
// normal are written (the normal points from the triangle towards the body,
// not always unit length: the caller normalises the contact it keeps).

// The point of the rim circle (centre w, axle a of any length, radius
// rim_radius) nearest to p.
void nearest_point_on_rim(float out[3], const float w[3], const float a[3], float rim_radius,
                          const float p[3]);

// Unsigned distance of p from the plane through q with normal n (any length).
float point_plane_distance(const float q[3], const float n[3], const float p[3]);

// Where the line p + t d meets the plane through q with normal n: 1 and the
// point; when d lies parallel to the plane, 0 and p.
int line_plane_intersect(float out[3], const float p[3], const float d[3], const float q[3],
                         const float n[3]);

// Depth of a wheel (centre w, axle a, rim and tyre radii) in a triangle.
float wheel_triangle_contact(float point[3], float normal[3], const float w[3], const float a[3],
                             float rim_radius, float tyre_radius, const float tri[9]);

// The cheap cases of wheel_triangle_contact only: where that would fall back
// on the rim-to-edges distance this returns 0 and writes nothing.
float wheel_triangle_contact_2(float point[3], float normal[3], const float w[3], const float a[3],
                               float rim_radius, float tyre_radius, const float tri[9]);

// Smallest distance between the rim circle and the triangle's edges and
// corners (n is the triangle's face normal), with the point and normal of the
// nearest feature.
float rim_triangle_distance(float point[3], float normal[3], const float w[3], const float a[3],
                            float rim_radius, float tyre_radius, const float tri[9],
                            const float n[3]);

// Depth of a sphere (centre c, radius r) in a triangle.
float body_triangle_contact(float point[3], float normal[3], const float c[3], float r,
                            const float tri[9]);
