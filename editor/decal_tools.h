#pragma once
// The decal tool: a current decal and a selection of further decals that
// follow it when it is moved, turned, copied or spread. Every call works at
// the mouse's world point on the editor's terrain and keeps the decal bins
// and the ground textures in step with the list. Nothing changes the
// decals while the terrain's edit lock is set.

struct decal;

// The press: picks a decal's centre (move) or its handle (turn), else lays
// a copy of the current decal at the mouse and starts painting.
void decal_pick();
// The drag step: moves, turns or paints by the drag state.
void decal_drag();
// Lays a copy of the current decal and of the selection; step: one copy's
// length on from the current decal towards the mouse ("d"), else at the
// mouse (painting). The copies become the current decal and the selection.
void decal_lay_copy(bool step);
// Where a copy of decal c goes in the list, by the "Level" setting.
int decal_insert_index(int c);
// Carries the selection along with the current decal's change from `from`
// to `to`, spreading it by `scale` about the new place.
void decal_group_transform(const decal& from, const decal& to, float scale);
// Adds the decals near the mouse to the selection (radius at least the pick
// radius); with toggle, ones already selected leave it.
void decal_select_toggle(bool toggle, float radius);
// Deletes the decals within radius of the mouse (0: the pick radius).
void decals_delete_at_mouse(float radius);
// The "{" and "}" keys: the selection contracts or spreads about the
// current decal.
void decal_group_scale(float scale);
