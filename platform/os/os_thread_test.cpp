#include "platform/os/os_thread.h"

#include <gtest/gtest.h>

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
