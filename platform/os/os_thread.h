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

// The number of processors this process may run on (at least 1).
int os_processor_count();

// A pool of worker threads that share out numbered jobs with the caller.
struct os_worker_pool;
typedef void (*os_job_fn)(void* arg, int index);
// Starts `workers` threads besides the caller (0: none, every job runs on
// the caller). Null on failure.
os_worker_pool* os_worker_pool_create(int workers);
// Ends the threads and frees the pool; nothing for null.
void os_worker_pool_destroy(os_worker_pool* pool);
// Runs fn(arg, i) once for every i in 0..count-1, on the workers and the
// calling thread, in no particular order; returns when every job is done.
// Callers that need an order write each job's result to a place of its
// own and join them afterwards. A null pool runs every job on the caller.
void os_worker_pool_run(os_worker_pool* pool, os_job_fn fn, void* arg, int count);
// The threads of the pool besides the caller.
int os_worker_pool_workers(const os_worker_pool* pool);
