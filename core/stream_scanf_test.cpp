#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "core/stream.h"
#include "tools/testing/test_env.h"

namespace {

// A stream over a temporary file holding text.
struct text_stream {
  stream s;
  explicit text_stream(const std::string& text) {
    const std::string path = std::string(test_root()) + "/scan.txt";
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    EXPECT_EQ(stream_attach(&s, std::fopen(path.c_str(), "rb"), 0, 2147483647u, 0, 0), 1);
  }
  ~text_stream() { stream_close_file(&s); }
  std::string rest() {
    std::string r;
    for (int c; (c = stream_getc(&s)) >= 0;) r += static_cast<char>(c);
    return r;
  }
};

struct int_case {
  const char* input;
  const char* format;
  int result;
  int value;
  const char* rest;
};

TEST(StreamScanf, IntegerConversions) {
  const int_case cases[] = {
      {"  42 x", "%d", 1, 42, " x"},
      {"-17", "%d", 1, -17, ""},
      {"+8", "%d", 1, 8, ""},
      {"-", "%d", 0, 0, ""},            // the sign is consumed, then no digit
      {"abc", "%d", 0, 0, "abc"},
      {"", "%d", -1, 0, ""},
      {"   ", "%d", -1, 0, ""},
      {"12345", "%3d", 1, 123, "45"},
      {"-12345", "%3d", 1, -12, "345"}, // the width counts the sign
      {"0x1f", "%i", 1, 31, ""},
      {"017", "%i", 1, 15, ""},
      {"0", "%i", 1, 0, ""},
      {"09", "%i", 1, 0, "9"},          // octal stops at 9
      {"-0X10", "%i", 1, -16, ""},
      {"0x1f", "%x", 1, 0, "x1f"},
      {"ff", "%X", 1, 255, ""},
      {"ffffffff", "%x", 1, -1, ""},
      {"777", "%o", 1, 511, ""},
      {"8", "%o", 0, 0, "8"},
      {"99999999999999999999", "%d", 1, 2147483647, ""},
      {"-99999999999999999999", "%d", 1, -2147483647 - 1, ""},
      {"123456789abcdef0123", "%x", 1, -1, ""},
      {"12 34", "%*d %d", 1, 34, ""},
      {"7", "%ld", 1, 7, ""},
  };
  for (const int_case& c : cases) {
    SCOPED_TRACE(std::string(c.format) + " on '" + c.input + "'");
    text_stream t(c.input);
    int v = 0;
    EXPECT_EQ(stream_scanf(&t.s, c.format, &v), c.result);
    EXPECT_EQ(v, c.value);
    EXPECT_EQ(t.rest(), c.rest);
  }
}

TEST(StreamScanf, ShortStores) {
  text_stream t("70000 12");
  short a = 0, n = 0;
  EXPECT_EQ(stream_scanf(&t.s, "%hd %hn", &a, &n), 1);
  EXPECT_EQ(a, static_cast<short>(70000));
  EXPECT_EQ(n, 6);
}

struct float_case {
  const char* input;
  const char* format;
  int result;
  double value;
  const char* rest;
};

TEST(StreamScanf, FloatConversions) {
  const float_case cases[] = {
      {"1.5e-3", "%lf", 1, 0.0015, ""},
      {".", "%lf", 1, 0.0, ""},
      {"-2.25 ", "%lf", 1, -2.25, " "},
      {"3e", "%lf", 1, 3.0, ""},       // "e" is taken even without digits
      {"1E+2x", "%lf", 1, 100.0, "x"},
      {"1.2.3", "%lf", 1, 1.2, ".3"},
      {"12345", "%3lf", 1, 123.0, "45"},
      {"-12345", "%3lf", 1, -123.0, "45"}, // the sign is outside the width
      {"x", "%lf", 0, 0.0, "x"},
      {"-x", "%lf", 0, 0.0, "x"},
      {"", "%lf", -1, 0.0, ""},
      {"1e400", "%lf", 1, HUGE_VAL, ""},
      {"25e-1", "%lf", 1, 2.5, ""},
      {"0.000000000000000000000000000001e30", "%lf", 1, 1.0, ""},
  };
  for (const float_case& c : cases) {
    SCOPED_TRACE(std::string(c.format) + " on '" + c.input + "'");
    text_stream t(c.input);
    double v = 0;
    EXPECT_EQ(stream_scanf(&t.s, c.format, &v), c.result);
    EXPECT_DOUBLE_EQ(v, c.value);
    EXPECT_EQ(t.rest(), c.rest);
  }
}

TEST(StreamScanf, FloatSizes) {
  text_stream t("[ 0.1 2.5 -3 ] 4 0.1");
  float x = 0, y = 0, z = 0;
  long double w = 0, q = 0;
  EXPECT_EQ(stream_scanf(&t.s, "[ %f %f %f ] %Lf %llf", &x, &y, &z, &w, &q), 5);
  EXPECT_EQ(x, 0.1f);
  EXPECT_EQ(y, 2.5f);
  EXPECT_EQ(z, -3.0f);
  EXPECT_EQ(w, 4.0L);
  EXPECT_NEAR(static_cast<double>(q), 0.1, 1e-18);
}

TEST(StreamScanf, StringsCharsAndSets) {
  {
    text_stream t("  hello world");
    char a[16], b[4];
    EXPECT_EQ(stream_scanf(&t.s, "%15s %3s", a, b), 2);
    EXPECT_STREQ(a, "hello");
    EXPECT_STREQ(b, "wor");
    EXPECT_EQ(t.rest(), "ld");
  }
  {
    text_stream t(" ab");
    char c[3] = {'x', 'x', 'x'};
    EXPECT_EQ(stream_scanf(&t.s, "%2c", c), 1);
    EXPECT_EQ(c[0], ' ');
    EXPECT_EQ(c[1], 'a');
    EXPECT_EQ(c[2], 'x');  // no terminator
  }
  {
    text_stream t("a");
    char c[2];
    EXPECT_EQ(stream_scanf(&t.s, "%2c", c), -1);
  }
  {
    text_stream t("word");
    char a[8];
    EXPECT_EQ(stream_scanf(&t.s, "%7s", a), 1);  // the end of input ends the word
    EXPECT_STREQ(a, "word");
  }
  {
    text_stream t("]a-b-zq");
    char a[16];
    EXPECT_EQ(stream_scanf(&t.s, "%[]a-c-]", a), 1);
    EXPECT_STREQ(a, "]a-b-");
    EXPECT_EQ(t.rest(), "zq");
  }
  {
    text_stream t("key=value\n");
    char k[16], v[16];
    EXPECT_EQ(stream_scanf(&t.s, "%15[^=]=%15[^\n]", k, v), 2);
    EXPECT_STREQ(k, "key");
    EXPECT_STREQ(v, "value");
    EXPECT_EQ(t.rest(), "\n");
  }
  {
    text_stream t("=x");
    char k[16] = "untouched";
    EXPECT_EQ(stream_scanf(&t.s, "%15[^=]", k), 0);  // an empty run fails
    EXPECT_STREQ(k, "untouched");
  }
}

TEST(StreamScanf, StoredStringWithoutWidthIsBounded) {
  std::string word(3000, 'w');
  text_stream t(word + " tail");
  char buffer[stream_scan_default_width + 1];
  EXPECT_EQ(stream_scanf(&t.s, "%s", buffer), 1);
  EXPECT_EQ(std::string(buffer), std::string(stream_scan_default_width, 'w'));
  char set[stream_scan_default_width + 1];
  EXPECT_EQ(stream_scanf(&t.s, "%[w]", set), 1);
  EXPECT_EQ(std::string(set), std::string(stream_scan_default_width, 'w'));
  EXPECT_EQ(stream_scanf(&t.s, "%*s %s", buffer), 1);  // suppressed runs are not capped
  EXPECT_STREQ(buffer, "tail");
}

TEST(StreamScanf, LiteralsCountsAndEnd) {
  {
    text_stream t("ct03 5 ");
    int v = 0;
    EXPECT_EQ(stream_scanf(&t.s, "ct03 %d ", &v), 1);
    EXPECT_EQ(v, 5);
  }
  {
    // A mismatch after a stored conversion still gives -1, and the byte
    // that failed to match is left for the next read.
    text_stream t("5 Q");
    int v = 0;
    EXPECT_EQ(stream_scanf(&t.s, "%d X", &v), -1);
    EXPECT_EQ(v, 5);
    EXPECT_EQ(t.rest(), "Q");
  }
  {
    text_stream t("7");
    int a = 0, b = 0;
    EXPECT_EQ(stream_scanf(&t.s, "%d %d", &a, &b), 1);
  }
  {
    text_stream t("");
    int a = 0, b = 0;
    EXPECT_EQ(stream_scanf(&t.s, "%d %d", &a, &b), -1);
  }
  {
    text_stream t("100% 3");
    int a = 0, b = 0;
    EXPECT_EQ(stream_scanf(&t.s, "%d%% %d", &a, &b), 2);
    EXPECT_EQ(b, 3);
  }
  {
    text_stream t("1x");
    int a = 0;
    EXPECT_EQ(stream_scanf(&t.s, "%d%%", &a), -1);
  }
  {
    char word[8], set[8];
    int a = 0;
    text_stream empty("");
    EXPECT_EQ(stream_scanf(&empty.s, "%7s", word), -1);
    EXPECT_EQ(stream_scanf(&empty.s, "%7[a-z]", set), -1);
    text_stream one("4  ");
    EXPECT_EQ(stream_scanf(&one.s, "%d %7s", &a, word), 1);
  }
  {
    // The byte that ended the number waits pushed back and is not counted.
    text_stream t("  12x");
    int a = 0, n = 0;
    EXPECT_EQ(stream_scanf(&t.s, " %d%n", &a, &n), 1);
    EXPECT_EQ(n, 4);
    EXPECT_EQ(stream_getc(&t.s), 'x');
  }
  {
    text_stream t("JM3");
    int v = 0;
    EXPECT_EQ(stream_scanf(&t.s, "JM%d", &v), 1);
    EXPECT_EQ(v, 3);
  }
  {
    text_stream t("5 6");
    int a = 0, n = -1;
    EXPECT_EQ(stream_scanf(&t.s, "%d%n%y", &a, &n), 1);  // unknown conversion ends the call
    EXPECT_EQ(n, 1);
  }
}

TEST(StreamScanf, CommentLinesAndCrlf) {
  text_stream t("# first\r\n#second\nP5 3\r\n");
  char hash[2];
  int loops = 0;
  while (stream_scanf(&t.s, " %1[#]%*[^\n]", hash) == 1) {
    ++loops;
    EXPECT_EQ(stream_peekc(&t.s), '\n');  // the line end stays unread
  }
  EXPECT_EQ(loops, 2);
  char magic[4];
  int v = 0;
  EXPECT_EQ(stream_scanf(&t.s, " %3s %d ", magic, &v), 2);
  EXPECT_STREQ(magic, "P5");
  EXPECT_EQ(v, 3);
  EXPECT_EQ(stream_getc(&t.s), -1);
}

TEST(StreamScanf, SkipCommentLinesAndReadInt) {
  text_stream t("  # a\n # b\n 12 x");
  EXPECT_EQ(stream_skip_comment_lines(&t.s), 0);
  EXPECT_EQ(stream_read_int(&t.s), 12);
  EXPECT_EQ(stream_read_int(&t.s), -2147483647 - 1);
}

}  // namespace
