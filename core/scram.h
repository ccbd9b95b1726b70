#pragma once
// Scrambled data files (".scram"): read like plain files through a reader
// that decrypts on the fly.
//
// Layout: a 64-byte header, then the plain data in 16-byte AES-256 blocks,
// the last one padded with zeros. Before encryption the first 4 bytes of
// each block are XORed with the block's plain offset (little-endian).
//
// The header is four such blocks under a built-in key. Opened, it holds:
//    0..31  the key of the data blocks
//   32..35  plain length, little-endian (0xFFFFFFFF is never valid)
//   36..39  zero
//   40..45  magic "BKSCRM"
//   46..47  zero
//   48..63  the first 16 bytes of the RIPEMD-160 of bytes 0..47, so damage
//           anywhere in the header is caught
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "core/aes256.h"

enum { scram_header_bytes = 64 };

struct scram_reader {
  FILE* file;  // borrowed, positioned at the next scrambled block
  aes256_context aes;
  uint8_t block[16];  // the current decrypted block
  uint32_t position;  // plain bytes delivered
  uint32_t length;    // plain length
};

// Opens scrambled data at the file's current position. `size` is how many
// bytes of scrambled data are there from that position (a whole file, or an
// archive member), so a header claiming more is refused rather than read
// into whatever follows. Null after a log line on failure.
scram_reader* scram_open(FILE* file, uint64_t size);

// Up to n plain bytes; fewer only at the end of the data or on a short file.
size_t scram_read(scram_reader* reader, void* destination, size_t n);

// Wipes the key material and frees the reader; the file stays open.
void scram_close(scram_reader* reader);

// Called by scram_open once the header is accepted; does nothing by default.
extern void (*scram_open_hook)(scram_reader* reader);

// Writes `length` plain bytes as scrambled data. The data key is derived
// from the content, so the same input always gives the same file. Returns 1,
// or 0 after a log line.
int scram_write(FILE* out, const void* data, size_t length);

// Scrambled size of `length` plain bytes, header included.
uint64_t scram_size(uint64_t length);
