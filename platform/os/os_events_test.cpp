#include "platform/os/os_events.h"

#include <gtest/gtest.h>

#include "platform/os/os.h"
#include "platform/os/os_thread.h"

namespace {

TEST(OsMailbox, WaitTakesTheOldestMatchingMessageAndKeepsTheRest) {
  os_mailbox* m = os_mailbox_create();
  ASSERT_NE(m, nullptr);
  os_mailbox_post(m, 0x8004, 0, 0);
  os_mailbox_post(m, 0x8000, 1, 0);
  os_mailbox_post(m, 0x8000, 2, 0);
  os_message got;
  os_mailbox_wait(m, 0x8000, 0x8002, &got);
  EXPECT_EQ(got.message, 0x8000u);
  EXPECT_EQ(got.wparam, 1u);
  os_mailbox_wait(m, 0x8004, 0x8004, &got);
  EXPECT_EQ(got.message, 0x8004u);
  os_mailbox_wait(m, 0x8000, 0x8000, &got);
  EXPECT_EQ(got.wparam, 2u);
  os_mailbox_destroy(m);
}

void post_later(void* p) {
  os_sleep_ms(20);
  os_mailbox_post(static_cast<os_mailbox*>(p), 0x8002, 7, 9);
}

TEST(OsMailbox, WaitBlocksUntilAnotherThreadPosts) {
  os_mailbox* m = os_mailbox_create();
  os_thread* t = os_thread_start(post_later, m, 256 * 1024);
  ASSERT_NE(t, nullptr);
  os_message got;
  os_mailbox_wait(m, 0x8002, 0x8002, &got);
  EXPECT_EQ(got.wparam, 7u);
  EXPECT_EQ(got.lparam, 9u);
  os_thread_join(t);
  os_mailbox_destroy(m);
}

TEST(OsKeymap, SpotChecks) {
  EXPECT_EQ(os_scancode_to_set1(4), 0x1E);     // A
  EXPECT_EQ(os_scancode_to_set1(228), 0x11D);  // right Ctrl
  EXPECT_EQ(os_scancode_to_set1(0), -1);
  EXPECT_EQ(os_scancode_to_set1(-3), -1);
  EXPECT_EQ(os_scancode_to_set1(100000), -1);
}

}  // namespace
