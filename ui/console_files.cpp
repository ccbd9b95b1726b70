// The track-info file, the camera keyframe files and the demo name.
#include "ui/console_files.h"

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/file.h"
#include "core/file_replace.h"
#include "core/message_ring.h"
#include "core/race_clock.h"
#include "core/stream.h"
#include "core/rmd160.h"
#include "race/demo_record.h"
#include "race/views.h"
#include "terrain/track.h"
#include "ui/game_settings.h"

namespace {

void append_format(std::string* out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void append_format(std::string* out, const char* format, ...) {
  char line[1200];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (n > 0) out->append(line, static_cast<size_t>(n) < sizeof line ? static_cast<size_t>(n) : sizeof line - 1);
}

// The name with blanks cut from both ends, after "@keycam/"; 0 when it is
// empty or too long.
int keycam_path(const char* name, char* out, size_t size) {
  while (*name == ' ') ++name;
  size_t length = std::strlen(name);
  while (length > 0 && name[length - 1] == ' ') --length;
  if (length == 0) return 0;
  const int n = std::snprintf(out, size, "@keycam/%.*s", static_cast<int>(length), name);
  return n > 0 && static_cast<size_t>(n) < size;
}

// Files at most this long are keyframe files; a longer one is refused
// before it fills the memory (4096 keys of about 70 bytes fit many times).
const size_t keycam_file_max = 16u << 20;
const size_t keycam_line_max = 1024;

}  // namespace

void trackinfo_text(std::string* out) {
  out->clear();
  char hash[digest_hex_chars + 1];
  digest_to_hex(track_hash, hash);
  append_format(out, "dir=%s\n", track_folder);
  append_format(out, "longname=%s\n", track_long_name);
  append_format(out, "firstlap=%d\n", route.first_lap_gates);
  append_format(out, "normallap=%d\n", route.normal_lap_gates);
  append_format(out, "gatecount=%d\n", checkpoint_count);
  append_format(out, "hash=%s\n", hash);
}

int write_trackinfo() {
  if (!track_folder[0]) {
    console_print("No track loaded");
    return 0;
  }
  std::string text;
  trackinfo_text(&text);
  char name[track_folder_bytes + 16];
  std::snprintf(name, sizeof name, "@%s.trackinfo", track_folder);
  if (!file_replace(name, text.data(), text.size(), 0)) return 0;
  console_printf("Track info saved to %s.trackinfo", track_folder);
  return 1;
}

int add_camera_keyframe() {
  if (camera_key_count >= camera_key_max) {
    console_print("Too many camera keys");
    return 0;
  }
  const int tick = race_clock.current_tick;
  const double psi = free_camera.yaw, theta = free_camera.pitch;
  camera_key key{};
  key.position[0] = free_camera.x;
  key.position[1] = free_camera.y;
  key.position[2] = free_camera.z;
  key.quaternion[0] = static_cast<float>(std::cos(psi / 2) * std::sin(theta / 2));
  key.quaternion[1] = static_cast<float>(std::sin(psi / 2) * std::cos(theta / 2));
  key.quaternion[2] = static_cast<float>(-std::sin(theta / 2) * std::sin(psi / 2));
  key.quaternion[3] = static_cast<float>(std::cos(psi / 2) * std::cos(theta / 2));
  key.fov = static_cast<float>(*game_settings.fov.value);
  key.tick = tick;
  // After every key of the same tick, so equal ticks keep their order.
  size_t at = 0;
  while (at < camera_key_count && camera_keys[at].tick <= tick) ++at;
  for (size_t i = camera_key_count; i > at; --i) camera_keys[i] = camera_keys[i - 1];
  camera_keys[at] = key;
  ++camera_key_count;
  return 1;
}

void delete_camera_keyframe() {
  if (camera_key_count < 2) {
    camera_key_count = 0;
    return;
  }
  const int tick = race_clock.current_tick;
  size_t later = 0;
  while (later < camera_key_count && camera_keys[later].tick <= tick) ++later;
  size_t gone;
  if (later == 0)
    gone = 0;
  else if (later == camera_key_count)
    gone = camera_key_count - 1;
  else
    gone = static_cast<int64_t>(camera_keys[later].tick) - tick < static_cast<int64_t>(tick) - camera_keys[later - 1].tick
               ? later
               : later - 1;
  for (size_t i = gone; i + 1 < camera_key_count; ++i) camera_keys[i] = camera_keys[i + 1];
  --camera_key_count;
}

void clear_camera_keyframes() { camera_key_count = 0; }

void camera_keyframe_line(const camera_key& k, std::string* out) {
  append_format(out, "%.4f %.4f %.4f %.4f %.4f %.4f %.4f %.2f %d\n", static_cast<double>(k.position[0]),
                static_cast<double>(k.position[1]), static_cast<double>(k.position[2]),
                static_cast<double>(k.quaternion[0]), static_cast<double>(k.quaternion[1]),
                static_cast<double>(k.quaternion[2]), static_cast<double>(k.quaternion[3]),
                static_cast<double>(k.fov), k.tick);
}

// Nine values of one line: eight finite numbers and a tick; what follows
// them is ignored.
static const char* parse_keyframe_line(const char* line, camera_key* key) {
  float values[8];
  const char* at = line;
  for (float& v : values) {
    char* end = nullptr;
    errno = 0;
    v = std::strtof(at, &end);
    if (end == at) return "fewer than nine values";
    if (!std::isfinite(v)) return "a number that is not finite";
    at = end;
  }
  char* end = nullptr;
  errno = 0;
  const long tick = std::strtol(at, &end, 10);
  if (end == at) return "fewer than nine values";
  if (errno == ERANGE || tick < INT32_MIN || tick > INT32_MAX) return "a tick out of range";
  for (int i = 0; i < 3; ++i) key->position[i] = values[i];
  for (int i = 0; i < 4; ++i) key->quaternion[i] = values[3 + i];
  key->fov = values[7];
  key->tick = static_cast<int32_t>(tick);
  return nullptr;
}

int parse_camera_keyframes(const char* text, size_t size, camera_key* keys, size_t max, size_t* count, int* bad_line,
                           const char** reason) {
  *count = 0;
  *bad_line = 0;
  *reason = nullptr;
  size_t at = 0;
  int line_number = 0;
  while (at < size) {
    ++line_number;
    const char* start = text + at;
    const void* newline = std::memchr(start, '\n', size - at);
    const size_t length = newline ? static_cast<size_t>(static_cast<const char*>(newline) - start) : size - at;
    at += length + (newline ? 1 : 0);
    const char* problem = nullptr;
    camera_key key{};
    if (length > keycam_line_max) {
      problem = "a line longer than 1024 characters";
    } else if (std::memchr(start, 0, length)) {
      problem = "a zero byte";
    } else {
      char line[keycam_line_max + 1];
      std::memcpy(line, start, length);
      line[length] = 0;
      problem = parse_keyframe_line(line, &key);
    }
    if (!problem && *count >= max) problem = "more keys than the camera path holds";
    if (problem) {
      *bad_line = line_number;
      *reason = problem;
      return 0;
    }
    // In file order: the file is the camera path as its author wrote it.
    keys[(*count)++] = key;
  }
  return 1;
}

int write_camera_keyframes(const char* name) {
  char path[1100];
  if (!keycam_path(name, path, sizeof path)) {
    console_print("Error saving camera keys");
    return 0;
  }
  std::string text;
  for (size_t i = 0; i < camera_key_count; ++i) camera_keyframe_line(camera_keys[i], &text);
  // file_replace names what failed; the command's own line follows it.
  if (!file_replace(path, text.data(), text.size(), 0)) {
    console_print("Error saving camera keys");
    return 0;
  }
  console_print("Camera keys saved");
  return 1;
}

int read_camera_keyframes(const char* name) {
  char path[1100];
  if (!keycam_path(name, path, sizeof path)) {
    console_print("Error reading camera keys");
    return 0;
  }
  stream s;
  if (!stream_open_name(&s, path, "rb")) {
    console_printf("Error reading camera keys: can't open %s", path + 1);
    return 0;
  }
  std::string text;
  char buffer[4096];
  for (uint32_t n; text.size() <= keycam_file_max && (n = stream_read(&s, buffer, sizeof buffer)) > 0;)
    text.append(buffer, n);
  stream_close_file(&s);
  if (text.size() > keycam_file_max) {
    console_printf("Error reading camera keys: %s is too large", path + 1);
    return 0;
  }
  // An opened file replaces the list; a bad line ends the reading and the
  // keys before it stay.
  size_t count = 0;
  int bad_line = 0;
  const char* reason = nullptr;
  const int whole =
      parse_camera_keyframes(text.data(), text.size(), camera_keys, camera_key_max, &count, &bad_line, &reason);
  camera_key_count = count;
  if (!whole) {
    console_printf("Error reading camera keys: %s line %d has %s", path + 1, bad_line, reason);
    return 0;
  }
  console_print("Camera keys updated");
  return 1;
}

int name_demo(const char* text) {
  if (!demo_recorder.file) {
    console_print("Not currently recording a demo");
    return 0;
  }
  while (*text == ' ' || *text == '\t') ++text;
  size_t length = 0;
  while (text[length] && text[length] != ' ' && text[length] != '\t') ++length;
  const size_t longest = sizeof demo_save_name - 8;  // room for ".bkdemo"
  if (length > longest) {
    console_print("Name too long");
    return 0;
  }
  if (length == 0) {
    console_print("Usage: namedemo <name>");
    return 0;
  }
  const std::string word(text, length);
  // The name is a file in the demos folder and nowhere else.
  if (word.find('/') != std::string::npos || word.find('\\') != std::string::npos ||
      word.find("..") != std::string::npos) {
    console_print("A demo name cannot hold \"/\", \"\\\" or \"..\"");
    return 0;
  }
  const char suffix[] = ".bkdemo";
  const size_t suffix_length = sizeof suffix - 1;
  const int has_suffix = length >= suffix_length && word.compare(length - suffix_length, suffix_length, suffix) == 0;
  std::snprintf(demo_save_name, sizeof demo_save_name, "%s%s", word.c_str(), has_suffix ? "" : suffix);
  console_print("Demo name updated");
  return 1;
}
