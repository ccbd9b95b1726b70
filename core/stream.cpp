// Streams over plain files, archive members, gzip files and scrambled files.
// Text parsing reads one byte at a time through the pushed-back byte, so
// gzip data are inflated into a small window that single-byte reads drain
// without calling into zlib.
#include "core/stream.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <initializer_list>

#include "core/memory.h"
#include "core/scram.h"

// Compressed bytes for a gzip stream, through the scrambled reader when the
// file is scrambled too; never more than the compressed size.
static uint32_t read_compressed(stream* s, unsigned char* dst, uint32_t n) {
  const uint32_t left = s->compressed_size - s->compressed_read;
  if (n > left) n = left;
  if (n == 0) return 0;
  uint32_t got;
  if (s->scrambled)
    got = static_cast<uint32_t>(scram_read(s->scram, dst, n));
  else
    got = static_cast<uint32_t>(std::fread(dst, 1, n, s->file));
  s->compressed_read += got;
  return got;
}

// RFC 1952 member header, parsed from the first block of input only.
static int gzip_header_length(const unsigned char* p, uint32_t n) {
  if (n < 10 || p[0] != 0x1F || p[1] != 0x8B || p[2] != 8 || p[3] >= 32) return -1;
  const unsigned flags = p[3];
  uint32_t at = 10;
  if (flags & 4) {
    if (at + 2 > n) return -1;
    const uint32_t extra = p[at] | (p[at + 1] << 8);
    at += 2;
    if (extra > n - at) return -1;
    at += extra;
  }
  for (unsigned bit : {8u, 16u}) {
    if (!(flags & bit)) continue;
    while (at < n && p[at] != 0) ++at;
    if (at >= n) return -1;
    ++at;
  }
  if (flags & 2) {
    if (at + 2 > n) return -1;
    at += 2;
  }
  return static_cast<int>(at);
}

static uint32_t get_le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

static const char* stream_label(const stream* s) { return s->name[0] ? s->name : "(stream)"; }

// Bytes of the underlying file past its current position; UINT64_MAX when
// the file cannot tell (not a regular file).
static uint64_t file_left(stream* s) {
  struct stat st;
  const int fd = s->file ? fileno(s->file) : -1;
  if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return UINT64_MAX;
  const long at = std::ftell(s->file);
  if (at < 0) return UINT64_MAX;
  return static_cast<uint64_t>(st.st_size) > static_cast<uint64_t>(at) ? static_cast<uint64_t>(st.st_size - at) : 0;
}

// The ISIZE word of the member's trailer, read from the end of the plain
// file or archive member without moving the stream; -1 when it cannot be
// seen (a scrambled file, or no regular file under the stream).
static int64_t gzip_trailer_length(stream* s) {
  if (s->scrambled) return -1;
  struct stat st;
  const int fd = fileno(s->file);
  if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  uint64_t end = static_cast<uint64_t>(st.st_size);
  const uint64_t member_end = static_cast<uint64_t>(static_cast<uint32_t>(s->base_offset)) + s->compressed_size;
  if (member_end < end) end = member_end;
  if (end < static_cast<uint64_t>(static_cast<uint32_t>(s->base_offset)) + 18) return -1;
  unsigned char word[4];
  if (pread(fd, word, 4, static_cast<off_t>(end - 4)) != 4) return -1;
  return get_le32(word);
}

// Logged once per stream; the data already handed out stay as they were.
static void gzip_corrupt(stream* s) {
  s->broken = 1;
  if (s->corrupt_said) return;
  s->corrupt_said = 1;
  log_printf("Corrupt gzip data in '%s'\n", stream_label(s));
}

// At the end of the deflate data: the 8-byte trailer (CRC-32, length).
static void gzip_check_trailer(stream* s) {
  z_stream* z = &s->inflate_state;
  unsigned char trailer[8];
  int have = 0;
  while (have < 8) {
    if (z->avail_in == 0) {
      z->next_in = s->input;
      z->avail_in = read_compressed(s, s->input, stream_input_size);
      if (z->avail_in == 0) break;
    }
    trailer[have++] = *z->next_in++;
    --z->avail_in;
  }
  if (have < 8) {
    log_printf("Compressed data in '%s' end early or are damaged\n", stream_label(s));
    s->broken = 1;
    return;
  }
  if (get_le32(trailer) != s->gzip_crc || get_le32(trailer + 4) != static_cast<uint32_t>(z->total_out))
    gzip_corrupt(s);
}

static int stream_gzip_begin(stream* s) {
  s->compressed_size = s->size_limit;
  s->compressed_read = 0;
  s->size_limit = 2147483647u;
  s->end = 0;
  s->gzip_crc = static_cast<uint32_t>(crc32(0L, Z_NULL, 0));
  s->gzip_isize = gzip_trailer_length(s);
  std::memset(&s->inflate_state, 0, sizeof(s->inflate_state));
  s->output_read = s->output;
  const uint32_t first = read_compressed(s, s->input, stream_input_size);
  const int header = gzip_header_length(s->input, first);
  if (header < 0) {
    log_printf("Bad gzip header\n");
    return 0;
  }
  z_stream* z = &s->inflate_state;
  z->next_in = s->input + header;
  z->avail_in = first - static_cast<uint32_t>(header);
  z->next_out = s->output;
  z->avail_out = stream_output_size;
  if (inflateInit2(z, -15) != Z_OK) {
    log_printf("Can't start inflate\n");
    return 0;
  }
  s->inflating = 1;
  return 1;
}

static uint32_t stream_inflate_read(stream* s, unsigned char* dst, uint32_t n) {
  z_stream* z = &s->inflate_state;
  uint32_t got = 0;
  for (;;) {
    const uint32_t avail = static_cast<uint32_t>(z->next_out - s->output_read);
    uint32_t take = n - got;
    if (take > avail) take = avail;
    std::memcpy(dst + got, s->output_read, take);
    s->output_read += take;
    got += take;
    if (got == n || s->end) return got;
    if (z->avail_out == 0) {
      s->output_read = s->output;
      z->next_out = s->output;
      z->avail_out = stream_output_size;
    }
    // A truncated or corrupt file ends the data rather than stalling.
    do {
      if (z->avail_in == 0) {
        z->next_in = s->input;
        z->avail_in = read_compressed(s, s->input, stream_input_size);
      }
      unsigned char* const before = z->next_out;
      const int r = inflate(z, Z_NO_FLUSH);
      // More data than the trailer announces is damage: stop at its length.
      if (s->gzip_isize >= 0 && z->total_out > static_cast<uint64_t>(s->gzip_isize)) {
        uint64_t cut = z->total_out - static_cast<uint64_t>(s->gzip_isize);
        const uint64_t made = static_cast<uint64_t>(z->next_out - before);
        if (cut > made) cut = made;
        z->next_out -= cut;
        s->gzip_crc = static_cast<uint32_t>(crc32(s->gzip_crc, before, static_cast<uInt>(z->next_out - before)));
        gzip_corrupt(s);
        s->end = 1;
        break;
      }
      s->gzip_crc = static_cast<uint32_t>(crc32(s->gzip_crc, before, static_cast<uInt>(z->next_out - before)));
      if (r != Z_OK) {
        if (r == Z_STREAM_END) {
          gzip_check_trailer(s);
        } else {
          log_printf("Compressed data in '%s' end early or are damaged\n", stream_label(s));
          s->broken = 1;
        }
        s->end = 1;
        break;
      }
    } while (z->avail_out > 0);
  }
}

// Bytes from the data source (not the pushed-back byte), limited by what the
// stream may still deliver.
static uint32_t source_read(stream* s, unsigned char* dst, uint32_t n) {
  const uint32_t left = s->position < s->size_limit ? s->size_limit - s->position : 0;
  if (n > left) n = left;
  if (n == 0) return 0;
  if (s->gzip) return stream_inflate_read(s, dst, n);
  if (s->scrambled) return static_cast<uint32_t>(scram_read(s->scram, dst, n));
  return static_cast<uint32_t>(std::fread(dst, 1, n, s->file));
}

int stream_attach(stream* s, FILE* file, uint32_t base_offset, uint32_t size, int gzip, int scrambled) {
  s->file = file;
  s->base_offset = static_cast<int32_t>(base_offset);
  s->size_limit = size;
  s->position = 0;
  s->pushed_back = -1;
  s->gzip = gzip;
  s->scrambled = scrambled;
  s->compressed_size = 0;
  s->compressed_read = 0;
  s->end = 0;
  s->broken = 0;
  s->inflating = 0;
  s->output_read = s->output;
  s->scram = nullptr;
  s->gzip_crc = 0;
  s->gzip_isize = -1;
  s->corrupt_said = 0;
  s->name[0] = 0;
  if (scrambled) {
    // The reader must not take a header's word for more data than the
    // member or file holds.
    uint64_t available = size;
    struct stat st;
    if (fstat(fileno(file), &st) == 0 && st.st_size >= base_offset) {
      const uint64_t rest = static_cast<uint64_t>(st.st_size) - base_offset;
      if (rest < available) available = rest;
    }
    s->scram = scram_open(file, available);
    if (!s->scram) {
      std::fclose(file);
      s->file = nullptr;
      return 0;
    }
  }
  if (gzip && !stream_gzip_begin(s)) {
    stream_close_file(s);
    return 0;
  }
  return 1;
}

void stream_set_name(stream* s, const char* name) {
  std::snprintf(s->name, sizeof s->name, "%s", name ? name : "");
}

uint64_t stream_remaining(stream* s) {
  uint64_t left = s->position < s->size_limit ? s->size_limit - s->position : 0;
  if (s->gzip) {
    const z_stream* z = &s->inflate_state;
    const uint64_t pending = s->inflating ? static_cast<uint64_t>(z->next_out - s->output_read) : 0;
    uint64_t inflated = 0;
    if (!s->end) {
      uint64_t compressed = s->compressed_size - s->compressed_read;
      if (s->scrambled) {
        const uint64_t plain = s->scram ? s->scram->length - s->scram->position : 0;
        if (plain < compressed) compressed = plain;
      } else {
        const uint64_t in_file = file_left(s);
        if (in_file < compressed) compressed = in_file;
      }
      compressed += z->avail_in;
      // A match may be half written when the output window fills.
      inflated = compressed * stream_inflate_ratio + 258;
      if (s->gzip_isize >= 0) {
        const uint64_t total = z->total_out;
        const uint64_t by_trailer = static_cast<uint64_t>(s->gzip_isize) > total ? s->gzip_isize - total : 0;
        if (by_trailer < inflated) inflated = by_trailer;
      }
    }
    if (pending + inflated < left) left = pending + inflated;
  } else if (s->scrambled) {
    const uint64_t plain = s->scram ? s->scram->length - s->scram->position : 0;
    if (plain < left) left = plain;
  } else {
    const uint64_t in_file = file_left(s);
    if (in_file < left) left = in_file;
  }
  return left + (s->pushed_back >= 0 ? 1 : 0);
}

int stream_verify(stream* s) {
  if (s->gzip && s->inflating) {
    unsigned char sink[4096];
    while (!s->end) stream_inflate_read(s, sink, sizeof sink);
  }
  return !s->broken;
}

int stream_getc(stream* s) {
  if (s->pushed_back >= 0) {
    const int c = s->pushed_back;
    s->pushed_back = -1;
    return c;
  }
  unsigned char c;
  if (source_read(s, &c, 1) != 1) return -1;
  ++s->position;
  return c;
}

int stream_peekc(stream* s) {
  if (s->pushed_back < 0) s->pushed_back = stream_getc(s);
  return s->pushed_back;
}

char* stream_gets(stream* s, char* buffer, int n) {
  if (!buffer || n <= 0) return nullptr;
  int len = 0;
  int c = 0;
  while (len < n - 1 && (c = stream_getc(s)) >= 0) {
    if (c == '\r' && stream_peekc(s) == '\n') c = stream_getc(s);
    buffer[len++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  buffer[len] = 0;
  if (len == 0 && c < 0) return nullptr;
  return buffer;
}

uint32_t stream_read(stream* s, void* buffer, uint32_t n) {
  unsigned char* dst = static_cast<unsigned char*>(buffer);
  uint32_t got = 0;
  if (n == 0) return 0;
  if (s->pushed_back >= 0) {
    dst[got++] = static_cast<unsigned char>(s->pushed_back);
    s->pushed_back = -1;
  }
  const uint32_t more = source_read(s, dst + got, n - got);
  s->position += more;
  return got + more;
}

int stream_putc(stream* s, int byte) { return std::fputc(byte, s->file) != EOF; }
int stream_puts(stream* s, const char* text) { return std::fputs(text, s->file); }
uint32_t stream_write(stream* s, const void* bytes, uint32_t n) {
  return static_cast<uint32_t>(std::fwrite(bytes, 1, n, s->file));
}
int stream_printf(stream* s, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = std::vfprintf(s->file, format, args);
  va_end(args);
  return n;
}
int stream_flush(stream* s) { return std::fflush(s->file); }

int stream_is_scrambled(const stream* s) { return s->scrambled; }

int stream_seek(stream* s, uint32_t offset) {
  if (s->gzip || s->scrambled || offset >= s->size_limit) return 0;
  s->pushed_back = -1;
  const long where = static_cast<long>(s->base_offset) + static_cast<long>(offset);
  s->position = offset;
  return std::fseek(s->file, where, SEEK_SET) == 0;
}

int stream_read_int(stream* s) {
  int v = 0;
  if (stream_scanf(s, "%d", &v) != 1) return -2147483647 - 1;
  return v;
}

int stream_skip_comment_lines(stream* s) {
  int consumed;
  do {
    consumed = 0;
    stream_scanf(s, " #%*[^\n]%n", &consumed);
  } while (consumed > 0);
  return 0;
}

int stream_close_file(stream* s) {
  if (s->inflating) {
    inflateEnd(&s->inflate_state);
    s->inflating = 0;
  }
  if (s->scram) {
    scram_close(s->scram);
    s->scram = nullptr;
  }
  int r = 0;
  if (s->file) r = std::fclose(s->file);
  s->file = nullptr;
  return r;
}

void stream_close(stream* s) {
  if (!s) return;
  stream_close_file(s);
  check_free(s);
}
