#include "core/rmd160.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace {

std::string hex_of(const std::string& message) {
  rmd160_context c;
  rmd160_init(&c);
  rmd160_update(&c, message.data(), message.size());
  rmd160_final(&c);
  char hex[digest_hex_chars + 1];
  digest_to_hex(c.digest, hex);
  return hex;
}

TEST(Rmd160, PublishedTestVectors) {
  struct {
    std::string message;
    const char* digest;
  } vectors[] = {
      {"", "9c1185a5c5e9fc54612808977ee8f548b2258d31"},
      {"a", "0bdc9d2d256b3ee9daae347be6f4dc835a467ffe"},
      {"abc", "8eb208f7e05d987a9b044a8e98c6b087f15a0bfc"},
      {"message digest", "5d0689ef49d2fae572b881b123a85ffa21595f36"},
      {"abcdefghijklmnopqrstuvwxyz", "f71c27109c692c1b56bbdceb5b9d2865b3708dbc"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "12a053384a9c0c88e405a06c27dcf49ada62eb2b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "b0e20b6e3116640286ed3a87a5713079b21f5189"},
      {"1234567890123456789012345678901234567890"
       "1234567890123456789012345678901234567890",
       "9b752e45573d4b39f4dbd3323cab82bf63326bfb"},
      {std::string(1000000, 'a'), "52783243c1697bdbe16d37f97f68f08325dc1528"},
  };
  for (const auto& v : vectors) EXPECT_EQ(hex_of(v.message), v.digest) << v.message.substr(0, 40);
}

TEST(Rmd160, PiecesGiveTheSameDigest) {
  std::string message;
  for (int i = 0; i < 1000; i++) message.push_back(static_cast<char>(i * 7 + 3));
  const std::string whole = hex_of(message);
  for (size_t piece : {1u, 63u, 64u, 65u}) {
    rmd160_context c;
    rmd160_init(&c);
    for (size_t at = 0; at < message.size(); at += piece)
      rmd160_update(&c, message.data() + at, std::min(piece, message.size() - at));
    rmd160_final(&c);
    char hex[digest_hex_chars + 1];
    digest_to_hex(c.digest, hex);
    EXPECT_EQ(whole, hex) << "pieces of " << piece;
  }
  // Lengths around the padding boundary: 55 bytes fit one block, 56 need two.
  EXPECT_NE(hex_of(std::string(55, 'q')), hex_of(std::string(56, 'q')));
}

TEST(Rmd160, MatchesHexAcceptsExactlyFortyDigits) {
  rmd160_context c;
  rmd160_init(&c);
  rmd160_update(&c, "abc", 3);
  rmd160_final(&c);
  const std::string lower = "8eb208f7e05d987a9b044a8e98c6b087f15a0bfc";
  std::string upper = lower;
  for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  std::string changed = lower;
  changed[39] = 'd';
  struct {
    std::string text;
    int matches;
  } cases[] = {
      {lower, 1},
      {upper, 1},
      {changed, 0},
      {lower.substr(0, 39), 0},
      {lower + "0", 0},
      {lower + "\n", 0},
      {"", 0},
      {" " + lower.substr(1), 0},
      {"+" + lower.substr(1), 0},
      {lower.substr(0, 20) + "g" + lower.substr(21), 0},
  };
  for (const auto& k : cases) EXPECT_EQ(digest_matches_hex(k.text.c_str(), c.digest), k.matches) << "'" << k.text << "'";
}

}  // namespace
