// The "config", bike-setup and camera-keyframe kinds of bkdata check: the
// settings file, setup files and keyframe files through the game's own
// readers, each refused line shown with its reason.
#include <cstdio>
#include <cstring>
#include <string>

#include "core/message_ring.h"
#include "tools/bkdata/commands.h"
#include "bike/bike_model.h"
#include "ui/bike_setup.h"
#include "ui/config.h"
#include "ui/console_files.h"
#include "race/views.h"

int bkdata_is_config_name(const char* path) {
  const char* slash = std::strrchr(path, '/');
  const char* base = slash ? slash + 1 : path;
  return std::strcmp(base, "config") == 0 || std::strcmp(base, "config~") == 0;
}

int bkdata_check_config(const char* path) {
  // The game reads its config whole; anything near this size is no config.
  std::string text;
  if (!bkdata_read_capped(path, 16u << 20, "config file", &text)) return 0;
  int lines = 0;
  for (size_t i = 0; i < text.size(); ++i) lines += text[i] == '\n' || (i + 1 == text.size());
  const int first_line = message_ring.write_index;
  const int refused = read_config_text(text.data(), text.size(), "config");
  for (int k = first_line; k != message_ring.write_index; k = (k + 1) % message_ring_size) {
    std::string line = message_ring.lines[k];
    while (!line.empty() && line.back() == '\n') line.pop_back();
    std::printf("%s: %s\n", path, line.c_str());
  }
  if (refused) {
    std::printf("%s: config, %d of %d lines refused\n", path, refused, lines);
    return 0;
  }
  std::printf("%s: config, %d lines, all taken\n", path, lines);
  return 1;
}

int bkdata_is_setup_name(const char* path) {
  return std::strncmp(path, "setups/", 7) == 0 || std::strstr(path, "/setups/") != nullptr;
}

int bkdata_check_setup(const char* path) {
  std::string text;
  if (!bkdata_read_capped(path, 16u << 20, "bike setup", &text)) return 0;
  const int first_line = message_ring.write_index;
  const int ok = read_bike_setup_text(text.data(), text.size(), path);
  for (int k = first_line; k != message_ring.write_index; k = (k + 1) % message_ring_size) {
    std::string line = message_ring.lines[k];
    while (!line.empty() && line.back() == '\n') line.pop_back();
    std::printf("%s: %s\n", path, line.c_str());
  }
  if (!ok) return 0;
  std::printf("%s: bike setup, bike %s, stability %.0f\n", path, bike_models[bike_setup.bike].name, bike_setup.stability);
  return 1;
}

int bkdata_is_keycam_name(const char* path) {
  return std::strncmp(path, "keycam/", 7) == 0 || std::strstr(path, "/keycam/") != nullptr;
}

int bkdata_check_keycam(const char* path) {
  std::string text;
  if (!bkdata_read_capped(path, 16u << 20, "camera keyframe file", &text)) return 0;
  static camera_key keys[camera_key_max];
  size_t count = 0;
  int bad_line = 0;
  const char* reason = nullptr;
  if (!parse_camera_keyframes(text.data(), text.size(), keys, camera_key_max, &count, &bad_line, &reason)) {
    std::printf("%s: camera keys refused: line %d has %s\n", path, bad_line, reason);
    return 0;
  }
  if (count == 0) {
    std::printf("%s: camera keys, none\n", path);
    return 1;
  }
  std::printf("%s: camera keys, %zu keys, ticks %d to %d\n", path, count, static_cast<int>(keys[0].tick),
              static_cast<int>(keys[count - 1].tick));
  return 1;
}
