// Software mixer: level lists, pick-sample resampling, midpoint-crossing
// gain changes and fixed-point pitch stepping.
#include "platform/mixer.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "platform/log.h"

mixer_link* mixer_left_lists[32];
mixer_link* mixer_right_lists[32];

static bool g_ready = false;
static int8_t g_gain[32][256];  // row 0 unused: level 0 is never mixed

static void build_tables() {
  for (int i = 0; i < 32; ++i) mixer_left_lists[i] = mixer_right_lists[i] = nullptr;
  for (int g = 0; g < 32; ++g) {
    for (int s = 0; s < 256; ++s) {
      const int d = s - 128;
      int v = 0;
      if (d > 0) v = (d - 1) * g / 32;
      if (d < 0) v = -((-d - 1) * g / 32);
      g_gain[g][s] = static_cast<int8_t>(v);
    }
  }
  g_ready = true;
}

int mixer_gain(int level, int sample) {
  if (!g_ready) build_tables();
  return g_gain[level & 31][sample & 255];
}

static mixer_link** list_of(mixer_link* link) {
  const bool left = link == &link->sound->left;
  return left ? &mixer_left_lists[link->level] : &mixer_right_lists[link->level];
}

static void link_in(mixer_link* link) {
  mixer_link** head = list_of(link);
  link->prev = nullptr;
  link->next = *head;
  if (*head) (*head)->prev = link;
  *head = link;
}

static void link_out(mixer_link* link) {
  if (link->prev) {
    link->prev->next = link->next;
  } else {
    mixer_link** head = list_of(link);
    if (*head == link) *head = link->next;
  }
  if (link->next) link->next->prev = link->prev;
  link->next = link->prev = nullptr;
}

static void link_both(mixer_sound* s) {
  link_in(&s->left);
  if (s->flags & MIXER_STEREO) link_in(&s->right);
}

static void unlink_both(mixer_sound* s) {
  link_out(&s->left);
  if (s->flags & MIXER_STEREO) link_out(&s->right);
}

static void reset_link(mixer_link* link, mixer_sound* s) {
  link->sound = s;
  link->next = link->prev = nullptr;
  link->position = s->block->bytes;
  link->fraction = 0;
  link->level = 0;
  link->gain = 0;
}

mixer_sound* mixer_sound_create(mixer* m, int length, const uint8_t* samples, int rate) {
  if (length <= 0 || !samples || rate < 0) {
    log_printf("Can't create sound: bad length or rate\n");
    return nullptr;
  }
  const int64_t out64 = rate ? static_cast<int64_t>(length) * m->rate / rate : length;
  if (out64 <= 0 || out64 > INT_MAX) {
    log_printf("Can't create sound: %d bytes at %d Hz resample to %lld bytes\n", length, rate,
               static_cast<long long>(out64));
    return nullptr;
  }
  const int out_len = static_cast<int>(out64);
  if (!g_ready) build_tables();

  mixer_block* block = static_cast<mixer_block*>(std::malloc(sizeof(mixer_block)));
  uint8_t* bytes = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(out_len)));
  mixer_sound* s = static_cast<mixer_sound*>(std::malloc(sizeof(mixer_sound)));
  if (!block || !bytes || !s) {
    std::free(block);
    std::free(bytes);
    std::free(s);
    return nullptr;
  }
  // Pick samples: output i takes input floor(i * length / out_len), stepped
  // with a remainder so no product can overflow.
  const int whole = length / out_len;
  const int rem = length % out_len;
  int src = 0, acc = 0;
  for (int i = 0; i < out_len; ++i) {
    bytes[i] = samples[src];
    src += whole;
    acc += rem;
    if (acc >= out_len) {
      acc -= out_len;
      ++src;
    }
  }
  block->refs = 1;
  block->length = out_len;
  block->bytes = bytes;

  std::memset(s, 0, sizeof(*s));
  s->block = block;
  reset_link(&s->left, s);
  reset_link(&s->right, s);
  s->mixer_rate = m->rate;
  s->flags = m->stereo ? MIXER_STEREO : 0;
  mixer_set_rate(s, s->mixer_rate);
  s->volume = 0x7FFF;
  mixer_set_pan(s, 0);  // also computes the levels from the volume
  mixer_set_loop(s, 0);
  return s;
}

mixer_sound* mixer_sound_clone(const mixer_sound* src) {
  mixer_sound* s = static_cast<mixer_sound*>(std::malloc(sizeof(mixer_sound)));
  if (!s) return nullptr;
  *s = *src;
  s->block->refs++;
  s->flags &= ~(MIXER_PLAYING | MIXER_RESTART | MIXER_STOP);
  for (mixer_link* l : {&s->left, &s->right}) {
    l->sound = s;
    l->next = l->prev = nullptr;
    l->gain = 0;
  }
  return s;
}

void mixer_sound_free(mixer_sound* s) {
  if (!s) return;
  if (s->flags & MIXER_PLAYING) unlink_both(s);
  if (--s->block->refs == 0) {
    std::free(s->block->bytes);
    std::free(s->block);
  }
  std::free(s);
}

int mixer_play(mixer_sound* s) {
  s->flags |= MIXER_RESTART;
  s->flags &= ~MIXER_STOP;
  if (!(s->flags & MIXER_PLAYING)) {
    s->flags |= MIXER_PLAYING;
    link_both(s);
  }
  return 1;
}

int mixer_stop(mixer_sound* s) {
  s->flags |= MIXER_STOP;
  return 1;
}

int mixer_set_rate(mixer_sound* s, int hz) {
  // A negative rate would walk the position backwards out of the samples.
  if (hz < 0) {
    log_printf("Can't set sound rate %d\n", hz);
    return 0;
  }
  s->rate = hz;
  return 1;
}

int mixer_set_volume(mixer_sound* s, int volume) {
  const bool playing = s->flags & MIXER_PLAYING;
  if (playing) unlink_both(s);
  if (volume < 0) volume = 0;
  if (volume > 0x7FFF) volume = 0x7FFF;
  s->volume = volume;
  s->left.level = static_cast<uint8_t>((static_cast<int64_t>(0x7FFF - s->pan) * volume) >> 26);
  s->right.level = static_cast<uint8_t>((static_cast<int64_t>(volume) * (s->pan + 0x8000)) >> 26);
  if (playing) link_both(s);
  return 1;
}

int mixer_set_pan(mixer_sound* s, int pan) {
  if (pan < -0x8000 || !(s->flags & MIXER_STEREO))
    pan = -0x8000;
  else if (pan > 0x7FFF)
    pan = 0x7FFF;
  s->pan = pan;
  return mixer_set_volume(s, s->volume);
}

int mixer_set_loop(mixer_sound* s, int flag) {
  s->flags = static_cast<uint8_t>((s->flags & ~MIXER_LOOP) | (flag & 1));
  return 1;
}

int mixer_get_position(const mixer_sound* s) {
  if ((s->flags & MIXER_PLAYING) && !(s->flags & MIXER_RESTART))
    return static_cast<int>(s->left.position - s->block->bytes);
  return 0;
}

int mixer_write(mixer_sound* s, int length, const uint8_t* bytes, int position) {
  if (length < 0 || (length > 0 && !bytes)) {
    log_printf("Can't write sound: bad length %d\n", length);
    return 0;
  }
  if (length == 0) return 1;
  const int c = s->block->length;
  int64_t pos = position;
  if (length > c) {
    bytes += length - c;
    pos += length - c;
    length = c;
  }
  pos %= c;
  if (pos < 0) pos += c;
  const int at = static_cast<int>(pos);
  const int first = length < c - at ? length : c - at;
  std::memcpy(s->block->bytes + at, bytes, static_cast<size_t>(first));
  std::memcpy(s->block->bytes, bytes + first, static_cast<size_t>(length - first));
  return 1;
}

// Moves a link's position by the playback step of one output sample.
struct step {
  int whole;
  uint32_t fraction;
};

static step step_of(const mixer_sound* s) {
  step st;
  const int mr = s->mixer_rate;
  st.whole = s->rate / mr;
  const uint64_t f = 2ull * static_cast<uint64_t>(s->rate % mr) * (0x80000000ull / static_cast<uint64_t>(mr));
  st.fraction = static_cast<uint32_t>(f);
  return st;
}

static void advance(mixer_link* link, step st) {
  const uint32_t before = link->fraction;
  link->fraction += st.fraction;
  link->position += st.whole + (link->fraction < before ? 1 : 0);
}

// The byte offset of a link, wrapped for looping sounds: a step may carry a
// short sound's position past its end by more than one length.
static void wrap(mixer_link* link, const mixer_block* b) {
  const int64_t off = link->position - b->bytes;
  link->position = b->bytes + off % b->length;
}

static void mix_voice(mixer_link* link, int* acc, int count, bool audible) {
  mixer_sound* s = link->sound;
  const uint8_t* start = s->block->bytes;
  const uint8_t* end = start + s->block->length;
  const step st = step_of(s);
  const int target = audible && !(s->flags & MIXER_STOP) ? link->level : 0;
  int n = 0;

  // Finish the old gain up to the waveform's next midpoint crossing.
  if (link->gain != 0 && (target != link->gain || (s->flags & MIXER_RESTART))) {
    const int8_t* row = g_gain[link->gain];
    const uint8_t side = *link->position & 0x80;
    while (n < count && link->position < end && (*link->position & 0x80) == side) {
      acc[n++] += row[*link->position];
      advance(link, st);
    }
    if (link->position >= end) {
      link->position = start;
      link->fraction = 0;
      if (!(s->flags & MIXER_LOOP)) s->flags |= MIXER_STOP;
    }
  }

  link->gain = static_cast<uint8_t>(target);
  if (s->flags & MIXER_RESTART) {
    link->position = start;
    link->fraction = 0;
  }
  if ((s->flags & MIXER_STOP) || n == count) return;

  if (target != 0) {
    const int8_t* row = g_gain[target];
    for (int i = n; i < count; ++i) {
      acc[i] += row[*link->position];
      advance(link, st);
      if (link->position >= end) {
        if (s->flags & MIXER_LOOP) {
          wrap(link, s->block);
        } else {
          s->flags |= MIXER_STOP;
          link->position = start;
          link->fraction = 0;
          return;
        }
      }
    }
    return;
  }

  // Silent: move on by the whole stretch at once.
  const int64_t skip = static_cast<int64_t>(count - n) * s->rate / s->mixer_rate;
  const int64_t off = (link->position - start) + skip;
  link->fraction = 0;
  if (off >= s->block->length) {
    if (s->flags & MIXER_LOOP) {
      link->position = start + off % s->block->length;
    } else {
      s->flags |= MIXER_STOP;
      link->position = start;
    }
  } else {
    link->position = start + off;
  }
}

void mixer_mix_fragment(mixer* m) {
  if (!g_ready) build_tables();
  const int count = m->samples;
  std::memset(m->left, 0, sizeof(int) * static_cast<size_t>(count));
  if (m->stereo) std::memset(m->right, 0, sizeof(int) * static_cast<size_t>(count));

  int budget = m->voices;
  for (int level = 31; level >= 0; --level) {
    mixer_link* l = mixer_left_lists[level];
    mixer_link* r = mixer_right_lists[level];
    while (l || r) {
      if (l) {
        const bool audible = budget > 0 && level > 0;
        mix_voice(l, m->left, count, audible);
        if (audible) --budget;
        l = l->next;
      }
      if (r) {
        const bool audible = budget > 0 && level > 0;
        mix_voice(r, m->right ? m->right : m->left, count, audible);
        if (audible) --budget;
        r = r->next;
      }
    }
  }

  for (int level = 31; level >= 0; --level) {
    mixer_link* l = mixer_left_lists[level];
    while (l) {
      mixer_link* next = l->next;
      mixer_sound* s = l->sound;
      s->flags &= ~MIXER_RESTART;
      s->right.position = s->left.position;
      s->right.fraction = s->left.fraction;
      if (s->flags & MIXER_STOP) {
        s->flags &= ~(MIXER_STOP | MIXER_PLAYING);
        unlink_both(s);
      }
      l = next;
    }
  }

  const int channels = m->stereo ? 2 : 1;
  for (int i = 0; i < count; ++i) {
    for (int c = 0; c < channels; ++c) {
      int v = c ? m->right[i] : m->left[i];
      if (m->bits16) {
        v = v < -127 ? -127 : v > 127 ? 127 : v;
        const int16_t w = static_cast<int16_t>(v * 256);
        std::memcpy(m->output + (i * channels + c) * 2, &w, 2);
      } else {
        v = v < -128 ? -128 : v > 127 ? 127 : v;
        m->output[i * channels + c] = static_cast<uint8_t>(v + 128);
      }
    }
  }
}
