// Points series in bkdata: the sample series of the data root, "check" of
// ".series" files (with their standings) through the game's reader, and the
// digest of the stock part shapes the game compares.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/file.h"
#include "core/rmd160.h"
#include "race/series.h"
#include "race/startup_lists.h"
#include "terrain/track.h"
#include "tools/bkdata/commands.h"

int stock_parts_digest_of(const char* folder, char hex[digest_hex_chars + 1]) {
  rmd160_context context;
  rmd160_init(&context);
  for (const char* name : stock_part_files) {
    const std::string path = std::string(folder) + "/" + (name + 1);
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
      std::fprintf(stderr, "bkdata: can't read '%s'\n", path.c_str());
      return 0;
    }
    unsigned char block[1024];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0) rmd160_update(&context, block, n);
    std::fclose(f);
  }
  rmd160_final(&context);
  digest_to_hex(context.digest, hex);
  return 1;
}

// Four roster robots over two events on the sample track: a heat that
// scores nothing by itself (points row starting 0), then the scoring final
// whose standings are ranked.
int write_sample_series(const char* folder) {
  std::string text = "\"Quarry Bend Cup\"\n4 Amateur\n20 35 47 61\n2\n";
  auto row = [](const int* first, int count) {
    std::string r;
    for (int i = 0; i < series_row_read; i++) r += std::to_string(i < count ? first[i] : 0) + (i % 10 == 9 ? "\n" : " ");
    return r;
  };
  static const int none[1] = {0};
  static const int points[] = {25, 22, 20, 18, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1};
  static const int ranked[1] = {1};
  text += "\"Heat\" quarrybend 0 2\n" + row(none, 1) + row(none, 1);
  text += "\"Final\" quarrybend 0 3\n" + row(points, 20) + row(ranked, 1);
  const std::string path = std::string(folder) + "/quarrybend_cup.series";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  const int ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return (std::fclose(f) == 0) && ok;
}

int bkdata_is_series_name(const char* path) {
  const size_t n = std::strlen(path);
  return n >= 7 && std::strcmp(path + n - 7, ".series") == 0;
}

int bkdata_check_series(const char* path) {
  // The tracks an event names are those of the data root the series lies
  // in, unless BK_HOME names another.
  std::string folder = path;
  const size_t slash = folder.rfind('/');
  folder = slash == std::string::npos ? "." : folder.substr(0, slash);
  if (!std::getenv("BK_HOME")) setenv("BK_HOME", folder.c_str(), 1);
  search_roots_free();
  if (!track_folders) scan_tracks();
  series_record s;
  if (!read_series_at(path, path, &s)) {
    std::printf("%s: refused: %s\n", path, series_last_refusal);
    return 0;
  }
  const std::string standings = std::string(path) + "_standings";
  std::string fault;
  if (!read_series_standings_at(&s, standings.c_str(), &fault)) {
    std::printf("%s: refused: its standings file %s %s\n", path, standings.c_str(), fault.c_str());
    free_series_record(&s);
    return 0;
  }
  rank_series_standings(&s);
  static const char* const skills[] = {"Novice", "Amateur", "Expert"};
  std::printf("%s: series \"%s\", %d riders, %s, %d events, %d done\n", path, s.title, s.rider_count,
              skills[s.skill], s.event_count, s.events_done);
  free_series_record(&s);
  return 1;
}
