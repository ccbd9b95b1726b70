// The platform log.
#include "platform/log.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/os/os.h"
#include "platform/timebase.h"

namespace {

const char kSetupPrefix[] = "PAVO_LOGFILE=";

struct log_state {
  FILE* file = nullptr;
  bool setup_done = false;
  bool closed = false;
  const char* last_error = "Unknown";
};

log_state g_log;
// Serialises set-up and whole lines, so messages from the message and audio
// threads never interleave within a line.
std::mutex g_log_mutex;

void write_line_locked(const char* format, va_list args) {
  if (!g_log.file) return;
  if (static_cast<unsigned char>(format[0]) == 0x13) return;
  int s, us;
  time_now(&s, &us);
  const int hours = s / 3600;
  const int minutes = s / 60 - hours * 60;
  std::fprintf(g_log.file, "[%d:%02d:%02d.%02d] ", hours, minutes, s % 60, us / 10000);
  char small[1024];
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  std::string big;
  const char* text = small;
  if (n >= static_cast<int>(sizeof small)) {
    big.resize(static_cast<size_t>(n) + 1);
    std::vsnprintf(&big[0], big.size(), format, args);
    text = big.c_str();
  }
  // Bytes from files and the network reach the log: it stays text, with
  // anything unprintable written as \xNN. Colour sequences (ESC [ digits
  // and ";" m) are the console's own and stay as they are.
  std::string line;
  for (const char* p = text; n > 0 && *p; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c == 27 && p[1] == '[') {
      const char* q = p + 2;
      while ((*q >= '0' && *q <= '9') || *q == ';') ++q;
      if (*q == 'm') {
        line.append(p, static_cast<size_t>(q - p + 1));
        p = q;
        continue;
      }
    }
    if ((c >= 0x20 && c < 0x7f) || c == '\n' || c == '\t') {
      line += *p;
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      line += escaped;
    }
  }
  std::fputs(line.c_str(), g_log.file);
  std::fflush(g_log.file);
}

void log_locked(const char* format, ...) {
  va_list args;
  va_start(args, format);
  write_line_locked(format, args);
  va_end(args);
}

// Opens the log file. `message` is the first formatted message, which may be
// a set-up message. Returns true when that message is consumed by set-up.
bool setup_locked(const char* message) {
  const char* env_path = os_getenv("PAVO_LOGFILE");
  const char* env_flags = os_getenv("PAVO_LOGFILE_FLAGS");
  const bool is_setup = std::strncmp(message, kSetupPrefix, sizeof(kSetupPrefix) - 1) == 0;

  std::string path;
  if (env_path)
    path = env_path;
  else if (is_setup)
    path = message + sizeof(kSetupPrefix) - 1;

  g_log.setup_done = true;
  if (!path.empty()) {
    const char* mode = "w";
    if (path.compare(0, 2, ">>") == 0) {
      mode = "a";
      path.erase(0, 2);
    } else if (path[0] == '>') {
      path.erase(0, 1);
    }
    if (env_flags) mode = env_flags;
    g_log.file = std::fopen(path.c_str(), mode);
    if (!g_log.file)
      std::fprintf(stderr, "Brakkan: can't open the log file '%s': %s\n", path.c_str(), std::strerror(errno));
  }
  log_locked("Logfile \"%s\" opened\n", path.c_str());
  log_locked("PAVO 0.31\n");
  return is_setup;
}

}  // namespace

int log_printf(const char* format, ...) {
  if (!format) {
    log_close();
    return 0;
  }
  std::lock_guard<std::mutex> lock(g_log_mutex);
  if (g_log.closed) return 0;
  va_list args;
  va_start(args, format);
  if (!g_log.setup_done) {
    // Set-up needs the message text (a set-up message carries the path).
    va_list copy;
    va_copy(copy, args);
    char first[1024];
    const int n = std::vsnprintf(first, sizeof first, format, copy);
    va_end(copy);
    std::string text = n < static_cast<int>(sizeof first) ? std::string(first) : std::string();
    if (n >= static_cast<int>(sizeof first)) {
      text.resize(static_cast<size_t>(n) + 1);
      va_copy(copy, args);
      std::vsnprintf(&text[0], text.size(), format, copy);
      va_end(copy);
      text.resize(static_cast<size_t>(n));
    }
    if (setup_locked(text.c_str())) {
      va_end(args);
      return 0;
    }
  }
  write_line_locked(format, args);
  va_end(args);
  return 0;
}

void log_close() {
  std::lock_guard<std::mutex> lock(g_log_mutex);
  if (g_log.file) std::fclose(g_log.file);
  g_log.file = nullptr;
  g_log.setup_done = true;
  g_log.closed = true;
}

void log_error(const char* text) {
  log_printf("Error: %s\n", text);
  std::lock_guard<std::mutex> lock(g_log_mutex);
  g_log.last_error = text;
}

const char* log_last_error() {
  std::lock_guard<std::mutex> lock(g_log_mutex);
  return g_log.last_error;
}

void log_reset_for_tests() {
  std::lock_guard<std::mutex> lock(g_log_mutex);
  if (g_log.file) std::fclose(g_log.file);
  g_log = log_state();
}
