// AES-256. The S-box and its inverse are computed at compile time from the
// field arithmetic rather than typed in, so a typo cannot hide in them.
#include "core/aes256.h"

#include <cstring>

namespace {

constexpr uint8_t xtime(uint8_t a) { return static_cast<uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1B : 0)); }

constexpr uint8_t gf_mul(uint8_t a, uint8_t b) {
  uint8_t product = 0;
  while (b) {
    if (b & 1) product ^= a;
    a = xtime(a);
    b >>= 1;
  }
  return product;
}

struct sbox_tables {
  uint8_t forward[256];
  uint8_t inverse[256];
};

constexpr uint8_t rotl8(uint8_t x, int n) { return static_cast<uint8_t>((x << n) | (x >> (8 - n))); }

constexpr sbox_tables make_sboxes() {
  sbox_tables t{};
  for (int x = 0; x < 256; x++) {
    // Multiplicative inverse as x^254 (0 maps to 0), then the affine map.
    // Square and multiply: clang's constant evaluator has a step budget
    // that 254 multiplications a byte would use up.
    uint8_t inv = 1, power = static_cast<uint8_t>(x);
    for (int e = 254; e; e >>= 1) {
      if (e & 1) inv = gf_mul(inv, power);
      power = gf_mul(power, power);
    }
    if (x == 0) inv = 0;
    const uint8_t s = static_cast<uint8_t>(inv ^ rotl8(inv, 1) ^ rotl8(inv, 2) ^ rotl8(inv, 3) ^ rotl8(inv, 4) ^ 0x63);
    t.forward[x] = s;
    t.inverse[s] = static_cast<uint8_t>(x);
  }
  return t;
}

constexpr sbox_tables sboxes = make_sboxes();
static_assert(sboxes.forward[0x00] == 0x63 && sboxes.forward[0x53] == 0xED, "S-box");

void sub_bytes(uint8_t* b) {
  for (int i = 0; i < 16; i++) b[i] = sboxes.forward[b[i]];
}
void sub_bytes_inverse(uint8_t* b) {
  for (int i = 0; i < 16; i++) b[i] = sboxes.inverse[b[i]];
}

void add_round_key(uint8_t* b, const uint8_t* key) {
  for (int i = 0; i < 16; i++) b[i] ^= key[i];
}

// The state is column-major: byte r + 4c is row r of column c. Row r moves
// r columns to the left.
void shift_rows(uint8_t* b) {
  uint8_t t[16];
  for (int c = 0; c < 4; c++)
    for (int r = 0; r < 4; r++) t[r + 4 * c] = b[r + 4 * ((c + r) % 4)];
  std::memcpy(b, t, 16);
}
void shift_rows_inverse(uint8_t* b) {
  uint8_t t[16];
  for (int c = 0; c < 4; c++)
    for (int r = 0; r < 4; r++) t[r + 4 * ((c + r) % 4)] = b[r + 4 * c];
  std::memcpy(b, t, 16);
}

void mix_columns(uint8_t* b) {
  for (int c = 0; c < 16; c += 4) {
    const uint8_t a0 = b[c], a1 = b[c + 1], a2 = b[c + 2], a3 = b[c + 3];
    const uint8_t all = a0 ^ a1 ^ a2 ^ a3;
    b[c] ^= all ^ xtime(a0 ^ a1);
    b[c + 1] ^= all ^ xtime(a1 ^ a2);
    b[c + 2] ^= all ^ xtime(a2 ^ a3);
    b[c + 3] ^= all ^ xtime(a3 ^ a0);
  }
}
void mix_columns_inverse(uint8_t* b) {
  for (int c = 0; c < 16; c += 4) {
    const uint8_t a0 = b[c], a1 = b[c + 1], a2 = b[c + 2], a3 = b[c + 3];
    b[c] = gf_mul(a0, 14) ^ gf_mul(a1, 11) ^ gf_mul(a2, 13) ^ gf_mul(a3, 9);
    b[c + 1] = gf_mul(a0, 9) ^ gf_mul(a1, 14) ^ gf_mul(a2, 11) ^ gf_mul(a3, 13);
    b[c + 2] = gf_mul(a0, 13) ^ gf_mul(a1, 9) ^ gf_mul(a2, 14) ^ gf_mul(a3, 11);
    b[c + 3] = gf_mul(a0, 11) ^ gf_mul(a1, 13) ^ gf_mul(a2, 9) ^ gf_mul(a3, 14);
  }
}

// One step of the key expansion: the 8 key words w[i..i+7] become
// w[i+8..i+15], two round keys further on.
void expand_key_forward(uint8_t* k, uint8_t* rcon) {
  k[0] ^= sboxes.forward[k[29]] ^ *rcon;
  k[1] ^= sboxes.forward[k[30]];
  k[2] ^= sboxes.forward[k[31]];
  k[3] ^= sboxes.forward[k[28]];
  *rcon = xtime(*rcon);
  for (int i = 4; i < 16; i++) k[i] ^= k[i - 4];
  for (int i = 0; i < 4; i++) k[16 + i] ^= sboxes.forward[k[12 + i]];
  for (int i = 20; i < 32; i++) k[i] ^= k[i - 4];
}

// The inverse step: w[i+8..i+15] back to w[i..i+7]. rcon is divided by x
// before use, so it starts one step past the last forward value.
void expand_key_backward(uint8_t* k, uint8_t* rcon) {
  for (int i = 31; i >= 20; i--) k[i] ^= k[i - 4];
  for (int i = 0; i < 4; i++) k[16 + i] ^= sboxes.forward[k[12 + i]];
  for (int i = 15; i >= 4; i--) k[i] ^= k[i - 4];
  *rcon = static_cast<uint8_t>((*rcon >> 1) ^ ((*rcon & 1) ? 0x8D : 0));
  k[0] ^= sboxes.forward[k[29]] ^ *rcon;
  k[1] ^= sboxes.forward[k[30]];
  k[2] ^= sboxes.forward[k[31]];
  k[3] ^= sboxes.forward[k[28]];
}

}  // namespace

void aes256_init(aes256_context* context, const uint8_t key[32]) {
  std::memcpy(context->key, key, 32);
  std::memcpy(context->enckey, key, 32);
  std::memcpy(context->deckey, key, 32);
  uint8_t rcon = 1;
  for (int i = 0; i < 7; i++) expand_key_forward(context->deckey, &rcon);
}

void aes256_done(aes256_context* context) {
  volatile uint8_t* p = reinterpret_cast<volatile uint8_t*>(context);
  for (size_t i = 0; i < sizeof *context; i++) p[i] = 0;
}

void aes256_encrypt_block(aes256_context* context, uint8_t block[16]) {
  uint8_t* k = context->enckey;
  std::memcpy(k, context->key, 32);
  uint8_t rcon = 1;
  add_round_key(block, k);
  for (int round = 1; round < 14; round++) {
    sub_bytes(block);
    shift_rows(block);
    mix_columns(block);
    if (round & 1) {
      add_round_key(block, k + 16);
    } else {
      expand_key_forward(k, &rcon);
      add_round_key(block, k);
    }
  }
  sub_bytes(block);
  shift_rows(block);
  expand_key_forward(k, &rcon);
  add_round_key(block, k);
}

void aes256_decrypt_block(aes256_context* context, uint8_t block[16]) {
  // Works on a copy so the context keeps the last round keys for the next
  // block.
  uint8_t k[32];
  std::memcpy(k, context->deckey, 32);
  uint8_t rcon = 0x80;
  add_round_key(block, k);
  shift_rows_inverse(block);
  sub_bytes_inverse(block);
  for (int round = 13; round >= 1; round--) {
    if (round & 1) {
      expand_key_backward(k, &rcon);
      add_round_key(block, k + 16);
    } else {
      add_round_key(block, k);
    }
    mix_columns_inverse(block);
    shift_rows_inverse(block);
    sub_bytes_inverse(block);
  }
  add_round_key(block, k);
}
