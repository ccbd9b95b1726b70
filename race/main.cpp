// The brakkan executable.
#include "platform/log.h"
#include "race/version.h"

int main(int, char**) {
  log_printf("Brakkan version %s\n", game_version);
  log_close();
  return 0;
}
