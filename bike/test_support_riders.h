#pragma once
// Shared fixtures of the bike tests: a generated flat track in track_field
// with one ground material, an open dynamics world, and riders standing on it.
#include "bike/rider.h"

// The flat ground's height.
constexpr float test_ground = 10.0f;

// Opens the world, clears the rider table and makes track_field a 257 x 257
// flat field of spacing 1 at test_ground, one tile with plain friction.
void test_track_open();
// Destroys every rider, frees the field and closes the world.
void test_track_close();

// A rider of the bike in the slot, turned to face heading radians about y
// and moved so its rest pose stands at (x, z) with the wheels just touching
// the flat ground.
rider* test_rider_place(const char* bike, unsigned slot, float x, float z, float heading = 0);

// Gives the rider part shapes built from its row (a few spheres per part,
// as the stock shapes are), written into the test folder and loaded as
// private instances. test_track_close frees them.
void test_rider_give_shapes(rider* r);

// Sets every body of the rider to the velocity.
void test_rider_velocity(rider* r, float vx, float vy, float vz);
