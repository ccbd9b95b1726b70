// Threads and mutexes over POSIX threads.
#include "platform/os/os_thread.h"

#include <limits.h>
#include <pthread.h>

#include <new>

struct os_thread {
  pthread_t id;
  os_thread_fn fn;
  void* arg;
};

struct os_mutex {
  pthread_mutex_t m;
};

static void* thread_entry(void* p) {
  os_thread* t = static_cast<os_thread*>(p);
  t->fn(t->arg);
  return nullptr;
}

os_thread* os_thread_start(os_thread_fn fn, void* arg, size_t stack_bytes) {
  os_thread* t = new (std::nothrow) os_thread;
  if (!t) return nullptr;
  t->fn = fn;
  t->arg = arg;
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  if (stack_bytes > 0) {
    const size_t minimum = static_cast<size_t>(PTHREAD_STACK_MIN);
    if (stack_bytes < minimum) stack_bytes = minimum;
    pthread_attr_setstacksize(&attr, stack_bytes);
  }
  const int rc = pthread_create(&t->id, &attr, thread_entry, t);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    delete t;
    return nullptr;
  }
  return t;
}

void os_thread_join(os_thread* thread) {
  if (!thread) return;
  pthread_join(thread->id, nullptr);
  delete thread;
}

uint64_t os_thread_current_id() { return static_cast<uint64_t>(pthread_self()); }

os_mutex* os_mutex_create() {
  os_mutex* m = new (std::nothrow) os_mutex;
  if (!m) return nullptr;
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  const int rc = pthread_mutex_init(&m->m, &attr);
  pthread_mutexattr_destroy(&attr);
  if (rc != 0) {
    delete m;
    return nullptr;
  }
  return m;
}

void os_mutex_destroy(os_mutex* mutex) {
  if (!mutex) return;
  pthread_mutex_destroy(&mutex->m);
  delete mutex;
}

void os_mutex_lock(os_mutex* mutex) { pthread_mutex_lock(&mutex->m); }
void os_mutex_unlock(os_mutex* mutex) { pthread_mutex_unlock(&mutex->m); }
