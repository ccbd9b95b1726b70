#pragma once
// The tools that place the track's objects with the mouse: timing gates
// (moved and aimed), billboards (picked, painted in trails, deleted) and
// statues (moved, turned, deleted, duplicated, lined up). Each works at the
// mouse's world point; presses and keys run once, drag steps once a tick
// while the left button is held. Nothing changes while the terrain's edit
// lock is set.

// Timing gates: the press picks a gate's centre (move), its far end (aim)
// or the half disc it spans; the drag moves or aims the current gate.
void timing_gate_pick();
void timing_gate_drag();

// Billboards: the press picks the next billboard round from the current
// one under the mouse, else lays a copy of the current one there; the
// painting step lays copies spaced by their own width; the delete removes
// a track billboard under the mouse.
void billboard_press();
void billboard_paint();
void billboard_delete_at_mouse();

// Statues.
void statue_pick();
void statue_drag();
void statue_delete_at_mouse();
void statue_duplicate_at_mouse();
// Spaces the statues after the current one evenly on the line from it to
// the last statue; all of them must share its model and texture.
void statues_interpolate();
