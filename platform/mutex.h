#pragma once
// The platform layer's mutexes: unnamed, recursive (the game draws progress
// frames during start-up while a frame is already open).
#include "platform/os/os_thread.h"

os_mutex* mutex_create();
void mutex_close(os_mutex* mutex);
// Waits as long as it takes; 1 when acquired.
int mutex_lock(os_mutex* mutex);
void mutex_unlock(os_mutex* mutex);
