#include "ui/multiplayer_page.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "race/game_state.h"
#include "race/net_values.h"
#include "race/race_hooks.h"
#include "race/race_state.h"
#include "ui/game_settings.h"
#include "ui/menu.h"

namespace {

int client_state_value;
int disconnects, restarts;
int state_double() { return client_state_value; }
void disconnect_double() { disconnects++; }
void restart_double() { restarts++; }

class MultiplayerPage : public ::testing::Test {
 protected:
  void SetUp() override {
    menu_keys_name(nullptr);
    menu_pages_install();
    race_hooks = {};
    race_hooks.net_client_state = state_double;
    race_hooks.net_disconnect = disconnect_double;
    race_hooks.net_request_restart = restart_double;
    client_state_value = 0;
    disconnects = restarts = 0;
    std::memcpy(saved_hist_, front_end_values.server_name_hist, sizeof saved_hist_);
    std::memset(front_end_values.server_name_hist, 0, sizeof saved_hist_);
    server_history_index = -1;
    net_online = 0;
    net_pending_server = nullptr;
    game_state.connect_target = nullptr;
    menu_page = page_multiplayer;
    menu_selection = 0;
  }
  void TearDown() override {
    std::memcpy(front_end_values.server_name_hist, saved_hist_, sizeof saved_hist_);
    net_online = 0;
    net_pending_server = nullptr;
    game_state.connect_target = nullptr;
    race_hooks = {};
    menu_page = -1;
  }
  static void key_on(int item, int code) {
    menu_page = page_multiplayer;
    menu_selection = item;
    multiplayer_page_key(code);
  }
  static void connect_to(const char* name) {
    text_field_set(&game_settings.server_name, name);
    net_online = 0;
    key_on(1, menu_keys.enter);
  }
  static const char* field() { return game_settings.server_name.text; }
  static const char* hist(int i) { return front_end_values.server_name_hist[i]; }
  char saved_hist_[server_history_count][server_name_max + 1];
};

TEST_F(MultiplayerPage, ConnectOfflineAsksForTheServerAndClosesTheMenu) {
  connect_to("127.0.0.1:19811");
  EXPECT_EQ(menu_page, -1);
  EXPECT_STREQ(net_pending_server, "127.0.0.1:19811");
  EXPECT_EQ(game_state.connect_target, net_pending_server);
  EXPECT_EQ(net_pending_server, connect_target_buffer);
  EXPECT_STREQ(hist(0), "127.0.0.1:19811");
  // Three times: one history entry.
  connect_to("127.0.0.1:19811");
  connect_to("127.0.0.1:19811");
  EXPECT_STREQ(hist(1), "");
  // An empty name still asks (the client then fails to resolve it) but
  // stays out of the history.
  connect_to("");
  EXPECT_STREQ(net_pending_server, "");
  EXPECT_STREQ(hist(0), "127.0.0.1:19811");
  EXPECT_EQ(disconnects, 0);
}

TEST_F(MultiplayerPage, TheSeventeenthNameDropsTheOldest) {
  for (int i = 0; i < 17; i++) connect_to(("host" + std::to_string(i)).c_str());
  EXPECT_STREQ(hist(0), "host16");
  EXPECT_STREQ(hist(15), "host1");
}

TEST_F(MultiplayerPage, PageUpAndDownWalkTheHistory) {
  std::strcpy(front_end_values.server_name_hist[0], "a");
  std::strcpy(front_end_values.server_name_hist[1], "b");
  text_field_set(&game_settings.server_name, "a");
  key_on(3, menu_keys.page_up);  // entry 0 equals the field: skipped
  EXPECT_STREQ(field(), "b");
  EXPECT_EQ(server_history_index, 1);
  key_on(3, menu_keys.page_up);  // entry 2 is empty: stays on "b"
  EXPECT_STREQ(field(), "b");
  EXPECT_EQ(server_history_index, 1);
  key_on(3, menu_keys.page_down);
  EXPECT_STREQ(field(), "a");
  EXPECT_EQ(server_history_index, 0);
  key_on(3, menu_keys.page_down);
  EXPECT_STREQ(field(), "a");
  EXPECT_EQ(server_history_index, -1);
  // With the user's own text, page up shows entry 0 itself.
  text_field_set(&game_settings.server_name, "mine");
  game_settings.server_name.cursor = 4;
  key_on(3, menu_keys.page_up);
  EXPECT_STREQ(field(), "a");
  EXPECT_LE(game_settings.server_name.cursor, 1);
}

TEST_F(MultiplayerPage, DisconnectAndRestartWhileOnline) {
  net_online = 1;
  for (int state : {0, 11}) {
    client_state_value = state;
    disconnects = 0;
    key_on(1, menu_keys.enter);
    EXPECT_EQ(disconnects, 1) << state;
    EXPECT_EQ(menu_page, page_multiplayer) << state;  // the page stays
  }
  // Restart: only while racing, and the menu closes either way.
  client_state_value = 9;
  key_on(2, menu_keys.enter);
  EXPECT_EQ(restarts, 0);
  EXPECT_EQ(menu_page, -1);
  client_state_value = 11;
  key_on(2, menu_keys.enter);
  EXPECT_EQ(restarts, 1);
  EXPECT_EQ(menu_page, -1);
  net_online = 0;
  key_on(2, menu_keys.enter);
  EXPECT_EQ(restarts, 1);
}

TEST_F(MultiplayerPage, PingInMilliseconds) {
  EXPECT_EQ(net_ping_ms(0), 0);
  EXPECT_EQ(net_ping_ms(13), 101);  // 101.56 truncated
  EXPECT_EQ(net_ping_ms(128), 1000);
}

}  // namespace
