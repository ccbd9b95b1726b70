#include "platform/os/os_events.h"

#include <gtest/gtest.h>
#include <signal.h>

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

// A SIGTERM sent while the process still had it blocked (as a launcher may
// start it) is kept pending and becomes the close request once the handlers
// are in, rather than being lost or left blocked for good.
TEST(OsCloseSignals, ASignalPendingWhileBlockedBecomesTheCloseRequest) {
  sigset_t term, old;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &term, &old), 0);
  ASSERT_EQ(raise(SIGTERM), 0);
  os_install_close_signals();
  sigset_t now;
  pthread_sigmask(SIG_SETMASK, nullptr, &now);
  EXPECT_FALSE(sigismember(&now, SIGTERM));
  os_message m{};
  ASSERT_EQ(os_next_message(&m, 0), 1);
  EXPECT_EQ(m.message, static_cast<uint32_t>(os_msg_close));
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

TEST(OsKeymap, SpotChecks) {
  EXPECT_EQ(os_scancode_to_set1(4), 0x1E);     // A
  EXPECT_EQ(os_scancode_to_set1(228), 0x11D);  // right Ctrl
  EXPECT_EQ(os_scancode_to_set1(0), -1);
  EXPECT_EQ(os_scancode_to_set1(-3), -1);
  EXPECT_EQ(os_scancode_to_set1(100000), -1);
}

}  // namespace
