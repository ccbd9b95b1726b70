#pragma once
// Engine-sound definitions: the ".braap" files, the "SOUNDTABLE" files and
// raw samples behind them, the built-in fallbacks, and the 160 engine
// voices the sound scene synthesises into.
#include <cstdint>

struct audio_sound;
struct rider;
struct stream;

enum {
  engine_sound_rate = 44100,
  engine_voice_ring = 32768,  // history and sound buffer, samples
  engine_band_count = 16,
  engine_list_max = 100,      // bias and scale numbers
  sound_table_max_side = 256,
  sound_table_max_cells = 4096,
  sound_sample_max = 4 * 1024 * 1024,  // samples in one file: positions are 32-bit in 1/1024
};

// One cell of a table: one or more firing periods of a recorded engine note.
struct sound_table_cell {
  const float* samples;  // -1..1, owned by the sample cache
  int sample_count;
  int period_count;      // at least 1
  int* remap;            // period order, each entry 0..period_count-1; may be null
  int remap_count;
  float row_value;       // rpm
  float column_value;    // load 0..1
};

struct sound_table {
  sound_table* next;
  const char* name;      // file name, or "default_four_stroke" / "default_two_stroke"
  int rows;
  int columns;
  sound_table_cell* cells;  // rows x columns, row by row
};

struct engine_sound {
  const sound_table* table;
  float firings_per_rev;
  float lowtorque;
  float hightorque;
  float minrpm;
  int band_delay[engine_band_count];  // samples at 44100 Hz, 0..32767
  float band_gain[engine_band_count];
  float bias[engine_list_max];
  int bias_count;
  float scale[engine_list_max];
  int scale_count;
};

// Plays one firing period of a cell; data is null once it ran off the
// cell's end (silence until the next firing).
struct engine_sample_player {
  const float* data;
  uint32_t length;     // samples in data
  float gain;
  uint32_t position;   // 1/1024 sample
  uint32_t step;
};

struct engine_voice {
  audio_sound* sound;
  engine_sound definition;
  float history[engine_voice_ring];
  float firing_frequency;
  float presence_gain;
  float previous_rpm;
  int write_position;
  uint32_t firing_phase;   // 2^-24 cycle
  uint32_t cycle_counter;
  engine_sample_player players[4];
};

extern engine_voice engine_voices[160];

// Sets up a voice for a rider (or none): the definition chosen by the skin
// name (null: the rider's bike skin), its file, tables and samples, and a
// new streamed sound when audio is open. The caller has freed the voice's
// previous sound.
void load_engine_sound(engine_voice* voice, const rider* r, const char* skin_name);
// The built-in ".braap" stream of the rider's class, or null.
stream* default_engine_sound_file(const rider* r);
void set_pipe_bands(engine_sound* definition, float length, float spread, float feedback, int first_band,
                    int last_band);

// Reads a ".braap" definition from a stream into definition (messages name
// the file). Table names it holds are loaded through the table list.
void engine_sound_parse(engine_sound* definition, stream* s, const char* name);
// Reads a "SOUNDTABLE" file from a stream; null after the console lines
// when it is refused. The table is not yet on the list; free it with
// sound_table_free.
sound_table* sound_table_read(stream* s, const char* name);
void sound_table_free(sound_table* table);
// The loaded table of that name, loading and listing it when it is new;
// null after "Error reading" when it cannot be loaded.
const sound_table* sound_table_find_or_load(const char* name);
// A sample file in the cache, reading it when new; null when it cannot be
// read (nothing printed). count gets the sample count.
const float* sound_sample_load(const char* name, int* count);
// The built-in definitions: 0 four-stroke, 1 two-stroke, 2 "50".
const engine_sound* engine_sound_builtin(int which);

// Hook entries by slot: set up after rider_create, free before the rider goes.
void engine_voice_load_slot(int slot, const char* bike_skin);
void engine_voice_free_slot(int slot);
// Every voice handle cleared (start-up).
void engine_voices_clear();
// The loaded tables ("Closing audio") and the sample cache ("Freeing
// memory (3)"). Voices must hold no table when the tables go.
void sound_tables_free();
void sound_samples_free();
