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

}  // namespace
