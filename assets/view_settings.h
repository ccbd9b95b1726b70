#pragma once
// The "fov" setting: the field of view in degrees (default 110) that the
// loading screen and the scene ask the projection for.
extern double fov;
