// Platform options.
#include "platform/options.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/log.h"
#include "platform/os/os.h"

namespace {

std::string g_options;
bool g_options_read = false;
std::mutex g_options_mutex;

// Finds "[name:" in the option string and returns a copy of what follows the
// colon, or false when the option is absent.
bool option_value(const char* name, std::string* value) {
  std::lock_guard<std::mutex> lock(g_options_mutex);
  if (!g_options_read) {
    const char* env = os_getenv("PAVO_OPTIONS");
    g_options = env ? env : "";
    g_options_read = true;
  }
  std::string key = "[";
  key.append(name, strnlen(name, 60));
  key += ':';
  const size_t at = g_options.find(key);
  if (at == std::string::npos) return false;
  *value = g_options.substr(at + key.size());
  return true;
}

bool starts_with(const std::string& s, const char* prefix) { return s.compare(0, std::strlen(prefix), prefix) == 0; }

}  // namespace

int option_bool(const char* name, int default_value) {
  std::string v;
  if (!option_value(name, &v)) return default_value;
  if (starts_with(v, "yes]") || starts_with(v, "on]")) return 1;
  if (starts_with(v, "no]") || starts_with(v, "off]")) return 0;
  log_printf("unrecognized setting for %s\n", name);
  return default_value;
}

int option_int(const char* name, int default_value) {
  std::string v;
  if (!option_value(name, &v)) return default_value;
  char* end = nullptr;
  errno = 0;
  const long n = std::strtol(v.c_str(), &end, 10);
  if (end == v.c_str()) {
    log_printf("unrecognized setting for %s\n", name);
    return default_value;
  }
  // A value beyond int would wrap into something nobody asked for.
  if (errno == ERANGE || n > INT_MAX || n < INT_MIN) {
    log_printf("unrecognized setting for %s\n", name);
    return default_value;
  }
  return static_cast<int>(n);
}

void options_set_string(const char* text) {
  std::lock_guard<std::mutex> lock(g_options_mutex);
  if (text) {
    g_options = text;
    g_options_read = true;
  } else {
    g_options_read = false;
  }
}
