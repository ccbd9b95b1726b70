#pragma once
// ".saf" archives: a text header of member lines, then the members' bytes
// back to back.
//
//   "<size> <relative/path>\n"   one line per member, at most 1023 bytes
//   ...
//   "-\n"                        end of the header
//   <member 0 bytes><member 1 bytes>...
//
// Sizes are decimal; exactly one separator byte follows the size; runs of "/"
// in a path read as one.
#include <cstdint>
#include <cstdio>

struct saf_member {
  char* name;  // relative path, owned
  uint32_t offset;
  uint32_t size;
};

struct saf_listing {
  saf_member* members;
  int count;
  int capacity;
  char error[1200];  // why the header was refused
};

enum { saf_line_max = 1023 };

// Reads the header of the archive open in file (at its start). 1 and the
// members with their offsets, or 0 with nothing listed and the reason, which
// names the archive and the member at fault, in out->error. Every member
// must lie inside the file.
int saf_read_header(FILE* file, const char* archive_name, saf_listing* out);
void saf_listing_free(saf_listing* listing);

// Writes an archive of count files: names[i] is the member path stored,
// paths[i] the file read. Members go in the order given. 1, or 0 after a
// message on standard error (nothing is left at out_path then).
int saf_write(const char* out_path, const char* const* names, const char* const* paths, int count);
