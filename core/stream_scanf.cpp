// The game's own scanf over a stream. Every text format of the game is read
// through it, so its rules are fixed here rather than left to the C library:
// exactly one byte of look-ahead stays pushed back after each directive, and
// numbers never depend on the locale.
#include <climits>
#include <cstdint>

#include "core/stream.h"

static int is_blank(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

static void skip_blanks(stream* s) {
  while (is_blank(stream_peekc(s))) stream_getc(s);
}

static int digit_value(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

// Bytes consumed so far: a pushed-back byte has been counted in position but
// is still unread.
static uint32_t consumed(const stream* s) { return s->position - (s->pushed_back >= 0 ? 1u : 0u); }

enum scan_result { scan_ok, scan_fail, scan_eof };

// Integer conversions. The magnitude saturates at 0xFFFFFFFF; decimal values
// then clamp to the int range, while octal and hex keep their 32-bit pattern
// (so "ffffffff" still reads as -1).
static scan_result scan_integer(stream* s, int conv, long width, int* out) {
  skip_blanks(s);
  if (stream_peekc(s) < 0) return scan_eof;
  int negative = 0;
  const int first = stream_peekc(s);
  if ((first == '+' || first == '-') && width > 0) {
    negative = first == '-';
    stream_getc(s);
    --width;
  }
  int base = conv == 'o' ? 8 : (conv == 'x' || conv == 'X') ? 16 : 10;
  int digits = 0;
  if (conv == 'i' && width > 0 && stream_peekc(s) == '0') {
    stream_getc(s);
    --width;
    digits = 1;
    base = 8;
    const int c = stream_peekc(s);
    if ((c == 'x' || c == 'X') && width > 0) {
      stream_getc(s);
      --width;
      base = 16;
    }
  }
  uint64_t magnitude = 0;
  while (width > 0) {
    const int v = digit_value(stream_peekc(s));
    if (v >= base) break;
    stream_getc(s);
    --width;
    ++digits;
    magnitude = magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(v);
    if (magnitude > 0xFFFFFFFFu) magnitude = 0xFFFFFFFFu;
  }
  if (digits == 0) return scan_fail;
  if (base == 10) {
    if (negative)
      *out = magnitude >= 2147483648u ? INT_MIN : -static_cast<int>(magnitude);
    else
      *out = magnitude > 2147483647u ? INT_MAX : static_cast<int>(magnitude);
  } else {
    uint32_t bits = static_cast<uint32_t>(magnitude);
    if (negative) bits = 0u - bits;
    *out = static_cast<int>(bits);
  }
  return scan_ok;
}

// 10^(2^k) for k = 0..12.
static const long double decimal_powers[] = {1e1L, 1e2L, 1e4L, 1e8L, 1e16L, 1e32L, 1e64L,
                                             1e128L, 1e256L, 1e512L, 1e1024L, 1e2048L, 1e4096L};

static long double scale_by_ten(long double value, long exponent) {
  const int divide = exponent < 0;
  long e = divide ? -exponent : exponent;
  long double factor = 1.0L;
  while (e > 4095) {
    factor *= decimal_powers[12];
    e -= 4096;
  }
  for (int k = 0; k < 12 && e; ++k, e >>= 1)
    if (e & 1) factor *= decimal_powers[k];
  return divide ? value / factor : value * factor;
}

static scan_result scan_float(stream* s, long width, long double* out) {
  skip_blanks(s);
  if (stream_peekc(s) < 0) return scan_eof;
  int negative = 0;
  const int first = stream_peekc(s);
  if (first == '+' || first == '-') {
    negative = first == '-';
    stream_getc(s);
  }
  long double mantissa = 0.0L;
  long exponent = 0;
  int digits = 0, point = 0;
  while (width > 0) {
    const int c = stream_peekc(s);
    if (c >= '0' && c <= '9') {
      mantissa = mantissa * 10.0L + (c - '0');
      if (point) --exponent;
      ++digits;
    } else if (c == '.' && !point) {
      point = 1;
    } else {
      break;
    }
    stream_getc(s);
    --width;
  }
  if (!digits && !point) return scan_fail;
  const int e = stream_peekc(s);
  if ((e == 'e' || e == 'E') && width > 0) {
    stream_getc(s);
    --width;
    int exp_negative = 0;
    const int sign = stream_peekc(s);
    if ((sign == '+' || sign == '-') && width > 0) {
      exp_negative = sign == '-';
      stream_getc(s);
      --width;
    }
    long written = 0;
    while (width > 0) {
      const int c = stream_peekc(s);
      if (c < '0' || c > '9') break;
      stream_getc(s);
      --width;
      if (written < 1000000) written = written * 10 + (c - '0');
    }
    exponent += exp_negative ? -written : written;
  }
  const long double value = mantissa == 0.0L ? 0.0L : scale_by_ten(mantissa, exponent);
  *out = negative ? -value : value;
  return scan_ok;
}

int stream_scanf(stream* s, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = stream_vscanf(s, format, args);
  va_end(args);
  return n;
}

int stream_vscanf(stream* s, const char* format, va_list args) {
  const uint32_t start = consumed(s);
  int count = 0;
  const unsigned char* f = reinterpret_cast<const unsigned char*>(format);
  while (*f) {
    if (is_blank(*f)) {
      skip_blanks(s);
      ++f;
      continue;
    }
    if (*f != '%') {
      // A mismatch leaves the input byte for whoever reads next.
      if (stream_peekc(s) != *f) return -1;
      stream_getc(s);
      ++f;
      continue;
    }
    ++f;
    long width = -1;
    int suppress = 0, half = 0, longs = 0;
    for (;; ++f) {
      if (*f >= '0' && *f <= '9') {
        if (width < 0) width = 0;
        if (width < 100000000) width = width * 10 + (*f - '0');
      } else if (*f == '*') {
        suppress = 1;
      } else if (*f == 'h') {
        half = 1;
      } else if (*f == 'l') {
        ++longs;
      } else if (*f == 'L' || *f == 'q') {
        longs = 2;
      } else {
        break;
      }
    }
    const int conv = *f;
    if (!conv) return count;
    ++f;
    switch (conv) {
      case '%':
        if (stream_peekc(s) != '%') return -1;
        stream_getc(s);
        break;
      case 'n': {
        const uint32_t n = consumed(s) - start;
        if (!suppress) {
          if (half)
            *va_arg(args, short*) = static_cast<short>(n);
          else
            *va_arg(args, int*) = static_cast<int>(n);
        }
        break;
      }
      case 'd':
      case 'i':
      case 'o':
      case 'x':
      case 'X': {
        int value = 0;
        const scan_result r = scan_integer(s, conv, width < 0 ? 1000000 : width, &value);
        if (r == scan_eof) return count ? count : -1;
        if (r == scan_fail) return count;
        if (!suppress) {
          if (half)
            *va_arg(args, short*) = static_cast<short>(value);
          else
            *va_arg(args, int*) = value;
          ++count;
        }
        break;
      }
      case 'f': {
        long double value = 0;
        const scan_result r = scan_float(s, width < 0 ? 1000000 : width, &value);
        if (r == scan_eof) return count ? count : -1;
        if (r == scan_fail) return count;
        if (!suppress) {
          if (longs >= 2)
            *va_arg(args, long double*) = value;
          else if (longs == 1)
            *va_arg(args, double*) = static_cast<double>(value);
          else
            *va_arg(args, float*) = static_cast<float>(value);
          ++count;
        }
        break;
      }
      case 's': {
        skip_blanks(s);
        if (stream_peekc(s) < 0) return count ? count : -1;
        char* out = suppress ? nullptr : va_arg(args, char*);
        long left = width >= 0 ? width : suppress ? 1000000 : stream_scan_default_width;
        while (left > 0) {
          const int c = stream_peekc(s);
          if (c < 0 || is_blank(c)) break;
          stream_getc(s);
          if (out) *out++ = static_cast<char>(c);
          --left;
        }
        if (out) {
          *out = 0;
          ++count;
        }
        break;
      }
      case 'c': {
        if (stream_peekc(s) < 0) return count ? count : -1;
        char* out = suppress ? nullptr : va_arg(args, char*);
        long left = width > 0 ? width : 1;
        while (left > 0) {
          const int c = stream_getc(s);
          if (c < 0) return count ? count : -1;
          if (out) *out++ = static_cast<char>(c);
          --left;
        }
        if (out) ++count;
        break;
      }
      case '[': {
        unsigned char set[256] = {};
        int negate = 0;
        if (*f == '^') {
          negate = 1;
          ++f;
        }
        if (*f == ']') set[*f++] = 1;
        while (*f && *f != ']') {
          if (f[1] == '-' && f[2] && f[2] != ']') {
            for (int c = f[0]; c <= f[2]; ++c) set[c] = 1;
            f += 3;
          } else {
            set[*f++] = 1;
          }
        }
        if (*f == ']') ++f;
        if (stream_peekc(s) < 0) return count ? count : -1;
        char* out = suppress ? nullptr : va_arg(args, char*);
        long left = width >= 0 ? width : suppress ? 1000000 : stream_scan_default_width;
        long run = 0;
        while (left > 0) {
          const int c = stream_peekc(s);
          if (c < 0 || set[c] == negate) break;
          stream_getc(s);
          if (out) *out++ = static_cast<char>(c);
          --left;
          ++run;
        }
        if (run == 0) return count;
        if (out) {
          *out = 0;
          ++count;
        }
        break;
      }
      default:
        return count;
    }
  }
  return count;
}
