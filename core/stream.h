#pragma once
// Streams: one handle for reading a data file whether it is plain, gzip
// compressed or scrambled, loose or inside an archive, and for writing plain
// files. Opening by real path or "@" name is in core/file.h.
#include <zlib.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include "platform/log.h"

struct scram_reader;

enum {
  stream_input_size = 16384,
  stream_output_size = 1024,
};

struct stream {
  FILE* file;
  int32_t base_offset;      // where the data start inside the file
  uint32_t size_limit;      // bytes a plain stream may deliver
  uint32_t position;        // data bytes consumed (a pushed-back byte counts)
  int32_t pushed_back;      // -1 when none
  int32_t gzip;
  int32_t scrambled;
  uint32_t compressed_size; // compressed bytes available to a gzip stream
  uint32_t compressed_read;
  int32_t end;              // the deflate stream has ended (or broke)
  int32_t broken;           // compressed data ended early or were damaged
  int32_t inflating;        // inflate state is live and needs inflateEnd
  z_stream inflate_state;
  unsigned char input[stream_input_size];
  unsigned char output[stream_output_size];
  unsigned char* output_read; // next decompressed byte not yet delivered
  scram_reader* scram;
};

// Fills a stream over an open file positioned at the data: base offset,
// size limit and the variant flags, then sets up the scrambled reader and
// gzip decoding. On failure the file is closed and 0 returned.
int stream_attach(stream* s, FILE* file, uint32_t base_offset, uint32_t size, int gzip, int scrambled);

int stream_getc(stream* s);
int stream_peekc(stream* s);
// Reads a line with its "\n" (a "\r\n" ending is delivered as "\n"), at
// most n - 1 bytes, always terminated. Null only when nothing was left.
char* stream_gets(stream* s, char* buffer, int n);
// Up to n bytes; fewer only at the end of the data.
uint32_t stream_read(stream* s, void* buffer, uint32_t n);

int stream_putc(stream* s, int byte);
int stream_puts(stream* s, const char* text);
uint32_t stream_write(stream* s, const void* bytes, uint32_t n);
int stream_printf(stream* s, const char* format, ...) BK_PRINTF_LIKE(2, 3);
int stream_flush(stream* s);

int stream_is_scrambled(const stream* s);
// Plain streams only: 1 when the stream now stands at offset.
int stream_seek(stream* s, uint32_t offset);

// The game's own scanf. Conversions: %% d i o x X f s c [ n with field
// widths, "*", "h", "l", "ll", "L", "q". Integers saturate instead of
// overflowing. A stored %s or %[ without a width reads at most
// stream_scan_default_width bytes, so its buffer must hold that plus the NUL.
// Returns the number of stored conversions, or -1 when the input ended
// before the first one or a literal byte of the format did not match.
enum { stream_scan_default_width = 1023 };
int stream_scanf(stream* s, const char* format, ...);
int stream_vscanf(stream* s, const char* format, va_list args);

// "%d", or -2147483648 when there is no number.
int stream_read_int(stream* s);
// Skips blank space and "#" comment lines.
int stream_skip_comment_lines(stream* s);

// Ends decoding, closes the file and frees the record (from stream_open).
void stream_close(stream* s);
// The same for a record the caller owns; the fclose result.
int stream_close_file(stream* s);
