// The console message ring.
#include "core/message_ring.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/console_settings.h"
#include "core/game_clock.h"
#include "core/memory.h"
#include "platform/log.h"

message_ring_record message_ring;

void console_print(const char* text) {
  if (spam_filter && std::strstr(text, "[SPAM]")) return;

  // A line that set terminal colours resets them, so the log's next line
  // starts plain.
  const char* reset = std::strchr(text, 27) ? "\033[0m" : "";
  const size_t length = std::strlen(text);
  if (length > 0 && text[length - 1] == '\n')
    log_printf("%s%s", text, reset);
  else
    log_printf("%s%s\n", text, reset);

  char* slot = message_ring.lines[message_ring.write_index];
  const size_t kept = length < message_line_bytes - 1 ? length : message_line_bytes - 1;
  std::memcpy(slot, text, kept);
  slot[kept] = 0;
  message_ring.write_index = (message_ring.write_index + 1) % message_ring_size;

  if (message_ring.on_screen < message_lines) message_ring.on_screen++;
  message_ring.expiry = game_clock + 2.0;
}

void console_printf(const char* format, ...) {
  char small[1024];
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (n < 0) {
    va_end(args);
    return;
  }
  if (static_cast<size_t>(n) < sizeof small) {
    console_print(small);
  } else {
    // The log gets long messages whole; only the ring cuts them.
    char* big = static_cast<char*>(xmalloc(static_cast<size_t>(n) + 1));
    std::vsnprintf(big, static_cast<size_t>(n) + 1, format, args);
    console_print(big);
    check_free(big);
  }
  va_end(args);
}

void message_ring_clear() {
  for (int i = 0; i < message_ring_size; i++) message_ring.lines[i][0] = 0;
}

void message_ring_expire() {
  if (game_clock > message_ring.expiry && message_ring.on_screen >= 1) {
    message_ring.on_screen--;
    message_ring.expiry = game_clock + 5.0;
  }
}

const char* message_ring_line(int k) {
  const int index = ((message_ring.write_index - k) % message_ring_size + message_ring_size) % message_ring_size;
  return message_ring.lines[index];
}
