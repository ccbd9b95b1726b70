#include "platform/os/os_thread.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>

namespace {

struct counter {
  os_mutex* mutex;
  int value;
};

void add_many(void* p) {
  counter* c = static_cast<counter*>(p);
  for (int i = 0; i < 10000; ++i) {
    os_mutex_lock(c->mutex);
    ++c->value;
    os_mutex_unlock(c->mutex);
  }
}

TEST(OsThread, ThreadsRunAndMutexGuards) {
  counter c{os_mutex_create(), 0};
  ASSERT_NE(c.mutex, nullptr);
  os_thread* a = os_thread_start(add_many, &c, 256 * 1024);
  os_thread* b = os_thread_start(add_many, &c, 0);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  os_thread_join(a);
  os_thread_join(b);
  EXPECT_EQ(c.value, 20000);
  os_mutex_destroy(c.mutex);
}

void mark_job(void* arg, int index) { static_cast<std::atomic<int>*>(arg)[index].fetch_add(1); }

TEST(OsThread, AWorkerPoolRunsEveryJobOnceRunAfterRun) {
  EXPECT_GE(os_processor_count(), 1);
  for (int workers : {0, 1, 3, 8}) {
    os_worker_pool* pool = os_worker_pool_create(workers);
    ASSERT_NE(pool, nullptr);
    EXPECT_EQ(os_worker_pool_workers(pool), workers);
    // Many short runs in a row: a worker late for one run must not take
    // jobs of the next.
    for (int run = 0; run < 300; run++) {
      const int count = run % 17;
      std::atomic<int> hits[17];
      for (auto& h : hits) h = 0;
      os_worker_pool_run(pool, mark_job, hits, count);
      for (int i = 0; i < 17; i++) ASSERT_EQ(hits[i].load(), i < count ? 1 : 0) << workers << " " << run;
    }
    os_worker_pool_destroy(pool);
  }
  std::atomic<int> hits[3] = {};
  os_worker_pool_run(nullptr, mark_job, hits, 3);
  EXPECT_EQ(hits[2].load(), 1);
}

TEST(OsThread, AForkedChildRunsItsPoolsJobsItself) {
  os_worker_pool* pool = os_worker_pool_create(3);
  ASSERT_NE(pool, nullptr);
  std::atomic<int> hits[8] = {};
  os_worker_pool_run(pool, mark_job, hits, 8);
  const pid_t child = fork();
  if (child == 0) {
    std::atomic<int> again[8] = {};
    os_worker_pool_run(pool, mark_job, again, 8);
    int ok = os_worker_pool_workers(pool) == 0;
    for (auto& h : again) ok &= h.load() == 1;
    os_worker_pool_destroy(pool);
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  os_worker_pool_run(pool, mark_job, hits, 8);
  EXPECT_EQ(hits[7].load(), 2);
  os_worker_pool_destroy(pool);
}

TEST(OsThread, MutexIsRecursive) {
  os_mutex* m = os_mutex_create();
  ASSERT_NE(m, nullptr);
  os_mutex_lock(m);
  os_mutex_lock(m);  // would deadlock on a plain mutex
  os_mutex_unlock(m);
  os_mutex_unlock(m);
  os_mutex_destroy(m);
}

void record_id(void* p) { *static_cast<uint64_t*>(p) = os_thread_current_id(); }

TEST(OsThread, ThreadIdsDiffer) {
  uint64_t other = 0;
  os_thread* t = os_thread_start(record_id, &other, 256 * 1024);
  ASSERT_NE(t, nullptr);
  os_thread_join(t);
  EXPECT_NE(other, os_thread_current_id());
}

}  // namespace
