// Data set-up shared by the benchmarks that race on the generated data.
#include "bench/race_data.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "core/file_index.h"
#include "terrain/dynamics_world.h"
#include "terrain/tiles.h"

void bench_default_data_root() {
  if (std::getenv("BK_HOME")) return;
  char exe[4096];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return;
  exe[n] = 0;
  *std::strrchr(exe, '/') = 0;
  setenv("BK_HOME", (std::string(exe) + "/../gamedata").c_str(), 1);
}

static uint32_t fake_texture(const char*) { return 1; }

int bench_open_headless_data(const char* tag) {
  static int opened = -1;
  if (opened >= 0) return opened;
  bench_default_data_root();
  static std::string home;
  home = std::string("/tmp/") + tag + "_XXXXXX";
  if (!mkdtemp(&home[0])) return opened = 0;
  setenv("XDG_DATA_HOME", home.c_str(), 1);
  terrain_textures.load_texture = fake_texture;
  file_index_build();
  dynamics_open();
  return opened = 1;
}
