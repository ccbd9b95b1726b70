#include "core/test_support_files.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/saf.h"
#include "core/scram.h"
#include "tools/testing/test_env.h"

std::string fixture_read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void fixture_write(const std::string& path, const std::string& bytes) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

std::string fixture_gzip(const std::string& plain, int flags) {
  std::string out = {'\x1f', '\x8b', 8, static_cast<char>(flags), 0, 0, 0, 0, 0, 3};
  if (flags & 4) out += std::string("\x05\x00" "extra", 7);
  if (flags & 8) out += std::string("name.txt\0", 9);
  if (flags & 16) out += std::string("a comment\0", 10);
  if (flags & 2) out += std::string("\x12\x34", 2);
  z_stream z = {};
  deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::string body(deflateBound(&z, plain.size()) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
  z.avail_in = static_cast<uInt>(plain.size());
  z.next_out = reinterpret_cast<Bytef*>(&body[0]);
  z.avail_out = static_cast<uInt>(body.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  body.resize(z.total_out);
  deflateEnd(&z);
  out += body;
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(plain.data()), static_cast<uInt>(plain.size()));
  for (int i = 0; i < 4; ++i) out += static_cast<char>((crc >> (8 * i)) & 0xFF);
  for (int i = 0; i < 4; ++i) out += static_cast<char>((plain.size() >> (8 * i)) & 0xFF);
  return out;
}

std::string fixture_scramble(const std::string& plain) {
  const std::string path = std::string(test_root()) + "/scramble.tmp";
  FILE* f = std::fopen(path.c_str(), "wb");
  EXPECT_EQ(scram_write(f, plain.data(), plain.size()), 1);
  std::fclose(f);
  const std::string bytes = fixture_read(path);
  std::remove(path.c_str());
  return bytes;
}

void fixture_saf(const std::string& path, const std::vector<std::pair<std::string, std::string>>& members) {
  std::vector<std::string> paths;
  for (size_t i = 0; i < members.size(); ++i) {
    paths.push_back(std::string(test_root()) + "/member" + std::to_string(i) + ".tmp");
    fixture_write(paths.back(), members[i].second);
  }
  std::vector<const char*> names, files;
  for (size_t i = 0; i < members.size(); ++i) {
    names.push_back(members[i].first.c_str());
    files.push_back(paths[i].c_str());
  }
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  ASSERT_EQ(saf_write(path.c_str(), names.data(), files.data(), static_cast<int>(members.size())), 1);
  for (const std::string& p : paths) std::remove(p.c_str());
}

std::string fixture_noise(size_t n, unsigned seed) {
  std::string s(n, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < n; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    s[i] = static_cast<char>(x & 0xFF);
  }
  return s;
}
