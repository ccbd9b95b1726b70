// RIPEMD-160: two parallel lines of 80 steps over each 64-byte block.
#include "core/rmd160.h"

#include <cstdio>
#include <cstring>

namespace {

const uint8_t word_left[80] = {
    0, 1, 2,  3,  4,  5,  6,  7,  8, 9, 10, 11, 12, 13, 14, 15,  //
    7, 4, 13, 1,  10, 6,  15, 3,  12, 0, 9,  5,  2,  14, 11, 8,  //
    3, 10, 14, 4, 9,  15, 8,  1,  2, 7, 0,  6,  13, 11, 5,  12,  //
    1, 9, 11, 10, 0,  8,  12, 4,  13, 3, 7,  15, 14, 5,  6,  2,  //
    4, 0, 5,  9,  7,  12, 2,  10, 14, 1, 3,  8,  11, 6,  15, 13};
const uint8_t word_right[80] = {
    5,  14, 7,  0, 9, 2,  11, 4,  13, 6,  15, 8,  1,  10, 3,  12,  //
    6,  11, 3,  7, 0, 13, 5,  10, 14, 15, 8,  12, 4,  9,  1,  2,   //
    15, 5,  1,  3, 7, 14, 6,  9,  11, 8,  12, 2,  10, 0,  4,  13,  //
    8,  6,  4,  1, 3, 11, 15, 0,  5,  12, 2,  13, 9,  7,  10, 14,  //
    12, 15, 10, 4, 1, 5,  8,  7,  6,  2,  13, 14, 0,  3,  9,  11};
const uint8_t shift_left[80] = {
    11, 14, 15, 12, 5,  8,  7,  9,  11, 13, 14, 15, 6,  7,  9,  8,   //
    7,  6,  8,  13, 11, 9,  7,  15, 7,  12, 15, 9,  11, 7,  13, 12,  //
    11, 13, 6,  7,  14, 9,  13, 15, 14, 8,  13, 6,  5,  12, 7,  5,   //
    11, 12, 14, 15, 14, 15, 9,  8,  9,  14, 5,  6,  8,  6,  5,  12,  //
    9,  15, 5,  11, 6,  8,  13, 12, 5,  12, 13, 14, 11, 8,  5,  6};
const uint8_t shift_right[80] = {
    8,  9,  9,  11, 13, 15, 15, 5,  7,  7,  8,  11, 14, 14, 12, 6,   //
    9,  13, 15, 7,  12, 8,  9,  11, 7,  7,  12, 7,  6,  15, 13, 11,  //
    9,  7,  15, 11, 8,  6,  6,  14, 12, 13, 5,  14, 13, 13, 7,  5,   //
    15, 5,  8,  11, 14, 14, 6,  14, 6,  9,  12, 9,  12, 5,  15, 8,   //
    8,  5,  12, 9,  12, 5,  14, 6,  8,  13, 6,  5,  15, 13, 11, 11};
const uint32_t constant_left[5] = {0x00000000u, 0x5A827999u, 0x6ED9EBA1u, 0x8F1BBCDCu, 0xA953FD4Eu};
const uint32_t constant_right[5] = {0x50A28BE6u, 0x5C4DD124u, 0x6D703EF3u, 0x7A6D76E9u, 0x00000000u};

inline uint32_t rol(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// The five boolean functions; the right line uses them in reverse order.
inline uint32_t mix(int round, uint32_t x, uint32_t y, uint32_t z) {
  switch (round) {
    case 0: return x ^ y ^ z;
    case 1: return (x & y) | (~x & z);
    case 2: return (x | ~y) ^ z;
    case 3: return (x & z) | (y & ~z);
    default: return x ^ (y | ~z);
  }
}

}  // namespace

void rmd160_init(rmd160_context* context) {
  context->chain[0] = 0x67452301u;
  context->chain[1] = 0xEFCDAB89u;
  context->chain[2] = 0x98BADCFEu;
  context->chain[3] = 0x10325476u;
  context->chain[4] = 0xC3D2E1F0u;
  std::memset(context->digest, 0, sizeof context->digest);
  context->count = 0;
  context->count_high = 0;
  context->fill = 0;
}

void rmd160_compress(uint32_t chain[5], const uint8_t block[64]) {
  uint32_t x[16];
  for (int i = 0; i < 16; i++)
    x[i] = static_cast<uint32_t>(block[4 * i]) | static_cast<uint32_t>(block[4 * i + 1]) << 8 |
           static_cast<uint32_t>(block[4 * i + 2]) << 16 | static_cast<uint32_t>(block[4 * i + 3]) << 24;

  uint32_t al = chain[0], bl = chain[1], cl = chain[2], dl = chain[3], el = chain[4];
  uint32_t ar = al, br = bl, cr = cl, dr = dl, er = el;
  for (int j = 0; j < 80; j++) {
    const int round = j / 16;
    uint32_t t = rol(al + mix(round, bl, cl, dl) + x[word_left[j]] + constant_left[round], shift_left[j]) + el;
    al = el;
    el = dl;
    dl = rol(cl, 10);
    cl = bl;
    bl = t;
    t = rol(ar + mix(4 - round, br, cr, dr) + x[word_right[j]] + constant_right[round], shift_right[j]) + er;
    ar = er;
    er = dr;
    dr = rol(cr, 10);
    cr = br;
    br = t;
  }
  const uint32_t t = chain[1] + cl + dr;
  chain[1] = chain[2] + dl + er;
  chain[2] = chain[3] + el + ar;
  chain[3] = chain[4] + al + br;
  chain[4] = chain[0] + bl + cr;
  chain[0] = t;
}

void rmd160_update(rmd160_context* context, const void* bytes, size_t n) {
  const uint8_t* in = static_cast<const uint8_t*>(bytes);
  while (n > 0) {
    size_t take = 64 - context->fill;
    if (take > n) take = n;
    std::memcpy(context->buffer + context->fill, in, take);
    context->fill += static_cast<uint32_t>(take);
    const uint32_t before = context->count;
    context->count += static_cast<uint32_t>(take);
    if (context->count < before) context->count_high++;
    in += take;
    n -= take;
    if (context->fill == 64) {
      rmd160_compress(context->chain, context->buffer);
      context->fill = 0;
    }
  }
}

void rmd160_final(rmd160_context* context) {
  // Bit length: the byte count times 8, the high count's bits above it.
  const uint32_t bits_low = context->count << 3;
  const uint32_t bits_high = (context->count >> 29) | (context->count_high << 3);
  uint8_t block[64];
  std::memcpy(block, context->buffer, context->fill);
  uint32_t fill = context->fill;
  block[fill++] = 0x80;
  if (fill > 56) {
    std::memset(block + fill, 0, 64 - fill);
    rmd160_compress(context->chain, block);
    fill = 0;
  }
  std::memset(block + fill, 0, 56 - fill);
  for (int i = 0; i < 4; i++) {
    block[56 + i] = static_cast<uint8_t>(bits_low >> (8 * i));
    block[60 + i] = static_cast<uint8_t>(bits_high >> (8 * i));
  }
  rmd160_compress(context->chain, block);
  for (int i = 0; i < 5; i++)
    for (int b = 0; b < 4; b++) context->digest[4 * i + b] = static_cast<uint8_t>(context->chain[i] >> (8 * b));
}

void digest_to_hex(const uint8_t digest[digest_bytes], char out[digest_hex_chars + 1]) {
  for (int i = 0; i < digest_bytes; i++) std::snprintf(out + 2 * i, 3, "%02x", digest[i]);
}

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

int digest_matches_hex(const char* text, const uint8_t digest[digest_bytes]) {
  // Exactly 40 digits: a short, long or signed text must never match by
  // accident of how a scanner reads it.
  for (int i = 0; i < digest_bytes; i++) {
    const int high = hex_value(text[2 * i]);
    if (high < 0) return 0;
    const int low = hex_value(text[2 * i + 1]);
    if (low < 0) return 0;
    if (((high << 4) | low) != digest[i]) return 0;
  }
  return text[digest_hex_chars] == 0;
}
