// The scrambled-file reader and its writer.
#include "core/scram.h"

#include <cstring>

#include "core/memory.h"
#include "core/rmd160.h"
#include "platform/log.h"

namespace {

const uint8_t magic[6] = {'B', 'K', 'S', 'C', 'R', 'M'};

void do_nothing(scram_reader*) {}

void put_u32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; i++) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t get_u32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

// The header key is made when needed from two fixed phrases rather than
// kept as a table in the program.
void header_key(uint8_t key[32]) {
  rmd160_context c;
  rmd160_init(&c);
  rmd160_update(&c, "Brakkan scrambled header, part one", 34);
  rmd160_final(&c);
  std::memcpy(key, c.digest, 20);
  rmd160_init(&c);
  rmd160_update(&c, "Brakkan scrambled header, part two", 34);
  rmd160_final(&c);
  std::memcpy(key + 20, c.digest, 12);
}

// The check bytes 48..63 of an opened header.
void header_check(const uint8_t header[scram_header_bytes], uint8_t check[16]) {
  rmd160_context c;
  rmd160_init(&c);
  rmd160_update(&c, header, 48);
  rmd160_final(&c);
  std::memcpy(check, c.digest, 16);
}

void unscramble_block(aes256_context* aes, uint8_t block[16], uint32_t offset) {
  aes256_decrypt_block(aes, block);
  uint8_t mask[4];
  put_u32(mask, offset);
  for (int i = 0; i < 4; i++) block[i] ^= mask[i];
}

void scramble_block(aes256_context* aes, uint8_t block[16], uint32_t offset) {
  uint8_t mask[4];
  put_u32(mask, offset);
  for (int i = 0; i < 4; i++) block[i] ^= mask[i];
  aes256_encrypt_block(aes, block);
}

void wipe(void* p, size_t n) {
  volatile uint8_t* b = static_cast<volatile uint8_t*>(p);
  for (size_t i = 0; i < n; i++) b[i] = 0;
}

}  // namespace

void (*scram_open_hook)(scram_reader* reader) = do_nothing;

uint64_t scram_size(uint64_t length) { return scram_header_bytes + (length + 15) / 16 * 16; }

scram_reader* scram_open(FILE* file, uint64_t size) {
  scram_reader* reader = static_cast<scram_reader*>(check_malloc(sizeof(scram_reader)));
  if (!reader) {
    log_printf("Out of memory opening scrambled file\n");
    return nullptr;
  }
  uint8_t header[scram_header_bytes];
  if (size < scram_header_bytes || std::fread(header, 1, sizeof header, file) != sizeof header) {
    std::perror("fread error");
    log_printf("Scrambled file shorter than its header\n");
    check_free(reader);
    return nullptr;
  }

  uint8_t key[32];
  header_key(key);
  aes256_context aes;
  aes256_init(&aes, key);
  for (uint32_t offset = 0; offset < scram_header_bytes; offset += 16) unscramble_block(&aes, header + offset, offset);
  aes256_done(&aes);
  wipe(key, sizeof key);

  uint8_t check[16];
  header_check(header, check);
  const uint8_t zeros[4] = {0, 0, 0, 0};
  const bool intact = std::memcmp(header + 40, magic, sizeof magic) == 0 && std::memcmp(header + 36, zeros, 4) == 0 &&
                      std::memcmp(header + 46, zeros, 2) == 0 && std::memcmp(header + 48, check, 16) == 0;
  const uint32_t length = get_u32(header + 32);
  bool ok = intact && length != 0xFFFFFFFFu;
  if (!intact) {
    log_printf("Scrambled file has a damaged header\n");
  } else if (!ok) {
    log_printf("Scrambled file has an invalid length\n");
  } else if (scram_size(length) > size) {
    log_printf("Scrambled file claims %u bytes but holds only %llu\n", length,
               static_cast<unsigned long long>(size < scram_header_bytes ? 0 : (size - scram_header_bytes)));
    ok = false;
  }
  if (!ok) {
    wipe(header, sizeof header);
    check_free(reader);
    return nullptr;
  }

  scram_open_hook(reader);
  aes256_init(&reader->aes, header);
  wipe(header, sizeof header);
  std::memset(reader->block, 0, sizeof reader->block);
  reader->position = 0;
  reader->file = file;
  reader->length = length;
  return reader;
}

size_t scram_read(scram_reader* reader, void* destination, size_t n) {
  uint8_t* out = static_cast<uint8_t*>(destination);
  size_t delivered = 0;

  // The rest of a block already opened.
  while (delivered < n && reader->position < reader->length && reader->position % 16 != 0)
    out[delivered++] = reader->block[reader->position++ % 16];

  // Whole blocks straight into the destination.
  while (n - delivered >= 16 && reader->length - reader->position >= 16) {
    uint8_t* block = out + delivered;
    if (std::fread(block, 1, 16, reader->file) != 16) {
      reader->position = reader->length;
      return delivered;
    }
    unscramble_block(&reader->aes, block, reader->position);
    reader->position += 16;
    delivered += 16;
  }

  // The tail, through the block buffer.
  while (delivered < n && reader->position < reader->length) {
    if (reader->position % 16 == 0) {
      if (std::fread(reader->block, 1, 16, reader->file) != 16) {
        reader->position = reader->length;
        return delivered;
      }
      unscramble_block(&reader->aes, reader->block, reader->position);
    }
    out[delivered++] = reader->block[reader->position++ % 16];
  }
  return delivered;
}

void scram_close(scram_reader* reader) {
  if (!reader) return;
  aes256_done(&reader->aes);
  wipe(reader->block, sizeof reader->block);
  check_free(reader);
}

int scram_write(FILE* out, const void* data, size_t length) {
  if (length >= 0xFFFFFFFFu) {
    log_printf("Can't scramble %llu bytes: too long\n", static_cast<unsigned long long>(length));
    return 0;
  }
  const uint8_t* plain = static_cast<const uint8_t*>(data);

  // Data key: the content's digest, then a digest of that digest.
  uint8_t header[scram_header_bytes] = {};
  rmd160_context c;
  rmd160_init(&c);
  rmd160_update(&c, plain, length);
  rmd160_final(&c);
  std::memcpy(header, c.digest, 20);
  rmd160_init(&c);
  rmd160_update(&c, header, 20);
  rmd160_final(&c);
  std::memcpy(header + 20, c.digest, 12);
  put_u32(header + 32, static_cast<uint32_t>(length));
  std::memcpy(header + 40, magic, sizeof magic);
  header_check(header, header + 48);

  aes256_context data_aes;
  aes256_init(&data_aes, header);

  uint8_t key[32];
  header_key(key);
  aes256_context header_aes;
  aes256_init(&header_aes, key);
  for (uint32_t offset = 0; offset < scram_header_bytes; offset += 16) scramble_block(&header_aes, header + offset, offset);
  aes256_done(&header_aes);
  wipe(key, sizeof key);

  bool ok = std::fwrite(header, 1, sizeof header, out) == sizeof header;
  for (size_t offset = 0; ok && offset < length; offset += 16) {
    uint8_t block[16] = {};
    const size_t take = length - offset < 16 ? length - offset : 16;
    std::memcpy(block, plain + offset, take);
    scramble_block(&data_aes, block, static_cast<uint32_t>(offset));
    ok = std::fwrite(block, 1, 16, out) == 16;
  }
  aes256_done(&data_aes);
  if (!ok) log_printf("Can't write scrambled data\n");
  return ok ? 1 : 0;
}
