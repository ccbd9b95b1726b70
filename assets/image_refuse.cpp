// The one way an image reader or writer says no: a log line naming the file,
// and the reason kept for tools that report it themselves.
#include <cstdarg>
#include <cstdio>

#include "assets/image.h"
#include "platform/log.h"

static char last_refusal[1024];

int image_refuse(int writing, const char* name, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(last_refusal, sizeof last_refusal, format, args);
  va_end(args);
  log_printf("Can't %s image '%.900s': %s\n", writing ? "write" : "read", name ? name : "(stream)",
             last_refusal);
  return 0;
}

const char* image_last_refusal() { return last_refusal; }
