#include "core/stream.h"

#include <gtest/gtest.h>

#include <string>

#include "core/file.h"
#include "core/memory.h"
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

namespace {

// The gzip member's trailer guards the data: a changed byte, a wrong
// length or a missing trailer each make the stream broken with one line
// naming the file, while a good member reads clean.
TEST(Stream, GzipTrailerIsChecked) {
  const std::string plain = fixture_noise(6000, 9);
  const std::string good = fixture_gzip(plain);
  std::string flipped = good;
  flipped[good.size() / 2] ^= 0x20;  // inside a stored block: inflates, wrongly
  std::string bad_crc = good;
  bad_crc[good.size() - 8] ^= 1;
  std::string bad_length = good;
  bad_length[good.size() - 4] ^= 1;
  struct gzip_case {
    const char* what;
    std::string bytes;
    const char* says;  // null: reads clean
  } cases[] = {
      {"good", good, nullptr},
      {"flipped data byte", flipped, "Corrupt gzip data in '"},
      {"wrong crc", bad_crc, "Corrupt gzip data in '"},
      {"wrong length", bad_length, "Corrupt gzip data in '"},
      {"no trailer", good.substr(0, good.size() - 8), "end early or are damaged"},
  };
  for (const gzip_case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = temp_path("trailer.gz");
    fixture_write(path, c.bytes);
    test_log_begin();
    stream* s = stream_open(temp_path("trailer").c_str(), "rb");
    ASSERT_NE(s, nullptr);
    const std::string got = read_all(s, 1000);
    EXPECT_EQ(stream_verify(s), c.says ? 0 : 1);
    EXPECT_EQ(stream_getc(s), -1);
    EXPECT_EQ(stream_verify(s), c.says ? 0 : 1);
    EXPECT_EQ(s->broken, c.says ? 1 : 0);
    stream_close(s);
    // Whole-file reads refuse what a stream only warns about.
    char* whole = file_to_string(temp_path("trailer").c_str());
    EXPECT_EQ(whole == nullptr, c.says != nullptr);
    if (whole) {
      EXPECT_EQ(std::string(whole, plain.size()), plain);
    }
    check_free(whole);
    const std::string log = test_log_text();
    test_log_end();
    if (c.says) {
      EXPECT_NE(log.find(c.says), std::string::npos) << log;
      EXPECT_NE(log.find(path), std::string::npos) << log;
      // Said once a stream, however often the reader comes back: here by
      // the reading above and by file_to_string's own stream.
      size_t lines = 0;
      for (size_t at = log.find(c.says); at != std::string::npos; at = log.find(c.says, at + 1)) ++lines;
      EXPECT_EQ(lines, 2u) << log;
    } else {
      EXPECT_EQ(got, plain);
      EXPECT_EQ(log, "");
    }
  }
}

// stream_remaining never promises less than is there, and is tight enough
// for a plain file and a member to refuse a header's word for more.
TEST(Stream, RemainingBoundsWhatIsLeft) {
  const std::string text = "0123456789abcdefghij";
  fixture_write(temp_path("plain.txt"), text);
  stream* s = stream_open(temp_path("plain.txt").c_str(), "rb");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(stream_remaining(s), text.size());
  char five[5];
  stream_read(s, five, 5);
  EXPECT_EQ(stream_remaining(s), text.size() - 5);
  stream_peekc(s);
  EXPECT_EQ(stream_remaining(s), text.size() - 5);
  stream_close(s);

  // A gzip member is bounded by its trailer's length.
  const std::string zeros(100000, '\0');
  fixture_write(temp_path("zeros.gz"), fixture_gzip(zeros));
  s = stream_open(temp_path("zeros").c_str(), "rb");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(stream_remaining(s), zeros.size());
  std::string buffer(4000, '\0');
  stream_read(s, &buffer[0], 4000);
  EXPECT_EQ(stream_remaining(s), zeros.size() - 4000);
  EXPECT_EQ(read_all(s, 777).size(), zeros.size() - 4000);
  EXPECT_EQ(stream_remaining(s), 0u);
  stream_close(s);

  // Scrambled: the plain length; scrambled gzip: at least what inflates.
  fixture_write(temp_path("sc.bin.scram"), fixture_scramble(text));
  fixture_write(temp_path("sz.bin.gz.scram"), fixture_scramble(fixture_gzip(zeros)));
  s = stream_open(temp_path("sc.bin").c_str(), "rb");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(stream_remaining(s), text.size());
  stream_close(s);
  s = stream_open(temp_path("sz.bin").c_str(), "rb");
  ASSERT_NE(s, nullptr);
  EXPECT_GE(stream_remaining(s), zeros.size());
  EXPECT_EQ(read_all(s, 1000), zeros);
  EXPECT_EQ(stream_verify(s), 1);
  stream_close(s);
}

}  // namespace
