// bkdata: makes the game's sample data and runs the game's own readers on
// files, headless.
#include <cstring>

#include "tools/bkdata/commands.h"

int main(int argc, char** argv) {
  if (argc < 2) return bkdata_usage();
  for (const bkdata_command* c = bkdata_commands; c->name; c++)
    if (std::strcmp(argv[1], c->name) == 0) return c->run(argc - 2, argv + 2);
  return bkdata_usage();
}
