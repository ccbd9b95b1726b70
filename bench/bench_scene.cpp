// How much the riders cost the scene, and the billboard pass's share of a
// frame. Draws the sample track at 640 x 480 into a framebuffer object from
// a fixed camera: sky and terrain only, then with 1, 10 and 40 riders in
// view, each as frames a second and as a ratio to sky and terrain alone.
// Then times the billboard pass's sorting work (cull, radix sort and
// regrouping of 2000 roost sprites and 500 track billboards) as a share of
// a 60 fps frame. Each rider count is measured in slices that alternate
// with sky and terrain alone, so that a load change on a shared machine
// moves both rates alike.
//
// Run from a release build under xvfb-run; BK_HOME defaults to the build's
// gamedata/ beside the bench/ folder.
#include <GL/gl.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/race_data.h"
#include "assets/font.h"
#include "assets/gl_ext.h"
#include "assets/model.h"
#include "assets/model_settings.h"
#include "assets/shader.h"
#include "assets/texture.h"
#include "bike/rider.h"
#include "core/file_index.h"
#include "core/race_clock.h"
#include "core/random.h"
#include "core/running_order.h"
#include "platform/os/os.h"
#include "platform/window.h"
#include "race/camera_math.h"
#include "race/game_state.h"
#include "race/race_hooks.h"
#include "race/race_reset.h"
#include "race/race_settings.h"
#include "race/race_state.h"
#include "race/scene.h"
#include "race/scene_math.h"
#include "terrain/dynamics_world.h"
#include "terrain/ground_texture.h"
#include "terrain/height_field.h"
#include "terrain/shape.h"
#include "terrain/terrain_settings.h"
#include "terrain/track.h"
#include "terrain/track_objects.h"

namespace {

const int width = 640, height = 480;

double seconds_now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Processor time of the whole process, the renderer's threads included:
// steadier than frames a second when other work shares the machine.
double cpu_seconds_now() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + 1e-9 * t.tv_nsec;
}

// Frames drawn and the wall and processor seconds they took.
struct frame_tally {
  int frames = 0;
  double seconds = 0, cpu_seconds = 0;
  double rate() const { return frames / seconds; }
  double cpu_ms() const { return 1e3 * cpu_seconds / frames; }
};

// Draws the scene from the camera for about `seconds` into the tally.
void draw_for(const float position[3], const float m[9], double seconds, frame_tally* tally) {
  for (int k = 0; k < 3; k++) draw_scene(position, m, 110, -1);  // ground textures settle
  glFinish();
  const double start = seconds_now(), cpu_start = cpu_seconds_now();
  double now = start;
  while (now - start < seconds) {
    draw_scene(position, m, 110, -1);
    glFinish();
    tally->frames++;
    now = seconds_now();
  }
  tally->seconds += now - start;
  tally->cpu_seconds += cpu_seconds_now() - cpu_start;
}

// The riders made for the runs, by slot; the first `count` of them stand in
// their slots, the others are set aside.
rider* made[41];
void show_riders(int count) {
  for (int i = 1; i <= 40; i++) rider_slots[i] = i <= count ? made[i] : nullptr;
}

// Sky and terrain alone against `count` riders in view, in alternating
// slices, so that both see the same load when other work shares the
// machine.
void compare_riders(const float position[3], const float m[9], double seconds, int count, frame_tally* alone,
                    frame_tally* with) {
  const int slices = 6;
  for (int k = 0; k < slices; k++) {
    show_riders(0);
    draw_for(position, m, seconds / slices, alone);
    show_riders(count);
    draw_for(position, m, seconds / slices, with);
  }
}

// The billboard pass's sorting work on n_roost + n_track billboards round a
// camera at the origin looking along -z; seconds per pass.
double billboard_pass_seconds(int n_roost, int n_track) {
  random_seed(7);
  auto uniform = [] { return (random_next() & 0x7fffffff) / 2147483648.0; };
  const int n = n_roost + n_track;
  std::vector<billboard_view> boards((size_t)n);
  for (int i = 0; i < n; i++) {
    const int roost = i < n_roost;
    // Roost in a cloud behind the riders ahead; track billboards all round.
    const double r = roost ? 20 + 10 * uniform() : 30 + 400 * uniform();
    const double a = roost ? -M_PI / 2 + 0.3 * (uniform() - 0.5) : 2 * M_PI * uniform();
    boards[(size_t)i] = {(float)(r * std::cos(a)), (float)(3 * uniform()), (float)(r * std::sin(a)),
                         roost ? 1.0f : 8.0f,   roost ? 1.0f : 10.0f,
                         (uint32_t)(roost ? 1 : 2 + i % 6), 255};
  }
  std::vector<int32_t> list((size_t)n + 1), scratch((size_t)n);
  std::vector<uint32_t> keys((size_t)n);
  const float back[3] = {0, 0, 1}, camera[3] = {0, 1.5f, 0};
  const int passes = 2000;
  const double start = seconds_now();
  size_t listed = 0;
  for (int p = 0; p < passes; p++) {
    listed = billboard_cull(boards.data(), boards.size(), (size_t)n_roost, back, camera, list.data(), keys.data());
    radix_sort_by_key(list.data(), listed, keys.data(), scratch.data());
    billboard_regroup(list.data(), listed, boards.data(), 8, back, camera);
  }
  const double elapsed = (seconds_now() - start) / passes;
  std::printf("billboards listed per pass: %zu of %d\n", listed, n);
  return elapsed;
}

// With BK_BENCH_FRAMES naming a folder, the last frame of each run is kept
// there as riders<N>.ppm, to see what was measured.
void keep_frame(int riders) {
  const char* folder = std::getenv("BK_BENCH_FRAMES");
  if (!folder) return;
  std::vector<unsigned char> rgb(3 * width * height);
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
  const std::string path = std::string(folder) + "/riders" + std::to_string(riders) + ".ppm";
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return;
  std::fprintf(out, "P6\n%d %d\n255\n", width, height);
  for (int y = height - 1; y >= 0; y--) std::fwrite(&rgb[3 * width * y], 3, width, out);
  std::fclose(out);
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
  if (!(seconds > 0)) seconds = 3.0;
  // As the game does at start-up: the renderer's per-frame memory stays
  // with the process.
  os_keep_freed_memory();
  bench_default_data_root();
  window_state* window = gl_window_open("Scene benchmark", 64, 64, 24, 0, 16, 0, 0);
  if (!window) {
    std::fprintf(stderr, "bench_scene: no GL window (run it under xvfb-run)\n");
    return 1;
  }
  gl_load_extensions();
  if (!gl_caps.framebuffer_object) {
    std::fprintf(stderr, "bench_scene: the driver has no framebuffer objects\n");
    return 1;
  }
  std::printf("GL_RENDERER: %s\n", gl_caps.renderer);
  // The game's default renderer choices: shader programs, the ground
  // rendered straight into its textures, models in display lists.
  shaders_activate(1);
  render_texture_mode = 3;
  model_compile_lists = 1;
  ground_gl_install();
  glEnable(GL_CULL_FACE);
  std::printf("shaders %s\n", shaders_active ? "on" : "off");
  file_index_build();
  fonts_load();
  if (!dynamics_open() || !scene_arrays_create()) return 1;
  std::snprintf(race_track_choice, sizeof race_track_choice, "quarrybend");
  for (int i = 0; i < 160; i++) rider_slot_kind[i] = RIDER_REMOTE;
  int line_up[160] = {};
  line_up[0] = line_up_local;
  if (!reset_session(line_up, 0, 0, 0, 3, 0) || !rider_slots[0]) {
    std::fprintf(stderr, "bench_scene: the sample track did not load (BK_HOME=%s)\n", std::getenv("BK_HOME"));
    return 1;
  }

  unsigned colour, depth, fbo;
  glGenTextures(1, &colour);
  glBindTexture(GL_TEXTURE_2D, colour);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  gl_entry.glGenRenderbuffersEXT(1, &depth);
  gl_entry.glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, depth);
  gl_entry.glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_DEPTH_COMPONENT24, width, height);
  gl_entry.glGenFramebuffersEXT(1, &fbo);
  gl_entry.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fbo);
  gl_entry.glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D, colour, 0);
  gl_entry.glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT, depth);
  glViewport(0, 0, width, height);

  // The riders stand in a block ahead of a camera 40 ft behind the first
  // grid place, raised and looking at them; the local rider stands aside
  // out of view.
  const dReal* p = dBodyGetPosition(rider_frame_body(rider_slots[0]));
  const float centre[3] = {(float)p[0], (float)p[1], (float)p[2]};
  float camera[3] = {centre[0], 0, centre[2] + 45};
  camera[1] = terrain_height(&track_field, camera[0], camera[2]) + 12;
  float m[9];
  const float d[3] = {centre[0] - camera[0], centre[1] - camera[1], centre[2] - camera[2]};
  matrix_from_yaw_pitch(m, std::atan2(d[1], std::hypot(d[0], d[2])), std::atan2(d[0], d[2]));
  place_rider_clear(rider_slots[0], centre[0] + 400, centre[2] + 400, 0);

  // Sky and terrain only: the track's statues and billboards are set aside.
  const size_t statue_count = statues.count, billboard_count = billboards.count;
  statues.count = 0;
  billboards.count = 0;
  rider* local = rider_slots[0];
  rider_slots[0] = nullptr;
  for (int i = 1; i <= 40; i++) {
    made[i] = rider_create("cr125", (unsigned)i, 1, "7", nullptr, nullptr, nullptr, nullptr);
    if (!made[i]) return 1;
    rider_slots[i] = made[i];
    rider_slot_kind[i] = RIDER_ROBOT;
    const int row = (i - 1) / 8, column = (i - 1) % 8;
    place_rider_clear(made[i], centre[0] - 14 + 4 * column, centre[2] - 4 * row, 0);
  }
  double ten = 0;
  for (int count : {1, 10, 40}) {
    frame_tally alone, with;
    compare_riders(camera, m, seconds, count, &alone, &with);
    const double ratio = with.rate() / alone.rate();
    if (count == 10) ten = ratio;
    keep_frame(count);
    std::printf("%2d riders in view: %.1f fps against %.1f fps for sky and terrain only, ratio %.3f; "
                "processor time a frame %.2f ms against %.2f ms (%d model triangles)\n",
                count, with.rate(), alone.rate(), ratio, with.cpu_ms(), alone.cpu_ms(), draw_stats.triangles);
  }
  std::printf("10 riders keep at least 0.5 of the terrain-only rate: %s\n", ten >= 0.5 ? "yes" : "NO");
  statues.count = statue_count;
  billboards.count = billboard_count;
  show_riders(40);
  rider_slots[0] = local;

  const double pass = billboard_pass_seconds(2000, 500);
  std::printf("billboard pass (cull, sort, regroup; 2000 roost + 500 track): %.1f us, share of a 60 fps frame %.4f\n",
              pass * 1e6, pass * 60);

  gl_entry.glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  gl_entry.glDeleteFramebuffersEXT(1, &fbo);
  gl_entry.glDeleteRenderbuffersEXT(1, &depth);
  glDeleteTextures(1, &colour);
  for (int i = 0; i < 160; i++) {
    if (rider_slots[i]) rider_destroy(rider_slots[i]);
    rider_slots[i] = nullptr;
  }
  free_track();
  scene_arrays_free();
  shape_free_all();
  model_delete_stale(1);
  texture_delete_stale(1);
  fonts_free();
  free_file_index();
  dynamics_close();
  gl_window_close(window);
  return 0;
}
