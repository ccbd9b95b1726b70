#include "core/aes256.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

void from_hex(const char* hex, uint8_t* out, size_t n) {
  for (size_t i = 0; i < n; i++) std::sscanf(hex + 2 * i, "%2hhx", &out[i]);
}

TEST(Aes256, Fips197Vector) {
  uint8_t key[32], plain[16], cipher[16];
  from_hex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", key, 32);
  from_hex("00112233445566778899aabbccddeeff", plain, 16);
  from_hex("8ea2b7ca516745bfeafc49904b496089", cipher, 16);
  aes256_context c;
  aes256_init(&c, key);
  uint8_t block[16];
  // Twice each, so a context left dirty by one block would show on the next.
  for (int i = 0; i < 2; i++) {
    std::memcpy(block, plain, 16);
    aes256_encrypt_block(&c, block);
    EXPECT_EQ(std::memcmp(block, cipher, 16), 0);
  }
  for (int i = 0; i < 2; i++) {
    std::memcpy(block, cipher, 16);
    aes256_decrypt_block(&c, block);
    EXPECT_EQ(std::memcmp(block, plain, 16), 0);
  }
  aes256_done(&c);
  const aes256_context zero = {};
  EXPECT_EQ(std::memcmp(&c, &zero, sizeof c), 0);
}

TEST(Aes256, RoundTripsUnderOtherKeys) {
  for (int k = 0; k < 8; k++) {
    uint8_t key[32], block[16], original[16];
    for (int i = 0; i < 32; i++) key[i] = static_cast<uint8_t>(k * 37 + i * 11);
    for (int i = 0; i < 16; i++) original[i] = block[i] = static_cast<uint8_t>(k * 5 + i * 29);
    aes256_context c;
    aes256_init(&c, key);
    aes256_encrypt_block(&c, block);
    EXPECT_NE(std::memcmp(block, original, 16), 0);
    aes256_decrypt_block(&c, block);
    EXPECT_EQ(std::memcmp(block, original, 16), 0) << "key " << k;
  }
}

}  // namespace
