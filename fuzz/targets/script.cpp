// Track scripts: compiled as bkdata check does, then run in a heap of their
// own under a short budget, as the game's loader would run them (without
// the natives, which reach into a loaded track).
#include <string>

#include "fuzz/fuzz_target.h"
#include "script/script_host.h"

BK_FUZZ_TARGET(script) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (text.find('\0') != std::string::npos) return 0;
  char error[script_error_bytes];
  if (!script_compile_check(text.c_str(), "frills.js", error)) return 0;
  script_host* host = script_host_create();
  if (!host) return 0;
  script_set_budget(host, 20);
  const int ran = script_eval(host, text.c_str());
  script_set_budget(host, 20);
  script_call(host, "bk.tic_handler_", "128", nullptr);
  script_host_destroy(host);
  return ran;
}
