#pragma once
// The race view's choice of camera: -1 the free camera, else a track
// camera (digits pick it).
extern int race_camera_choice;
