#include "script/script_natives.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bike/rider.h"
#include "bike/rider_timing.h"
#include "bike/test_support_riders.h"
#include "bike/wheel_contacts.h"
#include "core/message_ring.h"
#include "core/race_clock.h"
#include "core/running_order.h"
#include "race/race_state.h"
#include "script/script_host.h"
#include "terrain/height_field.h"
#include "terrain/track.h"
#include "terrain/track_objects.h"

#include <ode/ode.h>

namespace {

// What the fakes of the sounds and the camera saw.
struct sound_call {
  std::string what;
  int index;
  float values[3];
};
std::vector<sound_call> sound_calls;

int fake_load(const char* name) {
  sound_calls.push_back({std::string("load ") + name, 0, {0, 0, 0}});
  return 4;
}
int fake_start(int i) { return sound_calls.push_back({"start", i, {0, 0, 0}}), 1; }
int fake_stop(int i) { return sound_calls.push_back({"stop", i, {0, 0, 0}}), 1; }
int fake_loop(int i, int flag) { return sound_calls.push_back({"loop", i, {(float)flag, 0, 0}}), 1; }
int fake_freq(int i, float hz) { return sound_calls.push_back({"freq", i, {hz, 0, 0}}), 1; }
int fake_volume(int i, float v) { return sound_calls.push_back({"volume", i, {v, 0, 0}}), 1; }
int fake_position(int i, const float* p) { return sound_calls.push_back({"position", i, {p[0], p[1], p[2]}}), 1; }
int fake_velocity(int i, const float* p) { return sound_calls.push_back({"velocity", i, {p[0], p[1], p[2]}}), 1; }
void fake_camera(float position[3], float orientation[9]) {
  for (int i = 0; i < 3; i++) position[i] = 10.0f * (i + 1);
  for (int i = 0; i < 9; i++) orientation[i] = (float)i;
}

shape* const fake_shape = reinterpret_cast<shape*>(16);

// A flat field at height 10 with a few tiles marked; one fixed statue and
// two script statues (the first with a shape); one fixed billboard and two
// script billboards; riders in slots 1 and 3; a running order of two.
struct ScriptNatives : testing::Test {
  script_host* host = nullptr;
  script_services_table saved_services = script_services;
  rider* ann = nullptr;
  rider* bob = nullptr;

  void SetUp() override {
    test_track_open();
    const int q = 1 << track_field.n;
    track_field.tilemap[0] = 2;
    track_field.tilemap[4 + q * 6] = 7;
    track_field.tilemap[(q - 1) + q * (q - 1)] = 9;
    load_track_object(5, 0, 5, 0, nullptr, nullptr, nullptr);
    load_track_object(20, 0, 20, 0, nullptr, nullptr, nullptr);
    statue_at(1)->shape = fake_shape;
    load_track_object(30, 1, 30, 0, nullptr, nullptr, nullptr);
    first_file_statue = 1;
    for (int i = 0; i < 3; i++) add_billboard(40.0f + i, 0, 40, 5, 1, nullptr);
    first_file_billboard = 1;
    ann = test_rider_place("cr125", 1, 64, 64);
    bob = test_rider_place("cr125", 3, 100, 100);
    rider_slots[1] = ann;
    rider_slots[3] = bob;
    std::strcpy(bob->number, "42");
    std::strcpy(rider_names[1], "Ann");
    std::strcpy(rider_names[3], "Bob");
    rider_set_timing_tick(bob, 0, 300);
    rider_set_timing_tick(bob, 1, 600);
    bob->timing_count = 2;
    running_order.count = 2;
    running_order.entries[0] = {3, 5, 700};
    running_order.entries[1] = {1, 4, 650};
    running_order.entries[2] = {9, 9, 999};  // stale, past the count
    route.first_lap_gates = 3;
    route.normal_lap_gates = 2;
    race_clock = {};
    race_clock.current_tick = 100;
    race_clock.gate_drop_tick = 1664;
    race_clock.race_laps = 5;
    race_clock.race_length_ticks = 1280;
    script_services = {fake_load,   fake_start,    fake_stop,     fake_loop,  fake_freq,
                       fake_volume, fake_position, fake_velocity, fake_camera};
    sound_calls.clear();
    message_ring_clear();
    host = script_host_create();
    ASSERT_NE(host, nullptr);
    ASSERT_EQ(script_register_natives(host, "bk", script_native_names, script_native_functions,
                                      script_native_arg_counts),
              1);
  }

  void TearDown() override {
    script_host_destroy(host);
    statue_at(1)->shape = nullptr;
    track_objects_free();
    rider_slots[1] = rider_slots[3] = nullptr;
    test_track_close();
    first_file_statue = first_file_billboard = 0;
    running_order = {};
    race_clock = {};
    script_services = saved_services;
    std::memset(rider_names, 0, sizeof rider_names);
  }

  // The value of a script expression as text, or "error: ..." when it threw.
  std::string js(const std::string& expression) {
    const std::string code = "String((function () { return " + expression + "; })())";
    duk_context* c = host->context;
    const int rc = duk_peval_string(c, code.c_str());
    std::string value = (rc ? "error: " : "") + std::string(duk_safe_to_string(c, -1));
    duk_pop(c);
    return value;
  }

  // The objects the natives may change, byte for byte.
  std::string objects() {
    std::string bytes(static_cast<const char*>(statues.data), statues.count * sizeof(statue));
    bytes.append(static_cast<const char*>(billboards.data), billboards.count * sizeof(billboard));
    return bytes;
  }
};

struct row {
  std::string call;
  std::string result;
  bool changes;  // false: the statues and billboards stay as they were
};

void run_rows(ScriptNatives* t, const std::vector<row>& rows) {
  for (const row& r : rows) {
    const std::string before = t->objects();
    EXPECT_EQ(t->js(r.call), r.result) << r.call;
    if (!r.changes) {
      EXPECT_EQ(t->objects() == before, true) << r.call << " changed an object";
    }
  }
}

TEST_F(ScriptNatives, SlotsRunningOrderAndTiming) {
  std::vector<row> rows = {
      {"bk.get_max_slots()", "160", false},
      {"bk.get_running_count()", "2", false},
      {"bk.get_running_order_slot(0)", "3", false},
      {"bk.get_running_order_slot(1)", "1", false},
      {"bk.get_running_order_position(0)", "5", false},
      {"bk.get_running_order_time(1)", "650", false},
      {"bk.get_seconds_per_tic()", "0.0078125", false},
      {"bk.get_first_lap_length()", "3", false},
      {"bk.get_normal_lap_length()", "2", false},
      {"bk.get_timing_position(3)", "2", false},
      {"bk.get_timing_position(1)", "0", false},
      {"bk.get_timing(3, 1)", "4.6875", false},
      {"bk.get_timing(3, 1.9)", "4.6875", false},
      {"bk.get_timing(3, 2)", "-0.0078125", false},
      {"bk.get_timing(1, 0)", "-0.0078125", false},
      {"bk.get_rider_number(3)", "42", false},
      {"bk.get_rider_name(1)", "Ann", false},
      {"bk.get_rider_down(3)", "0", false},
      {"bk.get_finish_laps()", "5", false},
      {"bk.get_finish_time()", "10", false},
      {"bk.get_gate_drop_time()", "-1", false},
  };
  // Entries at the count and beyond are stale or empty: 0.
  for (const char* entry : {"2", "159", "160", "-1", "NaN", "Infinity", "1e300"})
    for (const char* native : {"slot", "position", "time"})
      rows.push_back({"bk.get_running_order_" + std::string(native) + "(" + entry + ")", "0", false});
  // Bad slots: none of them is a rider (a string or nothing reads as slot 0, which is empty).
  for (const char* slot : {"-1", "160", "NaN", "Infinity", "1e300", "'3'", ""}) {
    const std::string s = slot;
    for (const std::string& pair :
         {"get_timing_position(" + s + ")|-1", "get_timing(" + s + (s.empty() ? "" : ", 0") + ")|-1",
          "get_rider_down(" + s + ")|0", "get_rider_number(" + s + ")|", "get_rider_name(" + s + ")|",
          "get_bike_model(" + s + ")|", "get_front_contact_depth(" + s + ")|0",
          "get_rear_contact_depth(" + s + ")|0"}) {
      const size_t bar = pair.find('|');
      rows.push_back({"bk." + pair.substr(0, bar), pair.substr(bar + 1), false});
    }
  }
  for (const char* crossing : {"-1", "1e10", "NaN"})
    rows.push_back({"bk.get_timing(3, " + std::string(crossing) + ")", "-0.0078125", false});
  run_rows(this, rows);
  EXPECT_EQ(js("bk.get_bike_model(1)"), rider_bike_model_name(ann));
  race_clock.current_tick = 1664;
  EXPECT_EQ(js("bk.get_gate_drop_time()"), "13");
}

TEST_F(ScriptNatives, GroundRiderVectorsAndContacts) {
  const dReal* p = dBodyGetPosition(rider_frame_body(ann));
  run_rows(this, {
                     {"bk.get_elevation(10.5, 20.25)", "10", false},
                     {"bk.get_elevation(NaN, 1)", "0", false},
                     {"bk.get_elevation(1, -Infinity)", "0", false},
                     {"bk.get_tile_number(9, 13)", "7", false},
                     {"bk.get_tile_number(-50, -50)", "2", false},
                     {"bk.get_tile_number(1e300, 1e300)", "9", false},
                     {"bk.get_tile_number(NaN, 1)", "0", false},
                     {"(function () { var a = [7, 7, 7]; return bk.get_position_(0, a) + ':' + a; })()", "0:0,0,0", false},
                     {"(function () { var a = [7, 7, 7]; return bk.get_velocity_(160, a) + ':' + a; })()", "0:0,0,0", false},
                     {"bk.get_position_(1, 5)", "0", false},
                     {"bk.get_position_(1, null)", "0", false},
                     {"(function () { var a = [7, 7, 7]; return bk.get_front_contact_position(0, a) + ':' + a; })()",
                      "0:0,0,0", false},
                     {"bk.get_rear_contact_slip(1, 'abc')", "0", false},
                 });
  EXPECT_EQ(js("bk.get_position_(1, pos = [])"), "1");
  for (int i = 0; i < 3; i++)
    EXPECT_EQ(std::stod(js("pos[" + std::to_string(i) + "]")), (double)(float)p[i]) << js("pos");
  // An output array that cannot be written throws into the script.
  EXPECT_EQ(js("(function () { try { bk.get_position_(1, Object.freeze([0, 0, 0])); return 'no'; }"
               " catch (e) { return e.name; } })()"),
            "TypeError");
  float depth = rider_front_contact_depth(ann);
  EXPECT_EQ(std::stod(js("bk.get_front_contact_depth(1)")), (double)depth);
}

TEST_F(ScriptNatives, StatuesMoveOnlyWithoutAShapeAndRefuseBadValues) {
  track_field.change_flags = 0;
  run_rows(this, {
                     {"bk.move_statue(0, 1, 2, 3, 0)", "0", false},
                     {"bk.move_statue_absolute(0, 1, 2, 3, [1, 0, 0, 0, 1, 0, 0, 0, 1])", "0", false},
                     {"bk.move_statue(2, 1, 2, 3, 0)", "0", false},
                     {"bk.move_statue(-1, 1, 2, 3, 0)", "0", false},
                     {"bk.move_statue(NaN, 1, 2, 3, 0)", "0", false},
                     {"bk.move_statue(1, NaN, 2, 3, 0)", "0", false},
                     {"bk.move_statue(1, 1, 2, 3, Infinity)", "0", false},
                     {"bk.move_statue_absolute(1, 1, 2, 3, 5)", "0", false},
                     {"bk.move_statue_absolute(1, 1, 2, 3, null)", "0", false},
                     {"bk.move_statue_absolute(1, 1, 2, 3, [1, 2, 3])", "0", false},
                     {"(function () { var m = [1, 2, 3, 4, 5, 6, 7, 8, 9];"
                      " Object.defineProperty(m, 8, { get: function () { throw new Error('getter'); } });"
                      " try { bk.move_statue_absolute(1, 7, 7, 7, m); return 'no'; } catch (e) { return e.message; } })()",
                      "getter", false},
                 });
  EXPECT_EQ(track_field.change_flags, 0) << "a refused move changes nothing";
  EXPECT_EQ(js("bk.move_statue(1, 20, 2, 30, 0.5)"), "1");
  // A moved statue is flagged, but not as work to save.
  EXPECT_EQ(track_field.change_flags, terrain_statics_moved);
  track_field.change_flags = 0;
  const statue* s = statue_at(2);
  EXPECT_EQ(s->x, 20.0f);
  EXPECT_EQ(s->z, 30.0f);
  EXPECT_EQ(s->y, test_ground + 2.0f);
  EXPECT_EQ(s->angle, 0.5f);
  EXPECT_EQ(js("bk.move_statue(1, 1e300, 0, -1e300, 0)"), "1");
  EXPECT_EQ(s->x, 1e6f);
  EXPECT_EQ(s->z, -1e6f);
  EXPECT_EQ(js("bk.move_statue_absolute(1, 1, 2, 3, Object.freeze([1, 2, 3, 4, 5, 6, 7, 8, 9]))"), "1");
  EXPECT_EQ(track_field.change_flags, terrain_statics_moved);
  track_field.change_flags = 0;
  EXPECT_EQ(s->y, 2.0f);
  const float transposed[9] = {1, 4, 7, 2, 5, 8, 3, 6, 9};
  for (int i = 0; i < 9; i++) EXPECT_EQ(s->basis[i], transposed[i]) << i;
}

TEST_F(ScriptNatives, PosesKeepTheirBoneCount) {
  const char* two = "[1, 2, 3, 4, 5, 6], [6, 5, 4, 3, 2, 1], [1, 0, 0, 0, 1, 0, 0, 0, 1, 2, 0, 0, 0, 2, 0, 0, 0, 2]";
  ASSERT_EQ(duk_peval_string_noresult(host->context, "big = []; for (var i = 0; i < 288; i++) big.push(i);"), 0);
  run_rows(this, {
                     {"bk.pose_statue(1, 33, big, big, big)", "0", false},
                     {"bk.pose_statue(1, 0, big, big, big)", "0", false},
                     {"bk.pose_statue(1, NaN, big, big, big)", "0", false},
                     {"bk.pose_statue(2, 2, big, big, big)", "0", false},
                     {"bk.pose_statue(1, 2, [1, 2, 3, 4, 5], big, big)", "0", false},
                     {"bk.pose_statue(1, 2, big, big, 7)", "0", false},
                     {"bk.pose_statue(1, 2, " + std::string(two) + ")", "1", true},
                     {"bk.pose_statue(1, 3, big, big, big)", "0", false},
                     {"bk.pose_statue(0, 32, big, big, big)", "1", true},
                 });
  const statue* s = statue_at(2);
  ASSERT_EQ(s->bone_count, 2);
  EXPECT_EQ(s->bone_centres[5], 6.0f);
  EXPECT_EQ(s->bone_translations[0], 6.0f);
  EXPECT_EQ(s->bone_rotations[17], 2.0f);
  EXPECT_EQ(js("bk.pose_statue(1, 2, big, big, big)"), "1");
  EXPECT_EQ(s->bone_rotations[17], 17.0f);
  EXPECT_EQ(statue_at(1)->bone_count, 32);
}

TEST_F(ScriptNatives, Billboards) {
  run_rows(this, {
                     {"bk.move_billboard(2, 1, 2, 3)", "0", false},
                     {"bk.move_billboard(-1, 1, 2, 3)", "0", false},
                     {"bk.move_billboard(0, 1, NaN, 3)", "0", false},
                     {"bk.size_billboard(1, Infinity)", "0", false},
                     {"bk.color_billboard(0, 2, -1, 0.5, NaN)", "0", false},
                     {"bk.move_billboard(0, 3, 1.5, 4)", "1", true},
                     {"bk.move_billboard_absolute(1, 7, 8, 9)", "1", true},
                     {"bk.size_billboard(1, 12)", "1", true},
                     {"bk.color_billboard(0, 2, -1, 0.5, 1)", "1", true},
                 });
  const billboard* b = billboard_at(1);
  EXPECT_EQ(b->x, 3.0f);
  EXPECT_EQ(b->y, test_ground + 1.5f);
  EXPECT_EQ(b->z, 4.0f);
  const uint8_t colour[4] = {255, 0, 128, 255};
  EXPECT_EQ(std::memcmp(b->colour, colour, 4), 0);
  EXPECT_EQ(billboard_at(2)->y, 8.0f);
  EXPECT_EQ(billboard_at(2)->size, 12.0f);
  EXPECT_EQ(billboard_at(0)->x, 40.0f);  // the fixed one stays
}

// A track script moves, turns, sizes and tints objects for the race; the
// track's files keep them as they were made. An edit made after the
// script's change (as the editor's tools make it) is kept, even when the
// script moves the object again.
TEST_F(ScriptNatives, SavedObjectsAreAsMadeNotAsTheScriptShowsThem) {
  add_billboard(50, 0.5f, 60, 4, 1, "#c8e0a0#tree.png");  // the script's billboard 2
  char folder[] = "/tmp/bk_natives_XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string saved_source = track_source;
  std::snprintf(track_source, sizeof track_source, "%s", folder);
  auto saved = [&](const char* name) {
    EXPECT_EQ(std::string(name) == "billboards" ? write_billboards() : write_statues(), 1);
    std::string text;
    if (std::FILE* f = std::fopen((std::string(folder) + "/" + name).c_str(), "rb")) {
      for (int c; (c = std::fgetc(f)) != EOF;) text += (char)c;
      std::fclose(f);
    }
    return text;
  };
  for (const char* call : {"bk.move_billboard(2, 51, 0, 61)", "bk.move_billboard_absolute(2, 52, 3, 62)",
                           "bk.size_billboard(2, 9)", "bk.color_billboard(2, 1, 1, 1, 1)",
                           "bk.move_statue(1, 20, 2, 30, -2.2)", "bk.move_statue_absolute(1, 21, 2, 31, [1, 0, 0, 0, 1, 0, 0, 0, 1])"})
    EXPECT_EQ(js(call), "1") << call;
  EXPECT_EQ(billboard_at(3)->colour[1], 255);
  EXPECT_EQ(saved("billboards"), "[50.000000 0.500000 60.000000] 4.000000 1.000000 #c8e0a0#tree.png\n");
  EXPECT_EQ(saved("statues"), "[20.000000 0.000000 20.000000] 0.000000 null null null\n"
                              "[30.000000 1.000000 30.000000] 0.000000 null null null\n");
  // The editor drags the statue and the billboard and turns the statue;
  // the script goes on moving the statue.
  statue_at(2)->x = 25;
  statue_at(2)->angle = 1.5f;
  billboard_at(3)->z = 70;
  EXPECT_EQ(js("bk.move_statue(1, 22, 2, 32, -2.0)"), "1");
  EXPECT_EQ(saved("billboards"), "[50.000000 0.500000 70.000000] 4.000000 1.000000 #c8e0a0#tree.png\n");
  EXPECT_EQ(saved("statues"), "[20.000000 0.000000 20.000000] 0.000000 null null null\n"
                              "[25.000000 1.000000 30.000000] 1.500000 null null null\n");
  std::snprintf(track_source, sizeof track_source, "%s", saved_source.c_str());
  for (const char* name : {"billboards", "statues"}) std::remove((std::string(folder) + "/" + name).c_str());
  ::rmdir(folder);
}

TEST_F(ScriptNatives, SoundsCameraTexturesAndMessages) {
  run_rows(this, {
                     {"bk.add_sound('horn.raw')", "4", false},
                     {"bk.start_sound(4)", "1", false},
                     {"bk.stop_sound(4.7)", "1", false},
                     {"bk.set_sound_loop(4, 2)", "1", false},
                     {"bk.set_sound_vol(4, 0.25)", "1", false},
                     {"bk.set_sound_pos(4, 1e300, 2, 3)", "1", false},
                     {"bk.start_sound(256)", "0", false},
                     {"bk.start_sound(-1)", "0", false},
                     {"bk.stop_sound(NaN)", "0", false},
                     {"bk.set_sound_freq(4, NaN)", "0", false},
                     {"bk.set_sound_vel(4, 0, Infinity, 0)", "0", false},
                     {"bk.get_camera_location(5, [])", "0", false},
                     {"bk.get_camera_location([], null)", "0", false},
                     {"(function () { var p = [], m = []; return bk.get_camera_location(p, m) + ':' + p + ':' + m; })()",
                      "1:10,20,30:0,3,6,1,4,7,2,5,8", false},
                     {"bk.begin_custom_frame(NaN)", "0", false},
                     {"bk.end_custom_frame(-1)", "0", false},
                     {"bk.paste_custom_frame(1, 0, 0, 0, 0, 0, NaN, 1)", "0", false},
                     {"bk.message('%s%n%s')", "undefined", false},
                 });
  ASSERT_EQ(sound_calls.size(), 6u);
  EXPECT_EQ(sound_calls[0].what, "load horn.raw");
  EXPECT_EQ(sound_calls[2].what, "stop");
  EXPECT_EQ(sound_calls[2].index, 4);
  EXPECT_EQ(sound_calls[3].values[0], 1.0f);
  EXPECT_EQ(sound_calls[5].values[0], 1e6f);
  const int newest = (message_ring.write_index + message_ring_size - 1) % message_ring_size;
  EXPECT_STREQ(message_ring.lines[newest], "%s%n%s");
  // Empty entries answer as for a bad index.
  script_services = {};
  EXPECT_EQ(js("[bk.add_sound('horn.raw'), bk.start_sound(0), bk.get_camera_location([], [])].join()"), "-1,0,1");
}

}  // namespace
