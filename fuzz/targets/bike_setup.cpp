// Bike setup files ("setups/NAME"), read line by line: a bad line is
// skipped and the good ones are taken. Whatever was taken, the setup
// written out must read back whole and give the same text.
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_target.h"
#include "ui/bike_setup.h"

BK_FUZZ_TARGET(bike_setup) {
  static std::string defaults;
  if (defaults.empty()) write_bike_setup(&defaults);
  const int taken = read_bike_setup_text(reinterpret_cast<const char*>(data), size, "fuzz");
  std::string written;
  write_bike_setup(&written);
  if (!read_bike_setup_text(written.data(), written.size(), "written")) std::abort();
  std::string again;
  write_bike_setup(&again);
  if (again != written) std::abort();
  read_bike_setup_text(defaults.data(), defaults.size(), "defaults");
  return taken;
}
