// The "config" file of the per-user folder, read as start-up reads it. What
// it took is written out again, and that text must read back whole and give
// itself once more: a config the game writes is one it takes.
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_target.h"
#include "race/control_bindings.h"
#include "race/race_settings.h"
#include "ui/config.h"

BK_FUZZ_TARGET(config) {
  static std::string defaults;
  static int made;
  if (!made) {
    control_bindings_reset();
    defaults = config_text();
    made = 1;
  }
  const int refused = read_config_text(reinterpret_cast<const char*>(data), size, "config");
  const std::string written = config_text();
  if (read_config_text(written.data(), written.size(), "written config") != 0) std::abort();
  if (config_text() != written) std::abort();
  // Each input starts from the defaults.
  read_config_text(defaults.data(), defaults.size(), "defaults");
  control_bindings_reset();
  config_track_name = nullptr;
  return refused == 0;
}
