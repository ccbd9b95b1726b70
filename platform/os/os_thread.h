#pragma once
// Threads and mutexes over POSIX threads.
#include <cstddef>
#include <cstdint>

struct os_thread;
struct os_mutex;

typedef void (*os_thread_fn)(void* arg);

// Starts fn(arg) on a new thread with at least stack_bytes of stack (0: the
// system default). Null on failure.
os_thread* os_thread_start(os_thread_fn fn, void* arg, size_t stack_bytes);
// Waits for the thread to end and frees its handle.
void os_thread_join(os_thread* thread);

// An id for the calling thread, unique among running threads.
uint64_t os_thread_current_id();

// Mutexes are recursive: the thread that holds one may lock it again and
// must unlock it as many times.
os_mutex* os_mutex_create();
void os_mutex_destroy(os_mutex* mutex);
void os_mutex_lock(os_mutex* mutex);
void os_mutex_unlock(os_mutex* mutex);
