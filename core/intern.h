#pragma once
// One stored copy of each distinct string, so interned names compare by
// pointer. The copies live until intern_free_all at shut-down.

// The table's copy of text (exact, case-sensitive match). Out of memory ends
// the game.
const char* intern_string(const char* text);

// Frees every stored copy and the table; later calls start a new table.
// Every pointer handed out before is dangling afterwards.
void intern_free_all();
