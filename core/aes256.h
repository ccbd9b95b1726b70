#pragma once
// AES-256 (FIPS-197) on single 16-byte blocks, with the round keys made on
// the fly from a 32-byte key, so a context is only 96 bytes.
#include <cstdint>

struct aes256_context {
  uint8_t key[32];
  uint8_t enckey[32];  // working round keys of the last encryption
  uint8_t deckey[32];  // the last two round keys, where decryption starts
};

void aes256_init(aes256_context* context, const uint8_t key[32]);
// Clears all 96 bytes.
void aes256_done(aes256_context* context);
void aes256_encrypt_block(aes256_context* context, uint8_t block[16]);
void aes256_decrypt_block(aes256_context* context, uint8_t block[16]);
