// The platform layer's mutexes.
#include "platform/mutex.h"

os_mutex* mutex_create() { return os_mutex_create(); }
void mutex_close(os_mutex* mutex) { os_mutex_destroy(mutex); }

int mutex_lock(os_mutex* mutex) {
  os_mutex_lock(mutex);
  return 1;
}

void mutex_unlock(os_mutex* mutex) { os_mutex_unlock(mutex); }
