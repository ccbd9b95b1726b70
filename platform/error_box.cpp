// The message for a fatal path.
#include "platform/error_box.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/os/os_window.h"

void error_box(const char* title, const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  const size_t len = std::strlen(text);
  const char* end = len > 0 && text[len - 1] == '\n' ? "" : "\n";
  std::fprintf(stderr, "%s: %s%s", title, text, end);
  std::fflush(stderr);
  log_printf("%s: %s%s", title, text, end);
  os_message_box(title, text);
}
