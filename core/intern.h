#pragma once
// One stored copy of each distinct string, so interned names compare by
// pointer. The copies live until the program ends.

// The table's copy of text (exact, case-sensitive match). Out of memory ends
// the game.
const char* intern_string(const char* text);
