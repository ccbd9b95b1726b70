#include "tools/bkdata/commands.h"

#include <cstdio>

const bkdata_command bkdata_commands[] = {
    {"digest", "FILE", bkdata_digest},
    {"pack", "DIR OUT.saf", bkdata_pack},
    {"list", "ARCHIVE", bkdata_list},
    {"check", "FILE...", bkdata_check},
    {"image", "FORMAT WIDTH HEIGHT OUT", bkdata_image},
    {"track", "quarrybend OUTDIR", bkdata_track},
    {"demo", "VERSION OUT", bkdata_demo},
    {"bike", "OUTDIR", bkdata_bike},
    {"shapes", "OUTDIR", bkdata_shapes},
    {"sounds", "OUTDIR", bkdata_sounds},
    {"build", "OUT", bkdata_build},
    {"seeds", "OUTDIR", bkdata_seeds},
    {"lines", "ROOT", bkdata_lines},
    {"record", "ROOT", bkdata_record},
    {"scramble", "IN OUT", bkdata_scramble},
    {nullptr, nullptr, nullptr},
};

int bkdata_usage() {
  std::fputs("usage:\n", stderr);
  for (const bkdata_command* c = bkdata_commands; c->name; c++) std::fprintf(stderr, "  bkdata %s %s\n", c->name, c->usage);
  return 2;
}
