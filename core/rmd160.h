#pragma once
// RIPEMD-160 digests: how the game recognises its archive, tracks and stock
// files, and what it compares with peers. The text form is 40 lower-case
// hex digits, one pair per byte.
#include <cstddef>
#include <cstdint>

enum { digest_bytes = 20, digest_hex_chars = 40 };

struct rmd160_context {
  uint32_t chain[5];
  uint8_t digest[digest_bytes];  // valid after rmd160_final
  uint32_t count;                // bytes fed, modulo 2^32
  uint32_t count_high;           // wraps of count
  uint8_t buffer[64];
  uint32_t fill;                 // bytes waiting in buffer
};

void rmd160_init(rmd160_context* context);
void rmd160_update(rmd160_context* context, const void* bytes, size_t n);
// Pads and writes the digest into context->digest; the context is not reset.
void rmd160_final(rmd160_context* context);
// One 64-byte block into the chaining words.
void rmd160_compress(uint32_t chain[5], const uint8_t block[64]);

// The text form into out (41 bytes: 40 digits and a NUL).
void digest_to_hex(const uint8_t digest[digest_bytes], char out[digest_hex_chars + 1]);

// 1 when text is exactly 40 hex digits (either case) naming digest, else 0.
int digest_matches_hex(const char* text, const uint8_t digest[digest_bytes]);
