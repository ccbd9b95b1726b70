#pragma once
// The race code's calls upward: into the menus, the console page, the
// editor, the multiplayer client, the robot riders, the track script and
// the drawing and sound of the scene. main fills the table at start-up;
// an entry left null is skipped, so the race library links and tests alone
// and each subsystem plugs in when it exists.
struct rider;

// Who rides a slot: what rider_create and the HUD need. Strings may be null.
struct rider_identity {
  const char* bike;
  const char* number;
  const char* name;
  const char* gear_skin;
  const char* helmet_skin;
  const char* bike_skin;
  const char* wheels_skin;
};

struct race_hooks_table {
  // Menus and the console page (menu_page: -1 none open, 0 main, 16 console).
  void (*draw_menu)();
  void (*menu_key)(int code, int value);
  void (*menu_hover_select)();

  // The track editor.
  void (*editor_draw)();
  int (*editor_key)(int code, int pressed);  // 1 when it used the event
  void (*editor_update)();
  void (*editor_free)();

  // Views and their controls.
  void (*draw_onbike_view)(int slot);
  void (*draw_chase_view)(int slot);
  void (*draw_race_view)(int slot);
  void (*draw_hud)(int slot);
  void (*draw_info_board)(int slot);
  void (*chase_camera_controls)(const float* input);
  void (*race_view_controls)(const float* input);
  void (*place_free_camera)(float x, float y, float z);

  // Sound scene: volume factor 0..1.
  void (*update_sound_scene)(float volume);
  void (*load_engine_sound)(int slot, const char* bike_skin);
  void (*free_engine_voice)(int slot);

  // The simulation tick and its gate arms.
  void (*simulation_tick)();
  void (*reset_gate_arms)();
  // What the tick calls: the track script's tick handler with the shown
  // tick; a robot's auto pilot before its control step; the off-course
  // test of a rider at its crossing n.
  void (*call_tic_handler)(int shown_tick);
  void (*auto_pilot_tick)(rider* r);
  int (*rider_off_course_at_gate)(rider* r, int n);
  // The line library's pass recording, told by the timing of a rider that
  // is still racing on a track with gates: before the gate search each
  // tick (a human's line samples, a fresh crash booked); on an accepted
  // crossing c, found at offset `tried` from the crossings made, with c's
  // tick stored and the crossing count not yet moved on; when the rider
  // finishes.
  void (*pass_before_gate_search)(rider* r);
  void (*pass_record_crossing)(rider* r, int c, int tried);
  void (*pass_rider_finished)(rider* r);

  // Demos.
  void (*demo_skip)(double seconds);
  const char* (*demo_open_playback)();  // the demo's track folder, or null
  int (*demo_next_rider)(rider_identity* out, int* demo_index);  // 0 when none is left
  void (*demo_map_rider)(int demo_index, int slot);
  void (*demo_close_playback)();
  void (*demo_start_recording)();
  void (*demo_stop_recording)();
  void (*demo_write_states)(int force);
  void (*demo_read_ahead)();
  // The time trial's ghost: opens the named fast-lap demo for playback
  // (its riders then come from demo_next_rider); 1 when it opened.
  int (*demo_open_ghost)(const char* name);

  // Timing and results.
  void (*record_series_event)();
  void (*finish_results)();

  // Multiplayer client. server_time_estimate is its tick estimate.
  void (*net_tick)();
  int (*net_server_time_estimate)();
  void (*net_clear_race_tables)();
  int (*net_rider_info)(int slot, rider_identity* out);  // 0 when unknown
  const char* (*net_rider_name)(int slot);              // null when unknown
  void (*net_send_text)(const char* text);              // one reliable text item
  void (*net_send_file)(const char* name);              // the console's upload
  // Leaves the joined server (a no-op offline); the menus call it before
  // starting a race of their own.
  void (*net_leave_server)();
  // The Multiplayer page: the client's state (0 contacting .. 11 racing,
  // 15 disconnecting), the user's disconnect, the restart request (sent
  // only while racing) and a slot's line-up entry as the server gave it.
  int (*net_client_state)();
  void (*net_disconnect)();
  void (*net_request_restart)();
  int (*net_line_up_entry)(int slot);

  // Robot riders' lines: write the learned lines of a skill and empty the
  // library; load a skill's lines file; prune and plan the routes; a
  // robot's personality by name; every line slot's last-picked tick.
  void (*lines_write_and_clear)();
  void (*lines_load)(int skill);
  void (*lines_prune_and_plan)();
  void (*robot_personality)(rider* r, const char* personality);
  void (*lines_reset_pick_ticks)();

  // The local bike's setup applied to its rider.
  int (*apply_bike_setup)(rider* r);  // 1 when applied

  // The track script.
  void (*load_track_script)(const char* path);
  void (*free_track_script)();
  void (*free_script_sounds)();
  // The track script's frame handler, run by the scene drawing.
  void (*call_frame_handler)();
};

extern race_hooks_table race_hooks;
