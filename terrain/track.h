#pragma once
// The loaded track as a whole: the list of installed tracks, the loader
// that reads a track folder (terrain, lighting, timing gates, flaggers,
// billboards, statues, map, cameras) and hashes it, the timing gates with
// the route the laps follow, and the writers the editor saves with.
//
// Files are named "@" + track_folder + "/" + file name, so they are found
// along the search roots and in the archives, and written files land in the
// per-user folder.
#include <cstdint>

#include "core/growable_array.h"
#include "core/rmd160.h"
#include "terrain/line_library.h"

enum {
  track_folder_bytes = 256,
  track_long_name_bytes = 256,
  checkpoint_max = 256,
  start_slot_max = 160,
  route_entry_max = 256,
  route_flagged = 100000,  // an entry at or above: a timed crossing that starts no segment
  route_best_path_variants = 3,
  flagger_start_textures = 5,
  flagger_lap_textures = 4,
  flagger_course_gates = 4,
};

// The installed tracks, sorted by long name.
extern char** track_folders;
extern char** track_long_names;
extern int32_t track_count;

extern char track_folder[track_folder_bytes];  // set by the caller of load_track
extern char track_long_name[track_long_name_bytes];
extern uint8_t track_hash[digest_bytes];

// A timing gate: a line across the track from the centre, along the
// direction (as written, not of unit length), half_width long.
struct checkpoint {
  float half_width;
  float x, y, z;
  float dx, dy, dz;
  int32_t spare;
};
// The gates as read; checkpoint_count is their number while they take
// effect, else 0. checkpoints_read is their number either way.
extern checkpoint checkpoints[checkpoint_max];
extern int32_t checkpoint_count;
extern int32_t checkpoints_read;

// The far end of a gate: centre + direction / |direction| x half-width,
// or the centre for a gate with no horizontal direction.
void checkpoint_far_end(const checkpoint* c, float out[3]);

// A place on the starting grid, with the gate object in front of it.
struct start_slot {
  float x, y, z;  // as written in the file
  float angle;    // heading, wrapped into -pi .. pi
  int32_t statue;  // its gate object in `statues`
};
extern start_slot start_slots[start_slot_max];
extern int32_t start_slot_count;

// The order of timing crossings over the laps, shared with the robot code.
// entries: the first-lap list, then one normal lap's list; an entry below
// route_flagged is a gate that starts a line segment, one at or above is
// route_flagged + gate, timed but starting none. The counts are those in
// effect (all 0 when the track has no working gates).
struct route_block {
  int32_t entries[route_entry_max];
  int32_t gate_count;
  int32_t first_lap_gates;      // F
  int32_t normal_lap_gates;     // N
  int32_t first_lap_segments;   // SF
  int32_t normal_lap_segments;  // SN
  int32_t id_serial;            // last unique id given to a line
  line_record* line_library;    // (SF + SN) x 45 slots, segment-major
  int32_t* best_paths;          // 3 x (SF + SN)
};
extern route_block route;
// The lengths of the two lists as read, whether or not the gates took
// effect; the writer saves these.
extern int32_t lap_list_read[2];

// The flaggers: the one who walks off the start line, the one at the
// finish line, and the ones beside the course who wave when a rider is down
// before one of their gates.
struct flagger_look {
  float start_from[3];
  float start_to[3];
  float start_size;
  float start_aspect;
  float start_walk_time;  // seconds, as read
  int32_t start_billboard;  // -1: none
  uint32_t start_textures[flagger_start_textures];
  int32_t lap_billboard;  // -1: none
  uint32_t lap_textures[flagger_lap_textures];
};
struct course_flagger {
  int32_t billboard;
  uint32_t texture_idle;
  uint32_t texture_waving;
  int32_t gates[flagger_course_gates];  // -1: none
};
extern flagger_look flaggers;
extern growable_array course_flaggers;  // of course_flagger
// Per gate: a rider is down before it (set by the race each frame).
extern int32_t gate_approach_flags[checkpoint_max];

// A camera of the race view.
struct track_camera {
  float x, y, z;  // y: ground height + the height given
  float yaw, pitch, yaw_rate, pitch_rate;
  float fov;  // degrees
  float autofovsize;
};
extern growable_array track_cameras;  // of track_camera
extern int32_t gate_cameras[checkpoint_max];  // camera index per gate, -1: none

extern uint32_t map_texture;  // of map.png, 0 when absent

// The folder the track's files are opened in: "@" + track_folder while the
// game loads it, a real path when a tool does.
extern char track_source[track_folder_bytes + 2];

// Finds the folders holding a terrain.hf (any variant) and their long names
// from "desc"; 1 when there is one at least.
int scan_tracks();
// Frees the lists scan_tracks made.
void free_track_list();

// Loads the track in track_folder ("@" + it). 1 on success; 0 when the
// terrain failed, with everything built so far freed and the folder and
// long name cleared.
int load_track();
// The same from a folder given as it is opened (a real path from tools).
int load_track_from(const char* source);
// Frees everything of the track but the terrain: gate tables and line
// samples, statue grid, statues, flares, roost sprites, billboards,
// flaggers, cameras, map. Safe when nothing is loaded.
void free_track_data();

// The readers load_track calls; each takes the file's path or "@" name.
// A missing file leaves the defaults; a malformed one is read up to its
// first bad entry with a console line. They return 1 when the file opened.
int read_timing_gates(const char* path);
// Why the timing gates last read are not in effect ("timing_gates line 3:
// gate 1 is incomplete ...", or why the lists give no lap); empty while
// they are.
enum { timing_gates_fault_bytes = 512 };
extern char timing_gates_fault[timing_gates_fault_bytes];
int read_billboards(const char* path);
int read_statues(const char* path);
int read_flaggers(const char* path);
int read_cameras(const char* path);

// The editor's writers, into track_source. 1 on success; 0 after
// "Can't open 'billboards'" (or 'statues', 'timing_gates') on the console.
int write_billboards();
int write_statues();
int write_timing_gates();

// The billboard and statue counts before the track's own files were read:
// the fixed objects the writers and the editor leave alone.
extern int32_t first_file_billboard;
extern int32_t first_file_statue;

// Wraps an angle into -pi .. pi.
float wrap_angle(float a);
