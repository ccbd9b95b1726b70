#pragma once
// "Multiplayer" (page 13): connecting to a race server and leaving it,
// asking it to restart the race, the history of server names and, while
// racing online, the riders on the server with their ping.

void draw_multiplayer_page();
void multiplayer_page_key(int code);

// Which history entry the "Server" field shows; -1 when its text is the
// user's own.
extern int server_history_index;

// A slot's ping in milliseconds from its lag in ticks.
int net_ping_ms(int lag_ticks);

// Fills the page's entry of the page table.
void multiplayer_page_install();
