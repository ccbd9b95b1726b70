#pragma once
// The lists start-up builds once per run for the menus: the stock bike part
// check the client needs before it may connect, and the demos the Playback
// Race page offers. (The points series are in race/series.h.)
#include "core/rmd160.h"

enum { list_page_rows = 20 };

// The seven stock part shapes, in the order their bytes are digested.
extern const char* const stock_part_files[7];

// The digest the stock parts must have: the build's, set by main from the
// generated header before check_fixed_files. Null: no stored digest, so
// the check fails.
extern const char* stock_parts_digest;
// 1 when the stock part shapes match the stored digest.
extern int stock_parts_ok;

// The digest of the seven files as 40 lower-case hex digits; a file that
// cannot be opened adds nothing.
void stock_parts_digest_hex(char out[digest_hex_chars + 1]);
// Sets stock_parts_ok.
void check_fixed_files();

struct demo_list_record {
  char** names;          // file-index names, "demos/..." ending in ".bkdemo"
  char** display_names;  // without folder and extension
  int count;
};
extern demo_list_record demo_list;
// The Playback Race page's rows: display names of one page, null past the
// end of the list.
extern const char* demo_page_rows[list_page_rows];

// The display name of a demo file name: the text after the last "/" up to
// the last "." (to the end without one). The caller frees it.
char* demo_display_name(const char* name);
// Lists the demos of the file index (built before) and fills page 0's rows.
void build_demo_list();
void free_demo_list();
// Fills rows with page `page` of `names` (count long), null past its end.
void fill_list_page(const char* const* names, int count, int page, const char* rows[list_page_rows]);
