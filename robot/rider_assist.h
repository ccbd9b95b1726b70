#pragma once
// The balance help of every rider, human or robot, run by the rider's
// control step once per tick: the dab foot, the roll assist that pushes a
// leaning bike back toward upright, the realign that turns a slow, tipped
// bike toward where it should go, and the finish of a rider stuck after
// the leader has finished.
struct rider;

void rider_assist_step(rider* r);
