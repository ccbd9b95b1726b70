// Reading and writing the demo file's header and chunks.
#include "race/demo_file.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int demo_state_size(int version) {
  return version == 4 ? 26 : version == 5 ? 39 : 0;
}

uint32_t demo_read_u32(const uint8_t* p) {
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

void demo_put_u32(uint8_t* p, uint32_t v) {
  p[0] = (uint8_t)v;
  p[1] = (uint8_t)(v >> 8);
  p[2] = (uint8_t)(v >> 16);
  p[3] = (uint8_t)(v >> 24);
}

// A field as the header may hold it: no separator, no line break, and at
// most room bytes.
static void clean_field(char* out, const char* in, size_t room) {
  size_t n = 0;
  if (in)
    for (; in[n] && n + 1 < room; n++) out[n] = (in[n] == '|' || in[n] == '\r' || in[n] == '\n') ? '_' : in[n];
  out[n] = 0;
}

int demo_header_write(stream* s, const demo_header* h) {
  char line[demo_line_bytes + 1];
  int ok = 1;
  std::snprintf(line, sizeof line, "BK%02d %d %d %d %d\n", demo_version, (int)h->rider_count,
                (int)h->race_length_ticks, (int)h->race_laps, (int)h->gate_drop_tick);
  ok &= stream_puts(s, line) >= 0;
  char field[demo_line_bytes];
  clean_field(field, h->track, demo_line_bytes - 1);
  ok &= stream_printf(s, "%s\n", field) >= 0;
  for (int i = 0; i < h->rider_count && i < demo_rider_max; i++) {
    const demo_rider& r = h->riders[i];
    // Five fields and four bars within one line of the reader's length:
    // each field gets a fifth of the room.
    constexpr size_t part = (demo_line_bytes - 1 - 4) / 5 + 1;
    char f[5][part];
    clean_field(f[0], r.bike, part);
    clean_field(f[1], r.gear_skin, part);
    clean_field(f[2], r.bike_skin, part);
    clean_field(f[3], r.wheels_skin, part);
    clean_field(f[4], r.helmet_skin, part);
    ok &= stream_printf(s, "%s|%s|%s|%s|%s\n", f[0], f[1], f[2], f[3], f[4]) >= 0;
    clean_field(field, r.number, demo_line_bytes - 1);
    ok &= stream_printf(s, "%s\n", field) >= 0;
    clean_field(field, r.name, demo_line_bytes - 1);
    ok &= stream_printf(s, "%s\n\n", field) >= 0;
  }
  return ok;
}

static void say(char* reason, int size, const char* text) {
  if (reason && size > 0) std::snprintf(reason, (size_t)size, "%s", text);
}

// One header line, with its line feed. 0 when missing, cut or too long.
static int read_line(stream* s, char* line) {
  if (!stream_gets(s, line, demo_line_bytes + 1)) return 0;
  const size_t n = std::strlen(line);
  if (n == 0 || line[n - 1] != '\n') return 0;
  line[n - 1] = 0;
  return 1;
}

static void copy_cut(char* out, size_t room, const char* in, size_t n) {
  if (n > room - 1) n = room - 1;
  std::memcpy(out, in, n);
  out[n] = 0;
}

// "BK%d %d %d %d %d", each number within an int; how many were read.
static int parse_first_line(const char* p, long long v[5]) {
  if (p[0] != 'B' || p[1] != 'K') return 0;
  p += 2;
  int n = 0;
  while (n < 5) {
    while (n > 0 && std::isspace((unsigned char)*p)) p++;
    if (!*p || (n == 0 && std::isspace((unsigned char)*p))) break;
    char* end;
    const long long x = std::strtoll(p, &end, 10);
    if (end == p) break;
    if (x < -2147483647LL - 1 || x > 2147483647LL) return -1;
    v[n++] = x;
    p = end;
  }
  return n;
}

int demo_header_read(stream* s, demo_header* h, int (*known_track)(const char* folder), char* reason,
                     int reason_size) {
  std::memset(h, 0, sizeof *h);
  for (demo_rider& r : h->riders) r.slot = -1;
  char line[demo_line_bytes + 1];
  if (!read_line(s, line)) {
    say(reason, reason_size, "no header line");
    return 0;
  }
  long long v[5] = {0, 0, 0, 0, demo_gate_drop_default};
  const int n = parse_first_line(line, v);
  if (n < 3) {
    say(reason, reason_size, "not a demo header");
    return 0;
  }
  if (v[0] < demo_version_min || v[0] > demo_version) {
    char text[64];
    std::snprintf(text, sizeof text, "version %lld is not 4, 5 or 6", v[0]);
    say(reason, reason_size, text);
    return 0;
  }
  if (v[1] < 0 || v[1] > demo_rider_max) {
    say(reason, reason_size, "rider count outside 0..160");
    return 0;
  }
  if (v[2] < 0 || v[3] < 0 || v[4] < 0) {
    say(reason, reason_size, "negative race length, laps or gate drop");
    return 0;
  }
  h->version = (int32_t)v[0];
  h->rider_count = (int32_t)v[1];
  h->race_length_ticks = (int32_t)v[2];
  h->race_laps = (int32_t)v[3];
  h->gate_drop_tick = (int32_t)v[4];
  if (!read_line(s, line)) {
    say(reason, reason_size, "no track line");
    return 0;
  }
  if (std::strlen(line) >= sizeof h->track || (known_track && !known_track(line))) {
    say(reason, reason_size, "its track is not installed");
    return 0;
  }
  copy_cut(h->track, sizeof h->track, line, std::strlen(line));
  for (int i = 0; i < h->rider_count; i++) {
    demo_rider& r = h->riders[i];
    if (!read_line(s, line)) goto cut;
    {
      char* fields[5] = {r.bike, r.gear_skin, r.bike_skin, r.wheels_skin, r.helmet_skin};
      const char* p = line;
      for (int f = 0; f < 5 && p; f++) {
        const char* bar = std::strchr(p, '|');
        const size_t len = bar ? (size_t)(bar - p) : std::strlen(p);
        copy_cut(fields[f], demo_field_bytes, p, len);
        p = bar ? bar + 1 : nullptr;
      }
    }
    if (!read_line(s, line)) goto cut;
    copy_cut(r.number, sizeof r.number, line, std::strlen(line));
    if (h->version >= 6) {
      if (!read_line(s, line)) goto cut;
      copy_cut(r.name, sizeof r.name, line, std::strlen(line));
      do {
        if (!read_line(s, line)) goto cut;
      } while (line[0]);
    }
  }
  h->length = s->position;
  return 1;
cut:
  say(reason, reason_size, "a rider's lines are missing or cut");
  return 0;
}

int demo_chunk_write(stream* s, uint32_t* previous_length, int32_t tick, int type, const void* data,
                     uint32_t length) {
  uint8_t head[demo_chunk_head_bytes];
  demo_put_u32(head, length ^ *previous_length);
  demo_put_u32(head + 4, (uint32_t)tick);
  head[8] = (uint8_t)type;
  int ok = stream_write(s, head, sizeof head) == sizeof head;
  if (ok && length) ok = stream_write(s, data, length) == length;
  *previous_length = length;
  return ok;
}

static int seek_to(stream* s, int64_t offset) {
  if (offset < 0 || offset > 0xffffffffLL) return 0;
  if ((int64_t)s->position == offset) return 1;
  return stream_seek(s, (uint32_t)offset);
}

int demo_chunk_read_head(stream* s, int64_t offset, uint32_t previous_length, demo_chunk* out) {
  if (!seek_to(s, offset)) return offset == (int64_t)s->size_limit ? 0 : -1;
  uint8_t head[demo_chunk_head_bytes];
  const uint32_t got = stream_read(s, head, sizeof head);
  if (got == 0) return 0;
  if (got < sizeof head) return -1;
  out->offset = offset;
  out->length = demo_read_u32(head) ^ previous_length;
  out->tick = (int32_t)demo_read_u32(head + 4);
  out->type = head[8];
  if ((uint64_t)out->length > stream_remaining(s)) return -1;
  return 1;
}

int demo_chunk_step_back(stream* s, int64_t first_offset, int64_t* offset, uint32_t* previous_length,
                         demo_chunk* out) {
  const int64_t at = *offset - ((int64_t)*previous_length + demo_chunk_head_bytes);
  if (*offset <= first_offset || at < first_offset) return 0;
  if (!seek_to(s, at)) return 0;
  uint8_t head[demo_chunk_head_bytes];
  if (stream_read(s, head, sizeof head) != sizeof head) return 0;
  out->offset = at;
  out->length = *previous_length;
  out->tick = (int32_t)demo_read_u32(head + 4);
  out->type = head[8];
  // Nothing lies before the first chunk, whatever its word says.
  const uint32_t before = at == first_offset ? 0 : demo_read_u32(head) ^ *previous_length;
  if (!seek_to(s, at)) return 0;
  *offset = at;
  *previous_length = before;
  return 1;
}

int demo_check_stream(stream* s, demo_header* h, demo_summary* out, int (*known_track)(const char* folder),
                      char* reason, int reason_size) {
  std::memset(out, 0, sizeof *out);
  out->last_tick = -1;
  out->damage_offset = -1;
  if (!demo_header_read(s, h, known_track, reason, reason_size)) return 0;
  if (h->version != demo_version) {
    const int64_t record = (int64_t)demo_state_size(h->version) * h->rider_count;
    const int64_t body = (int64_t)stream_remaining(s);
    out->records = record > 0 ? body / record : 0;
    out->trailing_bytes = record > 0 ? body % record : body;
    out->end_offset = h->length + body;
    return 1;
  }
  int64_t offset = h->length;
  uint32_t previous = 0;
  for (;;) {
    demo_chunk c;
    const int r = demo_chunk_read_head(s, offset, previous, &c);
    if (r < 0) out->damage_offset = offset;
    if (r <= 0) break;
    if (out->chunks == 0 || c.tick < out->first_tick) out->first_tick = c.tick;
    if (out->chunks == 0 || c.tick > out->last_tick) out->last_tick = c.tick;
    out->chunks++;
    out->chunks_by_type[c.type & 255]++;
    previous = c.length;
    offset += (int64_t)c.length + demo_chunk_head_bytes;
  }
  out->end_offset = offset;
  return 1;
}
