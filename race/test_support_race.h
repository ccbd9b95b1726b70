#pragma once
// Shared fixtures of the race tests: the generated game data under this
// run's data root, opened headless (no window; textures are fake ids), and
// the dynamics world the riders live in.
#include <string>

// Builds the game data once per run (bkdata build); false when it failed.
bool race_test_make_data();
// Opens the world and the file index and empties the race's state.
void race_test_open();
// Frees the riders and the track and closes the world.
void race_test_close();
// Copies the sample track to a new folder of the data root, with the
// terrain cut to `terrain_bytes` (0 keeps it whole); the copy's name.
std::string race_test_copy_track(const std::string& name, long terrain_bytes);
// The console lines printed since line `first` of the ring.
std::string race_test_console_since(int first);
