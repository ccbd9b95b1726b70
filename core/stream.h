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
  stream_name_bytes = 256,
  // Deflate cannot expand its input by more than this (RFC 1951: 258 bytes
  // from a one-bit code, about 1032 to 1).
  stream_inflate_ratio = 1032,
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
  uint32_t gzip_crc;        // CRC-32 of the bytes inflated so far
  int64_t gzip_isize;       // the trailer's length read ahead from the file's end; -1 unknown
  int32_t corrupt_said;     // "Corrupt gzip data" was logged for this stream
  z_stream inflate_state;
  unsigned char input[stream_input_size];
  unsigned char output[stream_output_size];
  unsigned char* output_read; // next decompressed byte not yet delivered
  scram_reader* scram;
  char name[stream_name_bytes];  // for messages; "" when attached by hand
};

// Fills a stream over an open file positioned at the data: base offset,
// size limit and the variant flags, then sets up the scrambled reader and
// gzip decoding. On failure the file is closed and 0 returned.
int stream_attach(stream* s, FILE* file, uint32_t base_offset, uint32_t size, int gzip, int scrambled);

// Names the stream in its messages (stream_open_path does it itself).
void stream_set_name(stream* s, const char* name);

// At most how many bytes the stream can still deliver: what the file or
// member holds past the position, for a gzip stream also bounded by its
// trailer's length and the deflate ratio. Readers check sizes taken from a
// header against it before allocating.
uint64_t stream_remaining(stream* s);

// For readers that take a file whole: reads a gzip stream to the end of its
// member so the trailer's CRC-32 and length are checked. 1 when the data
// were whole and intact; 0 when they broke off or are corrupt (the log has
// already said so).
int stream_verify(stream* s);

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
