// Threads and mutexes over POSIX threads.
#include "platform/os/os_thread.h"

#include <limits.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
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
    if (stack_bytes < static_cast<size_t>(PTHREAD_STACK_MIN)) stack_bytes = static_cast<size_t>(PTHREAD_STACK_MIN);
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

int os_processor_count() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int n = CPU_COUNT(&set);
    if (n > 0) return n;
  }
  const long n = sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? static_cast<int>(n) : 1;
}

// Each run is a generation: the caller publishes the job and wakes the
// workers, everybody takes indices from one counter until none are left,
// and the caller sleeps until the last job reports done. Workers block
// between runs, so an idle pool costs nothing on a loaded machine.
struct os_worker_pool {
  pthread_mutex_t lock;
  pthread_cond_t wake, done;
  pthread_t* threads;
  int workers;
  int quit;
  uint64_t generation;
  os_job_fn fn;
  void* arg;
  int count;
  std::atomic<int> next;
  std::atomic<int> finished;  // jobs done in this generation
  int active;    // workers between taking a generation and reporting on it
};

static int take_jobs(os_worker_pool* p, os_job_fn fn, void* arg, int count) {
  int done = 0;
  for (;;) {
    const int i = p->next.fetch_add(1, std::memory_order_relaxed);
    if (i >= count) return done;
    fn(arg, i);
    done++;
  }
}

static void* worker_entry(void* param) {
  os_worker_pool* p = static_cast<os_worker_pool*>(param);
  uint64_t seen = 0;
  pthread_mutex_lock(&p->lock);
  for (;;) {
    while (!p->quit && p->generation == seen) pthread_cond_wait(&p->wake, &p->lock);
    if (p->quit) break;
    seen = p->generation;
    p->active++;
    os_job_fn fn = p->fn;
    void* arg = p->arg;
    const int count = p->count;
    pthread_mutex_unlock(&p->lock);
    const int done = take_jobs(p, fn, arg, count);
    pthread_mutex_lock(&p->lock);
    p->finished.fetch_add(done);
    p->active--;
    pthread_cond_broadcast(&p->done);
  }
  pthread_mutex_unlock(&p->lock);
  return nullptr;
}

// A child process made by fork has only the thread that forked: its pools
// lose their workers (the jobs run on the caller) and start with fresh
// locks, as a condition variable whose waiters vanished may never wake.
enum { pool_registry_size = 16 };
static os_worker_pool* pool_registry[pool_registry_size];
static pthread_mutex_t pool_registry_lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_once_t pool_fork_once = PTHREAD_ONCE_INIT;

static void pools_before_fork() { pthread_mutex_lock(&pool_registry_lock); }
static void pools_after_fork_parent() { pthread_mutex_unlock(&pool_registry_lock); }
static void pools_after_fork_child() {
  pthread_mutex_init(&pool_registry_lock, nullptr);
  for (os_worker_pool* p : pool_registry)
    if (p) {
      pthread_mutex_init(&p->lock, nullptr);
      pthread_cond_init(&p->wake, nullptr);
      pthread_cond_init(&p->done, nullptr);
      p->workers = 0;
      p->active = 0;
    }
}
static void pools_watch_fork() { pthread_atfork(pools_before_fork, pools_after_fork_parent, pools_after_fork_child); }

static void pool_register(os_worker_pool* p, os_worker_pool* replaces) {
  pthread_once(&pool_fork_once, pools_watch_fork);
  pthread_mutex_lock(&pool_registry_lock);
  for (os_worker_pool*& slot : pool_registry)
    if (slot == replaces) {
      slot = p;
      break;
    }
  pthread_mutex_unlock(&pool_registry_lock);
}

os_worker_pool* os_worker_pool_create(int workers) {
  if (workers < 0) workers = 0;
  os_worker_pool* p = new (std::nothrow) os_worker_pool;
  if (!p) return nullptr;
  pthread_mutex_init(&p->lock, nullptr);
  pthread_cond_init(&p->wake, nullptr);
  pthread_cond_init(&p->done, nullptr);
  p->threads = workers ? new (std::nothrow) pthread_t[workers] : nullptr;
  p->workers = 0;
  p->quit = 0;
  p->generation = 0;
  p->fn = nullptr;
  p->arg = nullptr;
  p->count = 0;
  p->next = 0;
  p->finished.store(0);
  p->active = 0;
  if (workers && !p->threads) {
    os_worker_pool_destroy(p);
    return nullptr;
  }
  for (int i = 0; i < workers; i++) {
    if (pthread_create(&p->threads[i], nullptr, worker_entry, p) != 0) {
      os_worker_pool_destroy(p);
      return nullptr;
    }
    p->workers++;
  }
  pool_register(p, nullptr);
  return p;
}

void os_worker_pool_destroy(os_worker_pool* pool) {
  if (!pool) return;
  pool_register(nullptr, pool);
  pthread_mutex_lock(&pool->lock);
  pool->quit = 1;
  pthread_cond_broadcast(&pool->wake);
  pthread_mutex_unlock(&pool->lock);
  for (int i = 0; i < pool->workers; i++) pthread_join(pool->threads[i], nullptr);
  delete[] pool->threads;
  pthread_cond_destroy(&pool->wake);
  pthread_cond_destroy(&pool->done);
  pthread_mutex_destroy(&pool->lock);
  delete pool;
}

void os_worker_pool_run(os_worker_pool* pool, os_job_fn fn, void* arg, int count) {
  if (count <= 0) return;
  if (!pool || pool->workers == 0 || count == 1) {
    for (int i = 0; i < count; i++) fn(arg, i);
    return;
  }
  pthread_mutex_lock(&pool->lock);
  // A worker still reporting on the last run must be out before the
  // counter starts again.
  while (pool->active > 0) pthread_cond_wait(&pool->done, &pool->lock);
  pool->fn = fn;
  pool->arg = arg;
  pool->count = count;
  pool->next.store(0, std::memory_order_relaxed);
  pool->finished.store(0);
  pool->generation++;
  pthread_cond_broadcast(&pool->wake);
  pthread_mutex_unlock(&pool->lock);
  pool->finished.fetch_add(take_jobs(pool, fn, arg, count));
  // The last jobs are short: wait for them awake a few microseconds first,
  // as a thread that sleeps may not get its processor back soon. (Giving it
  // up to others by yielding costs more than that on a busy machine.)
  for (int spin = 0; spin < 4096 && pool->finished.load(std::memory_order_acquire) < count; spin++) {
  }
  pthread_mutex_lock(&pool->lock);
  // A worker that woke too late for any job may still be on its way out:
  // it takes nothing more, and the next run waits for it before it starts.
  while (pool->finished < count) pthread_cond_wait(&pool->done, &pool->lock);
  pthread_mutex_unlock(&pool->lock);
}

int os_worker_pool_workers(const os_worker_pool* pool) { return pool ? pool->workers : 0; }
