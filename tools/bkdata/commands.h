#pragma once
// bkdata's subcommands. Each takes the arguments after its name and returns
// the process exit code: 0 done, 1 failed, 2 bad usage.
#include <cstddef>
#include <string>
#include <vector>

struct bkdata_command {
  const char* name;
  const char* usage;  // the arguments, for the usage text
  int (*run)(int argc, char** argv);
};

// Ends with an entry whose name is null.
extern const bkdata_command bkdata_commands[];

// Prints the usage text to stderr and returns 2.
int bkdata_usage();

// The whole of a file a check reads at once, into *text. A file of more
// than max_bytes is refused without reading past the cap. On failure
// prints one line naming the file and the reason ("can't open", "too large
// for a WHAT", "read error") and returns 0.
int bkdata_read_capped(const char* path, size_t max_bytes, const char* what, std::string* text);

int bkdata_digest(int argc, char** argv);
// Writes IN as a scrambled file OUT, as stock files are shipped; for
// testing what the game does with them.
int bkdata_scramble(int argc, char** argv);
int bkdata_pack(int argc, char** argv);
int bkdata_list(int argc, char** argv);
int bkdata_check(int argc, char** argv);
// Rides the sample track's lines for the three robot skills into
// ROOT/quarrybend (ROOT made by `bkdata build`).
int bkdata_lines(int argc, char** argv);
// Records the sample demo, ROOT/demos/quarrybend.bkdemo: a headless race
// of robots on the lines `bkdata lines` put in ROOT, through the game's
// own recorder.
int bkdata_record(int argc, char** argv);

// The sample track's centre line: points round the loop with their unit
// tangent, distance along it and curvature (positive turning left). Returns
// the start line's distance along the loop.
struct centre_point {
  double x, z, tx, tz, s, curvature;
};
double quarrybend_centre_line(std::vector<centre_point>* out);
int bkdata_image(int argc, char** argv);

// The image kind of "check": names ending in .png, .ppm, .pgm, .j6 or .j7
// (before any ".gz"/".scram"). Prints one line; 1 when the file loads.
int bkdata_is_image_name(const char* path);
int bkdata_check_image(const char* path);
int bkdata_track(int argc, char** argv);
int bkdata_demo(int argc, char** argv);
// The sample bikes' part models, rider models and skins.
int bkdata_bike(int argc, char** argv);
// The game data root: zzzz.saf, the sample track, bikes and shapes; prints
// the digest the game checks the archive against.
int bkdata_build(int argc, char** argv);
// The seed corpora of the fuzz targets, one folder a target.
int bkdata_seeds(int argc, char** argv);

// The track-folder kind of "check": the terrain files and tiles through the
// game's loader. Prints a summary or the refusal; 1 when the folder loads.
int bkdata_check_track(const char* folder);
// One file of a track folder ("billboards", "statues", "timing_gates",
// "lighting", "cameras", "flaggers", "terrain.hf", "tilemap") through its
// reader, with the folder's other files where the reader needs them.
int bkdata_is_track_file_name(const char* path);
int bkdata_check_track_file(const char* path);

// ".jm" models (also compressed or scrambled): 1 when the name is one.
int bkdata_is_model_name(const char* path);
// Reads a model and its LOD variants beside it and prints a summary line
// (then any warnings of the reader); 1 when it read, else 0 after printing
// the refusal.
int bkdata_check_model(const char* path);
// Writes the stock collision shapes and the starting gate's shape and
// texture into OUTDIR, each shape loaded back through the game's reader.
int bkdata_shapes(int argc, char** argv);
// The shape (".shp") and "decals" kinds of "check": one line, or the
// reader's reasons and a refusal; 1 when the file loads.
int bkdata_is_shape_name(const char* path);
int bkdata_check_shape(const char* path);
int bkdata_is_decals_name(const char* path);
int bkdata_check_decals(const char* path);

// ANIM1 sequences (".seq"): read, never uploaded; one summary line (steps,
// frames, size, channels, ticks per step, loop) or the reader's reasons and
// a refusal. 1 when the file reads.
int bkdata_is_seq_name(const char* path);
int bkdata_check_seq(const char* path);
// Files named "config" (or its backup "config~"): the settings file through
// the game's reader; each refused line with its reason, then a summary. 1
// when every line was taken.
int bkdata_is_config_name(const char* path);
int bkdata_check_config(const char* path);
// Files in a "setups/" folder: a bike setup through the game's reader,
// taken whole or refused at its first bad line. 1 when taken.
int bkdata_is_setup_name(const char* path);
int bkdata_check_setup(const char* path);
// Robot lines files ("lines_*"): the track folder they sit in loads for its
// segments, then the file through the game's reader: lines and samples per
// segment, or the first fault. 1 when the file is sound.
int bkdata_is_lines_name(const char* path);
// The editor's "edinfo": its gradients and points, or each refused line.
int bkdata_is_edinfo_name(const char* path);
int bkdata_check_edinfo(const char* path);

// Files in a "keycam/" folder: camera keyframes through the game's reader:
// the key count and tick range, or the first bad line. 1 when taken.
int bkdata_is_keycam_name(const char* path);
int bkdata_check_keycam(const char* path);
int bkdata_check_lines(const char* path);

// Points series (".series", with "_standings" beside it when there is one):
// title, riders, events done, or the reader's refusal. 1 when it reads.
int bkdata_is_series_name(const char* path);
int bkdata_check_series(const char* path);
// The sample series "quarrybend_cup.series" into folder. 1 when written.
int write_sample_series(const char* folder);
// The digest of the seven stock part shapes in folder, in the order the
// game checks them. 1 when all could be read.
int stock_parts_digest_of(const char* folder, char hex[41]);
// Files in a "setups/" folder: a bike setup through the game's reader,
// taken whole or refused at its first bad line. 1 when taken.
int bkdata_is_setup_name(const char* path);
int bkdata_check_setup(const char* path);
// bkdata sounds OUTDIR: the class engine-sound definitions, the two sound
// tables with their samples, and the sample track's script sounds.
int bkdata_sounds(int argc, char** argv);
// ".braap", ".soundtable" and ".raw" files through the game's readers: a
// summary, or the reader's lines and a refusal. 1 when the file loads.
int bkdata_is_sound_name(const char* path);
int bkdata_check_sound(const char* path);
// Demos (".bkdemo"): version, track, riders, chunks by type and tick range,
// or the refusal, or the byte where a damaged one ends. 1 unless refused.
int bkdata_is_demo_name(const char* path);
int bkdata_check_demo(const char* path);
// The sample demo of a version into out, on the quarrybend track that root
// holds. 1 when written.
int write_sample_demo(const char* root, int version, const char* out);

// The sample track's "frills.js", as bkdata track writes it.
std::string quarrybend_frills_text();
