#pragma once
// Where the sound scene hears from: the camera of the view drawn last.
// draw_scene sets the position and orientation, the view the velocity.
struct listener_record {
  float position[3];
  float orientation[9];  // row by row; the first column is the camera's right-hand axis
  float velocity[3];
};
extern listener_record listener;
