#include "core/stream.h"

#include <gtest/gtest.h>

#include <string>

#include "core/file.h"
#include "core/test_support_files.h"
#include "platform/log.h"
#include "tools/testing/test_env.h"

namespace {

std::string temp_path(const std::string& name) { return std::string(test_root()) + "/streams/" + name; }

std::string read_all(stream* s, uint32_t chunk) {
  std::string out;
  std::string buffer(chunk, '\0');
  for (uint32_t n; (n = stream_read(s, &buffer[0], chunk)) > 0;) out.append(buffer, 0, n);
  return out;
}

std::string read_bytewise(stream* s) {
  std::string out;
  for (int c; (c = stream_getc(s)) >= 0;) out += static_cast<char>(c);
  return out;
}

TEST(Stream, PeekGetcAndPosition) {
  fixture_write(temp_path("abc"), "abc");
  stream* s = stream_open(temp_path("abc").c_str(), "rb");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(stream_peekc(s), 'a');
  EXPECT_EQ(s->position, 1u);
  EXPECT_EQ(stream_peekc(s), 'a');
  EXPECT_EQ(stream_getc(s), 'a');
  EXPECT_EQ(s->position, 1u);
  EXPECT_EQ(stream_getc(s), 'b');
  EXPECT_EQ(s->position, 2u);
  // A pushed-back byte and a read of one byte: exactly one byte delivered.
  EXPECT_EQ(stream_peekc(s), 'c');
  char two[2] = {'x', 'x'};
  EXPECT_EQ(stream_read(s, two, 1), 1u);
  EXPECT_EQ(two[0], 'c');
  EXPECT_EQ(two[1], 'x');
  EXPECT_EQ(stream_getc(s), -1);
  EXPECT_EQ(stream_peekc(s), -1);
  stream_close(s);
}

TEST(Stream, GetsKeepsLineEndsAndAcceptsCrlf) {
  fixture_write(temp_path("lines"), "one\r\ntwo\rx\nlast");
  stream* s = stream_open(temp_path("lines").c_str(), "rb");
  ASSERT_NE(s, nullptr);
  char buf[16];
  char tiny[1] = {'z'};
  EXPECT_EQ(stream_gets(s, tiny, 1), tiny);
  EXPECT_EQ(tiny[0], 0);
  EXPECT_STREQ(stream_gets(s, buf, sizeof buf), "one\n");
  EXPECT_STREQ(stream_gets(s, buf, sizeof buf), "two\rx\n");
  EXPECT_STREQ(stream_gets(s, buf, 3), "la");
  EXPECT_STREQ(stream_gets(s, buf, sizeof buf), "st");
  EXPECT_EQ(stream_gets(s, buf, sizeof buf), nullptr);
  stream_close(s);
}

TEST(Stream, GzipReadsAcrossWindowsAndHeaderFields) {
  const std::string plain = fixture_noise(5000, 1) + std::string(40000, 'z') + fixture_noise(3000, 2);
  for (int flags : {0, 2, 4, 8, 16, 30}) {
    SCOPED_TRACE(flags);
    fixture_write(temp_path("data.gz"), fixture_gzip(plain, flags));
    // The plain name finds the ".gz" variant.
    for (uint32_t chunk : {1u, 700u, 1024u, 70000u}) {
      stream* s = stream_open(temp_path("data").c_str(), "rb");
      ASSERT_NE(s, nullptr);
      EXPECT_EQ(s->gzip, 1);
      EXPECT_EQ(stream_seek(s, 0), 0);
      EXPECT_EQ(read_all(s, chunk), plain);
      EXPECT_EQ(s->position, plain.size());
      stream_close(s);
    }
    stream* s = stream_open(temp_path("data").c_str(), "rb");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(read_bytewise(s), plain);
    stream_close(s);
  }
}

TEST(Stream, BrokenGzipIsRefusedOrEnds) {
  std::string text;
  for (int i = 0; text.size() < 20000; ++i) text += "line " + std::to_string(i * i % 977) + "\n";
  const std::string good = fixture_gzip(text, 8);
  struct broken_case {
    const char* what;
    std::string bytes;
    bool opens;
  };
  const broken_case cases[] = {
      {"not gzip", "hello world", false},
      {"wrong method", std::string("\x1f\x8b\x07\x00") + std::string(20, '\0'), false},
      {"reserved flag", std::string("\x1f\x8b\x08\x20") + std::string(20, '\0'), false},
      {"extra field past the end", std::string("\x1f\x8b\x08\x04\0\0\0\0\0\3\xff\x00", 12), false},
      {"name without end", std::string("\x1f\x8b\x08\x08\0\0\0\0\0\3abc", 13), false},
      {"empty", "", false},
      {"truncated body", good.substr(0, good.size() / 2), true},
      {"damaged body", good.substr(0, 40) + std::string(200, '\xff') + good.substr(240), true},
  };
  for (const broken_case& c : cases) {
    SCOPED_TRACE(c.what);
    fixture_write(temp_path("broken.gz"), c.bytes);
    stream st;
    const int opened = stream_attach(&st, std::fopen(temp_path("broken.gz").c_str(), "rb"), 0, 2147483647u, 1, 0);
    EXPECT_EQ(opened, c.opens ? 1 : 0);
    if (opened) {
      const std::string got = read_all(&st, 4096);
      EXPECT_LT(got.size(), text.size());
      if (c.bytes.size() < good.size()) {
        EXPECT_EQ(got, text.substr(0, got.size()));  // what arrived is right
      }
      EXPECT_EQ(stream_getc(&st), -1);  // the read ended, and stays ended
      EXPECT_EQ(st.broken, 1);
      stream_close_file(&st);
    }
  }
}

TEST(Stream, ScrambledAndScrambledGzip) {
  const std::string plain = fixture_noise(4000, 4) + "tail";
  fixture_write(temp_path("s.bin.scram"), fixture_scramble(plain));
  fixture_write(temp_path("g.bin.gz.scram"), fixture_scramble(fixture_gzip(plain)));
  for (const char* name : {"s.bin", "g.bin"}) {
    SCOPED_TRACE(name);
    stream* s = stream_open(temp_path(name).c_str(), "rb");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(stream_is_scrambled(s), 1);
    EXPECT_EQ(stream_seek(s, 0), 0);
    char five[5];
    ASSERT_EQ(stream_read(s, five, 5), 5u);
    EXPECT_EQ(std::string(five, 5) + read_all(s, 333), plain);
    stream_close(s);
  }
  // A damaged scrambled file is refused at open.
  std::string damaged = fixture_scramble(plain);
  damaged[10] ^= 1;
  fixture_write(temp_path("d.bin.scram"), damaged);
  EXPECT_EQ(stream_open(temp_path("d.bin").c_str(), "rb"), nullptr);
}

TEST(Stream, SeekAndWrite) {
  const std::string path = temp_path("w/deep/out.txt");
  stream* w = stream_open(path.c_str(), "wb");  // parents are created
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(stream_putc(w, 'A'), 1);
  EXPECT_GE(stream_puts(w, "BC"), 0);
  EXPECT_EQ(stream_write(w, "DE", 2), 2u);
  EXPECT_EQ(stream_printf(w, "[ %.1f %d ]", 1.5, 7), 9);
  EXPECT_EQ(stream_flush(w), 0);
  EXPECT_EQ(w->position, 0u);
  stream_close(w);
  EXPECT_EQ(fixture_read(path), "ABCDE[ 1.5 7 ]");

  stream* s = stream_open(path.c_str(), "rb");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(stream_peekc(s), 'A');
  EXPECT_EQ(stream_seek(s, 5), 1);
  EXPECT_EQ(s->position, 5u);
  EXPECT_EQ(stream_getc(s), '[');
  EXPECT_EQ(stream_seek(s, 2147483647u), 0);
  stream_close(s);
}

TEST(Stream, MissingFileAndDirectoryDoNotOpen) {
  EXPECT_EQ(stream_open(temp_path("nothing-here").c_str(), "rb"), nullptr);
  fixture_write(temp_path("folder/file"), "x");
  EXPECT_EQ(stream_open(temp_path("folder").c_str(), "rb"), nullptr);
}

TEST(Stream, BackupModeKeepsNumberedCopies) {
  const std::string path = temp_path("b/config");
  for (const char* text : {"first", "second", "third"}) {
    stream* s = stream_open(path.c_str(), "~wb");
    ASSERT_NE(s, nullptr);
    stream_puts(s, text);
    stream_close(s);
  }
  EXPECT_EQ(fixture_read(path), "third");
  EXPECT_EQ(fixture_read(path + ".~1~"), "first");
  EXPECT_EQ(fixture_read(path + ".~2~"), "second");
  std::FILE* f = std::fopen((path + ".~3~").c_str(), "rb");
  EXPECT_EQ(f, nullptr);
  if (f) std::fclose(f);
}

}  // namespace
