#pragma once
// The build tag logged at start-up and shown in the menus.
extern const char* const game_version;
